#include "config/almacen.h"

#include "basedatos/columnas.h"
#include "config/tablas.h"
#include "startup/archivosproducto.h"
#include "startup/avisos.h"
#include "startup/lectoritems.h"
#include "startup/textfuncs.h"

#include <QFileInfo>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <tuple>

namespace ort {

namespace {

bool booleano(const QVariant& v) {
    return !v.isNull() && v.toDouble() != 0.0;
}

QString texto(const QSqlQuery& q, const QSqlRecord& r, const char* columna) {
    const int i = r.indexOf(QLatin1String(columna));
    return i < 0 ? QString() : q.value(i).toString();
}

int entero(const QSqlQuery& q, const QSqlRecord& r, const char* columna) {
    const int i = r.indexOf(QLatin1String(columna));
    return i < 0 ? 0 : aEntero16(q.value(i).toDouble());
}

// Puts a row into rows kept in key order, replacing the one with its key.
template <typename Fila, typename FClave>
void coloca(QList<Fila>& filas, const Fila& nueva, FClave clave) {
    const auto k = clave(nueva);
    auto it = std::lower_bound(filas.begin(), filas.end(), k,
                               [&](const Fila& f, const auto& v) { return clave(f) < v; });
    if (it != filas.end() && clave(*it) == k)
        *it = nueva;
    else
        filas.insert(it, nueva);
}

} // namespace

void AlmacenConfig::informa(const QString& texto) const {
    e_.avisos.mensaje(texto, Avisos::Icono::Exclamacion);
}

bool AlmacenConfig::IniArch() {
    const QString ubicacion = buscaArchivo(e_.ajustes.Ruta, kArchivoUbicacion);
    const auto texto = leeArchivoTexto(ubicacion);
    QString ruta;
    if (texto)
        ruta = LectorItems(*texto).item().value_or(QString()).trimmed();
    if (ruta.isEmpty()) {
        ruta = e_.ajustes.Ruta + kConfPorDefecto;
        informa((texto ? QStringLiteral("El archivo %1 está vacío.")
                       : QStringLiteral("No se puede leer el archivo %1."))
                    .arg(e_.ajustes.Ruta + kArchivoUbicacion) +
                QStringLiteral("\n\nSe usa la configuración %1.").arg(ruta));
    }
    return abre(ruta);
}

bool AlmacenConfig::abre(const QString& ruta) {
    ruta_ = ruta;
    cargada_ = false;
    puertos_.clear();
    canales_.clear();
    conf_.clear();
    if (const Resultado<> r = OpenDBOK(cadenaJet(ruta, e_.ajustes.ClaveBD), conexion_, e_); !r) {
        // The opening says nothing of a missing file; without this database no port opens.
        if (r.falla().numero == errbd::kNoEncontrada)
            informa(QStringLiteral("ORT. IniArch.\n\nNo se puede abrir la base de datos de "
                                   "configuración %1.\n%2\n\nLos puertos quedan cerrados.")
                        .arg(ruta, r.falla().descripcion));
        return false;
    }
    return carga(true);
}

bool AlmacenConfig::recarga() {
    return conexion_.abierta() && carga(false);
}

bool AlmacenConfig::carga(bool informar) {
    QList<FilaPuerto> puertos;
    QList<FilaCanal> canales;
    QList<FilaConf> conf;
    QStringList omitidas;
    QSqlQuery q(conexion_.db());
    q.setForwardOnly(true);
    auto falla = [&](const QString& tabla) {
        informa(QStringLiteral("ORT. IniArch.\n\n%1\n%2\n\n%3")
                    .arg(ruta_, tabla, q.lastError().text()));
        return false;
    };

    if (!q.exec(QStringLiteral("Select * from PUERTOS order by Puert")))
        return falla(QStringLiteral("PUERTOS"));
    QSqlRecord r = q.record();
    while (q.next()) {
        FilaPuerto f;
        f.Puert = entero(q, r, "Puert");
        f.Conex = texto(q, r, "Conex");
        f.Open = booleano(q.value(r.indexOf(QStringLiteral("Open"))));
        if (!TablasRuntime::puertoValido(f.Puert)) {
            omitidas << QStringLiteral("PUERTOS: Puert = %1").arg(f.Puert);
            continue;
        }
        puertos << f;
    }

    if (!q.exec(QStringLiteral("Select * from CANALES order by Puert, Canal")))
        return falla(QStringLiteral("CANALES"));
    r = q.record();
    while (q.next()) {
        FilaCanal f;
        f.Puert = entero(q, r, "Puert");
        f.Canal = entero(q, r, "Canal");
        f.Descr = texto(q, r, "Descr");
        if (!TablasRuntime::puertoValido(f.Puert) || !TablasRuntime::canalValido(f.Canal)) {
            omitidas << QStringLiteral("CANALES: Puert = %1, Canal = %2").arg(f.Puert).arg(f.Canal);
            continue;
        }
        canales << f;
    }

    if (!q.exec(QStringLiteral("Select * from CONF order by Puert, Canal, Secue")))
        return falla(QStringLiteral("CONF"));
    r = q.record();
    // The renumbering brings the first 50 rows of every channel listed in CANALES into 1..50,
    // whatever their numbers are now: such rows are waiting for it, not unused.
    int clavePuerto = 0, claveCanal = 0, orden = 0;
    while (q.next()) {
        FilaConf f;
        f.Puert = entero(q, r, "Puert");
        f.Canal = entero(q, r, "Canal");
        f.Secue = entero(q, r, "Secue");
        f.Opera = texto(q, r, "Opera");
        f.Estac = texto(q, r, "Estac");
        f.Maqui = texto(q, r, "Maqui");
        f.Produ = texto(q, r, "Produ");
        f.Forma = texto(q, r, "Forma");
        f.Carac = texto(q, r, "Carac");
        f.EAdic1 = texto(q, r, "EAdic1");
        f.EAVal1 = texto(q, r, "EAVal1");
        f.EAdic2 = texto(q, r, "EAdic2");
        f.EAVal2 = texto(q, r, "EAVal2");
        f.DTMP = static_cast<float>(q.value(r.indexOf(QStringLiteral("DTMP"))).toDouble());
        if (f.Puert != clavePuerto || f.Canal != claveCanal)
            orden = 0;
        clavePuerto = f.Puert;
        claveCanal = f.Canal;
        ++orden;
        if (!TablasRuntime::puertoValido(f.Puert) || !TablasRuntime::canalValido(f.Canal) ||
            f.Secue < 1 || f.Secue > kSecuencias) {
            const bool aRenumerar =
                orden <= kSecuencias &&
                std::any_of(canales.cbegin(), canales.cend(), [&f](const FilaCanal& k) {
                    return k.Puert == f.Puert && k.Canal == f.Canal;
                });
            if (!aRenumerar)
                omitidas << QStringLiteral("CONF: Puert = %1, Canal = %2, Secue = %3")
                                .arg(f.Puert)
                                .arg(f.Canal)
                                .arg(f.Secue);
            continue;
        }
        conf << f;
    }
    puertos_ = puertos;
    canales_ = canales;
    conf_ = conf;
    cargada_ = true;
    // Each skipped row is reported once, at the load that first meets it.
    QStringList nuevas;
    for (const QString& o : omitidas)
        if (informar || !omitidas_.contains(o))
            nuevas << o;
    omitidas_ = omitidas;
    if (!nuevas.isEmpty())
        informa(QStringLiteral("ORT. IniArch.\n\n%1\n\nEstas filas están fuera de los límites "
                               "(puertos 1..16, canales 0..99, secuencias 1..50) y no se usan:\n")
                    .arg(ruta_) +
                nuevas.join(u'\n'));
    return true;
}

void AlmacenConfig::IniSecue(TablasRuntime& t) {
    for (int p = 0; p <= kPuertos; ++p)
        for (int c = 0; c <= kCanales; ++c)
            t.canal(p, c).SecTotal = 0;
    // A database whose tables could not be read was reported when it was opened.
    if (!conexion_.abierta() || !cargada_)
        return;
    QSqlDatabase db = conexion_.db();
    bool ok = db.transaction();
    QSqlQuery q(db);
    QSqlQuery u(db);
    QString problema;
    for (const FilaCanal& canal : std::as_const(canales_)) {
        if (!ok)
            break;
        q.prepare(
            QStringLiteral("Select Secue from CONF where Puert=? and Canal=? order by Secue"));
        q.addBindValue(canal.Puert);
        q.addBindValue(canal.Canal);
        if (!q.exec()) {
            ok = false;
            problema = q.lastError().text();
            break;
        }
        QList<int> secuencias;
        while (q.next())
            secuencias << q.value(0).toInt();
        // Two steps, through numbers no row uses, so that no two rows ever share a number.
        for (int paso = 0; paso < 2 && ok; ++paso)
            for (int k = 1; k <= secuencias.size() && ok; ++k) {
                if (secuencias[k - 1] == k)
                    continue;
                u.prepare(QStringLiteral(
                    "Update CONF set Secue=? where Puert=? and Canal=? and Secue=?"));
                u.addBindValue(paso == 0 ? -1000000 - k : k);
                u.addBindValue(canal.Puert);
                u.addBindValue(canal.Canal);
                u.addBindValue(paso == 0 ? secuencias[k - 1] : -1000000 - k);
                if (!u.exec()) {
                    ok = false;
                    problema = u.lastError().text();
                }
            }
    }
    if (!(ok && db.commit())) {
        if (problema.isEmpty())
            problema = db.lastError().text();
        db.rollback();
        informa(QStringLiteral("ORT. IniSecue.\n\n%1\n\n%2").arg(ruta_, problema));
    }
    // The rows and the totals are those the database holds now, renumbered or not: each
    // channel's cycle runs up to its highest sequence (after a renumbering, its count).
    carga(false);
    for (const FilaConf& f : std::as_const(conf_))
        if (buscaCanal(f.Puert, f.Canal)) {
            qint16& total = t.canal(f.Puert, f.Canal).SecTotal;
            total = std::max<qint16>(total, static_cast<qint16>(f.Secue));
        }
}

void AlmacenConfig::IniMux(TablasRuntime& t) const {
    for (const FilaPuerto& f : puertos_)
        t.puerto(f.Puert).Conex = FijaAncho(f.Conex, 5);
}

const FilaPuerto* AlmacenConfig::buscaPuerto(int p) const {
    for (const FilaPuerto& f : puertos_)
        if (f.Puert == p)
            return &f;
    return nullptr;
}

const FilaCanal* AlmacenConfig::buscaCanal(int p, int c) const {
    for (const FilaCanal& f : canales_)
        if (f.Puert == p && f.Canal == c)
            return &f;
    return nullptr;
}

const FilaConf* AlmacenConfig::buscaConf(int p, int c, int s) const {
    for (const FilaConf& f : conf_)
        if (f.Puert == p && f.Canal == c && f.Secue == s)
            return &f;
    return nullptr;
}

QList<FilaConf> AlmacenConfig::confDePuerto(int p) const {
    QList<FilaConf> r;
    for (const FilaConf& f : conf_)
        if (f.Puert == p)
            r << f;
    return r;
}

bool AlmacenConfig::fijaOpen(int p, bool open) {
    FilaPuerto* fila = nullptr;
    for (FilaPuerto& f : puertos_)
        if (f.Puert == p)
            fila = &f;
    if (!fila)
        return true; // a port without a row stores nothing
    QSqlQuery q(conexion_.db());
    q.prepare(QStringLiteral("Update PUERTOS set Open=? where Puert=?"));
    q.addBindValue(open ? -1 : 0);
    q.addBindValue(p);
    if (!q.exec()) {
        informa(QStringLiteral("ORT. cmdAbre.\n\n%1\nPUERTOS, Puert = %2\n\n%3")
                    .arg(ruta_)
                    .arg(p)
                    .arg(q.lastError().text()));
        return false;
    }
    fila->Open = open;
    return true;
}

Falla AlmacenConfig::fallaDe(const QSqlError& error) const {
    bool numerico = false;
    const qint64 numero = error.nativeErrorCode().toLongLong(&numerico);
    QString descripcion = error.databaseText();
    if (descripcion.isEmpty())
        descripcion = error.text();
    return {ruta_, numerico ? numero : errbd::kGeneral, descripcion};
}

Resultado<> AlmacenConfig::grabaSecuencia(const EdicionSecuencia& e) {
    if (!conexion_.abierta())
        return Falla{ruta_, errbd::kNoEncontrada,
                     QStringLiteral("La base de datos de configuración no está abierta.")};
    // The key part of a key field: its first n characters, without the blanks that pad it.
    auto clave = [this](const QString& campo, const char* tabla, const char* columna) {
        const int n = tamanoColumna(conexion_, QLatin1String(tabla), QLatin1String(columna));
        QString k = n > 0 ? campo.left(n) : campo;
        while (k.endsWith(u' '))
            k.chop(1);
        return k;
    };
    FilaPuerto puerto;
    puerto.Puert = e.Puert;
    puerto.Conex = clave(e.Conex, "PUERTOS", "Conex");
    if (const FilaPuerto* antes = buscaPuerto(e.Puert))
        puerto.Open = antes->Open;
    const FilaCanal canal{e.Puert, e.Canal, e.Descr};
    FilaConf conf;
    conf.Puert = e.Puert;
    conf.Canal = e.Canal;
    conf.Secue = e.Secue;
    conf.Opera = clave(e.Opera, "CONF", "Opera");
    conf.Estac = clave(e.Estac, "CONF", "Estac");
    conf.Maqui = clave(e.Maqui, "CONF", "Maqui");
    conf.Produ = clave(e.Produ, "CONF", "Produ");
    conf.Forma = clave(e.Forma, "CONF", "Forma");
    conf.Carac = clave(e.Carac, "CONF", "Carac");
    conf.EAdic1 = clave(e.EAdic1, "CONF", "EAdic1");
    conf.EAVal1 = e.EAVal1;
    conf.EAdic2 = clave(e.EAdic2, "CONF", "EAdic2");
    conf.EAVal2 = e.EAVal2;
    if (const FilaConf* antes = buscaConf(e.Puert, e.Canal, e.Secue))
        conf.DTMP = antes->DTMP;

    QSqlDatabase db = conexion_.db();
    if (!db.transaction())
        return fallaDe(db.lastError());
    QSqlQuery q(db);
    // An empty field is stored as empty text, never as Null.
    auto liga = [&q](const QVariantList& valores) {
        for (const QVariant& v : valores)
            q.addBindValue(v.typeId() == QMetaType::QString && v.toString().isNull()
                               ? QVariant(QStringLiteral(""))
                               : v);
    };
    // Updates the row in place; adds it when there is none.
    auto escribe = [&q, &liga](const QString& actualiza, const QVariantList& valoresAct,
                               const QString& agrega, const QVariantList& valoresAgr) {
        q.prepare(actualiza);
        liga(valoresAct);
        if (!q.exec())
            return false;
        if (q.numRowsAffected() > 0)
            return true;
        q.prepare(agrega);
        liga(valoresAgr);
        return q.exec();
    };
    const bool ok =
        escribe(QStringLiteral("Update PUERTOS set Conex=? where Puert=?"), {puerto.Conex, e.Puert},
                QStringLiteral("Insert into PUERTOS (Puert, Conex) values (?, ?)"),
                {e.Puert, puerto.Conex}) &&
        escribe(QStringLiteral("Update CANALES set Descr=? where Puert=? and Canal=?"),
                {e.Descr, e.Puert, e.Canal},
                QStringLiteral("Insert into CANALES (Puert, Canal, Descr) values (?, ?, ?)"),
                {e.Puert, e.Canal, e.Descr}) &&
        escribe(QStringLiteral("Update CONF set Opera=?, Estac=?, Maqui=?, Produ=?, Forma=?, "
                               "Carac=?, EAdic1=?, EAVal1=?, EAdic2=?, EAVal2=? "
                               "where Puert=? and Canal=? and Secue=?"),
                {conf.Opera, conf.Estac, conf.Maqui, conf.Produ, conf.Forma, conf.Carac,
                 conf.EAdic1, conf.EAVal1, conf.EAdic2, conf.EAVal2, e.Puert, e.Canal, e.Secue},
                QStringLiteral("Insert into CONF (Puert, Canal, Secue, Opera, Estac, Maqui, "
                               "Produ, Forma, Carac, EAdic1, EAVal1, EAdic2, EAVal2) "
                               "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {e.Puert, e.Canal, e.Secue, conf.Opera, conf.Estac, conf.Maqui, conf.Produ,
                 conf.Forma, conf.Carac, conf.EAdic1, conf.EAVal1, conf.EAdic2, conf.EAVal2});
    if (!ok) {
        const Falla f = fallaDe(q.lastError());
        db.rollback();
        return f;
    }
    if (!db.commit()) {
        const Falla f = fallaDe(db.lastError());
        db.rollback();
        return f;
    }
    // The rows held here are those a load would give: rows outside the runtime tables' bounds
    // are in the database but not here.
    if (TablasRuntime::puertoValido(e.Puert)) {
        coloca(puertos_, puerto, [](const FilaPuerto& f) { return f.Puert; });
        if (TablasRuntime::canalValido(e.Canal)) {
            coloca(canales_, canal,
                   [](const FilaCanal& f) { return std::make_tuple(f.Puert, f.Canal); });
            if (e.Secue >= 1 && e.Secue <= kSecuencias)
                coloca(conf_, conf, [](const FilaConf& f) {
                    return std::make_tuple(f.Puert, f.Canal, f.Secue);
                });
        }
    }
    return {};
}

Resultado<Borrado> AlmacenConfig::borraSecuencia(int p, int c, int s) {
    if (!conexion_.abierta())
        return Falla{ruta_, errbd::kNoEncontrada,
                     QStringLiteral("La base de datos de configuración no está abierta.")};
    QSqlQuery q(conexion_.db());
    q.prepare(QStringLiteral("Delete from CONF where Puert=? and Canal=? and Secue=?"));
    q.addBindValue(p);
    q.addBindValue(c);
    q.addBindValue(s);
    if (!q.exec())
        return fallaDe(q.lastError());
    if (q.numRowsAffected() <= 0)
        return Borrado::NoExiste;
    conf_.removeIf([&](const FilaConf& f) { return f.Puert == p && f.Canal == c && f.Secue == s; });
    return Borrado::Borrada;
}

} // namespace ort
