#include "support/puertofalso.h"

#include <algorithm>

namespace ort::prueba {

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
    recibido_.clear();
}

void PuertoSerieFalso::llega(const QByteArray& trozo) {
    if (!abierto_)
        return;
    recibido_ += trozo;
    if (umbral > 0 && recibido_.size() >= umbral)
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
                                   : reloj_->monotonoMs() + respondeTras_;
    return std::nullopt;
}

void PuertoTcpFalso::llega(const QByteArray& trozo) {
    if (conectado())
        recibido_ += trozo, emit datos();
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
