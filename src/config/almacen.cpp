#include "config/almacen.h"

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

namespace ort {

namespace {

bool Booleano(const QVariant& v) {
    return !v.isNull() && v.toDouble() != 0.0;
}

QString Texto(const QSqlQuery& q, const QSqlRecord& r, const char* columna) {
    const int i = r.indexOf(QLatin1String(columna));
    return i < 0 ? QString() : q.value(i).toString();
}

int Entero(const QSqlQuery& q, const QSqlRecord& r, const char* columna) {
    const int i = r.indexOf(QLatin1String(columna));
    return i < 0 ? 0 : AEntero16(q.value(i).toDouble());
}

} // namespace

void AlmacenConfig::informa(const QString& texto) const {
    e_.avisos.mensaje(texto, Avisos::Icono::Exclamacion);
}

bool AlmacenConfig::IniArch() {
    const QString ubicacion = BuscaArchivo(e_.ajustes.Ruta, kArchivoUbicacion);
    const auto texto = LeeArchivoTexto(ubicacion);
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
    puertos_.clear();
    canales_.clear();
    conf_.clear();
    if (!OpenDBOK(CadenaJet(ruta, e_.ajustes.ClaveBD), conexion_, e_))
        return false;
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
        f.Puert = Entero(q, r, "Puert");
        f.Conex = Texto(q, r, "Conex");
        f.Open = Booleano(q.value(r.indexOf(QStringLiteral("Open"))));
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
        f.Puert = Entero(q, r, "Puert");
        f.Canal = Entero(q, r, "Canal");
        f.Descr = Texto(q, r, "Descr");
        if (!TablasRuntime::puertoValido(f.Puert) || !TablasRuntime::canalValido(f.Canal)) {
            omitidas << QStringLiteral("CANALES: Puert = %1, Canal = %2").arg(f.Puert).arg(f.Canal);
            continue;
        }
        canales << f;
    }

    if (!q.exec(QStringLiteral("Select * from CONF order by Puert, Canal, Secue")))
        return falla(QStringLiteral("CONF"));
    r = q.record();
    while (q.next()) {
        FilaConf f;
        f.Puert = Entero(q, r, "Puert");
        f.Canal = Entero(q, r, "Canal");
        f.Secue = Entero(q, r, "Secue");
        f.Opera = Texto(q, r, "Opera");
        f.Estac = Texto(q, r, "Estac");
        f.Maqui = Texto(q, r, "Maqui");
        f.Produ = Texto(q, r, "Produ");
        f.Forma = Texto(q, r, "Forma");
        f.Carac = Texto(q, r, "Carac");
        f.EAdic1 = Texto(q, r, "EAdic1");
        f.EAVal1 = Texto(q, r, "EAVal1");
        f.EAdic2 = Texto(q, r, "EAdic2");
        f.EAVal2 = Texto(q, r, "EAVal2");
        f.DTMP = static_cast<float>(q.value(r.indexOf(QStringLiteral("DTMP"))).toDouble());
        if (!TablasRuntime::puertoValido(f.Puert) || !TablasRuntime::canalValido(f.Canal) ||
            f.Secue < 1 || f.Secue > kSecuencias) {
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
    if (!conexion_.abierta())
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
        t.canal(canal.Puert, canal.Canal).SecTotal =
            static_cast<qint16>(std::min<qsizetype>(secuencias.size(), kSecuencias));
    }
    if (ok && db.commit()) {
        carga(false);
        return;
    }
    if (problema.isEmpty())
        problema = db.lastError().text();
    db.rollback();
    informa(QStringLiteral("ORT. IniSecue.\n\n%1\n\n%2").arg(ruta_, problema));
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

} // namespace ort
