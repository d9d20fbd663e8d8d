// Instruments that send several values per frame, and multiplexers whose frames name the
// channel: in its first two columns, after a comma, in an announcement frame, or coded in
// selector characters.
#include "decoding/cortes.h"
#include "decoding/decodificadores.h"
#include "startup/textfuncs.h"

#include <cmath>
#include <cstdint>
#include <optional>

namespace ort {

namespace {

// A channel number read from a frame, as its two channel characters; nothing when it does not
// fit them (the reading is then dropped: its value would be shifted into the channel).
std::optional<QString> canalDe(ContextoDecodificacion& c, double numero) {
    const QString canal = dosDigitos(numero);
    if (canal.size() == 2 && canal[0].isDigit())
        return canal;
    c.ignora(QStringLiteral("canal %1 fuera de rango").arg(canal));
    return std::nullopt;
}

// The four selector characters of a multiplexer input, in four groups.
int grupoSelector(const QString& selector) {
    static const QString grupos[] = {QStringLiteral("013"), QStringLiteral("457"),
                                     QStringLiteral("89;"), QStringLiteral("<=?")};
    if (selector.size() != 1)
        return 0;
    for (int g = 0; g < 4; ++g)
        if (grupos[g].contains(selector))
            return g + 1;
    return 0;
}

// Boxes "1".."9" are 0..8, boxes "A", "B", "C" are 0..2 of their own row.
std::optional<int> indiceCaja(const QString& caja, char16_t primera, char16_t ultima) {
    if (caja.size() != 1 || caja[0].unicode() < primera || caja[0].unicode() > ultima)
        return std::nullopt;
    return caja[0].unicode() - primera;
}

// MUX40 in mode "0": two inputs per box; boxes A, B, C start at channels 19, 21, 23.
int canalModoCero(const QString& caja, int entrada) {
    if (const auto i = indiceCaja(caja, u'1', u'9'))
        return *i * 2 + entrada + 1;
    if (const auto l = indiceCaja(caja, u'A', u'C'))
        return 19 + *l * 2 + entrada;
    return 0;
}

// MUX40 in the other modes: eight channels per box, four per input, one per selector group;
// boxes A, B, C start after channels 72, 80, 88.
int canalPorGrupos(const QString& caja, int entrada, int g) {
    if (g == 0)
        return 0;
    if (const auto i = indiceCaja(caja, u'1', u'9'))
        return *i * 8 + 4 * entrada + g;
    if (const auto l = indiceCaja(caja, u'A', u'C'))
        return 72 + *l * 8 + 4 * entrada + g;
    return 0;
}

// Readings of FOCUG and MIRAN belong to the channel announced earlier; before any
// announcement there is no channel to give them.
bool hayCanalAnunciado(ContextoDecodificacion& c, const QString& canal) {
    if (!canal.isEmpty())
        return true;
    c.ignora(QStringLiteral("lectura antes de que se anuncie un canal"));
    return false;
}

// A frame holding the marker announces the channel written `tras` columns after it; the
// announcement holds for the frames that follow, on any port.
void anotaCanalAnunciado(ContextoDecodificacion& c, const QString& marca, int tras,
                         QString& anunciado) {
    const int k = busca(c.trama, marca);
    if (k > 0)
        if (const auto canal = canalDe(c, numeroDe(corta(c.trama, k + tras, 2))))
            anunciado = *canal;
}

void ignoraSelector(ContextoDecodificacion& c) {
    c.ignora(QStringLiteral("el selector no corresponde a ningún canal"));
}

} // namespace

void decodificaXrite(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registra(c, QStringLiteral("01"), corta(c.trama, 4, 7));
    registra(c, QStringLiteral("02"), corta(c.trama, 14, 7));
    registra(c, QStringLiteral("03"), corta(c.trama, 24, 7));
}

// Coordinates X, Y, Z on channels 1, 2, 3; an axis the frame leaves out gives no reading.
void decodificaKscou(ContextoDecodificacion& c, EstadoDecodificadores&) {
    static const char16_t ejes[] = {u'X', u'Y', u'Z'};
    for (int i = 0; i < 3; ++i) {
        const int k = busca(c.trama, QString(QChar(ejes[i])));
        if (k > 0)
            registra(c, dosDigitos(i + 1), corta(c.trama, k + 2, 9));
    }
}

// Three signed 32-bit binary numbers: load in hundred-thousandths, then two in hundredths.
void decodificaTload(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const auto n1 = static_cast<std::int32_t>(HexCuatro(c.trama, 1));
    const auto n2 = static_cast<std::int32_t>(HexCuatro(c.trama, 5));
    const auto n3 = static_cast<std::int32_t>(HexCuatro(c.trama, 9));
    registra(c, QStringLiteral("01"), formatoGeneral(n1 / 100000.0));
    registra(c, QStringLiteral("02"), formatoGeneral(n2 / 100.0));
    registra(c, QStringLiteral("03"), formatoGeneral(n3 / 100.0));
}

// The torque before "Nm" and a second value, both on the channel written 18 columns on.
void decodificaFocus(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = busca(c.trama, QStringLiteral("Nm"));
    if (k == 0)
        return;
    const QString antes = corta(c.trama, k - 5, 5);
    const auto canal = canalDe(c, numeroDe(corta(c.trama, k + 18, 2)));
    if (!canal)
        return;
    registra(c, *canal, antes);
    registra(c, *canal, corta(c.trama, k + 32, 8));
}

// A "Canal" frame announces the channel of the "Nm" frames that follow, on any port.
void decodificaFocug(ContextoDecodificacion& c, EstadoDecodificadores& e) {
    anotaCanalAnunciado(c, QStringLiteral("Canal"), 9, e.CanalFocug);
    const int k = busca(c.trama, QStringLiteral("Nm"));
    if (k == 0)
        return;
    const QString antes = corta(c.trama, k - 5, 5), despues = corta(c.trama, k + 24, 8);
    if (!hayCanalAnunciado(c, e.CanalFocug))
        return;
    registra(c, e.CanalFocug, antes);
    registra(c, e.CanalFocug, despues);
}

// "*STRT" announces the channel of the "*CONC" results that follow, on any port.
void decodificaMiran(ContextoDecodificacion& c, EstadoDecodificadores& e) {
    anotaCanalAnunciado(c, QStringLiteral("*STRT"), 6, e.CanalMiran);
    const int k = busca(c.trama, QStringLiteral("*CONC"));
    if (k == 0)
        return;
    const QString valor = corta(c.trama, k + 11, 8);
    if (hayCanalAnunciado(c, e.CanalMiran))
        registra(c, e.CanalMiran, valor);
}

// The frame is the reading: two channel digits, then the value.
void decodificaTp844(ContextoDecodificacion& c, EstadoDecodificadores&) {
    c.registra(c.trama);
}

// Channel in columns 1-2, sign in column 4: a "+" is dropped, any other sign kept.
void decodificaMux10(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const bool mas = corta(c.trama, 4, 1) == u"+";
    registra(c, corta(c.trama, 1, 2), desdeColumna(c.trama, mas ? 5 : 4));
}

void decodificaMux11(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registra(c, corta(c.trama, 1, 2), formatoGeneral(numeroDe(desdeColumna(c.trama, 4))));
}

void decodificaMx8(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registra(c, corta(c.trama, 1, 2), desdeColumna(c.trama, 4));
}

// A single-precision number in eight hexadecimal digits, written with sign and four decimals.
void decodificaHx1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const float v = FlotanteHex(corta(c.trama, 4, 8));
    const QString cifras = QString::asprintf("%09.4f", std::fabs(static_cast<double>(v)));
    registra(c, corta(c.trama, 1, 2), (v >= 0 ? u'+' : u'-') + cifras);
}

// "value,channel"; a frame without a comma is a reading of channel 1.
void decodificaGport(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = busca(c.trama, QStringLiteral(","));
    if (k == 0) {
        registraUno(c, c.trama);
        return;
    }
    const QString canal = corta(c.trama, k + 1, 2);
    if (canal.size() != 2) {
        c.ignora(QStringLiteral("faltan los dos caracteres del canal tras la coma"));
        return;
    }
    registra(c, canal, corta(c.trama, 1, k - 1));
}

void decodificaMig2(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registra(c, dosDigitos(numeroDe(corta(c.trama, 1, 1))), corta(c.trama, 3, 8));
}

// Bank "0" holds channels 1-4 and bank "1" channels 5-8, picked by the selector's group.
void decodificaMig1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString banco = corta(c.trama, 3, 1);
    const int g = grupoSelector(corta(c.trama, 7, 1));
    if (g == 0 || (banco != u"0" && banco != u"1")) {
        ignoraSelector(c);
        return;
    }
    registra(c, dosDigitos(banco == u"0" ? g : g + 4), corta(c.trama, 10, 8));
}

void decodificaMux40(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString caja = corta(c.trama, 2, 1);
    const int entrada = static_cast<int>(numeroDe(corta(c.trama, 3, 1)));
    const int canal = corta(c.trama, 4, 1) == u"0"
                          ? canalModoCero(caja, entrada)
                          : canalPorGrupos(caja, entrada, grupoSelector(corta(c.trama, 7, 1)));
    if (canal == 0) {
        ignoraSelector(c);
        return;
    }
    if (canal > 99) {
        c.ignora(QStringLiteral("el canal %1 no cabe en dos dígitos").arg(canal));
        return;
    }
    registra(c, dosDigitos(canal), corta(c.trama, 10, 8));
}

} // namespace ort
