#include "monitor/graficopuerto.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ort {

namespace {

// The newest moment a series knows: its time never goes back, even when the clock is set back.
qint64 ultimoMs(const SeriesPuerto::Serie& s) {
    qint64 ms = std::numeric_limits<qint64>::min();
    if (!s.puntos.empty())
        ms = s.puntos.back().ms;
    if (!s.limites.empty())
        ms = std::max(ms, s.limites.back().ms);
    return ms;
}

// One limit as a step line: a stretch per run of real limits, joined by vertical steps.
QList<QList<QPointF>> lineaLimite(const std::deque<SeriesPuerto::CambioLimites>& cambios,
                                  bool superior, qint64 xMin, qint64 xMax) {
    QList<QList<QPointF>> tramos;
    bool abierto = false;
    for (size_t i = 0; i < cambios.size(); ++i) {
        const qint64 desde = std::max(cambios[i].ms, xMin);
        const qint64 hasta = i + 1 < cambios.size() ? cambios[i + 1].ms : xMax;
        if (hasta < desde)
            continue; // replaced before the oldest point kept
        const double v = superior ? cambios[i].sup : cambios[i].inf;
        if (!SeriesPuerto::limiteReal(v)) {
            abierto = false;
            continue;
        }
        if (!abierto)
            tramos.append(QList<QPointF>());
        abierto = true;
        tramos.last() << QPointF(double(desde), v) << QPointF(double(hasta), v);
    }
    return tramos;
}

} // namespace

SeriesPuerto::Serie& SeriesPuerto::serieDe(Clave k, const QString& carac, bool& nueva) {
    auto [it, insertada] = series_.try_emplace(k);
    nueva = insertada;
    if (!carac.isEmpty())
        it->second.carac = carac;
    return it->second;
}

void SeriesPuerto::cambiaLimites(Serie& s, qint64 ms, double inf, double sup) {
    if (!s.limites.empty() && s.limites.back().inf == inf && s.limites.back().sup == sup)
        return;
    if (!s.limites.empty() && s.limites.back().ms == ms)
        s.limites.back() = {ms, inf, sup};
    else
        s.limites.push_back({ms, inf, sup});
    // Reopening a port many times without readings must not grow it either.
    while (int(s.limites.size()) > max_ + 1)
        s.limites.pop_front();
}

bool SeriesPuerto::agrega(const LecturaProbada& l) {
    bool nueva = false;
    Serie& s = serieDe({l.canal, l.secuencia}, l.carac, nueva);
    const qint64 ms = std::max(l.hora.toMSecsSinceEpoch(), ultimoMs(s));
    cambiaLimites(s, ms, l.limInf, l.limSup);
    s.puntos.push_back({ms, l.valor, l.fuera});
    while (int(s.puntos.size()) > max_)
        s.puntos.pop_front();
    // Only the limits in force at the oldest point kept, and those after it, are drawn.
    while (s.limites.size() >= 2 && s.limites[1].ms <= s.puntos.front().ms)
        s.limites.pop_front();
    return nueva;
}

bool SeriesPuerto::fijaLimites(int canal, int secuencia, const QString& carac, double inf,
                               double sup, qint64 ms) {
    bool nueva = false;
    Serie& s = serieDe({canal, secuencia}, carac, nueva);
    cambiaLimites(s, std::max(ms, ultimoMs(s)), inf, sup);
    return nueva;
}

QList<SeriesPuerto::Clave> SeriesPuerto::claves() const {
    QList<Clave> k;
    for (const auto& [clave, serie] : series_)
        k << clave;
    return k;
}

const SeriesPuerto::Serie* SeriesPuerto::serie(Clave k) const {
    const auto it = series_.find(k);
    return it == series_.end() ? nullptr : &it->second;
}

SeriesPuerto::Dibujo SeriesPuerto::dibujo(Clave k) const {
    Dibujo d;
    const Serie* s = serie(k);
    if (!s || (s->puntos.empty() && s->limites.empty()))
        return d;
    d.xMin = s->puntos.empty() ? s->limites.front().ms : s->puntos.front().ms;
    d.xMax = ultimoMs(*s);
    double yMin = std::numeric_limits<double>::infinity();
    double yMax = -yMin;
    d.valores.reserve(qsizetype(s->puntos.size()));
    for (const Punto& p : s->puntos) {
        d.valores << QPointF(double(p.ms), p.valor);
        if (p.fuera)
            d.rechazadas << QPointF(double(p.ms), p.valor);
        yMin = std::min(yMin, p.valor);
        yMax = std::max(yMax, p.valor);
    }
    d.inferior = lineaLimite(s->limites, false, d.xMin, d.xMax);
    d.superior = lineaLimite(s->limites, true, d.xMin, d.xMax);
    for (const auto* linea : {&d.inferior, &d.superior})
        for (const QList<QPointF>& tramo : *linea)
            for (const QPointF& p : tramo) {
                yMin = std::min(yMin, p.y());
                yMax = std::max(yMax, p.y());
            }
    if (!std::isfinite(yMin) || !std::isfinite(yMax)) {
        yMin = 0;
        yMax = 1;
    }
    double margen = (yMax - yMin) * 0.08;
    if (margen <= 0)
        margen = std::max(std::abs(yMax) * 0.05, 0.5);
    d.yMin = yMin - margen;
    d.yMax = yMax + margen;
    return d;
}

} // namespace ort
