#pragma once

#include "decoding/contexto.h"
#include "decoding/cortes.h"

namespace ort {

// The instrument decoders, one function per protocol (or per group of instruments that share
// one); instrumentos.inc binds them to the instrument codes.

// Hands the reading "canal & valor" to registration.
inline void registra(ContextoDecodificacion& c, const QString& canal, const QString& valor) {
    c.registra(canal + valor);
}
// Single-channel instruments read on channel 01.
inline void registraUno(ContextoDecodificacion& c, const QString& valor) {
    registra(c, QStringLiteral("01"), valor);
}

// Instruments whose value sits at a fixed place: columns desde..desde+largo-1 (1-based), or
// from desde to the end of the frame when largo is 0.
template <int desde, int largo = 0>
void decodificaCorte(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraUno(c, largo > 0 ? corta(c.trama, desde, largo) : desdeColumna(c.trama, desde));
}

// Single-value instruments.
void decodificaTramaEntera(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaPsion(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaOhau2(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaSar81(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMetbd(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaPharm(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaAfiii(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaBarc1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaQc300(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaChyjl(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaSt7dr(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaPana1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaPana2(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaPana3(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMetpm(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMsics(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaT8530(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaT9481(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaTimer(ContextoDecodificacion& c, EstadoDecodificadores& e);
// Instruments whose frames carry nothing to record.
void sinLectura(ContextoDecodificacion& c, EstadoDecodificadores& e);

// Multi-channel and multi-value instruments.
void decodificaXrite(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaKscou(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaTload(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaFocus(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaFocug(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMiran(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaTp844(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMux10(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMux11(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMx8(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaHx1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaGport(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMig2(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMig1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaMux40(ContextoDecodificacion& c, EstadoDecodificadores& e);

// Answered, batch and time-stamped instruments.
void decodificaGse01(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaAnd(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaPel10(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaDl10(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaDp3dx(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaQmate(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaTdlrf(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaTodlr(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaDm510(ContextoDecodificacion& c, EstadoDecodificadores& e);
void decodificaIshid(ContextoDecodificacion& c, EstadoDecodificadores& e);

} // namespace ort
