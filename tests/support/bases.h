#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace ort::prueba {

inline QString Esquema(const QString& nombre) {
    return QStringLiteral(ORT_SQL_DIR "/") + nombre;
}
QString NombreConexion(const QString& prefijo = QStringLiteral("prueba-"));
// Opens db, runs f on it, and removes the connection whatever happened.
bool ConBase(QSqlDatabase db, const std::function<bool(QSqlDatabase&)>& f,
             QString* error = nullptr);
QSqlDatabase BaseSqlite(const QString& archivo);
bool EjecutaEn(QSqlDatabase& db, const QStringList& sentencias, QString* error = nullptr);

bool EjecutaScript(const QString& archivoSqlite, const QString& script, QString* error = nullptr);
bool EjecutaSentencia(const QString& archivoSqlite, const QString& sql, QString* error = nullptr);
bool CreaSqlite(const QString& archivo, const QStringList& esquemas,
                const QString& extra = QString(), QString* error = nullptr);
QStringList Sentencias(const QString& script);
QString LeeEsquema(const QString& nombre);
QString ValorSqlite(const QString& archivo, const QString& sql);

struct ServidorPg {
    QString host;
    int puerto = 0;
    QString usuario;
    QString clave;
    QString dataSource() const { return host + u':' + QString::number(puerto); }
};
std::optional<ServidorPg> Postgres();
#define ORT_REQUIERE_POSTGRES(srv)                                                                 \
    const auto srv##_opt = ::ort::prueba::Postgres();                                              \
    if (!srv##_opt) {                                                                              \
        if (qEnvironmentVariableIsSet("ORT_PG_REQUIRED"))                                          \
            QFAIL("ORT_PG_REQUIRED is set but no PostgreSQL server is described in ORT_PG_*");     \
        QSKIP("no PostgreSQL server (run the tests through scripts/test.sh)");                     \
    }                                                                                              \
    const ::ort::prueba::ServidorPg srv = *srv##_opt
QSqlDatabase BasePg(const ServidorPg& s, const QString& base, const QString& conexion);
bool CreaBasePg(const ServidorPg& s, const QString& nombre, const QStringList& sentencias,
                QString* error = nullptr);

} // namespace ort::prueba
