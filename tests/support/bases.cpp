#include "support/bases.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace ort::prueba {

QString NombreConexion(const QString& prefijo) {
    static QAtomicInteger<int> n;
    return prefijo + QString::number(n.fetchAndAddRelaxed(1));
}

bool ConBase(QSqlDatabase db, const std::function<bool(QSqlDatabase&)>& f, QString* error) {
    const QString nombre = db.connectionName();
    const bool ok = db.open() && f(db);
    if (!ok && error && error->isEmpty())
        *error = db.lastError().text();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(nombre);
    return ok;
}

QSqlDatabase BaseSqlite(const QString& archivo) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", NombreConexion());
    db.setDatabaseName(archivo);
    return db;
}

bool EjecutaEn(QSqlDatabase& db, const QStringList& sentencias, QString* error) {
    QSqlQuery q(db);
    for (const QString& s : sentencias)
        if (!q.exec(s)) {
            if (error)
                *error = s + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
    return true;
}

QString LeeEsquema(const QString& nombre) {
    QFile f(Esquema(nombre));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList Sentencias(const QString& script) {
    QStringList limpio, r;
    for (const QString& l : script.split(u'\n'))
        limpio << l.section(QStringLiteral("--"), 0, 0);
    for (const QString& s : limpio.join(u'\n').split(u';'))
        if (!s.trimmed().isEmpty())
            r << s.trimmed();
    return r;
}

bool EjecutaScript(const QString& archivo, const QString& script, QString* error) {
    return ConBase(
        BaseSqlite(archivo),
        [&](QSqlDatabase& db) {
            return db.transaction() && EjecutaEn(db, Sentencias(script), error) && db.commit();
        },
        error);
}

bool EjecutaSentencia(const QString& archivo, const QString& sql, QString* error) {
    return ConBase(
        BaseSqlite(archivo), [&](QSqlDatabase& db) { return EjecutaEn(db, {sql}, error); }, error);
}

bool CreaSqlite(const QString& archivo, const QStringList& esquemas, const QString& extra,
                QString* error) {
    QFile::remove(archivo);
    QString script;
    for (const QString& e : esquemas)
        script += LeeEsquema(e) + u'\n';
    return EjecutaScript(archivo, script + extra, error);
}

QString ValorSqlite(const QString& archivo, const QString& sql) {
    QString v;
    ConBase(BaseSqlite(archivo), [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            v = q.value(0).toString();
        return true;
    });
    return v;
}

std::optional<ServidorPg> Postgres() {
    if (!qEnvironmentVariableIsSet("ORT_PG_PORT"))
        return std::nullopt;
    return ServidorPg{qEnvironmentVariable("ORT_PG_HOST", QStringLiteral("127.0.0.1")),
                      qEnvironmentVariableIntValue("ORT_PG_PORT"),
                      qEnvironmentVariable("ORT_PG_USER"), qEnvironmentVariable("ORT_PG_PASSWORD")};
}

QSqlDatabase BasePg(const ServidorPg& s, const QString& base, const QString& conexion) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conexion);
    db.setHostName(s.host);
    db.setPort(s.puerto);
    db.setUserName(s.usuario);
    db.setPassword(s.clave);
    db.setDatabaseName(base);
    return db;
}

bool CreaBasePg(const ServidorPg& s, const QString& nombre, const QStringList& sentencias,
                QString* error) {
    const QStringList crea{
        "SET client_min_messages = warning",
        QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(nombre),
        QStringLiteral("CREATE DATABASE \"%1\"").arg(nombre)};
    return ConBase(
               BasePg(s, "postgres", NombreConexion()),
               [&](QSqlDatabase& db) { return EjecutaEn(db, crea, error); }, error) &&
           ConBase(
               BasePg(s, nombre, NombreConexion()),
               [&](QSqlDatabase& db) { return EjecutaEn(db, sentencias, error); }, error);
}

} // namespace ort::prueba
