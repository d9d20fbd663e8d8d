// Instruments that send one value per frame, read on channel 01. Each cuts its value at a
// fixed place or after a marker, sometimes after a test that the frame is a measurement.
#include "decoding/cortes.h"
#include "decoding/decodificadores.h"
#include "startup/textfuncs.h"

namespace ort {

namespace {

// The value text of the Panasonic gauges: v must be a positive number and u a length unit.
void RegistraPana(ContextoDecodificacion& c, const QString& v, const QString& u) {
    if (NumeroDe(v) > 0 && (u == u"MM" || u == u"IN"))
        RegistraUno(c, v);
}

void RegistraPana(ContextoDecodificacion& c, int sv, int nv, int su, int nu) {
    RegistraPana(c, Recorta(Corta(c.trama, sv, nv)), Recorta(Corta(c.trama, su, nu)).toUpper());
}

} // namespace

void DecodificaTramaEntera(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraUno(c, c.trama);
}

// PSION terminals interleave DC1 (XON) characters with the data.
void DecodificaPsion(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraUno(c, QuitaCaracter(c.trama, 17));
}

// Blank frames are the balance's keep-alive.
void DecodificaOhau2(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString v = Recorta(c.trama);
    if (!v.isEmpty())
        RegistraUno(c, v);
}

// The sign sits in column 1 and the digits start in column 3.
void DecodificaSar81(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraUno(c, Corta(c.trama, 1, 1) + Corta(c.trama, 3, 8));
}

void DecodificaMetbd(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (NumeroDe(c.trama) > 0)
        RegistraUno(c, c.trama);
}

void DecodificaPharm(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (NumeroDe(Corta(c.trama, 1, 5)) > 0)
        RegistraUno(c, Corta(c.trama, 6, 8));
}

// Only frames that start with P, V or a blank carry a measurement.
void DecodificaAfiii(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString primero = Corta(c.trama, 1, 1);
    if (!primero.isEmpty() && QStringLiteral("PV ").contains(primero))
        RegistraUno(c, Corta(c.trama, 2, 6));
}

// "TT=" and "C39" frames are the reader's status and symbology lines.
void DecodificaBarc1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (!c.trama.contains(u"TT=") && !c.trama.contains(u"C39"))
        RegistraUno(c, c.trama);
}

void DecodificaQc300(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (c.trama.size() >= 13)
        RegistraUno(c, Corta(c.trama, 3, 10));
}

// Only gross ("G") weighings are recorded.
void DecodificaChyjl(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (Recorta(Corta(c.trama, 11, 2)).toUpper() == u"G")
        RegistraUno(c, Recorta(Corta(c.trama, 1, 10)));
}

void DecodificaSt7dr(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString eje = Corta(c.trama, 1, 1);
    if (eje == u"X" || eje == u"Y")
        RegistraUno(c, Corta(c.trama, 2, 11));
}

void DecodificaPana1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraPana(c, 11, 8, 22, 4);
}

void DecodificaPana2(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraPana(c, 14, 7, 22, 2);
}

void DecodificaPana3(ContextoDecodificacion& c, EstadoDecodificadores&) {
    RegistraPana(c, 25, 7, 38, 2);
}

void DecodificaMetpm(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = Busca(c.trama, QStringLiteral("S  "));
    if (k > 0)
        RegistraUno(c, Corta(c.trama, k + 3, 9));
}

void DecodificaMsics(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = Busca(c.trama, QStringLiteral("S S"));
    if (k > 0)
        RegistraUno(c, Corta(c.trama, k + 4, 10));
}

// The gauge writes a decimal comma; the value is recorded with a decimal point.
void DecodificaT8530(ContextoDecodificacion& c, EstadoDecodificadores&) {
    QString v = Corta(c.trama, 2, 8);
    const qsizetype coma = v.indexOf(u',');
    if (coma >= 0)
        v[coma] = u'.';
    if (NumeroDe(v) > 0)
        RegistraUno(c, v);
}

// Hundredths without a decimal point, three columns after the comma.
void DecodificaT9481(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = Busca(c.trama, QStringLiteral(","));
    if (k > 0)
        RegistraUno(c, FormatoGeneral(NumeroDe(Corta(c.trama, k + 3, 6)) / 100));
}

// A test reading from the clock: hundreds of seconds since midnight, on the channel of its
// last digit (channel 0, every tenth tick, is not recorded).
void DecodificaTimer(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString t = QString::number(c.segundosDesdeMedianoche() / 100, 'f', 2);
    c.registra(u'0' + t.right(1) + t);
}

void SinLectura(ContextoDecodificacion&, EstadoDecodificadores&) {}

} // namespace ort
