#include "monitor/adquisicion.h"

#include "basedatos/conexion.h"
#include "config/tipoconexion.h"
#include "decoding/hilopuerto.h"
#include "monitor/conectaabre.h"
#include "ports/eventos.h"
#include "ports/puerto.h"
#include "qualitydb/basecalidad.h"
#include "recording/diario.h"
#include "recording/grabacion.h"
#include "recording/gsecomando.h"
#include "recording/hilograbacion.h"
#include "startup/avisos.h"
#include "startup/reloj.h"
#include "startup/textos.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QScopeGuard>

namespace ort {

Adquisicion::Adquisicion(Entorno& e, FabricaPuertos& puertos, Grabador& grabador, QObject* parent)
    : QObject(parent)
    , e_(e)
    , puertos_(puertos)
    , config_(e)
    , registrador_(e, t_, config_, grabador, log_)
    , receptor_(e, t_, puertos, registrador_, log_,
                [this](int p, int c) { return GSEArmaComando(e_, config_, p, c); }) {
    timer_.setInterval(kIntervaloMs);
    connect(&timer_, &QTimer::timeout, this, &Adquisicion::tick);
    connect(&registrador_, &Registrador::contadoresCambiados, this,
            &Adquisicion::contadoresCambiados);
    connect(&registrador_, &Registrador::lecturaProbada, this, &Adquisicion::lecturaProbada);
    connect(&receptor_, &Receptor::puertoCerradoPorInstrumento, this,
            [this](int p) { cierraPuerto(p, QStringLiteral("el instrumento terminó su envío")); });
    for (int p = 1; p <= kPuertos; ++p)
        conectaEventos(p);
}

Adquisicion::~Adquisicion() {
    detiene();
}

void Adquisicion::usaHilos(std::function<std::unique_ptr<Grabador>()> fabrica) {
    if (conHilos_)
        return;
    conHilos_ = true;
    auto entrega = [this](const RespuestaGrabacion& r) { registrador_.entregaDesdeGrabacion(r); };
    grabacion_ = std::make_unique<HiloGrabacion>(std::move(fabrica), entrega);
    registrador_.fijaHiloGrabacion(grabacion_.get());
    if (maximoDiario_ > 0)
        grabacion_->usaDiario(
            e_.ajustes, e_.reloj, e_.ajustes.Ruta + kArchivoDiario, maximoDiario_,
            [this](int p, const QString& linea, const QString& mensaje) {
                registrador_.sucesoDesdeGrabacion(p, linea, mensaje);
            },
            [this] { registrador_.retenidasCambiadas(); });
    grabacion_->alGrabarRetenidas([this](int p, int n) { registrador_.grabadasDespues(p, n); });
    grabacion_->inicia();
}

void Adquisicion::detiene() {
    // Also when asked for inside a wait of a port's opening (which lets events run): the
    // opening under way and the restart around it stop there and open nothing more.
    terminando_ = true;
    timer_.stop();
    cierraTodo();
    if (grabacion_)
        grabacion_->detiene();
}

void Adquisicion::conectaEventos(int p) {
    for (Puerto* puerto :
         {static_cast<Puerto*>(&puertos_.serie(p)), static_cast<Puerto*>(&puertos_.tcp(p))}) {
        connect(puerto, &Puerto::datos, this, [this, p] { comLeeDesdeEvento(p); });
        connect(puerto, &Puerto::evento, this, [this, p](int valor) {
            if (eventoSeMuestra(valor))
                log_.MuestraLinea(p, u' ' + clasificaEvento(valor, e_.ajustes));
        });
        connect(puerto, &Puerto::perdido, this, [this, p](const QString& motivo) {
            // A port's worker connects its device again itself.
            if (!hilos_[p])
                cierraPuerto(p, motivo);
        });
    }
}

void Adquisicion::comLeeDesdeEvento(int p) {
    // A port's worker watches its device itself.
    if (!t_.puerto(p).Activo || hilos_[p])
        return;
    receptor_.ComLee(p);
}

void Adquisicion::arrancaHilo(int p) {
    if (!conHilos_ || hilos_[p])
        return;
    Puerto* puerto = nullptr;
    if (tipoDePuerto(t_.puerto(p).Conex, t_.puerto(p).TipoCon) != TipoConexion::Reloj)
        puerto = tipoDeRegistro(t_.puerto(p).TipoCon) == TipoConexion::Tcp
                     ? static_cast<Puerto*>(&puertos_.tcp(p))
                     : static_cast<Puerto*>(&puertos_.serie(p));
    auto hilo = std::make_unique<HiloPuerto>(p, receptor_, e_.reloj, puerto);
    connect(hilo.get(), &HiloPuerto::perdido, this, [this](int q, const QString& motivo) {
        log_.MuestraLinea(
            q, QStringLiteral(" Puerto %1 perdido, se conectará de nuevo: %2").arg(q).arg(motivo));
        emit estadoPuerto(q, false);
    });
    connect(hilo.get(), &HiloPuerto::recuperado, this, [this](int q) {
        log_.MuestraLinea(q, QStringLiteral(" Puerto %1 conectado de nuevo.").arg(q));
        emit estadoPuerto(q, t_.puerto(q).Activo);
    });
    hilo->start();
    hilos_[p] = std::move(hilo);
}

void Adquisicion::detieneHilo(int p) {
    if (auto hilo = std::move(hilos_[p]))
        hilo->detiene();
}

// Stops the port's worker (the device is then back on this thread) and closes the device.
void Adquisicion::cierraDispositivo(int p) {
    detieneHilo(p);
    if (tipoDeRegistro(t_.puerto(p).TipoCon) == TipoConexion::Tcp)
        puertos_.tcp(p).cierra();
    else
        puertos_.serie(p).cierra();
}

void Adquisicion::arranca() {
    Reinicia();
    if (terminando_)
        return;
    {
        // Only its messages: a password asked, a damaged file repaired, before the first pass.
        Conexion c;
        static_cast<void>(OpenDBOK(e_.ajustes.StrConexion, c, e_));
    }
    timer_.start();
}

void Adquisicion::Reinicia() {
    if (ocupada_)
        return; // asked for during a port's wait: the restart under way is not re-entered
    ocupada_ = true;
    const auto libera = qScopeGuard([this] { ocupada_ = false; });
    for (int p = 1; p <= kPuertos; ++p)
        if (t_.puerto(p).Activo) {
            cierraDispositivo(p);
            t_.puerto(p).Activo = false;
            emit estadoPuerto(p, false);
        }
    bool conConfiguracion;
    {
        QWriteLocker l(&t_.cerrojo);
        conConfiguracion = config_.IniArch();
        config_.IniSecue(t_);
        config_.IniMux(t_);
    }
    if (!conConfiguracion)
        for (int p = 1; p <= kPuertos; ++p)
            emit estadoPuerto(p, false); // no configuration: every port is shown closed
    emit captionsCambiadas();
    abrePuertosMarcados();
}

void Adquisicion::OpenPuertos() {
    if (ocupada_)
        return;
    ocupada_ = true;
    const auto libera = qScopeGuard([this] { ocupada_ = false; });
    abrePuertosMarcados();
}

void Adquisicion::abrePuertosMarcados() {
    const QList<FilaPuerto> filas = config_.puertos();
    for (const FilaPuerto& f : filas) {
        t_.PuertoActual = f.Puert;
        if (f.Open) {
            conmuta();
        } else {
            t_.puerto(f.Puert).Activo = false;
            emit estadoPuerto(f.Puert, false);
        }
    }
}

void Adquisicion::cmdAbre() {
    // A click during the wait for a socket (of any port, or of a restart) is ignored: the
    // wait lets events run, and nothing may switch a port or restart inside it.
    if (ocupada_)
        return;
    ocupada_ = true;
    const auto libera = qScopeGuard([this] { ocupada_ = false; });
    conmuta();
}

void Adquisicion::conmuta() {
    const int p = t_.PuertoActual;
    if (terminando_ || !TablasRuntime::puertoValido(p) || esperandoSocket_[p])
        return;
    PuertoInfo& info = t_.puerto(p);
    // The instrument code is taken in any case here.
    const TipoConexion tipo = tipoDePuerto(info.Conex.toUpper(), info.TipoCon);
    if (tipo == TipoConexion::Nada)
        return;
    if (tipo == TipoConexion::Reloj) {
        info.Activo = !info.Activo;
        if (!info.Activo)
            detieneHilo(p);
    } else if (!info.Activo) {
        ConnectAbre(e_, t_, puertos_, p,
                    [this](const QString& clave) { return registroINS(e_, clave); });
        bool abierto;
        // The connection record (and with it the port's type) is read by the opening.
        if (tipoDeRegistro(info.TipoCon) == TipoConexion::Tcp) {
            esperandoSocket_[p] = true;
            e_.avisos.ocupado(true);
            // The window keeps serving its events while the connection completes; time is
            // measured on a clock that midnight does not touch.
            const qint64 inicio = e_.reloj.monotonoMs();
            abierto = false;
            do {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                abierto = puertos_.tcp(p).conectado();
                if (!abierto)
                    e_.reloj.duerme(10);
            } while (!abierto && !terminando_ && e_.reloj.monotonoMs() - inicio <= kEsperaSocketMs);
            e_.avisos.ocupado(false);
            esperandoSocket_[p] = false;
            // Stopped meanwhile: the port stays closed, and its configuration as it was.
            if (terminando_) {
                puertos_.tcp(p).cierra();
                return;
            }
            if (!abierto)
                puertos_.tcp(p).cierra();
        } else {
            abierto = puertos_.serie(p).abierto();
        }
        if (abierto)
            info.Activo = true;
        else
            e_.avisos.beep();
    } else {
        cierraDispositivo(p);
        info.Activo = false;
    }
    emit estadoPuerto(p, info.Activo);
    {
        QWriteLocker l(&t_.cerrojo);
        config_.fijaOpen(p, info.Activo);
    }
    if (info.Activo) {
        cargaLimites(p);
        arrancaHilo(p);
    }
}

void Adquisicion::cargaLimites(int p) {
    Conexion c;
    // Unopened, every limit's statement fails and says so.
    static_cast<void>(OpenDBOK(e_.ajustes.StrConexion, c, e_));
    BaseCalidad bd(c);
    QStringList problemas;
    for (const FilaConf& f : config_.confDePuerto(p)) {
        double inf = -999999.0, sup = 999999.0;
        const auto r = bd.limites(f.Maqui.trimmed(), f.Produ.trimmed(), f.Carac.trimmed());
        if (!r) {
            problemas << bd.sentencia() + QStringLiteral(": ") + r.falla().descripcion;
        } else if (!r->vacio()) {
            const QVariant vi = r->valor(0, QStringLiteral("CXPLINFC"));
            const QVariant vs = r->valor(0, QStringLiteral("CXPLSUPC"));
            if (vi.isNull() || vs.isNull() || vi.toString().trimmed().isEmpty() ||
                vs.toString().trimmed().isEmpty())
                problemas << QStringLiteral("canal %1 secuencia %2: límite vacío en %3")
                                 .arg(f.Canal)
                                 .arg(f.Secue)
                                 .arg(bd.sentencia());
            else {
                inf = vi.toDouble();
                sup = vs.toDouble();
            }
        }
        QWriteLocker l(&t_.cerrojo);
        t_.LimInf(p, f.Canal, f.Secue) = inf;
        t_.LimSup(p, f.Canal, f.Secue) = sup;
        emit limitesCargados(p, f.Canal, f.Secue, f.Carac.trimmed(), inf, sup);
    }
    if (!problemas.isEmpty())
        e_.avisos.mensaje(QStringLiteral("ORT. cmdAbre.\n\n") +
                              e_.ajustes.texto(Textos::PuertoCaption) + u' ' + QString::number(p) +
                              QStringLiteral("\nSe usan los límites por omisión para:\n") +
                              problemas.join(u'\n'),
                          Avisos::Icono::Exclamacion);
}

void Adquisicion::tick() {
    for (int p = 1; p <= kPuertos; ++p) {
        const PuertoInfo& info = t_.puerto(p);
        if (!info.Activo)
            continue;
        const TipoConexion tipo = tipoDePuerto(info.Conex, info.TipoCon);
        if (hilos_[p]) {
            // A worker watches its device; a TIMER port's worker is asked for its pass.
            if (tipo == TipoConexion::Reloj)
                hilos_[p]->pide();
        } else if (tipo == TipoConexion::Reloj) {
            receptor_.ComLee(p);
        } else if (tipoDeRegistro(info.TipoCon) != TipoConexion::Tcp) {
            PuertoSerie& serie = puertos_.serie(p);
            if (serie.abierto() && serie.esperando() >= 1)
                receptor_.ComLee(p);
        }
    }
}

void Adquisicion::IniSecue() {
    if (ocupada_)
        return;
    QWriteLocker l(&t_.cerrojo);
    config_.IniSecue(t_);
}

void Adquisicion::cierraTodo() {
    // Every worker is told to stop first, so that their last waits end together.
    for (int p = 1; p <= kPuertos; ++p)
        if (hilos_[p])
            hilos_[p]->pideAlto();
    for (int p = 1; p <= kPuertos; ++p) {
        detieneHilo(p);
        puertos_.serie(p).cierra();
        puertos_.tcp(p).cierra();
        t_.puerto(p).Activo = false;
    }
}

void Adquisicion::cierraPuerto(int p, const QString& motivo) {
    if (!TablasRuntime::puertoValido(p))
        return;
    const bool estaba = t_.puerto(p).Activo;
    detieneHilo(p);
    t_.puerto(p).Activo = false;
    if (estaba) {
        log_.MuestraLinea(p, QStringLiteral(" Puerto %1 cerrado: %2").arg(p).arg(motivo));
        emit estadoPuerto(p, false);
    }
}

void Adquisicion::fijaPuertoActual(int p) {
    if (TablasRuntime::puertoValido(p))
        t_.PuertoActual = p;
}

QString Adquisicion::captionFrame() const {
    const int p = t_.PuertoActual;
    QString conex = TablasRuntime::puertoValido(p) ? t_.puerto(p).Conex : QString();
    while (conex.endsWith(u' '))
        conex.chop(1);
    return e_.ajustes.texto(Textos::PuertoCaption) + QString::number(p) + QStringLiteral(": ") +
           conex;
}

QString Adquisicion::captionAbre() const {
    const int p = t_.PuertoActual;
    const bool abierto = TablasRuntime::puertoValido(p) && t_.puerto(p).Activo;
    return e_.ajustes.texto(abierto ? Textos::BotonCerrar : Textos::BotonAbrir);
}

QString Adquisicion::archivoConfig() const {
    return QFileInfo(config_.ruta()).fileName();
}

} // namespace ort
