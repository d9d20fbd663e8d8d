#include "recording/grabador.h"

#include "basedatos/columnas.h"
#include "startup/archivosproducto.h"
#include "startup/avisos.h"
#include "startup/reloj.h"
#include "startup/textfuncs.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <limits>
#include <optional>

namespace ort {

namespace {

const QString kFuente = QStringLiteral("ORT");
// The numbers the product's runtime gave to these failures.
constexpr qint64 kNombreArchivo = 52; // bad file name
constexpr qint64 kTipo = 13;          // type mismatch
constexpr qint64 kNulo = 94;          // invalid use of Null

// Data rows store their date and time in this form in the file kind: sortable, and readable by
// SQLite's own date functions.
const QString kFormatoFecha = QStringLiteral("yyyy-MM-dd HH:mm:ss");

Falla fallaDe(const QString& descripcion, qint64 numero = errbd::kGeneral) {
    return Falla{kFuente, numero, descripcion};
}

Falla fallaDe(const QSqlQuery& q, Conexion& c) {
    return Falla{c.db().driverName(), errbd::kGeneral, q.lastError().text()};
}

// Why a key cannot be a directory or file name inside DirDatos; no value when it can.
std::optional<QString> motivoClave(const QString& clave) {
    if (clave.isEmpty())
        return QStringLiteral("está vacía");
    if (clave == u'.' || clave == QStringLiteral(".."))
        return QStringLiteral("nombra un directorio relativo");
    for (QChar c : clave) {
        if (c == u'/' || c == u'\\')
            return QStringLiteral("contiene una barra de directorio");
        if (c.unicode() < 32 || c.unicode() == 0x7f || QStringLiteral(":*?\"<>|").contains(c))
            return QStringLiteral("contiene un carácter que no cabe en un nombre de archivo");
    }
    return std::nullopt;
}

// Instruments write their numbers right-aligned in fields padded with blanks: a blank before a
// digit stands for a zero.
QString digitos(const QString& s) {
    QString r = s;
    while (!r.isEmpty() && r.back().isSpace())
        r.chop(1);
    r.replace(u' ', u'0');
    return r;
}

// An instrument's own date, "yyyymmdd".
std::optional<QDate> fechaInstrumento(const QString& fecha) {
    const QString d = digitos(fecha);
    if (d.size() != 8)
        return std::nullopt;
    for (QChar c : d)
        if (!c.isDigit() || c.unicode() > 127)
            return std::nullopt;
    const QDate f = QDate::fromString(d, QStringLiteral("yyyyMMdd"));
    return f.isValid() ? std::optional<QDate>(f) : std::nullopt;
}

// An instrument's own time, "hhnn" (seconds and colons are taken too).
std::optional<QTime> horaInstrumento(const QString& hora) {
    const QString h = digitos(hora);
    for (const char* formato : {"HHmm", "HHmmss", "HH:mm", "HH:mm:ss", "H:mm", "H:mm:ss"}) {
        const QTime t = QTime::fromString(h, QLatin1String(formato));
        if (t.isValid())
            return t;
    }
    return std::nullopt;
}

// The date and time of a row as the database gives it back; no value when it holds none.
std::optional<QDateTime> fechaDeFila(const QVariant& v) {
    if (v.isNull())
        return std::nullopt;
    QDateTime f;
    if (v.metaType().id() == QMetaType::QDateTime) {
        f = v.toDateTime();
    } else {
        QString s = v.toString().trimmed();
        // The form the rows are written in, read without the general parser.
        if (const auto rapida = fechaHoraLocal(s))
            return rapida;
        if (s.size() > 10 && s[10] == u' ')
            s[10] = u'T';
        f = QDateTime::fromString(s, Qt::ISODate);
        if (!f.isValid()) {
            const QDate d = QDate::fromString(s, Qt::ISODate);
            if (d.isValid())
                f = d.startOfDay();
        }
        if (f.isValid() && f.timeSpec() != Qt::LocalTime)
            f = f.toLocalTime();
    }
    return f.isValid() ? std::optional<QDateTime>(f) : std::nullopt;
}

// A column is text when its declared type is a text type (the rule of SQLite's own column
// affinity; PostgreSQL's "character varying", "character" and "text" fit it as well).
bool esTipoTexto(const QString& tipo) {
    const QString t = tipo.toUpper();
    if (t.contains(QStringLiteral("INT")))
        return false;
    return t.contains(QStringLiteral("CHAR")) || t.contains(QStringLiteral("CLOB")) ||
           t.contains(QStringLiteral("TEXT"));
}

// The declared type of a column of the data table.
Resultado<QString> tipoDeclarado(Conexion& c, const QString& tablaCitada, const QString& columna) {
    const auto tipo = tipoColumna(c, tablaCitada, columna);
    if (!tipo)
        return tipo.falla();
    if (!*tipo)
        return fallaDe(QStringLiteral("No se encontró el tipo de la columna [%1].").arg(columna));
    return **tipo;
}

// The newest row's read and its update or insert are one transaction: a second writer of the
// same table waits, so two writers never take the same next N. Rolled back unless committed.
// Inside a receive pass's transaction (group commit) each value is a savepoint of its own, so a
// failed value leaves the others of the pass as they are.
class Transaccion {
public:
    // punto and suelta: the savepoint's statements, prepared once (SQLite); otherwise each is
    // run as text.
    Transaccion(Conexion& c, bool anidada, QSqlQuery* punto = nullptr, QSqlQuery* suelta = nullptr)
        : c_(c)
        , anidada_(anidada)
        , punto_(punto)
        , suelta_(suelta) {}
    ~Transaccion() {
        if (!abierta_)
            return;
        QSqlQuery q(c_.db());
        if (anidada_) {
            q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT valor"));
            q.exec(QStringLiteral("RELEASE SAVEPOINT valor"));
        } else {
            q.exec(QStringLiteral("ROLLBACK"));
        }
    }
    Transaccion(const Transaccion&) = delete;
    Transaccion& operator=(const Transaccion&) = delete;

    Resultado<> inicia(const QString& tablaCitada) {
        // SQLite: take the write lock now, waiting on the busy timeout, rather than failing at
        // the write after another writer has read the same newest row.
        const QString comienzo = anidada_ ? QStringLiteral("SAVEPOINT valor")
                                 : c_.motor() == Motor::Postgres
                                     ? QStringLiteral("BEGIN")
                                     : QStringLiteral("BEGIN IMMEDIATE");
        if (Resultado<> r = ejecuta(anidada_ ? punto_ : nullptr, comienzo); !r)
            return r;
        abierta_ = true;
        // PostgreSQL: writers of the table queue here; readers (Metrovax) are not held up.
        if (c_.motor() != Motor::Postgres)
            return {};
        return ejecuta(
            nullptr, QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(tablaCitada));
    }

    Resultado<> confirma() {
        Resultado<> r = ejecuta(anidada_ ? suelta_ : nullptr,
                                anidada_ ? QStringLiteral("RELEASE SAVEPOINT valor")
                                         : QStringLiteral("COMMIT"));
        if (r)
            abierta_ = false;
        return r;
    }

private:
    // One statement: on a kept one (prepared at its first use, reset after each run) or as text.
    Resultado<> ejecuta(QSqlQuery* guardada, const QString& sql) {
        std::optional<QSqlQuery> suelta; // made only when no kept statement is given
        QSqlQuery& q = guardada ? *guardada : suelta.emplace(c_.db());
        const bool ok =
            guardada ? (!q.lastQuery().isEmpty() || q.prepare(sql)) && q.exec() : q.exec(sql);
        if (!ok) {
            Falla falla = fallaDe(q, c_);
            if (guardada) // prepared again next time: a failed statement is not trusted
                q = QSqlQuery(c_.db());
            return falla;
        }
        q.finish();
        return {};
    }

    Conexion& c_;
    bool anidada_;
    QSqlQuery* punto_;
    QSqlQuery* suelta_;
    bool abierta_ = false;
};

struct Escritura {
    QString tablaCitada;
    QString caracCitada;
    QString carac;
    QDate fecha;
    QTime hora;
    QString turno;
    QString opera;
    QString valor;
    float dtmp = 0;
    QDateTime ahora;
};

} // namespace

// The statements of one characteristic of one data table on a kept connection, prepared once,
// and the column's declared type, read once.
struct GrabadorDatos::Preparadas {
    explicit Preparadas(Conexion& c)
        : lee(c.db())
        , inserta(c.db())
        , actualiza(c.db())
        , punto(c.db())
        , suelta(c.db()) {
        lee.setForwardOnly(true);
    }
    QSqlQuery lee, inserta, actualiza;
    // A value's savepoint within a group, and its release (SQLite only: the server kind does
    // not prepare them).
    QSqlQuery punto, suelta;
    std::optional<QString> tipo;
};

namespace {

// The failure of a data file's opening; a plain one when the driver gave no text.
Falla fallaDeApertura(const Resultado<>& abierta) {
    return abierta.falla().descripcion.isEmpty()
               ? fallaDe(QStringLiteral("La base de datos de los datos no está abierta."))
               : abierta.falla();
}

Resultado<> escribe(Conexion& c, const Escritura& w, bool anidada, GrabadorDatos::Preparadas* pr) {
    if (!c.abierta())
        return fallaDe(QStringLiteral("La base de datos de los datos no está abierta."));
    const bool pg = c.motor() == Motor::Postgres;
    // Declared first, so that a failed transaction is rolled back before the statement is freed.
    std::optional<GrabadorDatos::Preparadas> propias;
    if (!pr)
        pr = &propias.emplace(c);
    QSqlQuery& q = pr->lee;
    // Kept statements are reset however this ends, after the transaction has been rolled back.
    struct Reinicia {
        GrabadorDatos::Preparadas& p;
        ~Reinicia() {
            p.lee.finish();
            p.inserta.finish();
            p.actualiza.finish();
        }
    } reinicia{*pr};
    const bool guardadas = anidada && !pg && !propias;
    Transaccion tr(c, anidada, guardadas ? &pr->punto : nullptr, guardadas ? &pr->suelta : nullptr);
    if (Resultado<> r = tr.inicia(w.tablaCitada); !r)
        return r;

    // The statement is made only when it is to be prepared: a kept one is run as it stands.
    const auto lee = [&] {
        return adaptaSql(QStringLiteral("Select Top 1 N,Fecha,Turno,Operador,") + w.caracCitada +
                             QStringLiteral(" from ") + w.tablaCitada +
                             QStringLiteral(" order by N Desc"),
                         c.motor());
    };
    if ((q.lastQuery().isEmpty() && !q.prepare(lee())) || !q.exec()) {
        Falla falla = fallaDe(q, c);
        q = QSqlQuery(c.db());
        q.setForwardOnly(true);
        return falla;
    }
    bool nuevaFila = true;
    qint64 n = 1;
    if (q.next()) {
        const QVariant ultimoN = q.value(0);
        if (ultimoN.isNull())
            return fallaDe(QStringLiteral("La fila más reciente de %1 no tiene número (N).")
                               .arg(w.tablaCitada),
                           kNulo);
        bool ok = false;
        n = ultimoN.toLongLong(&ok);
        if (!ok || n >= std::numeric_limits<qint32>::max())
            return fallaDe(QStringLiteral("El número de la fila más reciente de %1 no admite "
                                          "otro a continuación: %2.")
                               .arg(w.tablaCitada, ultimoN.toString()),
                           kTipo);
        ++n;
        // A row without a readable date counts as older than any window.
        const auto fechaFila = fechaDeFila(q.value(1));
        const bool vieja = !fechaFila || fechaFila->msecsTo(w.ahora) / 1000.0 > w.dtmp;
        const bool llena = !q.value(4).isNull();
        nuevaFila = vieja || llena;
    }
    q.finish();

    if (!pr->tipo) {
        const Resultado<QString> tipo = tipoDeclarado(c, w.tablaCitada, w.carac);
        if (!tipo)
            return tipo.falla();
        pr->tipo = *tipo;
    }
    const auto& tipo = pr->tipo;
    const QVariant valor = esTipoTexto(*tipo) ? QVariant(w.valor) : QVariant(numeroDe(w.valor));

    QSqlQuery& e = nuevaFila ? pr->inserta : pr->actualiza;
    if (nuevaFila) {
        const QString fecha = textoFechaHora(w.fecha, w.hora);
        if (e.lastQuery().isEmpty())
            e.prepare(QStringLiteral("Insert into ") + w.tablaCitada +
                      QStringLiteral(" (N,Fecha,Turno,Operador,") + w.caracCitada +
                      (pg ? QStringLiteral(") values (?,cast(? as timestamp),?,?,?)")
                          : QStringLiteral(") values (?,?,?,?,?)")));
        e.bindValue(0, static_cast<qint32>(n));
        e.bindValue(1, fecha);
        e.bindValue(2, w.turno);
        e.bindValue(3, w.opera);
        e.bindValue(4, valor);
    } else {
        if (e.lastQuery().isEmpty())
            e.prepare(QStringLiteral("Update ") + w.tablaCitada + QStringLiteral(" set ") +
                      w.caracCitada + QStringLiteral(" = ? where N = ?"));
        e.bindValue(0, valor);
        e.bindValue(1, static_cast<qint32>(n - 1));
    }
    if (!e.exec()) {
        Falla falla = fallaDe(e, c);
        // Prepared again next time: a failed statement is not trusted.
        e = QSqlQuery(c.db());
        return falla;
    }
    if (e.numRowsAffected() != 1)
        return fallaDe(QStringLiteral("No se pudo escribir el valor en la fila %1 de %2.")
                           .arg(nuevaFila ? n : n - 1)
                           .arg(w.tablaCitada));
    e.finish();
    return tr.confirma();
}

} // namespace

QString BuscaTurno(const Ajustes& a, const QString& hhnn) {
    const double hora = numeroDe(hhnn);
    for (int i = 1; i <= a.NumTurnos && i < a.TurnoFin.size() && i < a.TurnoNombre.size(); ++i)
        if (hora < a.TurnoFin[i])
            return a.TurnoNombre[i];
    return QStringLiteral(" ");
}

GrabadorDatos::GrabadorDatos(Entorno& e, ModoEscritura modo) : e_(e), modo_(modo) {}

GrabadorDatos::~GrabadorDatos() {
    cierra();
}

void GrabadorDatos::fijaModo(ModoEscritura modo) {
    modo_ = modo;
    if (modo_ == ModoEscritura::PorValor)
        cierra();
}

void GrabadorDatos::cierra() {
    terminaPasada();
    // Statements go before their connections.
    abiertas_.clear();
    ubicaciones_.clear();
}

bool GrabadorDatos::terminaPasada() {
    perdidas_.clear();
    bool todas = true;
    for (auto it = abiertas_.begin(); it != abiertas_.end();) {
        Abierta& a = *it->second;
        if (!a.lote || !a.c->abierta()) {
            a.lote = false;
            ++it;
            continue;
        }
        a.lote = false;
        QSqlQuery q(a.c->db());
        if (q.exec(QStringLiteral("COMMIT"))) {
            ++it;
            continue;
        }
        const Falla f = fallaDe(q, *a.c);
        q.exec(QStringLiteral("ROLLBACK"));
        q = QSqlQuery();
        anotaFalla(ResultadoGrabacion::Error, f);
        if (!(callaPasajeras_ && tipoFalla_ == TipoFalla::Pasajera))
            e_.avisos.mensaje(QStringLiteral("DAM. GrabaMTVX.\n") + f.fuente + u'\n' +
                                  QString::number(f.numero) + QStringLiteral(".- ") +
                                  f.descripcion +
                                  QStringLiteral("\nNo se grabaron los valores de esta pasada."),
                              Avisos::Icono::Critico);
        // A connection whose commit failed is not trusted with the next value.
        perdidas_.insert(it->first);
        todas = false;
        it = abiertas_.erase(it);
    }
    if (todas)
        anotaFalla(ResultadoGrabacion::Grabado, {});
    return todas;
}

int GrabadorDatos::loteMaximo() const {
    return e_.ajustes.TipoBD == kSqlServer ? Grabador::loteMaximo() : 256;
}

bool GrabadorDatos::grupoPerdido(const QString& Forma, const QString& Maqui,
                                 const QString& Produ) const {
    const auto u =
        ubicaciones_.find(Forma.trimmed() + u'|' + Maqui.trimmed() + u'|' + Produ.trimmed());
    return u == ubicaciones_.end() || perdidas_.contains(u->second.cadena);
}

// A data table whose N has no index makes every value read the whole table to find the newest
// row. ORT never changes the product's tables; it says so once per table.
void GrabadorDatos::revisaIndice(Conexion& c, const QString& tablaCitada) {
    if (!c.abierta())
        return;
    const QString clave = c.cadena() + u'|' + tablaCitada;
    if (tablasRevisadas_.contains(clave))
        return;
    tablasRevisadas_.insert(clave);
    QSqlQuery q(c.db());
    bool indexada = false;
    if (c.motor() == Motor::Postgres) {
        q.prepare(QStringLiteral(
            "select count(*) from pg_index i join pg_attribute a on a.attrelid = i.indrelid and "
            "a.attnum = i.indkey[0] where i.indrelid = cast(? as regclass) and lower(a.attname) = "
            "'n'"));
        q.addBindValue(tablaCitada);
        indexada = q.exec() && q.next() && q.value(0).toInt() > 0;
    } else {
        if (q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(tablaCitada))) {
            int columnasClave = 0;
            bool nEsClave = false;
            while (q.next())
                if (q.value(5).toInt() > 0) {
                    ++columnasClave;
                    nEsClave =
                        nEsClave || q.value(1).toString().compare(u"N", Qt::CaseInsensitive) == 0;
                }
            indexada = nEsClave && columnasClave == 1;
        }
        QStringList indices;
        if (!indexada && q.exec(QStringLiteral("PRAGMA index_list(%1)").arg(tablaCitada)))
            while (q.next())
                indices << q.value(1).toString();
        for (const QString& i : indices) {
            QSqlQuery d(c.db());
            if (d.exec(QStringLiteral("PRAGMA index_info(\"%1\")")
                           .arg(QString(i).replace(u'"', QStringLiteral("\"\"")))) &&
                d.next() && d.value(0).toInt() == 0 &&
                d.value(2).toString().compare(u"N", Qt::CaseInsensitive) == 0)
                indexada = true;
        }
    }
    if (indexada)
        return;
    // A table that cannot be read is not there: the write says so, not this note.
    if (!q.exec(QStringLiteral("select count(*) from %1").arg(tablaCitada)) || !q.next()) {
        tablasRevisadas_.remove(clave);
        return;
    }
    const QString filas = QString::number(q.value(0).toLongLong());
    // The port's log has room for a short line; the message says it all.
    avisos_ << QStringLiteral("Tabla sin índice en N (lenta): %1").arg(tablaCitada);
    e_.avisos.mensaje(
        QStringLiteral("DAM. GrabaMTVX.\n\nLa tabla %1 de %2 no tiene índice en N: "
                       "cada valor recorre sus %3 filas para hallar la más "
                       "reciente.")
            .arg(tablaCitada,
                 c.archivo().isEmpty() ? valorCadena(c.cadena(), "Initial Catalog") : c.archivo(),
                 filas),
        Avisos::Icono::Exclamacion);
}

QStringList GrabadorDatos::tomaAvisos() {
    QStringList r;
    r.swap(avisos_);
    return r;
}

ResultadoGrabacion GrabadorDatos::GrabaMTVX(const QString& Forma, const QString& Maqui,
                                            const QString& Produ, const QString& Carac,
                                            const QString& Fecha, const QString& Hora,
                                            const QString& Opera, const QString& Valor,
                                            float DTMP) {
    Falla falla;
    const ResultadoGrabacion codigo =
        graba(Forma, Maqui, Produ, Carac, Fecha, Hora, Opera, Valor, DTMP, falla);
    anotaFalla(codigo, falla);
    if (codigo == ResultadoGrabacion::Error &&
        !(callaPasajeras_ && tipoFalla_ == TipoFalla::Pasajera))
        e_.avisos.mensaje(QStringLiteral("DAM. GrabaMTVX.\n") + falla.fuente + u'\n' +
                              QString::number(falla.numero) + QStringLiteral(".- ") +
                              falla.descripcion,
                          Avisos::Icono::Critico);
    return codigo;
}

ResultadoGrabacion GrabadorDatos::ubica(const QString& Forma, const QString& Maqui,
                                        const QString& Produ, Falla& falla) {
    const Ajustes& a = e_.ajustes;
    const QString f = Forma.trimmed(), m = Maqui.trimmed(), p = Produ.trimmed();
    // On a kept connection a data location found once is not looked for again on disk.
    const QString clave = f + u'|' + m + u'|' + p;
    if (modo_ != ModoEscritura::PorValor) {
        const auto u = ubicaciones_.find(clave);
        if (u != ubicaciones_.end()) {
            strConexionDatos_ = u->second.cadena;
            tablaDatos_ = u->second.tabla;
            rutaBuscada_ = u->second.ruta;
            return ResultadoGrabacion::Grabado;
        }
    }
    if (a.TipoBD == kJet4) {
        rutaBuscada_.clear();
        // The keys become names inside DirDatos: none may lead out of it.
        const std::pair<const char*, const QString*> claves[] = {
            {"formato", &f}, {"máquina", &m}, {"producto", &p}};
        for (const auto& [nombre, clave] : claves)
            if (const auto motivo = motivoClave(*clave)) {
                falla = fallaDe(QStringLiteral("La clave de %1 \"%2\" no puede formar parte de la "
                                               "ruta de un archivo de datos: %3.")
                                    .arg(QString::fromUtf8(nombre), *clave, *motivo),
                                kNombreArchivo);
                return ResultadoGrabacion::Error;
            }
        // Each part as found on disk; the path searched ends at the first one missing.
        rutaBuscada_ = a.DirDatos + f;
        const auto d = buscaEntrada(a.DirDatos, f);
        if (!d)
            return ResultadoGrabacion::FaltaFormato;
        rutaBuscada_ = *d + u'/' + m;
        const auto dm = buscaEntrada(*d + u'/', m);
        if (!dm)
            return ResultadoGrabacion::FaltaMaquina;
        rutaBuscada_ = *dm + u'/' + p + QStringLiteral(".MDB");
        const auto archivo =
            buscaEntrada(*dm + u'/', p + QStringLiteral(".MDB"), ClaseEntrada::Archivo);
        if (!archivo)
            return ResultadoGrabacion::FaltaProducto;
        rutaBuscada_ = *archivo;
        strConexionDatos_ = CadenaConexion(a, *archivo);
        tablaDatos_ = QStringLiteral("Datos");
        if (modo_ != ModoEscritura::PorValor)
            ubicaciones_[clave] = {strConexionDatos_, tablaDatos_, rutaBuscada_};
    } else if (a.TipoBD == kSqlServer) {
        strConexionDatos_ = CadenaConexion(a, a.CatalogoBD + QStringLiteral("DATA"));
        tablaDatos_ = QStringLiteral("Datos_") + f + u'_' + m + u'_' + p;
        rutaBuscada_.clear();
        if (modo_ != ModoEscritura::PorValor)
            ubicaciones_[clave] = {strConexionDatos_, tablaDatos_, rutaBuscada_};
    }
    // Any other kind keeps the table of the previous call.
    return ResultadoGrabacion::Grabado;
}

ResultadoGrabacion GrabadorDatos::graba(const QString& Forma, const QString& Maqui,
                                        const QString& Produ, const QString& Carac,
                                        const QString& Fecha, const QString& Hora,
                                        const QString& Opera, const QString& Valor, float DTMP,
                                        Falla& falla) {
    if (const ResultadoGrabacion codigo = ubica(Forma, Maqui, Produ, falla); fallo(codigo))
        return codigo;

    // Names from configuration go into the statement quoted, or not at all.
    const auto tabla = citaIdentificador(tablaDatos_);
    if (!tabla) {
        falla = fallaDe(QStringLiteral("El nombre de la tabla de datos \"%1\" no es admitido.")
                            .arg(tablaDatos_));
        return ResultadoGrabacion::Error;
    }
    const auto carac = citaIdentificador(Carac);
    if (!carac) {
        falla =
            fallaDe(QStringLiteral("La característica \"%1\" no puede nombrar una columna de %2.")
                        .arg(Carac, tablaDatos_));
        return ResultadoGrabacion::Error;
    }

    Escritura w;
    w.tablaCitada = *tabla;
    w.caracCitada = *carac;
    w.carac = Carac;
    w.opera = Opera;
    w.valor = Valor;
    w.dtmp = DTMP;
    w.ahora = momento_.isValid() ? momento_ : e_.reloj.ahora();
    w.fecha = w.ahora.date();
    w.hora = QTime(w.ahora.time().hour(), w.ahora.time().minute(), w.ahora.time().second());
    if (!Fecha.trimmed().isEmpty()) {
        const auto f = fechaInstrumento(Fecha);
        if (!f) {
            falla =
                fallaDe(QStringLiteral("La fecha del instrumento \"%1\" no es una fecha aaaammdd.")
                            .arg(Fecha),
                        kTipo);
            return ResultadoGrabacion::Error;
        }
        w.fecha = *f;
    }
    if (!Hora.trimmed().isEmpty()) {
        const auto h = horaInstrumento(Hora);
        if (!h) {
            falla = fallaDe(
                QStringLiteral("La hora del instrumento \"%1\" no es una hora hhnn.").arg(Hora),
                kTipo);
            return ResultadoGrabacion::Error;
        }
        w.hora = *h;
    }
    w.turno = BuscaTurno(e_.ajustes, textoHHmm(w.hora));

    bool ok;
    if (modo_ != ModoEscritura::PorValor) {
        // One connection per data file (one in all for the server kind), kept open.
        std::unique_ptr<Abierta>& a = abiertas_[strConexionDatos_];
        if (a && !a->c->abierta() && !a->lote)
            a.reset();
        if (!a) {
            a = std::make_unique<Abierta>();
            a->c = std::make_unique<Conexion>();
            if (const Resultado<> r = OpenDBOK(strConexionDatos_, *a->c, e_, Comprobacion::Ligera);
                !r) {
                falla = fallaDeApertura(r);
                abiertas_.erase(strConexionDatos_);
                return ResultadoGrabacion::Error;
            }
        }
        Conexion& c = *a->c;
        revisaIndice(c, w.tablaCitada);
        const QString clave = w.tablaCitada + u'|' + w.caracCitada;
        std::unique_ptr<Preparadas>& pr = a->preparadas[clave];
        if (!pr && c.abierta())
            pr = std::make_unique<Preparadas>(c);
        if (modo_ == ModoEscritura::PorPasada && !a->lote && c.abierta()) {
            QSqlQuery q(c.db());
            a->lote = q.exec(c.motor() == Motor::Postgres ? QStringLiteral("BEGIN")
                                                          : QStringLiteral("BEGIN IMMEDIATE"));
            // The table could not be taken for writing (held by another program past the busy
            // wait, the connection lost): the value fails now, not after a second busy wait.
            if (!a->lote) {
                falla = fallaDe(q, c);
                q = QSqlQuery();
                abiertas_.erase(strConexionDatos_);
                return ResultadoGrabacion::Error;
            }
        }
        const Resultado<> escrito = escribe(c, w, a->lote, pr.get());
        ok = escrito.ok();
        if (!ok)
            falla = escrito.falla();
        // The table may have changed under a failed write: its statements are made again.
        if (!ok)
            a->preparadas.erase(clave);
        // A failed connection is not trusted with the next value (within a group, the failed
        // value's savepoint was rolled back and the connection goes on).
        if (!ok && !a->lote)
            abiertas_.erase(strConexionDatos_);
    } else {
        Conexion c;
        if (const Resultado<> r = OpenDBOK(strConexionDatos_, c, e_, Comprobacion::Ligera); !r) {
            falla = fallaDeApertura(r);
            return ResultadoGrabacion::Error;
        }
        revisaIndice(c, w.tablaCitada);
        const Resultado<> escrito = escribe(c, w, false, nullptr);
        ok = escrito.ok();
        if (!ok)
            falla = escrito.falla();
    }
    return ok ? ResultadoGrabacion::Grabado : ResultadoGrabacion::Error;
}

// Held readings: the kind of a failure, and what a data table already holds after a crash.

TipoFalla clasificaFalla(const Falla& falla) {
    // A missing data file or an unreachable server, as OpenDBOK sorts them.
    if (falla.numero == errbd::kNoEncontrada)
        return TipoFalla::Pasajera;
    // SQLite's own texts (sqlite3_errstr) and libpq's and the server's for a lost connection, a
    // server starting or stopping, and the file system refusing for the moment.
    static const char* pasajeras[] = {"database is locked",
                                      "database table is locked",
                                      "disk I/O error",
                                      "database or disk is full",
                                      "readonly database",
                                      "unable to open database file",
                                      "could not connect",
                                      "connection refused",
                                      "server closed the connection",
                                      "no connection to the server",
                                      "terminating connection",
                                      "connection to server",
                                      "the database system is",
                                      "could not send data",
                                      "could not receive data",
                                      "timeout expired",
                                      "ssl syscall",
                                      "connection reset",
                                      "broken pipe",
                                      "no space left on device",
                                      "read-only file system",
                                      "could not extend file",
                                      "could not write",
                                      "could not serialize",
                                      "deadlock detected",
                                      "La base de datos de los datos no está abierta"};
    for (const char* p : pasajeras)
        if (falla.descripcion.contains(QString::fromUtf8(p), Qt::CaseInsensitive))
            return TipoFalla::Pasajera;
    return TipoFalla::Duradera;
}

void GrabadorDatos::anotaFalla(ResultadoGrabacion codigo, const Falla& falla) {
    if (codigo == ResultadoGrabacion::Grabado) {
        tipoFalla_ = TipoFalla::Ninguna;
        falla_ = {};
        return;
    }
    if (codigo == ResultadoGrabacion::Error) {
        tipoFalla_ = clasificaFalla(falla);
        falla_ = falla;
        return;
    }
    // 1, 2, 3: the format, machine or product is missing; lasting, unless the data directory
    // itself is out of reach (a network share that is down, a disk not mounted).
    const QString& dir = e_.ajustes.DirDatos;
    tipoFalla_ = QFileInfo(dir).isDir() ? TipoFalla::Duradera : TipoFalla::Pasajera;
    falla_ =
        fallaDe(QStringLiteral("No se encuentra la ubicación de los datos (resultado %1) en %2.")
                    .arg(static_cast<int>(codigo))
                    .arg(dir),
                errbd::kNoEncontrada);
}

namespace {

// Opens the located data table for a look; the quoted table name, or no value with the failure.
std::optional<QString> abreParaLeer(Conexion& c, const QString& cadena, const QString& tabla,
                                    Entorno& e, Falla& falla) {
    const auto citada = citaIdentificador(tabla);
    if (!citada) {
        falla = fallaDe(
            QStringLiteral("El nombre de la tabla de datos \"%1\" no es admitido.").arg(tabla));
        return std::nullopt;
    }
    if (const Resultado<> r = OpenDBOK(cadena, c, e, Comprobacion::Ligera); !r) {
        falla = fallaDeApertura(r);
        return std::nullopt;
    }
    return citada;
}

// The time a new row of the value would bear: the instrument's own date and time, else the time
// of the reading, to the second.
QDateTime fechaPropia(const ValorEscrito& v) {
    QDate d = v.momento.date();
    QTime t = v.momento.time();
    if (!v.Fecha.trimmed().isEmpty())
        if (const auto f = fechaInstrumento(v.Fecha))
            d = *f;
    if (!v.Hora.trimmed().isEmpty())
        if (const auto h = horaInstrumento(v.Hora))
            t = *h;
    return QDateTime(d, QTime(t.hour(), t.minute(), t.second()));
}

bool mismoValor(const QVariant& guardado, const QString& valor) {
    if (guardado.isNull())
        return false;
    switch (guardado.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return guardado.toDouble() == numeroDe(valor);
    default:
        return guardado.toString() == valor;
    }
}

} // namespace

std::optional<QSqlQuery> GrabadorDatos::leeTabla(const QString& Forma, const QString& Maqui,
                                                 const QString& Produ, Conexion& c,
                                                 const QString& antes, const QString& despues,
                                                 const QVariantList& valores) {
    Falla falla;
    if (const ResultadoGrabacion codigo = ubica(Forma, Maqui, Produ, falla); fallo(codigo)) {
        anotaFalla(codigo, falla);
        return std::nullopt;
    }
    const auto tabla = abreParaLeer(c, strConexionDatos_, tablaDatos_, e_, falla);
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    bool ok = tabla && q.prepare(antes + *tabla + despues);
    for (const QVariant& v : valores)
        q.addBindValue(v);
    if (!ok || !q.exec()) {
        anotaFalla(ResultadoGrabacion::Error, tabla ? fallaDe(q, c) : falla);
        return std::nullopt;
    }
    return q;
}

std::optional<HuellaTabla> GrabadorDatos::huella(const QString& Forma, const QString& Maqui,
                                                 const QString& Produ, const QStringList& caracs) {
    // Every column: one that does not exist is simply not filled.
    Conexion c;
    auto q = leeTabla(Forma, Maqui, Produ, c, QStringLiteral("select * from "),
                      QStringLiteral(" order by N desc limit 1"), {});
    if (!q)
        return std::nullopt;
    HuellaTabla h;
    if (q->next()) {
        const QSqlRecord r = q->record();
        h.n = q->value(r.indexOf(QStringLiteral("N"))).toLongLong();
        for (const QString& carac : caracs) {
            const int i = r.indexOf(carac);
            if (i >= 0 && !q->value(i).isNull() && !h.llenas.contains(carac))
                h.llenas << carac;
        }
    }
    anotaFalla(ResultadoGrabacion::Grabado, {});
    return h;
}

std::optional<int> GrabadorDatos::yaEscritos(const QString& Forma, const QString& Maqui,
                                             const QString& Produ, const HuellaTabla& huella,
                                             const QList<ValorEscrito>& valores) {
    Conexion c;
    auto q = leeTabla(Forma, Maqui, Produ, c, QStringLiteral("select * from "),
                      QStringLiteral(" where N >= ? order by N"), {huella.n});
    if (!q)
        return std::nullopt;
    struct Fila {
        qint64 n;
        std::optional<QDateTime> fecha;
        QSqlRecord campos;
    };
    QList<Fila> filas;
    while (q->next()) {
        const QSqlRecord r = q->record();
        filas << Fila{q->value(r.indexOf(QStringLiteral("N"))).toLongLong(),
                      fechaDeFila(q->value(r.indexOf(QStringLiteral("Fecha")))), r};
    }
    anotaFalla(ResultadoGrabacion::Grabado, {});
    // The values were written in order, each into the newest row or a new one after it: the
    // written ones are a leading part of the list, found in rows of rising N. A column of the
    // huella's row that was filled before does not count, nor a row younger than the value.
    QSet<QString> usados;
    int fila = 0;
    for (int i = 0; i < valores.size(); ++i) {
        const ValorEscrito& v = valores[i];
        const QDateTime propia = fechaPropia(v);
        bool hallado = false;
        for (int k = fila; k < filas.size() && !hallado; ++k) {
            const Fila& f = filas[k];
            const int col = f.campos.indexOf(v.Carac);
            const QString clave = QString::number(f.n) + u'|' + v.Carac.toLower();
            if (col < 0 || usados.contains(clave) || !mismoValor(f.campos.value(col), v.Valor) ||
                (f.n == huella.n && huella.llenas.contains(v.Carac, Qt::CaseInsensitive)) ||
                (f.fecha && *f.fecha > propia))
                continue;
            usados.insert(clave);
            fila = k;
            hallado = true;
        }
        if (!hallado)
            return i;
    }
    return static_cast<int>(valores.size());
}

} // namespace ort
