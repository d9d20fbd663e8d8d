#include "estado/systemd.h"

#include <QThread>
#include <QTimer>

#include <systemd/sd-daemon.h>

namespace ort {

AvisoSystemd::AvisoSystemd(QObject* parent) : QObject(parent) {
    activo_ = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    uint64_t usec = 0;
    if (activo_ && sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        intervaloMs_ = std::max<qint64>(qint64(usec / 2000), 1);
}

AvisoSystemd::~AvisoSystemd() {
    if (ping_) {
        // A thread that has ended runs no deferred deletion any more: the timer goes at once.
        const QThread* t = ping_->thread();
        if (!t || t == QThread::currentThread() || !t->isRunning())
            delete ping_;
        else
            ping_->deleteLater();
    }
}

bool AvisoSystemd::envia(const QByteArray& texto) {
    return activo_ && sd_notify(0, texto.constData()) > 0;
}

void AvisoSystemd::listo(const QString& estado) {
    ultimoEstado_ = estado;
    envia("READY=1\nSTATUS=" + estado.toUtf8());
}

void AvisoSystemd::estado(const QString& estado) {
    if (estado == ultimoEstado_)
        return;
    ultimoEstado_ = estado;
    envia("STATUS=" + estado.toUtf8());
}

void AvisoSystemd::terminando() {
    envia("STOPPING=1\nSTATUS=Cerrando los puertos");
}

void AvisoSystemd::vigila(QObject* hilo) {
    if (!activo_ || intervaloMs_ <= 0 || ping_)
        return;
    ping_ = new QTimer;
    ping_->setInterval(int(std::min<qint64>(intervaloMs_, 24 * 3600 * 1000)));
    connect(ping_, &QTimer::timeout, ping_, [] { sd_notify(0, "WATCHDOG=1"); });
    ping_->moveToThread(hilo->thread());
    // Started from its own thread; the first ping goes out at once.
    QMetaObject::invokeMethod(
        ping_,
        [t = ping_] {
            sd_notify(0, "WATCHDOG=1");
            t->start();
        },
        Qt::QueuedConnection);
}

} // namespace ort
