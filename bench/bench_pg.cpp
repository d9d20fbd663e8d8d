// The server kind (PostgreSQL): readings per second that recording writes into one data table,
// for each write mode, with one writer and with two writers at once (two ORTs on one server).
// Each writer is ORT's own recording lane (HiloGrabacion with a GrabadorDatos and a connection
// of its own), given a burst of readings as the ports' workers would queue them.
//
//   bench_pg [readings per writer] [mode]   (default 2000, every mode; needs ORT_PG_HOST,
//   ORT_PG_PORT,
//                                        ORT_PG_USER, ORT_PG_PASSWORD: scripts/with-postgres.sh)

#include "recording/grabador.h"
#include "recording/hilograbacion.h"
#include "startup/avisosconsola.h"
#include "startup/conexion.h"
#include "startup/reloj.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QString kCatalogo = QStringLiteral("ortbench");

bool Ejecuta(const QString& base, const QStringList& sentencias) {
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

QString Valor(const QString& sql) {
    QString v;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "valor");
        db.setHostName(qEnvironmentVariable("ORT_PG_HOST"));
        db.setPort(qEnvironmentVariable("ORT_PG_PORT").toInt());
        db.setUserName(qEnvironmentVariable("ORT_PG_USER"));
        db.setPassword(qEnvironmentVariable("ORT_PG_PASSWORD"));
        db.setDatabaseName(kCatalogo + "DATA");
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            v = q.value(0).toString();
        db.close();
    }
    QSqlDatabase::removeDatabase("valor");
    return v;
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
    if (!Ejecuta("postgres",
                 {QString("DROP DATABASE IF EXISTS \"%1DATA\" WITH (FORCE)").arg(kCatalogo),
                  QString("CREATE DATABASE \"%1DATA\"").arg(kCatalogo)}) ||
        !Ejecuta(kCatalogo + "DATA", {datos}))
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

    using Apertura = ort::GrabadorDatos::Apertura;
    const std::pair<const char*, Apertura> modos[] = {{"valor", Apertura::PorValor},
                                                      {"conexion", Apertura::Mantenida},
                                                      {"pasada (default)", Apertura::PorPasada}};
    std::printf("PostgreSQL on %s, %d readings per writer into one data table\n",
                qPrintable(a.ServidorBD), lecturas);
    std::printf("%-18s %8s %14s %14s %10s\n", "mode", "writers", "readings/s", "rows", "N right");
    for (const auto& [nombre, apertura] : modos) {
        if (!soloModo.isEmpty() && !QString(nombre).startsWith(soloModo))
            continue;
        for (int escritores : {1, 2}) {
            Ejecuta(kCatalogo + "DATA", {"DELETE FROM \"Datos_F1_M1_P1\""});
            std::atomic<int> respondidas{0};
            std::vector<std::unique_ptr<ort::HiloGrabacion>> hilos;
            for (int i = 0; i < escritores; ++i) {
                const Apertura ap = apertura;
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
            const QString filas = Valor("select count(*) from \"Datos_F1_M1_P1\"");
            const QString bien =
                Valor("select count(*) = max(n) and count(distinct n) = count(*) from "
                      "\"Datos_F1_M1_P1\"");
            std::printf("%-18s %8d %14.0f %14s %10s\n", nombre, escritores,
                        escritores * lecturas / segundos, qPrintable(filas),
                        bien == "true" ? "yes" : "NO");
        }
    }
    return 0;
}
