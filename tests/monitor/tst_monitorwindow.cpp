// The monitor window: a tab per port with its captions, counters, log box and chart.
#include "monitor/graficopuerto.h"
#include "support/banco.h"
#include "ventanas/graficopuerto_window.h"
#include "ventanas/monitorwindow.h"

#include <QChartView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 1 CALIB closed and port 5 TIMER marked open, in a configuration database named
// Planta.mdb; port 5's channel 3 has three sequences, the first DIAM of TORNO1/EJE20, whose
// limits the Metrovax database gives as 19.9 and 20.1.
struct Planta : Banco {
    Adquisicion& a = adquisicion();
    bool lista = false;

    Planta() {
        const char* textos[] = {"",           "Puerto ", "Abrir",    "Cerrar",
                                "Configurar", "leídas",  "grabadas", " ca/se cabecera"};
        for (int n = 1; n <= 7; ++n)
            texto(43, n, textos[n]);
        archivoConf = dir.ruta() + "Planta.mdb";
        lista = mtvx() && conf("INSERT INTO PUERTOS VALUES (1,'CALIB',0),(5,'TIMER',-1); INSERT "
                               "INTO CANALES VALUES (5,3,'');"
                               "INSERT INTO CONF (Puert,Canal,Secue,Opera,Maqui,Produ,Forma,Carac) "
                               "VALUES (5,3,1,'OP1','TORNO1','EJE20','F1','DIAM'), "
                               "(5,3,2,'OP1','TORNO1','EJE20','F1','ANCHO'), "
                               "(5,3,3,'OP1','TORNO1','EJE20','F1','ALTO');");
    }
    // Registration of one reading of port 5, a second later than the one before.
    void lee(const QString& lectura) {
        reloj.avanza(1000);
        a.registrador().RegistraLectura(5, lectura, "2026/12/04", "09:05:07");
    }
};

LecturaProbada Lectura(int canal, int sec, double valor, qint64 ms, double inf = 10,
                       double sup = 20) {
    const QDateTime hora = QDateTime::fromMSecsSinceEpoch(ms);
    return {5,   canal, sec, QStringLiteral("DIAM"), valor, inf, sup, valor < inf || valor > sup,
            hora};
}

QList<double> Ys(const QList<QPointF>& puntos) {
    QList<double> y;
    for (const QPointF& p : puntos)
        y << p.y();
    return y;
}

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
        // A tab per port; captions from the running language's texts and the configuration.
        QCOMPARE(QStringList({w.SSTab1->tabText(15), w.bArchConf->text(), w.lblHead->text(),
                              w.Frame1->title(), w.cmdAbre->text(), w.cmdConf->text()}),
                 QStringList({"16", "Planta.mdb", " ca/se cabecera", "Puerto 1: CALIB", "Abrir",
                              "Configurar"}));

        // Port 5 is a TIMER marked open: tab 5 shows it open and its counters.
        b.a.tablas().NumLecturas[5] = 4;
        b.a.tablas().NumGrabadas[5] = 3;
        w.SSTab1->setCurrentIndex(4);
        QCOMPARE(b.a.puertoActual(), 5);
        QCOMPARE(
            QStringList({w.Frame1->title(), w.cmdAbre->text(), w.lblRec->text(), w.lblGra->text()}),
            QStringList({"Puerto 5: TIMER", "Cerrar", "4 leídas", "3 grabadas"}));

        // The switch acts on the tab shown.
        QTest::mouseClick(w.cmdAbre, Qt::LeftButton);
        QVERIFY(!b.a.activo(5) && w.cmdAbre->text() == "Abrir");
        w.SSTab1->setCurrentIndex(0);
        QCOMPARE(w.Frame1->title(), QString("Puerto 1: CALIB"));
        QVERIFY(!w.close() && w.isVisible()); // the user does not close it
        w.permiteCierre();
        QVERIFY(w.close());
    }

    void registroEnLaCaja() {
        Planta b;
        DAM w(b.a);
        w.resize(706, 447);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int filas = b.a.log().filas(2); // as many as the box shows
        QVERIFY(filas == DAM::filasDeCaja(w.Text1[1]->height()) && filas > 3);
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
        QVERIFY(EjecutaSentencia(b.archivoConf, "INSERT INTO PUERTOS VALUES (3,'GSE01',0)") &&
                EjecutaSentencia(b.archivoMtvx,
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

    // A fast port: every series keeps its newest points only, in order, and the limits it
    // keeps do not grow either.
    void seriesAcotadas_data() {
        QTest::addColumn<int>("maximo");
        QTest::addColumn<int>("lecturas");
        QTest::addColumn<int>("conLimitesNuevosCada");
        QTest::addRow("fast port, thousands of readings") << 500 << 6000 << 0;
        QTest::addRow("fewer readings than the bound") << 500 << 37 << 0;
        QTest::addRow("limits changing every 7 readings") << 50 << 3000 << 7;
    }
    void seriesAcotadas() {
        QFETCH(int, maximo);
        QFETCH(int, lecturas);
        QFETCH(int, conLimitesNuevosCada);
        SeriesPuerto s(maximo);
        for (int i = 0; i < lecturas; ++i) {
            const int tanda = conLimitesNuevosCada ? i / conLimitesNuevosCada : 0;
            // Two characteristics of the port, interleaved.
            s.agrega(Lectura(1, 1 + i % 2, i, 1000LL * i, tanda, 1e6 + tanda));
        }
        for (int sec : {1, 2}) {
            const int esperados = std::min(maximo, lecturas / 2 + (sec == 1 ? lecturas % 2 : 0));
            const SeriesPuerto::Serie* serie = s.serie({1, sec});
            const SeriesPuerto::Dibujo d = s.dibujo({1, sec});
            QVERIFY(serie && int(serie->puntos.size()) == esperados &&
                    d.valores.size() == esperados);
            QVERIFY(int(serie->puntos.back().valor) % 2 == sec - 1 &&
                    int(serie->puntos.back().valor) >= lecturas - 2);
            QCOMPARE(d.xMin, serie->puntos.front().ms);
            for (int i = 1; i < d.valores.size(); ++i)
                QVERIFY(d.valores[i].x() > d.valores[i - 1].x());
            // Only the limits in force from the oldest point kept on.
            QVERIFY(int(serie->limites.size()) <=
                    (conLimitesNuevosCada ? esperados * 2 / conLimitesNuevosCada + 2 : 1));
            QVERIFY(serie->limites.front().ms <= serie->puntos.front().ms);
        }
        QCOMPARE(s.claves(), (QList<SeriesPuerto::Clave>{{1, 1}, {1, 2}}));
    }

    // Limit lines are step lines through every change, whether it came with a reading or with
    // the port's reopening; "no limit" breaks the line; old limits leave with their points.
    void lineasDeLimites() {
        SeriesPuerto s(4);
        s.agrega(Lectura(2, 1, 15, 1000));
        s.agrega(Lectura(2, 1, 16, 2000));
        s.agrega(Lectura(2, 1, 13, 4000, 12, 18));
        s.agrega(Lectura(2, 1, 14, 6000, -999999, 999999));
        s.fijaLimites(2, 1, "DIAM", 11, 19, 8000);
        SeriesPuerto::Dibujo d = s.dibujo({2, 1});
        using Tramos = QList<QList<QPointF>>;
        QCOMPARE(d.inferior, (Tramos{{{1000, 10}, {4000, 10}, {4000, 12}, {6000, 12}},
                                     {{8000, 11}, {8000, 11}}}));
        QCOMPARE(d.superior, (Tramos{{{1000, 20}, {4000, 20}, {4000, 18}, {6000, 18}},
                                     {{8000, 19}, {8000, 19}}}));
        QCOMPARE(d.xMax, 8000);
        QVERIFY(d.yMin < 10 && d.yMax > 20); // the limits are in view, not only the values
        // A reopening at a time before the newest point (clock set back) does not draw backwards.
        s.fijaLimites(2, 1, "DIAM", 10.5, 19.5, 500);
        d = s.dibujo({2, 1});
        QCOMPARE(d.inferior.last(), (QList<QPointF>{{8000, 10.5}, {8000, 10.5}}));
        // Four newer readings push every old point and limit out.
        for (int i = 0; i < 4; ++i)
            s.agrega(Lectura(2, 1, 15, 9000 + 1000 * i, 10.5, 19.5));
        d = s.dibujo({2, 1});
        QCOMPARE(d.inferior, (Tramos{{{9000, 10.5}, {12000, 10.5}}}));
        QCOMPARE(s.serie({2, 1})->limites.size(), size_t(1));
    }

    // Registration sends each tested reading; the rejected ones (" !" on the log) are the
    // marked points of the chart, and the reopening of the port moves the limit lines.
    void rechazadasYReapertura() {
        Planta b;
        QVERIFY(b.lista);
        DAM w(b.a);
        QSignalSpy enviadas(&b.a, &Adquisicion::lecturaProbada);
        b.a.arranca();
        w.SSTab1->setCurrentIndex(4);
        w.resize(706, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GraficoPuerto* g = w.Grafico[4];
        QCOMPARE(g->cboCarac->count(), 3);
        QCOMPARE(g->cboCarac->itemText(0), QString("03/01  DIAM"));
        for (const char* l : {"0320.05", "0301", "0302", "0320.5", "0303", "0304", "0319.85",
                              "0305", "0306", "03abc"})
            b.lee(l);
        QCOMPARE(enviadas.size(), 10);
        const auto l = enviadas.first().first().value<LecturaProbada>();
        QCOMPARE(QString("%1 %2 %3 %4 %5 %6 %7 %8")
                     .arg(l.puerto)
                     .arg(l.canal)
                     .arg(l.secuencia)
                     .arg(l.carac)
                     .arg(l.valor)
                     .arg(l.limInf)
                     .arg(l.limSup)
                     .arg(l.fuera),
                 QString("5 3 1 DIAM 20.05 19.9 20.1 0"));
        QCOMPARE(l.hora, b.reloj.ahora().addSecs(-9));
        QTRY_COMPARE(Ys(g->serieValores->points()), (QList<double>{20.05, 20.5, 19.85, 0}));
        QCOMPARE(Ys(g->serieRechazadas->points()), (QList<double>{20.5, 19.85, 0}));
        const QStringList log = w.Text1[4]->toPlainText().split('\n');
        QCOMPARE(log.filter(QRegularExpression(" DIAM .* !\\s*$")).size(), 3);
        QCOMPARE(Ys(g->lineasSup[0]->points()).last(), 20.1);
        QCOMPARE(b.falso.llamadas.size(), 7); // the three rejected were not recorded

        // New limits in the Metrovax database take effect when the port opens again.
        QVERIFY(EjecutaSentencia(b.archivoMtvx, "UPDATE CXP SET CXPLINFC=19.5, CXPLSUPC=20.6 "
                                                "WHERE CXPMAQUI='TORNO1' AND CXPCARAC='DIAM'"));
        b.reloj.avanza(5000);
        b.a.cmdAbre();
        b.a.cmdAbre();
        // A step at the reopening, then the new limit on to the right edge.
        QTRY_COMPARE(g->lineasSup[0]->count(), 4);
        QCOMPARE(g->lineasSup[0]->at(2), QPointF(b.reloj.ahora().toMSecsSinceEpoch(), 20.6));
        QVERIFY(g->lineasSup[0]->at(3).x() > g->lineasSup[0]->at(2).x());
        QCOMPARE(Ys(g->lineasInf[0]->points()), (QList<double>{19.9, 19.9, 19.5, 19.5}));
        for (const char* l : {"0307", "0308", "0320.5"}) // the last one is DIAM's again
            b.lee(l);
        QTRY_COMPARE(g->serieValores->count(), 5);
        QCOMPARE(g->serieRechazadas->count(), 3); // 20.5 passes the new limits
        // Another characteristic of the port, without limits in the database.
        g->cboCarac->setCurrentIndex(1);
        QCOMPARE(g->claveActual(), (SeriesPuerto::Clave{3, 2}));
        QCOMPARE(Ys(g->serieValores->points()), (QList<double>{1, 3, 5, 7}));
        QCOMPARE(g->serieRechazadas->count() + g->lineasSup[0]->count(), 0);
        // The chart follows the window's size, the log's rows the log box's height.
        const int ancho = g->vista->width(), filas = b.a.log().filas(5);
        w.resize(1000, 800);
        QTRY_VERIFY(g->vista->width() > ancho + 200);
        qobject_cast<QSplitter*>(w.SSTab1->currentWidget())->setSizes({200, 500});
        QTRY_COMPARE(b.a.log().filas(5), DAM::filasDeCaja(w.Text1[4]->height()));
        QVERIFY(b.a.log().filas(5) < filas);
        w.permiteCierre();
    }

    // Readings in a burst are drawn in few redraws; a hidden tab's chart is not even built
    // until it is shown, and then catches up at once.
    void refrescosAgrupados() {
        Planta b;
        DAM w(b.a);
        b.a.arranca();
        w.SSTab1->setCurrentIndex(4);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GraficoPuerto* visible = w.Grafico[4];
        GraficoPuerto* oculto = w.Grafico[5];
        const int antes = visible->refrescos();
        for (int i = 0; i < 3000; ++i) {
            visible->agrega(Lectura(3, 1, 20 + i % 7, 1000LL * i));
            oculto->agrega(Lectura(3, 1, 20 + i % 7, 1000LL * i));
        }
        QTRY_COMPARE(visible->serieValores->count(), SeriesPuerto::kPuntosPorSerie);
        QTest::qWait(3 * GraficoPuerto::kRefrescoMs);
        QCOMPARE(visible->refrescos() - antes, 1);
        // A steady stream of a reading every 20 ms for a second: about four redraws.
        QElapsedTimer reloj;
        reloj.start();
        const int antesFlujo = visible->refrescos();
        for (int i = 0; reloj.elapsed() < 1000; ++i) {
            visible->agrega(Lectura(3, 1, 20, 3'000'000LL + i));
            QTest::qWait(20);
        }
        QTest::qWait(2 * GraficoPuerto::kRefrescoMs);
        const int flujo = visible->refrescos() - antesFlujo;
        QVERIFY2(flujo >= 2 && flujo <= 6, qPrintable(QString::number(flujo)));

        QVERIFY(!oculto->vista && oculto->refrescos() == 0);
        w.SSTab1->setCurrentIndex(5);
        QVERIFY(oculto->vista && oculto->refrescos() == 1);
        QCOMPARE(oculto->serieValores->count(), SeriesPuerto::kPuntosPorSerie);
        w.permiteCierre();
    }
};

QTEST_MAIN(TstMonitorWindow)
#include "tst_monitorwindow.moc"
