#include "support/puertofalso.h"

#include <algorithm>

namespace ort::prueba {

Resultado<> PuertoSerieFalso::paso(Paso p, const QString& anotacion, qint64 falla,
                                   const QString& texto) {
    Resultado<> f;
    if (fallas_.contains(p))
        f = Falla{kFuentePuertoSerie, kFallaPuertoAbierto,
                  QStringLiteral("El puerto está en uso.")};
    else if (falla)
        f = Falla{kFuentePuertoSerie, falla, texto};
    pasos << anotacion + (f ? QString() : QStringLiteral(" -> %1").arg(f.falla().numero));
    return f;
}

Resultado<> PuertoSerieFalso::fijaNumero(int puerto) {
    const bool malo = puerto < 1 || puerto > 16;
    auto f = paso(Paso::Numero, QStringLiteral("CommPort=%1").arg(puerto),
                  abierto_ ? kFallaPuertoAbierto
                  : malo   ? kFallaNumeroPuerto
                           : 0,
                  "Número de puerto no válido.");
    if (f)
        numero = puerto;
    return f;
}

Resultado<> PuertoSerieFalso::fijaSettings(const QString& s) {
    const auto c = interpretaSettings(s);
    return c ? paso(Paso::Settings, "Settings=" + s)
             : paso(Paso::Settings, "Settings=" + s, kFallaValorNoValido, c.falla().descripcion);
}

Resultado<> PuertoSerieFalso::fijaBufferEntrada(int bytes) {
    return paso(Paso::BufferEntrada, QStringLiteral("InBufferSize=%1").arg(bytes),
                bytes < 1 ? kFallaValorNoValido : 0, "Tamaño de búfer no válido.");
}

Resultado<> PuertoSerieFalso::fijaUmbral(int caracteres) {
    auto f = paso(Paso::Umbral, QStringLiteral("RThreshold=%1").arg(caracteres),
                  caracteres < 0 ? kFallaValorNoValido : 0, "Umbral no válido.");
    if (f)
        umbral = caracteres;
    return f;
}

Resultado<> PuertoSerieFalso::abre() {
    auto f = paso(Paso::Abre, "PortOpen=1",
                  abierto_      ? kFallaPuertoAbierto
                  : numero == 0 ? kFallaNumeroPuerto
                                : 0,
                  "No se puede abrir el puerto.");
    if (f)
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

Resultado<> PuertoTcpFalso::conecta(const QString& h, qint32 p) {
    if (h.trimmed().isEmpty() || p < 1 || p > 65535)
        return Falla{kFuentePuertoTcp, kFallaTcpValorNoValido,
                     QStringLiteral("Servidor o puerto remoto no válido.")};
    cierra();
    host = h.trimmed(), puerto = p;
    conectaEn_ = respondeTras_ < 0 ? std::numeric_limits<qint64>::max()
                                   : reloj_->monotonoMs() + respondeTras_;
    return {};
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
