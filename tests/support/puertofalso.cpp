#include "support/puertofalso.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace ort::prueba {

void LineaFalsa::libera(bool abierto) {
    if (!reloj_)
        return;
    const qint64 ahora = reloj_->monotonoMs();
    // Chunks leave in time order; equal times keep the order they were given in.
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
    const qint64 limite = ahora + std::max(ms, 0);
    qint64 proximo = -1;
    for (const auto& p : programados_)
        if (proximo < 0 || p.ms < proximo)
            proximo = p.ms;
    if (proximo >= 0 && proximo <= limite) {
        reloj_->duerme(proximo - ahora);
        libera(abierto);
        return !recibido_.isEmpty();
    }
    reloj_->duerme(limite - ahora);
    libera(abierto);
    return !recibido_.isEmpty();
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

Falla FallaSerie(qint64 numero, const QString& descripcion) {
    return {QLatin1String(kFuentePuertoSerie), numero, descripcion};
}

} // namespace

PuertoSerieFalso::PuertoSerieFalso(RelojFalso* reloj, QObject* parent)
    : PuertoSerie(parent)
    , linea_(reloj) {}

void PuertoSerieFalso::fallaEn(Paso p, std::optional<Falla> falla) {
    fallas_.insert(p, falla.value_or(FallaUsual(p)));
}

std::optional<Falla> PuertoSerieFalso::paso(Paso p, const QString& anotacion) {
    if (!fallas_.contains(p))
        return std::nullopt;
    pasos << anotacion + QStringLiteral(" -> %1").arg(fallas_.value(p).numero);
    return fallas_.value(p);
}

std::optional<Falla> PuertoSerieFalso::fijaNumero(int puerto) {
    const QString anotacion = QStringLiteral("CommPort=%1").arg(puerto);
    if (auto f = paso(Paso::Numero, anotacion))
        return f;
    std::optional<Falla> f;
    if (abierto_)
        f = FallaSerie(kFallaPuertoAbierto, QStringLiteral("El puerto está abierto."));
    else if (puerto < 1 || puerto > 16)
        f = FallaSerie(kFallaNumeroPuerto, QStringLiteral("Número de puerto no válido."));
    if (f) {
        pasos << anotacion + QStringLiteral(" -> %1").arg(f->numero);
        return f;
    }
    pasos << anotacion;
    numero = puerto;
    return std::nullopt;
}

std::optional<Falla> PuertoSerieFalso::fijaSettings(const QString& s) {
    const QString anotacion = QStringLiteral("Settings=") + s;
    if (auto f = paso(Paso::Settings, anotacion))
        return f;
    QString problema;
    const auto c = InterpretaSettings(s, &problema);
    if (!c) {
        pasos << anotacion + QStringLiteral(" -> %1").arg(kFallaValorNoValido);
        return FallaSerie(kFallaValorNoValido, problema);
    }
    pasos << anotacion;
    settings = s;
    configuracion = *c;
    return std::nullopt;
}

std::optional<Falla> PuertoSerieFalso::fijaBufferEntrada(int bytes) {
    const QString anotacion = QStringLiteral("InBufferSize=%1").arg(bytes);
    if (auto f = paso(Paso::BufferEntrada, anotacion))
        return f;
    if (bytes < 1) {
        pasos << anotacion + QStringLiteral(" -> %1").arg(kFallaValorNoValido);
        return FallaSerie(kFallaValorNoValido, QStringLiteral("Tamaño de búfer no válido."));
    }
    pasos << anotacion;
    bufferEntrada = bytes;
    return std::nullopt;
}

std::optional<Falla> PuertoSerieFalso::fijaUmbral(int caracteres) {
    const QString anotacion = QStringLiteral("RThreshold=%1").arg(caracteres);
    if (auto f = paso(Paso::Umbral, anotacion))
        return f;
    if (caracteres < 0) {
        pasos << anotacion + QStringLiteral(" -> %1").arg(kFallaValorNoValido);
        return FallaSerie(kFallaValorNoValido, QStringLiteral("Umbral no válido."));
    }
    pasos << anotacion;
    umbral = caracteres;
    return std::nullopt;
}

std::optional<Falla> PuertoSerieFalso::fijaDtr(bool on) {
    const QString anotacion = QStringLiteral("DTREnable=%1").arg(on ? 1 : 0);
    if (auto f = paso(Paso::Dtr, anotacion))
        return f;
    pasos << anotacion;
    dtr = on;
    return std::nullopt;
}

std::optional<Falla> PuertoSerieFalso::fijaRts(bool on) {
    const QString anotacion = QStringLiteral("RTSEnable=%1").arg(on ? 1 : 0);
    if (auto f = paso(Paso::Rts, anotacion))
        return f;
    pasos << anotacion;
    rts = on;
    return std::nullopt;
}

std::optional<Falla> PuertoSerieFalso::abre() {
    const QString anotacion = QStringLiteral("PortOpen=1");
    if (auto f = paso(Paso::Abre, anotacion))
        return f;
    std::optional<Falla> f;
    if (abierto_)
        f = FallaSerie(kFallaPuertoAbierto, QStringLiteral("El puerto ya está abierto."));
    else if (numero == 0)
        f = FallaSerie(kFallaNumeroPuerto, QStringLiteral("No se ha fijado el número de puerto."));
    if (f) {
        pasos << anotacion + QStringLiteral(" -> %1").arg(f->numero);
        return f;
    }
    pasos << anotacion;
    abierto_ = true;
    ++aperturas;
    return std::nullopt;
}

void PuertoSerieFalso::cierra() {
    if (!abierto_)
        return;
    pasos << QStringLiteral("PortOpen=0");
    abierto_ = false;
    linea_.recibido().clear();
    ++cierres;
}

int PuertoSerieFalso::esperando() {
    linea_.libera(abierto_);
    return static_cast<int>(linea_.recibido().size());
}

int PuertoSerieFalso::leeCaracter() {
    linea_.libera(abierto_);
    if (linea_.recibido().isEmpty())
        return -1;
    const int c = static_cast<unsigned char>(linea_.recibido().front());
    linea_.recibido().remove(0, 1);
    return c;
}

QByteArray PuertoSerieFalso::leeTodo() {
    linea_.libera(abierto_);
    return std::exchange(linea_.recibido(), QByteArray());
}

bool PuertoSerieFalso::escribe(const QByteArray& datos) {
    if (!abierto_)
        return false;
    linea_.anota(datos);
    return true;
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

int PuertoTcpFalso::esperando() {
    linea_.libera(conectado());
    return static_cast<int>(linea_.recibido().size());
}

int PuertoTcpFalso::leeCaracter() {
    linea_.libera(conectado());
    if (linea_.recibido().isEmpty())
        return -1;
    const int c = static_cast<unsigned char>(linea_.recibido().front());
    linea_.recibido().remove(0, 1);
    return c;
}

QByteArray PuertoTcpFalso::leeTodo() {
    linea_.libera(conectado());
    return std::exchange(linea_.recibido(), QByteArray());
}

bool PuertoTcpFalso::escribe(const QByteArray& datos) {
    if (!conectado())
        return false;
    linea_.anota(datos);
    return true;
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
    // What arrived before the loss stays readable, as on a real socket.
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
