#include "importacion.h"

#include "vigilancia.h"

#include "config/almacen.h"
#include "config/ubicacion.h"
#include "startup/archivosproducto.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace ort::importa {

namespace {

void dice(const QString& linea) {
    std::fputs(linea.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool falla(const QString& archivo, const QString& tabla, const QString& que) {
    Vigilancia::mensaje(
        QStringLiteral("ortimporta: ") + archivo +
        (tabla.isEmpty() ? QString() : QStringLiteral(", tabla \"%1\"").arg(tabla)) +
        QStringLiteral(": ") + que);
    return false;
}

QString cita(const QString& nombre) {
    return u'"' + QString(nombre).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString nombreClase(ClaseArchivo c) {
    switch (c) {
    case ClaseArchivo::Jet3:
        return QStringLiteral("Jet 3");
    case ClaseArchivo::Jet4:
        return QStringLiteral("Jet 4");
    case ClaseArchivo::Ace:
        return QStringLiteral("Access 2007 o posterior");
    default:
        return QStringLiteral("desconocido");
    }
}

QString creaTabla(const TablaJet& t) {
    QStringList partes;
    for (const ColumnaJet& c : t.columnas)
        partes << cita(c.nombre) + u' ' + c.declarado;
    for (const IndiceJet& x : t.indices)
        if (x.primario) {
            QStringList claves;
            for (int n : x.columnas)
                claves << cita(t.columnas[n].nombre);
            partes << QStringLiteral("PRIMARY KEY (%1)").arg(claves.join(QStringLiteral(", ")));
            break;
        }
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)")
        .arg(cita(t.nombre), partes.join(QStringLiteral(",\n  ")));
}

// Index names are per table in Jet and per file in SQLite: the table's name goes first.
QString creaIndice(const TablaJet& t, const IndiceJet& x, QSet<QString>& usados) {
    QString nombre = t.nombre + u'_' + x.nombre;
    for (int i = 2; usados.contains(nombre.toLower()); ++i)
        nombre = t.nombre + u'_' + x.nombre + u'_' + QString::number(i);
    usados.insert(nombre.toLower());
    QStringList claves;
    for (int i = 0; i < x.columnas.size(); ++i)
        claves << cita(t.columnas[x.columnas[i]].nombre) +
                      (x.descendente[i] ? QStringLiteral(" DESC") : QString());
    return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
        .arg(x.unico ? QStringLiteral("UNIQUE ") : QString(), cita(nombre), cita(t.nombre),
             claves.join(QStringLiteral(", ")));
}

// Writes the file's blocks and its directory entry to disk, so that a rename that replaces an
// earlier file never leaves an empty one after a power cut.
bool sincroniza(const QString& ruta) {
    const int fd = ::open(QFile::encodeName(ruta).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Puts the finished temporary file in place of destino in one step.
bool reemplaza(const QString& temporal, const QString& destino, QString& error) {
    if (!sincroniza(temporal)) {
        error = QStringLiteral("no se puede asegurar el archivo temporal en el disco");
        return false;
    }
    if (::rename(QFile::encodeName(temporal).constData(), QFile::encodeName(destino).constData()) !=
        0) {
        error = QStringLiteral("no se puede poner el archivo en su sitio: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    sincroniza(QFileInfo(destino).absolutePath());
    return true;
}

// An empty file of a fresh name in the directory of destino; SQLite takes an empty file for a
// new database.
QString creaTemporal(const QString& destino, QString& error) {
    const QFileInfo fi(destino);
    QTemporaryFile t(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() +
                     QStringLiteral(".XXXXXX.ortimporta"));
    t.setAutoRemove(false);
    if (!t.open()) {
        error = QStringLiteral("no se puede crear un archivo temporal en %1: %2")
                    .arg(fi.absolutePath(), t.errorString());
        return {};
    }
    return t.fileName();
}

void descarta(const QString& temporal) {
    Vigilancia::temporal(QString());
    QFile::remove(temporal);
    QFile::remove(temporal + QStringLiteral("-journal"));
}

// Notices of reading the program directory's product files, gathered for one message.
class AvisosRecogidos : public Avisos {
public:
    void mensaje(const QString& texto, Icono) override { textos << texto.simplified(); }
    bool pregunta(const QString& texto) override {
        textos << texto.simplified();
        return false;
    }
    QString entrada(const QString&) override { return {}; }
    QStringList textos;
};

int contadorConexiones = 0;

bool escribeTablas(ArchivoJet& jet, QSqlDatabase& db, const QString& origen, Resumen& r) {
    QSqlQuery q(db);
    auto sql = [&](const QString& tabla, const QString& s) {
        if (q.exec(s))
            return true;
        return falla(origen, tabla,
                     QStringLiteral("SQLite no acepta «%1»: %2").arg(s, q.lastError().text()));
    };
    // The file is a temporary one until it is complete: no journal is needed, and it reaches
    // the disk before it is renamed into place.
    if (!sql({}, QStringLiteral("PRAGMA journal_mode=OFF")) ||
        !sql({}, QStringLiteral("PRAGMA synchronous=OFF")) || !sql({}, QStringLiteral("BEGIN")))
        return false;
    QSet<QString> indicesUsados;
    for (const QString& nombre : jet.tablas()) {
        Vigilancia::etapa(QStringLiteral("tabla \"%1\"").arg(nombre));
        Vigilancia::leyendo(true);
        TablaJet t;
        QString error;
        if (!jet.define(nombre, t, error))
            return falla(origen, nombre, error);
        if (!sql(nombre, creaTabla(t)))
            return false;
        auto lector = jet.lee(nombre, error);
        if (!lector)
            return falla(origen, nombre, error);

        QStringList marcas;
        for (int i = 0; i < t.columnas.size(); ++i)
            marcas << QStringLiteral("?");
        QSqlQuery ins(db);
        if (!ins.prepare(
                QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(cita(nombre), marcas.join(u','))))
            return falla(origen, nombre, ins.lastError().text());
        const bool conProgreso = t.filasDeclaradas >= kFilasConProgreso;
        qint64 leidas = 0;
        int decimoMostrado = 0;
        QVariantList valores;
        while (lector->siguiente(valores)) {
            for (int i = 0; i < valores.size(); ++i)
                ins.bindValue(i, valores[i]);
            if (!ins.exec())
                return falla(origen, nombre,
                             QStringLiteral("no se puede escribir la fila %1: %2")
                                 .arg(leidas + 1)
                                 .arg(ins.lastError().text()));
            ++leidas;
            if (conProgreso && leidas <= t.filasDeclaradas) {
                const int decimo = int(leidas * 10 / t.filasDeclaradas);
                if (decimo > decimoMostrado && decimo < 10) {
                    decimoMostrado = decimo;
                    dice(QStringLiteral("  %1: %2 % (%3 de %4 filas)")
                             .arg(nombre)
                             .arg(decimo * 10)
                             .arg(leidas)
                             .arg(t.filasDeclaradas));
                }
            }
        }
        if (!lector->error().isEmpty())
            return falla(origen, nombre, lector->error());
        if (Vigilancia::leyoMasAllaDelFinal())
            return falla(origen, nombre,
                         QStringLiteral("el archivo está truncado: la tabla sigue más allá de su "
                                        "final (se leyeron %1 de sus %2 filas)")
                             .arg(leidas)
                             .arg(t.filasDeclaradas));
        if (leidas != t.filasDeclaradas)
            return falla(origen, nombre,
                         QStringLiteral("se leyeron %1 filas de las %2 que declara la tabla: el "
                                        "archivo está dañado o truncado")
                             .arg(leidas)
                             .arg(t.filasDeclaradas));
        Vigilancia::leyendo(false);
        int indices = 0;
        for (const IndiceJet& x : t.indices) {
            ++indices;
            if (!x.primario && !sql(nombre, creaIndice(t, x, indicesUsados)))
                return false;
        }
        r.tablas << ResumenTabla{nombre, leidas, indices};
        dice(QStringLiteral("  %1: %2 filas").arg(nombre).arg(leidas));
    }
    Vigilancia::etapa(QString());
    if (!sql({}, QStringLiteral("COMMIT")))
        return false;
    // What was written, read back from the file.
    for (const ResumenTabla& t : r.tablas) {
        if (!sql(t.nombre, QStringLiteral("SELECT count(*) FROM %1").arg(cita(t.nombre))))
            return false;
        const qint64 escritas = q.next() ? q.value(0).toLongLong() : -1;
        if (escritas != t.filas)
            return falla(origen, t.nombre,
                         QStringLiteral("la tabla escrita tiene %1 filas y se leyeron %2")
                             .arg(escritas)
                             .arg(t.filas));
    }
    return true;
}

} // namespace

qint64 Resumen::filas() const {
    qint64 n = 0;
    for (const ResumenTabla& t : tablas)
        n += t.filas;
    return n;
}

int Resumen::indices() const {
    int n = 0;
    for (const ResumenTabla& t : tablas)
        n += t.indices;
    return n;
}

bool escribeSqlite(const QString& origen, const QString& destino, Resumen& r) {
    Vigilancia::archivo(origen);
    Vigilancia::leyendo(true);
    QString error;
    const auto jet = ArchivoJet::abre(origen, error);
    if (!jet) {
        Vigilancia::leyendo(false);
        return falla(origen, {}, error);
    }
    r.clase = jet->clase();
    dice(QStringLiteral("%1 (%2, %3 tablas):")
             .arg(origen, nombreClase(r.clase))
             .arg(jet->tablas().size()));
    const QString conexion = QStringLiteral("ortimporta-%1").arg(++contadorConexiones);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexion);
        db.setDatabaseName(destino);
        if (!db.open())
            falla(
                destino, {},
                QStringLiteral("no se puede crear la base SQLite: %1").arg(db.lastError().text()));
        else
            ok = escribeTablas(*jet, db, origen, r);
        db.close();
    }
    QSqlDatabase::removeDatabase(conexion);
    Vigilancia::leyendo(false);
    return ok;
}

bool importa(const QString& origen, const QString& destino, bool forzar) {
    const QFileInfo fo(origen), fd(destino);
    if (!fo.isFile())
        return falla(origen, {},
                     fo.exists() ? QStringLiteral("no es un archivo")
                                 : QStringLiteral("no existe"));
    if (fd.exists()) {
        if (fd.canonicalFilePath() == fo.canonicalFilePath())
            return falla(destino, {},
                         QStringLiteral("es el propio archivo de origen; para convertir en su "
                                        "sitio use --dir"));
        if (!fd.isFile())
            return falla(destino, {}, QStringLiteral("existe y no es un archivo"));
        if (!forzar)
            return falla(destino, {}, QStringLiteral("ya existe; no se reemplaza sin --force"));
    }
    QString error;
    const QString temporal = creaTemporal(destino, error);
    if (temporal.isEmpty())
        return falla(destino, {}, error);
    Vigilancia::temporal(temporal);
    QElapsedTimer reloj;
    reloj.start();
    Resumen r;
    if (!escribeSqlite(origen, temporal, r) || !reemplaza(temporal, destino, error)) {
        if (!error.isEmpty())
            falla(destino, {}, error);
        descarta(temporal);
        Vigilancia::mensaje(QStringLiteral("ortimporta: no se ha escrito %1.").arg(destino));
        return false;
    }
    Vigilancia::temporal(QString());
    dice(QStringLiteral("Resumen: %1 tablas, %2 filas y %3 índices escritos en %4 en %5 s; "
                        "el número de filas de cada tabla coincide con el de origen.")
             .arg(r.tablas.size())
             .arg(r.filas())
             .arg(r.indices())
             .arg(destino)
             .arg(double(reloj.elapsed()) / 1000.0, 0, 'f', 1));
    return true;
}

namespace {

// Converts one file under its own name, the original kept as NAME.jet.
bool convierteEnSuSitio(const QString& archivo, bool forzar, Resumen& r) {
    const QString aparte = archivo + kSufijoOriginal;
    if (QFileInfo::exists(aparte) && !forzar)
        return falla(archivo, {},
                     QStringLiteral("ya existe %1, la copia aparte del original; no se reemplaza "
                                    "sin --force")
                         .arg(aparte));
    QString error;
    const QString temporal = creaTemporal(archivo, error);
    if (temporal.isEmpty())
        return falla(archivo, {}, error);
    Vigilancia::temporal(temporal);
    if (!escribeSqlite(archivo, temporal, r)) {
        descarta(temporal);
        return false;
    }
    // The original gets its second name before the new file takes the first: at every moment
    // the product's name holds a whole database.
    QFile::remove(aparte);
    const QByteArray a = QFile::encodeName(archivo), b = QFile::encodeName(aparte);
    if (::link(a.constData(), b.constData()) != 0 && !QFile::copy(archivo, aparte)) {
        descarta(temporal);
        return falla(archivo, {},
                     QStringLiteral("no se puede guardar el original como %1").arg(aparte));
    }
    if (!reemplaza(temporal, archivo, error)) {
        descarta(temporal);
        return falla(archivo, {}, error);
    }
    Vigilancia::temporal(QString());
    return true;
}

// A file of a directory in any letter case (installations copied from Windows).
QString enCualquierCaja(const QString& ruta) {
    const QFileInfo fi(ruta);
    return buscaArchivo(RutaConBarra(fi.path()), fi.fileName());
}

} // namespace

bool importaDirectorio(const QString& dir, bool forzar) {
    if (!QFileInfo(dir).isDir())
        return falla(dir, {}, QStringLiteral("no es un directorio"));
    AvisosRecogidos avisos;
    const auto a = cargaAjustes(dir, avisos);
    if (!a)
        return falla(dir, {},
                     QStringLiteral("no se pueden leer los archivos del programa: %1")
                         .arg(avisos.textos.join(QStringLiteral(" | "))));

    // The files as ORT finds them: the Metrovax database, the configuration databases of the
    // location file (or the default one), and the data files DirDatos/<format>/<machine>/*.MDB.
    QStringList archivos;
    const bool jet = a->TipoBD == kJet4;
    if (jet)
        archivos << buscaArchivo(a->DirBD, a->NombreBase + QStringLiteral(".MDB"));
    QStringList confs = leeUbicaciones(a->Ruta).valorO({});
    if (confs.isEmpty())
        confs << a->Ruta + kConfPorDefecto;
    for (const QString& c : confs)
        archivos << enCualquierCaja(c.trimmed());
    if (jet && !a->DirDatos.isEmpty()) {
        const auto filtro = QDir::Dirs | QDir::NoDotAndDotDot;
        for (const QFileInfo& forma : QDir(a->DirDatos).entryInfoList(filtro, QDir::Name))
            for (const QFileInfo& maq : QDir(forma.filePath()).entryInfoList(filtro, QDir::Name))
                for (const QFileInfo& f :
                     QDir(maq.filePath()).entryInfoList(QDir::Files, QDir::Name))
                    if (f.suffix().compare(QStringLiteral("mdb"), Qt::CaseInsensitive) == 0)
                        archivos << f.filePath();
    }

    int convertidos = 0, yaSqlite = 0, ausentes = 0, fallidos = 0;
    qint64 filas = 0;
    QSet<QString> vistos;
    for (const QString& archivo : archivos) {
        const QFileInfo fi(archivo);
        const QString clave = fi.exists() ? fi.canonicalFilePath() : fi.absoluteFilePath();
        if (vistos.contains(clave))
            continue;
        vistos.insert(clave);
        if (!fi.exists()) {
            ++ausentes;
            dice(QStringLiteral("%1: no existe; se omite.").arg(archivo));
            continue;
        }
        switch (clasifica(archivo)) {
        case ClaseArchivo::Sqlite:
            ++yaSqlite;
            dice(QStringLiteral("%1: ya es SQLite; se deja como está.").arg(archivo));
            continue;
        case ClaseArchivo::Jet3:
        case ClaseArchivo::Jet4:
        case ClaseArchivo::Ace: {
            Resumen r;
            if (convierteEnSuSitio(archivo, forzar, r)) {
                ++convertidos;
                filas += r.filas();
                dice(QStringLiteral("  convertido: %1 tablas, %2 filas; el original queda en %3")
                         .arg(r.tablas.size())
                         .arg(r.filas())
                         .arg(archivo + kSufijoOriginal));
            } else {
                ++fallidos;
                Vigilancia::mensaje(
                    QStringLiteral("ortimporta: %1 queda como estaba.").arg(archivo));
            }
            continue;
        }
        default:
            ++fallidos;
            falla(archivo, {}, QStringLiteral("no es un archivo Jet (.mdb) ni una base SQLite"));
        }
    }
    dice(QStringLiteral("Resumen de %1: %2 archivos convertidos (%3 filas), %4 ya estaban en "
                        "SQLite, %5 no existen, %6 con errores.")
             .arg(a->Ruta)
             .arg(convertidos)
             .arg(filas)
             .arg(yaSqlite)
             .arg(ausentes)
             .arg(fallidos));
    return fallidos == 0;
}

} // namespace ort::importa
