#include "support/banco.h"
#include "ventanas/dialogoubicacion.h"

#include <QtTest>
#include <QtWidgets>

using namespace ort;
using namespace ort::prueba;

namespace {

struct Dialogo : Banco {
    Dialogo(const QStringList& lista = {}) {
        texto(43, 14, "No es una base de configuración de ORT.");
        for (const char* n : {"ORTConf2005.mdb", "uno.mdb", "dos.mdb", "GRANDE.MDB"})
            creaSqlite(dir.ruta() + n, {"ortconf.sqlite.sql"});
        creaSqlite(dir.ruta() + "mala.mdb", {}, "CREATE TABLE OTRA (x INTEGER)");
        if (!lista.isEmpty())
            dir.escribe(kArchivoUbicacion, ruta(lista.join("\r\n") + "\r\n").toUtf8());
    }
    QString ruta(QString s) const { return s.replace("@", dir.ruta()); }
    QString archivo() const {
        QFile f(dir.ruta() + kArchivoUbicacion);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString("<none>");
    }
};

} // namespace

class TstDialogoUbicacion : public QObject {
    Q_OBJECT
private slots:
    // The base confirmed goes first in the location file; one without the tables is refused.
    void confirma_data() {
        QTest::addColumn<QString>("lista"); // "-": no location file; "@": the program directory
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("archivo"); // "": refused
        // clang-format off
        QTest::addRow("no .mdb: the default") << "@uno.mdb" << "@" << "@ORTConf2005.mdb\r\n@uno.mdb\r\n\r\n\r\n\r\n\r\n\r\n";
        QTest::addRow("an earlier entry") << "@uno.mdb\r\n@dos.mdb" << "@dos.mdb" << "@dos.mdb\r\n@uno.mdb\r\n\r\n\r\n\r\n\r\n";
        QTest::addRow("ending in any case") << "@uno.mdb" << "@GRANDE.MDB" << "@GRANDE.MDB\r\n@uno.mdb\r\n\r\n\r\n\r\n\r\n\r\n";
        QTest::addRow("no location file") << "-" << "@uno.mdb" << "@uno.mdb\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
        QTest::addRow("no tables") << "@uno.mdb" << "@mala.mdb" << "";
        QTest::addRow("missing base") << "@uno.mdb" << "@falta.mdb" << "";
        // clang-format on
    }
    void confirma() {
        QFETCH(QString, lista);
        QFETCH(QString, texto);
        QFETCH(QString, archivo);
        Dialogo b(lista == "-" ? QStringList{} : QStringList{lista});
        const QString antes = b.archivo();
        DialogoUbicacion d(b.e);
        QCOMPARE(d.cboDBConf->count(), lista == "-" ? 0 : lista.count("\r\n") + 1);
        QCOMPARE(b.avisos.textos().filter(" 53: ").size(), lista == "-" ? 1 : 0);
        d.cboDBConf->setEditText(b.ruta(texto));
        QSignalSpy aceptado(&d, &QDialog::accepted);
        d.bAceptar->click();
        QCOMPARE(aceptado.count(), archivo.isEmpty() ? 0 : 1);
        QCOMPARE(b.archivo(), archivo.isEmpty() ? antes : b.ruta(archivo));
        QVERIFY(!QFile::exists(b.ruta("@falta.mdb")));
        QCOMPARE(b.avisos.textos().filter("No es una base").size(), int(archivo.isEmpty()));
    }

    void examinar() {
        Dialogo b({"@bases/a.mdb"});
        for (const char* n : {"bases/a.mdb", "bases/B.MDB", "bases/c.Mdb", "bases/d.txt"})
            b.dir.escribe(n, QByteArray("x"));
        DialogoUbicacion d(b.e);
        QStringList vistos;
        // The browser runs modally: look at it and pick a file from inside its loop.
        QTimer::singleShot(0, &d, [&] {
            auto* vista = d.explorador->findChild<QListView*>("listView");
            for (int i = 0; vista && i < 200 && vistos.size() < 3; ++i) {
                QTest::qWait(10);
                vistos.clear();
                for (int r = 0; r < vista->model()->rowCount(vista->rootIndex()); ++r)
                    vistos << vista->model()->index(r, 0, vista->rootIndex()).data().toString();
            }
            if (auto* nombre = d.explorador->findChild<QLineEdit*>("fileNameEdit"))
                nombre->setText("B.MDB");
            static_cast<QDialog*>(d.explorador)->accept();
        });
        QTimer::singleShot(10000, d.explorador, &QFileDialog::reject); // fails instead of hanging
        d.cmdRuta->click();
        vistos.sort();
        QCOMPARE(vistos, QStringList({"B.MDB", "a.mdb", "c.Mdb"}));
        QCOMPARE(QDir::cleanPath(d.cboDBConf->currentText()),
                 QDir::cleanPath(b.dir.ruta() + "bases/B.MDB"));
    }
};

QTEST_MAIN(TstDialogoUbicacion)
#include "tst_dialogoubicacion.moc"
