#include "support/bases.h"

#include <QAtomicInteger>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace ort::prueba {

namespace {
QString NombreConexion() {
    static QAtomicInteger<int> n;
    return QStringLiteral("prueba-%1").arg(n.fetchAndAddRelaxed(1));
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
} // namespace

QString Esquema(const QString& nombre) {
    return QStringLiteral(ORT_SQL_DIR "/") + nombre;
}

QString LeeEsquema(const QString& nombre) {
    QFile f(Esquema(nombre));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QStringList Sentencias(const QString& script) {
    QStringList limpio;
    for (const QString& l : script.split(u'\n')) {
        const int comentario = l.indexOf(QStringLiteral("--"));
        limpio << (comentario >= 0 ? l.left(comentario) : l);
    }
    QStringList r;
    for (const QString& s : limpio.join(u'\n').split(u';'))
        if (!s.trimmed().isEmpty())
            r << s.trimmed();
    return r;
}

bool EjecutaScript(const QString& archivo, const QString& script, QString* error) {
    const QString nombre = NombreConexion();
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(archivo);
        ok = db.open() && db.transaction() && EjecutaEn(db, Sentencias(script), error) &&
             db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return ok;
}

bool EjecutaSentencia(const QString& archivo, const QString& sql, QString* error) {
    const QString nombre = NombreConexion();
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(archivo);
        ok = db.open() && EjecutaEn(db, {sql}, error);
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return ok;
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
    const QString nombre = NombreConexion();
    QString v;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(archivo);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                v = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return v;
}

std::optional<ServidorPg> Postgres() {
    if (!qEnvironmentVariableIsSet("ORT_PG_PORT"))
        return std::nullopt;
    ServidorPg s;
    s.host = qEnvironmentVariable("ORT_PG_HOST", QStringLiteral("127.0.0.1"));
    s.puerto = qEnvironmentVariableIntValue("ORT_PG_PORT");
    s.usuario = qEnvironmentVariable("ORT_PG_USER");
    s.clave = qEnvironmentVariable("ORT_PG_PASSWORD");
    return s;
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
    bool ok = false;
    const QString admin = NombreConexion();
    {
        QSqlDatabase db = BasePg(s, QStringLiteral("postgres"), admin);
        ok = db.open();
        if (!ok && error)
            *error = db.lastError().text();
        if (ok)
            ok = EjecutaEn(
                db,
                {QStringLiteral("SET client_min_messages = warning"),
                 QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(nombre),
                 QStringLiteral("CREATE DATABASE \"%1\"").arg(nombre)},
                error);
        db.close();
    }
    QSqlDatabase::removeDatabase(admin);
    if (!ok)
        return false;
    const QString conn = NombreConexion();
    {
        QSqlDatabase db = BasePg(s, nombre, conn);
        ok = db.open() && EjecutaEn(db, sentencias, error);
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
    return ok;
}

} // namespace ort::prueba
