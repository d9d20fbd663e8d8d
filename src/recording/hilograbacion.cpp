#include "recording/hilograbacion.h"

#include "recording/grabacion.h"

#include <QElapsedTimer>
#include <QThread>

namespace ort {

RespuestaGrabacion GrabaPedido(Grabador& g, const PedidoGrabacion& p) {
    RespuestaGrabacion r;
    r.pedido = p;
    g.fijaMomento(p.momento);
    for (const ValorPedido& v : p.valores)
        r.resultados << g.GrabaMTVX(p.Forma, p.Maqui, p.Produ, v.Carac, p.FechaInst, p.HoraInst,
                                    p.Opera, v.Valor, v.DTMP);
    g.fijaMomento({});
    r.avisos = g.tomaAvisos();
    return r;
}

HiloGrabacion::HiloGrabacion(Grabador& grabador, Entrega entrega)
    : g_(grabador)
    , entrega_(std::move(entrega)) {}

HiloGrabacion::~HiloGrabacion() {
    detiene();
}

void HiloGrabacion::inicia() {
    if (hilo_)
        return;
    {
        QMutexLocker l(&m_);
        alto_ = false;
    }
    hilo_.reset(QThread::create([this] { bucle(); }));
    hilo_->setObjectName(QStringLiteral("ort-grabacion"));
    hilo_->start();
}

void HiloGrabacion::encola(PedidoGrabacion pedido) {
    QMutexLocker l(&m_);
    cola_.enqueue(std::move(pedido));
    cv_.wakeOne();
}

int HiloGrabacion::pendientes() const {
    QMutexLocker l(&m_);
    return int(cola_.size()) + enCurso_;
}

void HiloGrabacion::detiene() {
    if (!hilo_)
        return;
    {
        QMutexLocker l(&m_);
        alto_ = true;
        cv_.wakeOne();
    }
    hilo_->wait();
    hilo_.reset();
}

void HiloGrabacion::bucle() {
    QList<RespuestaGrabacion> lote;
    QElapsedTimer desdeLote;
    auto confirma = [&] {
        const bool ok = g_.terminaPasada();
        for (RespuestaGrabacion& r : lote) {
            r.confirmada = ok || !g_.grupoPerdido(r.pedido.Forma, r.pedido.Maqui, r.pedido.Produ);
            entrega_(r);
        }
        QMutexLocker l(&m_);
        enCurso_ -= int(lote.size());
        lote.clear();
    };
    for (;;) {
        PedidoGrabacion pedido;
        bool hay = false, termina = false;
        {
            QMutexLocker l(&m_);
            // An open group waits for more values until its time is up.
            while (cola_.isEmpty() && !alto_) {
                if (lote.isEmpty()) {
                    cv_.wait(&m_);
                    continue;
                }
                const qint64 resta = kPlazoLoteMs - desdeLote.elapsed();
                if (resta <= 0)
                    break;
                cv_.wait(&m_, static_cast<unsigned long>(resta));
            }
            if (!cola_.isEmpty()) {
                pedido = cola_.dequeue();
                hay = true;
                ++enCurso_;
            }
            termina = alto_ && cola_.isEmpty();
        }
        if (hay) {
            RespuestaGrabacion r = GrabaPedido(g_, pedido);
            if (g_.agrupa()) {
                if (lote.isEmpty())
                    desdeLote.start();
                lote << std::move(r);
            } else {
                // Written and committed value by value: answered at once.
                entrega_(r);
                QMutexLocker l(&m_);
                --enCurso_;
            }
        }
        // A group is committed once it is kPlazoLoteMs old or kMaxLote readings large, and at
        // the end: the data table's write lock is never held longer, and readers of the table
        // (Metrovax) get their turn between groups however fast an instrument streams.
        if (!lote.isEmpty() &&
            (termina || lote.size() >= kMaxLote || desdeLote.elapsed() >= kPlazoLoteMs))
            confirma();
        if (termina && lote.isEmpty())
            break;
    }
    g_.cierra();
}

} // namespace ort
