#pragma once

#include "decoding/contexto.h"

#include <QObject>
#include <QSet>
#include <QString>

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
// beyond return at once, and a wait that crosses midnight ends at the right time.
void Espera(Reloj& reloj, double segundos);
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

    void ComLee(int p);
    bool enPasada() const { return enPasada_; }

    // The pause after each frame; the benchmark sets it to 0, the program keeps 0.1 s.
    double pausaEntreTramas = 0.1;
    // Silence that ends an incomplete frame.
    double silencioFinTrama = 3.0;

    EstadoDecodificadores& estado() { return estado_; }

signals:
    // A decoder closed the port (DL-10 at the end of its batch).
    void puertoCerradoPorInstrumento(int p);

private:
    class Contexto;
    void pasada(int p);
    Puerto* puertoDe(int p);
    const QString& LeeTrama(Contexto& c);
    void decodifica(Contexto& c, int p);
    void DecodificaTabla(Contexto& c, int p);

    Entorno& e_;
    TablasRuntime& t_;
    FabricaPuertos& puertos_;
    Registrador& registrador_;
    LogPuertos& log_;
    ComandoGse comandoGse_;
    EstadoDecodificadores estado_;
    bool enPasada_ = false;
    QList<int> pendientes_;
};

} // namespace ort
