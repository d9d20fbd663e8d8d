#pragma once

#include "startup/ajustes.h"
#include "startup/falla.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ort {

class Avisos;

// What a look-up takes: any entry, or only an ordinary file that is not hidden.
enum class ClaseEntrada { Cualquiera, Archivo };

// The entry `nombre` ("MTVXPASS.IAU", "Image/CARATULA.JPG") of the folder `dir` (ending in a
// slash, or empty for the current one), each of its parts in any letter case when the exact name
// is not there: installations copied from Windows hold names in another case. No value when
// nothing fitting exists.
std::optional<QString> buscaEntrada(const QString& dir, const QString& nombre,
                                    ClaseEntrada que = ClaseEntrada::Cualquiera);

// Finds a file of the program directory by its product name, as buscaEntrada. Returns the name
// as given when none exists.
QString buscaArchivo(const QString& dir, const QString& nombre);

// Reads a whole text file (UTF-8 when valid, else Windows-1252); a failure, numbered as the
// product's file functions numbered theirs, when it does not exist or cannot be read.
Resultado<QString> leeArchivoTexto(const QString& ruta);

// The lines of one of ORT's optional files of the program directory, found by buscaArchivo, and
// its path for messages. A file that does not exist has no lines; one that cannot be read fails
// with "No se puede leer RUTA.".
struct LineasArchivo {
    QString ruta;
    QStringList lineas;
};
Resultado<LineasArchivo> leeLineasOpcional(const QString& directorioPrograma,
                                           const QString& nombre);

// Reads the product files of the program directory into the start-up settings. Every problem
// is reported through the notices; a file that stops start-up gives no value, never half-built
// settings.
std::optional<Ajustes> cargaAjustes(const QString& directorioPrograma, Avisos& avisos);

// Unscrambles the password item of "MTVXPASS.IAU"; characters outside 33..126 are reported
// and decoded all the same. A failure when a position cannot be decoded into a character.
Resultado<QString> descifraClave(const QString& s, Avisos& avisos);

} // namespace ort
