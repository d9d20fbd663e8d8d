#pragma once

#include "startup/falla.h"

#include <QString>

namespace ort {

// The inverse of descifraClave: the scrambled form of a database password, as MTVXPASS.IAU keeps
// it. Passwords are 1 to 47 characters from '!' to '~' (no blanks); a failure says why.
Resultado<QString> cifraClave(const QString& clave);

// Writes MTVXPASS.IAU in the program directory with the scrambled password, replacing it.
Resultado<> escribeArchivoClave(const QString& directorioPrograma, const QString& clave);

} // namespace ort
