#pragma once

#include "recording/diario.h"
#include "recording/grabador.h"
#include "startup/avisos.h"
#include "startup/reloj.h"

#include <QHash>

#include <functional>
#include <optional>

namespace ort {

// The outcome of one step of writing held readings: no failure, or a failure of a kind.
struct ResultadoEscritura {
    TipoFalla falla = TipoFalla::Ninguna;
    QString motivo;
};

// What held readings are written through. All readings of one call belong to one data table.
class EscritorRetenidas {
public:
    virtual ~EscritorRetenidas() = default;
    // The table before a batch is written (HuellaTabla). A lasting failure: the batch is written
    // without it.
    virtual ResultadoEscritura huella(const QList<Retenida>& lote,
                                      std::optional<HuellaTabla>& huella) = 0;
    virtual ResultadoEscritura escribe(const Retenida& r) = 0;
    // Ends a batch: commits what escribe left open.
    virtual ResultadoEscritura cierraLote() { return {}; }
    // How many of the readings that a crash left being written, in order, the table already
    // holds; they all carry the huella of their batch.
    virtual ResultadoEscritura yaEscritas(const QList<Retenida>& marcadas, int& cuantas) = 0;
};

// Writes held readings with a writer of its own, as they would have been written when read:
// the age test of the newest row measures from the reading's time, and a failure shows no
// message (the replayer reports). Batches are one transaction each (group commit).
class EscritorDatos : public EscritorRetenidas {
public:
    EscritorDatos(Ajustes& ajustes, Reloj& reloj,
                  GrabadorDatos::ModoEscritura apertura = GrabadorDatos::ModoEscritura::PorPasada);

    ResultadoEscritura huella(const QList<Retenida>& lote,
                              std::optional<HuellaTabla>& huella) override;
    ResultadoEscritura escribe(const Retenida& r) override;
    ResultadoEscritura cierraLote() override;
    ResultadoEscritura yaEscritas(const QList<Retenida>& marcadas, int& cuantas) override;

private:
    // The time of the reading being written; waits go to the real clock.
    class RelojLectura : public Reloj {
    public:
        explicit RelojLectura(Reloj& r) : r_(r) {}
        QDateTime ahora() const override { return momento.isValid() ? momento : r_.ahora(); }
        qint64 monotonoMs() const override { return r_.monotonoMs(); }
        void duerme(qint64 ms) override { r_.duerme(ms); }
        QDateTime momento;

    private:
        Reloj& r_;
    };
    // Questions are answered No, input boxes cancelled, messages kept as the failure's text.
    class AvisosCallados : public Avisos {
    public:
        void mensaje(const QString& texto, Icono) override { ultimo = texto; }
        bool pregunta(const QString&) override { return false; }
        QString entrada(const QString&) override { return {}; }
        QString ultimo;
    };
    ResultadoEscritura resultado();

    AvisosCallados avisos_;
    RelojLectura reloj_;
    Entorno e_;
    GrabadorDatos grabador_;
    bool porConfirmar_ = false;
};

// Writes held readings again once their data table can be written: per table in arrival order,
// in batches, retrying after a passing failure with a wait that doubles up to a bound. Runs on
// the recording thread; tells what happens through callbacks, never through windows.
class Reenvio {
public:
    struct Sucesos {
        // A data table starts holding readings: once per outage. r.motivo says why.
        std::function<void(const Retenida& r)> empiezaRetencion;
        // A data table's held readings are all written.
        std::function<void(const QString& destino, qint64 escritas)> atrasoEscrito;
        // A held reading failed for a lasting reason and was moved aside (r.motivo); primera is
        // true for the first of its data table in this outage (one message, not one per reading).
        std::function<void(const Retenida& r, bool primera)> apartada;
        // The journal reached its warning level (lleno false) or refused a reading (lleno true):
        // once each time, again only after it went below the warning level.
        std::function<void(qint64 total, qint64 maximo, bool lleno)> limite;
        // Held readings that reached their data table (late, or found there after a crash).
        std::function<void(const QList<Retenida>& rs)> escritas;
    };

    Reenvio(Diario& diario, EscritorRetenidas& escritor, Reloj& reloj, Sucesos sucesos = {});

    // Holds readings of one data table whose write failed for a passing reason, or that go
    // behind its held ones (pendiente). Synced when it returns Guardada or Cerca.
    Diario::Admision retiene(QList<Retenida> rs, const QString& motivo);
    Diario::Admision retiene(const Retenida& r, const QString& motivo) {
        return retiene(QList<Retenida>{r}, motivo);
    }
    // Whether a new reading of this data table must go behind held ones.
    bool pendiente(const QString& destino) const { return diario_.tieneRetenidas(destino); }

    // Writes the held readings that are due; the milliseconds until the next attempt is due
    // (0: more is due at once, the time budget ran out), or -1 when nothing is held.
    qint64 pasa();

    void fijaEsperas(qint64 primeraMs, qint64 maximaMs);
    void fijaLote(int lote) { lote_ = qMax(1, lote); }
    // How long one pass may write before it lets the thread do other work.
    void fijaPresupuesto(qint64 ms) { presupuestoMs_ = ms; }
    // The wait before a data table's next attempt (0 when it is not failing).
    qint64 espera(const QString& destino) const { return estados_.value(destino).esperaMs; }

private:
    struct Estado {
        qint64 proximoMs = 0;
        qint64 esperaMs = 0;
        int fallos = 0;
        qint64 escritas = 0;
        bool apartadaDicha = false;
    };
    enum class Fin { Vacio, Fallo, Pendiente };
    Fin reenvia(const QString& destino, Estado& d, qint64 inicio);
    bool resuelveMarcadas(const QList<Retenida>& lote, Estado& d);
    void falla(Estado& d);
    void revisaLimite(Diario::Admision a);

    Diario& diario_;
    EscritorRetenidas& escritor_;
    Reloj& reloj_;
    Sucesos sucesos_;
    QHash<QString, Estado> estados_;
    qint64 primeraMs_ = 500;
    qint64 maximaMs_ = 30'000;
    int lote_ = 200;
    qint64 presupuestoMs_ = 250;
    enum class Limite { Normal, Cerca, Lleno } limite_ = Limite::Normal;
};

} // namespace ort
