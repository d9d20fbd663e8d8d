#pragma once

#include "decoding/instrumentos.h"

#include <QStringList>

namespace ort {

// The decoder of a port's instrument code, compared on all five characters (trailing blanks
// included: "MX8" is "MX8  "); a code that matches none gets the default decoder.
Decodificador buscaDecodificador(const QString& conex);
// True when the code has a decoder of its own.
bool tieneDecodificador(const QString& conex);
// Every code of the table, as written there (unpadded).
QStringList codigosConocidos();

// The default decoder: channel 1, the frame from the port's start position to its end.
void decodificadorPorDefecto(ContextoDecodificacion& c, EstadoDecodificadores& e);

} // namespace ort
