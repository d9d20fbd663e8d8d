// Instruments that send one value per frame, read on channel 01. Each cuts its value at a
// fixed place or after a marker, sometimes after a test that the frame is a measurement.
#include "decoding/cortes.h"
#include "decoding/decodificadores.h"
#include "startup/textfuncs.h"

namespace ort {

namespace {

// The value text of the Panasonic gauges: v must be a positive number and u a length unit.
void registraPana(ContextoDecodificacion& c, const QString& v, const QString& u) {
    if (numeroDe(v) > 0 && (u == u"MM" || u == u"IN"))
        registraUno(c, v);
}

void registraPana(ContextoDecodificacion& c, int sv, int nv, int su, int nu) {
    registraPana(c, recorta(corta(c.trama, sv, nv)), recorta(corta(c.trama, su, nu)).toUpper());
}

} // namespace

void decodificaTramaEntera(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraUno(c, c.trama);
}

// PSION terminals interleave DC1 (XON) characters with the data.
void decodificaPsion(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraUno(c, QuitaCaracter(c.trama, 17));
}

// Blank frames are the balance's keep-alive.
void decodificaOhau2(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString v = recorta(c.trama);
    if (!v.isEmpty())
        registraUno(c, v);
}

// The sign sits in column 1 and the digits start in column 3.
void decodificaSar81(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraUno(c, corta(c.trama, 1, 1) + corta(c.trama, 3, 8));
}

void decodificaMetbd(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (numeroDe(c.trama) > 0)
        registraUno(c, c.trama);
}

void decodificaPharm(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (numeroDe(corta(c.trama, 1, 5)) > 0)
        registraUno(c, corta(c.trama, 6, 8));
}

// Only frames that start with P, V or a blank carry a measurement.
void decodificaAfiii(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString primero = corta(c.trama, 1, 1);
    if (!primero.isEmpty() && QStringLiteral("PV ").contains(primero))
        registraUno(c, corta(c.trama, 2, 6));
}

// "TT=" and "C39" frames are the reader's status and symbology lines.
void decodificaBarc1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (!c.trama.contains(u"TT=") && !c.trama.contains(u"C39"))
        registraUno(c, c.trama);
}

void decodificaQc300(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (c.trama.size() >= 13)
        registraUno(c, corta(c.trama, 3, 10));
}

// Only gross ("G") weighings are recorded.
void decodificaChyjl(ContextoDecodificacion& c, EstadoDecodificadores&) {
    if (recorta(corta(c.trama, 11, 2)).toUpper() == u"G")
        registraUno(c, recorta(corta(c.trama, 1, 10)));
}

void decodificaSt7dr(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString eje = corta(c.trama, 1, 1);
    if (eje == u"X" || eje == u"Y")
        registraUno(c, corta(c.trama, 2, 11));
}

void decodificaPana1(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraPana(c, 11, 8, 22, 4);
}

void decodificaPana2(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraPana(c, 14, 7, 22, 2);
}

void decodificaPana3(ContextoDecodificacion& c, EstadoDecodificadores&) {
    registraPana(c, 25, 7, 38, 2);
}

void decodificaMetpm(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = busca(c.trama, QStringLiteral("S  "));
    if (k > 0)
        registraUno(c, corta(c.trama, k + 3, 9));
}

void decodificaMsics(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = busca(c.trama, QStringLiteral("S S"));
    if (k > 0)
        registraUno(c, corta(c.trama, k + 4, 10));
}

// The gauge writes a decimal comma; the value is recorded with a decimal point.
void decodificaT8530(ContextoDecodificacion& c, EstadoDecodificadores&) {
    QString v = corta(c.trama, 2, 8);
    const qsizetype coma = v.indexOf(u',');
    if (coma >= 0)
        v[coma] = u'.';
    if (numeroDe(v) > 0)
        registraUno(c, v);
}

// Hundredths without a decimal point, three columns after the comma.
void decodificaT9481(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const int k = busca(c.trama, QStringLiteral(","));
    if (k > 0)
        registraUno(c, formatoGeneral(numeroDe(corta(c.trama, k + 3, 6)) / 100));
}

// A test reading from the clock: hundreds of seconds since midnight, on the channel of its
// last digit (channel 0, every tenth tick, is not recorded).
void decodificaTimer(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString t = QString::number(c.segundosDesdeMedianoche() / 100, 'f', 2);
    c.registra(u'0' + t.right(1) + t);
}

void sinLectura(ContextoDecodificacion&, EstadoDecodificadores&) {}

} // namespace ort
