#include "decoding/registro.h"

#include "decoding/cortes.h"
#include "decoding/decodificadores.h"

namespace ort {

namespace {

// Connection keys are five characters, blank-padded; a shorter key is taken in its padded form.
const Instrumento* FilaDe(const QString& conex) {
    if (conex.size() > 5)
        return nullptr;
    const QString clave = conex.leftJustified(5, u' ');
    for (const Instrumento* i : Instrumentos())
        if (clave == QString::fromLatin1(i->codigo).leftJustified(5, u' '))
            return i;
    return nullptr;
}

} // namespace

Decodificador BuscaDecodificador(const QString& conex) {
    const auto* fila = FilaDe(conex);
    return fila ? fila->decodificador : DecodificadorPorDefecto;
}

bool TieneDecodificador(const QString& conex) {
    return FilaDe(conex) != nullptr;
}

QStringList CodigosConocidos() {
    QStringList codigos;
    for (const Instrumento* i : Instrumentos())
        codigos << QString::fromLatin1(i->codigo);
    return codigos;
}

void DecodificadorPorDefecto(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraUno(c, Desde(c.trama, c.posInicio()));
}

} // namespace ort
