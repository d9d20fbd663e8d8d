#include "support/banco.h"

#include <QSignalSpy>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// Ports 1 and 2 read CALIB frames into channel 1's five sequences.
struct Puertos : Banco {
    Puertos() : Banco(Motor::Sqlite, true) {
        QString filas = "INSERT INTO CANALES VALUES (1,1,''),(2,1,'');";
        for (int p = 1; p <= 2; ++p)
            for (int s = 1; s <= 5; ++s)
                filas += QString::asprintf(
                    "INSERT INTO CONF (Puert,Canal,Secue,Carac) VALUES (%d,1,%d,'C%d');", p, s, s);
        if (!conf(filas))
            qFatal("no configuration");
        abre(1, "CALIB");
        abre(2, "CALIB");
    }
};

} // namespace

class TstRecepcion : public QObject {
    Q_OBJECT
private slots:
    // What is recorded and how long the pass took: 0.1 s a frame, 3 s of silence (a beep).
    void tramas_data() {
        QTest::addColumn<bool>("tcp"); // a socket whose lines end at the LF
        QTest::addColumn<int>("inicio");
        QTest::addColumn<QByteArray>("llega");
        QTest::addColumn<QByteArray>("luego"); // 800 ms later
        QTest::addColumn<QStringList>("valores");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("beeps");
        // clang-format off
        QTest::addRow("value") << false << 1 << QByteArray("12.5\r") << QByteArray() << QStringList{"C1=12.5"} << 100 << 0;
        QTest::addRow("LF and tab dropped") << false << 1 << QByteArray("1\n2.\t5\r") << QByteArray() << QStringList{"C1=12.5"} << 100 << 0;
        QTest::addRow("empty frames") << false << 1 << QByteArray("\r\n\r\x01\r") << QByteArray() << QStringList{} << 300 << 0;
        QTest::addRow("three frames") << false << 1 << QByteArray("1\r2\r3\r") << QByteArray() << QStringList{"C1=1", "C2=2", "C3=3"} << 300 << 0;
        QTest::addRow("start 4") << false << 4 << QByteArray("ST,+012.50\r") << QByteArray() << QStringList{"C1=+012.50"} << 100 << 0;
        QTest::addRow("in two arrivals") << false << 1 << QByteArray("12") << QByteArray(".5\r") << QStringList{"C1=12.5"} << 900 << 0;
        QTest::addRow("socket CR LF") << true << 1 << QByteArray("10.5\r\n11.5\r\n") << QByteArray() << QStringList{"C1=10.5", "C2=11.5"} << 0 << 0;
        QTest::addRow("socket in two") << true << 1 << QByteArray("10") << QByteArray(".5\r\n") << QStringList{"C1=10.5"} << 800 << 0;
        QTest::addRow("silence ends it") << false << 1 << QByteArray("12.5") << QByteArray() << QStringList{"C1=12.5"} << 3100 << 1;
        // clang-format on
    }
    void tramas() {
        QFETCH(bool, tcp);
        QFETCH(int, inicio);
        QFETCH(QByteArray, llega);
        QFETCH(QByteArray, luego);
        QFETCH(QStringList, valores);
        QFETCH(int, ms);
        QFETCH(int, beeps);
        Puertos b;
        b.t.PosInicio[1] = qint16(inicio);
        const qint64 antes = b.reloj.monotonoMs();
        const auto envia = [&](auto& puerto) { puerto.llegaEn(800, luego), puerto.llega(llega); };
        if (tcp)
            b.abre(1, "CALIB", true), b.t.CarTerm[1] = 10, envia(b.puertos.tcp(1));
        else
            envia(b.puertos.serie(1));
        b.rx.ComLee(1);
        const qint64 pasado = b.reloj.monotonoMs() - antes;
        QVERIFY2(pasado >= ms && pasado < ms + 100, qPrintable(QString::number(pasado)));
        QCOMPARE(b.falso.valores(), valores);
        QCOMPARE(b.avisos.beeps, beeps);
        QCOMPARE(b.puertos.serie(1).esperando(), 0);
    }

    // What arrives after the silence is a frame of its own, read by the next pass.
    void trasElSilencio() {
        Puertos b;
        b.puertos.serie(1).llegaEn(3500, "7\r");
        b.llega(1, "12.5");
        b.reloj.avanza(1000);
        b.rx.ComLee(1);
        QCOMPARE(b.falso.valores(), QStringList({"C1=12.5", "C2=7"}));
    }

    // With a separator fields stand in columns of 15; socket frames use the table too.
    void tablaDeCampos() {
        for (const bool tcp : {false, true}) { // serial with a separator, socket without
            Puertos b;
            b.t.Tabla[1] = "1";
            b.t.SepTabla[1] = qint16(tcp ? -99 : 44);
            b.t.fijaTabla(
                1, tcp ? QList<CampoTid>{{"", 1, 8, "CA"}, {"C", 1, 1, "CB"}, {"ZZ", 1, 1, "CC"}}
                       : QList<CampoTid>{{"", 1, 15, "CA"}, {"", 16, 1, "CB"}});
            if (tcp)
                b.abre(1, "CALIB", true), b.puertos.tcp(1).llega("AB12CD\r");
            else
                b.puertos.serie(1).llega("A,B\r");
            b.rx.ComLee(1);
            const QStringList valores{tcp ? "CA=AB12CD" : "CA=A" + QString(14, ' '),
                                      tcp ? "CB=D" : "CB=B"};
            QCOMPARE(b.falso.valores(), valores);
        }
    }

    // A wait is measured on the time of day: across midnight it goes on, a whole day is none.
    void espera() {
        const QDate d(2026, 12, 4);
        for (const auto& [inicio, segundos, fin] :
             {std::tuple{QTime(23, 59, 59, 500), 2.0, QDateTime(d.addDays(1), QTime(0, 0, 1, 500))},
              {QTime(10, 0), 86400.0, QDateTime(d, QTime(10, 0))},
              {QTime(10, 0), 1.0, QDateTime(d, QTime(10, 0, 1))}}) {
            RelojFalso reloj(QDateTime(d, inicio));
            Espera(reloj, segundos);
            const qint64 ms = fin.msecsTo(reloj.ahora());
            QVERIFY2(ms >= 0 && ms <= 60, qPrintable(reloj.ahora().toString(Qt::ISODateWithMs)));
        }
    }

    void unaPasadaNuncaDentroDeOtra() {
        Puertos b;
        // Recording lets events run: port 2's pass waits for port 1's to end.
        struct Puente : Grabador {
            Receptor* rx = nullptr;
            QStringList orden;
            ResultadoGrabacion GrabaMTVX(const QString&, const QString&, const QString&,
                                         const QString&, const QString&, const QString&,
                                         const QString&, const QString& v, float) override {
                orden << v;
                if (v == "1a")
                    rx->ComLee(2);
                return ResultadoGrabacion::Grabado;
            }
        } puente;
        Registrador reg(b.e, b.t, b.config, puente, b.log);
        Receptor rx(b.e, b.t, b.puertos, reg, b.log, nullptr);
        puente.rx = &rx;
        b.puertos.serie(1).llega("1a\r1b\r");
        b.puertos.serie(2).llega("2a\r");
        rx.ComLee(1);
        QCOMPARE(puente.orden, QStringList({"1a", "1b", "2a"}));
        b.puertos.serie(2).llega("2b\r"); // the pass is over: a new call runs at once
        rx.ComLee(2);
        rx.ComLee(99); // a port outside the range is ignored
        QCOMPARE(puente.orden, QStringList({"1a", "1b", "2a", "2b"}));
    }

    void fallaEnUnaTramaNoDetieneNada() {
        Puertos b;
        b.t.canal(1, 1).SecActual = 50; // the next sequence would be outside the tables
        b.llega(1, "9\r");
        const QStringList log = b.log.lineas(1);
        QVERIFY(b.falso.llamadas.isEmpty() && log.size() == 1 &&
                log[0].contains("no decodificada") && log[0].contains("9") &&
                b.t.canal(1, 1).SecActual == 50);
        b.t.canal(1, 1).SecActual = 0;
        b.llega(1, "8\r");
        QCOMPARE(b.falso.valores(), QStringList{"C1=8"});
    }

    void instrumentosActivos() { // DL-10 closes its port after its batch, and says so
        Puertos b;
        b.abre(1, "DL-10");
        QSignalSpy cerrado(&b.rx, &Receptor::puertoCerradoPorInstrumento);
        b.llega(1, "00012.30\r80000000\r00099.99\r");
        QVERIFY(b.falso.valores() == QStringList{"C1=00012.30"} && !b.puertos.serie(1).abierto() &&
                cerrado.count() == 1 && cerrado.at(0).at(0).toInt() == 1);
    }
};

QTEST_GUILESS_MAIN(TstRecepcion)
#include "tst_recepcion.moc"
