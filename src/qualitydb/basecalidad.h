#pragma once

#include "basedatos/conexion.h"

#include <QList>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace ort {

// The rows a statement returned, with what the callers need to show them.
struct Filas {
    QStringList columnas; // upper-cased names, in statement order
    QList<int> tamanos;   // each column's defined size in characters, 0 when not text
    QList<QVariantList> filas;

    bool vacio() const { return filas.isEmpty(); }
    int columna(const QString& nombre) const { return columnas.indexOf(nombre.toUpper()); }
    QVariant valor(int fila, const QString& columna) const;
    // A column's value as text; a database null reads as the empty text.
    QString textoDe(int fila, const QString& columna) const {
        return valor(fila, columna).toString();
    }
};

// The statements ORT sends to the Metrovax database; no other module writes SQL for it. Keys are
// bound as values, never spliced into the statement. Each query gives its rows or the database's
// failure.
class BaseCalidad {
public:
    explicit BaseCalidad(Conexion& conexion) : c_(conexion) {}

    // Port opening: the connection record of a key (blanks and letter case aside), or none.
    Resultado<Filas> registroINS(const QString& clave);
    // Connection picker: every record in key order.
    Resultado<Filas> todosINS();
    // Pickers, each list in key order; the parent key is compared with its trailing blanks removed.
    Resultado<Filas> operadores();
    Resultado<Filas> estacionesDe(const QString& operador);
    Resultado<Filas> maquinasDe(const QString& estacion);
    Resultado<Filas> productosDe(const QString& maquina);
    Resultado<Filas> formatosDe(const QString& producto);
    Resultado<Filas> caracteristicasDe(const QString& formato);
    // GSE01 context command.
    Resultado<Filas> producto(const QString& clave);
    Resultado<Filas> operador(const QString& clave);
    // Port opening: at most one row with the lower and upper tolerance limits.
    Resultado<Filas> limites(const QString& maquina, const QString& producto,
                             const QString& caracteristica);

    // The last statement as the product wrote it, with the values in place: for messages only.
    const QString& sentencia() const { return sentencia_; }

private:
    struct Sentencia;
    Resultado<Filas> ejecuta(const Sentencia& s, const QStringList& valores);

    Conexion& c_;
    QString sentencia_;
};

// Where the port opening takes a connection record from: the rows of a key, or why none came.
using LectorINS = std::function<Resultado<Filas>(const QString& clave)>;

// Opens the Metrovax database of the settings, with its messages, and reads the connection record
// of a key. Unopened, the statement fails and says so.
Resultado<Filas> registroINS(Entorno& e, const QString& clave);

} // namespace ort
