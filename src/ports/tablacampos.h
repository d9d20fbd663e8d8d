#pragma once

#include "startup/falla.h"

#include <QList>
#include <QString>

namespace ort {

// A port without a field separator.
inline constexpr qint16 kSinSeparador = -99;

// Failure numbers of the table file, as the product's file reading gave them.
inline constexpr qint64 kFallaTipo = 13;          // an item that is not a number
inline constexpr qint64 kFallaDesbordamiento = 6; // a number outside the 16-bit range
inline constexpr qint64 kFallaArchivoNoEncontrado = 53;
inline constexpr qint64 kFallaFinDeArchivo = 62;  // reading past the end of the file
inline constexpr qint64 kFallaAccesoArchivo = 75; // the file exists but cannot be read

// One field of a frame: where it lies and which characteristic it belongs to.
struct CampoTabla {
    QString etiqueta;
    qint16 posicion = 0;
    qint16 longitud = 0;
    QString caracteristica;

    bool operator==(const CampoTabla&) const = default;
};

// A port's field table as read from its file. Only complete records are in campos; every
// problem met on the way is in problemas, in file order, naming the file and the line.
struct TablaCampos {
    qint16 separador = kSinSeparador;
    QList<CampoTabla> campos;
    QList<Falla> problemas;
};

// Source of the problems of a field-table file.
inline constexpr auto kFuenteTablaCampos = "TablaCampos";

// The file of a connection key: the program directory, the key without its blanks and ".TID"
// (found in another letter case when the exact name is absent).
QString archivoTablaCampos(const QString& directorioPrograma, const QString& conex);

// Reads the field table of a connection key from the program directory.
TablaCampos leeTablaCampos(const QString& directorioPrograma, const QString& conex);

// Interprets the text of a field-table file; archivo only names it in the problems.
// An optional first item "SEP=<code>" (any letter case) gives the separator; the next item is
// a title and is skipped; then come records of four items: label, position, length and
// characteristic.
TablaCampos interpretaTablaCampos(const QString& texto, const QString& archivo);

} // namespace ort
