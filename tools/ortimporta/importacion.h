#pragma once

#include "jet.h"

#include <QList>
#include <QString>

namespace ort::importa {

struct ResumenTabla {
    QString nombre;
    qint64 filas = 0;
    int indices = 0;
};

struct Resumen {
    ClaseArchivo clase = ClaseArchivo::Otro;
    QList<ResumenTabla> tablas;
    qint64 filas() const;
    int indices() const;
};

// Tables with at least this many rows show how far their copy has gone.
constexpr qint64 kFilasConProgreso = 1000;

// Writes every table of a Jet file into a new SQLite file at destino, then checks the row count
// of every table against what was read and what the Jet table declares. False, with the problem
// reported, when anything fails; destino is then left for the caller to remove.
bool escribeSqlite(const QString& origen, const QString& destino, Resumen& r);

// ortimporta ORIGEN DESTINO: through a temporary file beside destino, renamed into place; an
// existing destino is replaced only when forzar.
bool importa(const QString& origen, const QString& destino, bool forzar);

// ortimporta --dir DIR: the Metrovax database, ORT's configuration databases and the data files
// of a program directory, each converted under its own name; the Jet original is kept beside it
// as NAME.jet. Files already in SQLite are left as they are.
bool importaDirectorio(const QString& dir, bool forzar);

// The suffix of the kept Jet originals.
inline const QString kSufijoOriginal = QStringLiteral(".jet");

} // namespace ort::importa
