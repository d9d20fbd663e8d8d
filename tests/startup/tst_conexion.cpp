#include "startup/conexion.h"
#include "support/bases.h"
#include "support/costuras.h"
#include "support/fakes.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

struct Banco {
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj{QDateTime(QDate(2026, 12, 4), QTime(10, 8, 32, 340))};
    Entorno e{ajustes, avisos, reloj};
    Banco() {
        ajustes.TipoBD = kJet4;
        ajustes.Textos = TablaTextos(4, 81, 1);
        ajustes.Idioma = 1;
        ajustes.Textos.fija(0, 81, 1, "Clave:");
        ajustes.Textos.fija(4, 13, 1, "Instale el controlador.");
    }
};

// A database with enough rows for its index to spread over pages of its own.
void CreaConIndice(const QString& archivo) {
    QString script =
        "PRAGMA page_size=1024; CREATE TABLE T (A INTEGER PRIMARY KEY, B TEXT, C TEXT UNIQUE);";
    script += "CREATE INDEX IB ON T(B);";
    script += "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n WHERE x<2000) "
              "INSERT INTO T SELECT x, printf('valor-%06d', x), printf('clave-%06d', x) FROM n;";
    QVERIFY(EjecutaScript(archivo, script));
}

// Overwrites one page of an index with garbage; the table itself stays readable.
void DanaIndice(const QString& archivo, const QString& indice = "IB") {
    const int pagina =
        ValorSqlite(archivo, "select rootpage from sqlite_master where name='" + indice + "'")
            .toInt();
    QVERIFY(pagina > 1);
    QFile f(archivo);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek(qint64(pagina - 1) * 1024);
    f.write(QByteArray(1024, '\x5a'));
}

} // namespace

class TstConexion : public QObject {
    Q_OBJECT
private slots:
    void cadenas() {
        Ajustes a;
        a.ClaveBD = "";
        a.TipoBD = kJet4;
        // Empty password: the field is followed directly by ";".
        QCOMPARE(CadenaConexion(a, "/bd/MTVX2005.MDB"),
                 QString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/bd/MTVX2005.MDB;Jet "
                         "OLEDB:Database Password=;"));
        a.TipoBD = kSqlServer;
        a.ServidorBD = "srv";
        a.UsuarioBD = "u";
        QCOMPARE(CadenaConexion(a, "Q"),
                 QString("Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=srv;User "
                         "ID=u;Password=;Initial Catalog=Q;"));
        a.TipoBD = "[ACCESS]";
        QCOMPARE(CadenaConexion(a, "Q"), QString());
        const QString c = CadenaJet("/x.mdb", "vieja");
        QCOMPARE(CadenaConClave(c, "nueva"), CadenaJet("/x.mdb", "nueva"));
        QCOMPARE(ValorCadena(c, "data source"), QString("/x.mdb"));
    }

    // A password accepted at a prompt reaches the Metrovax string when it held the refused one.
    void pasaClaveNueva_data() {
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("fuente"); // data source of the string that was opened
        QTest::addColumn<QString>("claveMtvx");
        QTest::addColumn<bool>("cambia");
        QTest::newRow("server: the Metrovax catalogue") << kSqlServer << "MTVX"
                                                        << "vieja" << true;
        QTest::newRow("server: the data catalogue") << kSqlServer << "MTVXDATA"
                                                    << "vieja" << true;
        QTest::newRow("file: a data file") << kJet4 << "/d/F1/M/P.MDB"
                                           << "vieja" << true;
        QTest::newRow("another password is kept") << kSqlServer << "MTVXDATA"
                                                  << "otra" << false;
    }
    void pasaClaveNueva() {
        QFETCH(QString, tipo);
        QFETCH(QString, fuente);
        QFETCH(QString, claveMtvx);
        QFETCH(bool, cambia);
        Ajustes a;
        a.TipoBD = tipo;
        a.ServidorBD = "srv";
        a.UsuarioBD = "u";
        a.ClaveBD = claveMtvx;
        a.StrConexion = CadenaConexion(a, tipo == kJet4 ? "/bd/MTVX2005.MDB" : "MTVX");
        const QString antes = a.StrConexion;
        a.ClaveBD = "vieja";
        const QString rechazada = CadenaConexion(a, fuente);
        a.ClaveBD = "nueva";
        PasaClaveNueva(a, rechazada, CadenaConClave(rechazada, "nueva"));
        QCOMPARE(a.StrConexion, cambia ? CadenaConClave(antes, "nueva") : antes);
        QCOMPARE(a.StrConexion.contains("nueva;"), cambia);
    }

    void adaptaSql_data() {
        QTest::addColumn<int>("motor");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("esperado");
        const QString top = "Select Top 1 N,Fecha,[DIAM] from [Datos] order by N Desc";
        QTest::newRow("sqlite top") << int(Motor::Sqlite) << top
                                    << "Select N,Fecha,[DIAM] from [Datos] order by N Desc limit 1";
        QTest::newRow("postgres top and brackets")
            << int(Motor::Postgres) << top
            << "Select N,Fecha,\"DIAM\" from \"Datos\" order by N Desc limit 1";
        QTest::newRow("postgres like ignores case")
            << int(Motor::Postgres) << "Select [LIKE] from EXU where RTRIM(EXUUSUAR) like ?"
            << "Select \"LIKE\" from EXU where RTRIM(EXUUSUAR) ilike ?";
        QTest::newRow("sqlite like stays") << int(Motor::Sqlite) << "Select A from T where B LIKE ?"
                                           << "Select A from T where B LIKE ?";
        QTest::newRow("no top") << int(Motor::Postgres) << "Select * from INS"
                                << "Select * from INS";
    }
    void adaptaSql() {
        QFETCH(int, motor);
        QFETCH(QString, sql);
        QFETCH(QString, esperado);
        QCOMPARE(AdaptaSql(sql, Motor(motor)), esperado);
    }

    void citaIdentificador_data() {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<QString>("esperado"); // empty: refused
        QTest::newRow("plain") << "DIAM"
                               << "\"DIAM\"";
        QTest::newRow("blank inside") << "DIAM EXT"
                                      << "\"DIAM EXT\"";
        QTest::newRow("accented") << QString::fromUtf8("DIÁM") << QString::fromUtf8("\"DIÁM\"");
        QTest::newRow("quote") << "A\"B"
                               << "";
        QTest::newRow("bracket") << "A]B"
                                 << "";
        QTest::newRow("injection") << "A; drop table Datos"
                                   << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("control") << "A\nB"
                                 << "";
        QTest::newRow("too long") << QString(64, 'A') << "";
    }
    void citaIdentificador() {
        QFETCH(QString, nombre);
        QFETCH(QString, esperado);
        QCOMPARE(CitaIdentificador(nombre).value_or(QString()), esperado);
    }

    void abreArchivoBueno() {
        QTemporaryDir d;
        const QString f = d.filePath("MTVX2005.MDB");
        QVERIFY(CreaSqlite(f, {"metrovax.sqlite.sql"}));
        Banco b;
        Conexion c;
        QVERIFY(OpenDBOK(CadenaJet(f, ""), c, b.e));
        QVERIFY(c.abierta());
        QCOMPARE(c.motor(), Motor::Sqlite);
        QVERIFY(b.avisos.mensajes.isEmpty());
    }

    void archivoAusenteNoSeCrea() {
        QTemporaryDir d;
        const QString f = d.filePath("NOESTA.MDB");
        Banco b;
        Conexion c;
        QVERIFY(!OpenDBOK(CadenaJet(f, ""), c, b.e));
        QVERIFY(!c.abierta());
        QVERIFY(b.avisos.mensajes.isEmpty()); // 0x80004005: silent
        QVERIFY(!QFile::exists(f));
        QCOMPARE(c.error.numero, errbd::kNoEncontrada);
    }

    // The file is there but cannot be opened as one: said, not taken for a missing file.
    void carpetaNoEsArchivo() {
        QTemporaryDir d;
        Banco b;
        Conexion c;
        QVERIFY(!OpenDBOK(CadenaJet(d.path(), ""), c, b.e));
        QCOMPARE(c.error.numero, errbd::kGeneral);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.contains("no es un archivo"));
    }

    void cadenaVaciaFallaEnSilencio() {
        Banco b;
        Conexion c;
        QVERIFY(!OpenDBOK(QString(), c, b.e));
        QVERIFY(b.avisos.mensajes.isEmpty());
    }

    void noEsUnaBaseSinReparacionPosible() {
        QTemporaryDir d;
        const QString f = d.filePath("BASURA.MDB");
        QFile out(f);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(8192, '\x13'));
        out.close();
        Banco b;
        Conexion c;
        const QString cadena = CadenaJet(f, "");
        QVERIFY(!OpenDBOK(cadena, c, b.e));
        QCOMPARE(b.avisos.mensajes.size(), 1);
        const QString m = b.avisos.mensajes[0].texto;
        QVERIFY2(m.startsWith("Module1. OpenDBOK.\n\nQSQLITE\n3343.- "), qPrintable(m));
        QVERIFY(m.endsWith("\n\n" + cadena + "\n\n"));
        // The unrepairable file is left as it was, and no copy is left behind.
        QCOMPARE(QFileInfo(f).size(), 8192);
        QCOMPARE(QDir(d.path()).entryList(QDir::Files), QStringList{"BASURA.MDB"});
    }

    void danadaSeReparaYAbre_data() {
        QTest::addColumn<QString>("indice");
        QTest::newRow("plain index") << "IB";
        QTest::newRow("key index (UNIQUE)") << "sqlite_autoindex_T_1";
    }
    void danadaSeReparaYAbre() {
        QFETCH(QString, indice);
        QTemporaryDir d;
        const QString f = d.filePath("MTVX2005.MDB");
        CreaConIndice(f);
        DanaIndice(f, indice);
        Banco b;
        Conexion c;
        QVERIFY2(OpenDBOK(CadenaJet(f, ""), c, b.e), qPrintable(b.avisos.textos().join("|")));
        QVERIFY(b.avisos.mensajes.isEmpty());
        QSqlQuery q(c.db());
        QVERIFY(q.exec("select count(*), sum(A) from T where B like 'valor-%'"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2000);
        QCOMPARE(q.value(1).toInt(), 2000 * 2001 / 2);
        QVERIFY(q.exec("PRAGMA integrity_check"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("ok"));
        // The hourglass was shown during the repair and taken away after it.
        QVERIFY(b.avisos.punteros.contains(true));
        QCOMPARE(b.avisos.punteros.last(), false);
        q = QSqlQuery();
        c.cierra();
        QCOMPARE(QDir(d.path()).entryList(QDir::Files), QStringList{"MTVX2005.MDB"});
    }

    void comprobacionLigeraNoLeeCadaPagina() {
        QTemporaryDir d;
        const QString f = d.filePath("P1.MDB");
        CreaConIndice(f);
        DanaIndice(f);
        Banco b;
        Conexion c;
        // The per-value opening of the data files does not pay for a full check.
        QVERIFY(OpenDBOK(CadenaJet(f, ""), c, b.e, Comprobacion::Ligera));
    }

    void sinControlador() {
        QTemporaryDir d;
        const QString f = d.filePath("MTVX2005.MDB");
        QVERIFY(CreaSqlite(f, {"metrovax.sqlite.sql"}));
        FijaDriverParaPruebas(Motor::Sqlite, "QNOEXISTE");
        Banco b;
        Conexion c;
        const bool ok = OpenDBOK(CadenaJet(f, ""), c, b.e);
        FijaDriverParaPruebas(Motor::Sqlite, "QSQLITE");
        QVERIFY(!ok);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        const QString m = b.avisos.mensajes[0].texto;
        QVERIFY2(m.contains("\n-2147220999.- "), qPrintable(m));
        QVERIFY(m.endsWith("\n\nInstale el controlador.\n\n"));
    }

    void conexionesLiberadas() {
        const int antes = QSqlDatabase::connectionNames().size();
        {
            QTemporaryDir d;
            const QString f = d.filePath("A.MDB");
            QVERIFY(CreaSqlite(f, {"metrovax.sqlite.sql"}));
            Banco b;
            Conexion c1, c2;
            QVERIFY(OpenDBOK(CadenaJet(f, ""), c1, b.e));
            QVERIFY(!OpenDBOK(CadenaJet(d.filePath("B.MDB"), ""), c2, b.e));
            QVERIFY(OpenDBOK(CadenaJet(f, ""), c1, b.e)); // reopening replaces, not leaks
        }
        QCOMPARE(QSqlDatabase::connectionNames().size(), antes);
    }
};

QTEST_GUILESS_MAIN(TstConexion)
#include "tst_conexion.moc"
