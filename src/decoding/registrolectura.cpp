#include "decoding/registrolectura.h"

#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "recording/grabacion.h"
#include "recording/hilograbacion.h"
#include "startup/avisos.h"
#include "startup/conexion.h"
#include "startup/reloj.h"
#include "startup/textfuncs.h"
#include "startup/textos.h"

#include <QThread>

#include <optional>

namespace ort {

namespace {
QString DosDigitos(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
QString Numero(double v) {
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
    return Numero(t_.NumLecturas.at(p)) + u' ' + e_.ajustes.texto(Textos::Leidas);
}

QString Registrador::captionGra(int p) const {
    QString c = Numero(t_.NumGrabadas.at(p)) + u' ' + e_.ajustes.texto(Textos::Grabadas);
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
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void Registrador::RegistraLectura(int p, const QString& lectura, const QString& FechaInst,
                                  const QString& HoraInst, int campo, const QDateTime& momento) {
    const int c = AEntero16(NumeroDe(lectura.left(2)));
    if (c <= 0)
        return;
    const QDateTime cuando = momento.isValid() ? momento : e_.reloj.ahora();
    QString linea, ultimo, caracTabla, prefijo;
    std::optional<FilaConf> fila;
    std::optional<LecturaProbada> probada;
    bool fuera = false;
    int s = 0;
    {
        // Sequences, rows and limits may be reloaded from the window thread meanwhile.
        QReadLocker cerrojo(&t_.cerrojo);
        CanalInfo& canal = t_.canal(p, c);
        s = canal.SecActual + 1;
        QString& ultimoValor = t_.UltValor(p, c, s); // checks the bounds before anything changes
        caracTabla = campo > 0 ? t_.Tid(p, campo).Carac : QString();
        canal.SecActual = static_cast<qint16>(s);
        ultimoValor = lectura.mid(2);
        ultimo = ultimoValor;

        prefijo = u' ' + DosDigitos(c) + u'/' + DosDigitos(s) + u' ';
        if (const FilaConf* f = config_.buscaConf(p, c, s))
            fila = *f;
        if (!fila) {
            linea = prefijo +
                    QStringLiteral("La configuración del canal %1 secuencia %2 no existe.")
                        .arg(c)
                        .arg(s) +
                    QString(22, u' ') + lectura;
            canal.SecActual = 0;
        } else {
            const QString carac = campo > 0 ? caracTabla : fila->Carac;
            linea = prefijo + cuando.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) +
                    QStringLiteral("  ") + fila->Opera + u' ' + fila->Forma + u' ' + fila->Maqui +
                    u' ' + fila->Produ + u' ' + carac + QStringLiteral("  ") + ultimo.left(8);
            const double v = NumeroDe(ultimo);
            fuera = v < t_.LimInf(p, c, s) || v > t_.LimSup(p, c, s);
            if (fuera)
                linea += QStringLiteral(" !");
            probada = LecturaProbada{
                p, c, s, carac.trimmed(), v, t_.LimInf(p, c, s), t_.LimSup(p, c, s), fuera, cuando};
            // A rejected reading used its sequence as a recorded one does: on the last one the
            // cycle starts again now, so the next reading of the channel takes sequence 1
            // however long recording takes.
            if (canal.SecActual >= canal.SecTotal)
                canal.SecActual = 0;
        }
    }
    if (probada)
        emit lecturaProbada(*probada);
    enVentana([this, p, linea] {
        log_.MuestraLinea(p, linea);
        t_.NumLecturas[p] += 1;
        emit contadoresCambiados(p);
    });

    if (!fila)
        return;
    if (fuera) {
        e_.avisos.beep();
        return;
    }

    const FilaConf& f = *fila;
    PedidoGrabacion pedido;
    pedido.puerto = p;
    pedido.canal = c;
    pedido.secuencia = s;
    pedido.momento = cuando;
    pedido.Forma = f.Forma;
    pedido.Maqui = f.Maqui;
    pedido.Produ = f.Produ;
    pedido.Opera = f.Opera;
    pedido.FechaInst = FechaInst;
    pedido.HoraInst = HoraInst;
    pedido.valores << ValorPedido{(campo > 0 ? caracTabla : f.Carac).trimmed(), ultimo, f.DTMP};
    const QString adicionales[2][2] = {{f.EAdic1, f.EAVal1}, {f.EAdic2, f.EAVal2}};
    for (const auto& [clave, valor] : adicionales)
        if (!clave.trimmed().isEmpty() && !valor.trimmed().isEmpty())
            pedido.valores << ValorPedido{clave.trimmed(), valor, 999};

    if (hilo_) {
        hilo_->encola(std::move(pedido));
        return;
    }
    e_.avisos.ocupado(true);
    const RespuestaGrabacion r = GrabaPedido(grabador_, pedido);
    e_.avisos.ocupado(false);
    alGrabar(r);
}

void Registrador::entregaDesdeGrabacion(const RespuestaGrabacion& r) {
    QMetaObject::invokeMethod(
        this, [this, r] { alGrabar(r); }, Qt::QueuedConnection);
}

void Registrador::alGrabar(const RespuestaGrabacion& r) {
    const PedidoGrabacion& pd = r.pedido;
    const int p = pd.puerto;
    for (const QString& nota : r.avisos)
        log_.MuestraLinea(p, u' ' + nota);
    const QString prefijo = u' ' + DosDigitos(pd.canal) + u'/' + DosDigitos(pd.secuencia) + u' ';
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
        if (Fallo(r.resultados[i])) {
            fallida = i;
            break;
        }
    const QString dirDatos = e_.ajustes.DirDatos;
    const QString ruta = dirDatos + pd.Forma.trimmed() + u'/' + pd.Maqui.trimmed() + u'/' +
                         pd.Produ.trimmed() + QStringLiteral(".MDB");
    switch (fallida >= 0 ? r.resultados[fallida] : ResultadoGrabacion::Grabado) {
    case ResultadoGrabacion::FaltaFormato:
        log_.MuestraLinea(p, prefijo + e_.ajustes.texto(Textos::NoExisteDestino) + u' ' + dirDatos +
                                 pd.Forma.trimmed());
        break;
    case ResultadoGrabacion::FaltaMaquina:
        log_.MuestraLinea(p, prefijo + e_.ajustes.texto(Textos::NoExisteDestino) + u' ' + dirDatos +
                                 pd.Forma.trimmed() + u'/' + pd.Maqui.trimmed());
        break;
    case ResultadoGrabacion::FaltaProducto:
        log_.MuestraLinea(p, prefijo + e_.ajustes.texto(Textos::NoExisteBase) + u' ' + ruta);
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
    if (r.retenidaDesde != 0 && !r.resultados.isEmpty() && !Fallo(r.resultados.first())) {
        t_.NumGrabadas[p] += 1;
        emit contadoresCambiados(p);
    }
}

} // namespace ort
