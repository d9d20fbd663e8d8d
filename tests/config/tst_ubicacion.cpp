#include "config/ubicacion.h"
#include "support/banco.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

using namespace ort;
using namespace ort::prueba;

class TstUbicacion : public QObject {
    Q_OBJECT
private slots:
    void lista_data() {
        QTest::addColumn<QString>("nombre"); // "-": no file
        QTest::addColumn<QByteArray>("contenido");
        QTest::addColumn<QStringList>("rutas");
        // clang-format off
        QTest::addRow("one per line") << "ORTDirec.IAU" << QByteArray("/a/uno.mdb\r\n/b/dos.MDB\n") << QStringList{"/a/uno.mdb", "/b/dos.MDB"};
        QTest::addRow("ends at a comma") << "ORTDirec.IAU" << QByteArray("/a/x,y.mdb\r\n") << QStringList{"/a/x", "y.mdb"};
        QTest::addRow("empty lines skipped") << "ORTDirec.IAU" << QByteArray("/a.mdb\r\n\r\n\r\n/b.mdb\r\n\r\n") << QStringList{"/a.mdb", "/b.mdb"};
        QTest::addRow("seven at most") << "ORTDirec.IAU" << QByteArray("1\n2\n3\n4\n5\n6\n7\n8\n") << QStringList{"1", "2", "3", "4", "5", "6", "7"};
        QTest::addRow("quoted, Windows-1252") << "ORTDirec.IAU" << QByteArray("\"C:\\Configuraci\xf3n\\ORT.mdb\"\r\n") << QStringList{QString::fromUtf8("C:\\Configuración\\ORT.mdb")};
        QTest::addRow("empty file") << "ORTDirec.IAU" << QByteArray() << QStringList{};
        QTest::addRow("name in another case") << "ortdirec.iau" << QByteArray("/x/y.mdb\r\n") << QStringList{"/x/y.mdb"};
        QTest::addRow("no file") << "-" << QByteArray() << QStringList{};
        // clang-format on
    }
    void lista() {
        QFETCH(QString, nombre);
        QFETCH(QByteArray, contenido);
        QFETCH(QStringList, rutas);
        DirPrograma d;
        if (nombre != "-")
            d.escribe(nombre, contenido);
        const ListaUbicaciones l = LeeUbicaciones(d.ruta());
        QCOMPARE(l.rutas, rutas);
        QCOMPARE(l.error ? l.error->numero : 0, nombre == "-" ? 53 : 0);
        QVERIFY(nombre != "-" || l.error->descripcion.contains("ORTDirec.IAU"));
    }

    void eleccion_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("propio");
        // clang-format off
        QTest::addRow("lower case") << "/d/Conf.mdb" << true;
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

    // A new file takes the old one's name (the old list is never truncated in place); a path
    // with a comma is read back whole, and the configuration is looked for there.
    void escritura() {
        Banco b;
        const QString archivo = b.dir.ruta() + "ORTDirec.IAU",
                      ruta = b.dir.ruta() + "Planta 2, línea A/conf.mdb";
        b.dir.escribe("ORTDirec.IAU", QByteArray("/vieja.mdb\r\n"));
        struct stat antes {
        }, despues{};
        ::stat(QFile::encodeName(archivo).constData(), &antes);
        QVERIFY(EscribeUbicaciones(b.dir.ruta(), ruta, {"/vieja.mdb"}));
        ::stat(QFile::encodeName(archivo).constData(), &despues);
        QVERIFY(antes.st_ino != despues.st_ino);
        QCOMPARE(QDir(b.dir.ruta()).entryList(QDir::Files), QStringList{"ORTDirec.IAU"});
        QCOMPARE(LeeUbicaciones(b.dir.ruta()).rutas, QStringList({ruta, "/vieja.mdb"}));
        QVERIFY(QDir().mkpath(b.dir.ruta() + "Planta 2, línea A") &&
                CreaSqlite(ruta, {"ortconf.sqlite.sql"}));
        QVERIFY(b.config.IniArch());
        QCOMPARE(b.config.ruta(), ruta);
        // A directory taking the name: refused with a reason, no temporary left.
        QVERIFY(QFile::remove(archivo) && QDir().mkpath(archivo));
        QString problema;
        QVERIFY(!EscribeUbicaciones(b.dir.ruta(), "/nueva.mdb", {}, &problema) &&
                !problema.isEmpty());
        QCOMPARE(QDir(b.dir.ruta()).entryList(QDir::Files), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TstUbicacion)
#include "tst_ubicacion.moc"
