#include "decoding/cortes.h"
#include "decoding/registro.h"
#include "support/contextofalso.h"

#include <QTest>

#include <bit>
#include <limits>

using namespace ort;
using namespace ort::prueba;

namespace {

using L = QStringList;
const QString kNm = QStringLiteral("Nm");

// A FOCUS frame: torque before "Nm" at k, the channel 18 columns on, a second value 32 on.
QString focus(int k, const QString& par, const QString& canal, const QString& segundo) {
    return tramaCon({{k - 5, par}, {k, kNm}, {k + 18, canal}, {k + 32, segundo}});
}
// A FOCUG frame: as FOCUS, but the second value 24 columns on and no channel.
QString focug(int k, const QString& par, const QString& segundo) {
    return tramaCon({{k - 5, par}, {k, kNm}, {k + 24, segundo}});
}
// MIG-1 and MUX40 frames: their head (bank or box, and selectors), the value at column 10.
QString con12(const QString& cabeza) {
    return cabeza.leftJustified(9, u' ') + "0012.500";
}
// A DP3DX/DP7 record: value at 10, date mm/dd/yy at 19, time hh:nn at 28.
QString y02(const QString& valor, const QString& fecha, const QString& hora = "10:30") {
    return tramaCon({{1, "Y02"}, {10, valor}, {19, fecha}, {28, hora}});
}
} // namespace

class TstDecodificadores : public QObject {
    Q_OBJECT
private slots:
    // Cuts and number forms: function, text, number, integer, result ("!": it throws).
    void cortes_data() {
        QTest::addColumn<QString>("f");
        QTest::addColumn<QString>("t");
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("esperado");
        const double inf = std::numeric_limits<double>::infinity();
        // clang-format off
        QTest::addRow("cut inside") << "Corta" << "ABCDE" << 2.0 << 3 << "BCD";
        QTest::addRow("cut past the end") << "Corta" << "ABCDE" << 4.0 << 5 << "DE";
        QTest::addRow("cut length 0") << "Corta" << "ABCDE" << 1.0 << 0 << "";
        QTest::addRow("cut start 0") << "Corta" << "ABCDE" << 0.0 << 2 << "!";
        QTest::addRow("cut length < 0") << "Corta" << "ABCDE" << 2.0 << -1 << "!";
        QTest::addRow("from 2") << "Desde" << "ABCDE" << 2.0 << 0 << "BCDE";
        QTest::addRow("from 0") << "Desde" << "ABCDE" << 0.0 << 0 << "!";
        QTest::addRow("find") << "Busca" << "A,B,C|," << 0.0 << 1 << "2";
        QTest::addRow("find from 3") << "Busca" << "A,B,C|," << 0.0 << 3 << "4";
        QTest::addRow("find none left") << "Busca" << "A,B,C|," << 0.0 << 5 << "0";
        QTest::addRow("trim") << "Recorta" << "  1 2  " << 0.0 << 0 << "1 2";
        QTest::addRow("remove") << "Quita" << "\x11" "A\x11" "1\x11" << 0.0 << 17 << "A1";
        QTest::addRow("2d half away") << "Dos" << "" << 6.5 << 0 << "07";
        QTest::addRow("2d rounds down") << "Dos" << "" << 6.49 << 0 << "06";
        QTest::addRow("2d negative") << "Dos" << "" << -5.0 << 0 << "-05";
        QTest::addRow("negative zero") << "General" << "" << -0.0 << 0 << "0";
        QTest::addRow("15 digits") << "General" << "" << 1.23456789012345678 << 0 << "1.23456789012346";
        QTest::addRow("carry to E") << "General" << "" << 999999999999999.9 << 0 << "1E+15";
        QTest::addRow("small plain") << "General" << "" << 0.0001 << 0 << "0.0001";
        QTest::addRow("smaller E") << "General" << "" << 0.00001234 << 0 << "1.234E-05";
        QTest::addRow("large plain") << "General" << "" << 999999999999999.0 << 0 << "999999999999999";
        QTest::addRow("infinity") << "General" << "" << inf << 0 << "!";
        QTest::addRow("hex from 5") << "Hex4" << "\x01\x02\x03\x04\x12" "4Vx" << 5.0 << 0 << "12345678";
        QTest::addRow("hex missing are 0") << "Hex4" << "AB" << 1.0 << 0 << "41420000";
        QTest::addRow("hex not a byte") << "Hex4" << QString::fromUtf16(u"A\u0100") << 1.0 << 0 << "!";
        QTest::addRow("hex position 0") << "Hex4" << "ABCD" << 0.0 << 0 << "!";
        QTest::addRow("float lower case") << "Float" << "0000803f" << 0.0 << 0 << "3f800000";
        // No special case for zero: all-zero digits read as 2^-127.
        QTest::addRow("float zeros") << "Float" << "00000000" << 0.0 << 0 << "400000";
        QTest::addRow("float 7 digits") << "Float" << "0000803" << 0.0 << 0 << "!";
        QTest::addRow("float infinity") << "Float" << "0000807F" << 0.0 << 0 << "!";
        // clang-format on
    }
    void cortes() {
        QFETCH(QString, f);
        QFETCH(QString, t);
        QFETCH(double, x);
        QFETCH(int, n);
        QFETCH(QString, esperado);
        const auto r = [&]() -> QString {
            const int i = int(x);
            return f == u"Corta"   ? corta(t, i, n)
                   : f == u"Desde" ? desdeColumna(t, i)
                   : f == u"Busca"
                       ? QString::number(busca(t.section(u'|', 0, 0), t.section(u'|', 1), n))
                   : f == u"Recorta" ? recorta(t)
                   : f == u"Quita"   ? QuitaCaracter(t, n)
                   : f == u"Dos"     ? dosDigitos(x)
                   : f == u"General" ? formatoGeneral(x)
                   : f == u"Hex4"    ? QString::number(HexCuatro(t, i), 16)
                                     : QString::number(std::bit_cast<quint32>(FlotanteHex(t)), 16);
        };
        if (esperado == u"!")
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, r());
        else
            QCOMPARE(r(), esperado);
    }

    // Frames of one pass, more queued: "channel:value @date time", failures, log notes.
    void lecturas_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<int>("puerto");
        QTest::addColumn<int>("inicio");
        QTest::addColumn<QTime>("hora"); // of the clock; none: the fake clock's own
        QTest::addColumn<QStringList>("tramas");
        QTest::addColumn<QStringList>("pendientes");
        QTest::addColumn<QStringList>("esperado");
        QTest::addColumn<int>("fallas");
        QTest::addColumn<int>("notas");
        const L n;
        const QString mux = QStringLiteral("05 +012.50"), canal5 = QStringLiteral("Canal    05"),
                      conc = tramaCon({{1, "*CONC"}, {12, "0003.456"}});
        // clang-format off
        QTest::addRow("SAR81 blank sign") << "SARMC" << 1 << 1 << QTime() << L{"  0012.500"} << n << L{"01: 0012.500"} << 0 << 0;
        QTest::addRow("QC300 13") << "QCIII" << 1 << 1 << QTime() << L{"AB1234567890X"} << n << L{"01:1234567890"} << 0 << 0;
        QTest::addRow("QC300 12") << "QC300" << 1 << 1 << QTime() << L{"AB1234567890"} << n << n << 0 << 0;
        QTest::addRow("PANA1 IN") << "PANA1" << 1 << 1 << QTime() << L{tramaCon({{11, "0.4861"}, {22, "IN"}})} << n << L{"01:0.4861"} << 0 << 0;
        QTest::addRow("T9481 noise") << "T9481" << 1 << 1 << QTime() << L{",xx0012.3"} << n << L{"01:0.123"} << 0 << 0;

        // Keys compare on five characters; an unknown code reads channel 1 from the start.
        QTest::addRow("MX8 padded") << "MX8  " << 1 << 1 << QTime() << L{mux} << n << L{"05:+012.50"} << 0 << 0;
        QTest::addRow("MX8N is not MX8") << "MX8N " << 1 << 1 << QTime() << L{mux} << n << L{"05:12.5"} << 0 << 0;
        QTest::addRow("lower-case key") << "mx8  " << 1 << 1 << QTime() << L{mux} << n << L{"01:" + mux} << 0 << 0;
        QTest::addRow("default from 3") << "ZZ9  " << 1 << 3 << QTime() << L{"AB12.5"} << n << L{"01:12.5"} << 0 << 0;
        QTest::addRow("default from 0") << "ZZ9  " << 1 << 0 << QTime() << L{"12.5"} << n << n << 1 << 0;
        QTest::addRow("XRITE short") << "XRITE" << 1 << 1 << QTime() << L{"L= 01"} << n << L{"01:01", "02:", "03:"} << 0 << 0;
        // Binary frames: each character is one byte, the first of each four the most significant.
        QTest::addRow("TLOAD 3") << "TLOAD" << 1 << 1 << QTime() << L{tramaDeBytes({0x00, 0x01, 0xE2, 0x40, 0xFF, 0xFF, 0xFF, 0x38, 0x00, 0x00, 0x80, 0x00})} << n << L{"01:1.23456", "02:-2", "03:327.68"} << 0 << 0;
        QTest::addRow("TLOAD extremes") << "TLOAD" << 1 << 1 << QTime() << L{tramaDeBytes({0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})} << n << L{"01:21474.83647", "02:-21474836.48", "03:-0.01"} << 0 << 0;
        QTest::addRow("TLOAD no byte") << "TLOAD" << 1 << 1 << QTime() << L{tramaDeBytes({0x00, 0x20AC, 0x00, 0x01})} << n << n << 1 << 0;
        QTest::addRow("FOCUS 1 digit") << "FOCUS" << 1 << 1 << QTime() << L{focus(10, "-1.25", " 3", "1")} << n << L{"03:-1.25", "03:1"} << 0 << 0;
        QTest::addRow("FOCUS Nm early") << "FOCUS" << 1 << 1 << QTime() << L{"1.5Nm"} << n << n << 1 << 0;
        QTest::addRow("FOCUS channel<0") << "FOCUS" << 1 << 1 << QTime() << L{focus(6, "12.50", "-5", "1")} << n << n << 0 << 1;
        QTest::addRow("FOCUG one frame") << "FOCUG" << 1 << 1 << QTime() << L{tramaCon({{1, canal5}, {20, "12.50"}, {25, kNm}})} << n << L{"05:12.50", "05:"} << 0 << 0;
        QTest::addRow("FOCUG unannounced") << "FOCUG" << 1 << 1 << QTime() << L{focug(6, "12.50", "0045.200")} << n << n << 0 << 1;
        QTest::addRow("MIRAN 2 digits") << "MIRAN" << 1 << 1 << QTime() << L{"*STRT 12", conc} << n << L{"12:0003.456"} << 0 << 0;
        QTest::addRow("MIRAN unannounced") << "MIRAN" << 1 << 1 << QTime() << L{conc} << n << n << 0 << 1;
        QTest::addRow("MUX11 NaN") << "MX8N" << 1 << 1 << QTime() << L{"05 abc"} << n << L{"05:0"} << 0 << 0;
        QTest::addRow("HX1 inf") << "HX1" << 1 << 1 << QTime() << L{"01 0000807F"} << n << n << 1 << 0;
        QTest::addRow("GPORT no comma") << "GPORT" << 1 << 1 << QTime() << L{"12.5"} << n << L{"01:12.5"} << 0 << 0;
        QTest::addRow("GPORT 1 char") << "GPORT" << 1 << 1 << QTime() << L{"12.5,7"} << n << n << 0 << 1;
        QTest::addRow("MIG-1 1/;") << "MIG-1" << 1 << 1 << QTime() << L{con12("G 1   ;")} << n << L{"07:0012.500"} << 0 << 0;
        QTest::addRow("MIG-1 bank 2") << "MIG-1" << 1 << 1 << QTime() << L{con12("G 2   0")} << n << n << 0 << 1;
        QTest::addRow("MIG-1 no last") << "MIG-1" << 1 << 1 << QTime() << L{con12("G 1   ;"), con12("G 1   2")} << n << L{"07:0012.500"} << 0 << 1;
        QTest::addRow("MUX40 1 1 1 5") << "MUX40" << 1 << 1 << QTime() << L{con12("M111  5")} << n << L{"06:0012.500"} << 0 << 0;
        QTest::addRow("MUX40 1 C 1 ?") << "MUX40" << 1 << 1 << QTime() << L{con12("MC11  ?")} << n << L{"96:0012.500"} << 0 << 0;
        QTest::addRow("MUX40 100") << "MUX40" << 1 << 1 << QTime() << L{con12("MC21  ?")} << n << n << 0 << 1;
        QTest::addRow("MUX40 no last") << "MUX40" << 1 << 1 << QTime() << L{con12("M111  5"), con12("M111  2")} << n << L{"06:0012.500"} << 0 << 1;

        QTest::addRow("GSE01 B9") << "GSE01" << 1 << 1 << QTime() << L{"B9,1,2,3"} << n << L{"10:1", "10:2,3"} << 0 << 0;
        QTest::addRow("GSE01 B 1 comma") << "GSE01" << 1 << 1 << QTime() << L{"B2,10.5"} << n << n << 0 << 1;
        QTest::addRow("AND ST") << "AND" << 1 << 1 << QTime() << L{"ST"} << L{"1", "2"} << L{"01:1"} << 0 << 0;
        QTest::addRow("AND no value") << "AND" << 1 << 1 << QTime() << L{"ST"} << n << n << 0 << 1;
        QTest::addRow("PEL10 fillers") << "PEL10" << 1 << 1 << QTime() << L{"X00abc"} << L{"X0012", "X12.5", "X9"} << L{"01:12.5"} << 0 << 0;
        QTest::addRow("PEL10 only fillers") << "PEL10" << 1 << 1 << QTime() << L{"X00"} << L{"X00"} << n << 0 << 1;
        QTest::addRow("DL-10 batch") << "DL-10" << 1 << 1 << QTime() << L{"12345678X"} << L{"00000002", "", "3"} << L{"01:12345678", "01:00000002", "01:3"} << 0 << 0;
        QTest::addRow("DP7 05") << "DP7" << 1 << 1 << QTime() << L{y02("+0012.500", "04/12/05")} << n << L{"01:+0012.500 @20050412 1030"} << 0 << 0;
        QTest::addRow("DP3DX 80") << "DP3DX" << 1 << 1 << QTime() << L{y02("-0000.125", "12/31/80", "23:59")} << n << L{"01:-0000.125 @19801231 2359"} << 0 << 0;
        QTest::addRow("DP7 bad date") << "DP7" << 1 << 1 << QTime() << L{y02("1", "13/01/26")} << n << n << 1 << 0;
        QTest::addRow("QMATE 34") << "QMATE" << 1 << 1 << QTime() << L{"Q LOTE 7           000001.250 0000"} << n << L{"01:000001.250"} << 0 << 0;
        QTest::addRow("QMATE 35") << "QMATE" << 1 << 1 << QTime() << L{"Q LOTE 7           000001.250 00000"} << n << L{"01:000001.250", "01:00000"} << 0 << 0;
        QTest::addRow("TODLR net") << "TODLR" << 16 << 1 << QTime() << L{"gross 9 net 12.5"} << n << L{"16: 12.5"} << 0 << 0;
        QTest::addRow("TODLR Latin-1") << "TODLR" << 3 << 1 << QTime() << L{QString::fromLatin1("Ma\xdf NET0012.50kg")} << n << L{"03:0012.50"} << 0 << 0;
        QTest::addRow("DM510 header") << "DM510" << 1 << 1 << QTime() << L{"Date,Time,A,B,C,Value", ",,a,b,c,1.0", ",10:30,a,b,c,2"} << n << n << 0 << 0;
        QTest::addRow("DM510 d-m-y s") << "DM510" << 1 << 1 << QTime() << L{"25-01-2026,7:05:59,a,b,c,1,5"} << n << L{"01:1,5 @20260125 0705"} << 0 << 0;
        QTest::addRow("DM510 ISO") << "DM510" << 1 << 1 << QTime() << L{"2026-12-04,23:59:00,a,b,c,-1"} << n << L{"01:-1 @20261204 2359"} << 0 << 0;
        QTest::addRow("DM510 then header") << "DM510" << 1 << 1 << QTime() << L{"4/12/2026,10:30,a,b,c,1", "Date,Time,A,B,C,V", ",,,,,2"} << n << L{"01:1 @20261204 1030"} << 0 << 0;
        QTest::addRow("DM510 31/02") << "DM510" << 1 << 1 << QTime() << L{"31/02/2026,10:30,a,b,c,1"} << n << n << 1 << 0;
        QTest::addRow("DM510 10:75") << "DM510" << 1 << 1 << QTime() << L{"4/12/2026,10:75,a,b,c,1"} << n << n << 1 << 0;
        QTest::addRow("DM510 bad keeps") << "DM510" << 1 << 1 << QTime() << L{"4/12/2026,10:30,a,b,c,1", "5/12/2026,99:99,a,b,c,2", ",,a,b,c,3"} << n << L{"01:1 @20261204 1030", "01:3 @20261204 1030"} << 1 << 0;
        QTest::addRow("DM510 short") << "DM510" << 1 << 1 << QTime() << L{"4/12/2026,10:30,a,b", ",,a,b,c,3"} << n << L{"01:3"} << 0 << 1;
        // TIMER: hundredths of the day's seconds; ISHID: the first 4 s of every 10 minutes.
        QTest::addRow("TIMER") << "TIMER" << 1 << 1 << QTime(10, 8, 32, 340) << L{""} << n << L{"02:365.12"} << 0 << 0;
        QTest::addRow("TIMER rounds up") << "TIMER" << 1 << 1 << QTime(0, 0, 1, 999) << L{""} << n << L{"02:0.02"} << 0 << 0;
        QTest::addRow("TIMER last second") << "TIMER" << 1 << 1 << QTime(23, 59, 59, 999) << L{""} << n << L{"00:864.00"} << 0 << 0;
        QTest::addRow("ISHID :02") << "ISHID" << 1 << 1 << QTime(10, 0, 2) << L{"E2 1234xx"} << n << L{"01:123.4"} << 0 << 0;
        QTest::addRow("ISHID :05") << "ISHID" << 1 << 1 << QTime(10, 0, 5) << L{"E2 1234xx"} << n << L{} << 0 << 0;
        QTest::addRow("ISHID :03.5 even") << "ISHID" << 1 << 1 << QTime(10, 0, 3, 500) << L{"E2 1234xx"} << n << L{} << 0 << 0;
        QTest::addRow("ISHID 9:59.6") << "ISHID" << 1 << 1 << QTime(10, 9, 59, 600) << L{"E2 1234xx"} << n << L{"01:123.4"} << 0 << 0;
        QTest::addRow("ISHID tenths") << "ISHID" << 1 << 1 << QTime(10, 10, 3) << L{"E2-0005"} << n << L{"01:-0.5"} << 0 << 0;
        // clang-format on
    }
    void lecturas() {
        QFETCH(QString, codigo);
        QFETCH(int, puerto);
        QFETCH(int, inicio);
        QFETCH(QTime, hora);
        QFETCH(QStringList, tramas);
        QFETCH(QStringList, pendientes);
        QFETCH(QStringList, esperado);
        QFETCH(int, fallas);
        QFETCH(int, notas);
        RelojFalso reloj;
        if (hora.isValid())
            reloj.fija(QDateTime(QDate(2026, 12, 4), hora));
        ContextoFalso c(reloj, puerto, inicio);
        c.pendientes = pendientes;
        EstadoDecodificadores e;
        const QStringList motivos = decodificaTramas(codigo, tramas, c, e);
        QCOMPARE(c.resumen(), esperado);
        QVERIFY(motivos.size() == fallas && c.notas.size() == notas && c.escrituras.isEmpty());
        const QString revision = revisaNotas(motivos, c, tramas + pendientes);
        QVERIFY2(revision.isEmpty(), qPrintable(revision));
        // A batch reads only the frames already waiting; AND alone waits for its value frame.
        if (pendientes.isEmpty() && codigo != u"AND")
            QCOMPARE(c.tramasLeidas, 0);
    }

    // An announcement on one port names the channel of another port's readings.
    void canalAnunciadoComun() {
        QVERIFY(tieneDecodificador("MX8  ") && tieneDecodificador("MX8") &&
                !tieneDecodificador("mx8") && !tieneDecodificador("ZZ9"));
        RelojFalso reloj;
        ContextoFalso p1(reloj, 1), p2(reloj, 2);
        EstadoDecodificadores e;
        decodificaTramas(QStringLiteral("FOCUG"), {QStringLiteral("Canal    09")}, p1, e);
        decodificaTramas(QStringLiteral("MIRAN"), {QStringLiteral("*STRT 04")}, p1, e);
        decodificaTramas(QStringLiteral("FOCUG"), {focug(6, "01.00", "2")}, p2, e);
        decodificaTramas(QStringLiteral("MIRAN"), {tramaCon({{1, "*CONC"}, {12, "7"}})}, p2, e);
        QCOMPARE(p1.resumen(), QStringList());
        QCOMPARE(p2.resumen(), (QStringList{"09:01.00", "09:2", "04:7"}));
    }

    // "A": "+++", a second's pause, the dial command, then channel n + 1's context if any.
    void gse01Llamada() {
        for (const QString& comando : {QStringLiteral("80.3P=\"P01\"%o11%^"), QString()}) {
            const QDateTime t0(QDate(2026, 12, 4), QTime(9, 5, 7));
            RelojFalso reloj(t0);
            ContextoFalso c(reloj, 5);
            c.comandosGse[4] = comando;
            EstadoDecodificadores e;
            QCOMPARE(decodificaConRegistro(QStringLiteral("GSE01"), QStringLiteral("A3"), c, e),
                     std::nullopt);
            QStringList escrito;
            for (const auto& w : c.escrituras)
                escrito << QString::number(t0.secsTo(w.cuando)) + ' ' + w.datos;
            QCOMPARE(escrito,
                     QStringList({"0 +++", "1 ATDT 03, WR, CN\r"}) +
                         (comando.isEmpty() ? QStringList{} : QStringList{"1 " + comando}));
            QVERIFY(c.pausas.size() == 1 && reloj.dormido == 1000 &&
                    c.canalesGse == QList<int>{4} && c.lecturas.isEmpty());
        }
    }

    // DM510 keeps its date and time for one receive pass only.
    void fechaDeLote() {
        RelojFalso reloj;
        EstadoDecodificadores e;
        ContextoFalso primera(reloj), segunda(reloj);
        decodificaConRegistro(QStringLiteral("DM510"), QStringLiteral("4/12/2026,10:30,a,b,c,1"),
                              primera, e);
        decodificaConRegistro(QStringLiteral("DM510"), QStringLiteral(",,a,b,c,2"), segunda, e);
        QCOMPARE(segunda.resumen(), QStringList{"01:2"});
    }
};

QTEST_GUILESS_MAIN(TstDecodificadores)
#include "tst_decodificadores.moc"
