#include "support/puertofalso.h"

#include <algorithm>

namespace ort::prueba {

void LineaFalsa::libera(bool abierto) {
    std::stable_sort(programados_.begin(), programados_.end(),
                     [](auto& a, auto& b) { return a.first < b.first; });
    while (!programados_.isEmpty() && programados_.first().first <= reloj_->monotonoMs()) {
        const QByteArray t = programados_.takeFirst().second;
        if (abierto)
            recibido += t;
    }
}

bool LineaFalsa::espera(int ms, bool abierto) {
    libera(abierto);
    if (!abierto || !recibido.isEmpty())
        return abierto;
    qint64 hasta = reloj_->monotonoMs() + std::max(ms, 0);
    for (const auto& p : programados_)
        hasta = std::min(hasta, p.first);
    reloj_->duerme(hasta - reloj_->monotonoMs());
    libera(abierto);
    return !recibido.isEmpty();
}

int LineaFalsa::leeCaracter(bool abierto) {
    libera(abierto);
    if (recibido.isEmpty())
        return -1;
    const int c = static_cast<unsigned char>(recibido.front());
    recibido.remove(0, 1);
    return c;
}

bool LineaFalsa::escribe(bool abierto, const QByteArray& d) {
    if (abierto)
        escrituras << Escritura{reloj_->monotonoMs(), d};
    return abierto;
}

QByteArray LineaFalsa::escrito() const {
    QByteArray todo;
    for (const auto& e : escrituras)
        todo += e.datos;
    return todo;
}

std::optional<Falla> PuertoSerieFalso::paso(Paso p, const QString& anotacion, qint64 falla,
                                            const QString& texto) {
    std::optional<Falla> f;
    if (fallas_.contains(p))
        f = Falla{kFuentePuertoSerie, kFallaPuertoAbierto,
                  QStringLiteral("El puerto está en uso.")};
    else if (falla)
        f = Falla{kFuentePuertoSerie, falla, texto};
    pasos << anotacion + (f ? QStringLiteral(" -> %1").arg(f->numero) : QString());
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaNumero(int puerto) {
    const bool malo = puerto < 1 || puerto > 16;
    auto f = paso(Paso::Numero, QStringLiteral("CommPort=%1").arg(puerto),
                  abierto_ ? kFallaPuertoAbierto
                  : malo   ? kFallaNumeroPuerto
                           : 0,
                  "Número de puerto no válido.");
    if (!f)
        numero = puerto;
    return f;
}

std::optional<Falla> PuertoSerieFalso::fijaSettings(const QString& s) {
    QString problema;
    const bool ok = InterpretaSettings(s, &problema).has_value();
    return paso(Paso::Settings, "Settings=" + s, ok ? 0 : kFallaValorNoValido, problema);
}

std::optional<Falla> PuertoSerieFalso::fijaBufferEntrada(int bytes) {
    return paso(Paso::BufferEntrada, QStringLiteral("InBufferSize=%1").arg(bytes),
                bytes < 1 ? kFallaValorNoValido : 0, "Tamaño de búfer no válido.");
}

std::optional<Falla> PuertoSerieFalso::fijaUmbral(int caracteres) {
    auto f = paso(Paso::Umbral, QStringLiteral("RThreshold=%1").arg(caracteres),
                  caracteres < 0 ? kFallaValorNoValido : 0, "Umbral no válido.");
    if (!f)
        umbral = caracteres;
    return f;
}

std::optional<Falla> PuertoSerieFalso::abre() {
    auto f = paso(Paso::Abre, "PortOpen=1",
                  abierto_      ? kFallaPuertoAbierto
                  : numero == 0 ? kFallaNumeroPuerto
                                : 0,
                  "No se puede abrir el puerto.");
    if (!f)
        abierto_ = true, ++aperturas;
    return f;
}

void PuertoSerieFalso::cierra() {
    if (abierto_)
        pasos << QStringLiteral("PortOpen=0");
    abierto_ = false;
    linea_.recibido.clear();
}

void PuertoSerieFalso::llega(const QByteArray& trozo) {
    if (!abierto_)
        return;
    linea_.recibido += trozo;
    if (umbral > 0 && linea_.recibido.size() >= umbral)
        emit datos();
}

void PuertoSerieFalso::pierde(const QString& motivo) {
    if (abierto_)
        cierra(), emit perdido(motivo);
}

std::optional<Falla> PuertoTcpFalso::conecta(const QString& h, qint32 p) {
    if (h.trimmed().isEmpty() || p < 1 || p > 65535)
        return Falla{kFuentePuertoTcp, kFallaTcpValorNoValido,
                     QStringLiteral("Servidor o puerto remoto no válido.")};
    cierra();
    host = h.trimmed(), puerto = p;
    conectaEn_ = respondeTras_ < 0 ? std::numeric_limits<qint64>::max()
                                   : linea_.reloj_->monotonoMs() + respondeTras_;
    return std::nullopt;
}

void PuertoTcpFalso::llega(const QByteArray& trozo) {
    if (conectado())
        linea_.recibido += trozo, emit datos();
}

PuertoSerieFalso& FabricaPuertosFalsa::serie(int p) {
    auto& s = serie_.at(size_t(p));
    if (!s)
        s = std::make_unique<PuertoSerieFalso>(reloj_);
    return *s;
}

PuertoTcpFalso& FabricaPuertosFalsa::tcp(int p) {
    auto& s = tcp_.at(size_t(p));
    if (!s)
        s = std::make_unique<PuertoTcpFalso>(reloj_);
    return *s;
}

} // namespace ort::prueba
