#pragma once

#include <QString>

namespace ort::importa {

// mdbtools' library reports on standard error, in English, and on some damaged files it loops
// without end. The run therefore keeps the library's standard error to itself: the program's
// own messages go to the real one, the library's are read back for the signs of a truncated
// file, and a watcher ends a read that makes no progress. Either way, and on SIGINT/SIGTERM,
// the temporary file being written is removed first, so that nothing half-written is left.
namespace Vigilancia {

// Takes over standard error and starts the watcher; once, at the start of the program.
void inicia();
// Stops the watcher; before the program ends.
void termina();
// Where the program's own messages go (the real standard error).
void mensaje(const QString& texto);

// What is being read now, for the watcher's message.
void archivo(const QString& ruta);
void etapa(const QString& que);
// Whether the Jet file is being read now (the watcher keeps quiet while SQLite writes).
void leyendo(bool si);
// Something was read: the watcher's time starts again.
void avanza();
// The file to remove if the run is cut short; empty when none.
void temporal(const QString& ruta);
// Whether the library has tried to read past the end of the file since the last call.
bool leyoMasAllaDelFinal();

} // namespace Vigilancia

} // namespace ort::importa
