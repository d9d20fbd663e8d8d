#pragma once

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <functional>
#include <memory>

class QThread;

namespace ort {

class Grabador;

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

// What became of a reading's values: one result code per value (as GrabaMTVX gives them),
// the notes for the port's log, and whether the group they were committed with was committed.
struct RespuestaGrabacion {
    PedidoGrabacion pedido;
    QList<qint16> resultados;
    QStringList avisos;
    bool confirmada = true;
};

// Writes one reading's values through the writer, in the calling thread.
RespuestaGrabacion GrabaPedido(Grabador& g, const PedidoGrabacion& p);

// The recording thread: the one place where the data tables are written and their connections
// live. Readings are written in the order they were queued (so in arrival order per data table,
// whichever port they came from). With group commit the values are committed kPlazoLoteMs after
// the group's first value or after kMaxLote readings, whichever comes first; each reading's answer
// is given only once its group is committed (or known lost). Answers are handed to `entrega` on the
// recording thread.
class HiloGrabacion {
public:
    using Entrega = std::function<void(const RespuestaGrabacion&)>;
    static constexpr qint64 kPlazoLoteMs = 100;
    static constexpr int kMaxLote = 256;

    HiloGrabacion(Grabador& grabador, Entrega entrega);
    ~HiloGrabacion();
    HiloGrabacion(const HiloGrabacion&) = delete;
    HiloGrabacion& operator=(const HiloGrabacion&) = delete;

    void inicia();
    void encola(PedidoGrabacion pedido);
    // Writes and commits everything queued, releases the connections and ends the thread.
    void detiene();
    bool enMarcha() const { return hilo_ != nullptr; }
    // Readings queued and not yet answered.
    int pendientes() const;

private:
    void bucle();

    Grabador& g_;
    Entrega entrega_;
    std::unique_ptr<QThread> hilo_;
    mutable QMutex m_;
    QWaitCondition cv_;
    QQueue<PedidoGrabacion> cola_;
    int enCurso_ = 0;
    bool alto_ = false;
};

} // namespace ort
