// Arbitrary frames through every decoder, as a libFuzzer target (built with ORT_FUZZ).
#include "fuzz_decoders.h"

#include "decoding/registro.h"
#include "support/contextofalso.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ort::prueba {

namespace {

constexpr int kMaxTramas = 64;

bool digitos(const QString& t, int n) {
    return t.size() == n && std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); });
}

QString Revisa(const QString& codigo, const ContextoFalso& c) {
    // These copy the channel from the frame; every other decoder must give two digits.
    static const QStringList copian = {"TP844", "MUX10", "DP1HS", "DMX2B", "DMX2C",
                                       "MUX11", "MX8",   "MX8N",  "HX1",   "GPORT"};
    for (const auto& l : c.lecturas) {
        if (!copian.contains(codigo) && !digitos(l.lectura.left(2), 2))
            return QStringLiteral("reading \"%1\" has no channel digits").arg(l.lectura);
        if (!l.fechaInst.isEmpty() && !digitos(l.fechaInst, 8))
            return QStringLiteral("date \"%1\" is not yyyymmdd").arg(l.fechaInst);
        if (!l.horaInst.isEmpty() && !digitos(l.horaInst, 4))
            return QStringLiteral("time \"%1\" is not hhnn").arg(l.horaInst);
    }
    if (codigo != u"GSE01" && !c.escrituras.isEmpty())
        return QStringLiteral("wrote to the port");
    return c.cierres > (codigo == u"DL-10" ? 1 : 0) ? QStringLiteral("closed the port") : QString();
}

// Head bytes: port, start position, time of day; the rest split at CR into frames.
QString DecodificaAlAzar(const QString& conex, const std::uint8_t* datos, std::size_t n) {
    std::uint8_t cabeza[6] = {};
    const std::size_t nc = std::min<std::size_t>(n, 6);
    std::copy(datos, datos + nc, cabeza);
    quint32 ms = 0;
    for (int i = 2; i < 6; ++i)
        ms = ms << 8 | cabeza[i];
    const int puerto = 1 + cabeza[0] % 16;
    const int posInicio = cabeza[1] % 24 - 1; // 0 and -1 are start positions that do not fit

    const QStringList tramas =
        QString::fromLatin1(reinterpret_cast<const char*>(datos + nc), qsizetype(n - nc))
            .split(u'\r')
            .mid(0, kMaxTramas + 1);

    RelojFalso reloj(
        QDateTime(QDate(2026, 12, 4), QTime::fromMSecsSinceStartOfDay(int(ms % 86'400'000u))));
    ContextoFalso c(reloj, puerto, posInicio);
    EstadoDecodificadores e;
    c.pendientes = tramas.mid(1);
    // Each frame read once at most, plus one empty read per decoded frame.
    c.limiteLecturas = 2 * (kMaxTramas + 1);
    for (QString trama = tramas.first();; trama = c.pendientes.takeFirst()) {
        decodificaConRegistro(conex, trama, c, e);
        if (const QString problema = Revisa(conex.trimmed(), c); !problema.isEmpty())
            return problema;
        if (!c.puertoAbierto() || c.pendientes.isEmpty())
            return {};
    }
}

} // namespace
} // namespace ort::prueba

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n) {
    if (n == 0)
        return 0;
    static const QStringList codigos = ort::codigosConocidos() << QStringLiteral("ZZ9");
    const QString conex = codigos[datos[0] % codigos.size()].leftJustified(5, u' ');
    if (const QString problema = ort::prueba::DecodificaAlAzar(conex, datos + 1, n - 1);
        !problema.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(conex), qPrintable(problema));
        std::abort();
    }
    return 0;
}
