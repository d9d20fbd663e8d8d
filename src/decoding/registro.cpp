#include "decoding/registro.h"

#include "decoding/cortes.h"
#include "decoding/decodificadores.h"

#include <QHash>

namespace ort {

namespace {

// Connection keys are five characters, blank-padded; a shorter key is taken in its padded form.
const Instrumento* filaDe(const QString& conex) {
    if (conex.size() > 5)
        return nullptr;
    // Looked up for every frame: the padded keys are made once.
    static const QHash<QString, const Instrumento*> porClave = [] {
        QHash<QString, const Instrumento*> h;
        for (const Instrumento* i : instrumentos())
            if (const QString k = QString::fromLatin1(i->codigo).leftJustified(5, u' ');
                !h.contains(k))
                h.insert(k, i);
        return h;
    }();
    return porClave.value(conex.leftJustified(5, u' '), nullptr);
}

} // namespace

Decodificador buscaDecodificador(const QString& conex) {
    const auto* fila = filaDe(conex);
    return fila ? fila->decodificador : decodificadorPorDefecto;
}

bool tieneDecodificador(const QString& conex) {
    return filaDe(conex) != nullptr;
}

QStringList codigosConocidos() {
    QStringList codigos;
    for (const Instrumento* i : instrumentos())
        codigos << QString::fromLatin1(i->codigo);
    return codigos;
}

void decodificadorPorDefecto(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraUno(c, desdeColumna(c.trama, c.posInicio()));
}

} // namespace ort
