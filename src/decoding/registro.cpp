#include "decoding/registro.h"

#include "decoding/cortes.h"
#include "decoding/decodificadores.h"

namespace ort {

namespace {

struct FilaDecodificador {
    const char* codigo; // as written on the connection record, before its blank padding
    Decodificador decodificador;
};

// One row per instrument code.
// clang-format off
constexpr FilaDecodificador kDecodificadores[] = {
    // Single-value instruments, channel 01.
    {"EQ4HP", DecodificaTramaEntera},
    {"FOWLE", DecodificaTramaEntera},
    {"PRECI", DecodificaTramaEntera},
    {"PSION", DecodificaPsion},
    {"OHAUG", DecodificaOhaug},
    {"OHAU2", DecodificaOhau2},
    {"AB520", DecodificaAb520},
    {"SARE2", DecodificaSare2},
    {"ARITE", DecodificaArite},
    {"RTDIG", DecodificaRtdig},
    {"MARP1", DecodificaMarp1},
    {"SAR81", DecodificaSar81},
    {"SARMC", DecodificaSar81},
    {"METBD", DecodificaMetbd},
    {"PHARM", DecodificaPharm},
    {"AFIII", DecodificaAfiii},
    {"BARC1", DecodificaBarc1},
    {"QC300", DecodificaQc300},
    {"QCIII", DecodificaQc300},
    {"CHYJL", DecodificaChyjl},
    {"ST7DR", DecodificaSt7dr},
    {"PANA1", DecodificaPana1},
    {"PANA2", DecodificaPana2},
    {"PANA3", DecodificaPana3},
    {"METPM", DecodificaMetpm},
    {"MSICS", DecodificaMsics},
    {"T8530", DecodificaT8530},
    {"T9481", DecodificaT9481},
    {"TIMER", DecodificaTimer},
    {"METDP", SinLectura},
    {"MUXBT", SinLectura},
    {"D3000", SinLectura},
    {"DMYTE", SinLectura},
    // Multi-value instruments and multiplexers.
    {"XRITE", DecodificaXrite},
    {"KSCOU", DecodificaKscou},
    {"KSTEC", DecodificaKscou},
    {"TLOAD", DecodificaTload},
    {"FOCUS", DecodificaFocus},
    {"FOCUG", DecodificaFocug},
    {"MIRAN", DecodificaMiran},
    {"TP844", DecodificaTp844},
    {"MUX10", DecodificaMux10},
    {"DP1HS", DecodificaMux10},
    {"DMX2B", DecodificaMux10},
    {"DMX2C", DecodificaMux10},
    {"MUX11", DecodificaMux11},
    {"MX8N",  DecodificaMux11},
    {"MX8",   DecodificaMx8},
    {"HX1",   DecodificaHx1},
    {"GPORT", DecodificaGport},
    {"MIG-2", DecodificaMig2},
    {"MX110", DecodificaMig2},
    {"MX200", DecodificaMig2},
    {"MIG-1", DecodificaMig1},
    {"MUX40", DecodificaMux40},
    // Answered, batch, time-stamped and sampled instruments.
    {"GSE01", DecodificaGse01},
    {"AND",   DecodificaAnd},
    {"PEL10", DecodificaPel10},
    {"DL-10", DecodificaDl10},
    {"DP3DX", DecodificaDp3dx},
    {"DP7",   DecodificaDp3dx},
    {"QMATE", DecodificaQmate},
    {"TDLRF", DecodificaTdlrf},
    {"TODLR", DecodificaTodlr},
    {"DM510", DecodificaDm510},
    {"ISHID", DecodificaIshid},
};
// clang-format on

// Connection keys are five characters, blank-padded; a shorter key is taken in its padded form.
const FilaDecodificador* FilaDe(const QString& conex) {
    if (conex.size() > 5)
        return nullptr;
    const QString clave = conex.leftJustified(5, u' ');
    for (const auto& fila : kDecodificadores)
        if (clave == QString::fromLatin1(fila.codigo).leftJustified(5, u' '))
            return &fila;
    return nullptr;
}

} // namespace

Decodificador BuscaDecodificador(const QString& conex) {
    const auto* fila = FilaDe(conex);
    return fila ? fila->decodificador : DecodificadorPorDefecto;
}

bool TieneDecodificador(const QString& conex) {
    return FilaDe(conex) != nullptr;
}

QStringList CodigosConocidos() {
    QStringList codigos;
    for (const auto& fila : kDecodificadores)
        codigos << QString::fromLatin1(fila.codigo);
    return codigos;
}

void DecodificadorPorDefecto(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraUno(c, Desde(c.trama, c.posInicio()));
}

} // namespace ort
