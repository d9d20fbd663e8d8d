// Frame generators, one per instrument code ORT decodes. Each writes a value the way its
// instrument puts it on the line (fixed columns, markers, selector characters, binary numbers,
// batches) and states exactly what ORT registers from those frames.
#include "ortsim/generadores.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <utility>

namespace ort::sim {

namespace {

// ---------------------------------------------------------------------------------------------
// Shared helpers: numbers as the instruments write them, and texts placed at columns.

// Values are taken within ±1E+12, so that every text keeps at most 15 significant digits.
constexpr double kLimite = 1e12;

double acota(double v) {
    if (!std::isfinite(v))
        return 0;
    return std::clamp(v, -kLimite, kLimite);
}

// v with dec decimals; a value that rounds to zero carries no minus sign.
QString fijo(double v, int dec) {
    QString t = QString::number(acota(v), 'f', dec);
    if (t.startsWith(u'-') && t.toDouble() == 0)
        t.remove(0, 1);
    return t;
}

// v in at most ancho characters: with dec decimals, fewer when the field is too narrow, and a
// '+' before positive values when mas. A value too large even without decimals shows the
// largest the field can hold, as a display at its limit does.
QString cabe(double v, int ancho, int dec, bool mas = false) {
    for (int d = dec; d >= 0; --d) {
        QString t = fijo(v, d);
        if (mas && !t.startsWith(u'-'))
            t.prepend(u'+');
        if (t.size() <= ancho)
            return t;
    }
    const bool conSigno = v < 0 || mas;
    const QString nueves(std::max(ancho - (conSigno ? 1 : 0), 1), u'9');
    return (v < 0 ? QStringLiteral("-") : mas ? QStringLiteral("+") : QString()) + nueves;
}

// Right-aligned in a field of ancho characters.
QString der(const QString& t, int ancho) {
    return t.rightJustified(ancho, u' ');
}

// A field of ancho characters holding n with leading zeros, the sign first: "-01250".
QString ceros(qint64 n, int ancho) {
    const QString cifras = QString::number(n < 0 ? -n : n);
    return n < 0 ? u'-' + cifras.rightJustified(ancho - 1, u'0')
                 : cifras.rightJustified(ancho, u'0');
}

// Two channel digits.
QString canal2(int c) {
    return QStringLiteral("%1").arg(c, 2, 10, QChar(u'0'));
}

// A line of blanks with each text at its 1-based column.
QByteArray columnas(std::initializer_list<std::pair<int, QString>> piezas) {
    QString t;
    for (const auto& [col, texto] : piezas) {
        if (t.size() < col - 1 + texto.size())
            t = t.leftJustified(col - 1 + texto.size(), u' ');
        t.replace(col - 1, texto.size(), texto);
    }
    return t.toLatin1();
}

// The shortest text of a decimal text ("+12.500" gives "12.5").
QString corto(const QString& decimal) {
    QString t = decimal;
    const bool menos = t.startsWith(u'-');
    if (menos || t.startsWith(u'+'))
        t.remove(0, 1);
    const qsizetype punto = t.indexOf(u'.');
    const int escala = punto < 0 ? 0 : int(t.size() - punto - 1);
    t.remove(u'.');
    const qint64 n = t.toLongLong();
    return formatoCorto(menos ? -n : n, escala);
}

Lectura lee(int canal, const QString& valor, const QString& fecha = {}, const QString& hora = {}) {
    return Lectura{canal2(canal) + valor, fecha, hora};
}

Muestra una(const QByteArray& trama, QList<Lectura> lecturas = {}) {
    Muestra m;
    m.tramas << trama;
    m.lecturas = std::move(lecturas);
    return m;
}

// Instruments whose decoder takes every frame can only be refused by the framing: a line of
// control characters only is empty once they are dropped, and an empty frame is not decoded.
Muestra soloControl() {
    return una(QByteArrayLiteral("\x02\x03"));
}

// The instrument's clock: the one given, or a fixed time so that frames repeat exactly. Dates
// are written with four-digit years.
QDateTime cuando(const Opciones& o) {
    if (o.cuando.isValid() && o.cuando.date().year() >= 1000 && o.cuando.date().year() <= 9999)
        return o.cuando;
    return QDateTime(QDate(2026, 12, 4), QTime(10, 30));
}

QString textoFechaInst(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyyMMdd"));
}
QString textoHoraInst(const QDateTime& t) {
    return t.toString(QStringLiteral("HHmm"));
}

int camposDe(const Opciones& o, int propios) {
    return o.campos > 0 ? o.campos : propios;
}
int lote(const Opciones& o, int propio) {
    return o.lote > 0 ? o.lote : propio;
}

// ---------------------------------------------------------------------------------------------
// Single-value instruments, channel 01.

// EQ4HP, FOWLE, PRECI: the frame is the value.
Muestra generaTramaEntera(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = fijo(v, 3);
    return una(t.toLatin1(), {lee(1, t)});
}

// PSION terminals interleave XON characters, which the framing drops.
Muestra generaPsion(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = fijo(v, 3);
    return una("\x11" + t.toLatin1() + "\x11", {lee(1, t)});
}

// A value right-aligned in columns [col, col + ancho), between a label and a unit.
Muestra enColumna(double v, const Opciones& o, const QString& etiqueta, int col, int ancho,
                  int dec = 3) {
    if (o.rechazo)
        return soloControl();
    const QString t = der(cabe(v, ancho, dec), ancho);
    return una(columnas({{1, etiqueta}, {col, t}, {col + ancho + 1, QStringLiteral("g")}}),
               {lee(1, t)});
}

Muestra generaOhaug(double v, const Opciones& o) {
    return enColumna(v, o, {}, 1, 9);
}
Muestra generaSare2(double v, const Opciones& o) {
    return enColumna(v, o, "N", 10, 10);
}
Muestra generaArite(double v, const Opciones& o) {
    return enColumna(v, o, "ARITE", 14, 8);
}
Muestra generaRtdig(double v, const Opciones& o) {
    return enColumna(v, o, "RT", 18, 7);
}
Muestra generaMarp1(double v, const Opciones& o) {
    return enColumna(v, o, "MARP", 19, 8);
}

// The value padded with blanks; a line of blanks is the balance's keep-alive.
Muestra generaOhau2(double v, const Opciones& o) {
    if (o.rechazo)
        return una(QByteArray(10, ' '));
    const QString t = fijo(v, 3);
    return una((der(t, 10) + QStringLiteral("  ")).toLatin1(), {lee(1, t)});
}

// A status character, then the value.
Muestra generaAb520(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = fijo(v, 3);
    return una("N" + t.toLatin1(), {lee(1, t)});
}

// The sign in column 1, the digits from column 3.
Muestra generaSar81(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString cifras = der(cabe(std::fabs(v), 8, 3), 8);
    const QString signo =
        v < 0 && cifras.toDouble() != 0 ? QStringLiteral("-") : QStringLiteral("+");
    return una(columnas({{1, signo}, {3, cifras}, {12, "g"}}), {lee(1, signo + cifras)});
}

// Only frames whose number is above zero are readings; others are status lines.
Muestra generaMetbd(double v, const Opciones& o) {
    if (o.rechazo)
        return una("ERR");
    const QString t = fijo(v, 3);
    return una(t.toLatin1(), t.toDouble() > 0 ? QList<Lectura>{lee(1, t)} : QList<Lectura>{});
}

// A sample number above zero in columns 1-5, the value in 6-13.
Muestra generaPharm(double v, const Opciones& o) {
    const QString t = der(cabe(v, 8, 3), 8);
    if (o.rechazo)
        return una(columnas({{1, "00000"}, {6, t}}));
    return una(columnas({{1, "00001"}, {6, t}}), {lee(1, t)});
}

// Readings start with P, V or a blank (variants 0, 1, 2); other letters are status lines.
Muestra generaAfiii(double v, const Opciones& o) {
    static const QString letras = QStringLiteral("PV ");
    const QString t = der(cabe(v, 6, 3), 6);
    if (o.rechazo)
        return una(columnas({{1, "A"}, {2, t}, {9, "mm"}}));
    return una(columnas({{1, letras.mid(std::clamp(o.variante, 0, 2), 1)}, {2, t}, {9, "mm"}}),
               {lee(1, t)});
}

// A bar code; "TT=" and "C39" lines are the reader's status.
Muestra generaBarc1(double v, const Opciones& o) {
    if (o.rechazo)
        return una("TT=0001");
    const QString t = fijo(v, 3);
    return una(t.toLatin1(), {lee(1, t)});
}

// At least 13 characters: two of head, ten of value, then the unit. A line of 12 is refused.
Muestra generaQc300(double v, const Opciones& o) {
    const QString t = der(cabe(v, 10, 3), 10);
    if (o.rechazo)
        return una(("QC" + t).toLatin1());
    return una(("QC" + t + " g").toLatin1(), {lee(1, t)});
}

// Gross weighings ("G" in columns 11-12, either case: variants 0, 1) are recorded; net are not.
Muestra generaChyjl(double v, const Opciones& o) {
    const QString t = cabe(v, 10, 3);
    const QString marca = o.rechazo         ? QStringLiteral(" N")
                          : o.variante == 1 ? QStringLiteral(" g")
                                            : QStringLiteral(" G");
    return una((der(t, 10) + marca + QStringLiteral(" kg")).toLatin1(),
               o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(1, t)});
}

// Axis X or Y (variants 0, 1) in column 1, the value in 2-12; other axes are not recorded.
Muestra generaSt7dr(double v, const Opciones& o) {
    const QString t = der(cabe(v, 11, 4), 11);
    const QString eje = o.rechazo         ? QStringLiteral("Z")
                        : o.variante == 1 ? QStringLiteral("Y")
                                          : QStringLiteral("X");
    return una((eje + t).toLatin1(), o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(1, t)});
}

// Panasonic gauges: a positive value and a length unit (MM, IN, or mm: variants 0, 1, 2).
Muestra pana(double v, const Opciones& o, const char* nombre, int colValor, int ancho,
             int colUnidad) {
    static const char* unidades[] = {"MM", "IN", "mm"};
    const QString t = cabe(v, ancho, 4);
    const QString unidad = o.rechazo ? QStringLiteral("CM")
                                     : QString::fromLatin1(unidades[std::clamp(o.variante, 0, 2)]);
    const bool valida = !o.rechazo && t.toDouble() > 0;
    return una(columnas({{1, nombre}, {colValor, der(t, ancho)}, {colUnidad, unidad}}),
               valida ? QList<Lectura>{lee(1, t)} : QList<Lectura>{});
}

Muestra generaPana1(double v, const Opciones& o) {
    return pana(v, o, "PANA1", 11, 8, 22);
}
Muestra generaPana2(double v, const Opciones& o) {
    return pana(v, o, "PANA2", 14, 7, 22);
}
Muestra generaPana3(double v, const Opciones& o) {
    return pana(v, o, "PANA3", 25, 7, 38);
}

// A stability marker, then the value three (METPM) or four (MSICS) columns after it.
Muestra generaMetpm(double v, const Opciones& o) {
    const QString t = der(cabe(v, 9, 3), 9);
    const QString marca = o.rechazo ? QStringLiteral("U  ") : QStringLiteral("S  ");
    return una(columnas({{1, marca}, {4, t}, {14, "mm"}}),
               o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(1, t)});
}

Muestra generaMsics(double v, const Opciones& o) {
    const QString t = der(cabe(v, 10, 3), 10);
    const QString marca = o.rechazo ? QStringLiteral("S D") : QStringLiteral("S S");
    return una(columnas({{1, marca}, {5, t}, {16, "g"}}),
               o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(1, t)});
}

// A decimal comma (variant 0) or point (variant 1) in columns 2-9; ORT records a point. Only
// values above zero are readings; dashes are the gauge's "no value".
Muestra generaT8530(double v, const Opciones& o) {
    if (o.rechazo)
        return una(columnas({{1, "A"}, {2, "   -----"}, {11, "mm"}}));
    const QString t = der(cabe(v, 8, 3), 8);
    QString enLinea = t;
    if (o.variante == 0)
        enLinea.replace(u'.', u',');
    return una(columnas({{1, "A"}, {2, enLinea}, {11, "mm"}}),
               t.toDouble() > 0 ? QList<Lectura>{lee(1, t)} : QList<Lectura>{});
}

// Hundredths in six columns, starting three after the comma; ORT divides by 100.
Muestra generaT9481(double v, const Opciones& o) {
    const qint64 n = std::clamp<qint64>(std::llround(acota(v) * 100), -99999, 999999);
    const QByteArray cifras = ceros(n, 6).toLatin1();
    if (o.rechazo)
        return una("ST GS" + cifras + "kg");
    return una("ST,GS" + cifras + "kg", {lee(1, formatoCorto(n, 2))});
}

// Instruments whose frames ORT does not record.
Muestra generaSinLectura(double v, const Opciones&) {
    return una(fijo(v, 3).toLatin1());
}

// ---------------------------------------------------------------------------------------------
// Multi-value instruments and multiplexers. Values after the first are v + 1, v + 2, …

// Three values at columns 4, 14 and 24, on channels 1, 2 and 3; every frame gives all three.
Muestra generaXrite(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    QString a[3];
    for (int i = 0; i < 3; ++i)
        a[i] = der(cabe(v + i, 7, 2), 7);
    return una(columnas({{1, "L= "}, {4, a[0]}, {11, "a= "}, {14, a[1]}, {21, "b= "}, {24, a[2]}}),
               {lee(1, a[0]), lee(2, a[1]), lee(3, a[2])});
}

// Coordinates after the letters X, Y, Z (channels 1, 2, 3): the first o.campos axes (variant
// 0, all three by default) or X and Z only (variant 1).
Muestra generaKscou(double v, const Opciones& o) {
    if (o.rechazo)
        return una("ERR 12");
    QList<int> ejes;
    if (o.variante == 1)
        ejes = {0, 2};
    else
        for (int i = 0; i < std::clamp(camposDe(o, 3), 1, 3); ++i)
            ejes << i;
    QString t;
    Muestra m;
    for (int k = 0; k < ejes.size(); ++k) {
        const int i = ejes[k];
        const QString valor = der(cabe(v + k, 9, 3), 9);
        t += QString(QChar(u'X' + i)) + u' ' + valor + u' ';
        m.lecturas << lee(i + 1, valor);
    }
    m.tramas << t.toLatin1();
    return m;
}

// The nearest 32-bit number whose four bytes all pass ORT's framing (none below 32). Positive
// numbers below 0x20202020 cannot travel: they become the nearest negative one (-1 at most).
std::int32_t enviable(std::int64_t n) {
    auto bytes = [](std::int64_t x) { return static_cast<std::uint32_t>(x); };
    auto valido = [&](std::int64_t x) {
        for (int i = 0; i < 4; ++i)
            if (((bytes(x) >> (8 * i)) & 0xFF) < 0x20)
                return false;
        return true;
    };
    // The smallest valid number >= n: the first low byte from the top raised to 0x20, the
    // ones below it to 0x20 too.
    auto arriba = [&](std::int64_t x) -> std::int64_t {
        for (int i = 3; i >= 0; --i)
            if (((bytes(x) >> (8 * i)) & 0xFF) < 0x20) {
                const std::uint64_t alto =
                    i == 3 ? 0 : (bytes(x) >> (8 * (i + 1))) << (8 * (i + 1));
                return static_cast<std::int32_t>(alto | (0x20202020u >> (8 * (3 - i))));
            }
        return x;
    };
    // The largest valid number <= n: below a low byte, everything 0xFF, borrowing one above.
    auto abajo = [&](std::int64_t x) -> std::int64_t {
        while (!valido(x)) {
            int i = 3;
            while (((bytes(x) >> (8 * i)) & 0xFF) >= 0x20)
                --i;
            const std::int64_t cero = (x >> (8 * (i + 1))) << (8 * (i + 1));
            x = cero - 1;
            if (x < std::numeric_limits<std::int32_t>::min())
                return std::numeric_limits<std::int64_t>::min();
        }
        return x;
    };
    n = std::clamp<std::int64_t>(n, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max());
    if (valido(n))
        return static_cast<std::int32_t>(n);
    const std::int64_t a = arriba(n), b = abajo(n);
    const bool hayArriba = a >= n && valido(a);
    const bool hayAbajo = b != std::numeric_limits<std::int64_t>::min();
    if (hayArriba && (!hayAbajo || a - n <= n - b))
        return static_cast<std::int32_t>(a);
    return static_cast<std::int32_t>(b);
}

// Three signed 32-bit binary numbers, most significant byte first: the load in
// hundred-thousandths (channel 1), then two values in hundredths (channels 2, 3). Values are
// moved to the nearest that the framing lets through (enviable).
Muestra generaTload(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    auto escala = [](double x, double f) {
        return enviable(static_cast<std::int64_t>(std::llround(std::clamp(x * f, -3e9, 3e9))));
    };
    const std::int32_t n[3] = {escala(acota(v), 1e5), escala(acota(v + 1), 100),
                               escala(acota(v + 2), 100)};
    QByteArray t;
    for (std::int32_t x : n)
        for (int i = 3; i >= 0; --i)
            t += static_cast<char>((static_cast<std::uint32_t>(x) >> (8 * i)) & 0xFF);
    return una(t, {lee(1, formatoCorto(n[0], 5)), lee(2, formatoCorto(n[1], 2)),
                   lee(3, formatoCorto(n[2], 2))});
}

// Torque before "Nm", the channel 18 columns after it and a second value 32 after it; both
// values go to that channel. Without "Nm" (a line in lb) nothing is recorded.
Muestra generaFocus(double v, const Opciones& o) {
    const QString a = der(cabe(v, 5, 2), 5), b = der(cabe(v + 1, 8, 2), 8);
    const QString unidad = o.rechazo ? QStringLiteral("lb") : QStringLiteral("Nm");
    const QByteArray t =
        columnas({{1, a}, {6, unidad}, {20, "CH:"}, {24, canal2(o.canal)}, {30, "ANG:"}, {38, b}});
    return una(t, o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(o.canal, a), lee(o.canal, b)});
}

// A "Canal" line announces the channel; the "Nm" line that follows gives two values on it.
Muestra generaFocug(double v, const Opciones& o) {
    const QString a = der(cabe(v, 5, 2), 5), b = der(cabe(v + 1, 8, 2), 8);
    Muestra m;
    m.tramas << ("Canal No." + canal2(o.canal)).toLatin1();
    m.tramas << columnas(
        {{1, a}, {6, o.rechazo ? QStringLiteral("lb") : QStringLiteral("Nm")}, {30, b}});
    if (!o.rechazo)
        m.lecturas = {lee(o.canal, a), lee(o.canal, b)};
    return m;
}

// "*STRT nn" announces the channel; a "*CONC" result follows (a "*CALB" line is not one).
Muestra generaMiran(double v, const Opciones& o) {
    const QString t = der(cabe(v, 8, 3), 8);
    Muestra m;
    m.tramas << ("*STRT " + canal2(o.canal)).toLatin1();
    m.tramas << columnas(
        {{1, o.rechazo ? QStringLiteral("*CALB") : QStringLiteral("*CONC")}, {7, "PPM"}, {12, t}});
    if (!o.rechazo)
        m.lecturas = {lee(o.canal, t)};
    return m;
}

// The frame is the reading: two channel digits and the value.
Muestra generaTp844(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = canal2(o.canal) + cabe(v, 10, 3, true);
    return una(t.toLatin1(), {Lectura{t, {}, {}}});
}

// "cc s…": channel, a blank, then the signed value. MUX10 and its kind drop a '+' (variant 0
// sends one, variant 1 none); MUX11 and MX8N record the number's shortest form; MX8 the text.
Muestra generaMux10(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = cabe(v, 12, 3, o.variante == 0);
    const QString valor = t.startsWith(u'+') ? t.mid(1) : t;
    return una((canal2(o.canal) + u' ' + t).toLatin1(), {lee(o.canal, valor)});
}

Muestra generaMux11(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = cabe(v, 12, 3, true);
    return una((canal2(o.canal) + u' ' + t).toLatin1(), {lee(o.canal, corto(t))});
}

Muestra generaMx8(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = cabe(v, 12, 3, true);
    return una((canal2(o.canal) + u' ' + t).toLatin1(), {lee(o.canal, t)});
}

// A single-precision number in eight hexadecimal digits, least significant byte first; ORT
// shows it with its sign and four decimals.
Muestra generaHx1(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    float f = static_cast<float>(acota(v));
    if (f == 0)
        f = 0.0f; // no negative zero: its bytes would read as a tiny negative number
    std::uint32_t bits;
    static_assert(sizeof bits == sizeof f);
    std::memcpy(&bits, &f, sizeof f);
    QString hex;
    for (int i = 0; i < 4; ++i)
        hex += QStringLiteral("%1").arg((bits >> (8 * i)) & 0xFF, 2, 16, QChar(u'0')).toUpper();
    const QString cifras = QString::asprintf("%09.4f", std::fabs(static_cast<double>(f)));
    return una((canal2(o.canal) + u' ' + hex).toLatin1(),
               {lee(o.canal, (f < 0 ? u'-' : u'+') + cifras)});
}

// "value,cc (0); channel 1 without the comma (1)"; channel 1 may also come bare, without the comma
// (variant 1). A channel of one character after the comma is refused.
Muestra generaGport(double v, const Opciones& o) {
    const QString t = fijo(v, 3);
    if (o.rechazo)
        return una((t + QStringLiteral(",7")).toLatin1());
    if (o.variante == 1 && o.canal == 1)
        return una(t.toLatin1(), {lee(1, t)});
    return una((t + u',' + canal2(o.canal)).toLatin1(), {lee(o.canal, t)});
}

// Channel digit 1..9 in column 1, the value in 3-10.
Muestra generaMig2(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QString t = der(cabe(v, 8, 3), 8);
    return una(columnas({{1, QString::number(o.canal)}, {2, ","}, {3, t}}), {lee(o.canal, t)});
}

// The four groups of selector characters; any character of a group selects it.
const char* const kGrupos[4] = {"013", "457", "89;", "<=?"};

QString selector(int grupo, int variante) {
    return QString(QChar(kGrupos[grupo][std::clamp(variante, 0, 2)]));
}

// Bank 0 or 1 in column 3 and a selector character in column 7 (which member of its group:
// variants 0, 1, 2) name channels 1..8; the value is in 10-17. Selector "2" fits no group.
Muestra generaMig1(double v, const Opciones& o) {
    const QString t = der(cabe(v, 8, 3), 8);
    const int c = std::clamp(o.canal, 1, 8);
    const QString banco = c <= 4 ? QStringLiteral("0") : QStringLiteral("1");
    const QString sel = o.rechazo ? QStringLiteral("2") : selector((c - 1) % 4, o.variante);
    return una(columnas({{1, "M"}, {3, banco}, {7, sel}, {10, t}}),
               o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(c, t)});
}

// Box 1..9, A, B, C in column 2, input 0/1 in 3, mode in 4, selector in 7, value in 10-17.
// Mode "1": eight channels a box, 1..96 (selector member: variants 0, 1, 2). Mode "0" (variant
// 3): two channels a box, 1..24; higher channels are sent in mode "1".
Muestra generaMux40(double v, const Opciones& o) {
    static const QString cajas = QStringLiteral("123456789ABC");
    const QString t = der(cabe(v, 8, 3), 8);
    const int c = std::clamp(o.canal, 1, 96);
    QString caja, entrada, modo, sel;
    if (o.variante == 3 && c <= 24 && !o.rechazo) {
        caja = cajas.mid((c - 1) / 2, 1);
        entrada = QString::number((c - 1) % 2);
        modo = QStringLiteral("0");
        sel = QStringLiteral("0");
    } else {
        const int r = (c - 1) % 8;
        caja = cajas.mid((c - 1) / 8, 1);
        entrada = QString::number(r / 4);
        modo = QStringLiteral("1");
        sel = o.rechazo ? QStringLiteral("2") : selector(r % 4, o.variante % 3);
    }
    return una(columnas({{1, "X"}, {2, caja}, {3, entrada}, {4, modo}, {7, sel}, {10, t}}),
               o.rechazo ? QList<Lectura>{} : QList<Lectura>{lee(c, t)});
}

// ---------------------------------------------------------------------------------------------
// Answered, batch, time-stamped and sampled instruments.

// GSE01 indicator of unit n (channel n + 1, 1..10): asks to be loaded with "An", waits for
// ORT's answer ("+++", "ATDT 0n, WR, CN", the context command), then sends its measurement
// "Bn,v1,v2", two readings on the channel. A message with one comma is refused.
Muestra generaGse01(double v, const Opciones& o) {
    const int c = std::clamp(o.canal, 1, 10);
    const QByteArray unidad = QByteArray::number(c - 1);
    const QString a = fijo(v, 3), b = fijo(v + 1, 3);
    Muestra m;
    m.respuestaTras = 0;
    m.tramas << "A" + unidad;
    if (o.rechazo) {
        m.tramas << "B" + unidad + "," + a.toLatin1();
        return m;
    }
    m.tramas << "B" + unidad + "," + a.toLatin1() + "," + b.toLatin1();
    m.lecturas = {lee(c, a), lee(c, b)};
    return m;
}

// A status frame, then the value frame; after "OL" (overload) the value is not recorded.
Muestra generaAnd(double v, const Opciones& o) {
    const QString t = cabe(v, 10, 3, true);
    Muestra m;
    m.tramas << (o.rechazo ? QByteArrayLiteral("OL") : QByteArrayLiteral("ST")) << t.toLatin1();
    if (!o.rechazo)
        m.lecturas = {lee(1, t)};
    return m;
}

// The value frame, after two filler frames ("00" in columns 2-3) in variant 1. Fillers with no
// value frame after them record nothing.
Muestra generaPel10(double v, const Opciones& o) {
    const QString t = fijo(v, 3);
    Muestra m;
    if (o.rechazo) {
        m.tramas << "R00000";
        return m;
    }
    if (o.variante == 1)
        m.tramas << "R00000"
                 << "R00000";
    m.tramas << "N" + t.toLatin1();
    m.lecturas = {lee(1, t)};
    return m;
}

// A logger's dump: o.lote values (5 by default) in columns 1-8, each with its sign so that no
// value starts with 8 or 9, then the closing marker "99999999", after which ORT closes the
// port until it is opened again.
Muestra generaDl10(double v, const Opciones& o) {
    Muestra m;
    if (!o.rechazo)
        for (int j = 0; j < lote(o, 5); ++j) {
            QString t = cabe(v + j, 8, 3, true);
            t.insert(1, QString(8 - t.size(), u'0'));
            m.tramas << (t + QStringLiteral(" mm")).toLatin1();
            m.lecturas << lee(1, t);
        }
    m.tramas << "99999999";
    return m;
}

// A batch of stored records: a "Y01" head, then o.lote "Y02" records (3 by default), each with
// its value in 10-18, its date mm/dd/yy at 19 and its time hh:nn at 28, a minute apart and the
// last at the instrument's clock. Two-digit years carry 1980..2079.
Muestra generaDp3dx(double v, const Opciones& o) {
    Muestra m;
    m.tramas << "Y01 LOTE";
    if (o.rechazo)
        return m;
    const int n = lote(o, 3);
    const QDateTime fin =
        std::clamp(cuando(o), QDateTime(QDate(1980, 1, 1), QTime(0, 0)).addSecs(60 * (n - 1)),
                   QDateTime(QDate(2079, 12, 31), QTime(23, 59)));
    for (int j = 0; j < n; ++j) {
        const QDateTime t = fin.addSecs(-60 * (n - 1 - j));
        const QString valor = der(cabe(v + j, 9, 3, true), 9);
        m.tramas << columnas({{1, "Y02"},
                              {5, "DP"},
                              {10, valor},
                              {19, t.toString(QStringLiteral("MM/dd/yy"))},
                              {28, t.toString(QStringLiteral("HH:mm"))}});
        m.lecturas << lee(1, valor, textoFechaInst(t), textoHoraInst(t));
    }
    return m;
}

// A report: a head line, then o.lote data lines (2 by default) of o.campos values (3 by
// default). A data line has a blank in column 2, 19 columns of head and values of ten columns
// one apart from column 20, so that its length is 18 + 11 × values.
Muestra generaQmate(double v, const Opciones& o) {
    Muestra m;
    m.tramas << "QMATE REPORT";
    if (o.rechazo)
        return m;
    const int campos = camposDe(o, 3);
    int k = 0;
    for (int j = 0; j < lote(o, 2); ++j) {
        QString t = QStringLiteral("D LOTE %1").arg(j + 1, 4, 10, QChar(u'0')).leftJustified(19);
        for (int i = 0; i < campos; ++i, ++k) {
            const QString valor = der(cabe(v + k, 10, 3), 10);
            t += (i > 0 ? QStringLiteral(" ") : QString()) + valor;
            m.lecturas << lee(1, valor);
        }
        m.tramas << t.toLatin1();
    }
    return m;
}

// Value in 1-5, time hh:nn at 7 and date dd/mm/yyyy at 16; ORT puts it on the channel of its
// port number (o.canal here).
Muestra generaTdlrf(double v, const Opciones& o) {
    if (o.rechazo)
        return soloControl();
    const QDateTime t = cuando(o);
    const QString valor = der(cabe(v, 5, 2), 5);
    return una(columnas({{1, valor},
                         {7, t.toString(QStringLiteral("HH:mm"))},
                         {16, t.toString(QStringLiteral("dd/MM/yyyy"))}}),
               {lee(o.canal, valor, textoFechaInst(t), textoHoraInst(t))});
}

// The net weight after "NET" ("net" in variant 1), on the channel of the port's number. A
// German scale (variant 2) labels its gross weight "Maß", with the Latin-1 character ß.
Muestra generaTodlr(double v, const Opciones& o) {
    const QString bruto = der(cabe(v + 1, 7, 2), 7), neto = der(cabe(v, 7, 2), 7);
    const QString etiqueta = o.variante == 2 ? QStringLiteral("Maß") : QStringLiteral("GROSS");
    if (o.rechazo)
        return una(columnas({{1, etiqueta}, {7, bruto}, {15, "kg"}}));
    return una(columnas({{1, etiqueta},
                         {7, bruto},
                         {15, o.variante == 1 ? QStringLiteral("net") : QStringLiteral("NET")},
                         {18, neto},
                         {26, "kg"}}),
               {lee(o.canal, neto)});
}

// A comma-separated export: the header line, then o.lote lines (3 by default) of date, time,
// three fields and the value, a minute apart and the last at the instrument's clock.
// Variant 0: d/m/yyyy and hh:mm:ss on every line. Variant 1: yyyy-mm-dd on the first line only
// (the others leave it empty and take it over) and h:mm on every line. Variant 2: dd-mm-yyyy on
// every line and hh:mm on the first only. A line with an empty date right after the header
// counts as header: that is the refused sample.
Muestra generaDm510(double v, const Opciones& o) {
    Muestra m;
    m.tramas << "Date,Time,Channel,Unit,Status,Value";
    if (o.rechazo) {
        m.tramas << ",10:30,1,mm,OK," + fijo(v, 3).toLatin1();
        return m;
    }
    const int n = lote(o, 3);
    QString fechaInst, horaInst;
    for (int j = 0; j < n; ++j) {
        const QDateTime t = cuando(o).addSecs(-60 * (n - 1 - j));
        QString fecha, hora;
        switch (o.variante) {
        case 1:
            fecha = j == 0 ? t.toString(QStringLiteral("yyyy-MM-dd")) : QString();
            hora = t.toString(QStringLiteral("H:mm"));
            break;
        case 2:
            fecha = t.toString(QStringLiteral("dd-MM-yyyy"));
            hora = j == 0 ? t.toString(QStringLiteral("HH:mm")) : QString();
            break;
        default:
            fecha = t.toString(QStringLiteral("d/M/yyyy"));
            hora = t.toString(QStringLiteral("HH:mm:ss"));
        }
        if (!fecha.isEmpty())
            fechaInst = textoFechaInst(t);
        if (!hora.isEmpty())
            horaInst = textoHoraInst(t);
        const QString valor = fijo(v + j, 3);
        m.tramas << QStringLiteral("%1,%2,1,mm,OK,%3").arg(fecha, hora, valor).toLatin1();
        m.lecturas << lee(1, valor, fechaInst, horaInst);
    }
    return m;
}

// "E2" and tenths in columns 3-7; ORT divides by 10. The instrument sends all the time and ORT
// keeps only the frames that arrive in the first four seconds of every ten minutes (seconds
// since midnight, rounded, modulo 600 in 0..3): the readings stated here are those of a frame
// decoded inside that window, and a test must set its clock there (10:00:02, say). Other
// headers ("E1") are not readings.
Muestra generaIshid(double v, const Opciones& o) {
    const qint64 n = std::clamp<qint64>(std::llround(acota(v) * 10), -9999, 99999);
    const QByteArray t = ceros(n, 5).toLatin1() + " kg";
    if (o.rechazo)
        return una("E1" + t);
    return una("E2" + t, {lee(1, formatoCorto(n, 1))});
}

// The instrument table is ORT's own; the simulator takes each row's generator. Rows without one
// (TIMER reads the clock) are left out of the simulator's list.
#define ORT_INSTRUMENTO(codigo, decodificador, generador, canales, variantes, apertura, aviso,     \
                        descripcion)                                                               \
    {codigo, generador, canales, variantes, descripcion},

const Instrumento kInstrumentos[] = {
#include "decoding/instrumentos.inc"
    // Not an instrument code: a port decoded by its field table.
    {"TABLA", generaCampos, 1, 1, "field-table port: comma-separated values (SEP=44)"},
};

#undef ORT_INSTRUMENTO

} // namespace

QString formatoCorto(qint64 n, int escala) {
    if (n == 0)
        return QStringLiteral("0");
    const bool menos = n < 0;
    QString d = QString::number(menos ? 0 - static_cast<quint64>(n) : static_cast<quint64>(n));
    while (d.size() > 1 && d.endsWith(u'0')) {
        d.chop(1);
        --escala;
    }
    // Decimal exponent of the first digit.
    const int e = int(d.size()) - 1 - escala;
    QString t;
    if (e < -4 || e >= 15) {
        t = d.left(1) + (d.size() > 1 ? u'.' + d.mid(1) : QString()) + u'E' +
            (e < 0 ? u'-' : u'+') + QStringLiteral("%1").arg(std::abs(e), 2, 10, QChar(u'0'));
    } else if (escala <= 0) {
        t = d + QString(-escala, u'0');
    } else if (escala >= d.size()) {
        t = QStringLiteral("0.") + QString(escala - d.size(), u'0') + d;
    } else {
        t = d.left(d.size() - escala) + u'.' + d.mid(d.size() - escala);
    }
    return menos ? u'-' + t : t;
}

Muestra generaValor(double valor, const Opciones& o) {
    const QString v = fijo(valor, 3);
    Muestra m;
    m.tramas << v.toLatin1();
    if (!o.rechazo)
        m.lecturas << lee(1, v);
    return m;
}

Muestra generaCampos(double valor, const Opciones& o) {
    Muestra m;
    QStringList valores;
    for (int i = 0; i < std::max(o.campos, 1); ++i)
        valores << fijo(valor + i, 3);
    m.tramas << valores.join(u',').toLatin1();
    // Each field is cut in a column of 15 after the separator expands; the value fills its start.
    for (const QString& v : valores)
        m.lecturas << lee(1, v);
    return m;
}

const Instrumento* buscaInstrumento(const QString& codigo) {
    const QString c = codigo.trimmed();
    for (const auto& i : kInstrumentos)
        if (i.genera && c == QLatin1String(i.codigo))
            return &i;
    return nullptr;
}

QList<const Instrumento*> instrumentos() {
    QList<const Instrumento*> r;
    for (const auto& i : kInstrumentos)
        if (i.genera)
            r << &i;
    return r;
}

QStringList codigosSimulados() {
    QStringList r;
    for (const auto& i : kInstrumentos)
        if (i.genera)
            r << QString::fromLatin1(i.codigo);
    return r;
}

Generador buscaGenerador(const QString& codigo) {
    const Instrumento* i = buscaInstrumento(codigo);
    return i ? i->genera : generaValor;
}

} // namespace ort::sim
