#pragma once

#include "decoding/contexto.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace ort {

using Decodificador = void (*)(ContextoDecodificacion&, EstadoDecodificadores&);

// One instrument ORT reads: a row of decoding/instrumentos.inc.
struct Instrumento {
    // As written on the connection record, before its blank padding.
    const char* codigo;
    Decodificador decodificador;
    // Written to the serial line once it is open: commands each ending in CR ("" for none).
    const char* apertura;
    // Shown after the opening commands as "CODE: notice"; nullptr for none.
    const char* aviso;
    // Channels 1..canales; 1 for instruments on a single channel or with fixed channels.
    int canales;
    // Number of frame forms the decoder accepts.
    int variantes;
    const char* descripcion;

    // The opening commands, one per write.
    QList<QByteArray> comandosApertura() const;
    // The notice as shown ("PEL10: Inicialización OK."), or an empty text.
    QString textoAviso() const;
};

// Every instrument, in the order of the table.
const QList<const Instrumento*>& instrumentos();

} // namespace ort
