#include "monitor/graficopuerto.h"
#include "support/banco.h"
#include "ventanas/avisosventana.h"
#include "ventanas/panelgrafico.h"
#include "ventanas/ventanamonitor.h"

#include <QtCharts>
#include <QtTest>
#include <QtWidgets>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 5 TIMER open, channel 3's first sequence DIAM (limits 19.9 and 20.1); 1 and 3 closed.
struct Planta : Banco {
    Adquisicion& a = adquisicion();
    bool lista = false;

    Planta() {
        for (int n = 1; n <= 6; ++n)
            texto(43, n,
                  QStringList{"Puerto ", "Abrir", "Cerrar", "", "leídas", "grabadas"}[n - 1]);
        archivoConf = dir.ruta() + "Planta.mdb";
        lista =
            mtvx("UPDATE INS SET INSTCPPR = '4100' WHERE INSCLAVE = 'GSE01'") &&
            conf("INSERT INTO PUERTOS VALUES (1,'CALIB',0),(3,'GSE01',0),(5,'TIMER',-1); INSERT "
                 "INTO CANALES VALUES (5,3,''); INSERT INTO CONF (Puert,Canal,Secue,"
                 "Opera,Maqui,Produ,Forma,Carac) VALUES (5,3,1,'OP1','TORNO1','EJE20',"
                 "'F1','DIAM'), (5,3,2,'OP1','TORNO1','EJE20','F1','ANCHO'), "
                 "(5,3,3,'OP1','TORNO1','EJE20','F1','ALTO');");
    }
    void lee(const QString& lectura) {
        reloj.avanza(1000);
        a.registrador().RegistraLectura(5, lectura, "2026/12/04", "09:05:07");
    }
};

LecturaProbada lectura(int canal, int sec, double valor, qint64 ms, double inf = 10,
                       double sup = 20) {
    const bool fuera = valor < inf || valor > sup;
    return {5, canal, sec, "DIAM", valor, inf, sup, fuera, QDateTime::fromMSecsSinceEpoch(ms)};
}

QList<QMessageBox*> cajas() {
    QList<QMessageBox*> r;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible())
            r << m;
    return r;
}

QList<double> ys(const QList<QPointF>& puntos) {
    QList<double> y;
    for (const QPointF& p : puntos)
        y << p.y();
    return y;
}

} // namespace

class TstVentanaMonitor : public QObject {
    Q_OBJECT
private slots:
    void pestanasYBotones() {
        Planta b;
        QVERIFY(b.lista);
        VentanaMonitor w(b.a);
        int dialogos = 0;
        w.abreUbicacion = w.abreEditor = [&dialogos] { ++dialogos; };
        b.a.arranca();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.bArchConf->text() + w.marcoPuerto->title() + w.cmdAbre->text(),
                 QString("Planta.mdbPuerto 1: CALIBAbrir"));

        b.a.tablas().NumLecturas[5] = 4;
        b.a.tablas().NumGrabadas[5] = 3;
        w.pestanas->setCurrentIndex(4);
        QCOMPARE(b.a.puertoActual(), 5);
        QCOMPARE(QStringList({w.marcoPuerto->title(), w.cmdAbre->text(), w.lblRec->text(),
                              w.lblGra->text()}),
                 QStringList({"Puerto 5: TIMER", "Cerrar", "4 leídas", "3 grabadas"}));

        QTest::mouseClick(w.cmdAbre, Qt::LeftButton); // the switch acts on the tab shown
        QVERIFY(!b.a.activo(5) && w.cmdAbre->text() == "Abrir");
        // During a socket's wait the configuration buttons open nothing (no restart inside it).
        b.puertos.tcp(3).respondeTras(-1);
        QTimer::singleShot(0, &w, [&w] { w.bArchConf->click(), w.cmdConf->click(); });
        b.a.fijaPuertoActual(3);
        b.a.cmdAbre();
        QCOMPARE(dialogos, 0);
        w.bArchConf->click();
        QCOMPARE(dialogos, 1);
        QVERIFY(!w.close() && w.isVisible()); // the user does not close it
    }

    // Limit lines step at every change; "no limit" breaks them; old ones leave with their points.
    void lineasDeLimites() {
        SeriesPuerto s(4);
        for (const LecturaProbada& l :
             {lectura(2, 1, 15, 1000), lectura(2, 1, 16, 2000), lectura(2, 1, 13, 4000, 12, 18),
              lectura(2, 1, 14, 6000, -999999, 999999)})
            s.agrega(l);
        s.fijaLimites(2, 1, "DIAM", 11, 19, 8000);
        SeriesPuerto::Dibujo d = s.dibujo({2, 1});
        using Tramos = QList<QList<QPointF>>;
        QCOMPARE(d.inferior, (Tramos{{{1000, 10}, {4000, 10}, {4000, 12}, {6000, 12}},
                                     {{8000, 11}, {8000, 11}}}));
        QCOMPARE(d.superior, (Tramos{{{1000, 20}, {4000, 20}, {4000, 18}, {6000, 18}},
                                     {{8000, 19}, {8000, 19}}}));
        QVERIFY(d.xMax == 8000 && d.yMin < 10 && d.yMax > 20); // the limits are in view too
        // A reopening at a time before the newest point (clock set back) does not draw backwards.
        s.fijaLimites(2, 1, "DIAM", 10.5, 19.5, 500);
        d = s.dibujo({2, 1});
        QCOMPARE(d.inferior.last(), (QList<QPointF>{{8000, 10.5}, {8000, 10.5}}));
        for (int i = 0; i < 4; ++i)
            s.agrega(lectura(2, 1, 15, 9000 + 1000 * i, 10.5, 19.5));
        d = s.dibujo({2, 1});
        QCOMPARE(d.inferior, (Tramos{{{9000, 10.5}, {12000, 10.5}}}));
        QCOMPARE(s.serie({2, 1})->limites.size(), size_t(1));
    }

    // Rejected readings (" !" on the log) are the chart's marked points; a reopening moves limits.
    void rechazadasYReapertura() {
        Planta b;
        QVERIFY(b.lista);
        VentanaMonitor w(b.a);
        QSignalSpy enviadas(&b.a, &Adquisicion::lecturaProbada);
        b.a.arranca();
        w.pestanas->setCurrentIndex(4);
        w.resize(706, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PanelGrafico* g = w.graficos[4];
        QVERIFY(g->cboCarac->count() == 3 && g->cboCarac->itemText(0) == "03/01  DIAM");
        for (const char* l : {"0320.05", "0301", "0302", "0320.5", "0303", "0304", "0319.85",
                              "0305", "0306", "03abc"})
            b.lee(l);
        QCOMPARE(enviadas.size(), 10);
        const auto l = enviadas.first().first().value<LecturaProbada>();
        QVERIFY(l.puerto == 5 && l.canal == 3 && l.secuencia == 1 && l.carac == "DIAM" && !l.fuera);
        QVERIFY(l.valor == 20.05 && l.limInf == 19.9 && l.limSup == 20.1 &&
                l.hora == b.reloj.ahora().addSecs(-9));
        QTRY_COMPARE(ys(g->serieValores->points()), (QList<double>{20.05, 20.5, 19.85, 0}));
        QCOMPARE(ys(g->serieRechazadas->points()), (QList<double>{20.5, 19.85, 0}));
        QCOMPARE(w.registros[4]
                     ->toPlainText()
                     .split('\n')
                     .filter(QRegularExpression(" DIAM .* !\\s*$"))
                     .size(),
                 3);
        QVERIFY(ys(g->lineasSup[0]->points()).last() == 20.1 && b.falso.llamadas.size() == 7);

        QVERIFY(ejecutaSentencia(b.archivoMtvx, "UPDATE CXP SET CXPLINFC=19.5, CXPLSUPC=20.6 "
                                                "WHERE CXPMAQUI='TORNO1' AND CXPCARAC='DIAM'"));
        b.reloj.avanza(5000);
        b.a.cmdAbre();
        b.a.cmdAbre();
        QTRY_COMPARE(g->lineasSup[0]->count(), 4); // a step at the reopening
        QCOMPARE(g->lineasSup[0]->at(2), QPointF(b.reloj.ahora().toMSecsSinceEpoch(), 20.6));
        QCOMPARE(ys(g->lineasInf[0]->points()), (QList<double>{19.9, 19.9, 19.5, 19.5}));
        for (const char* l : {"0307", "0308", "0320.5"}) // the last one is DIAM's again
            b.lee(l);
        QTRY_COMPARE(g->serieValores->count(), 5);
        QCOMPARE(g->serieRechazadas->count(), 3); // 20.5 passes the new limits
        g->cboCarac->setCurrentIndex(1);          // a characteristic without limits
        QCOMPARE(ys(g->serieValores->points()), (QList<double>{1, 3, 5, 7}));
        QCOMPARE(g->serieRechazadas->count() + g->lineasSup[0]->count(), 0);
        const int filas = b.a.log().filas(5); // the log's rows follow the log box's height
        qobject_cast<QSplitter*>(w.pestanas->currentWidget())->setSizes({200, 500});
        QTRY_COMPARE(b.a.log().filas(5), VentanaMonitor::filasDeCaja(w.registros[4]->height()));
        QVERIFY(b.a.log().filas(5) < filas);
        // A burst is drawn in one redraw; a hidden tab's chart is built when shown, caught up.
        g->cboCarac->setCurrentIndex(0);
        PanelGrafico* oculto = w.graficos[5];
        const int antes = g->refrescos();
        const qint64 t0 = b.reloj.ahora().toMSecsSinceEpoch();
        for (int i = 0; i < 3000; ++i)
            for (PanelGrafico* x : {g, oculto})
                x->agrega(lectura(3, 1, 20 + i % 7, t0 + 1000LL * i));
        QTRY_COMPARE(g->serieValores->count(), SeriesPuerto::kPuntosPorSerie);
        QTest::qWait(3 * PanelGrafico::kRefrescoMs);
        QVERIFY(g->refrescos() - antes == 1 && !oculto->vista && oculto->refrescos() == 0);
        w.pestanas->setCurrentIndex(5);
        QVERIFY(oculto->vista && oculto->refrescos() == 1 &&
                oculto->serieValores->count() == SeriesPuerto::kPuntosPorSerie);
    }

    // A fault that lasts raises the same message again and again: one box, its repeats counted.
    void unaCajaPorFallaDistinta() {
        AvisosVentana av;
        av.fijaEspera(false);
        for (int i = 0; i < 6; ++i)
            av.mensaje("DAM. GrabaMTVX.\nfalla A", Avisos::Icono::Critico);
        QVERIFY(cajas().size() == 1 && cajas()[0]->informativeText().contains("5 veces"));

        av.mensaje("DAM. GrabaMTVX.\nfalla B", Avisos::Icono::Critico);
        QVERIFY(cajas().size() == 2 && av.abiertos() == 2);

        for (QMessageBox* m : cajas())
            if (m->text().endsWith("falla A"))
                m->close();
        QTRY_COMPARE(av.abiertos(), 1);
        av.mensaje("DAM. GrabaMTVX.\nfalla A", Avisos::Icono::Critico);
        QVERIFY(av.abiertos() == 2 && av.repeticiones("DAM. GrabaMTVX.\nfalla A") == 0);
        for (QMessageBox* m : cajas())
            m->close();
        QTRY_COMPARE(av.abiertos(), 0);
    }
};

QTEST_MAIN(TstVentanaMonitor)
#include "tst_ventanamonitor.moc"
