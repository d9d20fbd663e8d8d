#include "config/ubicacion.h"

#include "basedatos/conexion.h"
#include "config/almacen.h"
#include "startup/archivosproducto.h"
#include "startup/lectoritems.h"

#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>

namespace ort {

Resultado<QStringList> leeUbicaciones(const QString& dirPrograma) {
    QStringList rutas;
    const QString archivo = buscaArchivo(dirPrograma, kArchivoUbicacion);
    const auto texto = leeArchivoTexto(archivo);
    if (!texto)
        return texto.falla();
    // Empty lines are left out: the list offers only databases that can be chosen.
    LectorItems lector(*texto);
    while (rutas.size() < kMaxUbicaciones) {
        const auto item = lector.item();
        if (!item)
            break;
        if (!item->trimmed().isEmpty())
            rutas << *item;
    }
    return rutas;
}

QString eligeUbicacion(const QString& texto, const QString& dirPrograma) {
    if (texto.right(4).toUpper() == QStringLiteral(".MDB"))
        return texto;
    return dirPrograma + kConfPorDefecto;
}

Resultado<> pruebaConfiguracion(const QString& ruta, Entorno& e) {
    Conexion c;
    if (const Resultado<> r = OpenDBOK(cadenaJet(ruta, e.ajustes.ClaveBD), c, e); !r)
        return r;
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    for (const char* sql :
         {"Select * from PUERTOS order by Puert", "Select * from CANALES order by Puert, Canal",
          "Select * from CONF order by Puert, Canal, Secue"})
        if (!q.exec(QLatin1String(sql)))
            return Falla{c.db().driverName(), errbd::kGeneral, q.lastError().text()};
    q.finish();
    return {};
}

QStringList lineasUbicacion(const QString& ruta, const QStringList& anteriores) {
    QStringList lineas{ruta};
    QStringList escritas{ruta.toUpper()};
    for (int i = 0; i < kMaxUbicaciones - 1; ++i) {
        if (i >= anteriores.size()) {
            lineas << QString();
            continue;
        }
        const QString& entrada = anteriores[i];
        if (!entrada.isEmpty() && escritas.contains(entrada.toUpper()))
            continue;
        lineas << entrada;
        escritas << entrada.toUpper();
    }
    return lineas;
}

QString itemUbicacion(const QString& ruta) {
    // A comma ends an item and leading blanks are skipped: such a path is written in quotes,
    // which the reading takes away (a path holding a quote itself cannot be written as an item).
    if (ruta.contains(u',') || ruta.startsWith(u' ') || ruta.startsWith(u'\t'))
        return u'"' + ruta + u'"';
    return ruta;
}

Resultado<> escribeUbicaciones(const QString& dirPrograma, const QString& ruta,
                               const QStringList& anteriores) {
    QSaveFile f(buscaArchivo(dirPrograma, kArchivoUbicacion));
    QByteArray contenido;
    for (const QString& linea : lineasUbicacion(ruta, anteriores))
        contenido += itemUbicacion(linea).toUtf8() + "\r\n";
    if (!f.open(QIODevice::WriteOnly) || f.write(contenido) != contenido.size() || !f.commit())
        return Falla{f.fileName(), 75, f.errorString()};
    return {};
}

} // namespace ort
