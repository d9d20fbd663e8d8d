#include "startup/textfuncs.h"

#include <QStringDecoder>

#include <array>
#include <cmath>
#include <limits>

namespace ort {

namespace {

// Characters 0x80..0x9F of Windows-1252; 0 marks the five codes it leaves undefined.
constexpr std::array<char16_t, 32> kAltos1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

struct FilaAcento {
    int desde, hasta;
    char reemplazo;
};

// clang-format off
constexpr FilaAcento kAcentos[] = {
    {192, 198, 'A'}, {199, 199, 'C'}, {200, 203, 'E'}, {204, 207, 'I'}, {209, 209, 'N'},
    {210, 214, 'O'}, {217, 220, 'U'}, {221, 221, 'Y'}, {224, 230, 'a'}, {231, 231, 'c'},
    {232, 235, 'e'}, {236, 239, 'i'}, {241, 241, 'n'}, {242, 246, 'o'}, {249, 252, 'u'},
    {253, 253, 'y'}, {255, 255, 'y'},
};
// clang-format on

} // namespace

QString RutaConBarra(const QString& ruta) {
    QString t = ruta;
    while (!t.isEmpty() && t.front() == u' ')
        t.remove(0, 1);
    while (!t.isEmpty() && t.back() == u' ')
        t.chop(1);
    if (!t.isEmpty() && (t.back() == u':' || t.back() == u'/'))
        return t;
    return t + u'/';
}

QString FijaAncho(const QString& s, int n) {
    if (n <= 0)
        return {};
    return (s.left(n) + QString(n, u' ')).left(n);
}

int codigoWin1252(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kAltos1252[i] != 0 && kAltos1252[i] == u)
            return 0x80 + i;
    return -1;
}

QChar desdeWin1252(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) {
        const char16_t u = kAltos1252[b - 0x80];
        return u ? QChar(u) : QChar(char16_t(b));
    }
    return QChar(char16_t(b));
}

QString SinAcentos(const QString& s) {
    QString r;
    r.reserve(s.size());
    for (QChar c : s) {
        const int code = codigoWin1252(c);
        if (code >= 0 && code < 128) {
            r += c;
            continue;
        }
        QChar out = u'_';
        for (const auto& f : kAcentos)
            if (code >= f.desde && code <= f.hasta) {
                out = QChar(f.reemplazo);
                break;
            }
        r += out;
    }
    return r;
}

std::optional<double> numeroInicial(const QString& texto) {
    int i = 0;
    const int n = texto.size();
    while (i < n && texto[i] == u' ')
        ++i;
    const int inicio = i;
    if (i < n && (texto[i] == u'+' || texto[i] == u'-'))
        ++i;
    // Skips the ASCII digits from k on; how many there were.
    const auto cifras = [&](int& k) {
        const int desde = k;
        while (k < n && texto[k].isDigit() && texto[k].unicode() < 128)
            ++k;
        return k - desde;
    };
    int digitos = cifras(i);
    if (i < n && texto[i] == u'.') {
        ++i;
        digitos += cifras(i);
    }
    if (digitos == 0)
        return std::nullopt;
    int fin = i;
    if (i < n && (texto[i] == u'e' || texto[i] == u'E')) {
        int j = i + 1;
        if (j < n && (texto[j] == u'+' || texto[j] == u'-'))
            ++j;
        if (cifras(j) > 0)
            fin = j;
    }
    bool ok = false;
    const double v = texto.mid(inicio, fin - inicio).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double numeroDe(const QString& texto) {
    return numeroInicial(texto).value_or(0.0);
}

QString decodificaTexto(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (s.startsWith(QChar(0xFEFF)))
            s.remove(0, 1);
        return s;
    }
    QString r;
    r.reserve(bytes.size());
    for (char b : bytes)
        r += desdeWin1252(static_cast<unsigned char>(b));
    return r;
}

qint16 aEntero16(double v) {
    if (!std::isfinite(v))
        return 0;
    const double r = std::nearbyint(v); // default rounding mode: ties to even
    if (r > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (r < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return static_cast<qint16>(r);
}

namespace {
// n decimal digits of v, zero-padded, at d; the position after them.
QChar* digitos(QChar* d, int v, int n) {
    for (int i = n - 1; i >= 0; --i, v /= 10)
        d[i] = QChar(char16_t(u'0' + v % 10));
    return d + n;
}
} // namespace

QString textoFechaHora(const QDate& fecha, const QTime& hora, QChar sep) {
    if (!fecha.isValid() || !hora.isValid() || fecha.year() < 1 || fecha.year() > 9999) {
        const QString f = QStringLiteral("yyyy%1MM%1dd").arg(sep);
        return fecha.toString(f) + u' ' + hora.toString(QStringLiteral("HH:mm:ss"));
    }
    QString r(19, Qt::Uninitialized);
    QChar* d = digitos(r.data(), fecha.year(), 4);
    *d++ = sep;
    d = digitos(d, fecha.month(), 2);
    *d++ = sep;
    d = digitos(d, fecha.day(), 2);
    *d++ = u' ';
    d = digitos(d, hora.hour(), 2);
    *d++ = u':';
    d = digitos(d, hora.minute(), 2);
    *d++ = u':';
    digitos(d, hora.second(), 2);
    return r;
}

QString textoHHmm(const QTime& hora) {
    if (!hora.isValid())
        return {};
    QString r(4, Qt::Uninitialized);
    digitos(digitos(r.data(), hora.hour(), 2), hora.minute(), 2);
    return r;
}

std::optional<QDateTime> fechaHoraLocal(const QString& s) {
    if (s.size() != 19 || s[4] != u'-' || s[7] != u'-' || (s[10] != u' ' && s[10] != u'T') ||
        s[13] != u':' || s[16] != u':')
        return std::nullopt;
    const auto num = [&s](int desde, int n, bool& ok) {
        int v = 0;
        for (int i = desde; i < desde + n; ++i) {
            const char16_t c = s[i].unicode();
            if (c < u'0' || c > u'9')
                ok = false;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    bool ok = true;
    const QDate d(num(0, 4, ok), num(5, 2, ok), num(8, 2, ok));
    const QTime t(num(11, 2, ok), num(14, 2, ok), num(17, 2, ok));
    if (!ok || !d.isValid() || !t.isValid())
        return std::nullopt;
    return QDateTime(d, t);
}

} // namespace ort
