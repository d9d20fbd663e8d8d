// Many serial ports at once, on pseudo-terminals, with the real program: the time from a frame's
// last byte to the commit that makes its row visible, per port, and what is lost; ORT's CPU and
// memory, idle and under load.
//
//   bench_puertos [seconds] [frames/s per port] [write mode] [stream]
//     (defaults: 60, 10, the program's default mode; "stream": port 1 sends at the line rate
//      of 9600 baud and ports 2..16 at 1 frame a second)
//
// Each port writes a data file of its own (a plant's sixteen gauges on sixteen products). A
// commit is seen on the file's change counter, read without taking a lock, then the new rows
// are read.

#include "cpu.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPuertos = 16;
const QString kBin = QStringLiteral(ORT_BIN_DIR);
using Reloj = std::chrono::steady_clock;

long rssKb(qint64 pid) {
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

struct Puerto {
    int maestro = -1;
    QString esclavo;
    QString archivo;
    std::vector<Reloj::time_point> enviada; // by value
    std::mutex m;
    QFile cabecera;
    quint32 cambios = 0;
    int ultimaN = 0;
    std::vector<double> esperas; // ms
    int vistas = 0;
    int rebosadas = 0; // frames the full line did not take
};

quint32 cambios(QFile& f) {
    f.seek(24);
    const QByteArray b = f.read(4);
    return b.size() == 4 ? (quint32(uchar(b[0])) << 24 | quint32(uchar(b[1])) << 16 |
                            quint32(uchar(b[2])) << 8 | quint32(uchar(b[3])))
                         : 0;
}

double percentil(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(v.size() * p))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int segundos = argc > 1 ? std::atoi(argv[1]) : 60;
    const double hz = argc > 2 ? std::atof(argv[2]) : 10;
    const QString modo = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    const bool flujo = argc > 4 && QByteArray(argv[4]) == "stream";

    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/demo";
    QProcess::execute("bash", {QStringLiteral(ORT_DEMO_SCRIPT), dir});
    std::vector<std::unique_ptr<Puerto>> puertos(kPuertos + 1);
    QString conf = "DELETE FROM PUERTOS; DELETE FROM CANALES; DELETE FROM CONF;";
    QString iau;
    for (int p = 1; p <= kPuertos; ++p) {
        auto& pt = puertos[p] = std::make_unique<Puerto>();
        int esclavo = -1;
        char nombre[256] = {};
        openpty(&pt->maestro, &esclavo, nombre, nullptr, nullptr);
        termios t{};
        tcgetattr(esclavo, &t);
        cfmakeraw(&t);
        tcsetattr(esclavo, TCSANOW, &t);
        ::close(esclavo);
        // A line whose reader falls behind overflows, as a real one does: nothing blocks the
        // other instruments.
        ::fcntl(pt->maestro, F_SETFL, ::fcntl(pt->maestro, F_GETFL) | O_NONBLOCK);
        pt->esclavo = QString::fromLocal8Bit(nombre);
        iau += QString("%1,%2\r\n").arg(p).arg(pt->esclavo);
        const QString produ = QString("P%1").arg(p, 2, 10, QChar('0'));
        pt->archivo = dir + "/datos/F1/TORNO1/" + produ + ".MDB";
        QProcess::execute(
            "bash",
            {"-c",
             QString("sqlite3 '%1' < '%2'").arg(pt->archivo, ORT_SQL_DIR "/datos.sqlite.sql")});
        conf += QString("INSERT INTO PUERTOS VALUES (%1,'CALIB',-1); INSERT INTO CANALES VALUES "
                        "(%1,1,''); INSERT INTO CONF VALUES (%1,1,1,'OP1','E1','TORNO1','%2','F1',"
                        "'TEMP','','','','',0);")
                    .arg(p)
                    .arg(produ);
    }
    QProcess::execute("sqlite3", {dir + "/ORTConf2005.mdb", conf});
    {
        QFile f(dir + "/ORTPuertos.IAU");
        f.open(QIODevice::WriteOnly);
        f.write(iau.toUtf8());
    }

    QProcess ort;
    ort.setStandardOutputFile(QProcess::nullDevice());
    QStringList args{"--headless", "--dir", dir};
    if (!modo.isEmpty())
        args << "--escritura" << modo;
    ort.start(kBin + "/src/ort", args);
    ort.waitForStarted();
    const qint64 pid = ort.processId();
    QThread::sleep(3);
    // Idle: every port open, nothing arriving.
    const double cpuIdle0 = cpuUs(pid);
    QElapsedTimer reposo;
    reposo.start();
    QThread::sleep(10);
    const double cpuIdle = (cpuUs(pid) - cpuIdle0) / (reposo.nsecsElapsed() / 1e3) * 100;
    const long rssIdle = rssKb(pid);

    for (int p = 1; p <= kPuertos; ++p) {
        puertos[p]->cabecera.setFileName(puertos[p]->archivo);
        puertos[p]->cabecera.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        puertos[p]->cambios = cambios(puertos[p]->cabecera);
    }
    std::atomic<bool> fin{false};
    std::atomic<int> enviadas{0};
    const double cpu0 = cpuUs(pid);
    QElapsedTimer carga;
    carga.start();
    // The instruments: each port's frames on its own schedule, staggered across ports.
    std::thread instrumentos([&] {
        const auto inicio = Reloj::now();
        std::vector<double> siguiente(kPuertos + 1);
        for (int p = 1; p <= kPuertos; ++p)
            siguiente[p] = (p - 1) / (hz * kPuertos);
        while (!fin) {
            const double ahora = std::chrono::duration<double>(Reloj::now() - inicio).count();
            if (ahora >= segundos)
                break;
            double proxima = ahora + 0.05;
            for (int p = 1; p <= kPuertos; ++p) {
                // Line rate at 9600 baud: about 960 characters a second.
                const double periodo = flujo ? (p == 1 ? 8.0 / 960 : 1.0) : 1.0 / hz;
                while (siguiente[p] <= ahora) {
                    Puerto& pt = *puertos[p];
                    int valor;
                    {
                        std::lock_guard<std::mutex> l(pt.m);
                        valor = int(pt.enviada.size()) + 1;
                        pt.enviada.push_back(Reloj::now());
                    }
                    const QByteArray trama = QByteArray::number(valor) + ".5\r";
                    const auto n = ::write(pt.maestro, trama.data(), trama.size());
                    {
                        std::lock_guard<std::mutex> l(pt.m);
                        if (n <= 0) {
                            // The line's buffer is full: the frame never reaches ORT.
                            pt.enviada.pop_back();
                            ++pt.rebosadas;
                        } else {
                            pt.enviada.back() = Reloj::now();
                        }
                    }
                    ++enviadas;
                    siguiente[p] += periodo;
                }
                proxima = std::min(proxima, siguiente[p]);
            }
            const double espera =
                proxima - std::chrono::duration<double>(Reloj::now() - inicio).count();
            if (espera > 0)
                std::this_thread::sleep_for(std::chrono::duration<double>(espera));
        }
    });

    // Commits seen on each file's change counter; the new rows then read and timed.
    auto observa = [&] {
        for (int p = 1; p <= kPuertos; ++p) {
            Puerto& pt = *puertos[p];
            const quint32 c = cambios(pt.cabecera);
            if (c == pt.cambios)
                continue;
            const auto visto = Reloj::now();
            pt.cambios = c;
            const QString nombre = QString("lee%1").arg(p);
            {
                QSqlDatabase db = QSqlDatabase::database(nombre, false);
                if (!db.isValid()) {
                    db = QSqlDatabase::addDatabase("QSQLITE", nombre);
                    db.setDatabaseName(pt.archivo);
                    db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
                }
                if (!db.isOpen())
                    db.open();
                QSqlQuery q(db);
                q.prepare("select N, TEMP from Datos where N > ? order by N");
                q.addBindValue(pt.ultimaN);
                if (!q.exec())
                    continue;
                std::lock_guard<std::mutex> l(pt.m);
                while (q.next()) {
                    pt.ultimaN = q.value(0).toInt();
                    const int valor = int(q.value(1).toDouble());
                    if (valor >= 1 && valor <= int(pt.enviada.size())) {
                        pt.esperas.push_back(
                            std::chrono::duration<double, std::milli>(visto - pt.enviada[valor - 1])
                                .count());
                        ++pt.vistas;
                    }
                }
            }
        }
    };
    while (carga.elapsed() < segundos * 1000) {
        observa();
        QThread::usleep(1000);
    }
    fin = true;
    instrumentos.join();
    // What is still on its way.
    QElapsedTimer cola;
    cola.start();
    auto todas = [&] {
        int vistas = 0;
        for (int p = 1; p <= kPuertos; ++p)
            vistas += puertos[p]->vistas;
        return vistas;
    };
    int esperadas = 0;
    for (int p = 1; p <= kPuertos; ++p)
        esperadas += int(puertos[p]->enviada.size());
    while (todas() < esperadas && cola.elapsed() < 30000) {
        observa();
        QThread::usleep(1000);
    }
    const double cpu = cpuUs(pid) - cpu0;
    const double segundosCarga = carga.nsecsElapsed() / 1e9;
    const long rss = rssKb(pid);
    QElapsedTimer alto;
    alto.start();
    ::kill(pid_t(pid), SIGTERM);
    ort.waitForFinished(10000);
    const qint64 msAlto = alto.elapsed();

    std::printf("%d serial ports, %s, %d s, write mode %s\n", kPuertos,
                flujo ? "port 1 at 9600-baud line rate, ports 2..16 at 1 frame/s"
                      : qPrintable(QString("%1 frames/s each").arg(hz)),
                segundos, modo.isEmpty() ? "default" : qPrintable(modo));
    std::printf("idle, 16 open ports: CPU %.2f %% of one core, RSS %ld kB\n", cpuIdle, rssIdle);
    std::vector<double> resto, uno;
    int perdidas = 0, enviadasResto = 0;
    for (int p = 1; p <= kPuertos; ++p) {
        Puerto& pt = *puertos[p];
        perdidas += int(pt.enviada.size()) - pt.vistas;
        if (flujo && p == 1) {
            uno = pt.esperas;
            continue;
        }
        enviadasResto += int(pt.enviada.size());
        resto.insert(resto.end(), pt.esperas.begin(), pt.esperas.end());
    }
    std::printf("frames sent %d, rows seen %d, not seen 30 s after the end: %d\n", esperadas,
                todas(), perdidas);
    std::printf(
        "%s: %zu rows of %d, frame -> committed row p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
        flujo ? "ports 2..16" : "all ports", resto.size(), enviadasResto, percentil(resto, 0.5),
        percentil(resto, 0.99), percentil(resto, 1.0));
    if (flujo)
        std::printf("port 1 (stream): %zu rows of %zu frames the line took (%d more overflowed "
                    "it), within the run and 30 s after; p50 %.0f ms, p99 %.0f ms (its 0.1 s "
                    "rest after each frame bounds it at 10 frames/s)\n",
                    uno.size(), puertos[1]->enviada.size(), puertos[1]->rebosadas,
                    percentil(uno, 0.5), percentil(uno, 0.99));
    std::printf("under load: CPU %.1f %% of one core, %.0f us per reading; RSS %ld kB; "
                "SIGTERM -> exit %lld ms (status %d)\n",
                cpu / (segundosCarga * 1e6) * 100, todas() ? cpu / todas() : 0.0, rss, msAlto,
                ort.exitCode());
    return 0;
}
