#include "ports/tablacampos.h"

#include "startup/archivosproducto.h"
#include "startup/lectoritems.h"
#include "startup/textfuncs.h"

#include <QFileInfo>

#include <cmath>

namespace ort {

namespace {

Falla problema(qint64 numero, const QString& archivo, int linea, const QString& que) {
    QString texto = archivo;
    if (linea > 0)
        texto += QStringLiteral(", línea %1").arg(linea);
    return Falla{QLatin1String(kFuenteTablaCampos), numero, texto + QStringLiteral(": ") + que};
}

// A position or a length: the whole item must be a number; it is rounded as the product's
// 16-bit conversions are.
std::optional<qint16> entero16(const QString& item, qint64* numeroFalla) {
    bool ok = false;
    const double v = item.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        *numeroFalla = kFallaTipo;
        return std::nullopt;
    }
    if (v < -32768.5 || v > 32767.5) {
        *numeroFalla = kFallaDesbordamiento;
        return std::nullopt;
    }
    return aEntero16(v);
}

// Cuts the empty lines that follow the last line with data; says at which line they begin
// (0 when there are none). The line end that closes the last line is not an empty line.
QString sinLineasVaciasFinales(const QString& texto, int* primeraVacia) {
    *primeraVacia = 0;
    int k = texto.size();
    while (k > 0 && (texto[k - 1] == u' ' || texto[k - 1] == u'\t' || texto[k - 1] == u'\r' ||
                     texto[k - 1] == u'\n'))
        --k;
    // Blanks before the first line end still belong to the last item.
    int finLinea = k;
    while (finLinea < texto.size() && texto[finLinea] != u'\r' && texto[finLinea] != u'\n')
        ++finLinea;
    if (finLinea >= texto.size())
        return texto;
    int resto = finLinea;
    if (texto[resto] == u'\r')
        ++resto;
    if (resto < texto.size() && texto[resto] == u'\n')
        ++resto;
    if (resto >= texto.size())
        return texto;
    // Lines end in LF, CR LF or CR alone.
    int lineas = 0;
    for (int i = 0; i < resto; ++i)
        if (texto[i] == u'\n' || (texto[i] == u'\r' && (i + 1 >= resto || texto[i + 1] != u'\n')))
            ++lineas;
    *primeraVacia = lineas + 1;
    return texto.left(resto);
}

} // namespace

QString archivoTablaCampos(const QString& directorioPrograma, const QString& conex) {
    QString clave = conex;
    clave.remove(u' ');
    return buscaArchivo(RutaConBarra(directorioPrograma), clave + QStringLiteral(".TID"));
}

TablaCampos leeTablaCampos(const QString& directorioPrograma, const QString& conex) {
    const QString archivo = archivoTablaCampos(directorioPrograma, conex);
    if (!QFileInfo::exists(archivo)) {
        TablaCampos t;
        t.problemas << problema(kFallaArchivoNoEncontrado, archivo, 0,
                                QStringLiteral("no existe el archivo de la tabla de campos."));
        return t;
    }
    const auto texto = leeArchivoTexto(archivo);
    if (!texto) {
        TablaCampos t;
        t.problemas << problema(
            kFallaAccesoArchivo, archivo, 0,
            QStringLiteral("no se puede leer el archivo de la tabla de campos."));
        return t;
    }
    return interpretaTablaCampos(*texto, archivo);
}

TablaCampos interpretaTablaCampos(const QString& texto, const QString& archivo) {
    TablaCampos t;
    int primeraVacia = 0;
    LectorItems lector(sinLineasVaciasFinales(texto, &primeraVacia));

    const auto primero = lector.item();
    if (!primero) {
        t.problemas << problema(kFallaFinDeArchivo, archivo, 0,
                                QStringLiteral("el archivo está vacío; falta el título."));
    } else if (primero->left(4).toUpper() == QStringLiteral("SEP=")) {
        const QString codigo = primero->mid(4);
        // The leading number of the rest ("SEP=44 coma" is 44).
        const auto numero = numeroInicial(codigo);
        const double v = numero.value_or(0.0);
        if (!numero || v < -32768.5 || v > 32767.5)
            t.problemas << problema(kFallaTipo, archivo, lector.lineaUltima(),
                                    QStringLiteral("el código del separador no es un número: "
                                                   "\"%1\"; la tabla queda sin separador.")
                                        .arg(codigo));
        else
            t.separador = aEntero16(v);
        if (!lector.item())
            t.problemas << problema(kFallaFinDeArchivo, archivo, lector.lineaUltima(),
                                    QStringLiteral("falta el título después del separador."));
    }

    int registro = 0;
    while (!lector.fin()) {
        ++registro;
        static const QString nombres[] = {
            QStringLiteral("la etiqueta"), QStringLiteral("la posición"),
            QStringLiteral("la longitud"), QStringLiteral("la característica")};
        std::optional<QString> items[4];
        int leidos = 0;
        int lineaInicio = 0;
        for (auto& item : items) {
            item = lector.item();
            if (!item)
                break;
            if (leidos == 0)
                lineaInicio = lector.lineaUltima();
            ++leidos;
        }
        if (leidos < 4) {
            t.problemas << problema(
                kFallaFinDeArchivo, archivo, lineaInicio,
                QStringLiteral("el registro %1 está incompleto: el archivo termina antes de %2.")
                    .arg(registro)
                    .arg(nombres[leidos]));
            break;
        }
        CampoTabla campo{*items[0], 0, 0, *items[3]};
        bool completo = true;
        for (int i : {1, 2}) {
            qint64 numero = 0;
            const auto v = entero16(*items[i], &numero);
            if (!v) {
                const QString que = numero == kFallaTipo
                                        ? QStringLiteral("no es un número")
                                        : QStringLiteral("no cabe en un entero de 16 bits");
                t.problemas << problema(numero, archivo, lineaInicio,
                                        QStringLiteral("%1 del registro %2 %3: \"%4\"; el registro "
                                                       "no se usa.")
                                            .arg(nombres[i])
                                            .arg(registro)
                                            .arg(que, *items[i]));
                completo = false;
                break;
            }
            (i == 1 ? campo.posicion : campo.longitud) = *v;
        }
        if (completo)
            t.campos << campo;
    }
    if (primeraVacia > 0)
        t.problemas << problema(
            kFallaFinDeArchivo, archivo, primeraVacia,
            QStringLiteral("el archivo termina con líneas vacías; se ignoran."));
    return t;
}

} // namespace ort
