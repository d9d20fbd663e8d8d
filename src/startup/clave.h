#pragma once

#include <QString>

#include <optional>

namespace ort {

// The inverse of DescifraClave: the scrambled form of a database password, as MTVXPASS.IAU keeps
// it. Passwords are 1 to 47 characters from '!' to '~' (no blanks); without a value, problema
// says why.
std::optional<QString> CifraClave(const QString& clave, QString* problema = nullptr);

// Writes MTVXPASS.IAU in the program directory with the scrambled password, replacing it.
bool EscribeArchivoClave(const QString& directorioPrograma, const QString& clave,
                         QString* problema = nullptr);

} // namespace ort
