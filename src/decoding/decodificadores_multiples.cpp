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
std::optional<QString> CanalDe(ContextoDecodificacion& c, double numero) {
    const QString canal = DosDigitos(numero);
    if (canal.size() == 2 && canal[0].isDigit())
        return canal;
    c.ignora(QStringLiteral("canal %1 fuera de rango").arg(canal));
    return std::nullopt;
}

// The four selector characters of a multiplexer input, in four groups.
int GrupoSelector(const QString& selector) {
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
std::optional<int> IndiceCaja(const QString& caja, char16_t primera, char16_t ultima) {
    if (caja.size() != 1 || caja[0].unicode() < primera || caja[0].unicode() > ultima)
        return std::nullopt;
    return caja[0].unicode() - primera;
}

// MUX40 in mode "0": two inputs per box; boxes A, B, C start at channels 19, 21, 23.
int CanalModoCero(const QString& caja, int entrada) {
    if (const auto i = IndiceCaja(caja, u'1', u'9'))
        return *i * 2 + entrada + 1;
    if (const auto l = IndiceCaja(caja, u'A', u'C'))
        return 19 + *l * 2 + entrada;
    return 0;
}

// MUX40 in the other modes: eight channels per box, four per input, one per selector group;
// boxes A, B, C start after channels 72, 80, 88.
int CanalPorGrupos(const QString& caja, int entrada, int g) {
    if (g == 0)
        return 0;
    if (const auto i = IndiceCaja(caja, u'1', u'9'))
        return *i * 8 + 4 * entrada + g;
    if (const auto l = IndiceCaja(caja, u'A', u'C'))
        return 72 + *l * 8 + 4 * entrada + g;
    return 0;
}

// Readings of FOCUG and MIRAN belong to the channel announced earlier; before any
// announcement there is no channel to give them.
bool HayCanalAnunciado(ContextoDecodificacion& c, const QString& canal) {
    if (!canal.isEmpty())
        return true;
    c.ignora(QStringLiteral("lectura antes de que se anuncie un canal"));
    return false;
}

// A frame holding the marker announces the channel written `tras` columns after it; the
// announcement holds for the frames that follow, on any port.
void AnotaCanalAnunciado(ContextoDecodificacion& c, const QString& marca, int tras,
                         QString& anunciado) {
    const int k = Busca(c.trama, marca);
    if (k > 0)
        if (const auto canal = CanalDe(c, NumeroDe(Corta(c.trama, k + tras, 2))))
            anunciado = *canal;
}

void IgnoraSelector(ContextoDecodificacion& c) {
    c.ignora(QStringLiteral("el selector no corresponde a ningún canal"));
}

} // namespace

void DecodificaXrite(ContextoDecodificacion& c, EstadoDecodificadores&) {
    Registra(c, QStringLiteral("01"), Corta(c.trama, 4, 7));
    Registra(c, QStringLiteral("02"), Corta(c.trama, 14, 7));
    Registra(c, QStringLiteral("03"), Corta(c.trama, 24, 7));
}

// Coordinates X, Y, Z on channels 1, 2, 3; an axis the frame leaves out gives no reading.
void DecodificaKscou(ContextoDecodificacion& c, EstadoDecodificadores&) {
    static const char16_t ejes[] = {u'X', u'Y', u'Z'};
    for (int i = 0; i < 3; ++i) {
        const int k = Busca(c.trama, QString(QChar(ejes[i])));
        if (k > 0)
            Registra(c, DosDigitos(i + 1), Corta(c.trama, k + 2, 9));
    }
}

// Three signed 32-bit binary numbers: load in hundred-thousandths, then two in hundredths.
void DecodificaTload(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const auto n1 = static_cast<std::int32_t>(HexCuatro(c.trama, 1));
    const auto n2 = static_cast<std::int32_t>(HexCuatro(c.trama, 5));
    const auto n3 = static_cast<std::int32_t>(HexCuatro(c.trama, 9));
    Registra(c, QStringLiteral("01"), FormatoGeneral(n1 / 100000.0));
    Registra(c, QStringLiteral("02"), FormatoGeneral(n2 / 100.0));
    Registra(c, QStringLiteral("03"), FormatoGeneral(n3 / 100.0));
}

// The torque before "Nm" and a second value, both on the channel written 18 columns on.
void DecodificaFocus(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = Busca(c.trama, QStringLiteral("Nm"));
    if (k == 0)
        return;
    const QString antes = Corta(c.trama, k - 5, 5);
    const auto canal = CanalDe(c, NumeroDe(Corta(c.trama, k + 18, 2)));
    if (!canal)
        return;
    Registra(c, *canal, antes);
    Registra(c, *canal, Corta(c.trama, k + 32, 8));
}

// A "Canal" frame announces the channel of the "Nm" frames that follow, on any port.
void DecodificaFocug(ContextoDecodificacion& c, EstadoDecodificadores& e) {
    AnotaCanalAnunciado(c, QStringLiteral("Canal"), 9, e.CanalFocug);
    const int k = Busca(c.trama, QStringLiteral("Nm"));
    if (k == 0)
        return;
    const QString antes = Corta(c.trama, k - 5, 5), despues = Corta(c.trama, k + 24, 8);
    if (!HayCanalAnunciado(c, e.CanalFocug))
        return;
    Registra(c, e.CanalFocug, antes);
    Registra(c, e.CanalFocug, despues);
}

// "*STRT" announces the channel of the "*CONC" results that follow, on any port.
void DecodificaMiran(ContextoDecodificacion& c, EstadoDecodificadores& e) {
    AnotaCanalAnunciado(c, QStringLiteral("*STRT"), 6, e.CanalMiran);
    const int k = Busca(c.trama, QStringLiteral("*CONC"));
    if (k == 0)
        return;
    const QString valor = Corta(c.trama, k + 11, 8);
    if (HayCanalAnunciado(c, e.CanalMiran))
        Registra(c, e.CanalMiran, valor);
}

// The frame is the reading: two channel digits, then the value.
void DecodificaTp844(ContextoDecodificacion& c, EstadoDecodificadores&) {
    c.registra(c.trama);
}

// Channel in columns 1-2, sign in column 4: a "+" is dropped, any other sign kept.
void DecodificaMux10(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const bool mas = Corta(c.trama, 4, 1) == u"+";
    Registra(c, Corta(c.trama, 1, 2), Desde(c.trama, mas ? 5 : 4));
}

void DecodificaMux11(ContextoDecodificacion& c, EstadoDecodificadores&) {
    Registra(c, Corta(c.trama, 1, 2), FormatoGeneral(NumeroDe(Desde(c.trama, 4))));
}

void DecodificaMx8(ContextoDecodificacion& c, EstadoDecodificadores&) {
    Registra(c, Corta(c.trama, 1, 2), Desde(c.trama, 4));
}

// A single-precision number in eight hexadecimal digits, written with sign and four decimals.
void DecodificaHx1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const float v = FlotanteHex(Corta(c.trama, 4, 8));
    const QString cifras = QString::asprintf("%09.4f", std::fabs(static_cast<double>(v)));
    Registra(c, Corta(c.trama, 1, 2), (v >= 0 ? u'+' : u'-') + cifras);
}

// "value,channel"; a frame without a comma is a reading of channel 1.
void DecodificaGport(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = Busca(c.trama, QStringLiteral(","));
    if (k == 0) {
        RegistraUno(c, c.trama);
        return;
    }
    const QString canal = Corta(c.trama, k + 1, 2);
    if (canal.size() != 2) {
        c.ignora(QStringLiteral("faltan los dos caracteres del canal tras la coma"));
        return;
    }
    Registra(c, canal, Corta(c.trama, 1, k - 1));
}

void DecodificaMig2(ContextoDecodificacion& c, EstadoDecodificadores&) {
    Registra(c, DosDigitos(NumeroDe(Corta(c.trama, 1, 1))), Corta(c.trama, 3, 8));
}

// Bank "0" holds channels 1-4 and bank "1" channels 5-8, picked by the selector's group.
void DecodificaMig1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString banco = Corta(c.trama, 3, 1);
    const int g = GrupoSelector(Corta(c.trama, 7, 1));
    if (g == 0 || (banco != u"0" && banco != u"1")) {
        IgnoraSelector(c);
        return;
    }
    Registra(c, DosDigitos(banco == u"0" ? g : g + 4), Corta(c.trama, 10, 8));
}

void DecodificaMux40(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString caja = Corta(c.trama, 2, 1);
    const int entrada = static_cast<int>(NumeroDe(Corta(c.trama, 3, 1)));
    const int canal = Corta(c.trama, 4, 1) == u"0"
                          ? CanalModoCero(caja, entrada)
                          : CanalPorGrupos(caja, entrada, GrupoSelector(Corta(c.trama, 7, 1)));
    if (canal == 0) {
        IgnoraSelector(c);
        return;
    }
    if (canal > 99) {
        c.ignora(QStringLiteral("el canal %1 no cabe en dos dígitos").arg(canal));
        return;
    }
    Registra(c, DosDigitos(canal), Corta(c.trama, 10, 8));
}

} // namespace ort
