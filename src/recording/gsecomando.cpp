#include "recording/gsecomando.h"

#include "basedatos/conexion.h"
#include "config/almacen.h"
#include "qualitydb/basecalidad.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"

namespace ort {

namespace {

QString Parametro(const char* numero, const QString& valor) {
    return QLatin1String(numero) + QStringLiteral("P=\"") + valor.trimmed() + u'"';
}

void NoEncontrado(Entorno& e, const QString& que) {
    e.avisos.mensaje(QStringLiteral("GSEArmaComando.\n") + que + QStringLiteral("\nNot Found"),
                     Avisos::Icono::Ninguno);
}

} // namespace

QString GSEArmaComando(Entorno& e, const AlmacenConfig& config, int Pue, int Can) {
    const FilaConf* fila = config.buscaConf(Pue, Can, 1);
    if (!fila) {
        NoEncontrado(e,
                     QStringLiteral("Puert = %1 and Canal = %2 and Secue = 1").arg(Pue).arg(Can));
        return {};
    }
    const FilaConf f = *fila;
    Conexion c;
    // Unopened, every statement below fails and says so.
    static_cast<void>(OpenDBOK(e.ajustes.StrConexion, c, e));
    BaseCalidad bd(c);
    // A statement that fails says why; one that finds nothing says "Not Found".
    auto falta = [&e, &bd](const Resultado<Filas>& r) {
        if (r && !r->vacio())
            return false;
        NoEncontrado(e, r ? bd.sentencia() : bd.sentencia() + u'\n' + r.falla().descripcion);
        return true;
    };
    const auto pro = bd.producto(f.Produ);
    if (falta(pro))
        return {};
    const auto usu = bd.operador(f.Opera);
    if (falta(usu))
        return {};
    const QStringList partes = {
        Parametro("80.3", f.Produ),
        Parametro("80.4", pro->textoDe(0, QStringLiteral("PRODESC1"))),
        Parametro("80.5", f.EAVal1),
        Parametro("80.6", f.EAVal2),
        Parametro("80.7", f.Opera),
        Parametro("80.8", usu->textoDe(0, QStringLiteral("USUDESCR"))),
        Parametro("80.10", pro->textoDe(0, QStringLiteral("PRODESC2"))),
    };
    return SinAcentos(partes.join(QStringLiteral("%o")) + QStringLiteral("%o11%^"));
}

} // namespace ort
