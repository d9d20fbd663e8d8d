#pragma once

#include "basedatos/conexion.h"

#include <optional>

namespace ort {

// What the engine declares for a table's column ("VARCHAR(20)", "character varying(20)",
// "DOUBLE"), the column's name matched ignoring letter case; no value when the table has no
// such column. The table is named as the statements name it: a plain name, or one quoted by
// citaIdentificador, which keeps its letter case.
Resultado<std::optional<QString>> tipoColumna(Conexion& c, const QString& tabla,
                                              const QString& columna);

// A text column's defined size in characters; 0 for a column of another type, of no size, or
// one that cannot be read.
int tamanoColumna(Conexion& c, const QString& tabla, const QString& columna);

} // namespace ort
