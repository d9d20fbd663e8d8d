#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// A configuration database away from the program directory, named first in the location file.
struct Almacen : Banco {
    Almacen() {
        archivoConf = dir.ruta() + "conf/MiConf.mdb";
        dir.escribe("conf/.keep", QByteArray());
        dir.escribe(kArchivoUbicacion, archivoConf + "\r\n/otra/vieja.mdb\r\n");
    }
    bool crea(const QString& filas) {
        return creaSqlite(archivoConf, {"ortconf.sqlite.sql"}, filas) && config.IniArch();
    }
    QString secuencias(int p, int c) const {
        return valorSqlite(archivoConf,
                           QString("select group_concat(Secue) from (select Secue from CONF where "
                                   "Puert=%1 and Canal=%2 order by Secue)")
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
        const QString canal = "INSERT INTO CANALES VALUES (1, 4, 'ch');",
                      conf = "INSERT INTO CONF (Puert,Canal,Secue) VALUES ";
        // clang-format off
        QTest::addRow("gaps") << canal + conf + "(1,4,2),(1,4,5),(1,4,9);" << 4 << "1,2,3" << 3;
        QTest::addRow("collide") << canal + conf + "(1,4,-5),(1,4,1),(1,4,70);" << 4 << "1,2,3" << 3; // a low number a higher one would be renumbered onto
        QTest::addRow("no sequences") << canal << 4 << "" << 0;
        QTest::addRow("no channel row") << canal + conf + "(1,5,3),(1,5,7);" << 5 << "3,7" << 0;
        // clang-format on
    }
    void renumeraYCuenta() {
        QFETCH(QString, filas);
        QFETCH(int, canal);
        QFETCH(QString, despues);
        QFETCH(int, total);
        Almacen b;
        QVERIFY(b.crea(filas));
        AlmacenConfig& a = b.config;
        a.IniSecue(b.t);
        QCOMPARE(b.secuencias(1, canal), despues);
        QCOMPARE(int(b.t.canal(1, canal).SecTotal), total);
        // Rows the renumbering brings into 1..50 are not reported; the store holds them.
        QVERIFY(b.avisos.mensajes.isEmpty());
        QVERIFY(total == 0 || (a.buscaConf(1, canal, total) && !a.buscaConf(1, canal, total + 1)));
    }

    void renumeracionFallidaNoDejaNadaAMedias() {
        Almacen b;
        QVERIFY(b.crea("INSERT INTO CANALES VALUES (1,1,''),(1,2,'');"
                       "INSERT INTO CONF (Puert,Canal,Secue) VALUES (1,1,4),(1,1,8),(1,2,3);"));
        QVERIFY(ejecutaSentencia(
            b.archivoConf, "CREATE TRIGGER no_dos BEFORE UPDATE ON CONF WHEN NEW.Secue = 1 AND "
                           "OLD.Canal = 2 BEGIN SELECT RAISE(ABORT, 'bloqueado'); END;"));
        AlmacenConfig& a = b.config;
        a.IniSecue(b.t);
        // Channel 2's failure rolls back channel 1's renumbering too; totals are the database's.
        QCOMPARE(b.secuencias(1, 1) + "/" + b.secuencias(1, 2), QString("4,8/3"));
        QVERIFY(b.t.canal(1, 1).SecTotal == 8 && b.t.canal(1, 2).SecTotal == 3);
        QVERIFY(a.buscaConf(1, 1, 4) && a.buscaConf(1, 1, 8) && !a.buscaConf(1, 1, 1));
        QVERIFY(b.avisos.mensajes.size() == 1 && b.avisos.textos()[0].contains("bloqueado"));
    }

    // Rows beyond the tables are reported in one message and not loaded; keys are padded.
    void filasDePuertos() {
        Almacen b;
        QVERIFY(b.crea("INSERT INTO PUERTOS VALUES (0,'A',-1),(17,'B',-1),(3,'C',0),(1,'MX8',-1),"
                       "(2,'ABCDEFG',0),(5,NULL,NULL),(4,'TIMER',1);"
                       "INSERT INTO CANALES VALUES (3,100,''),(3,1,''),(-1,1,'');"
                       "INSERT INTO CONF (Puert,Canal,Secue) VALUES (3,100,1),(3,1,1),(3,7,60);"));
        AlmacenConfig& a = b.config;
        QVERIFY(a.puertos().size() == 5 && a.canales().size() == 1 && a.conf().size() == 1);
        a.IniMux(b.t);
        QCOMPARE(b.t.puerto(1).Conex + b.t.puerto(2).Conex + b.t.puerto(5).Conex +
                     b.t.puerto(4).Conex,
                 QString("MX8  ABCDE     TIMER"));
        // Null is not open; any non-zero value is True.
        QVERIFY(a.buscaPuerto(1)->Open && !a.buscaPuerto(5)->Open && a.buscaPuerto(4)->Open);
        QCOMPARE(b.avisos.mensajes.size(), 1); // all reported in one message
        const QString m = b.avisos.mensajes[0].texto;
        for (const char* fila :
             {"PUERTOS: Puert = 0", "PUERTOS: Puert = 17", "CANALES: Puert = 3, Canal = 100",
              "CANALES: Puert = -1, Canal = 1", "CONF: Puert = 3, Canal = 100, Secue = 1",
              "CONF: Puert = 3, Canal = 7, Secue = 60"})
            QVERIFY2(m.contains(fila), fila);
        // A later renumbering does not report the same rows again.
        a.IniSecue(b.t);
        QCOMPARE(b.avisos.mensajes.size(), 1);
    }

    void ubicacion_data() {
        QTest::addColumn<QByteArray>("contenido"); // "-": no file
        QTest::addColumn<bool>("porDefecto");
        QTest::addColumn<QString>("aviso");
        // clang-format off
        QTest::addRow("cut at a comma") << QByteArray("@,resto\r\n") << false << "";
        QTest::addRow("missing file") << QByteArray("-") << true << "No se puede leer";
        QTest::addRow("empty file") << QByteArray("") << true << "está vacío";
        // clang-format on
    }
    void ubicacion() {
        QFETCH(QByteArray, contenido);
        QFETCH(bool, porDefecto);
        QFETCH(QString, aviso);
        Almacen b;
        QVERIFY(b.crea(""));
        QVERIFY(creaSqlite(b.dir.ruta() + kConfPorDefecto, {"ortconf.sqlite.sql"}));
        if (contenido == "-")
            b.dir.borra(kArchivoUbicacion);
        else
            b.dir.escribe(kArchivoUbicacion, contenido.replace("@", b.archivoConf.toUtf8()));
        AlmacenConfig& a = b.config;
        QVERIFY(a.IniArch());
        QCOMPARE(a.ruta(), porDefecto ? b.dir.ruta() + kConfPorDefecto : b.archivoConf);
        QVERIFY(b.avisos.mensajes.size() == !aviso.isEmpty() &&
                b.avisos.textos().filter(aviso).size() == !aviso.isEmpty());
    }

    // A save updates in place, adds in key order, keeps a row beyond the tables until renumbered.
    void grabaLasTresFilas() {
        Almacen b;
        QVERIFY(b.crea("INSERT INTO PUERTOS VALUES (2,'OLD',-1);"
                       "INSERT INTO CONF (Puert,Canal,Secue,Opera,DTMP) VALUES (2,3,1,'X',2.5);"));
        AlmacenConfig& a = b.config;
        EdicionSecuencia ed;
        ed.Puert = 2, ed.Conex = "CALIB", ed.Opera = "ANA";
        for (const auto& [canal, secuencia] : {std::pair{3, 1}, {3, 2}, {1, 1}, {1, 60}}) {
            ed.Canal = canal, ed.Secue = secuencia;
            QVERIFY(a.grabaSecuencia(ed));
        }
        QCOMPARE(valorSqlite(
                     b.archivoConf,
                     "select group_concat(Canal||'/'||Secue||'='||Opera||'/'||coalesce(DTMP,'')) "
                     "from CONF"),
                 QString("3/1=ANA/2.5,3/2=ANA/,1/1=ANA/,1/60=ANA/"));
        QStringList orden;
        for (const FilaConf& f : a.conf())
            orden << QString("%1/%2").arg(f.Canal).arg(f.Secue);
        QCOMPARE(orden, QStringList({"1/1", "3/1", "3/2"}));
        QCOMPARE(a.puertos().size() * 10 + a.canales().size(), 12); // port 2 once, channels 1 and 3
        QVERIFY(a.recarga() && a.canales().first().Canal == 1 &&
                a.buscaConf(2, 3, 1)->Opera == "ANA");
        a.IniSecue(b.t);
        QCOMPARE(b.secuencias(2, 1), QString("1,2"));
        QVERIFY(a.buscaConf(2, 1, 2) && b.avisos.mensajes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstAlmacen)
#include "tst_almacen.moc"
