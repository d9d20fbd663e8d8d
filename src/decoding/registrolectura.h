#pragma once

#include "decoding/lecturaprobada.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <mutex>
#include <vector>

namespace ort {

struct Entorno;
class TablasRuntime;
class AlmacenConfig;
class Grabador;
class LogPuertos;
class HiloGrabacion;
struct RespuestaGrabacion;
struct PedidoGrabacion;

// Ties each reading to its channel's next sequence, shows it on the port's log, tests it against
// the sequence's limits and has it recorded with the sequence's additional fields.
class Registrador : public QObject {
    Q_OBJECT
public:
    Registrador(Entorno& e, TablasRuntime& t, AlmacenConfig& config, Grabador& grabador,
                LogPuertos& log, QObject* parent = nullptr);

    // lectura: two channel digits and the value text; campo: the field-table record that
    // produced it (0 outside field-table mode); momento: when its frame was complete (none:
    // now). An index outside the tables throws FueraDeTabla before anything is changed.
    // Called from a port's worker, it reaches the log and the counters through the window
    // thread, and has the values written by the recording thread when one is given.
    void RegistraLectura(int p, const QString& lectura, const QString& FechaInst,
                         const QString& HoraInst, int campo = 0, const QDateTime& momento = {});

    // The recording thread that writes the values; without one they are written in place.
    void fijaHiloGrabacion(HiloGrabacion* hilo) { hilo_ = hilo; }
    // What became of a reading's values: notes, the line of a failure, the recorded counter.
    // Runs on the window thread.
    void alGrabar(const RespuestaGrabacion& r);
    // The recording thread's answers, handed over to the window thread.
    void entregaDesdeGrabacion(const RespuestaGrabacion& r);

    // What the journal of held readings says (HiloGrabacion::Suceso), handed over to the window
    // thread: the line on the port's log, the message to the user.
    void sucesoDesdeGrabacion(int p, const QString& linea, const QString& mensaje);
    // The held counts changed: the counters of the ports whose count changed are shown again.
    void retenidasCambiadas();
    // Held readings of port p written at last: they count as recorded now.
    void grabadasDespues(int p, int lecturas);

    // The counters' captions of a port; the recorded one says how many are held, if any.
    QString captionRec(int p) const;
    QString captionGra(int p) const;
    qint64 retenidas(int p) const { return retenidas_.value(p); }
    // A receive pass is over: with group commit, the values written in place during it are
    // committed together.
    void terminaPasada();

signals:
    void contadoresCambiados(int p);
    // Right after the limits test of a reading that has its configuration row.
    void lecturaProbada(const ort::LecturaProbada& l);

private:
    struct Asiento;
    // The steps of a reading, in order: it takes its channel's next sequence (and with it the
    // sequence's configuration row); its log line is made and its value tested against the
    // sequence's limits, all under the tables' lock; it is shown (log, counter, limits test);
    // in limits, its value and the sequence's additional fields make the write request, which is
    // written (by the recording thread when there is one) and reported by alGrabar.
    Asiento asignaSecuencia(int p, int c, const QString& lectura, int campo,
                            const QDateTime& cuando);
    QString lineaDeLog(const Asiento& a) const;
    void pruebaLimites(Asiento& a) const;
    void muestra(const Asiento& a);
    PedidoGrabacion pedidoDe(const Asiento& a, const QString& FechaInst,
                             const QString& HoraInst) const;
    void graba(PedidoGrabacion pedido);

    // Runs f on the window thread: now when called there, later (in order) otherwise. What the
    // workers and the recording thread hand over waits in one box, emptied by one event: under
    // a stream the window thread wakes once for many readings, not once for each.
    void enVentana(std::function<void()> f);
    void vaciaBuzon();

    Entorno& e_;
    TablasRuntime& t_;
    AlmacenConfig& config_;
    Grabador& grabador_;
    LogPuertos& log_;
    HiloGrabacion* hilo_ = nullptr;
    QMap<int, qint64> retenidas_;
    std::mutex buzonM_;
    std::vector<std::function<void()>> buzon_;
};

} // namespace ort
