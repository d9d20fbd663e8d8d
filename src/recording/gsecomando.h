#pragma once

#include <QString>

namespace ort {

struct Entorno;
class AlmacenConfig;

// The command that loads a GSE01 indicator with the context of sequence 1 of a channel: product
// and its descriptions, the two additional values, operator and name. Empty when a look-up finds
// nothing (reported to the user).
QString GSEArmaComando(Entorno& e, const AlmacenConfig& config, int Pue, int Can);

} // namespace ort
