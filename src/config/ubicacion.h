#pragma once

#include "startup/falla.h"

#include <QString>
#include <QStringList>

namespace ort {

struct Entorno;

// At most this many configuration databases are listed and kept in the location file.
constexpr int kMaxUbicaciones = 7;

// The configuration databases of the location file, the one in use first: read item by item
// (an item ends at a comma or a line end), the first seven that are not empty. A failure when
// the file cannot be found or read.
Resultado<QStringList> leeUbicaciones(const QString& dirPrograma);

// The database a typed or chosen name stands for: the name itself when it ends in ".mdb" in any
// letter case, otherwise the default file of the program directory.
QString eligeUbicacion(const QString& texto, const QString& dirPrograma);

// Opens a configuration database on a connection of its own and reads its three tables; the
// connection is closed again. A failure when the file cannot be opened or a table is missing.
Resultado<> pruebaConfiguracion(const QString& ruta, Entorno& e);

// The lines of the location file after choosing ruta: the path first, then the earlier entries
// 0..5 whose upper-cased text differs from the path's and from those already written, an entry
// that does not exist giving an empty line.
QStringList lineasUbicacion(const QString& ruta, const QStringList& anteriores);

// One line of the location file as written: quoted when the reading would cut or trim it.
QString itemUbicacion(const QString& ruta);

// Rewrites the location file with those lines, through a temporary file renamed over it, so the
// old list stays whole when the writing fails.
Resultado<> escribeUbicaciones(const QString& dirPrograma, const QString& ruta,
                               const QStringList& anteriores);

} // namespace ort
