#include "ventanas/ventanatitulo.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ort;

class TstVentanaTitulo : public QObject {
    Q_OBJECT
private slots:
    void cierre_data() {
        QTest::addColumn<QString>("como");
        QTest::addColumn<QByteArray>("imagen"); // empty: no file
        QTest::addColumn<QString>("motivo");
        // clang-format off
        QTest::addRow("click") << "click" << QByteArray("jpg") << "";
        QTest::addRow("timer") << "timer" << QByteArray("jpg") << "";
        QTest::addRow("missing") << "key" << QByteArray() << "No se encuentra el archivo.";
        QTest::addRow("not a picture") << "click" << QByteArray("no es un JPEG") << "no es una imagen JPEG";
        // clang-format on
    }
    void cierre() {
        QFETCH(QString, como);
        QFETCH(QByteArray, imagen);
        QFETCH(QString, motivo);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(imagen == "jpg" ? "image" : "Image")));
        if (imagen == "jpg") {
            QImage i(321, 123, QImage::Format_RGB32);
            i.fill(Qt::darkBlue);
            QVERIFY(i.save(dir.filePath("image/caratula.jpg"), "JPG"));
        } else if (!imagen.isEmpty()) {
            QFile f(dir.filePath("Image/CARATULA.JPG"));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(imagen) > 0);
        }
        VentanaTitulo w(dir.path() + '/', "Planta Demo");
        QSignalSpy cerrada(&w, &VentanaTitulo::cerrada);
        const QString problema = w.problemaImagen();
        QVERIFY2(motivo.isEmpty() ? problema.isEmpty()
                                  : problema.startsWith(dir.path() + "/Image/CARATULA.JPG\n\n") &&
                                        problema.contains(motivo),
                 qPrintable(problema));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(motivo.isEmpty() ? w.size() == QSize(321, 123)
                                 : w.findChild<QLabel*>()->text().contains("Planta Demo"));
        if (como == "click")
            QTest::mouseClick(&w, Qt::LeftButton);
        else if (como == "key")
            QTest::keyClick(&w, Qt::Key_Space);
        else
            QTRY_COMPARE_WITH_TIMEOUT(cerrada.count(), 1, 4000);
        QTest::mouseClick(&w, Qt::LeftButton); // closed once only
        QVERIFY(cerrada.count() == 1 && !w.isVisible());
    }
};

QTEST_MAIN(TstVentanaTitulo)
#include "tst_ventanatitulo.moc"
