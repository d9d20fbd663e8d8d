// Soak: sixteen serial ports sending at once for a long run against the real program. Every
// reading sent must be a row, nothing may be reported on standard error, and ORT's resident
// memory must stay flat. Prints its figures; exits 1 when a reading is lost or memory grows.
//
//   soak_carga [seconds]     (default 600, or ORT_CARGA_SEGUNDOS)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kPuertos = 16;
const QString kBin = QStringLiteral(ORT_BIN_DIR);

long rssKb(qint64 pid) {
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int lineas(const QString& archivo) {
    QFile f(archivo);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
}

int sqlite(const QString& archivo, const QString& sql) {
    QProcess p;
    p.start("sqlite3", {archivo, sql});
    p.waitForFinished(30000);
    return p.readAllStandardOutput().trimmed().toInt();
}

// Runs a set-up step quietly.
void ejecuta(const QString& programa, const QStringList& args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(programa, args);
    p.waitForFinished(120000);
}

bool Espera(const std::function<bool()>& condicion, qint64 ms) {
    QElapsedTimer t;
    t.start();
    while (!condicion()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(500);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int segundos = argc > 1 ? atoi(argv[1])
                         : qEnvironmentVariableIsSet("ORT_CARGA_SEGUNDOS")
                             ? qEnvironmentVariableIntValue("ORT_CARGA_SEGUNDOS")
                             : 600;
    // Each serial frame is followed by a pause of 0.1 s: half a frame a second on each of the 16
    // ports keeps a single acquisition thread at 80 %, so the workers have room to spare.
    const double hz = 0.5;
    const int cuenta = int(segundos * hz), total = kPuertos * cuenta;
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("demo");
    ejecuta("bash", {QStringLiteral(ORT_DEMO_SCRIPT), dir});
    QString conf = "DELETE FROM PUERTOS; DELETE FROM CANALES; DELETE FROM CONF;", mapa;
    for (int p = 1; p <= kPuertos; ++p) {
        // Each port records into the data table of one of four machine and product pairs.
        conf += QString("INSERT INTO PUERTOS VALUES (%1,'CALIB',-1);"
                        "INSERT INTO CANALES VALUES (%1,1,'');"
                        "INSERT INTO CONF VALUES (%1,1,1,'OP%1','E1','%2','%3','F1','TEMP',"
                        "'','','','',0);")
                    .arg(p)
                    .arg(p % 2 ? "TORNO1" : "RECT1", p % 4 < 2 ? "EJE20" : "TUBO1");
        mapa += QString("%1,%2/dev/port%1\r\n").arg(p).arg(dir);
    }
    ejecuta("sqlite3", {dir + "/ORTConf2005.mdb", conf});
    QDir().mkpath(dir + "/datos/F1/RECT1");
    ejecuta("bash", {"-c", QString("sqlite3 '%1/datos/F1/RECT1/TUBO1.MDB' < '%2'")
                               .arg(dir, ORT_SQL_DIR "/datos.sqlite.sql")});
    QFile iau(dir + "/ORTPuertos.IAU");
    if (!iau.open(QIODevice::WriteOnly) || iau.write(mapa.toUtf8()) < 0)
        return 2;
    iau.close();

    std::vector<std::unique_ptr<QProcess>> sims;
    for (int p = 1; p <= kPuertos; ++p) {
        sims.push_back(std::make_unique<QProcess>());
        sims.back()->start(kBin + "/tools/ortsim",
                           {"--code", "CALIB", "--link", QString("%1/dev/port%2").arg(dir).arg(p),
                            "--rate", QString::number(hz), "--count", QString::number(cuenta),
                            "--hold", "--values", "random:1,1000", "--seed", QString::number(p),
                            "--sent", tmp.filePath(QString("sent%1.txt").arg(p))});
    }
    if (!Espera([&] { return QFile::exists(dir + "/dev/port16"); }, 10000)) {
        std::fprintf(stderr, "the simulators did not start\n");
        return 2;
    }
    QProcess ort;
    ort.setStandardOutputFile(tmp.filePath("ort.out"));
    ort.setStandardErrorFile(tmp.filePath("ort.err"));
    ort.start(kBin + "/src/ort", {"--headless", "--dir", dir, "--http", "no"});
    if (!ort.waitForStarted())
        return 2;
    QThread::sleep(std::min(60, segundos / 4));
    const long memoriaInicial = rssKb(ort.processId());
    auto enviadas = [&] {
        int n = 0;
        for (int p = 1; p <= kPuertos; ++p)
            n += lineas(tmp.filePath(QString("sent%1.txt").arg(p)));
        return n;
    };
    auto filas = [&] {
        int n = 0;
        for (const char* f :
             {"F1/TORNO1/EJE20", "F1/TORNO1/TUBO1", "F1/RECT1/EJE20", "F1/RECT1/TUBO1"})
            n += sqlite(QString("%1/datos/%2.MDB").arg(dir, f), "select count(*) from Datos");
        return n;
    };
    // Every simulator sends its readings, then ORT catches up.
    Espera([&] { return enviadas() == total; }, (segundos + 60) * 1000LL);
    Espera([&] { return filas() == total; }, 60000);
    const long memoriaFinal = rssKb(ort.processId());
    ::kill(pid_t(ort.processId()), SIGTERM);
    const bool termino = ort.waitForFinished(10000) && ort.exitCode() == 0;
    for (auto& s : sims) {
        s->terminate();
        s->waitForFinished(3000);
    }
    const int n = filas(), m = enviadas(), salida = lineas(tmp.filePath("ort.out"));
    QFile out(tmp.filePath("ort.out"));
    const bool rechazadas = !out.open(QIODevice::ReadOnly) || out.readAll().contains(" !\n");
    QFile err(tmp.filePath("ort.err"));
    const QByteArray errores = err.open(QIODevice::ReadOnly) ? err.readAll() : "unreadable";
    std::printf("%d ports, %d s: %d readings to send, %d sent, %d rows, %d log lines\n", kPuertos,
                segundos, total, m, n, salida);
    std::printf("resident memory %ld kB after warm-up, %ld kB at the end (%+ld kB)\n",
                memoriaInicial, memoriaFinal, memoriaFinal - memoriaInicial);
    std::printf("rejected readings: %s; SIGTERM: %s; standard error: %lld bytes\n",
                rechazadas ? "some" : "none", termino ? "exit 0" : "FAILED",
                qint64(errores.size()));
    const bool bien = m == total && n == total && salida == total && errores.isEmpty() &&
                      !rechazadas && termino && memoriaFinal - memoriaInicial < 8 * 1024;
    if (!errores.isEmpty())
        std::fprintf(stderr, "%s\n", errores.right(2000).constData());
    std::printf("%s\n", bien ? "ok" : "FAILED");
    return bien ? 0 : 1;
}
