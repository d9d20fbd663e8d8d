#include "decoding/contexto.h"
#include "decoding/cortes.h"

#include <QTest>

#include <bit>
#include <limits>

using namespace ort;

class TstCortes : public QObject {
    Q_OBJECT
private slots:
    // The cuts and number forms the decoders are made of: function, text, number, integer, what
    // it gives ("!" where it fails). Busca looks for what follows "|" in the text; HexCuatro and
    // FlotanteHex (its bits) in hexadecimal.
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
        QTest::addRow("cut just past") << "Corta" << "ABCDE" << 6.0 << 1 << "";
        QTest::addRow("cut far past") << "Corta" << "ABCDE" << 90.0 << 2 << "";
        QTest::addRow("cut length 0") << "Corta" << "ABCDE" << 1.0 << 0 << "";
        QTest::addRow("cut start 0") << "Corta" << "ABCDE" << 0.0 << 2 << "!";
        QTest::addRow("cut length < 0") << "Corta" << "ABCDE" << 2.0 << -1 << "!";
        QTest::addRow("from 2") << "Desde" << "ABCDE" << 2.0 << 0 << "BCDE";
        QTest::addRow("from 5") << "Desde" << "ABCDE" << 5.0 << 0 << "E";
        QTest::addRow("from 6") << "Desde" << "ABCDE" << 6.0 << 0 << "";
        QTest::addRow("from 0") << "Desde" << "ABCDE" << 0.0 << 0 << "!";
        QTest::addRow("from 1 of nothing") << "Desde" << "" << 1.0 << 0 << "";
        QTest::addRow("find") << "Busca" << "A,B,C|," << 0.0 << 1 << "2";
        QTest::addRow("find from 3") << "Busca" << "A,B,C|," << 0.0 << 3 << "4";
        QTest::addRow("find none left") << "Busca" << "A,B,C|," << 0.0 << 5 << "0";
        QTest::addRow("find case") << "Busca" << "A,B,C|b" << 0.0 << 1 << "0";
        QTest::addRow("find text") << "Busca" << "A,B,C|B,C" << 0.0 << 1 << "3";
        QTest::addRow("find in nothing") << "Busca" << "|," << 0.0 << 1 << "0";
        QTest::addRow("trim") << "Recorta" << "  1 2  " << 0.0 << 0 << "1 2";
        QTest::addRow("trim blanks") << "Recorta" << "   " << 0.0 << 0 << "";
        QTest::addRow("trim not tab") << "Recorta" << "\t1 " << 0.0 << 0 << "\t1";
        QTest::addRow("remove") << "Quita" << "\x11" "A\x11" "1\x11" << 0.0 << 17 << "A1";
        QTest::addRow("remove none") << "Quita" << "A,B" << 0.0 << 59 << "A,B";
        QTest::addRow("2d half away") << "Dos" << "" << 6.5 << 0 << "07";
        QTest::addRow("2d rounds down") << "Dos" << "" << 6.49 << 0 << "06";
        QTest::addRow("2d three digits") << "Dos" << "" << 123.0 << 0 << "123";
        QTest::addRow("2d negative") << "Dos" << "" << -5.0 << 0 << "-05";
        QTest::addRow("2d small negative") << "Dos" << "" << -0.4 << 0 << "00";
        QTest::addRow("negative zero") << "General" << "" << -0.0 << 0 << "0";
        QTest::addRow("no noise") << "General" << "" << 0.1 + 0.2 << 0 << "0.3";
        QTest::addRow("0.7/10") << "General" << "" << 0.7 / 10 << 0 << "0.07";
        QTest::addRow("15 digits") << "General" << "" << 1.23456789012345678 << 0 << "1.23456789012346";
        QTest::addRow("carry to E") << "General" << "" << 999999999999999.9 << 0 << "1E+15";
        QTest::addRow("small plain") << "General" << "" << 0.0001 << 0 << "0.0001";
        QTest::addRow("smaller E") << "General" << "" << 0.00001234 << 0 << "1.234E-05";
        QTest::addRow("large plain") << "General" << "" << 999999999999999.0 << 0 << "999999999999999";
        QTest::addRow("negative E") << "General" << "" << -2e20 << 0 << "-2E+20";
        QTest::addRow("infinity") << "General" << "" << inf << 0 << "!";
        QTest::addRow("NaN") << "General" << "" << std::nan("") << 0 << "!";
        QTest::addRow("hex from 5") << "Hex4" << "\x01\x02\x03\x04\x12" "4Vx" << 5.0 << 0 << "12345678";
        QTest::addRow("hex missing are 0") << "Hex4" << "AB" << 1.0 << 0 << "41420000";
        QTest::addRow("hex nothing left") << "Hex4" << "AB" << 9.0 << 0 << "0";
        QTest::addRow("hex not a byte") << "Hex4" << QString::fromUtf16(u"A\u0100") << 1.0 << 0 << "!";
        QTest::addRow("hex position 0") << "Hex4" << "ABCD" << 0.0 << 0 << "!";
        QTest::addRow("float lower case") << "Float" << "0000803f" << 0.0 << 0 << "3f800000";
        QTest::addRow("float largest") << "Float" << "FFFF7F7F" << 0.0 << 0 << "7f7fffff";
        QTest::addRow("float smallest normal") << "Float" << "00008000" << 0.0 << 0 << "800000";
        // No special case for zero: all-zero digits read as 2^-127.
        QTest::addRow("float zeros") << "Float" << "00000000" << 0.0 << 0 << "400000";
        QTest::addRow("float negative zeros") << "Float" << "00000080" << 0.0 << 0 << "80400000";
        QTest::addRow("float 7 digits") << "Float" << "0000803" << 0.0 << 0 << "!";
        QTest::addRow("float 9 digits") << "Float" << "0000803F0" << 0.0 << 0 << "!";
        QTest::addRow("float blank") << "Float" << "0000 03F" << 0.0 << 0 << "!";
        QTest::addRow("float infinity") << "Float" << "0000807F" << 0.0 << 0 << "!";
        QTest::addRow("float NaN") << "Float" << "0000C07F" << 0.0 << 0 << "!";
        // clang-format on
    }
    void cortes() {
        QFETCH(QString, f);
        QFETCH(QString, t);
        QFETCH(double, x);
        QFETCH(int, n);
        QFETCH(QString, esperado);
        const auto r = [&]() -> QString {
            if (f == u"Corta")
                return Corta(t, int(x), n);
            if (f == u"Desde")
                return Desde(t, int(x));
            if (f == u"Busca")
                return QString::number(Busca(t.section(u'|', 0, 0), t.section(u'|', 1), n));
            if (f == u"Recorta")
                return Recorta(t);
            if (f == u"Quita")
                return QuitaCaracter(t, n);
            if (f == u"Dos")
                return DosDigitos(x);
            if (f == u"General")
                return FormatoGeneral(x);
            if (f == u"Hex4")
                return QString::number(HexCuatro(t, int(x)), 16);
            return QString::number(std::bit_cast<quint32>(FlotanteHex(t)), 16);
        };
        if (esperado == u"!")
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, r());
        else
            QCOMPARE(r(), esperado);
    }
};

QTEST_GUILESS_MAIN(TstCortes)
#include "tst_cortes.moc"
