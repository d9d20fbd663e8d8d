#include "support/contextofalso.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

const QString kNm = QStringLiteral("Nm");

// A FOCUS frame: torque before "Nm" at k, the channel 18 columns on, a second value 32 on.
QString Focus(int k, const QString& par, const QString& canal, const QString& segundo) {
    return TramaCon({{k - 5, par}, {k, kNm}, {k + 18, canal}, {k + 32, segundo}});
}

// A FOCUG frame: as FOCUS, but the second value 24 columns on and no channel.
QString Focug(int k, const QString& par, const QString& segundo) {
    return TramaCon({{k - 5, par}, {k, kNm}, {k + 24, segundo}});
}

// MIG-1 and MUX40 frames: box (or bank) and selectors, the value at column 10.
QString Mux40(const QString& caja, const QString& entrada, const QString& modo,
              const QString& selector) {
    return TramaCon(
        {{1, "M"}, {2, caja}, {3, entrada}, {4, modo}, {7, selector}, {10, "0012.500"}});
}
QString Mig1(const QString& banco, const QString& selector) {
    return TramaCon({{1, "G"}, {3, banco}, {7, selector}, {10, "0012.500"}});
}

} // namespace

class TstDecodificadoresMultiples : public QObject {
    Q_OBJECT
private slots:
    // Frames decoded in turn with one state; readings as "channel:value", the number of frames
    // that failed and of the log lines written for ignored frames.
    void lecturas_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QStringList>("tramas");
        QTest::addColumn<QStringList>("esperado");
        QTest::addColumn<int>("fallas");
        QTest::addColumn<int>("notas");
        const QStringList nada;

        const QString xrite =
            TramaCon({{1, "L= "}, {4, "012.345"}, {14, "001.234"}, {24, "-02.500"}});
        QTest::newRow("XRITE three values")
            << "XRITE" << QStringList{xrite}
            << QStringList{"01:012.345", "02:001.234", "03:-02.500"} << 0 << 0;
        QTest::newRow("XRITE short frame still three")
            << "XRITE" << QStringList{"L= 01"} << QStringList{"01:01", "02:", "03:"} << 0 << 0;

        QTest::newRow("KSCOU X Y Z")
            << "KSCOU" << QStringList{"X 12.345678 Y 23.456789 Z 34.567890"}
            << QStringList{"01:12.345678", "02:23.456789", "03:34.567890"} << 0 << 0;
        QTest::newRow("KSCOU X and Z without Y")
            << "KSCOU" << QStringList{"X 12.345678 Z -4.567890"}
            << QStringList{"01:12.345678", "03:-4.567890"} << 0 << 0;
        QTest::newRow("KSTEC like KSCOU")
            << "KSTEC" << QStringList{"Z 1.5"} << QStringList{"03:1.5"} << 0 << 0;

        // Binary frames: each character is one byte, the first of each four the most significant.
        QTest::newRow("TLOAD three numbers")
            << "TLOAD"
            << QStringList{TramaDeBytes(
                   {0x00, 0x01, 0xE2, 0x40, 0xFF, 0xFF, 0xFF, 0x38, 0x00, 0x00, 0x80, 0x00})}
            << QStringList{"01:1.23456", "02:-2", "03:327.68"} << 0 << 0;
        QTest::newRow("TLOAD 32-bit extremes")
            << "TLOAD"
            << QStringList{TramaDeBytes(
                   {0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})}
            << QStringList{"01:21474.83647", "02:-21474836.48", "03:-0.01"} << 0 << 0;
        QTest::newRow("TLOAD short frame reads zero bytes")
            << "TLOAD" << QStringList{TramaDeBytes({0x00, 0x00, 0x00, 0x64, 0x00, 0x01})}
            << QStringList{"01:0.001", "02:655.36", "03:0"} << 0 << 0;
        QTest::newRow("TLOAD character that is no byte")
            << "TLOAD" << QStringList{TramaDeBytes({0x00, 0x20AC, 0x00, 0x01})} << nada << 1 << 0;

        QTest::newRow("FOCUS torque and second value")
            << "FOCUS" << QStringList{Focus(6, "12.50", "07", "0045.200")}
            << QStringList{"07:12.50", "07:0045.200"} << 0 << 0;
        QTest::newRow("FOCUS one-digit channel")
            << "FOCUS" << QStringList{Focus(10, "-1.25", " 3", "1")}
            << QStringList{"03:-1.25", "03:1"} << 0 << 0;
        QTest::newRow("FOCUS without Nm") << "FOCUS" << QStringList{"12.50 N 07"} << nada << 0 << 0;
        QTest::newRow("FOCUS Nm too near the start")
            << "FOCUS" << QStringList{"1.5Nm"} << nada << 1 << 0;
        QTest::newRow("FOCUS negative channel")
            << "FOCUS" << QStringList{Focus(6, "12.50", "-5", "1")} << nada << 0 << 1;

        const QString canal5 = QStringLiteral("Canal    05");
        QTest::newRow("FOCUG announced channel")
            << "FOCUG" << QStringList{canal5, Focug(6, "12.50", "0045.200")}
            << QStringList{"05:12.50", "05:0045.200"} << 0 << 0;
        QTest::newRow("FOCUG channel kept for later frames")
            << "FOCUG" << QStringList{canal5, Focug(6, "01.00", "2"), Focug(8, "03.00", "4")}
            << QStringList{"05:01.00", "05:2", "05:03.00", "05:4"} << 0 << 0;
        QTest::newRow("FOCUG new announcement")
            << "FOCUG" << QStringList{canal5, "Canal    12", Focug(6, "01.00", "2")}
            << QStringList{"12:01.00", "12:2"} << 0 << 0;
        QTest::newRow("FOCUG announcement and value in one frame")
            << "FOCUG" << QStringList{TramaCon({{1, canal5}, {20, "12.50"}, {25, kNm}})}
            << QStringList{"05:12.50", "05:"} << 0 << 0;
        QTest::newRow("FOCUG reading before any announcement")
            << "FOCUG" << QStringList{Focug(6, "12.50", "0045.200")} << nada << 0 << 1;

        const QString conc = TramaCon({{1, "*CONC"}, {12, "0003.456"}});
        QTest::newRow("MIRAN announced channel")
            << "MIRAN" << QStringList{"*STRT 12", conc} << QStringList{"12:0003.456"} << 0 << 0;
        QTest::newRow("MIRAN channel kept") << "MIRAN" << QStringList{"*STRT 3", conc, conc}
                                            << QStringList{"03:0003.456", "03:0003.456"} << 0 << 0;
        QTest::newRow("MIRAN reading before any announcement")
            << "MIRAN" << QStringList{conc} << nada << 0 << 1;

        QTest::newRow("TP844 whole frame")
            << "TP844" << QStringList{"0312.5"} << QStringList{"03:12.5"} << 0 << 0;
        QTest::newRow("MUX10 plus dropped")
            << "MUX10" << QStringList{"03 +12.50"} << QStringList{"03:12.50"} << 0 << 0;
        QTest::newRow("MUX10 minus kept")
            << "MUX10" << QStringList{"03 -12.50"} << QStringList{"03:-12.50"} << 0 << 0;
        QTest::newRow("MUX10 no sign")
            << "MUX10" << QStringList{"03 12.50"} << QStringList{"03:12.50"} << 0 << 0;
        QTest::newRow("DP1HS") << "DP1HS" << QStringList{"11 +1"} << QStringList{"11:1"} << 0 << 0;
        QTest::newRow("DMX2B") << "DMX2B" << QStringList{"02 -1"} << QStringList{"02:-1"} << 0 << 0;
        QTest::newRow("DMX2C") << "DMX2C" << QStringList{"02 +"} << QStringList{"02:"} << 0 << 0;
        QTest::newRow("MUX11 general format")
            << "MUX11" << QStringList{"05 +012.500"} << QStringList{"05:12.5"} << 0 << 0;
        QTest::newRow("MX8N not a number")
            << "MX8N" << QStringList{"05 abc"} << QStringList{"05:0"} << 0 << 0;
        QTest::newRow("MX8 value as sent")
            << "MX8" << QStringList{"07 +1.50"} << QStringList{"07:+1.50"} << 0 << 0;

        QTest::newRow("HX1 one") << "HX1" << QStringList{"01 0000803F"}
                                 << QStringList{"01:+0001.0000"} << 0 << 0;
        QTest::newRow("HX1 minus one")
            << "HX1" << QStringList{"02 000080BF"} << QStringList{"02:-0001.0000"} << 0 << 0;
        QTest::newRow("HX1 zero digits")
            << "HX1" << QStringList{"03 00000000"} << QStringList{"03:+0000.0000"} << 0 << 0;
        QTest::newRow("HX1 one and a half")
            << "HX1" << QStringList{"04 0000C03F"} << QStringList{"04:+0001.5000"} << 0 << 0;
        QTest::newRow("HX1 single-precision tenth")
            << "HX1" << QStringList{"05 CDCCCC3D"} << QStringList{"05:+0000.1000"} << 0 << 0;
        QTest::newRow("HX1 single precision kept")
            << "HX1" << QStringList{"06 B6E64046"} << QStringList{"06:+12345.6777"} << 0 << 0;
        QTest::newRow("HX1 infinity") << "HX1" << QStringList{"01 0000807F"} << nada << 1 << 0;
        QTest::newRow("HX1 short digits") << "HX1" << QStringList{"01 0000"} << nada << 1 << 0;
        QTest::newRow("HX1 not hexadecimal")
            << "HX1" << QStringList{"01 0000803G"} << nada << 1 << 0;

        QTest::newRow("GPORT value then channel")
            << "GPORT" << QStringList{"12.5,07"} << QStringList{"07:12.5"} << 0 << 0;
        QTest::newRow("GPORT without comma")
            << "GPORT" << QStringList{"12.5"} << QStringList{"01:12.5"} << 0 << 0;
        QTest::newRow("GPORT empty value")
            << "GPORT" << QStringList{",07"} << QStringList{"07:"} << 0 << 0;
        QTest::newRow("GPORT one channel character")
            << "GPORT" << QStringList{"12.5,7"} << nada << 0 << 1;
        QTest::newRow("GPORT nothing after the comma")
            << "GPORT" << QStringList{"12.5,"} << nada << 0 << 1;

        QTest::newRow("MIG-2 digit channel")
            << "MIG-2" << QStringList{"3 12.50000X"} << QStringList{"03:12.50000"} << 0 << 0;
        QTest::newRow("MX110") << "MX110" << QStringList{"9 1"} << QStringList{"09:1"} << 0 << 0;
        QTest::newRow("MX200 letter is channel 0")
            << "MX200" << QStringList{"X 1"} << QStringList{"00:1"} << 0 << 0;

        QTest::newRow("MIG-1 bank 0 group 1")
            << "MIG-1" << QStringList{Mig1("0", "3")} << QStringList{"01:0012.500"} << 0 << 0;
        QTest::newRow("MIG-1 bank 0 group 2")
            << "MIG-1" << QStringList{Mig1("0", "4")} << QStringList{"02:0012.500"} << 0 << 0;
        QTest::newRow("MIG-1 bank 1 selector ;")
            << "MIG-1" << QStringList{Mig1("1", ";")} << QStringList{"07:0012.500"} << 0 << 0;
        QTest::newRow("MIG-1 bank 1 selector ?")
            << "MIG-1" << QStringList{Mig1("1", "?")} << QStringList{"08:0012.500"} << 0 << 0;
        QTest::newRow("MIG-1 bank 2 ignored")
            << "MIG-1" << QStringList{Mig1("2", "0")} << nada << 0 << 1;
        QTest::newRow("MIG-1 selector 2 ignored, not given the last channel")
            << "MIG-1" << QStringList{Mig1("1", ";"), Mig1("1", "2")} << QStringList{"07:0012.500"}
            << 0 << 1;

        QTest::newRow("MUX40 mode 0 box 2 input 1")
            << "MUX40" << QStringList{Mux40("2", "1", "0", "")} << QStringList{"04:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 0 box A input 0")
            << "MUX40" << QStringList{Mux40("A", "0", "0", "")} << QStringList{"19:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 0 box C input 3")
            << "MUX40" << QStringList{Mux40("C", "3", "0", "2")} << QStringList{"26:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 0 box 9 input 1")
            << "MUX40" << QStringList{Mux40("9", "1", "0", "")} << QStringList{"18:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 1 box 1 input 1 selector 5")
            << "MUX40" << QStringList{Mux40("1", "1", "1", "5")} << QStringList{"06:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 1 box C input 1 selector ?")
            << "MUX40" << QStringList{Mux40("C", "1", "1", "?")} << QStringList{"96:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 2 box 9 input 0 selector <")
            << "MUX40" << QStringList{Mux40("9", "0", "2", "<")} << QStringList{"68:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 mode 1 box A input 0 selector 0")
            << "MUX40" << QStringList{Mux40("A", "0", "1", "0")} << QStringList{"73:0012.500"} << 0
            << 0;
        QTest::newRow("MUX40 channel 100 rejected")
            << "MUX40" << QStringList{Mux40("C", "2", "1", "?")} << nada << 0 << 1;
        QTest::newRow("MUX40 channel 101 rejected")
            << "MUX40" << QStringList{Mux40("C", "3", "1", "1")} << nada << 0 << 1;
        QTest::newRow("MUX40 box 0 ignored")
            << "MUX40" << QStringList{Mux40("0", "1", "0", "")} << nada << 0 << 1;
        QTest::newRow("MUX40 box D ignored")
            << "MUX40" << QStringList{Mux40("D", "1", "1", "1")} << nada << 0 << 1;
        QTest::newRow("MUX40 selector 2 ignored, not given the last channel")
            << "MUX40" << QStringList{Mux40("1", "1", "1", "5"), Mux40("1", "1", "1", "2")}
            << QStringList{"06:0012.500"} << 0 << 1;
    }
    void lecturas() {
        QFETCH(QString, codigo);
        QFETCH(QStringList, tramas);
        QFETCH(QStringList, esperado);
        QFETCH(int, fallas);
        QFETCH(int, notas);
        RelojFalso reloj;
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        const QStringList motivos = DecodificaTramas(codigo, tramas, c, e);
        QCOMPARE(motivos.size(), fallas);
        QCOMPARE(c.resumen(), esperado);
        QCOMPARE(c.notas.size(), notas);
        const QString revision = RevisaNotas(motivos, c, tramas);
        QVERIFY2(revision.isEmpty(), qPrintable(revision));
        QVERIFY(c.escrituras.isEmpty());
    }

    // The announced channels belong to no port: a FOCUG announcement on one port names the
    // channel of the readings of another.
    void canalAnunciadoComun() {
        RelojFalso reloj;
        ContextoFalso p1(reloj, 1), p2(reloj, 2);
        EstadoDecodificadores e;
        DecodificaTramas(QStringLiteral("FOCUG"), {QStringLiteral("Canal    09")}, p1, e);
        DecodificaTramas(QStringLiteral("MIRAN"), {QStringLiteral("*STRT 04")}, p1, e);
        DecodificaTramas(QStringLiteral("FOCUG"), {Focug(6, "01.00", "2")}, p2, e);
        DecodificaTramas(QStringLiteral("MIRAN"), {TramaCon({{1, "*CONC"}, {12, "7"}})}, p2, e);
        QCOMPARE(p1.resumen(), QStringList());
        QCOMPARE(p2.resumen(), (QStringList{"09:01.00", "09:2", "04:7"}));
        QCOMPARE(e.CanalFocug, QStringLiteral("09"));
        QCOMPARE(e.CanalMiran, QStringLiteral("04"));
    }
};

QTEST_GUILESS_MAIN(TstDecodificadoresMultiples)
#include "tst_decodificadores_multiples.moc"
