#include "estado/enlaceestado.h"
#include "startup/archivosproducto.h"
#include "startup/clave.h"
#include "support/banco.h"
#include "support/notificacion.h"
#include "support/programas.h"

#include <QTest>
#include <QThread>

using namespace ort;
using namespace ort::prueba;

namespace {

struct Estado : Banco {
    Adquisicion& a = adquisicion();
    std::unique_ptr<EnlaceEstado> enlace;

    explicit Estado(const QString& silencios) {
        if (!silencios.isEmpty())
            dir.escribe("ORTSilencio.IAU", silencios);
        enlace = std::make_unique<EnlaceEstado>(a, e, nullptr);
        a.tablas().puerto(1).Conex = "CALIB";
    }
    void lectura() { // what acquisition says when a reading arrives on port 1
        a.tablas().NumLecturas[1] += 1;
        emit a.contadoresCambiados(1);
    }
    void pasa(int segundos) {
        reloj.avanza(qint64(segundos) * 1000);
        enlace->estado().revisaSilencios();
    }
    int dichas(const QString& texto) const { return int(a.log().lineas(1).filter(texto).size()); }
    bool metrica(const QString& muestra) const {
        return enlace->estado().metricas().contains(muestra.toUtf8() + '\n');
    }
};

} // namespace

class TstEstado : public QObject {
    Q_OBJECT
private slots:
    void alarmaDeSilencio_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<bool>("abierto");
        QTest::addColumn<int>("segundos");
        QTest::addColumn<int>("limite"); // 0: no alarm expected
        // clang-format off
        QTest::addRow("off by default") << ""              << true  << 100000 << 0;
        QTest::addRow("other port")     << "2,60\r\n"      << true  << 100000 << 0;
        QTest::addRow("at limit")       << "1,300\r\n"     << true  << 300    << 300;
        QTest::addRow("long past")      << "# c\n1, 60 \n" << true  << 5000   << 60;
        QTest::addRow("closed port")    << "1,60\r\n"      << false << 5000   << 0;
        // clang-format on
    }
    void alarmaDeSilencio() {
        QFETCH(QString, archivo);
        QFETCH(bool, abierto);
        QFETCH(int, segundos);
        QFETCH(int, limite);
        Estado b(archivo);
        emit b.a.estadoPuerto(1, abierto);
        b.pasa(segundos);
        b.pasa(limite ? segundos : 0); // said once, however long it lasts
        const QString silencioso = "ort_puerto_silencioso{puerto=\"1\"} ";
        QVERIFY(b.dichas("sin datos del instrumento desde hace") == (limite ? 1 : 0) &&
                b.avisos.mensajes.size() == (limite ? 1 : 0) &&
                b.metrica(silencioso + (limite ? "1" : "0")));
        if (!limite)
            return;
        QVERIFY(b.avisos.textos().first().contains("Puerto 1 (CALIB)"));
        b.lectura();
        b.lectura();
        QVERIFY(b.dichas(QString("vuelven a llegar datos tras %1 s").arg(2 * segundos)) == 1 &&
                b.avisos.mensajes.size() == 2);
        QVERIFY(b.metrica(silencioso + "0") &&
                b.metrica("ort_segundos_desde_ultima_lectura{puerto=\"1\"} 0"));
        // Silence counted again from the last reading; closing the port ends it without a word.
        b.pasa(limite - 1);
        QCOMPARE(b.avisos.mensajes.size(), 2);
        b.pasa(1);
        QVERIFY(
            b.avisos.mensajes.size() == 3 &&
            b.metrica(QString("ort_segundos_desde_ultima_lectura{puerto=\"1\"} %1").arg(limite)));
        emit b.a.estadoPuerto(1, false);
        QVERIFY(b.metrica(silencioso + "0") && b.avisos.mensajes.size() == 3);
    }

    void archivoDeSilenciosMalo() {
        Estado b("1,60\r\n17,5\r\n3;40\r\n4,-1\r\n5,x\r\n6,30\r\n");
        QCOMPARE(b.avisos.mensajes.size(), 1); // one message lists every bad line
        const QString m = b.avisos.textos().first();
        for (int n = 1; n <= 6; ++n)
            QCOMPARE(m.contains(QString("línea %1").arg(n)), n >= 2 && n <= 5);
        QCOMPARE(b.enlace->estado().puerto(1).silencioSegundos +
                     b.enlace->estado().puerto(6).silencioSegundos,
                 90);
    }

    void histogramaDeEscritura_data() {
        QTest::addColumn<qint64>("ns");
        QTest::addColumn<QString>("primerLe"); // the first bucket that counts it
        // clang-format off
        QTest::addRow("fast")         << qint64(200'000)        << "0.001";
        QTest::addRow("just over")    << qint64(1'000'001)      << "0.0025";
        QTest::addRow("stuck")        << qint64(60'000'000'000) << "+Inf";
        // clang-format on
    }
    void histogramaDeEscritura() {
        QFETCH(qint64, ns);
        QFETCH(QString, primerLe);
        LatenciaEscritura l;
        GrabadorFalso real;
        GrabadorMedido medido(real, l); // one write through the measured writer, one observed
        QVERIFY(medido.GrabaMTVX("F1", "M", "P", "C", "", "", "", "1", 0) ==
                    ResultadoGrabacion::Grabado &&
                real.llamadas.size() + l.cuenta() == 2u);
        l.observa(ns);
        const QString t = QString::fromUtf8(l.metricas("x"));
        bool visto = false;
        for (const QString le : {"0.001", "0.0025", "0.005", "1", "2.5", "10", "+Inf"}) {
            visto = visto || le == primerLe;
            QVERIFY2(t.contains(QString("x_bucket{le=\"%1\"} %2\n").arg(le).arg(visto ? 2 : 1)),
                     qPrintable(t));
        }
        QVERIFY(t.contains("x_count 2\n") && l.sumaSegundos() >= double(ns) / 1e9);
    }

    // Written as ORT reads it back at start, or refused with a reason.
    void claveIdaYVuelta_data() {
        QTest::addColumn<QString>("clave");
        QTest::addColumn<bool>("escribe");
        // clang-format off
        QTest::addRow("comma")        << "a,b,c"                      << true;
        QTest::addRow("symbols")      << "!~{}|`^_@#$%&*()-+=:;<>?/." << true;
        QTest::addRow("47 chars")     << QString(47, u'a')            << true;
        QTest::addRow("48 chars")     << QString(48, u'a')            << false;
        QTest::addRow("accent")       << "contraseña"                 << false;
        // clang-format on
    }
    void claveIdaYVuelta() {
        QFETCH(QString, clave);
        QFETCH(bool, escribe);
        DirPrograma d;
        d.productoJet();
        const auto r = escribeArchivoClave(d.ruta(), clave);
        QVERIFY2(r.ok() == escribe && r.falla().descripcion.isEmpty() == escribe,
                 qPrintable(r.falla().descripcion));
        AvisosGrabados av;
        const auto a = cargaAjustes(d.ruta(), av);
        QVERIFY(a && av.mensajes.isEmpty() && a->ClaveBD == (escribe ? clave : QString()));
    }

    void direccionHttp_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("url"); // and 1 if reachable from the network; empty: refused
        // clang-format off
        QTest::addRow("loopback")   << "127.0.0.1:8088"  << "http://127.0.0.1:8088/0";
        QTest::addRow("ipv6")       << "[::1]:8088"      << "http://[::1]:8088/0";
        QTest::addRow("lan")        << "192.168.1.20:80" << "http://192.168.1.20:80/1";
        QTest::addRow("no port")    << "127.0.0.1"       << "";
        QTest::addRow("host name")  << "planta.local:80" << "";
        QTest::addRow("none")       << "no"              << "-0";
        // clang-format on
    }
    void direccionHttp() {
        QFETCH(QString, texto);
        QFETCH(QString, url);
        const auto d = interpretaDireccionHttp(texto);
        QCOMPARE(d ? (d->ninguna ? "-" : d->url()) + QString::number(d->deRed()) : QString(), url);
    }

    // Pinged from acquisition's own thread: when it hangs the pings stop.
    void perroGuardianDesdeElHiloDeAdquisicion() {
        QTemporaryDir tmp;
        SocketNotificacion systemd(tmp.filePath("notify"));
        qputenv("NOTIFY_SOCKET", tmp.filePath("notify").toLocal8Bit());
        qputenv("WATCHDOG_USEC", "100000");
        auto aviso = std::make_unique<AvisoSystemd>();
        QThread hilo;
        QObject adquisicion;
        adquisicion.moveToThread(&hilo);
        hilo.start();
        aviso->listo("3 de 4 puertos abiertos");
        aviso->vigila(&adquisicion);
        auto pings = [&] { return systemd.lee().filter("WATCHDOG=1").size(); };
        QVERIFY(systemd.ok() && esperaQue([&] { return pings() > 0; }, 2000));
        QMetaObject::invokeMethod(&adquisicion, [] { QThread::msleep(700); });
        QTest::qWait(100);
        pings();
        QTest::qWait(500);
        QCOMPARE(pings(), 0);
        QVERIFY(esperaQue([&] { return pings() > 0; }, 2000));
        aviso.reset(); // its timer goes with acquisition's thread
        hilo.quit(), hilo.wait();
        qunsetenv("NOTIFY_SOCKET");
        AvisoSystemd nada;
        nada.listo("x");
        QTest::qWait(50);
        QVERIFY(!nada.activo() && systemd.lee().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstEstado)
#include "tst_estado.moc"
