// Instruments that are answered on their port, that deliver a reading over two frames or a batch
// of stored readings, that date their readings, or that are sampled on the clock.
#include "decoding/cortes.h"
#include "decoding/decodificadores.h"
#include "startup/textfuncs.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <optional>

namespace ort {

namespace {

// Decodes the frame in hand, then every frame already waiting, until the port has nothing
// waiting after a frame; what arrives later starts a new receive pass. Empty frames carry
// nothing and are passed over. `una` returns false when the port was closed.
template <typename F> void leeLote(ContextoDecodificacion& c, F una) {
    for (;;) {
        if (!c.trama.isEmpty() && !una())
            return;
        if (c.esperando() <= 0)
            return;
        c.leeTrama();
    }
}

bool soloDigitos(const QString& t) {
    for (QChar ch : t)
        if (ch.unicode() < u'0' || ch.unicode() > u'9')
            return false;
    return true;
}

// The instrument's date ("yyyymmdd") and time ("hhnn") of its readings, as cut from the frame;
// a reading is never recorded under a date that is not one.
void fijaFechaHora(ContextoDecodificacion& c, const QString& fecha, const QString& hora) {
    if (fecha.size() != 8 || !soloDigitos(fecha) ||
        !QDate::fromString(fecha, QStringLiteral("yyyyMMdd")).isValid())
        throw FallaDecodificacion(QStringLiteral("la fecha \"%1\" no es una fecha").arg(fecha));
    if (hora.size() != 4 || !soloDigitos(hora) ||
        !QTime::fromString(hora, QStringLiteral("HHmm")).isValid())
        throw FallaDecodificacion(QStringLiteral("la hora \"%1\" no es una hora").arg(hora));
    c.FechaInst = fecha;
    c.HoraInst = hora;
}

QString dosDigitosPuerto(const ContextoDecodificacion& c) {
    return dosDigitos(c.puerto());
}

// GSE01 "A": the indicator of unit n asks to be dialled and loaded with its channel's context.
void llamaIndicador(ContextoDecodificacion& c) {
    const QString n = corta(c.trama, 2, 1);
    c.escribe(QByteArrayLiteral("+++"));
    c.espera(1);
    c.escribe(QStringLiteral("ATDT 0%1, WR, CN\r").arg(n).toLatin1());
    const int canal = static_cast<int>(std::nearbyint(numeroDe(n) + 1));
    const QString comando = c.gseArmaComando(canal);
    if (!comando.isEmpty())
        c.escribe(comando.toLatin1());
}

// GSE01 "B": two values of unit n, between and after two commas, on channel n + 1.
void registraMedidaGse(ContextoDecodificacion& c) {
    const QString canal =
        (QStringLiteral("00") + formatoGeneral(numeroDe(corta(c.trama, 2, 1)) + 1)).right(2);
    const int k1 = busca(c.trama, QStringLiteral(","));
    const int k2 = k1 > 0 ? busca(c.trama, QStringLiteral(","), k1 + 1) : 0;
    if (k2 == 0) {
        c.ignora(QStringLiteral("mensaje GSE01 sin sus dos comas"));
        return;
    }
    registra(c, canal, corta(c.trama, k1 + 1, k2 - k1 - 1));
    registra(c, canal, desdeColumna(c.trama, k2 + 1));
}

bool registraDl10(ContextoDecodificacion& c) {
    const QString primero = corta(c.trama, 1, 1);
    // "8" and "9" end the logger's dump: the port is closed until it is opened again.
    if (primero == u"8" || primero == u"9") {
        c.cierraPuerto();
        return false;
    }
    registraUno(c, corta(c.trama, 1, 8));
    return true;
}

// "Y02" records carry their date as dd?mm?yy at 19 and the time as hh?nn at 28.
bool registraDp(ContextoDecodificacion& c) {
    if (corta(c.trama, 1, 3) != u"Y02")
        return true;
    const QString yy = corta(c.trama, 25, 2);
    const QString siglo = numeroDe(yy) >= 80 ? QStringLiteral("19") : QStringLiteral("20");
    fijaFechaHora(c, siglo + yy + corta(c.trama, 19, 2) + corta(c.trama, 22, 2),
                  corta(c.trama, 28, 2) + corta(c.trama, 31, 2));
    registraUno(c, corta(c.trama, 10, 9));
    return true;
}

// Data lines (blank in column 2) hold an 18-character head and values of 11 columns each.
bool registraQmate(ContextoDecodificacion& c) {
    if (corta(c.trama, 2, 1) != u" ")
        return true;
    const int n = static_cast<int>(std::nearbyint((c.trama.size() - 18) / 11.0));
    for (int k = 1; k <= n; ++k)
        registraUno(c, corta(c.trama, 11 * k + 9, 10));
    return true;
}

// DM510 dates are written day first (d/m/yyyy or d-m-yyyy) or ISO (yyyy-mm-dd).
QString fechaDm510(const QString& texto) {
    static const QRegularExpression diaPrimero(QRegularExpression::anchoredPattern(
        QStringLiteral("(\\d{1,2})([/-])(\\d{1,2})\\2(\\d{4})")));
    static const QRegularExpression iso(
        QRegularExpression::anchoredPattern(QStringLiteral("(\\d{4})-(\\d{1,2})-(\\d{1,2})")));
    const QString t = recorta(texto);
    QDate d;
    if (const auto m = diaPrimero.match(t); m.hasMatch())
        d = QDate(m.captured(4).toInt(), m.captured(3).toInt(), m.captured(1).toInt());
    else if (const auto m = iso.match(t); m.hasMatch())
        d = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid() || d.year() < 1)
        throw FallaDecodificacion(
            QStringLiteral("la fecha \"%1\" no se puede convertir").arg(texto));
    return d.toString(QStringLiteral("yyyyMMdd"));
}

// Times h:mm or h:mm:ss, 24-hour.
QString horaDm510(const QString& texto) {
    static const QRegularExpression hora(
        QRegularExpression::anchoredPattern(QStringLiteral("(\\d{1,2}):(\\d{2})(?::(\\d{2}))?")));
    const auto m = hora.match(recorta(texto));
    const QTime h = m.hasMatch() ? QTime(m.captured(1).toInt(), m.captured(2).toInt(),
                                         m.captured(3).isEmpty() ? 0 : m.captured(3).toInt())
                                 : QTime();
    if (!h.isValid())
        throw FallaDecodificacion(
            QStringLiteral("la hora \"%1\" no se puede convertir").arg(texto));
    return h.toString(QStringLiteral("HHmm"));
}

} // namespace

void decodificaGse01(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString mensaje = corta(c.trama, 1, 1);
    if (mensaje == u"A")
        llamaIndicador(c);
    else if (mensaje == u"B")
        registraMedidaGse(c);
}

// A status frame, then the value frame; "OL" (overload) makes the value meaningless.
void decodificaAnd(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const QString estado = c.trama;
    const QString valor = c.leeTrama();
    if (estado == u"OL")
        return;
    if (valor.isEmpty()) {
        c.anota(QStringLiteral(
            " No llegó la trama del valor tras la trama de estado; no se grabó nada."));
        return;
    }
    registraUno(c, valor);
}

// Frames with "00" in columns 2-3 are fillers before the value frame.
void decodificaPel10(ContextoDecodificacion& c, EstadoDecodificadores&) {
    bool leida = false;
    while (corta(c.trama, 2, 2) == u"00") {
        c.leeTrama();
        leida = true;
    }
    if (leida && c.trama.isEmpty()) {
        c.anota(QStringLiteral(" No llegó la trama del valor tras el relleno; no se grabó nada."));
        return;
    }
    registraUno(c, desdeColumna(c.trama, 2));
}

void decodificaDl10(ContextoDecodificacion& c, EstadoDecodificadores&) {
    leeLote(c, [&c] { return registraDl10(c); });
}

void decodificaDp3dx(ContextoDecodificacion& c, EstadoDecodificadores&) {
    leeLote(c, [&c] { return registraDp(c); });
}

void decodificaQmate(ContextoDecodificacion& c, EstadoDecodificadores&) {
    leeLote(c, [&c] { return registraQmate(c); });
}

// Value, then hh?nn at 7 and dd?mm?yyyy at 16; the port number is the channel.
void decodificaTdlrf(ContextoDecodificacion& c, EstadoDecodificadores&) {
    fijaFechaHora(c, corta(c.trama, 22, 4) + corta(c.trama, 19, 2) + corta(c.trama, 16, 2),
                  corta(c.trama, 7, 2) + corta(c.trama, 10, 2));
    registra(c, dosDigitosPuerto(c), corta(c.trama, 1, 5));
}

// The net weight follows "NET" in any letter case; the port number is the channel. The frame is
// upper-cased character by character, so that positions stay the frame's own (a whole-text
// upper-casing turns "ß" into "SS" and shifts the cut).
void decodificaTodlr(ContextoDecodificacion& c, EstadoDecodificadores&) {
    QString mayusculas = c.trama;
    for (QChar& ch : mayusculas)
        ch = ch.toUpper();
    const int k = busca(mayusculas, QStringLiteral("NET"));
    if (k > 0)
        registra(c, dosDigitosPuerto(c), corta(c.trama, k + 3, 7));
}

// Comma-separated lines: date, time, three more fields, then the value. A line with an empty
// date or time takes those of the line before it in the same receive pass; the header line
// ("Date,…") and the lines that follow it with an empty date record nothing.
void decodificaDm510(ContextoDecodificacion& c, EstadoDecodificadores&) {
    int comas[5] = {};
    int n = 0;
    for (int k = busca(c.trama, QStringLiteral(",")); k > 0 && n < 5;
         k = busca(c.trama, QStringLiteral(","), k + 1))
        comas[n++] = k;
    if (n == 0) {
        c.ignora(QStringLiteral("línea DM510 sin comas"));
        return;
    }
    const QString f1 = corta(c.trama, 1, comas[0] - 1);
    const QString fecha = f1.isEmpty() ? c.pasoFecha : f1;
    if (fecha == u"Date") {
        c.pasoFecha = fecha;
        return;
    }
    if (n < 5) {
        c.ignora(QStringLiteral("línea DM510 con menos de cinco comas"));
        return;
    }
    const QString f2 = corta(c.trama, comas[0] + 1, comas[1] - comas[0] - 1);
    const QString hora = f2.isEmpty() ? c.pasoHora : f2;
    // Both convert before anything is kept, so that a bad line leaves the pass as it was.
    const QString fechaInst = fecha.isEmpty() ? c.FechaInst : fechaDm510(fecha);
    const QString horaInst = hora.isEmpty() ? c.HoraInst : horaDm510(hora);
    c.pasoFecha = fecha;
    c.pasoHora = hora;
    c.FechaInst = fechaInst;
    c.HoraInst = horaInst;
    registraUno(c, desdeColumna(c.trama, comas[4] + 1));
}

// The instrument sends all the time; only the first four seconds of every ten minutes count.
void decodificaIshid(ContextoDecodificacion& c, EstadoDecodificadores&) {
    const auto segundos = static_cast<long long>(std::nearbyint(c.segundosDesdeMedianoche()));
    if (segundos % 600 > 3 || corta(c.trama, 1, 2) != u"E2")
        return;
    registraUno(c, formatoGeneral(numeroDe(corta(c.trama, 3, 5)) / 10));
}

} // namespace ort
