// End to end over TCP: frames per second from an instrument to committed rows, and the latency
// from a frame's last byte to its row being visible to another connection; for ORT writing value
// by value (the product's way), ORT with group commit, and a minimal baseline pipeline (a plain
// reader that inserts each line with one transaction per line, its connection kept open). Then
// the cost of a value written into a data table without an index on N.
//
//   bench_e2e [burst frames] [latency samples]     (defaults: 2000, 200)

#include "basedatos/conexion.h"
#include "cpu.h"
#include "recording/grabador.h"
#include "startup/avisosconsola.h"
#include "startup/reloj.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const QString kBin = QStringLiteral(ORT_BIN_DIR);

// The baseline: reads lines from the instrument and inserts each one, one transaction a line.
int lectorBase(quint16 puerto, const QString& archivo) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
    db.setDatabaseName(archivo);
    if (!db.open())
        return 1;
    QSqlQuery q(db);
    q.prepare("INSERT INTO Datos (N, Fecha, Turno, Operador, DIAM) VALUES (?, ?, ' ', 'OP1', ?)");
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, puerto);
    if (!s.waitForConnected(5000))
        return 1;
    QByteArray pendiente;
    int n = 0;
    while (s.state() == QAbstractSocket::ConnectedState || s.bytesAvailable() > 0) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(1000))
            continue;
        pendiente += s.readAll();
        int fin;
        while ((fin = pendiente.indexOf('\r')) >= 0) {
            const QByteArray linea = pendiente.left(fin);
            pendiente.remove(0, fin + 1);
            q.addBindValue(++n);
            q.addBindValue(QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss"));
            q.addBindValue(linea.toDouble());
            if (!q.exec())
                std::fprintf(stderr, "baseline: %s\n", qPrintable(q.lastError().text()));
        }
    }
    return 0;
}

class Contador {
public:
    explicit Contador(const QString& archivo) {
        db_ = QSqlDatabase::addDatabase("QSQLITE", "contador");
        db_.setDatabaseName(archivo);
        db_.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
        db_.open();
    }
    ~Contador() {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase("contador");
    }
    int filas() {
        QSqlQuery q(db_);
        return q.exec("select count(*) from Datos") && q.next() ? q.value(0).toInt() : -1;
    }
    // The file's change counter, read from its header without taking any lock: it moves at every
    // commit, so a reader polling it does not slow the writer down as SQL polling would.
    quint32 cambios() {
        if (!archivo_.isOpen()) {
            archivo_.setFileName(db_.databaseName());
            archivo_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        }
        archivo_.seek(24);
        const QByteArray b = archivo_.read(4);
        return b.size() == 4 ? (quint32(uchar(b[0])) << 24 | quint32(uchar(b[1])) << 16 |
                                quint32(uchar(b[2])) << 8 | quint32(uchar(b[3])))
                             : 0;
    }

private:
    QSqlDatabase db_;
    QFile archivo_;
};

struct Medida {
    double tramasPorSegundo = 0;
    double mediana = 0, p99 = 0; // ms
    double cpuPorTrama = 0;      // µs of the receiving process's CPU per frame of the burst
};

// Plays the instrument: a burst of frames, then frames one at a time, each timed to its row.
Medida mide(QTcpServer& servidor, const QString& archivo, int rafaga, int muestras, qint64 pid) {
    Medida m;
    if (!servidor.waitForNewConnection(20000)) {
        std::fprintf(stderr, "nobody connected\n");
        return m;
    }
    QTcpSocket* s = servidor.nextPendingConnection();
    Contador contador(archivo);
    const int inicio = std::max(contador.filas(), 0);
    QByteArray rafagaBytes;
    for (int i = 0; i < rafaga; ++i)
        rafagaBytes += "20.000\r";
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuUs(pid);
    s->write(rafagaBytes);
    // Without an event loop, the socket sends what it holds only while it is waited on.
    while (s->bytesToWrite() > 0 && s->waitForBytesWritten(10000)) {
    }
    while (contador.filas() < inicio + rafaga && t.elapsed() < 120000)
        QThread::msleep(50);
    m.tramasPorSegundo = rafaga / (t.nsecsElapsed() / 1e9);
    m.cpuPorTrama = (cpuUs(pid) - cpu0) / rafaga;
    std::vector<double> esperas;
    for (int i = 0; i < muestras; ++i) {
        const quint32 antes = contador.cambios();
        s->write("20.000\r");
        s->waitForBytesWritten(1000);
        QElapsedTimer l;
        l.start();
        while (contador.cambios() == antes && l.elapsed() < 10000)
            QThread::usleep(100);
        esperas.push_back(l.nsecsElapsed() / 1e6);
    }
    std::sort(esperas.begin(), esperas.end());
    if (!esperas.empty()) {
        m.mediana = esperas[esperas.size() / 2];
        m.p99 = esperas[std::min(esperas.size() - 1, size_t(esperas.size() * 0.99))];
    }
    s->disconnectFromHost();
    return m;
}

QString demoTcp(const QString& base, quint16 puerto) {
    const QString dir = base + QString("/demo%1").arg(puerto);
    QProcess::execute("bash", {QStringLiteral(ORT_DEMO_SCRIPT), dir});
    QProcess::execute("sqlite3",
                      {dir + "/bd/MTVX2005.MDB",
                       QString("INSERT INTO INS VALUES ('REDTC','Calibre en red','TCP/IP',"
                               "'127.0.0.1','%1','','','','','','','1','13','0')")
                           .arg(puerto)});
    QProcess::execute("sqlite3",
                      {dir + "/ORTConf2005.mdb",
                       "DELETE FROM PUERTOS; DELETE FROM CONF; INSERT INTO PUERTOS "
                       "VALUES (1,'REDTC',-1); INSERT INTO CONF VALUES (1,1,1,'OP1','E1',"
                       "'TORNO1','EJE20','F1','DIAM','','','','',0)"});
    return dir;
}

Medida mideOrt(const QString& base, const QString& escritura, int rafaga, int muestras,
               const QStringList& mas = {}) {
    QTcpServer servidor;
    servidor.listen(QHostAddress::LocalHost);
    const QString dir = demoTcp(base, servidor.serverPort());
    QProcess ort;
    ort.setStandardOutputFile(QProcess::nullDevice());
    ort.start(kBin + "/src/ort",
              QStringList{"--headless", "--dir", dir, "--escritura", escritura} + mas);
    const Medida m =
        mide(servidor, dir + "/datos/F1/TORNO1/EJE20.MDB", rafaga, muestras, ort.processId());
    ::kill(pid_t(ort.processId()), SIGTERM);
    ort.waitForFinished(10000);
    return m;
}

Medida mideBase(const QString& base, int rafaga, int muestras) {
    QTcpServer servidor;
    servidor.listen(QHostAddress::LocalHost);
    const QString archivo = base + "/base.db";
    QProcess::execute("bash",
                      {"-c", QString("sqlite3 '%1' < '%2'")
                                 .arg(archivo, QStringLiteral(ORT_SQL_DIR "/datos.sqlite.sql"))});
    QProcess lector;
    lector.start(QCoreApplication::applicationFilePath(),
                 {"--lector-base", QString::number(servidor.serverPort()), archivo});
    const Medida m = mide(servidor, archivo, rafaga, muestras, lector.processId());
    lector.waitForFinished(10000);
    return m;
}

// Per-value cost of GrabaMTVX into a table of `filas` rows, with or without the key on N.
double costePorValor(const QString& base, int filas, bool indice) {
    const QString dir = base + (indice ? "/con" : "/sin");
    QDir().mkpath(dir + "/F1/M1");
    const QString archivo = dir + "/F1/M1/P1.MDB";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "llena");
        db.setDatabaseName(archivo);
        db.open();
        QSqlQuery q(db);
        q.exec(QString("CREATE TABLE Datos (N INTEGER%1, Fecha TEXT, Turno VARCHAR(10), Operador "
                       "VARCHAR(8), DIAM DOUBLE)")
                   .arg(indice ? " PRIMARY KEY" : ""));
        q.exec(QString("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM n WHERE x<%1) "
                       "INSERT INTO Datos SELECT x, '2026-01-01 00:00:00', 'M', 'OP1', 1 FROM n")
                   .arg(filas));
        db.close();
    }
    QSqlDatabase::removeDatabase("llena");
    ort::Ajustes a;
    a.TipoBD = ort::kJet4;
    a.DirDatos = dir + '/';
    ort::AvisosConsola avisos;
    ort::RelojSistema reloj;
    ort::Entorno e{a, avisos, reloj};
    ort::GrabadorDatos g(e);
    const int valores = 100;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < valores; ++i)
        g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP1", "20", 0);
    return t.nsecsElapsed() / 1e6 / valores;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--lector-base")
        return lectorBase(quint16(QByteArray(argv[2]).toUInt()), QString::fromLocal8Bit(argv[3]));
    const int rafaga = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int muestras = argc > 2 ? std::atoi(argv[2]) : 200;
    QTemporaryDir tmp;
    // "pasada" as third argument: only group commit, for its CPU per frame (quick to repeat).
    if (argc > 3 && QByteArray(argv[3]) == "pasada") {
        for (const QStringList& mas : {QStringList{}, QStringList{"--diario", "0"}}) {
            const Medida m = mideOrt(tmp.path(), "pasada", rafaga, muestras, mas);
            std::printf("group commit%-14s %10.0f frames/s, median %.2f ms, p99 %.2f ms, "
                        "%.1f us CPU/frame\n",
                        mas.isEmpty() ? "" : " --diario 0", m.tramasPorSegundo, m.mediana, m.p99,
                        m.cpuPorTrama);
        }
        return 0;
    }
    const Medida base = mideBase(tmp.path(), rafaga, muestras);
    const Medida valor = mideOrt(tmp.path(), "valor", rafaga, muestras);
    const Medida conexion = mideOrt(tmp.path(), "conexion", rafaga, muestras);
    const Medida pasada = mideOrt(tmp.path(), "pasada", rafaga, muestras);
    // The same without the journal of held readings: what the idle journal costs.
    const Medida valorSin = mideOrt(tmp.path(), "valor", rafaga, muestras, {"--diario", "0"});
    const Medida pasadaSin = mideOrt(tmp.path(), "pasada", rafaga, muestras, {"--diario", "0"});
    std::printf("end to end over TCP, burst of %d frames, %d timed frames\n", rafaga, muestras);
    std::printf("%-44s %10s %10s %8s %11s %12s\n", "pipeline", "frames/s", "median ms", "p99 ms",
                "vs baseline", "CPU us/frame");
    auto fila = [&](const char* nombre, const Medida& m) {
        std::printf("%-44s %10.0f %10.2f %8.2f %11.2f %12.1f\n", nombre, m.tramasPorSegundo,
                    m.mediana, m.p99, m.tramasPorSegundo / base.tramasPorSegundo, m.cpuPorTrama);
    };
    fila("baseline: one transaction per line", base);
    fila("ORT, value by value (--escritura valor)", valor);
    fila("ORT, connection kept (--escritura conexion)", conexion);
    fila("ORT, group commit (--escritura pasada)", pasada);
    fila("ORT, value by value, no journal (--diario 0)", valorSin);
    fila("ORT, group commit, no journal (--diario 0)", pasadaSin);
    std::printf("idle journal: value by value x%.3f, group commit x%.3f of the rate without it\n",
                valor.tramasPorSegundo / valorSin.tramasPorSegundo,
                pasada.tramasPorSegundo / pasadaSin.tramasPorSegundo);
    const double con = costePorValor(tmp.path(), 100000, true);
    const double sin = costePorValor(tmp.path(), 100000, false);
    std::printf("per-value write into a table of 100000 rows: %.2f ms with the key on N, %.2f ms "
                "without an index on N (x%.1f)\n",
                con, sin, sin / con);
    return 0;
}
