#include "support/banco.h"
#include "ventanas/monitorwindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 1 CALIB closed, port 5 TIMER marked open, in a configuration database named Planta.mdb.
struct Planta : Banco {
    Adquisicion& a = adquisicion();
    bool lista = false;

    Planta() {
        const char* textos[] = {"",           "Puerto ", "Abrir",    "Cerrar",
                                "Configurar", "leídas",  "grabadas", " ca/se cabecera"};
        for (int n = 1; n <= 7; ++n)
            texto(43, n, textos[n]);
        archivoConf = dir.ruta() + "Planta.mdb";
        lista = mtvx() && conf("INSERT INTO PUERTOS VALUES (1,'CALIB',0),(5,'TIMER',-1);"
                               "INSERT INTO CANALES VALUES (5,3,'');"
                               "INSERT INTO CONF (Puert,Canal,Secue,Carac) VALUES (5,3,1,'X');");
    }
};

} // namespace

class TstMonitorWindow : public QObject {
    Q_OBJECT
private slots:
    void pestanasYCaptions() {
        Planta b;
        QVERIFY(b.lista);
        DAM w(b.a);
        b.a.arranca();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QString("Ruteador Multipuertos -> Metrovax"));
        QCOMPARE(w.SSTab1->count(), 16);
        QCOMPARE(w.SSTab1->tabText(15), QString("16"));
        QCOMPARE(w.bArchConf->text(), QString("Planta.mdb"));
        QCOMPARE(w.lblHead->text(), QString(" ca/se cabecera"));
        QCOMPARE(w.Frame1->title(), QString("Puerto 1: CALIB"));
        QCOMPARE(w.cmdAbre->text(), QString("Abrir"));
        QCOMPARE(w.cmdConf->text(), QString("Configurar"));

        // Port 5 is a TIMER marked open: tab 5 shows it open and its counters.
        b.a.tablas().NumLecturas[5] = 4;
        b.a.tablas().NumGrabadas[5] = 3;
        w.SSTab1->setCurrentIndex(4);
        QCOMPARE(b.a.puertoActual(), 5);
        QCOMPARE(w.Frame1->title(), QString("Puerto 5: TIMER"));
        QCOMPARE(w.cmdAbre->text(), QString("Cerrar"));
        QCOMPARE(w.lblRec->text(), QString("4 leídas"));
        QCOMPARE(w.lblGra->text(), QString("3 grabadas"));

        // The switch acts on the tab shown.
        QTest::mouseClick(w.cmdAbre, Qt::LeftButton);
        QVERIFY(!b.a.activo(5));
        QCOMPARE(w.cmdAbre->text(), QString("Abrir"));
        w.SSTab1->setCurrentIndex(0);
        QCOMPARE(w.Frame1->title(), QString("Puerto 1: CALIB"));
        w.permiteCierre();
    }

    void registroEnLaCaja() {
        Planta b;
        DAM w(b.a);
        w.resize(706, 447);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int filas = b.a.log().filas(2);
        QCOMPARE(filas, DAM::filasDeCaja(w.Text1[1]->height()));
        QVERIFY(filas > 3);
        for (int i = 0; i < filas + 4; ++i)
            b.a.log().MuestraLinea(2, QString(" linea %1").arg(i));
        QCOMPARE(w.Text1[1]->blockCount(), filas);
        QVERIFY(w.Text1[1]->toPlainText().endsWith(
            QString(" linea %1").arg(filas + 3).leftJustified(92)));
        QVERIFY(w.Text1[0]->toPlainText().isEmpty());
        w.permiteCierre();
    }

    // During a port's wait for its socket the configuration buttons open nothing: their restart
    // or renumbering would run inside the wait.
    void botonesDuranteLaEspera() {
        Planta b;
        QVERIFY(EjecutaSentencia(b.dir.ruta() + "Planta.mdb",
                                 "INSERT INTO PUERTOS VALUES (3,'GSE01',0)"));
        QVERIFY(EjecutaSentencia(b.archivoMtvx,
                                 "UPDATE INS SET INSTCPPR = '4100' WHERE INSCLAVE = 'GSE01'"));
        DAM w(b.a);
        int dialogos = 0;
        w.abreUbicacion = [&dialogos] { ++dialogos; };
        w.abreEditor = [&dialogos] { ++dialogos; };
        b.a.Reinicia();
        b.puertos.tcp(3).respondeTras(-1);
        QTimer::singleShot(0, &w, [&w] {
            w.bArchConf->click();
            w.cmdConf->click();
        });
        b.a.fijaPuertoActual(3);
        b.a.cmdAbre();
        QCOMPARE(dialogos, 0);
        w.bArchConf->click(); // after the wait the button works
        QCOMPARE(dialogos, 1);
        w.permiteCierre();
    }

    void elUsuarioNoLaCierra() {
        Planta b;
        DAM w(b.a);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        w.permiteCierre();
        QVERIFY(w.close());
    }

    void filasPorAltura_data() {
        QTest::addColumn<int>("alto");
        QTest::addColumn<int>("filas");
        QTest::addRow("5410 twips, the box as drawn") << 5410 / 15 << 25;
        QTest::addRow("three rows") << (3 * 210 + 90) / 15 << 3;
        QTest::addRow("tiny box still shows a line") << 2 << 1;
    }
    void filasPorAltura() {
        QFETCH(int, alto);
        QFETCH(int, filas);
        QCOMPARE(DAM::filasDeCaja(alto), filas);
    }
};

QTEST_MAIN(TstMonitorWindow)
#include "tst_monitorwindow.moc"
