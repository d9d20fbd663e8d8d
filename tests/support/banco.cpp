#include "support/banco.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace ort::prueba {

Banco::Banco(Motor m, bool grabadorFalso)
    : motor(m)
    , reg(e, t, config, grabadorFalso ? static_cast<Grabador&>(falso) : grabador, log)
    , rx(e, t, puertos, reg, log, [this](int p, int c) { return gse ? gse(p, c) : QString(); }) {
    ajustes.Ruta = dir.ruta(), ajustes.Idioma = 1, ajustes.Textos = TablaTextos(61, 100, 1);
    ajustes.TurnoNombre = {QString(), "M", "T", "N"}, ajustes.TurnoFin = {0, 1400, 2200, 2400};
    ajustes.NumTurnos = 3;
    archivoConf = dir.ruta() + kConfPorDefecto, archivoMtvx = dir.ruta() + "MTVX2005.MDB";
    if (motor == Motor::Postgres) {
        srv = postgres();
        ajustes.TipoBD = kSqlServer;
        if (srv)
            ajustes.ServidorBD = srv->dataSource(), ajustes.UsuarioBD = srv->usuario,
            ajustes.ClaveBD = srv->clave;
        ajustes.CatalogoBD = nombreConexion(QStringLiteral("ort_%1_%2_")
                                                .arg(QCoreApplication::applicationName().toLower())
                                                .arg(QCoreApplication::applicationPid()));
        tabla = "Datos_F1_M1_P1";
    } else {
        ajustes.TipoBD = kJet4, ajustes.DirDatos = dir.ruta() + "datos/", tabla = "Datos";
    }
}

Banco::~Banco() = default;

bool Banco::conf(const QString& filas) {
    QString error;
    dir.escribe(kArchivoUbicacion, archivoConf);
    if (!creaSqlite(archivoConf, {"ortconf.sqlite.sql"}, filas, &error) || !config.IniArch()) {
        qWarning() << "configuration:" << error;
        return false;
    }
    config.IniSecue(t);
    return true;
}

bool Banco::mtvx(const QString& extra, const QStringList& esquemas) {
    QString error;
    ajustes.StrConexion = cadenaJet(archivoMtvx, QString());
    if (!creaSqlite(archivoMtvx, esquemas, extra, &error)) {
        qWarning() << "Metrovax:" << error;
        return false;
    }
    return true;
}

bool Banco::datos(const QStringList& extra, const QString& cambiaDe, const QString& cambiaA) {
    const bool pg = motor == Motor::Postgres;
    QString esquema = leeEsquema(pg ? "datos.pg.sql" : "datos.sqlite.sql");
    if (!cambiaDe.isEmpty())
        esquema.replace(cambiaDe, cambiaA, Qt::CaseInsensitive);
    QString error;
    bool ok;
    if (pg) {
        ok = srv &&
             creaBasePg(*srv, ajustes.CatalogoBD + "DATA", sentencias(esquema) + extra, &error);
    } else {
        QDir().mkpath(ajustes.DirDatos + "F1/M1");
        ok = creaSqlite(ajustes.DirDatos + "F1/M1/P1.MDB", {}, esquema + ';' + extra.join(';'),
                        &error);
    }
    if (!ok)
        qWarning() << "data:" << error;
    return ok;
}

QList<QVariantList> Banco::filas(const QStringList& sentencias, QString* error) const {
    QList<QVariantList> r;
    QSqlDatabase db =
        motor == Motor::Postgres
            ? basePg(srv.value_or(ServidorPg{}), ajustes.CatalogoBD + "DATA", nombreConexion())
            : baseSqlite(ajustes.DirDatos + "F1/M1/P1.MDB");
    db.setConnectOptions(motor == Motor::Postgres ? QString() : "QSQLITE_BUSY_TIMEOUT=0");
    conBase(
        db,
        [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            for (const QString& sql : sentencias) {
                if (!q.exec(sql)) {
                    if (error)
                        *error = q.lastError().text() + u' ';
                    return false;
                }
                for (r.clear(); q.next();) {
                    r << QVariantList();
                    for (int i = 0; i < q.record().count(); ++i)
                        r.last() << q.value(i);
                }
            }
            return true;
        },
        error);
    return r;
}

bool Banco::libre() const {
    QString error;
    if (motor == Motor::Postgres)
        filas({"BEGIN", "LOCK TABLE \"" + tabla + "\" IN ACCESS EXCLUSIVE MODE NOWAIT", "ROLLBACK"},
              &error);
    else
        filas({"BEGIN EXCLUSIVE", "ROLLBACK"}, &error);
    return error.isEmpty();
}

QStringList Banco::muestra(const QList<QVariantList>& filas) {
    QStringList r;
    for (const auto& f : filas) {
        QStringList campos;
        for (const QVariant& v : f)
            campos << (v.isNull() ? QStringLiteral("-")
                       : v.metaType().id() == QMetaType::QDateTime
                           ? v.toDateTime().toString("yyyy-MM-dd HH:mm:ss")
                           : v.toString());
        r << campos.join(u' ');
    }
    return r;
}

QString Banco::columna(const QString& carac) const {
    return muestra(filas(QStringLiteral("select \"%1\" from \"%2\" order by n").arg(carac, tabla)))
        .join(u',');
}

void Banco::abre(int p, const QString& conex, bool tcp) {
    t.puerto(p).Conex = conex.leftJustified(5, ' ', true), t.CarTerm[p] = 13, t.PosInicio[p] = 1;
    t.puerto(p).TipoCon = tcp ? "TCP/IP" : "RS232", t.puerto(p).Activo = true;
    if (tcp)
        (void)puertos.tcp(p).conecta("127.0.0.1", 4000);
    else // a step that fails stays as the test set it
        (void)puertos.serie(p).fijaNumero(p), (void)puertos.serie(p).abre();
}

void Banco::llega(int p, const QByteArray& bytes) {
    puertos.serie(p).llega(bytes);
    rx.ComLee(p);
}

Bloqueo::Bloqueo(const QString& archivo, const QString& sentencia, int ms) : ms_(ms) {
    hilo_ = std::thread([=, this] {
        conBase(baseSqlite(archivo), [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            q.exec("BEGIN " + sentencia.section(' ', 0, 0));
            if (sentencia.contains("select", Qt::CaseInsensitive))
                q.exec(sentencia.section(' ', 1)), q.next(); // the read lock lasts the transaction
            listo_ = true;
            for (int t = 0; !suelta_ && (ms < 0 || t < ms); t += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            q.finish();
            return q.exec("COMMIT");
        });
    });
    while (!listo_)
        std::this_thread::yield();
}

Bloqueo::~Bloqueo() {
    suelta_ = suelta_ || ms_ < 0;
    if (hilo_.joinable())
        hilo_.join();
}

Adquisicion& Banco::adquisicion() {
    if (!a_)
        a_ = std::make_unique<Adquisicion>(e, puertos, falso);
    return *a_;
}

} // namespace ort::prueba
