#include "ventanas/titlewindow.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ort;

class TstTitleWindow : public QObject {
    Q_OBJECT
private slots:
    // The picture at its own size; a click, a key or the 3-second timer each close it, once.
    void cierre_data() {
        QTest::addColumn<QString>("como");
        // clang-format off
        QTest::addRow("click") << "click";
        QTest::addRow("key") << "key";
        QTest::addRow("timer") << "timer";
        // clang-format on
    }
    void cierre() {
        QFETCH(QString, como);
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("image"));
        QImage imagen(321, 123, QImage::Format_RGB32);
        imagen.fill(Qt::darkBlue);
        QVERIFY(imagen.save(dir.filePath("image/caratula.jpg"), "JPG")); // found in any case
        OrtCarat w(dir.path() + '/', "Planta");
        QSignalSpy cerrada(&w, &OrtCarat::cerrada);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.size(), QSize(321, 123));
        QVERIFY(w.problemaImagen().isEmpty());
        if (como == "click")
            QTest::mouseClick(&w, Qt::LeftButton);
        else if (como == "key")
            QTest::keyClick(&w, Qt::Key_Space);
        else
            QTRY_COMPARE_WITH_TIMEOUT(cerrada.count(), 1, 4000);
        QCOMPARE(cerrada.count(), 1);
        QVERIFY(!w.isVisible());
        QTest::mouseClick(&w, Qt::LeftButton);
        QCOMPARE(cerrada.count(), 1);
    }

    // Without its picture the window still says what starts, and the reason is kept to report.
    void sinImagen_data() {
        QTest::addColumn<QByteArray>("contenido"); // empty: no file
        QTest::addColumn<QString>("motivo");
        // clang-format off
        QTest::addRow("missing") << QByteArray() << "No se encuentra el archivo.";
        QTest::addRow("not a picture") << QByteArray("no es un JPEG") << "no es una imagen JPEG";
        // clang-format on
    }
    void sinImagen() {
        QFETCH(QByteArray, contenido);
        QFETCH(QString, motivo);
        QTemporaryDir dir;
        if (!contenido.isEmpty()) {
            QVERIFY(QDir().mkpath(dir.filePath("Image")));
            QFile f(dir.filePath("Image/CARATULA.JPG"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contenido);
        }
        OrtCarat w(dir.path() + '/', "Planta Demo");
        QVERIFY(w.problemaImagen().startsWith(dir.path() + "/Image/CARATULA.JPG\n\n"));
        QVERIFY2(w.problemaImagen().contains(motivo), qPrintable(w.problemaImagen()));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.findChild<QLabel*>()->text().contains("Planta Demo"));
        QTest::keyClick(&w, Qt::Key_Escape);
    }
};

QTEST_MAIN(TstTitleWindow)
#include "tst_titlewindow.moc"
