// Cost of writing one value into a data table, by the size of the table and by the way the
// connection is opened. The newest row is found through the key on N, so a table of a million
// rows must cost about what a table of a thousand does: the program fails when the ratio of the
// per-value costs reaches 1.5.
//
//   bench_grabador [values per batch] [rounds]

#include "recording/grabador.h"
#include "startup/avisos.h"
#include "startup/reloj.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ort;

namespace {

class AvisosConsola : public Avisos {
public:
    void mensaje(const QString& texto, Icono) override {
        ++mensajes;
        std::fprintf(stderr, "%s\n", qPrintable(texto));
    }
    bool pregunta(const QString&) override { return false; }
    QString entrada(const QString&) override { return {}; }
    int mensajes = 0;
};

// One second passes between values, so that rows fill as they do on the shop floor.
class RelojBanco : public Reloj {
public:
    QDateTime ahora() const override { return inicio_.addSecs(segundos_); }
    qint64 monotonoMs() const override { return segundos_ * 1000; }
    void duerme(qint64 ms) override { segundos_ += ms / 1000; }
    void avanza() { ++segundos_; }

private:
    QDateTime inicio_{QDate(2026, 12, 4), QTime(9, 5, 7)};
    qint64 segundos_ = 0;
};

bool ejecuta(const QString& archivo, const QStringList& sentencias) {
    const QString nombre = QStringLiteral("bench-crea");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(archivo);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString& s : sentencias)
            if (ok && !q.exec(s)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(s), qPrintable(q.lastError().text()));
                ok = false;
            }
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return ok;
}

// A data table of the shipped schema with `filas` rows, filled in one statement.
bool creaTabla(const QString& archivo, int filas) {
    QFile f(QStringLiteral(ORT_SQL_DIR "/datos.sqlite.sql"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QStringList lineas;
    for (const QString& l : QString::fromUtf8(f.readAll()).split(u'\n'))
        lineas << l.section(QStringLiteral("--"), 0, 0);
    QStringList sentencias;
    for (const QString& s : lineas.join(u'\n').split(u';'))
        if (!s.trimmed().isEmpty())
            sentencias << s;
    sentencias
        << QStringLiteral(
               "insert into Datos (N, Fecha, Turno, Operador, DIAM, LARGO, LOTE, TEMP) "
               "with recursive c(x) as (select 1 union all select x + 1 from c where x < %1) "
               "select x, datetime('2026-01-01', '+' || x || ' seconds'), 'M', 'OP', "
               "x * 0.001, x * 0.002, 'L' || (x % 97), 20 + x % 7 from c")
               .arg(filas);
    QDir().mkpath(QFileInfo(archivo).absolutePath());
    QFile::remove(archivo);
    return ejecuta(archivo, sentencias);
}

double mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Medida {
    std::vector<double> chica, grande; // ms per value of each batch
};

// Batches alternate between the two tables, so that the machine's load weighs on both alike.
Medida mide(Entorno& e, RelojBanco& reloj, GrabadorDatos::ModoEscritura apertura, int porLote,
            int rondas, int& fallos) {
    static const QString caracs[] = {QStringLiteral("DIAM"), QStringLiteral("LARGO"),
                                     QStringLiteral("LOTE"), QStringLiteral("TEMP")};
    Medida m;
    GrabadorDatos g(e, apertura);
    int k = 0;
    auto lote = [&](const QString& produ) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < porLote; ++i, ++k) {
            reloj.avanza();
            if (g.GrabaMTVX("F1", "M1", produ, caracs[k % 4], "", "", "OP",
                            QString::number(10 + k % 100) + QStringLiteral(".5"),
                            60) != ResultadoGrabacion::Grabado)
                ++fallos;
        }
        return t.nsecsElapsed() / 1e6 / porLote;
    };
    // Warm-up: the first opening of each file.
    lote(QStringLiteral("P1"));
    lote(QStringLiteral("P2"));
    for (int r = 0; r < rondas; ++r) {
        m.chica.push_back(lote(QStringLiteral("P1")));
        m.grande.push_back(lote(QStringLiteral("P2")));
    }
    return m;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int porLote = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    const int rondas = argc > 2 ? std::max(1, atoi(argv[2])) : 11;
    constexpr int kChica = 1'000;
    constexpr int kGrande = 1'000'000;

    QTemporaryDir tmp;
    Ajustes a;
    a.TipoBD = kJet4;
    a.DirDatos = tmp.path() + QStringLiteral("/datos/");
    a.NumTurnos = 1;
    a.TurnoNombre = {QString(), QStringLiteral("M")};
    a.TurnoFin = {0, 2400};
    AvisosConsola avisos;
    RelojBanco reloj;
    Entorno e{a, avisos, reloj};

    QElapsedTimer t;
    t.start();
    if (!creaTabla(a.DirDatos + QStringLiteral("F1/M1/P1.MDB"), kChica) ||
        !creaTabla(a.DirDatos + QStringLiteral("F1/M1/P2.MDB"), kGrande)) {
        std::fprintf(stderr, "could not build the data tables\n");
        return 2;
    }
    std::printf("data tables of %d and %d rows built in %.1f s\n", kChica, kGrande,
                t.nsecsElapsed() / 1e9);
    std::printf("%d rounds of %d values per table, batches alternating between the tables\n\n",
                rondas, porLote);

    int fallos = 0;
    const Medida porValor =
        mide(e, reloj, GrabadorDatos::ModoEscritura::PorValor, porLote, rondas, fallos);
    const Medida mantenida =
        mide(e, reloj, GrabadorDatos::ModoEscritura::Mantenida, porLote, rondas, fallos);

    std::printf("%-34s %12s %12s\n", "connection / rows", "ms/value", "values/s");
    const std::pair<const char*, const Medida*> modos[] = {{"a connection per value", &porValor},
                                                           {"connection kept open", &mantenida}};
    for (const auto& [nombre, m] : modos) {
        const double c = mediana(m->chica), g = mediana(m->grande);
        std::printf("%-24s %9d %12.3f %12.0f\n", nombre, kChica, c, 1000.0 / c);
        std::printf("%-24s %9d %12.3f %12.0f\n", nombre, kGrande, g, 1000.0 / g);
    }
    const double ratio = mediana(porValor.grande) / mediana(porValor.chica);
    const double ratioMantenida = mediana(mantenida.grande) / mediana(mantenida.chica);
    std::printf("\nper-value cost, %d rows / %d rows: %.3f with a connection per value, %.3f "
                "kept open (limit 1.5)\n",
                kGrande, kChica, ratio, ratioMantenida);
    if (fallos > 0 || avisos.mensajes > 0) {
        std::printf("FAILED: %d values not written\n", fallos);
        return 1;
    }
    const bool ok = ratio < 1.5 && ratioMantenida < 1.5;
    std::printf("%s\n", ok ? "OK" : "FAILED: the cost of a value grows with the table");
    return ok ? 0 : 1;
}
