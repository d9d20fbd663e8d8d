// The server kind (PostgreSQL): readings per second written into one data table, for each
// write mode, with one writer and with two writers at once. First each writer is ORT's own
// recording lane (HiloGrabacion with a GrabadorDatos and a connection of its own) in this
// process, given a burst of readings as the ports' workers would queue them; then each writer
// is a whole `ort --headless` process with a program directory of its own, all of them on the
// same catalogue and data table, each fed a burst of frames by a TCP instrument played here.
//
//   bench_pg [readings per writer] [mode]   (default 2000, every mode; needs ORT_PG_HOST,
//                                            ORT_PG_PORT, ORT_PG_USER, ORT_PG_PASSWORD:
//                                            scripts/with-postgres.sh)

#include "basedatos/conexion.h"
#include "cpu.h"
#include "recording/grabador.h"
#include "recording/hilograbacion.h"
#include "startup/avisosconsola.h"
#include "startup/reloj.h"

#include <QCoreApplication>
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

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QString kCatalogo = QStringLiteral("ortbench");

bool ejecuta(const QString& base, const QStringList& sentencias) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "admin");
        db.setHostName(qEnvironmentVariable("ORT_PG_HOST"));
        db.setPort(qEnvironmentVariable("ORT_PG_PORT").toInt());
        db.setUserName(qEnvironmentVariable("ORT_PG_USER"));
        db.setPassword(qEnvironmentVariable("ORT_PG_PASSWORD"));
        db.setDatabaseName(base);
        ok = db.open();
        for (const QString& s : sentencias) {
            QSqlQuery q(db);
            if (ok && !q.exec(s)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(s), qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("admin");
    return ok;
}

QString valor(const QString& sql, const QString& base = kCatalogo + "DATA") {
    QString v;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "valor");
        db.setHostName(qEnvironmentVariable("ORT_PG_HOST"));
        db.setPort(qEnvironmentVariable("ORT_PG_PORT").toInt());
        db.setUserName(qEnvironmentVariable("ORT_PG_USER"));
        db.setPassword(qEnvironmentVariable("ORT_PG_PASSWORD"));
        db.setDatabaseName(base);
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            v = q.value(0).toString();
        db.close();
    }
    QSqlDatabase::removeDatabase("valor");
    return v;
}

// Whole ORT processes: each has a program directory of its own (configuration, password) whose
// one port is a TCP instrument served here; all of them write the same data table of the
// catalogue kDos.
const QString kDos = QStringLiteral("ortdos");
const QString kTablaDos = QStringLiteral("\"Datos_F1_TORNO1_EJE20\"");

QProcessEnvironment entornoPsql() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PGHOST", qEnvironmentVariable("ORT_PG_HOST"));
    env.insert("PGPORT", qEnvironmentVariable("ORT_PG_PORT"));
    env.insert("PGUSER", qEnvironmentVariable("ORT_PG_USER"));
    env.insert("PGPASSWORD", qEnvironmentVariable("ORT_PG_PASSWORD"));
    return env;
}

bool corre(const QString& programa, const QStringList& args, const QByteArray& entrada = {}) {
    QProcess p;
    p.setProcessEnvironment(entornoPsql());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(programa, args);
    if (!entrada.isEmpty()) {
        p.write(entrada);
        p.closeWriteChannel();
    }
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The catalogue, its data table and a program directory per ORT, each with its instrument
// (REDT1, REDT2, … on the given TCP ports).
bool preparaPuestos(const QString& base, const QList<quint16>& puertos, QStringList& dirs) {
    ejecuta("postgres", {QString("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(kDos),
                         QString("DROP DATABASE IF EXISTS \"%1DATA\" WITH (FORCE)").arg(kDos)});
    if (!corre("bash", {ORT_CREA_SERVIDOR, kDos, "--maestras", "--planta-demo", "--tabla", "F1",
                        "TORNO1", "EJE20", "DIAM"}))
        return false;
    for (int k = 0; k < puertos.size(); ++k) {
        const QString clave = QString("REDT%1").arg(k + 1);
        if (!ejecuta(kDos, {QString("INSERT INTO ins VALUES ('%1','Calibre en red','TCP/IP',"
                                    "'127.0.0.1','%2','','','','','','','1','13','0')")
                                .arg(clave)
                                .arg(puertos[k])}))
            return false;
        const QString dir = base + QString("/puesto%1").arg(k + 1);
        if (!corre("bash", {ORT_DEMO_SCRIPT, dir}) ||
            !corre("sqlite3", {dir + "/ORTConf2005.mdb",
                               QString("DELETE FROM PUERTOS; DELETE FROM CONF; INSERT INTO PUERTOS "
                                       "VALUES (1,'%1',-1); INSERT INTO CONF VALUES (1,1,1,'OP1',"
                                       "'E1','TORNO1','EJE20','F1','DIAM','','','','',0)")
                                   .arg(clave)}))
            return false;
        QFile direc(dir + "/MVDirec.iau");
        if (!direc.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        direc.write(QString("\"[SQLSERVER]\",\"%1:%2\",\"%3\",\"%4\"\r\n")
                        .arg(qEnvironmentVariable("ORT_PG_HOST"),
                             qEnvironmentVariable("ORT_PG_PORT"), kDos,
                             qEnvironmentVariable("ORT_PG_USER"))
                        .toUtf8());
        direc.close();
        if (!corre(QStringLiteral(ORT_BIN_DIR "/src/ort"), {"--escribe-clave", "--dir", dir},
                   qEnvironmentVariable("ORT_PG_PASSWORD").toUtf8() + '\n'))
            return false;
        dirs << dir;
    }
    return true;
}

struct MedidaProcesos {
    double lecturasPorSegundo = 0;
    QString filas, bien;
    double cpuPorLectura = 0; // µs of the ORT processes' CPU per reading
};

// `escritores` ORT processes in write mode `modo`, each sent `lecturas` frames at once by its
// instrument: readings per second until every row is in the table.
MedidaProcesos procesos(const QString& modo, int escritores, int lecturas, const QStringList& dirs,
                        std::vector<std::unique_ptr<QTcpServer>>& servidores) {
    MedidaProcesos m;
    ejecuta(kDos + "DATA", {"DELETE FROM " + kTablaDos});
    std::vector<std::unique_ptr<QProcess>> orts;
    std::vector<QTcpSocket*> instrumentos;
    for (int k = 0; k < escritores; ++k) {
        auto ort = std::make_unique<QProcess>();
        ort->setStandardOutputFile(QProcess::nullDevice());
        ort->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ort->start(QStringLiteral(ORT_BIN_DIR "/src/ort"),
                   {"--headless", "--dir", dirs[k], "--escritura", modo, "--http", "no"});
        orts.push_back(std::move(ort));
    }
    for (int k = 0; k < escritores; ++k) {
        if (!servidores[k]->waitForNewConnection(20000)) {
            std::fprintf(stderr, "ORT %d did not connect\n", k + 1);
            return m;
        }
        instrumentos.push_back(servidores[k]->nextPendingConnection());
    }
    // Each ORT has read its configuration and opened its port; its first write opens the data
    // table's connection, as in the plant, within the measure.
    QThread::msleep(1000);
    QByteArray rafaga;
    for (int i = 0; i < lecturas; ++i)
        rafaga += "20.000\r";
    double cpu0 = 0;
    for (auto& o : orts)
        cpu0 += cpuUs(o->processId());
    QElapsedTimer t;
    t.start();
    for (QTcpSocket* s : instrumentos)
        s->write(rafaga);
    // Without an event loop, a socket sends what it holds only while it is waited on.
    for (bool queda = true; queda;) {
        queda = false;
        for (QTcpSocket* s : instrumentos)
            if (s->bytesToWrite() > 0 && s->waitForBytesWritten(100))
                queda = true;
    }
    const int total = escritores * lecturas;
    while (valor("select count(*) from " + kTablaDos, kDos + "DATA").toInt() < total &&
           t.elapsed() < 600000)
        QThread::msleep(20);
    m.lecturasPorSegundo = total / (t.nsecsElapsed() / 1e9);
    double cpu1 = 0;
    for (auto& o : orts)
        cpu1 += cpuUs(o->processId());
    m.cpuPorLectura = (cpu1 - cpu0) / total;
    for (auto& o : orts) {
        ::kill(pid_t(o->processId()), SIGTERM);
        o->waitForFinished(10000);
    }
    for (QTcpSocket* s : instrumentos)
        s->deleteLater();
    m.filas = valor("select count(*) from " + kTablaDos, kDos + "DATA");
    m.bien = valor("select count(*) = max(n) and count(distinct n) = count(*) from " + kTablaDos,
                   kDos + "DATA");
    return m;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int lecturas = argc > 1 ? std::atoi(argv[1]) : 2000;
    const QString soloModo = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (qEnvironmentVariable("ORT_PG_HOST").isEmpty()) {
        std::fprintf(stderr, "no server: run through scripts/with-postgres.sh\n");
        return 1;
    }
    QFile esquema(ORT_SQL_DIR "/datos.pg.sql");
    esquema.open(QIODevice::ReadOnly);
    const QString datos = QString::fromUtf8(esquema.readAll());
    if (!ejecuta("postgres",
                 {QString("DROP DATABASE IF EXISTS \"%1DATA\" WITH (FORCE)").arg(kCatalogo),
                  QString("CREATE DATABASE \"%1DATA\"").arg(kCatalogo)}) ||
        !ejecuta(kCatalogo + "DATA", {datos}))
        return 1;

    ort::Ajustes a;
    a.TipoBD = ort::kSqlServer;
    a.ServidorBD = qEnvironmentVariable("ORT_PG_HOST") + ':' + qEnvironmentVariable("ORT_PG_PORT");
    a.UsuarioBD = qEnvironmentVariable("ORT_PG_USER");
    a.ClaveBD = qEnvironmentVariable("ORT_PG_PASSWORD");
    a.CatalogoBD = kCatalogo;
    ort::AvisosConsola avisos;
    ort::RelojSistema reloj;
    ort::Entorno e{a, avisos, reloj};

    using ModoEscritura = ort::GrabadorDatos::ModoEscritura;
    const std::pair<const char*, ModoEscritura> modos[] = {
        {"valor", ModoEscritura::PorValor},
        {"conexion", ModoEscritura::Mantenida},
        {"pasada (default)", ModoEscritura::PorPasada}};
    std::printf("PostgreSQL on %s, %d readings per writer into one data table\n",
                qPrintable(a.ServidorBD), lecturas);
    std::printf("%-18s %8s %14s %14s %10s\n", "mode", "writers", "readings/s", "rows", "N right");
    for (const auto& [nombre, apertura] : modos) {
        if (!soloModo.isEmpty() && !QString(nombre).startsWith(soloModo))
            continue;
        for (int escritores : {1, 2}) {
            ejecuta(kCatalogo + "DATA", {"DELETE FROM \"Datos_F1_M1_P1\""});
            std::atomic<int> respondidas{0};
            std::vector<std::unique_ptr<ort::HiloGrabacion>> hilos;
            for (int i = 0; i < escritores; ++i) {
                const ModoEscritura ap = apertura;
                hilos.push_back(std::make_unique<ort::HiloGrabacion>(
                    [&e, ap] { return std::make_unique<ort::GrabadorDatos>(e, ap); },
                    [&](const ort::RespuestaGrabacion&) { ++respondidas; }));
                hilos.back()->inicia();
            }
            QElapsedTimer t;
            t.start();
            std::vector<std::thread> puertos;
            for (int i = 0; i < escritores; ++i)
                puertos.emplace_back([&, i] {
                    for (int k = 0; k < lecturas; ++k) {
                        ort::PedidoGrabacion p;
                        p.puerto = i + 1;
                        p.canal = 1;
                        p.secuencia = 1;
                        p.momento = QDateTime::currentDateTime();
                        p.Forma = "F1";
                        p.Maqui = "M1";
                        p.Produ = "P1";
                        p.Opera = "OP1";
                        p.valores << ort::ValorPedido{"DIAM", QString::number(k), 0};
                        hilos[i]->encola(p);
                    }
                });
            for (auto& p : puertos)
                p.join();
            while (respondidas < escritores * lecturas)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const double segundos = t.nsecsElapsed() / 1e9;
            hilos.clear();
            const QString filas = valor("select count(*) from \"Datos_F1_M1_P1\"");
            const QString bien =
                valor("select count(*) = max(n) and count(distinct n) = count(*) from "
                      "\"Datos_F1_M1_P1\"");
            std::printf("%-18s %8d %14.0f %14s %10s\n", nombre, escritores,
                        escritores * lecturas / segundos, qPrintable(filas),
                        bien == "true" ? "yes" : "NO");
        }
    }

    // The same with whole ORT processes, each with its own program directory and instrument.
    QTemporaryDir tmp;
    std::vector<std::unique_ptr<QTcpServer>> servidores;
    QList<quint16> puertos;
    for (int k = 0; k < 2; ++k) {
        servidores.push_back(std::make_unique<QTcpServer>());
        servidores.back()->listen(QHostAddress::LocalHost);
        puertos << servidores.back()->serverPort();
    }
    QStringList dirs;
    if (!preparaPuestos(tmp.path(), puertos, dirs)) {
        std::fprintf(stderr, "the program directories could not be prepared\n");
        return 1;
    }
    std::printf("\nwhole ORT processes (ort --headless), a TCP instrument each sending %d frames "
                "at once, one data table\n",
                lecturas);
    std::printf("%-18s %8s %14s %14s %10s %14s\n", "mode", "ORTs", "readings/s", "rows", "N right",
                "CPU us/reading");
    const char* nombres[] = {"valor", "conexion", "pasada"};
    for (const char* modo : nombres) {
        if (!soloModo.isEmpty() && !QString(modo).startsWith(soloModo))
            continue;
        for (int escritores : {1, 2}) {
            const MedidaProcesos m = procesos(modo, escritores, lecturas, dirs, servidores);
            std::printf("%-18s %8d %14.0f %14s %10s %14.0f\n",
                        qPrintable(QString(modo) + (QString(modo) == "pasada" ? " (default)" : "")),
                        escritores, m.lecturasPorSegundo, qPrintable(m.filas),
                        m.bien == "true" ? "yes" : "NO", m.cpuPorLectura);
            std::fflush(stdout);
        }
    }
    return 0;
}
