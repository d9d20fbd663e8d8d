#include "support/bases.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace ort::prueba {

QString nombreConexion(const QString& prefijo) {
    static QAtomicInteger<int> n;
    return prefijo + QString::number(n.fetchAndAddRelaxed(1));
}

bool conBase(QSqlDatabase db, const std::function<bool(QSqlDatabase&)>& f, QString* error) {
    const QString nombre = db.connectionName();
    const bool ok = db.open() && f(db);
    if (!ok && error && error->isEmpty())
        *error = db.lastError().text();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(nombre);
    return ok;
}

QSqlDatabase baseSqlite(const QString& archivo) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", nombreConexion());
    db.setDatabaseName(archivo);
    return db;
}

bool ejecutaEn(QSqlDatabase& db, const QStringList& sentencias, QString* error) {
    QSqlQuery q(db);
    for (const QString& s : sentencias)
        if (!q.exec(s)) {
            if (error)
                *error = s + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
    return true;
}

QString leeEsquema(const QString& nombre) {
    QFile f(esquema(nombre));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList sentencias(const QString& script) {
    QStringList limpio, r;
    for (const QString& l : script.split(u'\n'))
        limpio << l.section(QStringLiteral("--"), 0, 0);
    for (const QString& s : limpio.join(u'\n').split(u';'))
        if (!s.trimmed().isEmpty())
            r << s.trimmed();
    return r;
}

bool ejecutaScript(const QString& archivo, const QString& script, QString* error) {
    return conBase(
        baseSqlite(archivo),
        [&](QSqlDatabase& db) {
            return db.transaction() && ejecutaEn(db, sentencias(script), error) && db.commit();
        },
        error);
}

bool ejecutaSentencia(const QString& archivo, const QString& sql, QString* error) {
    return conBase(
        baseSqlite(archivo), [&](QSqlDatabase& db) { return ejecutaEn(db, {sql}, error); }, error);
}

bool creaSqlite(const QString& archivo, const QStringList& esquemas, const QString& extra,
                QString* error) {
    QFile::remove(archivo);
    QString script;
    for (const QString& e : esquemas)
        script += leeEsquema(e) + u'\n';
    return ejecutaScript(archivo, script + extra, error);
}

QString valorSqlite(const QString& archivo, const QString& sql) {
    QString v;
    conBase(baseSqlite(archivo), [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            v = q.value(0).toString();
        return true;
    });
    return v;
}

std::optional<ServidorPg> postgres() {
    if (!qEnvironmentVariableIsSet("ORT_PG_PORT"))
        return std::nullopt;
    return ServidorPg{qEnvironmentVariable("ORT_PG_HOST", QStringLiteral("127.0.0.1")),
                      qEnvironmentVariableIntValue("ORT_PG_PORT"),
                      qEnvironmentVariable("ORT_PG_USER"), qEnvironmentVariable("ORT_PG_PASSWORD")};
}

QSqlDatabase basePg(const ServidorPg& s, const QString& base, const QString& conexion) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conexion);
    db.setHostName(s.host);
    db.setPort(s.puerto);
    db.setUserName(s.usuario);
    db.setPassword(s.clave);
    db.setDatabaseName(base);
    return db;
}

bool creaBasePg(const ServidorPg& s, const QString& nombre, const QStringList& sentencias,
                QString* error) {
    const QStringList crea{
        "SET client_min_messages = warning",
        QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(nombre),
        QStringLiteral("CREATE DATABASE \"%1\"").arg(nombre)};
    return conBase(
               basePg(s, "postgres", nombreConexion()),
               [&](QSqlDatabase& db) { return ejecutaEn(db, crea, error); }, error) &&
           conBase(
               basePg(s, nombre, nombreConexion()),
               [&](QSqlDatabase& db) { return ejecutaEn(db, sentencias, error); }, error);
}

} // namespace ort::prueba
