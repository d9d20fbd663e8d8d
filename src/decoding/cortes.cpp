#include "decoding/cortes.h"

#include "decoding/contexto.h"

#include <QStringView>

#include <charconv>
#include <cmath>
#include <limits>

namespace ort {

namespace {

[[noreturn]] void noCabe(const QString& que) {
    throw FallaDecodificacion(QStringLiteral("corte fuera de la trama: %1").arg(que));
}

int digitoHex(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

} // namespace

QString corta(const QString& trama, int s, int n) {
    if (s < 1 || n < 0)
        noCabe(QStringLiteral("[%1,%2]").arg(s).arg(n));
    if (s > trama.size())
        return {};
    return trama.mid(s - 1, n);
}

QString desdeColumna(const QString& trama, int s) {
    if (s < 1)
        noCabe(QStringLiteral("[%1..]").arg(s));
    if (s > trama.size())
        return {};
    return trama.mid(s - 1);
}

int busca(const QString& trama, const QString& x, int desde) {
    if (desde < 1 || desde > trama.size())
        return 0;
    return static_cast<int>(trama.indexOf(x, desde - 1, Qt::CaseSensitive)) + 1;
}

QString recorta(const QString& texto) {
    qsizetype i = 0, f = texto.size();
    while (i < f && texto[i] == u' ')
        ++i;
    while (f > i && texto[f - 1] == u' ')
        --f;
    return texto.mid(i, f - i);
}

QString QuitaCaracter(const QString& texto, int car) {
    QString r;
    r.reserve(texto.size());
    for (QChar ch : texto)
        if (ch.unicode() != car)
            r += ch;
    return r;
}

QString dosDigitos(double x) {
    double r = std::round(x);
    if (r == 0 || !std::isfinite(r))
        r = 0; // no "-0"; the numbers read from frames are always finite
    QString digitos = QString::number(std::fabs(r), 'f', 0);
    if (digitos.size() < 2)
        digitos.prepend(u'0');
    return r < 0 ? u'-' + digitos : digitos;
}

QString formatoGeneral(double x) {
    if (!std::isfinite(x))
        throw FallaDecodificacion(QStringLiteral("número fuera de rango"));
    if (x == 0)
        return QStringLiteral("0");
    // Fifteen significant digits at most, as many as a double always holds: the noise of a
    // division (12.3 / 100 = 0.12300000000000001) is not written.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
    QString t = QString::fromLatin1(buf, r.ptr - buf);
    return t.replace(u'e', u'E');
}

int byteDe(QChar c) {
    const int b = c.unicode();
    if (b > 255)
        throw FallaDecodificacion(
            QStringLiteral("el carácter U+%1 no es un byte").arg(b, 4, 16, QChar(u'0')));
    return b;
}

std::uint32_t HexCuatro(const QString& trama, int k) {
    if (k < 1)
        noCabe(QStringLiteral("[%1,4]").arg(k));
    std::uint32_t n = 0;
    for (int i = k; i < k + 4; ++i)
        n = (n << 8) | static_cast<std::uint32_t>(i <= trama.size() ? byteDe(trama[i - 1]) : 0);
    return n;
}

float FlotanteHex(const QString& digitos) {
    if (digitos.size() != 8)
        throw FallaDecodificacion(
            QStringLiteral("\"%1\" no son ocho dígitos hexadecimales").arg(digitos));
    int b[4];
    for (int i = 0; i < 4; ++i) {
        const int alto = digitoHex(digitos[2 * i]), bajo = digitoHex(digitos[2 * i + 1]);
        if (alto < 0 || bajo < 0)
            throw FallaDecodificacion(
                QStringLiteral("\"%1\" no son ocho dígitos hexadecimales").arg(digitos));
        b[i] = alto * 16 + bajo;
    }
    const int e = (b[3] % 128) * 2 + b[2] / 128 - 127;
    const int m = (b[2] % 128) * 65536 + b[1] * 256 + b[0];
    double v = (m / 8388608.0 + 1) * std::ldexp(1.0, e);
    if (b[3] >= 128)
        v = -v;
    if (std::fabs(v) > std::numeric_limits<float>::max())
        throw FallaDecodificacion(
            QStringLiteral("\"%1\" no cabe en un número de precisión simple").arg(digitos));
    return static_cast<float>(v);
}

} // namespace ort
