#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace ort::sim {

struct Opciones {
    // The channel of the readings, for instruments that carry one; for TDLRF and TODLR, whose
    // readings go to the channel of the ORT port's number, that port number.
    int canal = 1;
    // Values per frame for multi-value instruments and field-table frames; 0: the instrument's
    // own count.
    int campos = 0;
    // Frames per batch for instruments that send batches; 0: the instrument's own size.
    int lote = 0;
    // Which of the instrument's accepted frame forms to send (0 .. variantes - 1).
    int variante = 0;
    // A frame the decoder must not register.
    bool rechazo = false;
    // The instrument's own clock, for those that date their readings; when not valid, a fixed
    // time (so that frames repeat exactly).
    QDateTime cuando;
};

// A reading ORT registers: two channel digits and the value text, with the instrument's date
// ("yyyymmdd") and time ("hhnn") when it gives them.
struct Lectura {
    QString texto;
    QString FechaInst, HoraInst;
    bool operator==(const Lectura&) const = default;
};

// What one reading (or one batch) of an instrument looks like on the line, and what ORT must
// make of it.
struct Muestra {
    // Frames in the order they are sent, without the terminator.
    QList<QByteArray> tramas;
    // Readings ORT registers from them, in order.
    QList<Lectura> lecturas;
    // Answered instruments: after sending frame respuestaTras the instrument waits for ORT's
    // answer before it sends the rest; -1 when it waits for nothing.
    int respuestaTras = -1;
};

using Generador = Muestra (*)(double valor, const Opciones& o);

// One instrument the simulator plays.
struct Instrumento {
    const char* codigo;
    Generador genera;
    // Channels 1..canales; 1 for instruments on a single channel or with fixed channels.
    int canales;
    // Number of accepted frame forms (Opciones::variante).
    int variantes;
    // One line for --list: what the instrument sends.
    const char* descripcion;
};

// The instrument of a code (trailing blanks ignored), or nullptr.
const Instrumento* buscaInstrumento(const QString& codigo);
// Every instrument, in the order of the table.
QList<const Instrumento*> instrumentos();
QStringList codigosSimulados();

// The generator of a code; codes without an instrument of their own send the plain value, as
// ORT's default decoder reads it from position 1.
Generador buscaGenerador(const QString& codigo);

// The plain value: "12.345".
Muestra generaValor(double valor, const Opciones& o);
// A field-table frame: o.campos values (1 when 0) separated by commas.
Muestra generaCampos(double valor, const Opciones& o);

// The text of n / 10^escala in the shortest form that reads back as that number: "." as the
// decimal point, no trailing zeros; below 1E-04 in exponent form ("1.5E-05").
QString formatoCorto(qint64 n, int escala);

} // namespace ort::sim
