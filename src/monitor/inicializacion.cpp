#include "monitor/inicializacion.h"

#include "decoding/instrumentos.h"

namespace ort {

Inicializacion inicializacionInstrumento(const QString& conex) {
    QString clave = conex;
    clave.remove(u' ');
    for (const Instrumento* i : instrumentos()) {
        if (clave != QLatin1String(i->codigo))
            continue;
        Inicializacion r{i->comandosApertura(), std::nullopt};
        if (i->aviso)
            r.mensaje = i->textoAviso();
        return r;
    }
    return {};
}

} // namespace ort
