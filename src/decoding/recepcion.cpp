#include "decoding/recepcion.h"

#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/registro.h"
#include "decoding/registrolectura.h"
#include "ports/puerto.h"
#include "recording/grabacion.h"
#include "startup/avisos.h"
#include "startup/conexion.h"
#include "startup/reloj.h"

namespace ort {

namespace {

constexpr qint64 kTramoEsperaMs = 50;

// Waits on the device, never past the given time on the clock: true when data is waiting.
bool EsperaDatos(Reloj& reloj, Puerto& puerto, double segundos) {
    const qint64 fin = reloj.monotonoMs() + qint64(segundos * 1000.0);
    while (puerto.abierto()) {
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

void Espera(Reloj& reloj, double segundos) {
    if (!(segundos > 0 && segundos < 86400))
        return;
    auto ahora = [&reloj] { return static_cast<float>(reloj.segundosDesdeMedianoche()); };
    auto duerme = [&reloj](float faltan) {
        reloj.duerme(std::clamp<qint64>(qint64(faltan * 1000.0f) + 1, 1, kTramoEsperaMs));
    };
    const float inicio = ahora();
    float fin = inicio + static_cast<float>(segundos);
    if (fin > 86400.0f) {
        while (ahora() >= inicio)
            duerme(86400.0f - ahora());
        fin -= 86400.0f;
    }
    while (ahora() <= fin)
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
    Contexto(Receptor& r, int p, Puerto* puerto) : r_(r), p_(p), puerto_(puerto) {}

    int puerto() const override { return p_; }
    void registra(const QString& lectura) override {
        r_.registrador_.RegistraLectura(p_, lectura, FechaInst, HoraInst, campo);
    }
    const QString& leeTrama() override { return r_.LeeTrama(*this); }
    int esperando() override { return puerto_ && puerto_->abierto() ? puerto_->esperando() : 0; }
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
    void espera(double segundos) override { Espera(r_.e_.reloj, segundos); }
    double segundosDesdeMedianoche() const override {
        return r_.e_.reloj.segundosDesdeMedianoche();
    }
    int posInicio() const override { return r_.t_.PosInicio.at(p_); }
    QString gseArmaComando(int canal) override {
        return r_.comandoGse_ ? r_.comandoGse_(p_, canal) : QString();
    }
    void anota(const QString& linea) override { r_.log_.MuestraLinea(p_, linea); }

    Puerto* dispositivo() const { return puerto_; }
    int campo = 0;
    bool cerradoPorInstrumento = false;

private:
    Receptor& r_;
    int p_;
    Puerto* puerto_;
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

Puerto* Receptor::puertoDe(int p) {
    if (t_.puerto(p).TipoCon == QStringLiteral("TCP/IP"))
        return &puertos_.tcp(p);
    return &puertos_.serie(p);
}

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
    pasada(p);
    while (!pendientes_.isEmpty())
        pasada(pendientes_.takeFirst());
    // With group commit, the values of the passes are committed together now.
    registrador_.grabador().terminaPasada();
    enPasada_ = false;
}

void Receptor::pasada(int p) {
    const QString conex = t_.puerto(p).Conex;
    if (conex == QStringLiteral("TIMER")) {
        Contexto c(*this, p, nullptr);
        decodifica(c, p);
        return;
    }
    Puerto* puerto = puertoDe(p);
    if (!puerto->abierto())
        return;
    Contexto c(*this, p, puerto);
    while (puerto->abierto() && puerto->esperando() >= 1) {
        LeeTrama(c);
        if (!c.trama.isEmpty()) {
            c.FechaInst.clear();
            c.HoraInst.clear();
            if (t_.Tabla.at(p) == QStringLiteral("1"))
                DecodificaTabla(c, p);
            else
                decodifica(c, p);
        }
        if (c.cerradoPorInstrumento)
            break;
        // The serial line rests after each frame; socket data has no such pause.
        if (t_.puerto(p).TipoCon != QStringLiteral("TCP/IP"))
            Espera(e_.reloj, pausaEntreTramas);
    }
    if (c.cerradoPorInstrumento)
        emit puertoCerradoPorInstrumento(p);
}

const QString& Receptor::LeeTrama(Contexto& c) {
    c.trama.clear();
    Puerto* puerto = c.dispositivo();
    if (!puerto || !puerto->abierto() || puerto->esperando() < 1)
        return c.trama;
    const int terminador = t_.CarTerm.at(c.puerto());
    for (;;) {
        if (puerto->esperando() > 0) {
            const int ch = puerto->leeCaracter();
            if (ch < 0)
                continue;
            if (ch == terminador)
                return c.trama;
            if (ch >= 32)
                c.trama += QChar(char16_t(ch));
            continue;
        }
        if (!EsperaDatos(e_.reloj, *puerto, silencioFinTrama)) {
            // A frame left incomplete by a silence is decoded as it stands.
            e_.avisos.beep();
            return c.trama;
        }
    }
}

void Receptor::decodifica(Contexto& c, int p) {
    c.campo = 0;
    try {
        BuscaDecodificador(t_.puerto(p).Conex)(c, estado_);
    } catch (const FallaDecodificacion& f) {
        log_.MuestraLinea(
            p, QStringLiteral(" Trama no decodificada (%1): %2").arg(f.motivo(), c.trama));
    } catch (const std::exception& f) {
        log_.MuestraLinea(p, QStringLiteral(" Trama no decodificada (%1): %2")
                                 .arg(QString::fromStdString(f.what()), c.trama));
    }
}

void Receptor::DecodificaTabla(Contexto& c, int p) {
    try {
        QString trama = c.trama;
        if (t_.SepTabla.at(p) != -99)
            trama = ExpandeSeparador(trama, t_.SepTabla.at(p));
        for (int i = 1; i <= t_.TidNum.at(p); ++i) {
            const CampoTid& campo = t_.Tid(p, i);
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
