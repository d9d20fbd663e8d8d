#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace ort::prueba {

inline QString esquema(const QString& nombre) {
    return QStringLiteral(ORT_SQL_DIR "/") + nombre;
}
QString nombreConexion(const QString& prefijo = QStringLiteral("prueba-"));
// Opens db, runs f on it, and removes the connection whatever happened.
bool conBase(QSqlDatabase db, const std::function<bool(QSqlDatabase&)>& f,
             QString* error = nullptr);
QSqlDatabase baseSqlite(const QString& archivo);
bool ejecutaEn(QSqlDatabase& db, const QStringList& sentencias, QString* error = nullptr);

bool ejecutaScript(const QString& archivoSqlite, const QString& script, QString* error = nullptr);
bool ejecutaSentencia(const QString& archivoSqlite, const QString& sql, QString* error = nullptr);
bool creaSqlite(const QString& archivo, const QStringList& esquemas,
                const QString& extra = QString(), QString* error = nullptr);
QStringList sentencias(const QString& script);
QString leeEsquema(const QString& nombre);
QString valorSqlite(const QString& archivo, const QString& sql);

struct ServidorPg {
    QString host;
    int puerto = 0;
    QString usuario;
    QString clave;
    QString dataSource() const { return host + u':' + QString::number(puerto); }
};
std::optional<ServidorPg> postgres();
#define ORT_REQUIERE_POSTGRES(srv)                                                                 \
    const auto srv##_opt = ::ort::prueba::postgres();                                              \
    if (!srv##_opt) {                                                                              \
        if (qEnvironmentVariableIsSet("ORT_PG_REQUIRED"))                                          \
            QFAIL("ORT_PG_REQUIRED is set but no PostgreSQL server is described in ORT_PG_*");     \
        QSKIP("no PostgreSQL server (run the tests through scripts/test.sh)");                     \
    }                                                                                              \
    const ::ort::prueba::ServidorPg srv = *srv##_opt
QSqlDatabase basePg(const ServidorPg& s, const QString& base, const QString& conexion);
bool creaBasePg(const ServidorPg& s, const QString& nombre, const QStringList& sentencias,
                QString* error = nullptr);

} // namespace ort::prueba
