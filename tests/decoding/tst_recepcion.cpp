#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/grabadorfalso.h"
#include "support/programa.h"
#include "support/puertofalso.h"

#include <QSignalSpy>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 1 channel 1 and port 2 channel 1 have five sequences each; every value is recorded.
struct Banco {
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj{QDateTime(QDate(2026, 12, 4), QTime(10, 0, 0))};
    Entorno e{ajustes, avisos, reloj};
    AlmacenConfig config{e};
    TablasRuntime t;
    GrabadorFalso grabador;
    LogPuertos log;
    Registrador reg{e, t, config, grabador, log};
    FabricaPuertosFalsa puertos{&reloj};
    QStringList comandosGse;
    Receptor rx{e, t, puertos, reg, log, [this](int p, int c) {
                    comandosGse << QString("%1/%2").arg(p).arg(c);
                    return QString("CMD");
                }};

    Banco() {
        ajustes.Ruta = dir.ruta();
        QString conf = "INSERT INTO CANALES VALUES (1,1,''),(2,1,''),(1,3,'');";
        for (int p = 1; p <= 2; ++p)
            for (int s = 1; s <= 5; ++s)
                conf += QString("INSERT INTO CONF (Puert,Canal,Secue,Forma,Maqui,Produ,Carac,"
                                "Opera,DTMP) VALUES (%1,1,%2,'F1','M1','P1','C%2','OP',60);")
                            .arg(p)
                            .arg(s);
        conf += "INSERT INTO CONF (Puert,Canal,Secue,Carac) VALUES (1,3,1,'X'),(1,3,2,'Y');";
        dir.escribe(kArchivoUbicacion, dir.ruta() + kConfPorDefecto);
        if (!CreaSqlite(dir.ruta() + kConfPorDefecto, {"ortconf.sqlite.sql"}, conf) ||
            !config.IniArch())
            qFatal("no configuration");
        config.IniSecue(t);
        for (int p = 1; p <= 2; ++p)
            abre(p, "CALIB");
    }
    void abre(int p, const QString& conex, bool tcp = false) {
        t.puerto(p).Conex = conex.leftJustified(5, ' ', true);
        t.CarTerm[p] = 13;
        t.PosInicio[p] = 1;
        if (tcp) {
            t.puerto(p).TipoCon = "TCP/IP";
            puertos.tcp(p).conecta("127.0.0.1", 4000);
        } else {
            t.puerto(p).TipoCon = "RS232";
            puertos.serie(p).fijaNumero(p);
            puertos.serie(p).abre();
        }
        t.puerto(p).Activo = true;
    }
    QStringList valores() const {
        QStringList v;
        for (const auto& l : grabador.llamadas)
            v << l.Valor;
        return v;
    }
};

} // namespace

class TstRecepcion : public QObject {
    Q_OBJECT
private slots:
    void tramas_data() {
        QTest::addColumn<QByteArray>("llega");
        QTest::addColumn<QStringList>("valores");
        QTest::newRow("value and CR") << QByteArray("12.5\r") << QStringList{"12.5"};
        QTest::newRow("line feed and tab dropped")
            << QByteArray("1\n2.\t5\r") << QStringList{"12.5"};
        QTest::newRow("empty frames") << QByteArray("\r\n\r\x01\r") << QStringList{};
        QTest::newRow("several frames in one pass")
            << QByteArray("1\r2\r3\r") << QStringList{"1", "2", "3"};
        QTest::newRow("bytes above 127 are characters") << QByteArray("\xb0"
                                                                      "5\r")
                                                        << QStringList{QString::fromLatin1("\xb0"
                                                                                           "5")};
    }
    void tramas() {
        QFETCH(QByteArray, llega);
        QFETCH(QStringList, valores);
        Banco b;
        b.puertos.serie(1).llega(llega);
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), valores);
        QCOMPARE(b.avisos.beeps, 0);
        QCOMPARE(b.puertos.serie(1).esperando(), 0);
    }

    void pausaEntreTramas() {
        Banco b;
        b.puertos.serie(1).llega("1\r2\r3\r");
        const qint64 antes = b.reloj.monotonoMs();
        b.rx.ComLee(1);
        const qint64 pasado = b.reloj.monotonoMs() - antes;
        // 0.1 s after each frame, on the injected clock.
        QVERIFY2(pasado >= 300 && pasado < 400, qPrintable(QString::number(pasado)));
    }

    void tramaEnVariasLlegadas() {
        Banco b;
        b.puertos.serie(1).llega("12");
        b.puertos.serie(1).llegaEn(800, ".");
        b.puertos.serie(1).llegaEn(2500, "5\r");
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), QStringList{"12.5"});
        QCOMPARE(b.avisos.beeps, 0);
    }

    void silencioTerminaLaTrama() {
        Banco b;
        b.puertos.serie(1).llega("12.5");
        b.puertos.serie(1).llegaEn(3500, "7\r"); // after the silence: a frame of its own
        const qint64 antes = b.reloj.monotonoMs();
        b.rx.ComLee(1);
        QCOMPARE(b.avisos.beeps, 1);
        QVERIFY(b.reloj.monotonoMs() - antes >= 3000);
        QCOMPARE(b.valores(), QStringList{"12.5"});
        b.reloj.avanza(1000);
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), QStringList({"12.5", "7"}));
    }

    void posicionDeInicio() {
        Banco b;
        b.t.PosInicio[1] = 4;
        b.puertos.serie(1).llega("ST,+012.50\r");
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), QStringList{"+012.50"});
    }

    void tablaDeCampos_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("separador");
        QTest::addColumn<QByteArray>("trama");
        QTest::addColumn<QStringList>("valores");
        // With a separator, fields stand in columns of 15: A,B is A, 14 blanks, B.
        QTest::newRow("separator")
            << false << 44 << QByteArray("A,B\r") << QStringList{"A" + QString(14, ' '), "B"};
        QTest::newRow("no separator")
            << false << -99 << QByteArray("AB12CD\r") << QStringList{"AB12CD", "D"};
        // Socket data is framed by the terminator too, so its port's field table applies.
        QTest::newRow("socket") << true << -99 << QByteArray("AB12CD\r")
                                << QStringList{"AB12CD", "D"};
    }
    void tablaDeCampos() {
        QFETCH(bool, tcp);
        QFETCH(int, separador);
        QFETCH(QByteArray, trama);
        QFETCH(QStringList, valores);
        Banco b;
        if (tcp)
            b.abre(1, "CALIB", true);
        b.t.Tabla[1] = "1";
        b.t.SepTabla[1] = qint16(separador);
        if (separador == 44)
            b.t.fijaTabla(1, {CampoTid{"", 1, 15, "CA"}, CampoTid{"", 16, 1, "CB"}});
        else
            b.t.fijaTabla(1, {CampoTid{"", 1, 8, "CA"}, CampoTid{"C", 1, 1, "CB"},
                              CampoTid{"ZZ", 1, 1, "CC"}});
        if (tcp)
            b.puertos.tcp(1).llega(trama);
        else
            b.puertos.serie(1).llega(trama);
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), valores);
        QCOMPARE(b.grabador.llamadas[0].Carac, QString("CA"));
        QCOMPARE(b.grabador.llamadas[1].Carac, QString("CB"));
    }

    void espera_data() {
        QTest::addColumn<QTime>("inicio");
        QTest::addColumn<double>("segundos");
        QTest::addColumn<QDateTime>("fin");
        const QDate d(2026, 12, 4);
        QTest::newRow("zero returns at once") << QTime(10, 0) << 0.0 << QDateTime(d, QTime(10, 0));
        QTest::newRow("a whole day returns at once")
            << QTime(10, 0) << 86400.0 << QDateTime(d, QTime(10, 0));
        QTest::newRow("across midnight")
            << QTime(23, 59, 59, 500) << 2.0 << QDateTime(d.addDays(1), QTime(0, 0, 1, 500));
        QTest::newRow("plain") << QTime(10, 0) << 1.0 << QDateTime(d, QTime(10, 0, 1));
    }
    void espera() {
        QFETCH(QTime, inicio);
        QFETCH(double, segundos);
        QFETCH(QDateTime, fin);
        RelojFalso reloj(QDateTime(QDate(2026, 12, 4), inicio));
        Espera(reloj, segundos);
        const qint64 desvio = fin.msecsTo(reloj.ahora());
        QVERIFY2(desvio >= 0 && desvio <= 60,
                 qPrintable(reloj.ahora().toString(Qt::ISODateWithMs)));
    }

    void socketEnmarcado_data() {
        QTest::addColumn<QList<QByteArray>>("segmentos");
        QTest::addColumn<QStringList>("valores");
        QTest::newRow("two frames in one segment")
            << QList<QByteArray>{"10.5\r\n11.5\r\n"} << QStringList{"10.5", "11.5"};
        QTest::newRow("one frame in two segments")
            << QList<QByteArray>{"10", ".5\r\n"} << QStringList{"10.5"};
    }
    void socketEnmarcado() {
        QFETCH(QList<QByteArray>, segmentos);
        QFETCH(QStringList, valores);
        Banco b;
        b.abre(3, "CALIB", true);
        b.t.puerto(3).Conex = "CALIB";
        b.t.CarTerm[3] = 10; // CR LF lines end at the LF; the CR is a control character
        auto& tcp = b.puertos.tcp(3);
        tcp.llega(segmentos[0]);
        for (int i = 1; i < segmentos.size(); ++i)
            tcp.llegaEn(200 * i, segmentos[i]);
        const qint64 antes = b.reloj.monotonoMs();
        b.rx.ComLee(3);
        // No pause after socket frames: only the wait for the second segment passes.
        QVERIFY(b.reloj.monotonoMs() - antes <= 200 * (segmentos.size() - 1) + 60);
        // Port 3 has no configuration: the log shows what was read.
        QStringList leidas;
        for (const QString& l : b.log.lineas(3)) {
            const QString t = l.trimmed();
            leidas << t.mid(t.lastIndexOf("  ") + 2).mid(2);
        }
        QCOMPARE(leidas, valores);
    }

    void unaPasadaNuncaDentroDeOtra() {
        Banco b;
        // Recording port 1's first value lets events run (a message box would): port 2's data
        // arrives then and asks for a pass, which must wait for port 1's to end.
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
        // The pass is over: a new call runs at once.
        b.puertos.serie(2).llega("2b\r");
        rx.ComLee(2);
        QCOMPARE(puente.orden.size(), 4);
        QCOMPARE(puente.orden.last(), QStringLiteral("2b"));
        rx.ComLee(99); // outside the ports: ignored
        QCOMPARE(puente.orden.size(), 4);
    }

    void fallaEnUnaTramaNoDetieneNada() {
        Banco b;
        b.t.canal(1, 1).SecActual = 50; // the next sequence would be outside the tables
        b.puertos.serie(1).llega("9\r");
        b.rx.ComLee(1);
        QVERIFY(b.grabador.llamadas.isEmpty());
        QCOMPARE(b.log.lineas(1).size(), 1);
        QVERIFY2(b.log.lineas(1)[0].contains("9"), qPrintable(b.log.lineas(1)[0]));
        QVERIFY(b.log.lineas(1)[0].contains("no decodificada"));
        QCOMPARE(int(b.t.canal(1, 1).SecActual), 50); // as it was
        b.t.canal(1, 1).SecActual = 0;
        b.puertos.serie(1).llega("8\r");
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), QStringList{"8"});
    }

    void puertoTimer() {
        Banco b;
        b.t.puerto(1).Conex = "TIMER";
        b.t.canal(1, 3).SecActual = 0;
        // 36512.34 s after midnight: the value 365.12 on channel 2... on channel 3 here.
        b.reloj.fija(QDateTime(QDate(2026, 12, 4), QTime(10, 8, 32, 340)));
        b.rx.ComLee(1);
        QCOMPARE(b.log.lineas(1).size(), 1);
        QVERIFY2(b.log.lineas(1)[0].contains("365.12"), qPrintable(b.log.lineas(1)[0]));
        QVERIFY(b.log.lineas(1)[0].startsWith(" 02/01"));
    }

    void dl10CierraSuPuerto() {
        Banco b;
        b.abre(1, "DL-10");
        QSignalSpy cerrado(&b.rx, &Receptor::puertoCerradoPorInstrumento);
        b.puertos.serie(1).llega("00012.30\r80000000\r00099.99\r");
        b.rx.ComLee(1);
        QCOMPARE(b.valores(), QStringList{"00012.30"});
        QVERIFY(!b.puertos.serie(1).abierto());
        QCOMPARE(cerrado.count(), 1);
        QCOMPARE(cerrado.at(0).at(0).toInt(), 1);
    }

    void gse01Responde() {
        Banco b;
        b.abre(1, "GSE01");
        b.puertos.serie(1).llega("A3\r");
        b.rx.ComLee(1);
        QCOMPARE(b.comandosGse, QStringList{"1/4"});
        QCOMPARE(b.puertos.serie(1).escrito(), QByteArray("+++ATDT 03, WR, CN\rCMD"));
    }
};

QTEST_GUILESS_MAIN(TstRecepcion)
#include "tst_recepcion.moc"
