#include "decoding/fuzz_decoders.h"
#include "decoding/registro.h"

#include <QMap>
#include <QTest>

#include <exception>
#include <random>
#include <vector>

using namespace ort;
using namespace ort::prueba;

namespace {

constexpr int kTramasPorCodigo = 20000;

// Pieces the instruments' frames are made of, so that random frames reach past the first test
// of each decoder; random bytes of any value go between them.
const char* const kPiezas[] = {
    "0",     "1",   "2",     "3",     "5",     "7",        "8",         "9",    "12.5",  "-",
    "+",     ".",   ",",     " ",     "   ",   "E2",       "Y02",       "Nm",   "Canal", "*STRT",
    "*CONC", "NET", "net",   "Date",  "A",     "B",        "OL",        "00",   "S  ",   "S S",
    "TT=",   "C39", "X",     "Y",     "Z",     "MM",       "in",        "P",    "V",     "G",
    ";",     "<",   "=",     "?",     "C",     "0000803F", "4/12/2026", "/",    ":",     "10:30",
    "2026",  "13",  "99:99", "1E300", "-1E-9", "e",        "00012.3",   ",,,,,"};

// Well-formed frames of the instruments whose frames place their fields in fixed columns; random
// frames start from them, changed in a few places.
const QMap<QString, QList<QByteArray>> kEjemplos = {
    {"PANA1", {"0123456789    12.345   mm  "}},
    {"PANA2", {"0123456789012 12.345 MM"}},
    {"PANA3", {"012345678901234567890123  7.125      MM"}},
    {"CHYJL", {"   125.50  G"}},
    {"DP3DX", {"Y02      +0012.500 04/12/95 10:30"}},
    {"DP7", {"Y02      +0012.500 04/12/05 10:30"}},
    {"TDLRF", {"12.34 10:30    04/12/2026"}},
    {"GSE01", {"A3", "B2,10.5,11.0"}},
    {"FOCUS", {"12.50Nm                07              0045.200"}},
    {"FOCUG", {"Canal    05", "12.50Nm                        0045.200"}},
    {"MIRAN", {"*STRT 12", "*CONC      0003.456"}},
    {"MIG-1", {"G 1   ;  0012.500"}},
    {"MUX40", {"MC11  ?  0012.500", "M210     0012.500"}},
    {"HX1", {"01 0000803F"}},
    {"DM510", {"Date,Time,A,B,C,V", "4/12/2026,10:30,a,b,c,12.5", ",,a,b,c,1"}},
    {"QMATE", {"Q LOTE 7           000001.250 000002.500"}},
    {"ISHID", {"E2 1234"}},
};

QByteArray Cambia(QByteArray t, std::mt19937& azar) {
    for (unsigned n = azar() % 4; n > 0 && !t.isEmpty(); --n) {
        const auto i = qsizetype(azar() % t.size());
        switch (azar() % 4) {
        case 0:
            t[i] = char(azar());
            break;
        case 1:
            t.insert(i, char(azar()));
            break;
        case 2:
            t.remove(i, 1);
            break;
        default:
            t.truncate(i);
            break;
        }
    }
    return t;
}

std::vector<std::uint8_t> Entrada(std::mt19937& azar, const QString& codigo) {
    std::vector<std::uint8_t> d;
    // Port, start position, then a time of day: often within the first seconds of a
    // ten-minute slot, where the sampled instrument reads.
    d.push_back(std::uint8_t(azar()));
    d.push_back(std::uint8_t(azar()));
    quint32 ms = azar() % 86'400'000u;
    if (azar() % 3 == 0)
        ms = (ms / 600'000u) * 600'000u + azar() % 4'000u;
    for (int s = 24; s >= 0; s -= 8)
        d.push_back(std::uint8_t(ms >> s));
    const auto ejemplos = kEjemplos.value(codigo);
    for (unsigned n = ejemplos.isEmpty() ? 0 : azar() % 4; n > 0; --n) {
        const QByteArray t = Cambia(ejemplos[qsizetype(azar() % ejemplos.size())], azar);
        d.insert(d.end(), t.begin(), t.end());
        d.push_back('\r');
    }
    const int piezas = int(azar() % 14);
    for (int i = 0; i < piezas; ++i) {
        const unsigned tirada = azar() % 10;
        if (tirada < 6) {
            for (const char* p = kPiezas[azar() % std::size(kPiezas)]; *p; ++p)
                d.push_back(std::uint8_t(*p));
        } else if (tirada < 9) {
            for (unsigned n = 1 + azar() % 4; n > 0; --n)
                d.push_back(std::uint8_t(azar()));
        } else {
            d.push_back('\r');
        }
    }
    return d;
}

} // namespace

class TstFuzzDecoders : public QObject {
    Q_OBJECT
private slots:
    // Random frames never crash or hang a decoder, and never make one break its rules; the
    // frames are varied enough to give readings wherever an instrument has any.
    void tramasAlAzar_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<int>("semilla");
        const QStringList codigos = CodigosConocidos() << QStringLiteral("ZZ9");
        for (int i = 0; i < codigos.size(); ++i)
            QTest::newRow(qPrintable(codigos[i])) << codigos[i] << 20261204 + i;
    }
    void tramasAlAzar() {
        QFETCH(QString, codigo);
        QFETCH(int, semilla);
        std::mt19937 azar(static_cast<std::mt19937::result_type>(semilla));
        const QString conex = codigo.leftJustified(5, u' ');
        int lecturas = 0, fallas = 0;
        for (int i = 0; i < kTramasPorCodigo; ++i) {
            const auto d = Entrada(azar, codigo);
            try {
                const auto r = DecodificaAlAzar(conex, d.data(), d.size());
                QVERIFY2(r.problema.isEmpty(),
                         qPrintable(QStringLiteral("input %1: %2").arg(i).arg(r.problema)));
                lecturas += r.lecturas;
                fallas += r.fallas;
            } catch (const std::exception& x) {
                QFAIL(qPrintable(QStringLiteral("input %1: %2").arg(i).arg(x.what())));
            }
        }
        static const QStringList sinLecturas = {"METDP", "MUXBT", "D3000", "DMYTE"};
        if (sinLecturas.contains(codigo))
            QCOMPARE(lecturas, 0);
        else
            QVERIFY2(lecturas > 0, "no random frame reached a reading");
        qDebug("%s: %d readings, %d frames refused", qPrintable(codigo), lecturas, fallas);
    }

    // The libFuzzer entry takes any input, the empty one included.
    void entradaDeLibFuzzer() {
        const std::uint8_t vacia[1] = {0};
        QCOMPARE(LLVMFuzzerTestOneInput(vacia, 0), 0);
        const std::uint8_t gse[] = {0,   1,    1,   0,   0,   0,   0,   'A',
                                    '3', '\r', 'B', '2', ',', '1', ',', '2'};
        QCOMPARE(LLVMFuzzerTestOneInput(gse, sizeof gse), 0);
    }
};

QTEST_GUILESS_MAIN(TstFuzzDecoders)
#include "tst_fuzz_decoders.moc"
