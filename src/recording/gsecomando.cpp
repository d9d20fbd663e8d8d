#include "recording/gsecomando.h"

#include "basedatos/conexion.h"
#include "config/almacen.h"
#include "qualitydb/basecalidad.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"

namespace ort {

namespace {

QString parametro(const char* numero, const QString& valor) {
    return QLatin1String(numero) + QStringLiteral("P=\"") + valor.trimmed() + u'"';
}

void noEncontrado(Entorno& e, const QString& que) {
    e.avisos.mensaje(QStringLiteral("GSEArmaComando.\n") + que + QStringLiteral("\nNot Found"),
                     Avisos::Icono::Ninguno);
}

} // namespace

QString GSEArmaComando(Entorno& e, const AlmacenConfig& config, int Pue, int Can) {
    const FilaConf* fila = config.buscaConf(Pue, Can, 1);
    if (!fila) {
        noEncontrado(e,
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
        noEncontrado(e, r ? bd.sentencia() : bd.sentencia() + u'\n' + r.falla().descripcion);
        return true;
    };
    const auto pro = bd.producto(f.Produ);
    if (falta(pro))
        return {};
    const auto usu = bd.operador(f.Opera);
    if (falta(usu))
        return {};
    const QStringList partes = {
        parametro("80.3", f.Produ),
        parametro("80.4", pro->textoDe(0, QStringLiteral("PRODESC1"))),
        parametro("80.5", f.EAVal1),
        parametro("80.6", f.EAVal2),
        parametro("80.7", f.Opera),
        parametro("80.8", usu->textoDe(0, QStringLiteral("USUDESCR"))),
        parametro("80.10", pro->textoDe(0, QStringLiteral("PRODESC2"))),
    };
    return SinAcentos(partes.join(QStringLiteral("%o")) + QStringLiteral("%o11%^"));
}

} // namespace ort
