#include "startup/avisoshilos.h"

#include <QThread>

namespace ort {

AvisosEntreHilos::AvisosEntreHilos(Avisos& destino, QObject* parent)
    : QObject(parent)
    , destino_(destino) {}

bool AvisosEntreHilos::aqui() const {
    return QThread::currentThread() == thread();
}

void AvisosEntreHilos::mensaje(const QString& texto, Icono icono) {
    if (aqui())
        destino_.mensaje(texto, icono);
    else
        QMetaObject::invokeMethod(
            this, [this, texto, icono] { destino_.mensaje(texto, icono); }, Qt::QueuedConnection);
}

bool AvisosEntreHilos::pregunta(const QString& texto) {
    if (aqui())
        return destino_.pregunta(texto);
    if (terminando_)
        return false;
    bool r = false;
    QMetaObject::invokeMethod(
        this, [&] { r = destino_.pregunta(texto); }, Qt::BlockingQueuedConnection);
    return r;
}

QString AvisosEntreHilos::entrada(const QString& prompt) {
    if (aqui())
        return destino_.entrada(prompt);
    if (terminando_)
        return {};
    QString r;
    QMetaObject::invokeMethod(
        this, [&] { r = destino_.entrada(prompt); }, Qt::BlockingQueuedConnection);
    return r;
}

void AvisosEntreHilos::beep() {
    if (aqui())
        destino_.beep();
    else
        QMetaObject::invokeMethod(
            this, [this] { destino_.beep(); }, Qt::QueuedConnection);
}

void AvisosEntreHilos::ocupado(bool si) {
    // The pointer belongs to the window thread's own work.
    if (aqui())
        destino_.ocupado(si);
}

} // namespace ort
