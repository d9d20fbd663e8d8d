#include "basedatos/conexion.h"

#include "startup/avisos.h"
#include "startup/reloj.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>

#include <sqlite3.h>

namespace ort {

namespace {

const QString kProveedorJet = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
const QString kProveedorSql = QStringLiteral("SQLOLEDB.1");

QString& driverSqlite() {
    static QString d = QStringLiteral("QSQLITE");
    return d;
}
QString& driverPostgres() {
    static QString d = QStringLiteral("QPSQL");
    return d;
}

std::atomic<int> gSinEspera{0};

// The wait on a locked file, as SQLite's own busy timeout makes it (short steps first, then
// 100 ms each) up to kEsperaOcupadaMs; ended at once while a SinEsperaOcupada lives.
int esperaOcupada(void*, int intento) {
    static constexpr std::array kPasos{1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const auto paso = [](int i) { return kPasos[std::min(size_t(i), kPasos.size() - 1)]; };
    if (gSinEspera.load() > 0)
        return 0;
    int hecho = 0;
    for (int i = 0; i < intento; ++i)
        hecho += paso(i);
    const int ms = std::min(paso(intento), SinEsperaOcupada::kEsperaOcupadaMs - hecho);
    if (ms <= 0)
        return 0;
    sqlite3_sleep(ms);
    return 1;
}

QString nuevoNombre() {
    static QAtomicInteger<quint64> contador;
    return QStringLiteral("ort-%1").arg(contador.fetchAndAddRelaxed(1) + 1);
}

// SQLite's primary result codes that mean the file is not a sound database.
bool esDanoSqlite(const QSqlError& e) {
    const int codigo = e.nativeErrorCode().toInt() & 0xff;
    return codigo == 11 /* SQLITE_CORRUPT */ || codigo == 26 /* SQLITE_NOTADB */;
}

Falla errorDe(const QString& fuente, qint64 numero, const QString& descripcion) {
    return Falla{fuente, numero, descripcion};
}

// SQLite's primary result codes of a file that cannot be read for the moment: held by another
// program past the busy wait, or an I/O error of its disk or share. They take the row of an
// unreachable file.
bool esInalcanzableSqlite(const QSqlError& e) {
    const int codigo = e.nativeErrorCode().toInt() & 0xff;
    return codigo == 5 /* SQLITE_BUSY */ || codigo == 6 /* SQLITE_LOCKED */ ||
           codigo == 10 /* SQLITE_IOERR */ || codigo == 14 /* SQLITE_CANTOPEN */;
}

// Sorts a PostgreSQL connection failure into the product's rows.
qint64 clasificaPostgres(const QSqlError& e) {
    const QString t = e.text() + u' ' + e.nativeErrorCode();
    if (t.contains(QStringLiteral("28P01")) ||
        t.contains(QStringLiteral("password authentication failed"), Qt::CaseInsensitive) ||
        t.contains(QStringLiteral("no password supplied"), Qt::CaseInsensitive))
        return errbd::kClave;
    static const char* inalcanzable[] = {
        "could not connect", "Connection refused",          "could not translate host",
        "timeout expired",   "No such file or directory",   "Network is unreachable",
        "No route to host",  "server closed the connection"};
    for (const char* s : inalcanzable)
        if (t.contains(QLatin1String(s), Qt::CaseInsensitive))
            return errbd::kNoEncontrada;
    return errbd::kGeneral;
}

Resultado<> abreSqlite(const QMap<QString, QString>& partes, QSqlDatabase& db, QString& archivo) {
    archivo = partes.value(QStringLiteral("data source"));
    const QFileInfo info(archivo);
    if (archivo.isEmpty() || !info.exists()) {
        return errorDe(driverSqlite(), errbd::kNoEncontrada,
                       QStringLiteral("No se encuentra el archivo '%1'.").arg(archivo));
    }
    if (!info.isFile()) {
        return errorDe(driverSqlite(), errbd::kGeneral,
                       QStringLiteral("'%1' no es un archivo.").arg(archivo));
    }
    // mode=rw: a file that vanished meanwhile is not created anew.
    db.setDatabaseName(
        QUrl::fromLocalFile(QFileInfo(archivo).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        QStringLiteral("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                             .arg(SinEsperaOcupada::kEsperaOcupadaMs));
    if (!db.open()) {
        const QSqlError e = db.lastError();
        // The file is there: a refusal (permission, I/O) is reported, not taken for absence.
        return errorDe(driverSqlite(), esDanoSqlite(e) ? errbd::kFormato : errbd::kGeneral,
                       e.text());
    }
    if (const QVariant h = db.driver()->handle();
        h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        if (sqlite3* s = *static_cast<sqlite3* const*>(h.constData()))
            sqlite3_busy_handler(s, esperaOcupada, nullptr);
    // SQLite opens lazily: reading the schema proves the file is a database.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(*) from sqlite_master"))) {
        const QSqlError e = q.lastError();
        return errorDe(driverSqlite(),
                       esDanoSqlite(e)           ? errbd::kFormato
                       : esInalcanzableSqlite(e) ? errbd::kNoEncontrada
                                                 : errbd::kGeneral,
                       e.text());
    }
    return {};
}

Resultado<> abrePostgres(const QMap<QString, QString>& partes, QSqlDatabase& db) {
    QString host = partes.value(QStringLiteral("data source"));
    int puerto = 5432;
    const int dosPuntos = host.lastIndexOf(u':');
    if (dosPuntos > 0 && !host.contains(u']')) {
        puerto = host.mid(dosPuntos + 1).toInt();
        host = host.left(dosPuntos);
    }
    db.setHostName(host);
    db.setPort(puerto);
    db.setUserName(partes.value(QStringLiteral("user id")));
    db.setPassword(partes.value(QStringLiteral("password")));
    db.setDatabaseName(partes.value(QStringLiteral("initial catalog")));
    db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    if (!db.open()) {
        const QSqlError e = db.lastError();
        return errorDe(driverPostgres(), clasificaPostgres(e), e.text());
    }
    return {};
}

Resultado<> compruebaPaginas(Conexion& c) {
    QSqlQuery q(c.db());
    if (!q.exec(QStringLiteral("PRAGMA quick_check(1)"))) {
        const QSqlError e = q.lastError();
        return errorDe(driverSqlite(), esDanoSqlite(e) ? errbd::kDanada : errbd::kGeneral,
                       e.text());
    }
    if (q.next() && q.value(0).toString() != QStringLiteral("ok")) {
        return errorDe(driverSqlite(), errbd::kDanada,
                       QStringLiteral("Base de datos dañada: %1").arg(q.value(0).toString()));
    }
    return {};
}

QString mensajeM(const Falla& e, const QString& cadena) {
    return QStringLiteral("Module1. OpenDBOK.\n\n") + e.fuente + u'\n' + QString::number(e.numero) +
           QStringLiteral(".- ") + e.descripcion + QStringLiteral("\n\n") + cadena +
           QStringLiteral("\n\n");
}

// Runs the statements on a connection of its own to a SQLite file, up to the first that fails.
bool ejecutaEnArchivo(const QString& archivo, const QStringList& sentencias, QString& problema) {
    const QString nombre = nuevoNombre();
    bool ok = true;
    {
        QSqlDatabase destino = QSqlDatabase::addDatabase(driverSqlite(), nombre);
        destino.setDatabaseName(archivo);
        ok = destino.open();
        QSqlQuery d(destino);
        for (const QString& sql : sentencias)
            if (ok && !d.exec(sql)) {
                problema = d.lastError().text();
                ok = false;
            }
        destino.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return ok;
}

// Rebuilds a damaged file from what SQLite can still read of its tables: a fresh copy beside it,
// named after the time of day, whose indexes are built anew from the rows, then takes the damaged
// file's place.
bool reconstruye(QSqlDatabase& origen, const QString& temporal, QString& problema) {
    QSqlQuery q(origen);
    if (!q.exec(QStringLiteral("select type, name, sql from sqlite_master where sql is not null "
                               "and name not like 'sqlite_%' order by type = 'table' desc"))) {
        problema = q.lastError().text();
        return false;
    }
    QStringList tablas, crear, despues;
    while (q.next()) {
        if (q.value(0).toString() == QStringLiteral("table")) {
            tablas << q.value(1).toString();
            crear << q.value(2).toString();
        } else {
            despues << q.value(2).toString();
        }
    }
    q.finish();
    if (!ejecutaEnArchivo(temporal, crear, problema))
        return false;
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS reparada"));
    q.addBindValue(temporal);
    if (!q.exec()) {
        problema = q.lastError().text();
        return false;
    }
    bool ok = true;
    for (const QString& t : tablas) {
        const QString citada = u'"' + QString(t).replace(u'"', QStringLiteral("\"\"")) + u'"';
        // Row by row from the table itself: without the WHERE, SQLite would copy the key
        // indexes (PRIMARY KEY, UNIQUE) page by page, damage included, instead of building them.
        if (!q.exec(QStringLiteral("INSERT INTO reparada.%1 SELECT * FROM main.%1 NOT INDEXED "
                                   "WHERE 1")
                        .arg(citada))) {
            problema = q.lastError().text();
            ok = false;
            break;
        }
    }
    q.exec(QStringLiteral("DETACH DATABASE reparada"));
    if (!ok)
        return false;
    return ok && ejecutaEnArchivo(temporal, despues, problema);
}

bool repara(const QString& archivo, Entorno& e, Falla& error) {
    e.avisos.ocupado(true);
    const float segundos = static_cast<float>(e.reloj.segundosDesdeMedianoche());
    const QString temporal =
        QFileInfo(archivo).absolutePath() + u'/' + QString::number(segundos, 'g', 7);
    QFile::remove(temporal);
    QString problema;
    bool ok = false;
    {
        Conexion origen;
        const Resultado<> abierta = abreConexion(cadenaJet(archivo, QString()), origen);
        // A file whose schema cannot be read stays open for the attempt all the same.
        if (origen.db().isValid() && origen.db().isOpen())
            ok = reconstruye(origen.db(), temporal, problema);
        else
            problema = abierta.falla().descripcion;
    }
    // One atomic rename: the damaged file is never gone before its copy stands in its place.
    std::error_code ec;
    if (ok)
        std::filesystem::rename(QFile::encodeName(temporal).toStdString(),
                                QFile::encodeName(archivo).toStdString(), ec);
    if (ok && ec) {
        ok = false;
        problema =
            QStringLiteral("no se pudo reemplazar el archivo por su copia reparada ") + temporal;
    }
    if (!ok) {
        QFile::remove(temporal);
        error.descripcion += QStringLiteral("\nNo se pudo reparar: ") + problema;
    }
    e.avisos.ocupado(false);
    return ok;
}

} // namespace

Conexion::Conexion() : nombre_(nuevoNombre()) {}

Conexion::~Conexion() {
    cierra();
}

void Conexion::cierra() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombre_);
    }
}

// Declared for the tests only (tests/support/costuras.h).
void fijaDriverParaPruebas(Motor motor, const QString& driver) {
    (motor == Motor::Postgres ? driverPostgres() : driverSqlite()) = driver;
}

Resultado<> abreConexion(const QString& cadena, Conexion& c) {
    c.cierra();
    c.cadena_ = cadena;
    c.archivo_.clear();
    const auto partes = leeCadena(cadena);
    const QString proveedor = partes.value(QStringLiteral("provider")).trimmed();
    QString driver;
    if (proveedor.compare(kProveedorJet, Qt::CaseInsensitive) == 0) {
        c.motor_ = Motor::Sqlite;
        driver = driverSqlite();
    } else if (proveedor.compare(kProveedorSql, Qt::CaseInsensitive) == 0) {
        c.motor_ = Motor::Postgres;
        driver = driverPostgres();
    } else {
        c.motor_ = Motor::Ninguno;
        return errorDe(QStringLiteral("ORT"), errbd::kNoEncontrada,
                       QStringLiteral("No se encontró el proveedor de la cadena de conexión."));
    }
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        return errorDe(
            driver, errbd::kProveedor,
            QStringLiteral("No está instalado el controlador de base de datos %1.").arg(driver));
    }
    c.db_ = QSqlDatabase::addDatabase(driver, c.nombre_);
    if (c.motor_ == Motor::Sqlite)
        return abreSqlite(partes, c.db_, c.archivo_);
    return abrePostgres(partes, c.db_);
}

Resultado<> OpenDBOK(const QString& cadena, Conexion& conexion, Entorno& e,
                     Comprobacion comprobacion) {
    QString actual = cadena;
    int preguntas = 0;
    bool reparada = false;
    for (;;) {
        Resultado<> r = abreConexion(actual, conexion);
        if (r && conexion.motor() == Motor::Sqlite && comprobacion == Comprobacion::Completa)
            r = compruebaPaginas(conexion);
        if (r) {
            if (actual != cadena)
                pasaClaveNueva(e.ajustes, cadena, actual);
            return r;
        }
        conexion.cierra();
        e.avisos.ocupado(false);
        // The message tells of a failed repair; the caller gets the failure of the opening.
        const Falla& fallo = r.falla();
        Falla err = fallo;
        switch (err.numero) {
        case errbd::kClave: {
            if (preguntas >= 3) {
                e.avisos.mensaje(mensajeM(err, actual), Avisos::Icono::Exclamacion);
                return fallo;
            }
            ++preguntas;
            const QString clave =
                e.avisos.entrada(actual + u'\n' + e.ajustes.texto(Textos::PreguntaClave));
            if (clave.isEmpty())
                return fallo;
            e.ajustes.ClaveBD = clave;
            actual = cadenaConClave(actual, clave);
            continue;
        }
        case errbd::kDanada:
        case errbd::kFormato:
            if (!reparada &&
                repara(conexion.archivo().isEmpty() ? valorCadena(actual, "Data Source")
                                                    : conexion.archivo(),
                       e, err)) {
                reparada = true;
                continue;
            }
            e.avisos.mensaje(mensajeM(err, actual), Avisos::Icono::Exclamacion);
            return fallo;
        case errbd::kProveedor:
            e.avisos.mensaje(mensajeM(err, actual) + e.ajustes.texto(Textos::NotaProveedor) +
                                 QStringLiteral("\n\n"),
                             Avisos::Icono::Exclamacion);
            return fallo;
        case errbd::kNoEncontrada:
            return fallo;
        default:
            e.avisos.mensaje(mensajeM(err, actual), Avisos::Icono::Exclamacion);
            return fallo;
        }
    }
}

QString adaptaSql(const QString& sql, Motor motor) {
    QString s = sql;
    static const QRegularExpression top(QStringLiteral("^(\\s*select)\\s+top\\s+1\\s+"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (top.match(s).hasMatch()) {
        s.replace(top, QStringLiteral("\\1 "));
        s += QStringLiteral(" limit 1");
    }
    if (motor == Motor::Postgres) {
        // The product's engines compared "like" without letter case (a bracketed name stays).
        static const QRegularExpression like(QStringLiteral("\\blike\\b(?![^\\[]*\\])"),
                                             QRegularExpression::CaseInsensitiveOption);
        s.replace(like, QStringLiteral("ilike"));
        static const QRegularExpression corchetes(QStringLiteral("\\[([^\\]]*)\\]"));
        s.replace(corchetes, QStringLiteral("\"\\1\""));
    }
    return s;
}

std::optional<QString> citaIdentificador(const QString& nombre) {
    if (nombre.isEmpty() || nombre.size() > 63 || nombre.trimmed() != nombre)
        return std::nullopt;
    for (QChar c : nombre)
        if (c.unicode() < 32 || c == u'"' || c == u'[' || c == u']' || c == u'`' || c == u';' ||
            c == QChar(0x7f))
            return std::nullopt;
    return u'"' + nombre + u'"';
}

SinEsperaOcupada::SinEsperaOcupada() {
    ++gSinEspera;
}

SinEsperaOcupada::~SinEsperaOcupada() {
    --gSinEspera;
}

} // namespace ort
