#include "decoding/logpuertos.h"

#include "startup/textfuncs.h"

#include <QThread>

namespace ort {

LogPuertos::LogPuertos(QObject* parent) : QObject(parent) {
    filas_.fill(kFilasPorDefecto);
}

void LogPuertos::fijaFilas(int p, int filas) {
    if (!TablasRuntime::puertoValido(p))
        return;
    filas_[p] = filas;
    while (lineas_[p].size() > std::max(filas, 1))
        lineas_[p].removeFirst();
}

int LogPuertos::filas(int p) const {
    return TablasRuntime::puertoValido(p) ? filas_[p] : 0;
}

void LogPuertos::MuestraLinea(int p, const QString& linea) {
    if (!TablasRuntime::puertoValido(p))
        return;
    // A port's worker or the recording thread: the line is shown by the window thread, in the
    // order the lines were given.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, p, linea] { MuestraLinea(p, linea); }, Qt::QueuedConnection);
        return;
    }
    const QString l = FijaAncho(linea, kAncho);
    QStringList& caja = lineas_[p];
    if (caja.size() >= filas_[p] && !caja.isEmpty())
        caja.removeFirst();
    caja.append(l);
    emit lineaAgregada(p, l);
}

const QStringList& LogPuertos::lineas(int p) const {
    static const QStringList vacia;
    return TablasRuntime::puertoValido(p) ? lineas_[p] : vacia;
}

QString LogPuertos::texto(int p) const {
    QString t;
    for (const QString& l : lineas(p))
        t += l + QStringLiteral("\r\n");
    return t;
}

} // namespace ort
