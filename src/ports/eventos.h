#pragma once

#include <QString>

namespace ort {

struct Ajustes;

// The text of a serial port's communication event ("1004:Error de Enmarcado.", …); unknown
// values take text 66 of group 0 followed by the value.
QString clasificaEvento(int valor, const Ajustes& a);
// Errors of the line (1001..1010 and unknown values) are shown on the port's log; changes of
// the modem lines, ring and end of file are not.
bool eventoSeMuestra(int valor);

} // namespace ort
