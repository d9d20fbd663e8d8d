#pragma once

#include <QString>

#include <cstdint>

namespace ort {

// Cuts of a frame as the decoders write them. Positions are 1-based, as the instruments'
// manuals count them. A cut that does not fit (a start before the first character, a negative
// length) throws FallaDecodificacion; a cut past the end of the frame is just shorter or empty.

// [s,n]: n characters from position s.
QString corta(const QString& trama, int s, int n);
// [s..]: from position s to the end.
QString desdeColumna(const QString& trama, int s);
// find(x): position of the first x at or after position desde; 0 when absent.
int busca(const QString& trama, const QString& x, int desde = 1);
// The text without leading and trailing blanks (blanks only, as the instruments pad).
QString recorta(const QString& texto);
// The text with every character of code car removed.
QString QuitaCaracter(const QString& texto, int car);

// x rounded to a whole number (halves away from zero) with at least two digits: "07", "12".
QString dosDigitos(double x);
// x with at most 15 significant digits, "." as the decimal point, no trailing zeros.
// Numbers from 1E-04 up to below 1E+15 are written plainly; others as "1.5E-05", "2E+15".
QString formatoGeneral(double x);

// Byte value of a frame character (binary instruments); throws for characters above 255.
int byteDe(QChar c);
// HexCuatro: the four characters at k..k+3 as a big-endian 32-bit number; positions past the end
// of the frame count as zero bytes.
std::uint32_t HexCuatro(const QString& trama, int k);
// FlotanteHex: eight hexadecimal digits holding the four bytes of a single-precision number,
// least significant byte first. Throws when the text is not eight hexadecimal digits or the
// value does not fit a single-precision number.
float FlotanteHex(const QString& digitos);

} // namespace ort
