#pragma once

#include "decoding/lecturaprobada.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <deque>
#include <map>
#include <utility>

namespace ort {

// The recent readings of one port, a bounded series per characteristic (channel and sequence),
// with the limits each reading was tested against. It holds no widgets: the chart of the port's
// tab draws what dibujo() gives. Appending is constant time, so that a fast port costs little
// whether or not its chart is shown.
class SeriesPuerto {
public:
    static constexpr int kPuntosPorSerie = 500;
    // Limits of ±999999 are the product's "no limit": nothing is drawn for them.
    static bool limiteReal(double v) { return v > -999999.0 && v < 999999.0; }

    using Clave = std::pair<int, int>; // channel, sequence

    struct Punto {
        qint64 ms;
        double valor;
        bool fuera;
    };
    struct CambioLimites {
        qint64 ms;
        double inf, sup;
    };
    struct Serie {
        QString carac;
        std::deque<Punto> puntos;
        // Limits in force from each moment on; the first applies before the first point kept.
        std::deque<CambioLimites> limites;
    };
    // What a chart shows of one series: x in milliseconds since the epoch. A limit line is a
    // step line per stretch with real limits.
    struct Dibujo {
        QList<QPointF> valores, rechazadas;
        QList<QList<QPointF>> inferior, superior;
        qint64 xMin = 0, xMax = 0;
        double yMin = 0, yMax = 0;
        bool vacio() const { return valores.isEmpty(); }
    };

    explicit SeriesPuerto(int maxPuntos = kPuntosPorSerie) : max_(maxPuntos) {}

    // True when the reading opened a characteristic not seen before.
    bool agrega(const LecturaProbada& l);
    // Limits loaded at the port's opening, in force from ms on (no reading needed).
    bool fijaLimites(int canal, int secuencia, const QString& carac, double inf, double sup,
                     qint64 ms);

    QList<Clave> claves() const;
    const Serie* serie(Clave k) const;
    Dibujo dibujo(Clave k) const;
    int maxPuntos() const { return max_; }

private:
    Serie& serieDe(Clave k, const QString& carac, bool& nueva);
    void cambiaLimites(Serie& s, qint64 ms, double inf, double sup);

    int max_;
    std::map<Clave, Serie> series_;
};

} // namespace ort
