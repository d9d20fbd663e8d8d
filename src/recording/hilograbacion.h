#pragma once

#include "recording/grabacion.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

class QThread;

namespace ort {

struct Ajustes;
class Reloj;

// One value of a reading to write: the measured characteristic or an additional field.
struct ValorPedido {
    QString Carac;
    QString Valor;
    float DTMP = 0;
};

// A reading's values, as registration hands them to recording.
struct PedidoGrabacion {
    int puerto = 0, canal = 0, secuencia = 0;
    // When its frame was complete: the row's date and what the sample window compares.
    QDateTime momento;
    QString Forma, Maqui, Produ, Opera, FechaInst, HoraInst;
    QList<ValorPedido> valores;
};

// What became of a reading's values: one result per value,
// the notes for the port's log, and whether the group they were committed with was committed.
struct RespuestaGrabacion {
    PedidoGrabacion pedido;
    QList<ResultadoGrabacion> resultados;
    QStringList avisos;
    bool confirmada = true;
    // The values from this one on were held in the journal of held readings (written later);
    // -1: none. errorDiario: the journal refused them, and they are not recorded.
    int retenidaDesde = -1;
    QString errorDiario;
    // The data file as the writer found it, or the path it searched (Grabador::rutaBuscada).
    QString rutaBuscada;
};

// Writes one reading's values through the writer, in the calling thread.
RespuestaGrabacion grabaPedido(Grabador& g, const PedidoGrabacion& p);

// Recording, apart from the ports: the one place where the data tables are written and their
// connections live. Readings are written in the order they were queued. Each data location
// (format, machine, product) has a lane of its own, a thread with its own
// writer and connection, so that the disk syncs of different data files overlap; one data
// table's readings always go through one lane, in arrival order. With group commit a reading
// that finds its lane idle is committed at once (or kEntreGruposMs after the lane's last commit);
// under a stream the values gather into groups committed kPlazoLoteMs after their first value
// or at the writer's loteMaximo() readings, whichever comes first. Each reading's answer is given
// only once its group is committed (or known lost). Answers are handed to `entrega` on the lane's
// thread.
//
// With the journal of held readings (usaDiario), a value whose write fails for a passing reason
// is held in it, synced, instead of being lost, and so is every later value of its data table
// while any is held; each lane replays its table's held readings, in arrival order, once the
// table can be written again (first of all at start, before new readings). Each lane has a
// connection of its own to the journal, limited to its data table.
class HiloGrabacion {
public:
    using Entrega = std::function<void(const RespuestaGrabacion&)>;
    // What the journal has to say: a line for a port's log (puerto 0: none) and a message for the
    // user (empty: none). Called on a lane's thread.
    using Suceso = std::function<void(int puerto, const QString& linea, const QString& mensaje)>;
    using Fabrica = std::function<std::unique_ptr<Grabador>()>;
    static constexpr qint64 kPlazoLoteMs = 100;
    static constexpr qint64 kEntreGruposMs = 50;

    // A lane per data location, each with a writer of the factory's.
    HiloGrabacion(Fabrica fabrica, Entrega entrega);
    ~HiloGrabacion();
    HiloGrabacion(const HiloGrabacion&) = delete;
    HiloGrabacion& operator=(const HiloGrabacion&) = delete;

    // Holds what cannot be written for now in the journal `archivo` (at most maximo readings),
    // writing the held ones with writers of its own made with ajustes and reloj. Called before
    // inicia(); sucesos and cambio (the held counts changed) are called on the lanes' threads.
    void usaDiario(Ajustes& ajustes, Reloj& reloj, const QString& archivo, qint64 maximo,
                   Suceso sucesos, std::function<void()> cambio);
    // Readings held per port, and in all.
    QMap<int, qint64> retenidasPorPuerto() const;
    // Told, on a lane's thread, how many held readings of a port reached their data table.
    void alGrabarRetenidas(std::function<void(int puerto, int lecturas)> f) {
        grabadasDespues_ = std::move(f);
    }
    qint64 retenidas() const { return totalRetenidas_.load(); }

    void inicia();
    void encola(PedidoGrabacion pedido);
    // Writes and commits everything queued, releases the connections and ends the threads.
    void detiene();
    // Readings queued and not yet answered.
    int pendientes() const;

private:
    struct Carril;
    Carril& carril(const QString& Forma, const QString& Maqui, const QString& Produ);
    void bucle(Carril& c);
    struct ConDiario;
    void abreDiario(Carril& c);
    void publica(Carril& c);

    Fabrica fabrica_;
    Entrega entrega_;
    mutable std::mutex m_; // guards carriles_ and enMarcha_
    std::unordered_map<QString, std::unique_ptr<Carril>> carriles_;
    bool enMarcha_ = false;

    std::unique_ptr<ConDiario> diario_;
    std::atomic<qint64> totalRetenidas_{0};
    mutable std::mutex mRetenidas_;
    std::unordered_map<QString, QMap<int, qint64>> retenidasPorCarril_;
    std::function<void(int, int)> grabadasDespues_;
};

} // namespace ort
