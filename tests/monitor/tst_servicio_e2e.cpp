#include "estado/servidorestado.h"
#include "support/corrida.h"
#include "support/notificacion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using namespace ort::prueba;

namespace {

constexpr int kLecturas = 12;

QByteArray crudo(int puerto, const QByteArray& peticion) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, quint16(puerto));
    if (!s.waitForConnected(3000))
        return "sin conexión";
    QByteArray r;
    QElapsedTimer quieto;
    quieto.start();
    QObject::connect(&s, &QTcpSocket::readyRead, [&] { r += s.readAll(), quieto.restart(); });
    s.write(peticion);
    auto hecho = [&] {
        return s.state() != QAbstractSocket::ConnectedState ||
               (!r.isEmpty() && quieto.elapsed() > 300);
    };
    esperaQue(hecho, 5000);
    return r + s.readAll();
}

// The samples of Prometheus text; `mala`: the first line that is no comment nor sample.
QMap<QString, double> muestras(const QByteArray& texto, QString& mala) {
    static const QRegularExpression muestra(
        R"(^([a-zA-Z_:][a-zA-Z0-9_:]*(\{[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*"(,[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*")*\})?) (-?[0-9.]+(e[-+]?[0-9]+)?)$)");
    QMap<QString, double> m;
    for (const QString& l : QString::fromUtf8(texto).split(u'\n', Qt::SkipEmptyParts)) {
        const auto r = muestra.match(l);
        if (!l.startsWith("# HELP ") && !l.startsWith("# TYPE ") && !r.hasMatch() && mala.isEmpty())
            mala = l;
        m[r.captured(1)] = r.captured(4).toDouble();
    }
    return m;
}

} // namespace

class TstServicioE2e : public QObject {
    Q_OBJECT
    Corrida c_;
    int puerto_ = 0;
    std::unique_ptr<SocketNotificacion> systemd_;

    QByteArray get(const QString& ruta) {
        const QByteArray r =
            crudo(puerto_,
                  "GET " + ruta.toLatin1() + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        return r.mid(r.indexOf("\r\n\r\n") + 4);
    }

private slots:
    void initTestCase() {
        QVERIFY(c_.prepara());
        QVERIFY(c_.calibre({"--rate", "5", "--count", QString::number(kLecturas), "--hold",
                            "--values", "fixed:20.01"}));
        systemd_ = std::make_unique<SocketNotificacion>(c_.tmp.filePath("notify"));
        QTcpServer libre;
        QVERIFY(systemd_->ok() && libre.listen(QHostAddress::LocalHost, 0));
        puerto_ = libre.serverPort();
        libre.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NOTIFY_SOCKET", c_.tmp.filePath("notify"));
        env.insert("WATCHDOG_USEC", "400000"); // a ping every 0.2 s
        env.remove("WATCHDOG_PID");
        c_.ort.setProcessEnvironment(env);
        QVERIFY(c_.arranca({"--http", QString("127.0.0.1:%1").arg(puerto_)}));
        QVERIFY(c_.esperaFilas(kLecturas, "1", 30000)); // its output is read at the end
    }
    void cleanupTestCase() {
        if (c_.ort.state() == QProcess::Running)
            c_.termina();
    }

    // The JSON, the metrics (every line well-formed) and the page count what was sent.
    void cuentanLoEnviado() {
        QMap<int, QJsonObject> puertos;
        for (const QJsonValue v : QJsonDocument::fromJson(get("/api/estado"))["puertos"].toArray())
            puertos[v["puerto"].toInt()] = v.toObject();
        const QJsonObject uno = puertos[1], dos = puertos[2];
        QVERIFY(uno["instrumento"].toString() == "CALIB" &&
                dos["instrumento"].toString() == "XRITE");
        QVERIFY(uno["abierto"].toBool() && !dos["abierto"].toBool());
        QCOMPARE(QList<int>({uno["recibidas"].toInt(), uno["grabadas"].toInt(),
                             uno["noGrabadas"].toInt(), uno["retenidas"].toInt(-1)}),
                 QList<int>({kLecturas, kLecturas, 0, 0}));

        QString mala;
        const QMap<QString, double> m = muestras(get("/metrics"), mala);
        QVERIFY2(mala.isEmpty(), qPrintable(mala));
        // clang-format off
        for (const auto& [nombre, valor] : {std::pair{R"(ort_lecturas_recibidas_total{puerto="1"})", double(kLecturas)}, {R"(ort_lecturas_grabadas_total{puerto="1"})", double(kLecturas)},
                                            {R"(ort_lecturas_no_grabadas_total{puerto="1"})", 0.0}, {R"(ort_puerto_abierto{puerto="1"})", 1.0}, {R"(ort_puerto_abierto{puerto="2"})", 0.0},
                                            {R"(ort_lecturas_retenidas{puerto="1"})", 0.0}, {R"(ort_puerto_info{puerto="1",instrumento="CALIB"})", 1.0},
                                            {"ort_escritura_segundos_count", 2.0 * kLecturas}, {R"(ort_escritura_segundos_bucket{le="+Inf"})", 2.0 * kLecturas}}) // two writes a reading: value and lot
            QVERIFY2(m.contains(nombre) && m[nombre] == valor, nombre);
        // clang-format on
        QVERIFY(m.value(R"(ort_segundos_desde_ultima_lectura{puerto="1"})", -1) >= 0);

        const QString h = QString::fromUtf8(get("/"));
        QVERIFY(h.contains("Puerto 1 &middot; CALIB") &&
                h.contains(QString("<td>Recibidas</td><td>%1</td>").arg(kLecturas)));
        QVERIFY(!h.contains("src=") && !h.contains("<link")); // nothing fetched from elsewhere
    }

    // Only GET and HEAD of the pages; malformed or oversized requests refused; ORT goes on.
    void peticiones_data() {
        QTest::addColumn<QByteArray>("peticion");
        QTest::addColumn<QByteArray>("respuesta"); // its start; empty: closed unanswered
        const QByteArray fin = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        // clang-format off
        QTest::addRow("GET page")     << "GET /" + fin << QByteArray("HTTP/1.1 200");
        QTest::addRow("HEAD page")    << "HEAD /" + fin << QByteArray("HTTP/1.1 200");
        QTest::addRow("POST page")    << "POST /" + fin << QByteArray("HTTP/1.1 405");
        QTest::addRow("unknown")      << "GET /config" + fin << QByteArray("HTTP/1.1 404");
        QTest::addRow("garbage")      << QByteArrayLiteral("GARBAGE \x01\x02\x03 zzz\r\n\r\n") << QByteArray();
        QTest::addRow("long path")    << "GET /" + QByteArray(100000, 'a') + fin << QByteArray("HTTP/1.1 413");
        QTest::addRow("huge body")    << "POST / HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n" + QByteArray(200000, 'c') << QByteArray("HTTP/1.1 413");
        // clang-format on
    }
    void peticiones() {
        QFETCH(QByteArray, peticion);
        QFETCH(QByteArray, respuesta);
        const QByteArray r = crudo(puerto_, peticion);
        QVERIFY2(respuesta.isEmpty() ? r.isEmpty() : r.startsWith(respuesta),
                 r.left(80).constData());
        const QByteArray cabecera = r.left(r.indexOf("\r\n\r\n")).toLower(),
                         cuerpo = r.mid(r.indexOf("\r\n\r\n") + 4);
        QCOMPARE(cabecera.contains("\r\nallow: get, head"), respuesta.endsWith("405"));
        static const QRegularExpression largo("\r\ncontent-length: (\\d+)");
        if (respuesta.endsWith("200")) // HEAD: the length of what GET would send, and no body
            QVERIFY(largo.match(QString::fromLatin1(cabecera)).captured(1).toInt() > 100 &&
                    cuerpo.isEmpty() == peticion.startsWith("HEAD"));
        QVERIFY(get("/metrics")
                    .contains("ort_lecturas_recibidas_total{puerto=\"1\"} " +
                              QByteArray::number(kLecturas)));
    }

    // Clients that open connections and hold them: one past the limit is answered 503; once
    // they close, the page answers again.
    void conexionesRetenidas() {
        std::vector<std::unique_ptr<QTcpSocket>> abiertas;
        for (int i = 0; i <= ort::ServidorEstado::kMaxConexiones; ++i) {
            abiertas.push_back(std::make_unique<QTcpSocket>());
            abiertas.back()->connectToHost(QHostAddress::LocalHost, quint16(puerto_));
            QVERIFY(abiertas.back()->waitForConnected(3000));
        }
        QVERIFY(abiertas.back()->waitForReadyRead(3000));
        QVERIFY(abiertas.back()->readAll().startsWith("HTTP/1.1 503"));
        abiertas.clear();
        QTRY_VERIFY_WITH_TIMEOUT(get("/api/estado").contains("\"puertos\""), 5000);
    }

    void systemdOyeListoLasCuentasYElPerroGuardian() {
        QStringList oidos;
        const QString cuentas = QString("%1 lecturas recibidas, %1 grabadas").arg(kLecturas);
        QVERIFY(esperaQue(
            [&] {
                oidos += systemd_->lee();
                return oidos.filter("WATCHDOG=1").size() >= 3 && !oidos.filter(cuentas).isEmpty();
            },
            5000));
        QVERIFY2(oidos.first().startsWith("READY=1\nSTATUS=") &&
                     oidos.filter("READY=1").size() == 1,
                 qPrintable(oidos.first()));
    }

    // Last: rows as sent, log lines on standard output tagged by port, status 0 on SIGTERM.
    void finLimpio() {
        QCOMPARE(c_.filas("DIAM = 20.01 and LOTE = 'L-2612' and Operador = 'OP1'"), kLecturas);
        QCOMPARE(c_.termina(), 0);
        int lecturas = 0;
        static const QRegularExpression puerto("^(0[1-9]|1[0-6]) ");
        const QString salida = QString::fromUtf8(c_.ort.readAllStandardOutput());
        for (const QString& l : salida.split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(puerto.match(l).hasMatch() && !l.endsWith(' '), qPrintable(l));
            lecturas +=
                l.startsWith("01  01/01 ") && l.endsWith("OP1 F1 TORNO1 EJE20 DIAM  20.010");
        }
        QCOMPARE(lecturas, kLecturas);
        QCOMPARE(c_.ort.readAllStandardError(), QByteArray());
    }

    void directorioSinArchivosTerminaConError() {
        Corrida c;
        c.dir = c.tmp.path();
        QVERIFY(c.arranca() && c.ort.waitForFinished(10000));
        QCOMPARE(c.ort.exitCode(), 1);
        const QString err = QString::fromUtf8(c.ort.readAllStandardError()).trimmed();
        QVERIFY2(err.startsWith("ORT: ") && err.contains("MVDirec.iau"), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TstServicioE2e)
#include "tst_servicio_e2e.moc"
