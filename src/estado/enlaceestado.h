#pragma once

#include "estado/estadopuertos.h"
#include "estado/latencia.h"
#include "estado/servidorestado.h"
#include "estado/systemd.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace ort {

class Adquisicion;
struct Entorno;

// ORT seen from outside, put together around one acquisition: the status model fed by its
// signals, the silence alarms of ORTSilencio.IAU, the HTTP status server and systemd's
// notifications. Built on the window thread, next to the acquisition it watches.
class EnlaceEstado : public QObject {
    Q_OBJECT
public:
    EnlaceEstado(Adquisicion& a, Entorno& e, const LatenciaEscritura* latencia,
                 QObject* parent = nullptr);
    ~EnlaceEstado() override;

    EstadoPuertos& estado() { return estado_; }
    AvisoSystemd& systemd() { return systemd_; }

    // Starts the status server; says on standard error where it listens when that is open to
    // the network, and why it does not listen when it cannot. Returns the port, or 0.
    quint16 sirve(const DireccionHttp& d);
    // Acquisition has opened its ports: READY for systemd, the watchdog, the silence checks.
    void arrancado();
    // The program is ending.
    void terminando();

    // The count of readings held back for port p, from whatever keeps them (a journal of
    // readings waiting to be written); until one reports, the count stays unknown.
    void fijaRetenidas(int p, qint64 n) { estado_.fijaRetenidas(p, n); }

private:
    void leeInstrumentos();

    Adquisicion& a_;
    Entorno& e_;
    EstadoPuertos estado_;
    AvisoSystemd systemd_;
    std::unique_ptr<ServidorEstado> servidor_;
    QTimer estadoSystemd_;
};

} // namespace ort
