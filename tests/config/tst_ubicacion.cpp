#include "config/almacen.h"
#include "config/ubicacion.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/programa.h"

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
        QTest::newRow("one per line")
            << QByteArray("/a/uno.mdb\r\n/b/dos.MDB\n") << QStringList{"/a/uno.mdb", "/b/dos.MDB"};
        QTest::newRow("an item ends at a comma")
            << QByteArray("/a/x,y.mdb\r\n") << QStringList{"/a/x", "y.mdb"};
        QTest::newRow("empty lines are not offered")
            << QByteArray("/a.mdb\r\n\r\n\r\n/b.mdb\r\n\r\n") << QStringList{"/a.mdb", "/b.mdb"};
        QTest::newRow("seven at most")
            << QByteArray("1.mdb\n2.mdb\n3.mdb\n4.mdb\n5.mdb\n6.mdb\n7.mdb\n8.mdb\n")
            << QStringList{"1.mdb", "2.mdb", "3.mdb", "4.mdb", "5.mdb", "6.mdb", "7.mdb"};
        QTest::newRow("quoted, Windows-1252")
            << QByteArray("\"C:\\Configuraci\xf3n\\ORT.mdb\"\r\n")
            << QStringList{QString::fromUtf8("C:\\Configuración\\ORT.mdb")};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
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
        QTest::newRow("lower case") << "/d/Conf.mdb" << true;
        QTest::newRow("upper case") << "/d/CONF.MDB" << true;
        QTest::newRow("mixed case") << "/d/conf.mDb" << true;
        QTest::newRow("bare directory") << "/d/" << false;
        QTest::newRow("another ending") << "/d/conf.accdb" << false;
        QTest::newRow("trailing blank") << "/d/conf.mdb " << false;
        QTest::newRow("empty") << "" << false;
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
        QTest::newRow("the first entry keeps the order")
            << "/a.mdb" << QStringList{"/a.mdb", "/b.mdb", "/c.mdb"}
            << QStringList{"/a.mdb", "/b.mdb", "/c.mdb", "", "", ""};
        QTest::newRow("two earlier entries") << "/b.mdb" << QStringList{"/a.mdb", "/b.mdb"}
                                             << QStringList{"/b.mdb", "/a.mdb", "", "", "", ""};
        QTest::newRow("a new path goes first, the seventh entry goes")
            << "/n.mdb" << QStringList{"1", "2", "3", "4", "5", "6", "7"}
            << QStringList{"/n.mdb", "1", "2", "3", "4", "5", "6"};
        QTest::newRow("the same path in another case is written once")
            << "/D/Conf.MDB" << QStringList{"/d/conf.mdb", "/e.mdb", "/E.MDB"}
            << QStringList{"/D/Conf.MDB", "/e.mdb", "", "", ""};
        QTest::newRow("no list") << "/a.mdb" << QStringList{}
                                 << QStringList{"/a.mdb", "", "", "", "", "", ""};
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
        DirPrograma d;
        const QString ruta = d.ruta() + "Planta 2, línea A/conf.mdb";
        QVERIFY(EscribeUbicaciones(d.ruta(), ruta, {"/vieja.mdb"}));
        QCOMPARE(LeeUbicaciones(d.ruta()).rutas, QStringList({ruta, "/vieja.mdb"}));
        // The configuration is looked for where the dialog wrote, not at the comma.
        Ajustes ajustes;
        ajustes.Ruta = d.ruta();
        AvisosGrabados avisos;
        RelojFalso reloj;
        Entorno e{ajustes, avisos, reloj};
        QVERIFY(QDir().mkpath(d.ruta() + "Planta 2, línea A"));
        QVERIFY(CreaSqlite(ruta, {"ortconf.sqlite.sql"}));
        AlmacenConfig a(e);
        QVERIFY(a.IniArch());
        QCOMPARE(a.ruta(), ruta);
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
        QTest::newRow("the three tables") << "ortconf.sqlite.sql"
                                          << "" << true;
        QTest::newRow("no CONF table") << ""
                                       << "CREATE TABLE PUERTOS (Puert INTEGER);"
                                          "CREATE TABLE CANALES (Puert INTEGER);"
                                       << false;
        QTest::newRow("no tables") << ""
                                   << "CREATE TABLE OTRA (x INTEGER)" << false;
        QTest::newRow("no file") << "-"
                                 << "" << false;
    }
    void prueba() {
        QFETCH(QString, esquema);
        QFETCH(QString, extra);
        QFETCH(bool, valida);
        DirPrograma d;
        Ajustes a;
        a.Ruta = d.ruta();
        AvisosGrabados av;
        RelojFalso r;
        Entorno e{a, av, r};
        const QString base = d.ruta() + "conf.mdb";
        if (esquema != "-")
            QVERIFY(
                CreaSqlite(base, esquema.isEmpty() ? QStringList{} : QStringList{esquema}, extra));
        QString problema;
        QCOMPARE(PruebaConfiguracion(base, e, &problema), valida);
        QCOMPARE(problema.isEmpty(), valida);
        QCOMPARE(QFile::exists(base), esquema != "-"); // a missing file is not created
    }
};

QTEST_GUILESS_MAIN(TstUbicacion)
#include "tst_ubicacion.moc"
