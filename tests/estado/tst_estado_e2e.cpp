// ORT seen from outside, end to end: a simulated gauge sends a known number of readings to
// `ort --headless --http`, under a fake systemd notification socket; the status page, its JSON
// and the metrics must count them, refuse what they do not serve, survive malformed requests,
// and systemd must hear READY, the counts and watchdog pings (that they come from
// acquisition's own thread is the status unit test's).
#include "support/corrida.h"
#include "support/notificacion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

using namespace ort::prueba;

namespace {

constexpr int kLecturas = 12;

int PuertoLibre() {
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// Sends raw bytes and returns what comes back before the server closes or goes quiet.
QByteArray Crudo(int puerto, const QByteArray& peticion) {
    QTcpSocket s;
    QByteArray r;
    QObject::connect(&s, &QTcpSocket::readyRead, [&] { r += s.readAll(); });
    s.connectToHost(QHostAddress::LocalHost, quint16(puerto));
    if (!s.waitForConnected(3000))
        return "sin conexión";
    s.write(peticion);
    EsperaQue([&] { return s.state() != QAbstractSocket::ConnectedState; }, 5000);
    return r + s.readAll();
}

// The samples of Prometheus text, after checking that every line is a comment or a sample.
QMap<QString, double> Muestras(const QByteArray& texto, QString* mala) {
    static const QRegularExpression linea(
        R"(^([a-zA-Z_:][a-zA-Z0-9_:]*(\{[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*"(,[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*")*\})?) (\S+)$)");
    QMap<QString, double> m;
    for (const QString& l : QString::fromUtf8(texto).split(u'\n', Qt::SkipEmptyParts)) {
        if (l.startsWith(QStringLiteral("# HELP ")) || l.startsWith(QStringLiteral("# TYPE ")))
            continue;
        const auto r = linea.match(l);
        bool ok = false;
        const double v = r.captured(4).toDouble(&ok);
        if (!r.hasMatch() || !ok) {
            *mala = l;
            return {};
        }
        m[r.captured(1)] = v;
    }
    return m;
}

} // namespace

class TstEstadoE2e : public QObject {
    Q_OBJECT
private:
    Corrida c_;
    QProcess& ort_ = c_.ort;
    int puerto_ = 0;
    std::unique_ptr<SocketNotificacion> systemd_;
    QNetworkAccessManager red_;

    QNetworkReply* pide(const QByteArray& metodo, const QString& ruta) {
        QNetworkRequest r(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(puerto_).arg(ruta)));
        QNetworkReply* reply = red_.sendCustomRequest(r, metodo);
        EsperaQue([&] { return reply->isFinished(); }, 5000);
        return reply;
    }
    QByteArray get(const QString& ruta) {
        std::unique_ptr<QNetworkReply> r(pide("GET", ruta));
        return r->readAll();
    }

private slots:
    void initTestCase() {
        QVERIFY(c_.prepara());
        QVERIFY(c_.calibre({"--rate", "5", "--count", QString::number(kLecturas), "--hold",
                            "--values", "fixed:20.01"}));
        systemd_ = std::make_unique<SocketNotificacion>(c_.tmp.filePath("notify"));
        QVERIFY(systemd_->ok());
        puerto_ = PuertoLibre();
        QVERIFY(puerto_ > 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NOTIFY_SOCKET", c_.tmp.filePath("notify"));
        env.insert("WATCHDOG_USEC", "400000"); // a ping every 0.2 s
        env.remove("WATCHDOG_PID");
        ort_.setProcessEnvironment(env);
        QVERIFY(c_.arranca({"--http", QString("127.0.0.1:%1").arg(puerto_)}));
        QVERIFY2(c_.esperaFilas(kLecturas, "1", 30000),
                 ort_.readAllStandardError() + ort_.readAllStandardOutput());
    }
    void cleanupTestCase() { c_.termina(); }
    void jsonCuentaLoEnviado() {
        QJsonParseError error;
        const QJsonDocument d = QJsonDocument::fromJson(get("/api/estado"), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QJsonObject uno, cinco;
        for (const QJsonValue v : d.object()["puertos"].toArray()) {
            if (v["puerto"].toInt() == 1)
                uno = v.toObject();
            if (v["puerto"].toInt() == 5)
                cinco = v.toObject();
        }
        QCOMPARE(uno["instrumento"].toString(), QString("CALIB"));
        QVERIFY(uno["abierto"].toBool());
        QCOMPARE(uno["recibidas"].toInt(), kLecturas);
        QCOMPARE(uno["grabadas"].toInt(), kLecturas);
        QCOMPARE(uno["noGrabadas"].toInt(), 0);
        QCOMPARE(uno["retenidas"].toInt(-1), 0);
        QVERIFY(!uno["ultimaLectura"].toString().isEmpty());
        const QJsonArray log = uno["log"].toArray();
        QVERIFY(log.size() >= kLecturas && log.size() <= 20);
        QVERIFY2(log.last().toString().endsWith("DIAM  20.010"), qPrintable(log.last().toString()));
        QCOMPARE(cinco["instrumento"].toString(), QString("TIMER"));
        QVERIFY(!cinco["abierto"].toBool());
    }

    void metricasCuentanLoEnviado() {
        QString mala;
        const QMap<QString, double> m = Muestras(get("/metrics"), &mala);
        QVERIFY2(mala.isEmpty(), qPrintable(mala));
        QCOMPARE(m.value(R"(ort_lecturas_recibidas_total{puerto="1"})"), double(kLecturas));
        QCOMPARE(m.value(R"(ort_lecturas_grabadas_total{puerto="1"})"), double(kLecturas));
        QCOMPARE(m.value(R"(ort_lecturas_no_grabadas_total{puerto="1"})"), 0.0);
        QCOMPARE(m.value(R"(ort_puerto_abierto{puerto="1"})"), 1.0);
        QCOMPARE(m.value(R"(ort_puerto_abierto{puerto="5"})"), 0.0);
        QVERIFY(m.contains(R"(ort_puerto_info{puerto="1",instrumento="CALIB"})"));
        QCOMPARE(m.value(R"(ort_lecturas_retenidas{puerto="1"})", -1), 0.0);
        const double desde = m.value(R"(ort_segundos_desde_ultima_lectura{puerto="1"})", -1);
        QVERIFY(desde >= 0 && desde < 60);
        // Two writes per reading: the value and the lot, the row's additional field.
        QCOMPARE(m.value("ort_escritura_segundos_count"), double(2 * kLecturas));
        QCOMPARE(m.value(R"(ort_escritura_segundos_bucket{le="+Inf"})"), double(2 * kLecturas));
        double antes = 0;
        for (const char* le : {"0.001", "0.01", "0.1", "1", "10"}) {
            const double n =
                m.value(QString(R"(ort_escritura_segundos_bucket{le="%1"})").arg(le), -1);
            QVERIFY2(n >= antes, le);
            antes = n;
        }
        QVERIFY(m.value("ort_escritura_segundos_sum") > 0);
    }

    void paginaLegible() {
        std::unique_ptr<QNetworkReply> r(pide("GET", "/"));
        QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QVERIFY(r->header(QNetworkRequest::ContentTypeHeader).toString().startsWith("text/html"));
        const QString h = QString::fromUtf8(r->readAll());
        QVERIFY(h.contains("Puerto 1 &middot; CALIB"));
        QVERIFY(h.contains(QString("<td>Recibidas</td><td>%1</td>").arg(kLecturas)));
        QVERIFY(h.contains("http-equiv=\"refresh\""));
        QVERIFY(h.contains("name=\"viewport\""));
        QVERIFY(!h.contains("src=") && !h.contains("<link")); // nothing fetched from elsewhere
    }

    void soloGetYHead_data() {
        QTest::addColumn<QByteArray>("metodo");
        QTest::addColumn<QString>("ruta");
        QTest::addColumn<int>("codigo");
        QTest::addColumn<bool>("cuerpo");
        // clang-format off
        QTest::addRow("GET json")     << QByteArray("GET")    << "/api/estado" << 200 << true;
        QTest::addRow("HEAD page")    << QByteArray("HEAD")   << "/"           << 200 << false;
        QTest::addRow("HEAD metrics") << QByteArray("HEAD")   << "/metrics"    << 200 << false;
        QTest::addRow("POST page")    << QByteArray("POST")   << "/"           << 405 << true;
        QTest::addRow("PUT json")     << QByteArray("PUT")    << "/api/estado" << 405 << true;
        QTest::addRow("DELETE metr")  << QByteArray("DELETE") << "/metrics"    << 405 << true;
        QTest::addRow("unknown")      << QByteArray("GET")    << "/config"     << 404 << true;
        QTest::addRow("traversal")    << QByteArray("GET")    << "/../etc"     << 404 << true;
        // clang-format on
    }
    void soloGetYHead() {
        QFETCH(QByteArray, metodo);
        QFETCH(QString, ruta);
        QFETCH(int, codigo);
        QFETCH(bool, cuerpo);
        std::unique_ptr<QNetworkReply> r(pide(metodo, ruta));
        QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), codigo);
        QCOMPARE(!r->readAll().isEmpty(), cuerpo);
        if (codigo == 405)
            QCOMPARE(r->rawHeader("Allow"), QByteArray("GET, HEAD"));
        if (metodo == "HEAD")
            QVERIFY(r->header(QNetworkRequest::ContentLengthHeader).toInt() > 100);
    }

    void peticionesMalasNoHacenDano_data() {
        QTest::addColumn<QByteArray>("peticion");
        QTest::addColumn<QByteArray>(
            "respuesta"); // how the answer starts; empty: closed unanswered
        // clang-format off
        QTest::addRow("garbage")     << QByteArrayLiteral("GARBAGE \x01\x02\x03 zzz\r\n\r\n")                            << QByteArray();
        QTest::addRow("binary")      << QByteArrayLiteral("\xff\xfe\x00\r\n\r\nGET / HTTP/1.1\r\n\r\n")                  << QByteArray();
        QTest::addRow("long path")   << "GET /" + QByteArray(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"               << QByteArray("HTTP/1.1 413");
        QTest::addRow("long header") << "GET / HTTP/1.1\r\nHost: x\r\nX: " + QByteArray(40000, 'b') + "\r\n\r\n"         << QByteArray("HTTP/1.1 413");
        QTest::addRow("huge body")   << "POST / HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n" + QByteArray(200000, 'c') << QByteArray("HTTP/1.1 413");
        // clang-format on
    }
    void peticionesMalasNoHacenDano() {
        QFETCH(QByteArray, peticion);
        QFETCH(QByteArray, respuesta);
        const QByteArray r = Crudo(puerto_, peticion);
        QVERIFY2(respuesta.isEmpty() ? r.isEmpty() : r.startsWith(respuesta),
                 r.left(80).constData());
        // ORT and its page go on as before.
        QCOMPARE(ort_.state(), QProcess::Running);
        QVERIFY(Crudo(puerto_, "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                    .contains("ort_lecturas_recibidas_total{puerto=\"1\"} " +
                              QByteArray::number(kLecturas)));
    }

    void systemdOyeListoYElPerroGuardian() {
        QStringList oidos;
        QVERIFY(EsperaQue(
            [&] {
                oidos += systemd_->lee();
                return oidos.filter("WATCHDOG=1").size() >= 3;
            },
            5000));
        QVERIFY2(oidos.first().startsWith("READY=1\nSTATUS=") &&
                     oidos.first().contains("puertos abiertos"),
                 qPrintable(oidos.first()));
        QCOMPARE(oidos.filter("READY=1").size(), 1);
        // The counts reach the status line.
        QVERIFY(EsperaQue(
            [&] {
                oidos += systemd_->lee();
                return !oidos.filter(QString("%1 lecturas recibidas, %1 grabadas").arg(kLecturas))
                            .isEmpty();
            },
            5000));
    }
};

QTEST_GUILESS_MAIN(TstEstadoE2e)
#include "tst_estado_e2e.moc"
