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

struct HiloGrabacion::Carril {
    std::unique_ptr<Grabador> propio;
    Grabador* g = nullptr;
    std::unique_ptr<QThread> hilo;
    // std primitives rather than Qt's: ThreadSanitizer sees through them.
    std::mutex m;
    std::condition_variable cv;
    QQueue<PedidoGrabacion> cola;
    int enCurso = 0;
    bool alto = false;
};

HiloGrabacion::HiloGrabacion(Grabador& grabador, Entrega entrega)
    : grabador_(&grabador)
    , entrega_(std::move(entrega)) {}

HiloGrabacion::HiloGrabacion(Fabrica fabrica, Entrega entrega)
    : fabrica_(std::move(fabrica))
    , entrega_(std::move(entrega)) {}

HiloGrabacion::~HiloGrabacion() {
    detiene();
}

void HiloGrabacion::inicia() {
    std::lock_guard l(m_);
    enMarcha_ = true;
}

HiloGrabacion::Carril& HiloGrabacion::carril(const PedidoGrabacion& p) {
    const QString clave =
        fabrica_ ? p.Forma.trimmed() + u'|' + p.Maqui.trimmed() + u'|' + p.Produ.trimmed()
                 : QString();
    std::lock_guard l(m_);
    std::unique_ptr<Carril>& c = carriles_[clave];
    if (!c) {
        c = std::make_unique<Carril>();
        if (fabrica_) {
            c->propio = fabrica_();
            c->g = c->propio.get();
        } else {
            c->g = grabador_;
        }
        Carril* carril = c.get();
        c->hilo.reset(QThread::create([this, carril] { bucle(*carril); }));
        c->hilo->setObjectName(QStringLiteral("ort-grabacion"));
        c->hilo->start();
    }
    return *c;
}

void HiloGrabacion::encola(PedidoGrabacion pedido) {
    {
        std::lock_guard l(m_);
        if (!enMarcha_)
            return;
    }
    Carril& c = carril(pedido);
    std::lock_guard l(c.m);
    c.cola.enqueue(std::move(pedido));
    c.cv.notify_one();
}

int HiloGrabacion::pendientes() const {
    std::lock_guard l(m_);
    int n = 0;
    for (const auto& [clave, c] : carriles_) {
        std::lock_guard lc(c->m);
        n += int(c->cola.size()) + c->enCurso;
    }
    return n;
}

void HiloGrabacion::detiene() {
    std::unordered_map<QString, std::unique_ptr<Carril>> carriles;
    {
        std::lock_guard l(m_);
        enMarcha_ = false;
        carriles.swap(carriles_);
    }
    // Every lane is told first, so that they finish together.
    for (auto& [clave, c] : carriles) {
        std::lock_guard l(c->m);
        c->alto = true;
        c->cv.notify_one();
    }
    for (auto& [clave, c] : carriles)
        c->hilo->wait();
}

void HiloGrabacion::bucle(Carril& c) {
    Grabador& g = *c.g;
    QList<RespuestaGrabacion> lote;
    QElapsedTimer desdeLote, desdeConfirma;
    desdeConfirma.start();
    auto confirma = [&] {
        const bool ok = g.terminaPasada();
        desdeConfirma.restart();
        for (RespuestaGrabacion& r : lote) {
            r.confirmada = ok || !g.grupoPerdido(r.pedido.Forma, r.pedido.Maqui, r.pedido.Produ);
            entrega_(r);
        }
        std::lock_guard l(c.m);
        c.enCurso -= int(lote.size());
        lote.clear();
    };
    // How long the open group may still wait: until it is kPlazoLoteMs old, and, when nothing
    // else is waiting, until kEntreGruposMs have passed since the last commit.
    auto resta = [&](bool vacia) {
        qint64 r = kPlazoLoteMs - desdeLote.elapsed();
        if (vacia)
            r = std::min(r, kEntreGruposMs - desdeConfirma.elapsed());
        return r;
    };
    for (;;) {
        PedidoGrabacion pedido;
        bool hay = false, termina = false, vacia = false;
        {
            std::unique_lock l(c.m);
            while (c.cola.isEmpty() && !c.alto) {
                if (lote.isEmpty()) {
                    c.cv.wait(l);
                    continue;
                }
                const qint64 r = resta(true);
                if (r <= 0)
                    break;
                c.cv.wait_for(l, std::chrono::milliseconds(r));
            }
            if (!c.cola.isEmpty()) {
                pedido = c.cola.dequeue();
                hay = true;
                ++c.enCurso;
            }
            vacia = c.cola.isEmpty();
            termina = c.alto && vacia;
        }
        if (hay) {
            RespuestaGrabacion r = GrabaPedido(g, pedido);
            if (g.agrupa()) {
                if (lote.isEmpty())
                    desdeLote.start();
                lote << std::move(r);
            } else {
                // Written and committed value by value: answered at once.
                entrega_(r);
                std::lock_guard l(c.m);
                --c.enCurso;
            }
        }
        // A lone reading is committed at once; under a stream the values gather into groups,
        // committed at most kPlazoLoteMs after their first value (or at kMaxLote readings): the
        // data table's write lock is never held longer, and its readers (Metrovax) get their
        // turn between groups however fast an instrument streams.
        if (!lote.isEmpty() && (termina || lote.size() >= kMaxLote || resta(vacia) <= 0))
            confirma();
        if (termina && lote.isEmpty())
            break;
    }
    g.cierra();
}

} // namespace ort
