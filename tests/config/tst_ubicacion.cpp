#include "config/ubicacion.h"
#include "support/banco.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

using namespace ort;
using namespace ort::prueba;

namespace {

QByteArray Lee(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
}

ino_t Inodo(const QString& ruta) {
    struct stat st {};
    return ::stat(QFile::encodeName(ruta).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TstUbicacion : public QObject {
    Q_OBJECT
private slots:
    void lista_data() {
        QTest::addColumn<QByteArray>("contenido");
        QTest::addColumn<QStringList>("rutas");
        // clang-format off
        QTest::addRow("one per line") << QByteArray("/a/uno.mdb\r\n/b/dos.MDB\n") << QStringList{"/a/uno.mdb", "/b/dos.MDB"};
        QTest::addRow("ends at a comma") << QByteArray("/a/x,y.mdb\r\n") << QStringList{"/a/x", "y.mdb"};
        QTest::addRow("empty lines skipped") << QByteArray("/a.mdb\r\n\r\n\r\n/b.mdb\r\n\r\n") << QStringList{"/a.mdb", "/b.mdb"};
        QTest::addRow("seven at most") << QByteArray("1.mdb\n2.mdb\n3.mdb\n4.mdb\n5.mdb\n6.mdb\n7.mdb\n8.mdb\n") << QStringList{"1.mdb", "2.mdb", "3.mdb", "4.mdb", "5.mdb", "6.mdb", "7.mdb"};
        QTest::addRow("quoted, Windows-1252") << QByteArray("\"C:\\Configuraci\xf3n\\ORT.mdb\"\r\n") << QStringList{QString::fromUtf8("C:\\Configuración\\ORT.mdb")};
        QTest::addRow("empty file") << QByteArray() << QStringList{};
        // clang-format on
    }
    void lista() {
        QFETCH(QByteArray, contenido);
        QFETCH(QStringList, rutas);
        DirPrograma d;
        d.escribe("ORTDirec.IAU", contenido);
        const ListaUbicaciones l = LeeUbicaciones(d.ruta());
        QVERIFY(!l.error);
        QCOMPARE(l.rutas, rutas);
    }

    void listaSinArchivoOEnOtraLetra() {
        DirPrograma d;
        ListaUbicaciones l = LeeUbicaciones(d.ruta());
        QVERIFY(l.error);
        QCOMPARE(l.error->numero, 53);
        QVERIFY(l.error->descripcion.contains("ORTDirec.IAU"));
        QVERIFY(l.rutas.isEmpty());
        // An installation copied from Windows may spell the name in another case.
        d.escribe("ortdirec.iau", QByteArray("/x/y.mdb\r\n"));
        l = LeeUbicaciones(d.ruta());
        QVERIFY(!l.error);
        QCOMPARE(l.rutas, QStringList{"/x/y.mdb"});
    }

    void eleccion_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("propio");
        // clang-format off
        QTest::addRow("lower case") << "/d/Conf.mdb" << true;
        QTest::addRow("upper case") << "/d/CONF.MDB" << true;
        QTest::addRow("mixed case") << "/d/conf.mDb" << true;
        QTest::addRow("bare directory") << "/d/" << false;
        QTest::addRow("another ending") << "/d/conf.accdb" << false;
        QTest::addRow("trailing blank") << "/d/conf.mdb " << false;
        QTest::addRow("empty") << "" << false;
        // clang-format on
    }
    void eleccion() {
        QFETCH(QString, texto);
        QFETCH(bool, propio);
        QCOMPARE(EligeUbicacion(texto, "/prog/"),
                 propio ? texto : QString("/prog/ORTConf2005.mdb"));
    }

    void lineas_data() {
        QTest::addColumn<QString>("ruta");
        QTest::addColumn<QStringList>("anteriores");
        QTest::addColumn<QStringList>("lineas");
        // clang-format off
        QTest::addRow("first keeps the order") << "/a.mdb" << QStringList{"/a.mdb", "/b.mdb", "/c.mdb"} << QStringList{"/a.mdb", "/b.mdb", "/c.mdb", "", "", ""};
        QTest::addRow("two earlier entries") << "/b.mdb" << QStringList{"/a.mdb", "/b.mdb"} << QStringList{"/b.mdb", "/a.mdb", "", "", "", ""};
        QTest::addRow("new first, 7th goes") << "/n.mdb" << QStringList{"1", "2", "3", "4", "5", "6", "7"} << QStringList{"/n.mdb", "1", "2", "3", "4", "5", "6"};
        QTest::addRow("case-blind, once") << "/D/Conf.MDB" << QStringList{"/d/conf.mdb", "/e.mdb", "/E.MDB"} << QStringList{"/D/Conf.MDB", "/e.mdb", "", "", ""};
        QTest::addRow("no list") << "/a.mdb" << QStringList{} << QStringList{"/a.mdb", "", "", "", "", "", ""};
        // clang-format on
    }
    void lineas() {
        QFETCH(QString, ruta);
        QFETCH(QStringList, anteriores);
        QFETCH(QStringList, lineas);
        QCOMPARE(LineasUbicacion(ruta, anteriores), lineas);
    }

    void escrituraPorReemplazo() {
        DirPrograma d;
        d.escribe("ORTDirec.IAU", QByteArray("/vieja.mdb\r\n"));
        const QString archivo = d.ruta() + "ORTDirec.IAU";
        const ino_t antes = Inodo(archivo);
        QVERIFY(EscribeUbicaciones(d.ruta(), "/nueva.mdb", {"/vieja.mdb"}));
        QCOMPARE(Lee(archivo), QByteArray("/nueva.mdb\r\n/vieja.mdb\r\n\r\n\r\n\r\n\r\n\r\n"));
        // A new file took the old one's name: the old list was never truncated in place.
        QVERIFY(Inodo(archivo) != antes);
        QCOMPARE(QDir(d.ruta()).entryList(QDir::Files), QStringList{"ORTDirec.IAU"});
        // Read back, the written list gives the same choices.
        QCOMPARE(LeeUbicaciones(d.ruta()).rutas, QStringList({"/nueva.mdb", "/vieja.mdb"}));
    }

    void comaEnLaRuta() {
        Banco b;
        DirPrograma& d = b.dir;
        const QString ruta = d.ruta() + "Planta 2, línea A/conf.mdb";
        QVERIFY(EscribeUbicaciones(d.ruta(), ruta, {"/vieja.mdb"}));
        QCOMPARE(LeeUbicaciones(d.ruta()).rutas, QStringList({ruta, "/vieja.mdb"}));
        // The configuration is looked for where the dialog wrote, not at the comma.
        QVERIFY(QDir().mkpath(d.ruta() + "Planta 2, línea A"));
        QVERIFY(CreaSqlite(ruta, {"ortconf.sqlite.sql"}));
        QVERIFY(b.config.IniArch());
        QCOMPARE(b.config.ruta(), ruta);
    }

    void escrituraFallida() {
        DirPrograma d;
        QVERIFY(QDir().mkpath(d.ruta() + "ORTDirec.IAU")); // a directory takes the name
        QString problema;
        QVERIFY(!EscribeUbicaciones(d.ruta(), "/nueva.mdb", {}, &problema));
        QVERIFY(!problema.isEmpty());
        QCOMPARE(QDir(d.ruta()).entryList(QDir::Files), QStringList{}); // no temporary left
    }

    void prueba_data() {
        QTest::addColumn<QString>("esquema"); // "-": no file
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("valida");
        // clang-format off
        QTest::addRow("the three tables") << "ortconf.sqlite.sql" << "" << true;
        QTest::addRow("no CONF table") << "" << "CREATE TABLE PUERTOS (Puert INTEGER); CREATE TABLE CANALES (Puert INTEGER);" << false;
        QTest::addRow("no tables") << "" << "CREATE TABLE OTRA (x INTEGER)" << false;
        QTest::addRow("no file") << "-" << "" << false;
        // clang-format on
    }
    void prueba() {
        QFETCH(QString, esquema);
        QFETCH(QString, extra);
        QFETCH(bool, valida);
        Banco b;
        const QString base = b.dir.ruta() + "conf.mdb";
        if (esquema != "-")
            QVERIFY(
                CreaSqlite(base, esquema.isEmpty() ? QStringList{} : QStringList{esquema}, extra));
        QString problema;
        QCOMPARE(PruebaConfiguracion(base, b.e, &problema), valida);
        QCOMPARE(problema.isEmpty(), valida);
        QCOMPARE(QFile::exists(base), esquema != "-"); // a missing file is not created
    }
};

QTEST_GUILESS_MAIN(TstUbicacion)
#include "tst_ubicacion.moc"
