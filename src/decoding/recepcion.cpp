#include "decoding/recepcion.h"

#include "basedatos/conexion.h"
#include "config/tablas.h"
#include "config/tipoconexion.h"
#include "decoding/logpuertos.h"
#include "decoding/registro.h"
#include "decoding/registrolectura.h"
#include "ports/puerto.h"
#include "recording/grabacion.h"
#include "startup/avisos.h"
#include "startup/reloj.h"

namespace ort {

namespace {

constexpr qint64 kTramoEsperaMs = 50;

bool pedidoAlto(const std::atomic<bool>* alto) {
    return alto && alto->load(std::memory_order_relaxed);
}

// Waits on the device, never past the given time on the clock: true when data is waiting.
bool esperaDatos(Reloj& reloj, Puerto& puerto, double segundos,
                 const std::atomic<bool>* alto = nullptr) {
    const qint64 fin = reloj.monotonoMs() + qint64(segundos * 1000.0);
    while (puerto.abierto() && !pedidoAlto(alto)) {
        if (puerto.esperando() > 0)
            return true;
        const qint64 resta = fin - reloj.monotonoMs();
        if (resta <= 0)
            return false;
        puerto.esperaDatos(int(std::min(resta, kTramoEsperaMs)));
    }
    return false;
}

} // namespace

void Espera(Reloj& reloj, double segundos, const std::atomic<bool>* alto) {
    if (!(segundos > 0 && segundos < 86400))
        return;
    auto ahora = [&reloj] { return static_cast<float>(reloj.segundosDesdeMedianoche()); };
    auto duerme = [&reloj](float faltan) {
        reloj.duerme(std::clamp<qint64>(qint64(faltan * 1000.0f) + 1, 1, kTramoEsperaMs));
    };
    const float inicio = ahora();
    float fin = inicio + static_cast<float>(segundos);
    if (fin > 86400.0f) {
        while (ahora() >= inicio && !pedidoAlto(alto))
            duerme(86400.0f - ahora());
        fin -= 86400.0f;
    }
    while (ahora() <= fin && !pedidoAlto(alto))
        duerme(fin - ahora());
}

QString ExpandeSeparador(const QString& texto, int car) {
    QString r;
    for (QChar ch : texto) {
        if (ch.unicode() == car)
            r += QString(15 - (r.size() % 15), u' ');
        else
            r += ch;
    }
    return r;
}

// What decoders see of the running pass.
class Receptor::Contexto : public ContextoDecodificacion {
public:
    Contexto(Receptor& r, int p, Puerto* puerto, const std::atomic<bool>* alto)
        : r_(r)
        , p_(p)
        , puerto_(puerto)
        , alto_(alto) {
        QReadLocker l(&r.t_.cerrojo);
        conex = r.t_.puerto(p).Conex;
        tcp = tipoDeRegistro(r.t_.puerto(p).TipoCon) == TipoConexion::Tcp;
        terminador = r.t_.CarTerm.at(p);
        inicio = r.t_.PosInicio.at(p);
    }

    int puerto() const override { return p_; }
    void registra(const QString& lectura) override {
        r_.registrador_.RegistraLectura(p_, lectura, FechaInst, HoraInst, campo, momento);
    }
    const QString& leeTrama() override { return r_.LeeTrama(*this); }
    // A batch's next frame may still be on the line: it is waited for a little.
    int esperando() override {
        if (!puerto_ || !puerto_->abierto())
            return 0;
        if (puerto_->esperando() <= 0)
            esperaDatos(r_.e_.reloj, *puerto_, r_.huecoLote, alto_);
        return puerto_->abierto() ? puerto_->esperando() : 0;
    }
    void escribe(const QByteArray& datos) override {
        if (puerto_ && puerto_->abierto())
            puerto_->escribe(datos);
    }
    void cierraPuerto() override {
        if (puerto_ && puerto_->abierto()) {
            puerto_->cierra();
            cerradoPorInstrumento = true;
        }
    }
    bool puertoAbierto() const override { return puerto_ && puerto_->abierto(); }
    void espera(double segundos) override { Espera(r_.e_.reloj, segundos, alto_); }
    double segundosDesdeMedianoche() const override {
        return r_.e_.reloj.segundosDesdeMedianoche();
    }
    int posInicio() const override { return inicio; }
    QString gseArmaComando(int canal) override {
        QReadLocker l(&r_.t_.cerrojo);
        return r_.comandoGse_ ? r_.comandoGse_(p_, canal) : QString();
    }
    void anota(const QString& linea) override { r_.log_.MuestraLinea(p_, linea); }

    Puerto* dispositivo() const { return puerto_; }
    const std::atomic<bool>* alto() const { return alto_; }
    int campo = 0;
    bool cerradoPorInstrumento = false;
    // When the frame in hand was complete: the time of its readings, and on the monotonic clock.
    QDateTime momento;
    qint64 finMs = 0;
    // When data was first seen waiting during the last rest (-1: none was), and when that rest
    // ended.
    qint64 vistoMs = -1;
    qint64 finDescansoMs = 0;
    // The port's settings, read once for the pass.
    QString conex;
    bool tcp = false;
    int terminador = 13;
    int inicio = 1;

private:
    Receptor& r_;
    int p_;
    Puerto* puerto_;
    const std::atomic<bool>* alto_;
};

Receptor::Receptor(Entorno& e, TablasRuntime& t, FabricaPuertos& puertos, Registrador& registrador,
                   LogPuertos& log, ComandoGse comandoGse, QObject* parent)
    : QObject(parent)
    , e_(e)
    , t_(t)
    , puertos_(puertos)
    , registrador_(registrador)
    , log_(log)
    , comandoGse_(std::move(comandoGse)) {}

void Receptor::ComLee(int p) {
    if (!TablasRuntime::puertoValido(p))
        return;
    if (enPasada_) {
        // Served right after the running pass, never inside it.
        if (!pendientes_.contains(p))
            pendientes_.append(p);
        return;
    }
    enPasada_ = true;
    sirvePasada(p, nullptr);
    while (!pendientes_.isEmpty())
        sirvePasada(pendientes_.takeFirst(), nullptr);
    // With group commit, the values of the passes are committed together now.
    registrador_.terminaPasada();
    enPasada_ = false;
}

bool Receptor::pasada(int p, const std::atomic<bool>* alto) {
    return TablasRuntime::puertoValido(p) && sirvePasada(p, alto);
}

bool Receptor::sirvePasada(int p, const std::atomic<bool>* alto) {
    TipoConexion tipo;
    {
        QReadLocker l(&t_.cerrojo);
        tipo = tipoDePuerto(t_.puerto(p).Conex, t_.puerto(p).TipoCon);
    }
    if (tipo == TipoConexion::Reloj) {
        Contexto c(*this, p, nullptr, alto);
        c.momento = e_.reloj.ahora();
        decodifica(c, p);
        return false;
    }
    Puerto* puerto =
        tipo == TipoConexion::Tcp ? static_cast<Puerto*>(&puertos_.tcp(p)) : &puertos_.serie(p);
    if (!puerto->abierto())
        return false;
    Contexto c(*this, p, puerto, alto);
    while (puerto->abierto() && puerto->esperando() >= 1 && !pedidoAlto(alto)) {
        LeeTrama(c);
        if (!c.trama.isEmpty()) {
            c.FechaInst.clear();
            c.HoraInst.clear();
            bool tabla;
            {
                QReadLocker l(&t_.cerrojo);
                tabla = t_.Tabla.at(p) == QStringLiteral("1");
            }
            if (tabla)
                DecodificaTabla(c, p);
            else
                decodifica(c, p);
        }
        if (c.cerradoPorInstrumento)
            break;
        // The serial line rests after each frame; socket data has no such pause.
        if (tipo != TipoConexion::Tcp)
            descansa(c, *puerto);
    }
    if (c.cerradoPorInstrumento)
        emit puertoCerradoPorInstrumento(p);
    return c.cerradoPorInstrumento;
}

// A frame is complete when its last character arrived. A frame that was already waiting when
// the rest after the previous one began, or that arrived during it, is taken as complete when it
// was first seen, but not before that rest ended: the reading keeps that time, and the next rest
// counts from it, so that a port sending exactly as fast as its rests allow never falls behind,
// and a port that sends faster is still drained one rest per frame.
void Receptor::fijaFin(Contexto& c, bool esperoDatos) {
    const qint64 ahora = e_.reloj.monotonoMs();
    c.finMs = c.vistoMs >= 0 && !esperoDatos ? std::min(ahora, std::max(c.vistoMs, c.finDescansoMs))
                                             : ahora;
    c.vistoMs = -1;
    c.momento = e_.reloj.ahora().addMSecs(c.finMs - ahora);
}

// The rest after a serial frame, counted from the frame's end (decoding it is part of the
// rest): it waits on the device, so that what arrives meanwhile is seen (and timed) at once,
// and read after the rest.
void Receptor::descansa(Contexto& c, Puerto& puerto) {
    const qint64 fin = c.finMs + qint64(pausaEntreTramas * 1000.0);
    c.vistoMs = -1;
    for (qint64 resta = fin - e_.reloj.monotonoMs(); resta > 0 && !pedidoAlto(c.alto());
         resta = fin - e_.reloj.monotonoMs()) {
        if (c.vistoMs < 0) {
            if (puerto.esperando() > 0 || puerto.esperaDatos(int(std::min(resta, kTramoEsperaMs))))
                c.vistoMs = e_.reloj.monotonoMs();
            continue;
        }
        e_.reloj.duerme(std::min(resta, kTramoEsperaMs));
    }
    c.finDescansoMs = fin;
}

const QString& Receptor::LeeTrama(Contexto& c) {
    c.trama.clear();
    Puerto* puerto = c.dispositivo();
    if (!puerto || !puerto->abierto())
        return c.trama;
    // A further frame that a decoder asks for may not have begun yet: it is waited for like any
    // frame, on this port only; nothing within the silence means there is none.
    if (puerto->esperando() < 1 && !esperaDatos(e_.reloj, *puerto, silencioFinTrama, c.alto()))
        return c.trama;
    const int terminador = c.terminador;
    bool esperoDatos = false;
    for (;;) {
        if (puerto->esperando() > 0) {
            // What is waiting, up to the terminator, in one read; the next frame stays waiting.
            const QByteArray parte = puerto->leeHasta(terminador);
            for (const char b : parte) {
                const int ch = static_cast<unsigned char>(b);
                if (ch == terminador) {
                    fijaFin(c, esperoDatos);
                    return c.trama;
                }
                if (ch >= 32)
                    c.trama += QChar(char16_t(ch));
            }
            continue;
        }
        esperoDatos = true;
        if (!esperaDatos(e_.reloj, *puerto, silencioFinTrama, c.alto())) {
            // A frame left incomplete by a silence is decoded as it stands.
            fijaFin(c, true);
            if (!pedidoAlto(c.alto()))
                e_.avisos.beep();
            return c.trama;
        }
    }
}

void Receptor::decodifica(Contexto& c, int p) {
    c.campo = 0;
    // The channels that FOCUG and MIRAN announce are common to all ports: each pass works on a
    // copy and hands back what its decoder changed.
    EstadoDecodificadores estado;
    {
        QMutexLocker l(&mutexEstado_);
        estado = estado_;
    }
    const EstadoDecodificadores antes = estado;
    try {
        buscaDecodificador(c.conex)(c, estado);
    } catch (const FallaDecodificacion& f) {
        log_.MuestraLinea(
            p, QStringLiteral(" Trama no decodificada (%1): %2").arg(f.motivo(), c.trama));
    } catch (const std::exception& f) {
        log_.MuestraLinea(p, QStringLiteral(" Trama no decodificada (%1): %2")
                                 .arg(QString::fromStdString(f.what()), c.trama));
    }
    QMutexLocker l(&mutexEstado_);
    if (estado.CanalFocug != antes.CanalFocug)
        estado_.CanalFocug = estado.CanalFocug;
    if (estado.CanalMiran != antes.CanalMiran)
        estado_.CanalMiran = estado.CanalMiran;
}

void Receptor::DecodificaTabla(Contexto& c, int p) {
    try {
        QString trama = c.trama;
        QList<CampoTid> campos;
        int separador;
        {
            QReadLocker l(&t_.cerrojo);
            separador = t_.SepTabla.at(p);
            for (int i = 1; i <= t_.TidNum.at(p); ++i)
                campos << t_.Tid(p, i);
        }
        if (separador != -99)
            trama = ExpandeSeparador(trama, separador);
        for (int i = 1; i <= campos.size(); ++i) {
            const CampoTid& campo = campos[i - 1];
            const int pos = campo.Etiq.isEmpty() ? 1 : int(trama.indexOf(campo.Etiq)) + 1;
            if (pos <= 0)
                continue;
            const int desde = pos + int(campo.Etiq.size()) + campo.Pos - 1;
            if (desde < 1 || campo.Long < 0)
                throw FallaDecodificacion(
                    QStringLiteral("el campo %1 de la tabla no cabe en la trama").arg(i));
            c.campo = i;
            c.registra(QStringLiteral("01") + trama.mid(desde - 1, campo.Long));
        }
    } catch (const std::exception& f) {
        log_.MuestraLinea(p, QStringLiteral(" Trama no decodificada (%1): %2")
                                 .arg(QString::fromUtf8(f.what()), c.trama));
    }
    c.campo = 0;
}

} // namespace ort
