#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace ort {

// The program directory with blanks trimmed, ending in "/" (a bare drive name keeps its colon).
QString RutaConBarra(const QString& ruta);

// s padded with blanks on the right, or cut, to exactly n characters.
QString FijaAncho(const QString& s, int n);

// s with every character outside plain ASCII replaced, character for character, by its
// unaccented letter or "_" (indicator displays show plain ASCII only).
QString SinAcentos(const QString& s);

// The leading number of a text: blanks skipped, optional sign, digits with "." as the decimal
// point and an optional exponent; 0 when there is none.
double numeroDe(const QString& texto);
// The same leading number, or no value when the text does not start with one.
std::optional<double> numeroInicial(const QString& texto);

// Windows-1252 code of a character, or -1 when the code page cannot encode it.
int codigoWin1252(QChar c);
// Decodes one Windows-1252 byte.
QChar desdeWin1252(unsigned char b);
// Text files written on Windows: UTF-8 when valid, otherwise Windows-1252.
QString decodificaTexto(const QByteArray& bytes);

// "yyyy-MM-dd HH:mm:ss" (sep between the date's parts), as QDateTime::toString would write it,
// without reading a format for every reading.
QString textoFechaHora(const QDate& fecha, const QTime& hora, QChar sep = u'-');
// "HHmm", as QTime::toString("HHmm").
QString textoHHmm(const QTime& hora);
// A local time written exactly "yyyy-MM-dd HH:mm:ss" or "yyyy-MM-ddTHH:mm:ss"; no value for
// anything else (an invalid date included).
std::optional<QDateTime> fechaHoraLocal(const QString& s);

// Rounds as the product's 16-bit conversions do: to the nearest whole number, ties to even,
// clamped to the 16-bit range.
qint16 aEntero16(double v);

} // namespace ort
