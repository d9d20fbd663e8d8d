#include "recording/diario.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ort {

namespace {

const QString kFormatoMomento = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// Columns of a held reading, in the order of both tables.
const QString kColumnas = QStringLiteral(
    "Id,Destino,Forma,Maqui,Produ,Carac,Valor,Fecha,Hora,Momento,Turno,Opera,DTMP,Puerto,Canal,"
    "Secue,Campo,Estado,NAntes,LlenasAntes,Motivo");

const char* const kEsquema[] = {
    "CREATE TABLE IF NOT EXISTS Retenidas (Id INTEGER PRIMARY KEY AUTOINCREMENT, Destino TEXT NOT "
    "NULL, Forma TEXT, Maqui TEXT, Produ TEXT, Carac TEXT, Valor TEXT, Fecha TEXT, Hora TEXT, "
    "Momento TEXT NOT NULL, Turno TEXT, Opera TEXT, DTMP REAL, Puerto INTEGER, Canal INTEGER, "
    "Secue INTEGER, Campo INTEGER, Estado INTEGER NOT NULL DEFAULT 0, NAntes INTEGER, LlenasAntes "
    "TEXT, Motivo TEXT)",
    "CREATE INDEX IF NOT EXISTS RetenidasPorDestino ON Retenidas (Destino, Id)",
    "CREATE TABLE IF NOT EXISTS Apartadas (Id INTEGER PRIMARY KEY, Destino TEXT, Forma TEXT, Maqui "
    "TEXT, Produ TEXT, Carac TEXT, Valor TEXT, Fecha TEXT, Hora TEXT, Momento TEXT, Turno TEXT, "
    "Opera TEXT, DTMP REAL, Puerto INTEGER, Canal INTEGER, Secue INTEGER, Campo INTEGER, Estado "
    "INTEGER, NAntes INTEGER, LlenasAntes TEXT, Motivo TEXT, Apartada TEXT)",
};

QString nuevoNombre() {
    static QAtomicInteger<quint64> n;
    return QStringLiteral("ort-diario-%1").arg(n.fetchAndAddRelaxed(1) + 1);
}

QString marcadores(qsizetype n) {
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m << QStringLiteral("?");
    return m.join(u',');
}

} // namespace

QString claveDestino(const Ajustes& a, const QString& Forma, const QString& Maqui,
                     const QString& Produ) {
    const QString f = Forma.trimmed(), m = Maqui.trimmed(), p = Produ.trimmed();
    if (a.TipoBD == kSqlServer)
        return QStringLiteral("servidor:") + a.ServidorBD + u'/' + a.CatalogoBD +
               QStringLiteral("DATA/Datos_") + f + u'_' + m + u'_' + p;
    return QStringLiteral("archivo:") + a.DirDatos + f + u'/' + m + u'/' + p +
           QStringLiteral(".MDB");
}

Diario::Diario(const QString& archivo) : archivo_(archivo), nombre_(nuevoNombre()) {}

Diario::~Diario() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombre_);
    }
}

bool Diario::ejecuta(const QString& sql) {
    QSqlQuery q(db_);
    if (q.exec(sql))
        return true;
    error_ = q.lastError().text();
    return false;
}

Resultado<> Diario::abre() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Falla{archivo_, 0,
                     QStringLiteral("No está instalado el controlador de base de datos QSQLITE.")};
    if (!db_.isValid())
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre_);
    db_.setDatabaseName(QFileInfo(archivo_).absoluteFilePath());
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db_.open())
        return Falla{archivo_, 0, db_.lastError().text()};
    // Write-ahead log, synced at every commit: an append that returned survives a power cut.
    bool ok = ejecuta(QStringLiteral("PRAGMA journal_mode=WAL")) &&
              ejecuta(QStringLiteral("PRAGMA synchronous=FULL"));
    for (const char* s : kEsquema)
        ok = ok && ejecuta(QString::fromUtf8(s));
    ok = ok && cuenta();
    if (ok)
        return {};
    db_.close();
    return Falla{archivo_, 0, error_};
}

void Diario::fijaAlcance(const QString& destino, std::atomic<qint64>* totalComun) {
    alcance_ = destino;
    comun_ = totalComun;
}

bool Diario::cuenta() {
    if (comun_)
        *comun_ -= total_;
    total_ = 0;
    porDestino_.clear();
    porPuerto_.clear();
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("select Destino, Puerto, count(*) from Retenidas") +
              (alcance_.isEmpty() ? QString() : QStringLiteral(" where Destino = ?")) +
              QStringLiteral(" group by 1, 2"));
    if (!alcance_.isEmpty())
        q.addBindValue(alcance_);
    if (!q.exec()) {
        error_ = q.lastError().text();
        return false;
    }
    while (q.next()) {
        const qint64 n = q.value(2).toLongLong();
        porDestino_[q.value(0).toString()] += n;
        porPuerto_[q.value(1).toInt()] += n;
        total_ += n;
    }
    if (comun_)
        *comun_ += total_;
    if (!q.exec(QStringLiteral("select count(*) from Apartadas")) || !q.next()) {
        error_ = q.lastError().text();
        return false;
    }
    apartadas_ = q.value(0).toLongLong();
    return true;
}

void Diario::fijaLimite(qint64 maximo, qint64 aviso) {
    maximo_ = qMax<qint64>(1, maximo);
    aviso_ = qBound<qint64>(0, aviso, maximo_);
}

bool Diario::transaccion(const std::function<bool()>& cuerpo) {
    if (!db_.isOpen()) {
        error_ = QStringLiteral("El diario de lecturas retenidas no está abierto.");
        return false;
    }
    if (!ejecuta(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    if (cuerpo() && ejecuta(QStringLiteral("COMMIT")))
        return true;
    QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
    return false;
}

Diario::Admision Diario::agrega(Retenida& r) {
    QList<Retenida> rs{r};
    const Admision a = agrega(rs);
    r = rs.front();
    return a;
}

Diario::Admision Diario::agrega(QList<Retenida>& rs) {
    if (total() + rs.size() > maximo_) {
        error_ = QStringLiteral("El diario de lecturas retenidas está lleno (%1 lecturas).")
                     .arg(maximo_);
        return Admision::Rechazada;
    }
    const bool ok = transaccion([&] {
        QSqlQuery q(db_);
        q.prepare(QStringLiteral("insert into Retenidas (Destino,Forma,Maqui,Produ,Carac,Valor,"
                                 "Fecha,Hora,Momento,Turno,Opera,DTMP,Puerto,Canal,Secue,Campo,"
                                 "Motivo) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        for (Retenida& r : rs) {
            for (const QVariant& v :
                 {QVariant(r.destino), QVariant(r.Forma), QVariant(r.Maqui), QVariant(r.Produ),
                  QVariant(r.Carac), QVariant(r.Valor), QVariant(r.Fecha), QVariant(r.Hora),
                  QVariant(r.momento.toString(kFormatoMomento)), QVariant(r.Turno),
                  QVariant(r.Opera), QVariant(static_cast<double>(r.DTMP)), QVariant(r.puerto),
                  QVariant(r.canal), QVariant(r.secuencia), QVariant(r.campo), QVariant(r.motivo)})
                q.addBindValue(v);
            if (!q.exec()) {
                error_ = q.lastError().text();
                return false;
            }
            r.id = q.lastInsertId().toLongLong();
            r.estado = Retenida::Estado::Retenida;
        }
        return true;
    });
    if (!ok)
        return Admision::Rechazada;
    for (const Retenida& r : rs) {
        ++porDestino_[r.destino];
        ++porPuerto_[r.puerto];
    }
    total_ += rs.size();
    if (comun_)
        *comun_ += rs.size();
    return total() >= aviso_ ? Admision::Cerca : Admision::Guardada;
}

QStringList Diario::destinos() {
    QStringList r;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("select Destino from Retenidas") +
              (alcance_.isEmpty() ? QString() : QStringLiteral(" where Destino = ?")) +
              QStringLiteral(" group by Destino order by min(Id)"));
    if (!alcance_.isEmpty())
        q.addBindValue(alcance_);
    if (q.exec())
        while (q.next())
            r << q.value(0).toString();
    return r;
}

QList<Retenida> Diario::lee(const QString& donde, const QVariantList& valores,
                            const QString& tabla) {
    QList<Retenida> r;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("select ") + kColumnas + QStringLiteral(" from ") + tabla + u' ' +
              donde);
    for (const QVariant& v : valores)
        q.addBindValue(v);
    if (!q.exec()) {
        error_ = q.lastError().text();
        return r;
    }
    while (q.next()) {
        Retenida x;
        int i = 0;
        x.id = q.value(i++).toLongLong();
        x.destino = q.value(i++).toString();
        x.Forma = q.value(i++).toString();
        x.Maqui = q.value(i++).toString();
        x.Produ = q.value(i++).toString();
        x.Carac = q.value(i++).toString();
        x.Valor = q.value(i++).toString();
        x.Fecha = q.value(i++).toString();
        x.Hora = q.value(i++).toString();
        x.momento = QDateTime::fromString(q.value(i++).toString(), kFormatoMomento);
        x.Turno = q.value(i++).toString();
        x.Opera = q.value(i++).toString();
        x.DTMP = static_cast<float>(q.value(i++).toDouble());
        x.puerto = q.value(i++).toInt();
        x.canal = q.value(i++).toInt();
        x.secuencia = q.value(i++).toInt();
        x.campo = q.value(i++).toInt();
        x.estado =
            q.value(i++).toInt() == 1 ? Retenida::Estado::EnEscritura : Retenida::Estado::Retenida;
        const QVariant nAntes = q.value(i++);
        x.nAntes = nAntes.isNull() ? -1 : nAntes.toLongLong();
        const QString llenas = q.value(i++).toString();
        x.llenasAntes = llenas.isEmpty() ? QStringList() : llenas.split(u'\n');
        x.motivo = q.value(i++).toString();
        r << x;
    }
    return r;
}

QList<Retenida> Diario::retenidas(const QString& destino, int max) {
    return lee(QStringLiteral("where Destino = ? order by Id limit ?"), {destino, max},
               QStringLiteral("Retenidas"));
}

QList<Retenida> Diario::listaApartadas() {
    return lee(QStringLiteral("order by Id"), {}, QStringLiteral("Apartadas"));
}

QList<Retenida> Diario::porIds(const QList<qint64>& ids) {
    QVariantList v;
    for (qint64 id : ids)
        v << id;
    return lee(QStringLiteral("where Id in (%1)").arg(marcadores(ids.size())), v,
               QStringLiteral("Retenidas"));
}

bool Diario::actualizaCada(const QString& sql, const QList<qint64>& ids,
                           const QVariantList& fijos) {
    return transaccion([&] {
        QSqlQuery q(db_);
        q.prepare(sql);
        for (qint64 id : ids) {
            for (const QVariant& v : fijos)
                q.addBindValue(v);
            q.addBindValue(id);
            if (!q.exec()) {
                error_ = q.lastError().text();
                return false;
            }
        }
        return true;
    });
}

bool Diario::marcaEnEscritura(const QList<qint64>& ids, const std::optional<HuellaTabla>& huella) {
    return actualizaCada(
        QStringLiteral("update Retenidas set Estado = 1, NAntes = ?, LlenasAntes = ? where Id = ?"),
        ids,
        {huella ? QVariant(huella->n) : QVariant(QMetaType(QMetaType::LongLong)),
         huella ? huella->llenas.join(u'\n') : QString()});
}

bool Diario::devuelve(const QList<qint64>& ids) {
    return ids.isEmpty() ||
           actualizaCada(QStringLiteral("update Retenidas set Estado = 0, NAntes = null, "
                                        "LlenasAntes = null where Id = ?"),
                         ids, {});
}

void Diario::descuenta(const QList<Retenida>& rs) {
    for (const Retenida& r : rs) {
        if (--porDestino_[r.destino] <= 0)
            porDestino_.remove(r.destino);
        if (--porPuerto_[r.puerto] <= 0)
            porPuerto_.remove(r.puerto);
        --total_;
        if (comun_)
            --*comun_;
    }
}

bool Diario::quita(const QList<qint64>& ids) {
    if (ids.isEmpty())
        return true;
    const QList<Retenida> rs = porIds(ids);
    const bool ok = transaccion([&] {
        QSqlQuery q(db_);
        q.prepare(QStringLiteral("delete from Retenidas where Id = ?"));
        for (qint64 id : ids) {
            q.addBindValue(id);
            if (!q.exec()) {
                error_ = q.lastError().text();
                return false;
            }
        }
        return true;
    });
    if (ok)
        descuenta(rs);
    return ok;
}

bool Diario::aparta(qint64 id, const QString& motivo, const QDateTime& cuando) {
    const QList<Retenida> rs = porIds({id});
    if (rs.isEmpty())
        return false;
    const bool ok = transaccion([&] {
        QSqlQuery q(db_);
        q.prepare(QStringLiteral("insert into Apartadas (") + kColumnas +
                  QStringLiteral(",Apartada) select ") +
                  QString(kColumnas).replace(QStringLiteral("Motivo"), QStringLiteral("?")) +
                  QStringLiteral(",? from Retenidas where Id = ?"));
        q.addBindValue(motivo);
        q.addBindValue(cuando.toString(kFormatoMomento));
        q.addBindValue(id);
        if (!q.exec()) {
            error_ = q.lastError().text();
            return false;
        }
        q.prepare(QStringLiteral("delete from Retenidas where Id = ?"));
        q.addBindValue(id);
        if (!q.exec()) {
            error_ = q.lastError().text();
            return false;
        }
        return true;
    });
    if (ok) {
        descuenta(rs);
        ++apartadas_;
    }
    return ok;
}

} // namespace ort
