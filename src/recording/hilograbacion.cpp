#include "recording/hilograbacion.h"

#include "basedatos/conexion.h"
#include "recording/diario.h"
#include "recording/grabacion.h"
#include "recording/grabador.h"
#include "recording/reenvio.h"
#include "startup/ajustes.h"
#include "startup/reloj.h"
#include "startup/textfuncs.h"

#include <QElapsedTimer>
#include <QThread>

#include <chrono>

namespace ort {

namespace {

// A data table's key as people read it: the file, or the server's table.
QString legible(const QString& destino) {
    return destino.mid(destino.indexOf(u':') + 1);
}

QString canalSecuencia(const Retenida& r) {
    return QStringLiteral(" %1/%2 ")
        .arg(r.canal, 2, 10, QLatin1Char('0'))
        .arg(r.secuencia, 2, 10, QLatin1Char('0'));
}

// Value i of a reading, as the journal keeps it (a reading without its frame's time takes the
// clock's now).
Retenida retenible(const Ajustes& a, const Reloj& reloj, const PedidoGrabacion& p, int i) {
    const ValorPedido& v = p.valores.at(i);
    Retenida r;
    r.destino = claveDestino(a, p.Forma, p.Maqui, p.Produ);
    r.Forma = p.Forma;
    r.Maqui = p.Maqui;
    r.Produ = p.Produ;
    r.Carac = v.Carac;
    r.Valor = v.Valor;
    r.Fecha = p.FechaInst;
    r.Hora = p.HoraInst;
    r.momento = p.momento.isValid() ? p.momento : reloj.ahora();
    r.Turno = BuscaTurno(a, textoHHmm(r.momento.time()));
    r.Opera = p.Opera;
    r.DTMP = v.DTMP;
    r.puerto = p.puerto;
    r.canal = p.canal;
    r.secuencia = p.secuencia;
    r.campo = i;
    return r;
}

} // namespace

RespuestaGrabacion grabaPedido(Grabador& g, const PedidoGrabacion& p) {
    RespuestaGrabacion r;
    r.pedido = p;
    g.fijaMomento(p.momento);
    for (const ValorPedido& v : p.valores)
        r.resultados << g.GrabaMTVX(p.Forma, p.Maqui, p.Produ, v.Carac, p.FechaInst, p.HoraInst,
                                    p.Opera, v.Valor, v.DTMP);
    g.fijaMomento({});
    r.avisos = g.tomaAvisos();
    r.rutaBuscada = g.rutaBuscada();
    return r;
}

struct HiloGrabacion::ConDiario {
    Ajustes& ajustes;
    Reloj& reloj;
    QString archivo;
    qint64 maximo;
    Suceso sucesos;
    std::function<void()> cambio;
    std::atomic<bool> faltaDicha{false};
};

struct HiloGrabacion::Carril {
    QString clave, Forma, Maqui, Produ;
    QString destino; // its data table (claveDestino)
    // The lane's journal, its writer of held readings and their replay; made and used on the
    // lane's thread.
    std::unique_ptr<Diario> diario;
    std::unique_ptr<EscritorDatos> escritor;
    std::unique_ptr<Reenvio> reenvio;
    std::unique_ptr<Grabador> g;
    std::unique_ptr<QThread> hilo;
    // std primitives rather than Qt's: ThreadSanitizer sees through them.
    std::mutex m;
    std::condition_variable cv;
    QQueue<PedidoGrabacion> cola;
    int enCurso = 0;
    bool alto = false;
};

HiloGrabacion::HiloGrabacion(Fabrica fabrica, Entrega entrega)
    : fabrica_(std::move(fabrica))
    , entrega_(std::move(entrega)) {}

HiloGrabacion::~HiloGrabacion() {
    detiene();
}

void HiloGrabacion::usaDiario(Ajustes& ajustes, Reloj& reloj, const QString& archivo, qint64 maximo,
                              Suceso sucesos, std::function<void()> cambio) {
    diario_.reset(
        new ConDiario{ajustes, reloj, archivo, maximo, std::move(sucesos), std::move(cambio)});
}

QMap<int, qint64> HiloGrabacion::retenidasPorPuerto() const {
    std::lock_guard l(mRetenidas_);
    QMap<int, qint64> r;
    for (const auto& [clave, m] : retenidasPorCarril_)
        for (auto it = m.begin(); it != m.end(); ++it)
            r[it.key()] += it.value();
    return r;
}

void HiloGrabacion::inicia() {
    {
        std::lock_guard l(m_);
        enMarcha_ = true;
    }
    if (!diario_)
        return;
    // Readings held when the program last ended: their lanes start now and write them before
    // any new reading of their tables.
    Diario d(diario_->archivo);
    if (!d.abre())
        return;
    // A data table that is no longer where its readings would go now (the data location changed
    // since they were held) gets no lane: its readings stay in the journal, and are said once, so
    // that they are neither written into another table nor forgotten unseen.
    for (const QString& destino : d.destinos()) {
        const QList<Retenida> r = d.retenidas(destino, 1);
        if (r.isEmpty())
            continue;
        const Retenida& h = r.front();
        if (const QString ahora = claveDestino(diario_->ajustes, h.Forma, h.Maqui, h.Produ);
            ahora != destino) {
            if (diario_->sucesos)
                diario_->sucesos(
                    0, {},
                    QStringLiteral("El diario de lecturas retenidas %1 guarda %2 lecturas para %3, "
                                   "que ya no es la ubicación de los datos (ahora %4).\nNo se "
                                   "graban en otra parte: quedan en el diario y se grabarán si "
                                   "vuelve a configurarse esa ubicación.")
                        .arg(diario_->archivo)
                        .arg(d.retenidasDe(destino))
                        .arg(legible(destino), legible(ahora)));
            continue;
        }
        carril(h.Forma, h.Maqui, h.Produ);
    }
}

HiloGrabacion::Carril& HiloGrabacion::carril(const QString& Forma, const QString& Maqui,
                                             const QString& Produ) {
    const QString clave = Forma.trimmed() + u'|' + Maqui.trimmed() + u'|' + Produ.trimmed();
    std::lock_guard l(m_);
    std::unique_ptr<Carril>& c = carriles_[clave];
    if (!c) {
        c = std::make_unique<Carril>();
        c->clave = clave;
        c->Forma = Forma;
        c->Maqui = Maqui;
        c->Produ = Produ;
        c->g = fabrica_();
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
    Carril& c = carril(pedido.Forma, pedido.Maqui, pedido.Produ);
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
    // A data file that another program holds locked does not hold up the stop: what waits for
    // it is held in the journal (or reported), not waited for up to 10 s.
    const SinEsperaOcupada sinEspera;
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

void HiloGrabacion::abreDiario(Carril& c) {
    ConDiario& cd = *diario_;
    auto d = std::make_unique<Diario>(cd.archivo);
    // Each lane answers for its own data table.
    c.destino = claveDestino(cd.ajustes, c.Forma, c.Maqui, c.Produ);
    d->fijaAlcance(c.destino, &totalRetenidas_);
    d->fijaLimite(cd.maximo, cd.maximo - cd.maximo / 10);
    if (const auto abierto = d->abre(); !abierto) {
        if (!cd.faltaDicha.exchange(true) && cd.sucesos)
            cd.sucesos(0, {},
                       QStringLiteral("No se puede abrir el diario de lecturas retenidas %1: %2\n"
                                      "Una lectura que no se pueda grabar no se guardará para "
                                      "grabarla después.")
                           .arg(cd.archivo, abierto.falla().descripcion));
        return;
    }
    c.diario = std::move(d);
    c.escritor = std::make_unique<EscritorDatos>(cd.ajustes, cd.reloj);
    Reenvio::Sucesos s;
    s.empiezaRetencion = [&cd](const Retenida& r) {
        if (cd.sucesos)
            cd.sucesos(r.puerto,
                       canalSecuencia(r) +
                           QStringLiteral("Se retienen las lecturas, no se puede escribir en %1")
                               .arg(legible(r.destino)),
                       QStringLiteral("No se puede escribir en %1:\n%2\nSus lecturas se guardan en "
                                      "el diario de lecturas retenidas y se grabarán, en su "
                                      "orden, en cuanto se pueda.")
                           .arg(legible(r.destino), r.motivo.trimmed()));
    };
    s.atrasoEscrito = [&cd](const QString& destino, qint64 escritas) {
        if (cd.sucesos)
            cd.sucesos(0, {},
                       QStringLiteral("Se grabaron las %1 lecturas retenidas de %2.")
                           .arg(escritas)
                           .arg(legible(destino)));
    };
    // A held reading counts as recorded once its value (not an additional field) is written.
    s.escritas = [this](const QList<Retenida>& rs) {
        if (!grabadasDespues_)
            return;
        QMap<int, int> porPuerto;
        for (const Retenida& r : rs)
            if (r.campo == 0)
                ++porPuerto[r.puerto];
        for (auto it = porPuerto.cbegin(); it != porPuerto.cend(); ++it)
            grabadasDespues_(it.key(), it.value());
    };
    s.apartada = [&cd](const Retenida& r, bool primera) {
        if (!cd.sucesos)
            return;
        cd.sucesos(r.puerto,
                   canalSecuencia(r) + QStringLiteral("No se grabó %1 = %2, lectura retenida "
                                                      "apartada: %3")
                                           .arg(r.Carac, r.Valor, r.motivo.simplified()),
                   primera ? QStringLiteral("Lecturas retenidas de %1 no se pueden grabar:\n%2\n"
                                            "Quedan apartadas en el diario %3 (tabla Apartadas).")
                                 .arg(legible(r.destino), r.motivo.trimmed(), cd.archivo)
                           : QString());
    };
    s.limite = [&cd](qint64 total, qint64 maximo, bool lleno) {
        if (cd.sucesos)
            cd.sucesos(0, {},
                       lleno ? QStringLiteral("El diario de lecturas retenidas está lleno (%1 "
                                              "lecturas): las lecturas que no se puedan grabar "
                                              "ya no se guardan.")
                                   .arg(maximo)
                             : QStringLiteral("El diario de lecturas retenidas tiene %1 lecturas "
                                              "de %2 posibles: al llenarse ya no se guardarán "
                                              "las lecturas que no se puedan grabar.")
                                   .arg(total)
                                   .arg(maximo));
    };
    c.reenvio = std::make_unique<Reenvio>(*c.diario, *c.escritor, cd.reloj, std::move(s));
    c.g->callaFallasPasajeras(true);
    publica(c);
}

void HiloGrabacion::publica(Carril& c) {
    {
        std::lock_guard l(mRetenidas_);
        QMap<int, qint64>& m = retenidasPorCarril_[c.clave];
        if (m == c.diario->porPuerto())
            return;
        m = c.diario->porPuerto();
    }
    if (diario_->cambio)
        diario_->cambio();
}

void HiloGrabacion::bucle(Carril& c) {
    Grabador& g = *c.g;
    if (diario_)
        abreDiario(c);
    // A reading in the open group: its answer, the values it wrote there (they are held if the
    // group's commit fails for a passing reason) and those to hold now.
    struct EnGrupo {
        RespuestaGrabacion r;
        QList<int> escritos; // indices of its values written in the open group
        QList<Retenida> aRetener;
        QString motivo;
    };
    QList<EnGrupo> lote;
    QElapsedTimer desdeLote, desdeConfirma, reloj;
    desdeConfirma.start();
    reloj.start();
    // When the held readings are next due (ms on reloj), -1: nothing held. At start, what the
    // journal holds is written first.
    qint64 debido = c.reenvio ? 0 : -1;
    auto retiene = [&](EnGrupo& x, const QList<Retenida>& rs, const QString& motivo) {
        if (rs.isEmpty())
            return;
        if (c.reenvio->retiene(rs, motivo) == Diario::Admision::Rechazada)
            x.r.errorDiario = c.diario->error();
        const qint64 t = reloj.elapsed() + c.reenvio->espera(rs.front().destino);
        debido = debido < 0 ? t : std::min(debido, t);
    };
    auto confirma = [&] {
        const bool ok = g.terminaPasada();
        const bool pasajera = !ok && c.reenvio && g.ultimaFalla() == TipoFalla::Pasajera;
        const QString motivo = g.motivoFalla();
        desdeConfirma.restart();
        bool retenidas = false;
        // In arrival order: a reading's values lost with the group go into the journal before
        // those it holds anyway, and before the next reading's.
        for (EnGrupo& x : lote) {
            const PedidoGrabacion& p = x.r.pedido;
            x.r.confirmada = ok || !g.grupoPerdido(p.Forma, p.Maqui, p.Produ);
            if (!x.r.confirmada && pasajera && !x.escritos.isEmpty()) {
                QList<Retenida> rs;
                for (int i : x.escritos)
                    rs << retenible(diario_->ajustes, diario_->reloj, p, i);
                retiene(x, rs, motivo);
                x.r.confirmada = true;
                x.r.retenidaDesde = 0;
                retenidas = true;
            }
            if (!x.aRetener.isEmpty()) {
                retiene(x, x.aRetener, x.motivo);
                retenidas = true;
            }
            entrega_(x.r);
        }
        if (retenidas)
            publica(c);
        std::lock_guard l(c.m);
        c.enCurso -= int(lote.size());
        lote.clear();
    };
    // One reading written, value by value; with the journal, a value whose write fails for a
    // passing reason is held with every value after it, and a reading of a data table that has
    // held readings goes behind them unwritten.
    auto graba = [&](const PedidoGrabacion& p) {
        EnGrupo x;
        if (!c.reenvio) {
            x.r = grabaPedido(g, p);
            return x;
        }
        const Ajustes& a = diario_->ajustes;
        x.r.pedido = p;
        bool retener = c.reenvio->pendiente(c.destino);
        if (retener)
            x.motivo = QStringLiteral("detrás de lecturas retenidas de su tabla");
        g.fijaMomento(p.momento);
        for (int i = 0; i < p.valores.size(); ++i) {
            const ValorPedido& v = p.valores[i];
            if (!retener) {
                const ResultadoGrabacion res =
                    g.GrabaMTVX(p.Forma, p.Maqui, p.Produ, v.Carac, p.FechaInst, p.HoraInst,
                                p.Opera, v.Valor, v.DTMP);
                x.r.rutaBuscada = g.rutaBuscada();
                if (!fallo(res) || g.ultimaFalla() != TipoFalla::Pasajera) {
                    x.r.resultados << res;
                    if (!fallo(res) && g.agrupa())
                        x.escritos << i;
                    continue;
                }
                retener = true;
                x.motivo = g.motivoFalla();
            }
            if (x.r.retenidaDesde < 0)
                x.r.retenidaDesde = i;
            x.aRetener << retenible(a, diario_->reloj, p, i);
        }
        g.fijaMomento({});
        x.r.avisos = g.tomaAvisos();
        return x;
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
                qint64 espera = -1;
                if (!lote.isEmpty()) {
                    espera = resta(true);
                    if (espera <= 0)
                        break;
                }
                if (debido >= 0) {
                    const qint64 r = debido - reloj.elapsed();
                    if (r <= 0)
                        break;
                    espera = espera < 0 ? r : std::min(espera, r);
                }
                if (espera < 0)
                    c.cv.wait(l);
                else
                    c.cv.wait_for(l, std::chrono::milliseconds(espera));
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
            EnGrupo x = graba(pedido);
            const bool retenida = !x.aRetener.isEmpty();
            if (g.agrupa() || retenida) {
                if (lote.isEmpty())
                    desdeLote.start();
                lote << std::move(x);
                // What the open group holds is committed (or held) before these are held.
                if (retenida)
                    confirma();
            } else {
                // Written and committed value by value: answered at once.
                entrega_(x.r);
                std::lock_guard l(c.m);
                --c.enCurso;
            }
        }
        // A lone reading is committed at once; under a stream the values gather into groups,
        // committed at most kPlazoLoteMs after their first value (or at loteMaximo() readings): the
        // data table's write lock is never held longer, and its readers (Metrovax) get their
        // turn between groups however fast an instrument streams.
        if (!lote.isEmpty() && (termina || lote.size() >= g.loteMaximo() || resta(vacia) <= 0))
            confirma();
        // Held readings due: the open group is committed first (it would hold the lock their
        // writer needs).
        if (debido >= 0 && reloj.elapsed() >= debido && !termina) {
            if (!lote.isEmpty())
                confirma();
            const qint64 t = c.reenvio->pasa();
            debido = t < 0 ? -1 : reloj.elapsed() + t;
            publica(c);
        }
        if (termina && lote.isEmpty())
            break;
    }
    g.cierra();
    c.reenvio.reset();
    c.escritor.reset();
    c.diario.reset();
}

} // namespace ort
