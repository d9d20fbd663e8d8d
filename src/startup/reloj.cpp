#include "startup/reloj.h"

#include <QElapsedTimer>
#include <QThread>

namespace ort {

double Reloj::segundosDesdeMedianoche() const {
    return ahora().time().msecsSinceStartOfDay() / 1000.0;
}

QDateTime RelojSistema::ahora() const {
    return QDateTime::currentDateTime();
}

qint64 RelojSistema::monotonoMs() const {
    static QElapsedTimer inicio = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return inicio.elapsed();
}

void RelojSistema::duerme(qint64 ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace ort
