#pragma once

#include "decoding/contexto.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <QDateTime>
#include <QMutex>

#include <atomic>
#include <functional>

namespace ort {

struct Entorno;
class Reloj;
class TablasRuntime;
class FabricaPuertos;
class Puerto;
class Registrador;
class LogPuertos;

// Blocks for that many seconds without handling events, on the given clock; 0 or 86400 and
// beyond return at once, and a wait that crosses midnight ends at the right time. A raised
// stop flag ends it within one slice of 50 ms.
void Espera(Reloj& reloj, double segundos, const std::atomic<bool>* alto = nullptr);
// Each character of code car replaced by blanks up to the next column of 15.
QString ExpandeSeparador(const QString& texto, int car);

// The receive pass of a port (ComLee): gathers frames up to the port's terminator, drops
// control characters, and hands each frame to the decoder of the port's instrument code or to
// its field table. A pass never runs inside another: a port that asks meanwhile is served
// right after the running pass.
class Receptor : public QObject {
    Q_OBJECT
public:
    using ComandoGse = std::function<QString(int puerto, int canal)>;

    Receptor(Entorno& e, TablasRuntime& t, FabricaPuertos& puertos, Registrador& registrador,
             LogPuertos& log, ComandoGse comandoGse, QObject* parent = nullptr);

    // Serves port p on the calling thread; a call made during a pass runs right after it.
    void ComLee(int p);
    // One receive pass of port p, as its worker runs it on the port's own thread: several
    // ports' passes may run at once. Its waits end early when alto is raised. True when the
    // instrument closed the port (DL-10 at the end of its batch).
    bool pasada(int p, const std::atomic<bool>* alto = nullptr);

    // The pause after each frame; the benchmark sets it to 0, the program keeps 0.1 s.
    double pausaEntreTramas = 0.1;
    // Silence that ends an incomplete frame.
    double silencioFinTrama = 3.0;
    // How long a batch decoder waits for its next frame before its pass ends: frames that
    // follow at line pace belong to the same batch.
    double huecoLote = 0.2;

    EstadoDecodificadores& estado() { return estado_; }

signals:
    // A decoder closed the port (DL-10 at the end of its batch).
    void puertoCerradoPorInstrumento(int p);

private:
    class Contexto;
    bool sirvePasada(int p, const std::atomic<bool>* alto);
    const QString& LeeTrama(Contexto& c);
    void fijaFin(Contexto& c, bool esperoDatos);
    void descansa(Contexto& c, Puerto& puerto);
    void decodifica(Contexto& c, int p);
    void DecodificaTabla(Contexto& c, int p);

    Entorno& e_;
    TablasRuntime& t_;
    FabricaPuertos& puertos_;
    Registrador& registrador_;
    LogPuertos& log_;
    ComandoGse comandoGse_;
    EstadoDecodificadores estado_;
    QMutex mutexEstado_; // estado_ is common to every port's worker
    bool enPasada_ = false;
    QList<int> pendientes_;
};

} // namespace ort
