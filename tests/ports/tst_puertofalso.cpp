// The fake ports stand in for devices in the tests of acquisition; these cases pin down the
// behaviour those tests rely on.
#include "support/puertofalso.h"

#include <QSignalSpy>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstPuertoFalso : public QObject {
    Q_OBJECT

    static void abre(PuertoSerieFalso& p, int umbral = 1) {
        QVERIFY(!p.fijaNumero(1));
        QVERIFY(!p.fijaUmbral(umbral));
        QVERIFY(!p.abre());
    }

private slots:
    void esperaAvanzaElRelojHastaElTrozo() {
        RelojFalso reloj;
        PuertoSerieFalso p(&reloj);
        abre(p);
        const qint64 t0 = reloj.monotonoMs();
        p.llegaEn(250, "12.5");
        p.llegaEn(900, "\r");
        QCOMPARE(p.esperando(), 0);
        // Shorter than the first chunk: the whole wait is slept, nothing comes.
        QVERIFY(!p.esperaDatos(100));
        QCOMPARE(reloj.monotonoMs() - t0, 100);
        // Longer: the clock stops at the chunk's time.
        QVERIFY(p.esperaDatos(3000));
        QCOMPARE(reloj.monotonoMs() - t0, 250);
        QCOMPARE(p.leeTodo(), QByteArray("12.5"));
        QVERIFY(p.esperaDatos(3000));
        QCOMPARE(reloj.monotonoMs() - t0, 900);
        QCOMPARE(reloj.dormido, 900);
        QCOMPARE(p.leeCaracter(), 13);
        QCOMPARE(p.leeCaracter(), -1);
        QCOMPARE(p.programados(), 0);
    }

    void relojMovidoPorOtroLibera() {
        RelojFalso reloj;
        PuertoSerieFalso p(&reloj);
        abre(p);
        QSignalSpy datos(&p, &Puerto::datos);
        p.llegaEn(100, "ab");
        reloj.duerme(150); // as a wait that sleeps on the clock
        QCOMPARE(p.esperando(), 2);
        QCOMPARE(datos.count(), 0); // taken in by a read, as inside a blocking call
        p.llegaEn(10, "c");
        reloj.avanza(10);
        p.entrega(); // the event loop
        QCOMPARE(datos.count(), 1);
        QCOMPARE(p.leeTodo(), QByteArray("abc"));
    }

    void escriturasConSuHora() {
        RelojFalso reloj;
        PuertoSerieFalso p(&reloj);
        QVERIFY(!p.escribe("antes")); // closed
        abre(p);
        QVERIFY(p.escribe("+++"));
        reloj.duerme(1500);
        QVERIFY(p.escribe("ATDT 0\r"));
        QCOMPARE(p.escrituras().size(), 2);
        QCOMPARE(p.escrituras()[1].ms - p.escrituras()[0].ms, 1500);
        QCOMPARE(p.escrituras()[1].hora, p.escrituras()[0].hora.addMSecs(1500));
        QCOMPARE(p.escrito(), QByteArray("+++ATDT 0\r"));
        p.rechazaEscrituras(true);
        QVERIFY(!p.escribe("x"));
        QCOMPARE(p.escrituras().size(), 2);
    }

    void umbralYPuertoCerrado() {
        PuertoSerieFalso p;
        QSignalSpy datos(&p, &Puerto::datos);
        p.llega("perdido"); // closed: lost
        abre(p, 3);
        QCOMPARE(p.esperando(), 0);
        p.llega("12");
        QCOMPARE(datos.count(), 0);
        p.llega("3");
        QCOMPARE(datos.count(), 1);
        p.cierra();
        QCOMPARE(p.esperando(), 0);
        QVERIFY(!p.esperaDatos(100));
    }

    void pasosYFallas() {
        PuertoSerieFalso p;
        p.fallaEn(PuertoSerieFalso::Paso::Abre);
        QVERIFY(!p.fijaNumero(4));
        QCOMPARE(p.fijaSettings(QStringLiteral("9600,X,8,1")).value_or(Falla{}).numero,
                 kFallaValorNoValido);
        QVERIFY(!p.fijaSettings(QStringLiteral("4800,E,7,1")));
        QVERIFY(!p.fijaBufferEntrada(4096));
        QVERIFY(!p.fijaDtr(true));
        QCOMPARE(p.abre().value_or(Falla{}).numero, kFallaPuertoAbierto);
        QVERIFY(!p.abierto());
        p.quitaFalla(PuertoSerieFalso::Paso::Abre);
        p.fallaEn(PuertoSerieFalso::Paso::Rts,
                  Falla{QStringLiteral("X"), 8010, QStringLiteral("d")});
        QCOMPARE(p.fijaRts(true).value_or(Falla{}).numero, 8010);
        QVERIFY(!p.abre());
        QCOMPARE(p.fijaNumero(4).value_or(Falla{}).numero, kFallaPuertoAbierto);
        QCOMPARE(p.pasos,
                 (QStringList{"CommPort=4", "Settings=9600,X,8,1 -> 380", "Settings=4800,E,7,1",
                              "InBufferSize=4096", "DTREnable=1", "PortOpen=1 -> 8005",
                              "RTSEnable=1 -> 8010", "PortOpen=1", "CommPort=4 -> 8005"}));
        QCOMPARE(p.settings, QStringLiteral("4800,E,7,1"));
        QCOMPARE(p.configuracion.paridad, QSerialPort::EvenParity);
        QVERIFY(!p.rts);
    }

    void perdidaYEventos() {
        PuertoSerieFalso p;
        QSignalSpy perdidos(&p, &Puerto::perdido);
        QSignalSpy eventos(&p, &Puerto::evento);
        abre(p);
        p.lanzaEvento(EventoCom::Enmarcado);
        QCOMPARE(eventos.count(), 1);
        QCOMPARE(eventos.first().first().toInt(), 1004);
        p.llega("x");
        p.pierde();
        p.pierde();
        QCOMPARE(perdidos.count(), 1);
        QVERIFY(!p.abierto());
        QCOMPARE(p.leeCaracter(), -1);
    }

    void tcpConexionSegunElReloj() {
        RelojFalso reloj;
        PuertoTcpFalso t(&reloj);
        QCOMPARE(t.conecta(QStringLiteral("10.0.0.5"), 70000).value_or(Falla{}).numero, 380);
        t.respondeTras(2500);
        QVERIFY(!t.conecta(QStringLiteral(" 10.0.0.5 "), 4001));
        QCOMPARE(t.host, QStringLiteral("10.0.0.5"));
        QVERIFY(!t.conectado());
        reloj.avanza(2499);
        QVERIFY(!t.conectado());
        reloj.avanza(1);
        QVERIFY(t.conectado());

        t.respondeTras(-1);
        QVERIFY(!t.conecta(QStringLiteral("h"), 1));
        reloj.avanza(60'000);
        QVERIFY(!t.conectado());
        t.completaConexion();
        QVERIFY(t.conectado());
        QCOMPARE(t.conexiones, 2);
    }

    void tcpDatosYPerdida() {
        RelojFalso reloj;
        PuertoTcpFalso t(&reloj);
        QSignalSpy datos(&t, &Puerto::datos);
        QSignalSpy perdidos(&t, &Puerto::perdido);
        QVERIFY(!t.conecta(QStringLiteral("h"), 23));
        t.llega("AB");
        QCOMPARE(datos.count(), 1);
        t.llegaEn(40, "C");
        QVERIFY(t.esperaDatos(10)); // "AB" is waiting already
        QCOMPARE(t.leeTodo(), QByteArray("AB"));
        QVERIFY(t.esperaDatos(100));
        QVERIFY(t.escribe("?"));
        t.pierde();
        t.pierde();
        QCOMPARE(perdidos.count(), 1);
        QVERIFY(!t.conectado());
        QVERIFY(!t.escribe("?"));
        QCOMPARE(t.leeTodo(), QByteArray("C")); // still readable after the loss
        QCOMPARE(t.escrituras().first().ms, reloj.monotonoMs());
    }

    void fabrica() {
        RelojFalso reloj;
        FabricaPuertosFalsa f(&reloj);
        FabricaPuertos& base = f;
        QCOMPARE(&base.serie(3), static_cast<PuertoSerie*>(&f.serie(3)));
        QVERIFY(&f.serie(3) != &f.serie(4));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.tcp(0));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.serie(17));
        // All on the one clock.
        abre(f.serie(16));
        f.serie(16).llegaEn(70, "z");
        QVERIFY(f.serie(16).esperaDatos(100));
        QCOMPARE(reloj.dormido, 70);
    }
};

QTEST_GUILESS_MAIN(TstPuertoFalso)
#include "tst_puertofalso.moc"
