#include "estado/latencia.h"

#include <QElapsedTimer>

namespace ort {

void LatenciaEscritura::observa(qint64 nanosegundos) {
    const double s = double(nanosegundos) / 1e9;
    std::size_t i = 0;
    while (i < kLimites.size() && s > kLimites[i])
        ++i;
    cubetas_[i].fetch_add(1, std::memory_order_relaxed);
    sumaNs_.fetch_add(quint64(std::max<qint64>(nanosegundos, 0)), std::memory_order_relaxed);
    cuenta_.fetch_add(1, std::memory_order_relaxed);
}

double LatenciaEscritura::sumaSegundos() const {
    return double(sumaNs_.load(std::memory_order_relaxed)) / 1e9;
}

quint64 LatenciaEscritura::acumulado(std::size_t i) const {
    quint64 n = 0;
    for (std::size_t j = 0; j <= i && j < cubetas_.size(); ++j)
        n += cubetas_[j].load(std::memory_order_relaxed);
    return n;
}

QByteArray LatenciaEscritura::metricas(const QByteArray& nombre) const {
    QByteArray t = "# HELP " + nombre +
                   " Tiempo de escritura de un valor en su tabla de datos, en segundos.\n"
                   "# TYPE " +
                   nombre + " histogram\n";
    for (std::size_t i = 0; i < kLimites.size(); ++i)
        t += nombre + "_bucket{le=\"" + QByteArray::number(kLimites[i], 'g', 6) + "\"} " +
             QByteArray::number(acumulado(i)) + '\n';
    // +Inf and _count come from the same buckets, so that they always agree.
    const quint64 total = acumulado(kLimites.size());
    t += nombre + "_bucket{le=\"+Inf\"} " + QByteArray::number(total) + '\n';
    t += nombre + "_sum " + QByteArray::number(sumaSegundos(), 'g', 9) + '\n';
    t += nombre + "_count " + QByteArray::number(total) + '\n';
    return t;
}

ResultadoGrabacion GrabadorMedido::GrabaMTVX(const QString& Forma, const QString& Maqui,
                                             const QString& Produ, const QString& Carac,
                                             const QString& Fecha, const QString& Hora,
                                             const QString& Opera, const QString& Valor,
                                             float DTMP) {
    QElapsedTimer t;
    t.start();
    const ResultadoGrabacion r =
        real_.GrabaMTVX(Forma, Maqui, Produ, Carac, Fecha, Hora, Opera, Valor, DTMP);
    latencia_.observa(t.nsecsElapsed());
    return r;
}

} // namespace ort
