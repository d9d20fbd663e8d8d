#include "support/contextofalso.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstDecodificadoresSimples : public QObject {
    Q_OBJECT
private slots:
    // One frame in, the readings of channel 01 out (as "channel:value").
    void lecturas_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QString>("trama");
        QTest::addColumn<QStringList>("esperado");
        const QStringList nada;

        QTest::newRow("EQ4HP whole frame") << "EQ4HP"
                                           << " +1.234 mm" << QStringList{"01: +1.234 mm"};
        QTest::newRow("FOWLE whole frame") << "FOWLE"
                                           << "12.5" << QStringList{"01:12.5"};
        QTest::newRow("PRECI whole frame") << "PRECI"
                                           << "-0.003" << QStringList{"01:-0.003"};
        QTest::newRow("PSION drops DC1")
            << "PSION" << TramaDeBytes({17, '1', '2', '.', '3', 17}) << QStringList{"01:12.3"};
        QTest::newRow("OHAUG first nine") << "OHAUG"
                                          << "123456789XYZ" << QStringList{"01:123456789"};
        QTest::newRow("OHAUG short frame") << "OHAUG"
                                           << "12" << QStringList{"01:12"};
        QTest::newRow("OHAU2 trimmed") << "OHAU2"
                                       << "  12.5 g  " << QStringList{"01:12.5 g"};
        QTest::newRow("OHAU2 blanks only") << "OHAU2"
                                           << "     " << nada;
        QTest::newRow("AB520 from 2") << "AB520"
                                      << "A12.5" << QStringList{"01:12.5"};
        QTest::newRow("AB520 one character") << "AB520"
                                             << "A" << QStringList{"01:"};
        QTest::newRow("SARE2 10 at 10") << "SARE2"
                                        << "ABCDEFGHI0123456789XYZ" << QStringList{"01:0123456789"};
        QTest::newRow("ARITE 8 at 14")
            << "ARITE" << TramaCon({{1, "STATUS"}, {14, "+0012.50"}, {22, "MM"}})
            << QStringList{"01:+0012.50"};
        QTest::newRow("RTDIG 7 at 18")
            << "RTDIG" << TramaCon({{18, "12.3456"}, {25, "IN"}}) << QStringList{"01:12.3456"};
        QTest::newRow("MARP1 8 at 19")
            << "MARP1" << TramaCon({{1, "M"}, {19, "-00.1250"}, {27, "X"}})
            << QStringList{"01:-00.1250"};
        QTest::newRow("SAR81 sign then digits") << "SAR81"
                                                << "-X0012.500" << QStringList{"01:-0012.500"};
        QTest::newRow("SARMC blank sign") << "SARMC"
                                          << "  0012.500" << QStringList{"01: 0012.500"};
        QTest::newRow("METBD positive") << "METBD"
                                        << "12.5 mm" << QStringList{"01:12.5 mm"};
        QTest::newRow("METBD zero") << "METBD"
                                    << "0.000" << nada;
        QTest::newRow("METBD negative") << "METBD"
                                        << "-1.5" << nada;
        QTest::newRow("METBD text") << "METBD"
                                    << "ERR 12" << nada;
        QTest::newRow("PHARM count above 0") << "PHARM"
                                             << "00001 12.5mgXYZ" << QStringList{"01: 12.5mgX"};
        QTest::newRow("PHARM count 0") << "PHARM"
                                       << "00000 12.5mg" << nada;
        QTest::newRow("AFIII starts with P") << "AFIII"
                                             << "P12.345x" << QStringList{"01:12.345"};
        QTest::newRow("AFIII starts with V") << "AFIII"
                                             << "V1.5" << QStringList{"01:1.5"};
        QTest::newRow("AFIII starts with a blank") << "AFIII"
                                                   << " 7" << QStringList{"01:7"};
        QTest::newRow("AFIII starts with A") << "AFIII"
                                             << "A12.345" << nada;
        QTest::newRow("AFIII lower-case p") << "AFIII"
                                            << "p12.345" << nada;
        QTest::newRow("AFIII empty socket chunk") << "AFIII"
                                                  << "" << nada;
        QTest::newRow("BARC1 code") << "BARC1"
                                    << "ABC123" << QStringList{"01:ABC123"};
        QTest::newRow("BARC1 TT= status") << "BARC1"
                                          << "TT=5" << nada;
        QTest::newRow("BARC1 C39 symbology") << "BARC1"
                                             << "xC39y" << nada;
        QTest::newRow("QC300 13 characters") << "QC300"
                                             << "AB1234567890X" << QStringList{"01:1234567890"};
        QTest::newRow("QC300 12 characters") << "QC300"
                                             << "AB1234567890" << nada;
        QTest::newRow("QCIII 13 characters") << "QCIII"
                                             << "AB1234567890X" << QStringList{"01:1234567890"};
        QTest::newRow("CHYJL gross") << "CHYJL"
                                     << "   125.50  G" << QStringList{"01:125.50"};
        QTest::newRow("CHYJL lower-case g") << "CHYJL"
                                            << "   125.50 g " << QStringList{"01:125.50"};
        QTest::newRow("CHYJL net") << "CHYJL"
                                   << "   125.50 N " << nada;
        QTest::newRow("ST7DR X") << "ST7DR"
                                 << "X+0012.50000Z" << QStringList{"01:+0012.50000"};
        QTest::newRow("ST7DR Y") << "ST7DR"
                                 << "Y-1.5" << QStringList{"01:-1.5"};
        QTest::newRow("ST7DR Z") << "ST7DR"
                                 << "Z+0012.50000" << nada;

        const QString pana1 = TramaCon({{1, "0123456789"}, {11, "  12.345"}, {22, "mm  "}});
        QTest::newRow("PANA1 lower-case mm") << "PANA1" << pana1 << QStringList{"01:12.345"};
        QTest::newRow("PANA1 IN") << "PANA1" << TramaCon({{11, "0.4861"}, {22, "IN"}})
                                  << QStringList{"01:0.4861"};
        QTest::newRow("PANA1 CM") << "PANA1" << TramaCon({{11, "  12.345"}, {22, "CM"}}) << nada;
        QTest::newRow("PANA1 zero") << "PANA1" << TramaCon({{11, "   0.000"}, {22, "MM"}}) << nada;
        QTest::newRow("PANA1 unit cut short")
            << "PANA1" << TramaCon({{11, "12.345"}, {22, "M"}}) << nada;
        QTest::newRow("PANA2") << "PANA2" << TramaCon({{14, " 12.345"}, {22, "Mm"}})
                               << QStringList{"01:12.345"};
        QTest::newRow("PANA2 unit is cut to two")
            << "PANA2" << TramaCon({{14, "1.5"}, {22, "INCH"}}) << QStringList{"01:1.5"};
        QTest::newRow("PANA3") << "PANA3" << TramaCon({{25, "  7.125"}, {38, "MM"}})
                               << QStringList{"01:7.125"};
        QTest::newRow("PANA3 value where PANA1 reads")
            << "PANA3" << TramaCon({{11, "  12.345"}, {22, "MM"}}) << nada;

        QTest::newRow("METPM after S and two blanks")
            << "METPM"
            << "ABS  12.345678X" << QStringList{"01:12.345678"};
        QTest::newRow("METPM without marker") << "METPM"
                                              << "AB S 12.345678" << nada;
        QTest::newRow("MSICS after S S") << "MSICS"
                                         << "xS S 12.3456789Z" << QStringList{"01:12.3456789"};
        QTest::newRow("MSICS without marker") << "MSICS"
                                              << "SS 12.3" << nada;
        QTest::newRow("T8530 decimal comma") << "T8530"
                                             << "X12,50" << QStringList{"01:12.50"};
        QTest::newRow("T8530 only the first comma") << "T8530"
                                                    << "X1,250,0" << QStringList{"01:1.250,0"};
        QTest::newRow("T8530 zero") << "T8530"
                                    << "X0,00" << nada;
        QTest::newRow("T8530 negative") << "T8530"
                                        << "X-1,5" << nada;
        QTest::newRow("T9481 hundredths") << "T9481"
                                          << "AB,xx001250" << QStringList{"01:12.5"};
        QTest::newRow("T9481 no float noise") << "T9481"
                                              << ",xx0012.3" << QStringList{"01:0.123"};
        QTest::newRow("T9481 whole") << "T9481"
                                     << ",xx000700" << QStringList{"01:7"};
        QTest::newRow("T9481 without comma") << "T9481"
                                             << "ABxx001250" << nada;
        QTest::newRow("METDP") << "METDP"
                               << "12.5" << nada;
        QTest::newRow("MUXBT") << "MUXBT"
                               << "0112.5" << nada;
        QTest::newRow("D3000") << "D3000"
                               << "12.5" << nada;
        QTest::newRow("DMYTE") << "DMYTE"
                               << "12.5" << nada;
    }
    void lecturas() {
        QFETCH(QString, codigo);
        QFETCH(QString, trama);
        QFETCH(QStringList, esperado);
        RelojFalso reloj;
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        QCOMPARE(DecodificaConRegistro(codigo, trama, c, e), std::nullopt);
        QCOMPARE(c.resumen(), esperado);
        QVERIFY(c.escrituras.isEmpty());
        QCOMPARE(c.tramasLeidas, 0);
    }

    // The clock's hundreds of seconds, on the channel of the last digit.
    void timer_data() {
        QTest::addColumn<QTime>("hora");
        QTest::addColumn<QStringList>("esperado");
        QTest::newRow("36512.34 s") << QTime(10, 8, 32, 340) << QStringList{"02:365.12"};
        QTest::newRow("last digit 0 is channel 0") << QTime(10, 8, 30) << QStringList{"00:365.10"};
        QTest::newRow("midnight") << QTime(0, 0) << QStringList{"00:0.00"};
        QTest::newRow("rounds up to the next hundredth")
            << QTime(0, 0, 1, 999) << QStringList{"02:0.02"};
        QTest::newRow("last second of the day")
            << QTime(23, 59, 59, 999) << QStringList{"00:864.00"};
    }
    void timer() {
        QFETCH(QTime, hora);
        QFETCH(QStringList, esperado);
        RelojFalso reloj(QDateTime(QDate(2026, 12, 4), hora));
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        QCOMPARE(DecodificaConRegistro(QStringLiteral("TIMER"), QString(), c, e), std::nullopt);
        QCOMPARE(c.resumen(), esperado);
    }
};

QTEST_GUILESS_MAIN(TstDecodificadoresSimples)
#include "tst_decodificadores_simples.moc"
