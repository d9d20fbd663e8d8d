#pragma once

#include "config/tablas.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <optional>

namespace ort {

class Reloj;
class LatenciaEscritura;

// What ORT is doing, port by port, as the status page, its JSON and the metrics show it. It is
// fed on the window thread by acquisition's signals (lamps, counters, log lines) and reads the
// time from the injected clock; it never reaches into acquisition itself.
class EstadoPuertos : public QObject {
    Q_OBJECT
public:
    static constexpr int kLineas = 20;
    static constexpr int kRevisionMs = 1000;

    struct Puerto {
        QString instrumento; // the port's instrument code; empty or NADA: not in use
        bool abierto = false;
        double recibidas = 0;
        double grabadas = 0;
        // Readings kept back for a later write; unknown until something counts them.
        std::optional<qint64> retenidas;
        QDateTime ultimaLectura;
        qint64 ultimaLecturaMs = -1; // monotonic
        qint64 silencioDesdeMs = -1; // monotonic: opening or last reading, whichever is later
        QStringList lineas;
        int silencioSegundos = 0; // 0: no alarm for this port
        bool enSilencio = false;
    };

    EstadoPuertos(Reloj& reloj, const LatenciaEscritura* latencia = nullptr,
                  QObject* parent = nullptr);

    const Puerto& puerto(int p) const { return puertos_.at(indice(p)); }
    bool enUso(int p) const;

    void fijaInstrumento(int p, const QString& codigo);
    void fijaAbierto(int p, bool abierto);
    void fijaContadores(int p, double recibidas, double grabadas);
    // The count of readings held back, from whatever keeps them; nullopt: not known.
    void fijaRetenidas(int p, std::optional<qint64> n);
    void agregaLinea(int p, const QString& linea);
    // Seconds of silence after which the port's alarm goes off; 0 turns it off.
    void fijaSilencio(int p, int segundos);

    // Checks every port's silence against its limit; runs every kRevisionMs once started.
    void revisaSilencios();
    void iniciaRevision() { revision_.start(); }

    QJsonObject json() const;
    QByteArray metricas() const;
    QByteArray pagina() const;
    // Counts for the service manager's status line.
    QString resumen() const;

signals:
    // The port's alarm went off (empieza) or data came back after it; segundos: the silence.
    void silencio(int p, bool empieza, qint64 segundos);

private:
    static std::size_t indice(int p);
    Puerto& mio(int p) { return puertos_.at(indice(p)); }
    double segundosDesdeUltima(const Puerto& e) const;

    Reloj& reloj_;
    const LatenciaEscritura* latencia_;
    std::array<Puerto, kPuertos + 1> puertos_{};
    QTimer revision_;
};

// The silence limits of "ORTSilencio.IAU" in the program directory: one line per port, the
// port number, a comma and the seconds without data after which ORT warns (0 or no line: no
// alarm). Lines that do not parse are listed in problemas.
QList<std::pair<int, int>> leeSilencios(const QString& directorioPrograma,
                                        QStringList* problemas = nullptr);

} // namespace ort
