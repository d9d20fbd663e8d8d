#include "support/banco.h"
#include "ventanas/ubicaciondialog.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace ort;
using namespace ort::prueba;

namespace {

struct Dialogo : Banco {
    Dialogo() {
        texto(43, 13, "Base de configuración");
        texto(43, 14, "No es una base de configuración de ORT.");
        texto(2, 11, "Buscar...");
        texto(2, 0, "Aceptar");
    }
    QString base(const QString& nombre, bool conTablas = true) const {
        const QString ruta = dir.ruta() + nombre;
        CreaSqlite(ruta, conTablas ? QStringList{"ortconf.sqlite.sql"} : QStringList{},
                   conTablas ? QString() : QString("CREATE TABLE OTRA (x INTEGER)"));
        return ruta;
    }
    void lista(const QStringList& rutas) const {
        dir.escribe(kArchivoUbicacion, rutas.join("\r\n") + "\r\n");
    }
    QString archivo() const {
        QFile f(dir.ruta() + kArchivoUbicacion);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString("<none>");
    }
};

QStringList Items(const QComboBox* c) {
    QStringList r;
    for (int i = 0; i < c->count(); ++i)
        r << c->itemText(i);
    return r;
}

} // namespace

class TstUbicacionDialog : public QObject {
    Q_OBJECT
private slots:
    void carga() {
        Dialogo b;
        b.lista({"/a/uno.mdb", "/b/dos.mdb", "/c/tres.mdb"});
        ORTConfig d(b.e);
        QCOMPARE(d.windowTitle(), QString("Base de configuración"));
        QCOMPARE(d.cmdRuta->text(), QString("Buscar..."));
        QCOMPARE(d.bAceptar->text(), QString("Aceptar"));
        QCOMPARE(Items(d.cboDBConf), QStringList({"/a/uno.mdb", "/b/dos.mdb", "/c/tres.mdb"}));
        QCOMPARE(d.cboDBConf->currentText(), QString("/a/uno.mdb"));
        QVERIFY(d.cboDBConf->isEditable());
        QVERIFY(b.avisos.mensajes.isEmpty());
    }

    void cargaSinArchivo() {
        Dialogo b;
        ORTConfig d(b.e);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.startsWith("ORTConfig (Form_Load)\n\n 53: "));
        QCOMPARE(b.avisos.mensajes[0].icono, Avisos::Icono::Exclamacion);
        // The window stays usable: a typed name can still be confirmed.
        const QString base = b.base("nueva.mdb");
        d.cboDBConf->setEditText(base);
        QSignalSpy aceptado(&d, &QDialog::accepted);
        d.bAceptar_Click();
        QCOMPARE(aceptado.count(), 1);
        QCOMPARE(b.archivo(), base + "\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
    }

    void confirma_data() {
        QTest::addColumn<QStringList>("lista");
        QTest::addColumn<QString>("texto"); // "@x": the path of x in the program directory
        QTest::addColumn<QStringList>("lineas");
        // The list's order itself is the location file's own test; here, what the dialog adds.
        // clang-format off
        QTest::addRow("no .mdb: the default") << QStringList{"@otra.mdb"} << "@" << QStringList{"@ORTConf2005.mdb", "@otra.mdb", "", "", "", "", ""};
        QTest::addRow("an earlier entry") << QStringList{"@uno.mdb", "@dos.mdb"} << "@dos.mdb" << QStringList{"@dos.mdb", "@uno.mdb", "", "", "", ""};
        QTest::addRow("ending in any case") << QStringList{"@uno.mdb"} << "@GRANDE.MDB" << QStringList{"@GRANDE.MDB", "@uno.mdb", "", "", "", "", ""};
        // clang-format on
    }
    void confirma() {
        QFETCH(QStringList, lista);
        QFETCH(QString, texto);
        QFETCH(QStringList, lineas);
        Dialogo b;
        auto ruta = [&b](QString s) { return s.replace("@", b.dir.ruta()); };
        for (const char* n : {"ORTConf2005.mdb", "otra.mdb", "uno.mdb", "dos.mdb", "GRANDE.MDB"})
            b.base(n);
        QStringList rutas;
        for (const QString& l : lista)
            rutas << ruta(l);
        b.lista(rutas);
        ORTConfig d(b.e);
        d.cboDBConf->setEditText(ruta(texto));
        QSignalSpy aceptado(&d, &QDialog::accepted);
        d.bAceptar_Click();
        QVERIFY2(b.avisos.mensajes.isEmpty(), qPrintable(b.avisos.textos().join("|")));
        QCOMPARE(aceptado.count(), 1);
        QStringList esperado;
        for (const QString& l : lineas)
            esperado << ruta(l);
        QCOMPARE(b.archivo(), esperado.join("\r\n") + "\r\n");
        QCOMPARE(d.cboDBConf->currentText(), esperado.first());
    }

    void rechazaUnaBaseSinTablas() {
        Dialogo b;
        const QString buena = b.base("buena.mdb");
        const QString mala = b.base("mala.mdb", false);
        b.lista({buena});
        const QString antes = b.archivo();
        ORTConfig d(b.e);
        d.cboDBConf->setEditText(mala);
        QSignalSpy aceptado(&d, &QDialog::accepted);
        d.bAceptar_Click();
        QCOMPARE(aceptado.count(), 0);
        QCOMPARE(b.archivo(), antes);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.startsWith(
            mala + "\n\nNo es una base de configuración de ORT."));
        QCOMPARE(b.avisos.mensajes[0].icono, Avisos::Icono::Exclamacion);
        QCOMPARE(d.cboDBConf->currentText(), mala); // the text is left for correcting
        // A missing file is refused the same way and is not created.
        d.cboDBConf->setEditText(b.dir.ruta() + "falta.mdb");
        d.bAceptar_Click();
        QCOMPARE(aceptado.count(), 0);
        QCOMPARE(b.archivo(), antes);
        QVERIFY(!QFile::exists(b.dir.ruta() + "falta.mdb"));
    }

    void examinar() {
        Dialogo b;
        QDir().mkpath(b.dir.ruta() + "bases");
        for (const char* n : {"bases/a.mdb", "bases/B.MDB", "bases/c.Mdb", "bases/d.txt"})
            b.dir.escribe(n, QByteArray("x"));
        b.lista({b.dir.ruta() + "bases/a.mdb"});
        ORTConfig d(b.e);
        QStringList vistos;
        QString filtro;
        // The browser runs modally: look at it and pick a file from inside its loop.
        QTimer::singleShot(0, &d, [&] {
            auto* vista = d.DLG->findChild<QListView*>("listView");
            if (!vista) {
                d.DLG->reject();
                return;
            }
            filtro = d.DLG->selectedNameFilter();
            for (int i = 0; i < 200 && vistos.size() < 3; ++i) {
                QTest::qWait(10);
                vistos.clear();
                const QModelIndex raiz = vista->rootIndex();
                for (int r = 0; r < vista->model()->rowCount(raiz); ++r)
                    vistos << vista->model()->index(r, 0, raiz).data().toString();
            }
            // The user types the name into the browser's focused name field.
            if (auto* nombre = d.DLG->findChild<QLineEdit*>("fileNameEdit"))
                nombre->setText("B.MDB");
            static_cast<QDialog*>(d.DLG)->accept();
        });
        // Should the browser not close, the test fails instead of hanging.
        QTimer::singleShot(10000, d.DLG, [&d] { d.DLG->reject(); });
        d.cmdRuta_Click();
        QCOMPARE(filtro, QString("mdb (*.mdb)"));
        vistos.sort();
        QCOMPARE(vistos, QStringList({"B.MDB", "a.mdb", "c.Mdb"}));
        QCOMPARE(QDir::cleanPath(d.cboDBConf->currentText()),
                 QDir::cleanPath(b.dir.ruta() + "bases/B.MDB"));
        // Cancelling empties the text.
        QTimer::singleShot(0, &d, [&] { d.DLG->reject(); });
        d.cmdRuta_Click();
        QCOMPARE(d.cboDBConf->currentText(), QString());
    }
};

QTEST_MAIN(TstUbicacionDialog)
#include "tst_ubicaciondialog.moc"
