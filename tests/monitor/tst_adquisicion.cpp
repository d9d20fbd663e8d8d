#include "support/banco.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace ort;
using namespace ort::prueba;

namespace {

// Ports: 1 TIMER, 2 CALIB (serial), 3 GSE01 (TCP on 4100), 4 NADA, 5 CALIB without an Open mark.
struct Planta : Banco {
    Adquisicion& a = adquisicion();
    bool lista = false;

    explicit Planta(const QString& extraMtvx = {}) {
        for (int n = 1; n <= 3; ++n)
            texto(43, n, QStringList{"Puerto ", "Abrir", "Cerrar"}[n - 1]);
        lista =
            mtvx("UPDATE INS SET INSTCPPR = '4100' WHERE INSCLAVE = 'GSE01';" + extraMtvx) &&
            conf("INSERT INTO PUERTOS VALUES (1,'TIMER',0),(2,'CALIB',0),(3,'GSE01',0),"
                 "(4,'NADA',-1),(5,'CALIB',NULL);"
                 "INSERT INTO CANALES VALUES (2,1,'Diámetro'),(1,2,'Reloj');"
                 "INSERT INTO CONF (Puert,Canal,Secue,Opera,Maqui,Produ,Forma,Carac,DTMP) VALUES "
                 "(2,1,1,'OP1','TORNO1','EJE20','F1','DIAM',60),(2,1,2,'OP1','TORNO1','EJE20','F1',"
                 "'TEMP',60),"
                 "(2,1,3,'OP1','TORNO1','EJE20','F1','LARGO',60),(1,2,1,'OP1','TORNO1','EJE20','F1'"
                 ",'DIAM',60);");
        a.Reinicia();
    }
    QString open(int p) const {
        return valorSqlite(archivoConf,
                           "select Open from PUERTOS where Puert=" + QString::number(p));
    }
    void pulsa(int p) {
        a.fijaPuertoActual(p);
        a.cmdAbre();
    }
};

} // namespace

class TstAdquisicion : public QObject {
    Q_OBJECT
private slots:
    void abreYCierra_data() {
        QTest::addColumn<int>("p");
        QTest::addColumn<QString>("marco");
        QTest::addRow("TIMER") << 1 << "Puerto 1: TIMER";
        QTest::addRow("serial") << 2 << "Puerto 2: CALIB";
        QTest::addRow("without a row") << 9 << "Puerto 9: TIMER";
    }
    void abreYCierra() {
        QFETCH(int, p);
        QFETCH(QString, marco);
        Planta b;
        b.a.tablas().puerto(9).Conex = "TIMER";
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.pulsa(p);
        QVERIFY(b.a.activo(p) && b.puertos.serie(2).abierto() == (p == 2));
        QCOMPARE(b.open(p) + b.a.captionAbre() + b.a.captionFrame(),
                 (p == 9 ? "" : "-1") + QString("Cerrar") + marco);
        b.pulsa(p);
        QVERIFY(!b.a.activo(p) && !b.puertos.serie(2).abierto());
        QCOMPARE(b.open(p) + b.a.captionAbre(), (p == 9 ? "" : "0") + QString("Abrir"));
        QCOMPARE(estados, (QList<QList<QVariant>>{{p, true}, {p, false}}));
    }

    // A failed opening beeps; a socket waits 10 s, at midnight too, running nothing meanwhile.
    void aperturaFallida_data() {
        QTest::addColumn<int>("p");
        QTest::addColumn<qint64>("respondeTras");
        QTest::addColumn<QTime>("hora");
        QTest::addColumn<bool>("abre");
        QTest::addColumn<int>("esperaMs");
        // clang-format off
        QTest::addRow("serial fails") << 2 << qint64(0) << QTime(10, 0) << false << 0;
        QTest::addRow("socket silent") << 3 << qint64(-1) << QTime(10, 0) << false << 10000;
        QTest::addRow("socket at midnight") << 3 << qint64(-1) << QTime(23, 59, 55) << false << 10000;
        QTest::addRow("socket in 2.5 s") << 3 << qint64(2500) << QTime(10, 0) << true << 2500;
        QTest::addRow("NADA") << 4 << qint64(0) << QTime(10, 0) << false << 0;
        // clang-format on
    }
    void aperturaFallida() {
        QFETCH(int, p);
        QFETCH(qint64, respondeTras);
        QFETCH(QTime, hora);
        QFETCH(bool, abre);
        QFETCH(int, esperaMs);
        Planta b;
        b.reloj.fija(QDateTime(QDate(2026, 12, 4), hora));
        b.puertos.serie(2).fallaEn(PuertoSerieFalso::Paso::Abre);
        b.puertos.tcp(3).respondeTras(respondeTras);
        QSignalSpy captions(&b.a, &Adquisicion::captionsCambiadas);
        QTimer::singleShot(0, &b.a, [&b] { // events run in the wait, but none of these
            b.a.Reinicia(), b.pulsa(1), b.a.OpenPuertos();
        });
        const qint64 antes = b.reloj.monotonoMs();
        b.pulsa(p);
        const qint64 espera = b.reloj.monotonoMs() - antes;
        QVERIFY2(espera >= esperaMs && espera < esperaMs + 500,
                 qPrintable(QString::number(espera)));
        QCOMPARE(b.a.activo(p), abre);
        QCOMPARE(b.open(p) + QString::number(b.avisos.beeps), p == 4 || abre ? "-10" : "01");
        if (respondeTras < 0)
            QVERIFY(b.avisos.punteros == QList<bool>({true, false}) && captions.isEmpty() &&
                    !b.a.activo(1) && !b.a.ocupada());
        b.pulsa(1); // after the wait the switch works again
        QVERIFY(b.a.activo(1));
    }

    void sinBaseDeConfiguracion() { // a folder in its place
        Planta b;
        QVERIFY(QFile::remove(b.archivoConf) && QDir().mkpath(b.archivoConf));
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.a.Reinicia();
        QVERIFY(b.avisos.mensajes.size() == 1 &&
                b.avisos.mensajes[0].texto.contains(b.archivoConf));
        QCOMPARE(estados.count(), kPuertos); // every port shown closed
        for (const auto& args : estados)
            QVERIFY(!args.at(1).toBool());
    }

    void limites() {
        Planta b("UPDATE CXP SET CXPLINFC = 10, CXPLSUPC = 20 WHERE CXPCARAC = 'DIAM';"
                 "INSERT INTO CXP VALUES ('TORNO1','EJE20','TEMP',NULL,50);");
        b.pulsa(2);
        auto& t = b.a.tablas();
        // An empty limit keeps the defaults, and is reported once; LARGO's row is the demo plant's.
        QCOMPARE(QList<double>({t.LimInf(2, 1, 1), t.LimSup(2, 1, 1), t.LimInf(2, 1, 2),
                                t.LimSup(2, 1, 2), t.LimInf(2, 1, 3)}),
                 QList<double>({10, 20, -999999, 999999, 99}));
        QVERIFY(b.avisos.mensajes.size() == 1 &&
                b.avisos.textos().filter("secuencia 2").size() == 1);
    }

    // A restart opens nothing; a port unmarked meanwhile ends closed, a marked one stays open.
    void reinicia() {
        Planta b;
        QVERIFY(b.lista);
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.a.Reinicia();
        QCOMPARE(b.a.tablas().puerto(2).Conex + b.a.archivoConfig(), "CALIB" + kConfPorDefecto);
        QCOMPARE(int(b.a.tablas().canal(2, 1).SecTotal), 3);
        QVERIFY(!b.a.activo(1) && !b.a.activo(4) && b.open(4) == "-1" &&
                b.avisos.mensajes.isEmpty());
        QCOMPARE(estados.count(), 4); // ports 1, 2, 3, 5 painted red
        b.pulsa(2);
        b.pulsa(1);
        QVERIFY(ejecutaScript(b.archivoConf, "UPDATE PUERTOS SET Open = 0 WHERE Puert = 1"));
        b.a.Reinicia();
        QVERIFY(b.a.activo(2) && !b.a.activo(1));
        QVERIFY(b.puertos.serie(2).aperturas == 2 && b.open(2) == "-1");
    }

    // Ticks, port events (but DSR's) and the threshold's; a lost device closes, its mark stays.
    void temporizadorYEventos() {
        Planta b;
        b.pulsa(1);
        b.pulsa(2);
        b.a.tick();
        b.reloj.avanza(7000);
        b.a.tick();
        QVERIFY(b.a.log().lineas(1).size() >= 1 && b.a.log().lineas(2).isEmpty());
        b.puertos.serie(2).llega("20.0\r"); // within DIAM's limits
        b.a.tick();
        for (int evento : {1004, 4, 1005})
            b.puertos.serie(2).lanzaEvento(evento);
        QCOMPARE(b.a.log().lineas(2).size(), 3); // the reading's and two events'
        QVERIFY(b.a.log().lineas(2)[1].startsWith(" 1004:Error de Enmarcado."));
        QVERIFY(b.puertos.serie(2).fijaUmbral(1));
        b.puertos.serie(2).llega("20.05\r");
        QVERIFY(b.falso.llamadas.size() == 2 && b.falso.llamadas[1].Valor == "20.05");
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.puertos.serie(2).pierde("se desconectó");
        QVERIFY(!b.a.activo(2) && estados.count() == 1 && b.open(2) == "-1" &&
                b.a.log().lineas(2).last().contains("se desconectó"));
        b.pulsa(2);
        QVERIFY(b.a.activo(2));
    }
};

QTEST_MAIN(TstAdquisicion)
#include "tst_adquisicion.moc"
