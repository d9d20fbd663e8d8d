#include "decoding/registrolectura.h"

#include "basedatos/conexion.h"
#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "recording/grabacion.h"
#include "recording/hilograbacion.h"
#include "startup/avisos.h"
#include "startup/reloj.h"
#include "startup/textfuncs.h"
#include "startup/textos.h"

#include <QThread>

#include <optional>

namespace ort {

namespace {
QString dosDigitos(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
QString numero(double v) {
    return QString::number(v, 'g', 15);
}
} // namespace

Registrador::Registrador(Entorno& e, TablasRuntime& t, AlmacenConfig& config, Grabador& grabador,
                         LogPuertos& log, QObject* parent)
    : QObject(parent)
    , e_(e)
    , t_(t)
    , config_(config)
    , grabador_(grabador)
    , log_(log) {}

QString Registrador::captionRec(int p) const {
    return numero(t_.NumLecturas.at(p)) + u' ' + e_.ajustes.texto(Textos::Leidas);
}

QString Registrador::captionGra(int p) const {
    QString c = numero(t_.NumGrabadas.at(p)) + u' ' + e_.ajustes.texto(Textos::Grabadas);
    if (const qint64 n = retenidas_.value(p))
        c += QStringLiteral(" · %1 retenidas").arg(n);
    return c;
}

void Registrador::sucesoDesdeGrabacion(int p, const QString& linea, const QString& mensaje) {
    enVentana([this, p, linea, mensaje] {
        if (p >= 1 && p <= kPuertos && !linea.isEmpty())
            log_.MuestraLinea(p, linea);
        if (!mensaje.isEmpty())
            e_.avisos.mensaje(mensaje, Avisos::Icono::Exclamacion);
    });
}

void Registrador::grabadasDespues(int p, int lecturas) {
    enVentana([this, p, lecturas] {
        if (p < 1 || p > kPuertos)
            return;
        t_.NumGrabadas[p] += lecturas;
        emit contadoresCambiados(p);
    });
}

void Registrador::retenidasCambiadas() {
    enVentana([this] {
        if (!hilo_)
            return;
        const QMap<int, qint64> ahora = hilo_->retenidasPorPuerto();
        for (int p = 1; p <= kPuertos; ++p)
            if (ahora.value(p) != retenidas_.value(p)) {
                retenidas_[p] = ahora.value(p);
                emit contadoresCambiados(p);
            }
    });
}

void Registrador::enVentana(std::function<void()> f) {
    if (QThread::currentThread() == thread()) {
        f();
        return;
    }
    bool primero;
    {
        std::lock_guard l(buzonM_);
        primero = buzon_.empty();
        buzon_.push_back(std::move(f));
    }
    if (primero)
        QMetaObject::invokeMethod(this, &Registrador::vaciaBuzon, Qt::QueuedConnection);
}

void Registrador::vaciaBuzon() {
    std::vector<std::function<void()>> fs;
    {
        std::lock_guard l(buzonM_);
        fs.swap(buzon_);
    }
    for (const auto& f : fs)
        f();
}

// A reading placed on its channel's sequence, with everything the later steps need; taken
// under the tables' lock, used after it.
struct Registrador::Asiento {
    int p = 0, c = 0, s = 0;
    QDateTime cuando;
    QString valor;                // the reading without its channel digits
    QString carac;                // the characteristic written: the field's, or the row's
    std::optional<FilaConf> fila; // none: the sequence has no configuration row
    QString linea;                // the port's log line
    std::optional<LecturaProbada> probada;
};

void Registrador::RegistraLectura(int p, const QString& lectura, const QString& FechaInst,
                                  const QString& HoraInst, int campo, const QDateTime& momento) {
    const int c = aEntero16(numeroDe(lectura.left(2)));
    if (c <= 0)
        return;
    const Asiento a =
        asignaSecuencia(p, c, lectura, campo, momento.isValid() ? momento : e_.reloj.ahora());
    muestra(a);
    if (!a.fila)
        return;
    if (a.probada->fuera) {
        e_.avisos.beep();
        return;
    }
    graba(pedidoDe(a, FechaInst, HoraInst));
}

Registrador::Asiento Registrador::asignaSecuencia(int p, int c, const QString& lectura, int campo,
                                                  const QDateTime& cuando) {
    Asiento a;
    a.p = p;
    a.c = c;
    a.cuando = cuando;
    // Sequences, rows and limits may be reloaded from the window thread meanwhile.
    QReadLocker cerrojo(&t_.cerrojo);
    CanalInfo& canal = t_.canal(p, c);
    a.s = canal.SecActual + 1;
    QString& ultimoValor = t_.UltValor(p, c, a.s); // checks the bounds before anything changes
    const QString caracTabla = campo > 0 ? t_.Tid(p, campo).Carac : QString();
    canal.SecActual = static_cast<qint16>(a.s);
    ultimoValor = lectura.mid(2);
    a.valor = ultimoValor;
    if (const FilaConf* f = config_.buscaConf(p, c, a.s))
        a.fila = *f;
    if (!a.fila) {
        a.linea = lineaDeLog(a) +
                  QStringLiteral("La configuración del canal %1 secuencia %2 no existe.")
                      .arg(c)
                      .arg(a.s) +
                  QString(22, u' ') + lectura;
        canal.SecActual = 0;
        return a;
    }
    a.carac = campo > 0 ? caracTabla : a.fila->Carac;
    a.linea = lineaDeLog(a);
    pruebaLimites(a);
    // A rejected reading used its sequence as a recorded one does: on the last one the cycle
    // starts again now, so the next reading of the channel takes sequence 1 however long
    // recording takes.
    if (canal.SecActual >= canal.SecTotal)
        canal.SecActual = 0;
    return a;
}

QString Registrador::lineaDeLog(const Asiento& a) const {
    const QString prefijo = u' ' + dosDigitos(a.c) + u'/' + dosDigitos(a.s) + u' ';
    if (!a.fila)
        return prefijo;
    const FilaConf& f = *a.fila;
    const QString cuando =
        a.cuando.isValid() ? textoFechaHora(a.cuando.date(), a.cuando.time(), u'/') : QString();
    return prefijo + cuando + QStringLiteral("  ") + f.Opera + u' ' + f.Forma + u' ' + f.Maqui +
           u' ' + f.Produ + u' ' + a.carac + QStringLiteral("  ") + a.valor.left(8);
}

void Registrador::pruebaLimites(Asiento& a) const {
    const double v = numeroDe(a.valor);
    const double inf = t_.LimInf(a.p, a.c, a.s), sup = t_.LimSup(a.p, a.c, a.s);
    const bool fuera = v < inf || v > sup;
    if (fuera)
        a.linea += QStringLiteral(" !");
    a.probada = LecturaProbada{a.p, a.c, a.s, a.carac.trimmed(), v, inf, sup, fuera, a.cuando};
}

void Registrador::muestra(const Asiento& a) {
    enVentana([this, p = a.p, linea = a.linea, probada = a.probada] {
        if (probada)
            emit lecturaProbada(*probada);
        log_.MuestraLinea(p, linea);
        t_.NumLecturas[p] += 1;
        emit contadoresCambiados(p);
    });
}

PedidoGrabacion Registrador::pedidoDe(const Asiento& a, const QString& FechaInst,
                                      const QString& HoraInst) const {
    const FilaConf& f = *a.fila;
    PedidoGrabacion pedido;
    pedido.puerto = a.p;
    pedido.canal = a.c;
    pedido.secuencia = a.s;
    pedido.momento = a.cuando;
    pedido.Forma = f.Forma;
    pedido.Maqui = f.Maqui;
    pedido.Produ = f.Produ;
    pedido.Opera = f.Opera;
    pedido.FechaInst = FechaInst;
    pedido.HoraInst = HoraInst;
    pedido.valores << ValorPedido{a.carac.trimmed(), a.valor, f.DTMP};
    // The sequence's additional fields, each written as a value of its own.
    const QString adicionales[2][2] = {{f.EAdic1, f.EAVal1}, {f.EAdic2, f.EAVal2}};
    for (const auto& [clave, valor] : adicionales)
        if (!clave.trimmed().isEmpty() && !valor.trimmed().isEmpty())
            pedido.valores << ValorPedido{clave.trimmed(), valor, 999};
    return pedido;
}

void Registrador::graba(PedidoGrabacion pedido) {
    if (hilo_) {
        hilo_->encola(std::move(pedido));
        return;
    }
    e_.avisos.ocupado(true);
    const RespuestaGrabacion r = grabaPedido(grabador_, pedido);
    e_.avisos.ocupado(false);
    alGrabar(r);
}

void Registrador::terminaPasada() {
    grabador_.terminaPasada();
}

void Registrador::entregaDesdeGrabacion(const RespuestaGrabacion& r) {
    enVentana([this, r] { alGrabar(r); });
}

void Registrador::alGrabar(const RespuestaGrabacion& r) {
    const PedidoGrabacion& pd = r.pedido;
    const int p = pd.puerto;
    for (const QString& nota : r.avisos)
        log_.MuestraLinea(p, u' ' + nota);
    const QString prefijo = u' ' + dosDigitos(pd.canal) + u'/' + dosDigitos(pd.secuencia) + u' ';
    if (r.retenidaDesde >= 0 && r.retenidaDesde < pd.valores.size()) {
        // Held in the journal: written later, in order. Refused by it: not recorded, with the
        // values, so that nothing is lost unseen.
        const ValorPedido& v = pd.valores[r.retenidaDesde];
        if (r.errorDiario.isEmpty())
            log_.MuestraLinea(p, prefijo + QStringLiteral("Retenida %1 = %2: se grabará en "
                                                          "cuanto se pueda escribir su tabla.")
                                               .arg(v.Carac, v.Valor));
        else
            for (int i = r.retenidaDesde; i < pd.valores.size(); ++i)
                log_.MuestraLinea(
                    p, prefijo + QStringLiteral("No se grabó %1 = %2 (%3)")
                                     .arg(pd.valores[i].Carac, pd.valores[i].Valor, r.errorDiario));
    }
    if (!r.confirmada) {
        // Their group's commit failed: every value of the reading is lost, and each is shown
        // with its value so that nothing is lost unseen.
        for (const ValorPedido& v : pd.valores)
            log_.MuestraLinea(p, prefijo +
                                     QStringLiteral("No se grabó %1 = %2").arg(v.Carac, v.Valor));
        return;
    }
    // Every write's result is kept: a failed write of the value is never hidden behind a
    // successful write of an additional field that came after it.
    int fallida = -1;
    for (int i = 0; i < r.resultados.size(); ++i)
        if (fallo(r.resultados[i])) {
            fallida = i;
            break;
        }
    // The path the writer searched, in the letter case it found on disk; rebuilt from the keys
    // for a writer that does not say.
    const QString F = pd.Forma.trimmed(), M = pd.Maqui.trimmed();
    auto buscada = [&r, dir = e_.ajustes.DirDatos](const QString& rehecha) {
        return r.rutaBuscada.isEmpty() ? dir + rehecha : r.rutaBuscada;
    };
    switch (fallida >= 0 ? r.resultados[fallida] : ResultadoGrabacion::Grabado) {
    case ResultadoGrabacion::FaltaFormato:
        log_.MuestraLinea(p,
                          prefijo + e_.ajustes.texto(Textos::NoExisteDestino) + u' ' + buscada(F));
        break;
    case ResultadoGrabacion::FaltaMaquina:
        log_.MuestraLinea(p, prefijo + e_.ajustes.texto(Textos::NoExisteDestino) + u' ' +
                                 buscada(F + u'/' + M));
        break;
    case ResultadoGrabacion::FaltaProducto:
        log_.MuestraLinea(
            p, prefijo + e_.ajustes.texto(Textos::NoExisteBase) + u' ' +
                   buscada(F + u'/' + M + u'/' + pd.Produ.trimmed() + QStringLiteral(".MDB")));
        break;
    case ResultadoGrabacion::Error:
        // The message box said why; the log keeps the value, so that nothing is lost unseen.
        log_.MuestraLinea(p,
                          prefijo + QStringLiteral("No se grabó %1 = %2")
                                        .arg(pd.valores[fallida].Carac, pd.valores[fallida].Valor));
        break;
    case ResultadoGrabacion::Grabado:
        break;
    }
    if (r.retenidaDesde != 0 && !r.resultados.isEmpty() && !fallo(r.resultados.first())) {
        t_.NumGrabadas[p] += 1;
        emit contadoresCambiados(p);
    }
}

} // namespace ort
