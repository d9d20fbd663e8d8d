#include "decoding/hilopuerto.h"

#include "decoding/recepcion.h"
#include "ports/puerto.h"
#include "startup/reloj.h"

#include <QCoreApplication>

namespace ort {

HiloPuerto::HiloPuerto(int p, Receptor& receptor, Reloj& reloj, Puerto* puerto, QObject* parent)
    : QThread(parent)
    , p_(p)
    , receptor_(receptor)
    , reloj_(reloj)
    , puerto_(puerto)
    , origen_(QThread::currentThread()) {
    setObjectName(QStringLiteral("ort-puerto-%1").arg(p));
    if (puerto_)
        puerto_->moveToThread(this);
}

HiloPuerto::~HiloPuerto() {
    detiene();
}

void HiloPuerto::pide() {
    std::lock_guard l(m_);
    pedido_ = true;
    cv_.notify_one();
}

void HiloPuerto::pideAlto() {
    std::lock_guard l(m_);
    alto_ = true;
    cv_.notify_one();
}

void HiloPuerto::detiene() {
    pideAlto();
    if (isRunning()) {
        // A notice of the worker may be waiting for an answer from this thread.
        while (!wait(10))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } else if (puerto_ && puerto_->thread() == this) {
        // Never started: the device goes back at once.
        puerto_->moveToThread(origen_);
    }
}

// Sleeps in slices that a stop ends; false when stopped.
bool HiloPuerto::duerme(qint64 ms) {
    const qint64 fin = reloj_.monotonoMs() + ms;
    for (qint64 resta = ms; resta > 0 && !alto_; resta = fin - reloj_.monotonoMs()) {
        std::unique_lock l(m_);
        if (!alto_)
            cv_.wait_for(l, std::chrono::milliseconds(std::min<qint64>(resta, kTramoMs)));
    }
    return !alto_;
}

void HiloPuerto::run() {
    if (!puerto_) {
        while (!alto_) {
            {
                std::unique_lock l(m_);
                if (!pedido_ && !alto_)
                    cv_.wait_for(l, std::chrono::milliseconds(kTramoMs));
                if (!pedido_)
                    continue;
                pedido_ = false;
            }
            receptor_.pasada(p_, &alto_);
        }
        return;
    }
    const auto conexion = connect(puerto_, &Puerto::perdido, puerto_,
                                  [this](const QString& motivo) { motivoPerdida_ = motivo; });
    while (!alto_) {
        // The device's own notices (a loss noticed inside a read) are delivered here.
        QCoreApplication::processEvents();
        if (!puerto_->abierto()) {
            QCoreApplication::processEvents();
            const QString motivo = motivoPerdida_.isEmpty()
                                       ? QStringLiteral("Se perdió el dispositivo.")
                                       : motivoPerdida_;
            motivoPerdida_.clear();
            if (!reconecta(motivo))
                break;
            continue;
        }
        // Data already waiting (also what the instrument sent the moment it was connected).
        if (puerto_->esperando() > 0) {
            // The instrument closed the port at the end of its sending (DL-10): the window
            // thread ends the worker and shows the port closed.
            if (receptor_.pasada(p_, &alto_))
                break;
            continue;
        }
        // Data wakes the wait at once; its length only bounds how late a stop is seen while
        // the port is idle (and so what an idle port costs).
        puerto_->esperaDatos(kEsperaOciosaMs);
    }
    disconnect(conexion);
    puerto_->moveToThread(origen_);
}

bool HiloPuerto::reconecta(const QString& motivo) {
    emit perdido(p_, motivo);
    auto* tcp = qobject_cast<PuertoTcp*>(puerto_);
    auto* serie = qobject_cast<PuertoSerie*>(puerto_);
    qint64 pausa = 500;
    while (!alto_) {
        if (!duerme(pausa))
            return false;
        bool vuelto = false;
        if (tcp) {
            if (tcp->conecta(tcp->hostRemoto(), tcp->numeroRemoto())) {
                const qint64 fin = reloj_.monotonoMs() + 5000;
                while (!alto_ && !tcp->conectado() && tcp->conectando() &&
                       reloj_.monotonoMs() < fin)
                    tcp->esperaConexion(kTramoMs);
                vuelto = tcp->conectado();
                if (!vuelto)
                    tcp->cierra();
            }
        } else if (serie) {
            vuelto = serie->abre().ok();
        }
        if (vuelto) {
            motivoPerdida_.clear();
            emit recuperado(p_);
            return true;
        }
        pausa = std::min<qint64>(pausa * 2, 5000);
    }
    return false;
}

} // namespace ort
