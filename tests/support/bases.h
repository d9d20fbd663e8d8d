#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <optional>

namespace ort::prueba {

// Path of a shipped schema file ("metrovax.sqlite.sql", …).
QString Esquema(const QString& nombre);

// Runs a script of ";"-separated statements (lines starting with "--" are comments).
bool EjecutaScript(const QString& archivoSqlite, const QString& script, QString* error = nullptr);
// Runs one statement as it stands (a trigger body may hold ";").
bool EjecutaSentencia(const QString& archivoSqlite, const QString& sql, QString* error = nullptr);
// Creates a SQLite file from a shipped schema plus extra statements.
bool CreaSqlite(const QString& archivo, const QStringList& esquemas,
                const QString& extra = QString(), QString* error = nullptr);
// Statements of a file, for running through any connection.
QStringList Sentencias(const QString& script);
QString LeeEsquema(const QString& nombre);
// One value of a SQLite file, for checks.
QString ValorSqlite(const QString& archivo, const QString& sql);

// The PostgreSQL server that the test command started; no value when none was started.
struct ServidorPg {
    QString host;
    int puerto = 0;
    QString usuario;
    QString clave;
    QString dataSource() const { return host + u':' + QString::number(puerto); }
};
std::optional<ServidorPg> Postgres();
// Skips (or, when the test command requires the server, fails) a test without one.
#define ORT_REQUIERE_POSTGRES(srv)                                                                 \
    const auto srv##_opt = ::ort::prueba::Postgres();                                              \
    if (!srv##_opt) {                                                                              \
        if (qEnvironmentVariableIsSet("ORT_PG_REQUIRED"))                                          \
            QFAIL("ORT_PG_REQUIRED is set but no PostgreSQL server is described in ORT_PG_*");     \
        QSKIP("no PostgreSQL server (run the tests through scripts/test.sh)");                     \
    }                                                                                              \
    const ::ort::prueba::ServidorPg srv = *srv##_opt
// A connection (not yet open) to a database of the server.
QSqlDatabase BasePg(const ServidorPg& s, const QString& base, const QString& conexion);
// Creates (dropping first) a database on the server and runs statements in it.
bool CreaBasePg(const ServidorPg& s, const QString& nombre, const QStringList& sentencias,
                QString* error = nullptr);

} // namespace ort::prueba
