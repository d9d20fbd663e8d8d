#pragma once

#include "decoding/contexto.h"
#include "decoding/cortes.h"

namespace ort {

// The instrument decoders, one function per protocol (or per group of instruments that share
// one); instrumentos.inc binds them to the instrument codes.

// Hands the reading "canal & valor" to registration.
inline void Registra(ContextoDecodificacion& c, const QString& canal, const QString& valor) {
    c.registra(canal + valor);
}
// Single-channel instruments read on channel 01.
inline void RegistraUno(ContextoDecodificacion& c, const QString& valor) {
    Registra(c, QStringLiteral("01"), valor);
}

// Instruments whose value sits at a fixed place: columns desde..desde+largo-1 (1-based), or
// from desde to the end of the frame when largo is 0.
template <int desde, int largo = 0>
void DecodificaCorte(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraUno(c, largo > 0 ? Corta(c.trama, desde, largo) : Desde(c.trama, desde));
}

// Single-value instruments.
void DecodificaTramaEntera(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaPsion(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaOhau2(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaSar81(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMetbd(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaPharm(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaAfiii(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaBarc1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaQc300(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaChyjl(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaSt7dr(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaPana1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaPana2(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaPana3(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMetpm(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMsics(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaT8530(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaT9481(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaTimer(ContextoDecodificacion& c, EstadoDecodificadores& e);
// Instruments whose frames carry nothing to record.
void SinLectura(ContextoDecodificacion& c, EstadoDecodificadores& e);

// Multi-channel and multi-value instruments.
void DecodificaXrite(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaKscou(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaTload(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaFocus(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaFocug(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMiran(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaTp844(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMux10(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMux11(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMx8(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaHx1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaGport(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMig2(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMig1(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaMux40(ContextoDecodificacion& c, EstadoDecodificadores& e);

// Answered, batch and time-stamped instruments.
void DecodificaGse01(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaAnd(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaPel10(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaDl10(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaDp3dx(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaQmate(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaTdlrf(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaTodlr(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaDm510(ContextoDecodificacion& c, EstadoDecodificadores& e);
void DecodificaIshid(ContextoDecodificacion& c, EstadoDecodificadores& e);

} // namespace ort
