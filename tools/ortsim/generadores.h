#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace ort::sim {

struct Opciones {
    int canal = 1;        // for instruments that carry a channel
    int campos = 1;       // values per frame for multi-value and field-table frames
    bool rechazo = false; // a frame the decoder must not register
};

// What one reading of an instrument looks like on the line, and what ORT must make of it.
struct Muestra {
    // Frames in the order they are sent, without the terminator.
    QList<QByteArray> tramas;
    // Readings ORT registers from them: two channel digits and the value text.
    QStringList lecturas;
    // The instrument's own date ("yyyymmdd") and time ("hhnn") of the readings, when it has them.
    QString fecha, hora;
};

using Generador = Muestra (*)(double valor, const Opciones& o);

// The generator of an instrument code (trailing blanks ignored); unknown codes send the plain
// value, as the default decoder reads it.
Generador BuscaGenerador(const QString& codigo);
QStringList CodigosSimulados();

// The plain value: "12.345".
Muestra GeneraValor(double valor, const Opciones& o);
// A field-table frame: o.campos values separated by commas.
Muestra GeneraCampos(double valor, const Opciones& o);

} // namespace ort::sim
