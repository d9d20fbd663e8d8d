#include "config/almacen.h"
#include "config/tablas.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/programa.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

struct Banco {
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{ajustes, avisos, reloj};
    QString base;
    Banco() {
        ajustes.Ruta = dir.ruta();
        base = dir.ruta() + "conf/MiConf.mdb";
        dir.escribe("conf/.keep", QByteArray());
        dir.escribe("ORTDirec.IAU", base + "\r\n/otra/vieja.mdb\r\n");
    }
    bool crea(const QString& filas) {
        QString error;
        const bool ok = CreaSqlite(base, {"ortconf.sqlite.sql"}, filas, &error);
        if (!ok)
            qWarning() << error;
        return ok;
    }
    QString secuencias(int p, int c) const {
        return ValorSqlite(base, QString("select group_concat(Secue) from (select Secue from CONF "
                                         "where Puert=%1 and Canal=%2 order by Secue)")
                                     .arg(p)
                                     .arg(c));
    }
};

} // namespace

class TstAlmacen : public QObject {
    Q_OBJECT
private slots:
    void renumeraYCuenta_data() {
        QTest::addColumn<QString>("filas");
        QTest::addColumn<int>("canal");
        QTest::addColumn<QString>("despues");
        QTest::addColumn<int>("total");
        const QString canal = "INSERT INTO CANALES VALUES (1, 4, 'ch');";
        QTest::newRow("gaps") << canal + "INSERT INTO CONF (Puert,Canal,Secue,Carac) VALUES "
                                         "(1,4,2,'A'),(1,4,5,'B'),(1,4,9,'C');"
                              << 4 << "1,2,3" << 3;
        QTest::newRow("already in order") << canal + "INSERT INTO CONF (Puert,Canal,Secue) VALUES "
                                                     "(1,4,1),(1,4,2);"
                                          << 4 << "1,2" << 2;
        // A low number that a higher one would be renumbered onto.
        QTest::newRow("numbers that collide") << canal + "INSERT INTO CONF (Puert,Canal,Secue) "
                                                         "VALUES (1,4,-5),(1,4,1),(1,4,70);"
                                              << 4 << "1,2,3" << 3;
        QTest::newRow("channel without sequences") << canal << 4 << "" << 0;
        QTest::newRow("sequences without a channel row")
            << canal + "INSERT INTO CONF (Puert,Canal,Secue) VALUES (1,5,3),(1,5,7);" << 5 << "3,7"
            << 0;
    }
    void renumeraYCuenta() {
        QFETCH(QString, filas);
        QFETCH(int, canal);
        QFETCH(QString, despues);
        QFETCH(int, total);
        Banco b;
        QVERIFY(b.crea(filas));
        AlmacenConfig a(b.e);
        QVERIFY(a.IniArch());
        TablasRuntime t;
        a.IniSecue(t);
        QCOMPARE(b.secuencias(1, canal), despues);
        QCOMPARE(int(t.canal(1, canal).SecTotal), total);
        // The store holds the renumbered rows, in order.
        if (total > 0) {
            QVERIFY(a.buscaConf(1, canal, total));
            QVERIFY(!a.buscaConf(1, canal, total + 1));
        }
    }

    void renumeracionFallidaNoDejaNadaAMedias() {
        Banco b;
        QVERIFY(b.crea("INSERT INTO CANALES VALUES (1,1,''),(1,2,'');"
                       "INSERT INTO CONF (Puert,Canal,Secue) VALUES (1,1,4),(1,1,8),(1,2,3);"));
        QVERIFY(EjecutaSentencia(
            b.base, "CREATE TRIGGER no_dos BEFORE UPDATE ON CONF WHEN NEW.Secue = 1 AND "
                    "OLD.Canal = 2 BEGIN SELECT RAISE(ABORT, 'bloqueado'); END;"));
        AlmacenConfig a(b.e);
        QVERIFY(a.IniArch());
        TablasRuntime t;
        a.IniSecue(t);
        QCOMPARE(b.secuencias(1, 1), QString("4,8")); // channel 1's renumbering was rolled back
        QCOMPARE(b.secuencias(1, 2), QString("3"));
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.startsWith("ORT. IniSecue."));
        QVERIFY(b.avisos.mensajes[0].texto.contains("bloqueado"));
    }

    void filasFueraDeLimites() {
        Banco b;
        QVERIFY(b.crea("INSERT INTO PUERTOS VALUES (0,'A',-1),(17,'B',-1),(3,'C',0);"
                       "INSERT INTO CANALES VALUES (3,100,''),(3,1,''),(-1,1,'');"
                       "INSERT INTO CONF (Puert,Canal,Secue) VALUES (3,100,1),(3,1,1),(3,7,60);"));
        AlmacenConfig a(b.e);
        QVERIFY(a.IniArch());
        QCOMPARE(a.puertos().size(), 1);
        QCOMPARE(a.canales().size(), 1);
        QCOMPARE(a.conf().size(), 1);
        QCOMPARE(b.avisos.mensajes.size(), 1); // all reported in one message
        const QString m = b.avisos.mensajes[0].texto;
        for (const char* fila :
             {"PUERTOS: Puert = 0", "PUERTOS: Puert = 17", "CANALES: Puert = 3, Canal = 100",
              "CANALES: Puert = -1, Canal = 1", "CONF: Puert = 3, Canal = 100, Secue = 1",
              "CONF: Puert = 3, Canal = 7, Secue = 60"})
            QVERIFY2(m.contains(fila), fila);
        // A later renumbering does not report the same rows again.
        TablasRuntime t;
        a.IniSecue(t);
        QCOMPARE(b.avisos.mensajes.size(), 1);
    }

    void claveDeConexion() {
        Banco b;
        QVERIFY(b.crea("INSERT INTO PUERTOS VALUES (1,'MX8',-1),(2,'ABCDEFG',0),(3,NULL,NULL),"
                       "(4,'TIMER',1);"));
        AlmacenConfig a(b.e);
        QVERIFY(a.IniArch());
        TablasRuntime t;
        a.IniMux(t);
        QCOMPARE(t.puerto(1).Conex, QString("MX8  "));
        QCOMPARE(t.puerto(2).Conex, QString("ABCDE"));
        QCOMPARE(t.puerto(3).Conex, QString("     "));
        QCOMPARE(t.puerto(4).Conex, QString("TIMER"));
        QCOMPARE(a.buscaPuerto(1)->Open, true);
        QCOMPARE(a.buscaPuerto(3)->Open, false); // Null is not open
        QCOMPARE(a.buscaPuerto(4)->Open, true);  // any non-zero value is True
    }

    void guardaElEstado() {
        Banco b;
        QVERIFY(b.crea("INSERT INTO PUERTOS VALUES (1,'CALIB',0);"));
        AlmacenConfig a(b.e);
        QVERIFY(a.IniArch());
        QVERIFY(a.fijaOpen(1, true));
        QCOMPARE(ValorSqlite(b.base, "select Open from PUERTOS where Puert=1"), QString("-1"));
        QVERIFY(a.fijaOpen(1, false));
        QCOMPARE(ValorSqlite(b.base, "select Open from PUERTOS where Puert=1"), QString("0"));
        QVERIFY(a.fijaOpen(9, true)); // no row: nothing stored
        QCOMPARE(ValorSqlite(b.base, "select count(*) from PUERTOS"), QString("1"));
    }

    void ubicacion_data() {
        QTest::addColumn<QByteArray>("contenido"); // "-": no file
        QTest::addColumn<bool>("porDefecto");
        QTest::addColumn<QString>("aviso");
        QTest::newRow("first line") << QByteArray("@\r\nx\r\n") << false << "";
        QTest::newRow("cut at a comma") << QByteArray("@,resto\r\n") << false << "";
        QTest::newRow("missing file") << QByteArray("-") << true << "No se puede leer";
        QTest::newRow("empty file") << QByteArray("") << true << "está vacío";
    }
    void ubicacion() {
        QFETCH(QByteArray, contenido);
        QFETCH(bool, porDefecto);
        QFETCH(QString, aviso);
        Banco b;
        QVERIFY(b.crea(""));
        QVERIFY(CreaSqlite(b.dir.ruta() + kConfPorDefecto, {"ortconf.sqlite.sql"}));
        if (contenido == "-")
            b.dir.borra("ORTDirec.IAU");
        else
            b.dir.escribe("ORTDirec.IAU", contenido.replace("@", b.base.toUtf8()));
        AlmacenConfig a(b.e);
        QVERIFY(a.IniArch());
        QCOMPARE(a.ruta(), porDefecto ? b.dir.ruta() + kConfPorDefecto : b.base);
        QCOMPARE(b.avisos.mensajes.size(), aviso.isEmpty() ? 0 : 1);
        if (!aviso.isEmpty())
            QVERIFY(b.avisos.mensajes[0].texto.contains(aviso));
    }

    void baseSinTablas() {
        Banco b;
        QVERIFY(CreaSqlite(b.base, {}, "CREATE TABLE OTRA (x INTEGER)"));
        AlmacenConfig a(b.e);
        QVERIFY(!a.IniArch());
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.contains("PUERTOS"));
    }

    void tablasConLimites() {
        TablasRuntime t;
        QCOMPARE(t.LimInf(16, 99, 50), -999999.0);
        QCOMPARE(t.LimSup(1, 0, 0), 999999.0);
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, t.canal(17, 1));
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, t.canal(1, 100));
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, t.UltValor(1, 1, 51));
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, t.puerto(-1));
        // Field tables grow, keep other ports' records and count only the last load.
        t.fijaTabla(1, QList<CampoTid>(8));
        t.fijaTabla(2, {CampoTid{"A", 1, 2, "X"}, {}, {}});
        QCOMPARE(int(t.TidMax), 8);
        t.fijaTabla(1, {CampoTid{"B", 3, 4, "Y"}});
        QCOMPARE(int(t.TidNum[1]), 1);
        QCOMPARE(int(t.TidMax), 8);
        QCOMPARE(t.Tid(2, 1).Carac, QString("X"));
        QCOMPARE(t.Tid(1, 1).Etiq, QString("B"));
    }
};

QTEST_GUILESS_MAIN(TstAlmacen)
#include "tst_almacen.moc"
