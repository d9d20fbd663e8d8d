// Held readings: what an append to the journal costs (synced), how fast a backlog is written
// back into a data table, against writing the same readings straight away in batches of the same
// size, and what the idle journal costs a reading while the database is healthy.
//
//   bench_diario [readings]        (100000 by default; PostgreSQL too when ORT_PG_PORT is set)

#include "recording/diario.h"
#include "recording/reenvio.h"
#include "startup/reloj.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

using namespace ort;

namespace {

QStringList sentencias(const QString& archivo, const QString& de = {}, const QString& a = {}) {
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lineas;
    for (const QString& l : QString::fromUtf8(f.readAll()).split(u'\n'))
        lineas << l.section(QStringLiteral("--"), 0, 0);
    QStringList r;
    for (const QString& s : lineas.join(u'\n').split(u';'))
        if (!s.trimmed().isEmpty())
            r << QString(s).replace(de, a);
    return r;
}

bool ejecuta(QSqlDatabase db, const QStringList& sentencias) {
    bool ok = db.open();
    QSqlQuery q(db);
    for (const QString& s : sentencias)
        if (ok && !q.exec(s)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(s), qPrintable(q.lastError().text()));
            ok = false;
        }
    db.close();
    return ok;
}

bool creaSqlite(const QString& archivo) {
    QDir().mkpath(QFileInfo(archivo).absolutePath());
    QFile::remove(archivo);
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "crea");
        db.setDatabaseName(archivo);
        ok = ejecuta(db, sentencias(QStringLiteral(ORT_SQL_DIR "/datos.sqlite.sql")));
    }
    QSqlDatabase::removeDatabase("crea");
    return ok;
}

QSqlDatabase servidorPg(const QString& nombre, const QString& base) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nombre);
    db.setHostName(qEnvironmentVariable("ORT_PG_HOST", QStringLiteral("127.0.0.1")));
    db.setPort(qEnvironmentVariableIntValue("ORT_PG_PORT"));
    db.setUserName(qEnvironmentVariable("ORT_PG_USER"));
    db.setPassword(qEnvironmentVariable("ORT_PG_PASSWORD"));
    db.setDatabaseName(base);
    return db;
}

bool creaPg() {
    bool ok;
    {
        ok = ejecuta(servidorPg("admin", "postgres"),
                     {"DROP DATABASE IF EXISTS \"bancoDATA\" WITH (FORCE)",
                      "CREATE DATABASE \"bancoDATA\""});
        const QStringList esquema = sentencias(QStringLiteral(ORT_SQL_DIR "/datos.pg.sql"));
        ok = ok && ejecuta(servidorPg("datos", "bancoDATA"),
                           esquema + QStringList(esquema.join(u';').replace("P1\"", "P2\"")));
    }
    QSqlDatabase::removeDatabase("admin");
    QSqlDatabase::removeDatabase("datos");
    return ok;
}

// Readings a second apart, two characteristics sharing each row.
QList<Retenida> lecturas(const Ajustes& a, const QString& produ, int n) {
    const QDateTime inicio(QDate(2026, 12, 4), QTime(6, 0, 0));
    QList<Retenida> rs;
    rs.reserve(n);
    for (int i = 0; i < n; ++i) {
        Retenida r;
        r.Forma = "F1";
        r.Maqui = "M1";
        r.Produ = produ;
        r.destino = claveDestino(a, r.Forma, r.Maqui, r.Produ);
        r.Carac = i % 2 ? "LARGO" : "DIAM";
        r.Valor = QString::number(10 + i % 100) + ".5";
        r.momento = inicio.addSecs(i);
        r.Opera = "OP";
        r.DTMP = 60;
        r.puerto = 1 + i % 16;
        rs << r;
    }
    return rs;
}

void mide(const char* motor, Ajustes& a, int n, RelojSistema& reloj, const QString& dir) {
    // Baseline: the same readings written at once, in batches of the replay's size.
    EscritorDatos directo(a, reloj);
    const QList<Retenida> base = lecturas(a, "P1", n);
    QElapsedTimer t;
    t.start();
    int fallos = 0;
    for (int i = 0; i < n; ++i) {
        fallos += directo.escribe(base[i]).falla != TipoFalla::Ninguna;
        if (i % 200 == 199 || i == n - 1)
            fallos += directo.cierraLote().falla != TipoFalla::Ninguna;
    }
    const double sDirecto = t.nsecsElapsed() / 1e9;

    Diario diario(dir + "/" + motor + kArchivoDiario);
    if (const auto abierto = diario.abre(); !abierto) {
        std::fprintf(stderr, "%s\n", qPrintable(abierto.falla().descripcion));
        return;
    }
    QList<Retenida> rs = lecturas(a, "P2", n);
    t.restart();
    for (int i = 0; i < n; i += 1000) {
        QList<Retenida> parte = rs.mid(i, 1000);
        diario.agrega(parte);
    }
    const double sCarga = t.nsecsElapsed() / 1e9;

    EscritorDatos escritor(a, reloj);
    Reenvio reenvio(diario, escritor, reloj);
    t.restart();
    int pasadas = 0;
    while (reenvio.pasa() >= 0 && pasadas < 1'000'000)
        ++pasadas;
    const double sReenvio = t.nsecsElapsed() / 1e9;
    std::printf("%-8s backlog of %d held readings (appended in batches of 1000: %.1f s)\n", motor,
                n, sCarga);
    std::printf("%-8s replay: %.1f s, %.0f readings/s, %lld left, %lld moved aside\n", motor,
                sReenvio, n / sReenvio, static_cast<long long>(diario.total()),
                static_cast<long long>(diario.apartadas()));
    std::printf("%-8s written at once in batches of 200: %.1f s, %.0f readings/s (%d failures); "
                "replay/at once %.2f\n",
                motor, sDirecto, n / sDirecto, fallos, sDirecto / sReenvio);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 100'000;
    QTemporaryDir tmp;
    RelojSistema reloj;

    // One synced append: what holding a reading costs while the database is down.
    {
        Diario d(tmp.path() + "/uno-" + kArchivoDiario);
        if (const auto abierto = d.abre(); !abierto)
            return std::fprintf(stderr, "%s\n", qPrintable(abierto.falla().descripcion)), 1;
        Ajustes a;
        QList<Retenida> rs = lecturas(a, "P1", 500);
        QElapsedTimer t;
        t.start();
        for (Retenida& r : rs)
            d.agrega(r);
        std::printf("synced append of one reading: %.2f ms\n", t.nsecsElapsed() / 1e6 / 500);
        // While the database is healthy a reading only asks whether its table has held ones.
        t.restart();
        qint64 detras = 0;
        for (int i = 0; i < 1'000'000; ++i)
            detras += d.tieneRetenidas(i % 2 ? rs[0].destino : QStringLiteral("otra"));
        std::printf("idle journal, cost per reading: %.0f ns (%lld)\n", t.nsecsElapsed() / 1e6,
                    static_cast<long long>(detras));
    }

    Ajustes a;
    a.TipoBD = kJet4;
    a.DirDatos = tmp.path() + "/datos/";
    if (!creaSqlite(a.DirDatos + "F1/M1/P1.MDB") || !creaSqlite(a.DirDatos + "F1/M1/P2.MDB"))
        return 1;
    mide("sqlite", a, n, reloj, tmp.path());

    if (qEnvironmentVariableIsSet("ORT_PG_PORT")) {
        if (!creaPg())
            return 1;
        Ajustes p;
        p.TipoBD = kSqlServer;
        p.ServidorBD = qEnvironmentVariable("ORT_PG_HOST", "127.0.0.1") + ":" +
                       qEnvironmentVariable("ORT_PG_PORT");
        p.UsuarioBD = qEnvironmentVariable("ORT_PG_USER");
        p.ClaveBD = qEnvironmentVariable("ORT_PG_PASSWORD");
        p.CatalogoBD = "banco";
        mide("postgres", p, n, reloj, tmp.path());
    }
    return 0;
}
