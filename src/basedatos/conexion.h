#pragma once

#include "startup/ajustes.h"
#include "startup/cadenaconexion.h"
#include "startup/entorno.h"
#include "startup/falla.h"

#include <QMap>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace ort {

enum class Motor { Ninguno, Sqlite, Postgres };

// Error numbers as the product's data-access layer gave them; the rows of OpenDBOK's table.
namespace errbd {
constexpr qint64 kClave = 3031;               // password refused
constexpr qint64 kDanada = 3049;              // damaged database file
constexpr qint64 kFormato = 3343;             // not a database file
constexpr qint64 kProveedor = -2147220999;    // 0x800401F9: the provider's library is missing
constexpr qint64 kNoEncontrada = -2147467259; // 0x80004005: file missing, server unreachable
constexpr qint64 kGeneral = -2147217900;      // any other failure of a statement
} // namespace errbd

// One database connection held by its user; closed and released when dropped.
class Conexion {
public:
    Conexion();
    ~Conexion();
    Conexion(const Conexion&) = delete;
    Conexion& operator=(const Conexion&) = delete;

    bool abierta() const { return db_.isValid() && db_.isOpen(); }
    QSqlDatabase& db() { return db_; }
    Motor motor() const { return motor_; }
    const QString& cadena() const { return cadena_; }
    // The file of a file-kind database.
    const QString& archivo() const { return archivo_; }
    void cierra();

private:
    friend Resultado<> abreConexion(const QString&, Conexion&);
    QString nombre_;
    QSqlDatabase db_;
    Motor motor_ = Motor::Ninguno;
    QString cadena_;
    QString archivo_;
};

// While one lives, a wait for an SQLite file that another program holds locked ends at once
// (the write then fails as locked, and is held or reported) instead of lasting up to
// kEsperaOcupadaMs: the program's stop does not wait out another program's lock.
class SinEsperaOcupada {
public:
    static constexpr int kEsperaOcupadaMs = 10000;
    SinEsperaOcupada();
    ~SinEsperaOcupada();
    SinEsperaOcupada(const SinEsperaOcupada&) = delete;
    SinEsperaOcupada& operator=(const SinEsperaOcupada&) = delete;
};

enum class Comprobacion {
    Ligera,   // read the schema: finds a file that is not a database or a damaged schema
    Completa, // also check every page (cost grows with the file: not for per-value opens)
};

// Opens a connection, reporting and handling the failures as the product did: a refused
// password is asked again, a damaged file is repaired once, a missing provider is reported,
// a missing file or unreachable server fails silently. A failure is the opening's own.
Resultado<> OpenDBOK(const QString& cadena, Conexion& conexion, Entorno& e,
                     Comprobacion comprobacion = Comprobacion::Completa);

// Opens without any handling or message.
Resultado<> abreConexion(const QString& cadena, Conexion& conexion);

// A statement written in the product's dialect for the engine in use: "Top 1" becomes
// "limit 1", and bracketed identifiers become quoted ones.
QString adaptaSql(const QString& sql, Motor motor);
// An identifier taken from configuration, quoted; no value when it cannot be a column or table
// name (empty, too long, or holding quotes, brackets or control characters).
std::optional<QString> citaIdentificador(const QString& nombre);

} // namespace ort
