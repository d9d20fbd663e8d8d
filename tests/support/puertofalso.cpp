#include "support/puertofalso.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace ort::prueba {

void LineaFalsa::libera(bool abierto) {
    if (!reloj_)
        return;
    const qint64 ahora = reloj_->monotonoMs();
    std::stable_sort(programados_.begin(), programados_.end(),
                     [](const Programado& a, const Programado& b) { return a.ms < b.ms; });
    while (!programados_.isEmpty() && programados_.first().ms <= ahora) {
        if (abierto)
            recibido_ += programados_.first().trozo;
        programados_.removeFirst();
    }
}

void LineaFalsa::programa(qint64 ms, const QByteArray& trozo) {
    if (!reloj_)
        throw std::logic_error("LineaFalsa::programa needs a fake clock");
    programados_ << Programado{reloj_->monotonoMs() + std::max<qint64>(ms, 0), trozo};
}

bool LineaFalsa::espera(int ms, bool abierto) {
    libera(abierto);
    if (!abierto)
        return false;
    if (!recibido_.isEmpty())
        return true;
    if (!reloj_)
        return false;
    const qint64 ahora = reloj_->monotonoMs();
    qint64 hasta = ahora + std::max(ms, 0);
    for (const auto& p : programados_)
        hasta = std::min(hasta, p.ms);
    reloj_->duerme(hasta - ahora);
    libera(abierto);
    return !recibido_.isEmpty();
}

int LineaFalsa::leeCaracter(bool abierto) {
    libera(abierto);
    if (recibido_.isEmpty())
        return -1;
    const int c = static_cast<unsigned char>(recibido_.front());
    recibido_.remove(0, 1);
    return c;
}

QByteArray LineaFalsa::leeTodo(bool abierto) {
    libera(abierto);
    return std::exchange(recibido_, QByteArray());
}

void LineaFalsa::anota(const QByteArray& datos) {
    escrituras << Escritura{reloj_ ? reloj_->monotonoMs() : -1,
                            reloj_ ? reloj_->ahora() : QDateTime(), datos};
}

QByteArray LineaFalsa::escrito() const {
    QByteArray todo;
    for (const auto& e : escrituras)
        todo += e.datos;
    return todo;
}

namespace {

Falla FallaUsual(PuertoSerieFalso::Paso paso) {
    const QString fuente = QLatin1String(kFuentePuertoSerie);
    switch (paso) {
    case PuertoSerieFalso::Paso::Numero:
        return {fuente, kFallaNumeroPuerto, QStringLiteral("Número de puerto no válido.")};
    case PuertoSerieFalso::Paso::Abre:
        return {fuente, kFallaPuertoAbierto, QStringLiteral("El puerto está en uso.")};
    case PuertoSerieFalso::Paso::Settings:
    case PuertoSerieFalso::Paso::BufferEntrada:
    case PuertoSerieFalso::Paso::Umbral:
        return {fuente, kFallaValorNoValido, QStringLiteral("Valor de propiedad no válido.")};
    case PuertoSerieFalso::Paso::Dtr:
    case PuertoSerieFalso::Paso::Rts:
        break;
    }
    return {fuente, kFallaHardware, QStringLiteral("El hardware no está disponible.")};
}

std::optional<Falla> FallaSerie(qint64 numero, const QString& descripcion) {
    return Falla{QLatin1String(kFuentePuertoSerie), numero, descripcion};
}

} // namespace

PuertoSerieFalso::PuertoSerieFalso(RelojFalso* reloj, QObject* parent)
    : PuertoSerie(parent)
    , linea_(reloj) {}

void PuertoSerieFalso::fallaEn(Paso p, std::optional<Falla> falla) {
    fallas_.insert(p, falla.value_or(FallaUsual(p)));
}

std::optional<Falla> PuertoSerieFalso::paso(Paso p, const QString& anotacion,
                                            std::optional<Falla> propia) {
    const std::optional<Falla> f = fallas_.contains(p) ? fallas_.value(p) : propia;
    pasos << anotacion + (f ? QStringLiteral(" -> %1").arg(f->numero) : QString());
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaNumero(int puerto) {
    const auto f = paso(Paso::Numero, QStringLiteral("CommPort=%1").arg(puerto),
                        abierto_ ? FallaSerie(kFallaPuertoAbierto, "El puerto está abierto.")
                        : puerto < 1 || puerto > 16
                            ? FallaSerie(kFallaNumeroPuerto, "Número de puerto no válido.")
                            : std::optional<Falla>());
    if (!f)
        numero = puerto;
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaSettings(const QString& s) {
    QString problema;
    const auto c = InterpretaSettings(s, &problema);
    const auto f = paso(Paso::Settings, "Settings=" + s,
                        c ? std::optional<Falla>() : FallaSerie(kFallaValorNoValido, problema));
    if (!f) {
        settings = s;
        configuracion = *c;
    }
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaBufferEntrada(int bytes) {
    const auto f = paso(Paso::BufferEntrada, QStringLiteral("InBufferSize=%1").arg(bytes),
                        bytes < 1 ? FallaSerie(kFallaValorNoValido, "Tamaño de búfer no válido.")
                                  : std::optional<Falla>());
    if (!f)
        bufferEntrada = bytes;
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaUmbral(int caracteres) {
    const auto f = paso(Paso::Umbral, QStringLiteral("RThreshold=%1").arg(caracteres),
                        caracteres < 0 ? FallaSerie(kFallaValorNoValido, "Umbral no válido.")
                                       : std::optional<Falla>());
    if (!f)
        umbral = caracteres;
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaDtr(bool on) {
    const auto f = paso(Paso::Dtr, QStringLiteral("DTREnable=%1").arg(on ? 1 : 0));
    if (!f)
        dtr = on;
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaRts(bool on) {
    const auto f = paso(Paso::Rts, QStringLiteral("RTSEnable=%1").arg(on ? 1 : 0));
    if (!f)
        rts = on;
    return f;
}

std::optional<Falla> PuertoSerieFalso::abre() {
    const auto f =
        paso(Paso::Abre, "PortOpen=1",
             abierto_      ? FallaSerie(kFallaPuertoAbierto, "El puerto ya está abierto.")
             : numero == 0 ? FallaSerie(kFallaNumeroPuerto, "No se ha fijado el número de puerto.")
                           : std::optional<Falla>());
    if (!f) {
        abierto_ = true;
        ++aperturas;
    }
    return f;
}

void PuertoSerieFalso::cierra() {
    if (!abierto_)
        return;
    pasos << QStringLiteral("PortOpen=0");
    abierto_ = false;
    linea_.recibido().clear();
    ++cierres;
}

bool PuertoSerieFalso::esperaDatos(int ms) {
    return linea_.espera(ms, abierto_);
}

void PuertoSerieFalso::anuncia() {
    if (abierto_ && umbral > 0 && linea_.recibido().size() >= umbral)
        emit datos();
}

void PuertoSerieFalso::llega(const QByteArray& trozo) {
    if (!abierto_)
        return;
    linea_.recibido() += trozo;
    anuncia();
}

void PuertoSerieFalso::llegaEn(qint64 ms, const QByteArray& trozo) {
    linea_.programa(ms, trozo);
}

void PuertoSerieFalso::entrega() {
    linea_.libera(abierto_);
    anuncia();
}

void PuertoSerieFalso::pierde(const QString& motivo) {
    if (!abierto_)
        return;
    cierra();
    emit perdido(motivo);
}

PuertoTcpFalso::PuertoTcpFalso(RelojFalso* reloj, QObject* parent)
    : PuertoTcp(parent)
    , linea_(reloj) {}

std::optional<Falla> PuertoTcpFalso::conecta(const QString& h, qint32 p) {
    const QString fuente = QLatin1String(kFuentePuertoTcp);
    if (h.trimmed().isEmpty())
        return Falla{fuente, kFallaTcpValorNoValido,
                     QStringLiteral("No se ha indicado el servidor remoto.")};
    if (p < 1 || p > 65535)
        return Falla{fuente, kFallaTcpValorNoValido, QStringLiteral("Puerto remoto no válido.")};
    cierra();
    host = h.trimmed();
    puerto = p;
    ++conexiones;
    if (respondeTras_ == 0) {
        estado_ = Estado::Conectado;
    } else {
        estado_ = Estado::Conectando;
        conectaEn_ =
            respondeTras_ > 0 && linea_.reloj() ? linea_.reloj()->monotonoMs() + respondeTras_ : -1;
    }
    return std::nullopt;
}

bool PuertoTcpFalso::conectado() const {
    if (estado_ == Estado::Conectando && conectaEn_ >= 0 && linea_.reloj() &&
        linea_.reloj()->monotonoMs() >= conectaEn_)
        estado_ = Estado::Conectado;
    return estado_ == Estado::Conectado;
}

void PuertoTcpFalso::cierra() {
    linea_.recibido().clear();
    if (estado_ == Estado::Cerrado)
        return;
    estado_ = Estado::Cerrado;
    ++cierres;
}

bool PuertoTcpFalso::esperaDatos(int ms) {
    if (!linea_.recibido().isEmpty())
        return true;
    return linea_.espera(ms, conectado());
}

void PuertoTcpFalso::llega(const QByteArray& trozo) {
    if (!conectado())
        return;
    linea_.recibido() += trozo;
    emit datos();
}

void PuertoTcpFalso::llegaEn(qint64 ms, const QByteArray& trozo) {
    linea_.programa(ms, trozo);
}

void PuertoTcpFalso::entrega() {
    linea_.libera(conectado());
    if (!linea_.recibido().isEmpty())
        emit datos();
}

void PuertoTcpFalso::pierde(const QString& motivo) {
    if (!conectado())
        return;
    estado_ = Estado::Cerrado;
    emit perdido(motivo);
}

namespace {

std::size_t Indice(int p) {
    if (p < 1 || p > 16)
        throw std::out_of_range("puerto " + std::to_string(p) + " fuera de 1..16");
    return static_cast<std::size_t>(p);
}

} // namespace

PuertoSerieFalso& FabricaPuertosFalsa::serie(int p) {
    auto& puerto = serie_[Indice(p)];
    if (!puerto)
        puerto = std::make_unique<PuertoSerieFalso>(reloj_);
    return *puerto;
}

PuertoTcpFalso& FabricaPuertosFalsa::tcp(int p) {
    auto& puerto = tcp_[Indice(p)];
    if (!puerto)
        puerto = std::make_unique<PuertoTcpFalso>(reloj_);
    return *puerto;
}

} // namespace ort::prueba
