#include "decoding/contexto.h"
#include "decoding/cortes.h"

#include <QTest>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

using namespace ort;

namespace {

QString Bytes(std::initializer_list<int> bytes) {
    QString t;
    for (int b : bytes)
        t += QChar(char16_t(b));
    return t;
}

} // namespace

class TstCortes : public QObject {
    Q_OBJECT
private slots:
    void corta_data() {
        QTest::addColumn<int>("s");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("esperado");
        QTest::addColumn<bool>("falla");
        QTest::newRow("inside") << 2 << 3 << "BCD" << false;
        QTest::newRow("runs past the end") << 4 << 5 << "DE" << false;
        QTest::newRow("starts just past the end") << 6 << 1 << "" << false;
        QTest::newRow("starts far past the end") << 90 << 2 << "" << false;
        QTest::newRow("zero length") << 1 << 0 << "" << false;
        QTest::newRow("start 0 does not fit") << 0 << 2 << "" << true;
        QTest::newRow("negative start does not fit") << -4 << 5 << "" << true;
        QTest::newRow("negative length does not fit") << 2 << -1 << "" << true;
    }
    void corta() {
        QFETCH(int, s);
        QFETCH(int, n);
        QFETCH(QString, esperado);
        QFETCH(bool, falla);
        if (falla) {
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, Corta(QStringLiteral("ABCDE"), s, n));
            return;
        }
        QCOMPARE(Corta(QStringLiteral("ABCDE"), s, n), esperado);
    }

    void desde() {
        QCOMPARE(Desde(QStringLiteral("ABCDE"), 2), QStringLiteral("BCDE"));
        QCOMPARE(Desde(QStringLiteral("ABCDE"), 5), QStringLiteral("E"));
        QCOMPARE(Desde(QStringLiteral("ABCDE"), 6), QString());
        QCOMPARE(Desde(QString(), 1), QString());
        QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, Desde(QStringLiteral("ABCDE"), 0));
    }

    void busca() {
        const QString t = QStringLiteral("A,B,C");
        QCOMPARE(Busca(t, QStringLiteral(",")), 2);
        QCOMPARE(Busca(t, QStringLiteral(","), 3), 4);
        QCOMPARE(Busca(t, QStringLiteral(","), 5), 0);
        QCOMPARE(Busca(t, QStringLiteral("b")), 0); // case-sensitive
        QCOMPARE(Busca(t, QStringLiteral("B,C")), 3);
        QCOMPARE(Busca(QString(), QStringLiteral(",")), 0);
    }

    void recortaYQuita() {
        QCOMPARE(Recorta(QStringLiteral("  1 2  ")), QStringLiteral("1 2"));
        QCOMPARE(Recorta(QStringLiteral("   ")), QString());
        QCOMPARE(Recorta(QStringLiteral("\t1 ")), QStringLiteral("\t1"));
        QCOMPARE(QuitaCaracter(Bytes({17, 'A', 17, '1', 17}), 17), QStringLiteral("A1"));
        QCOMPARE(QuitaCaracter(QStringLiteral("A,B"), 59), QStringLiteral("A,B"));
    }

    void dosDigitos_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("one digit") << 7.0 << "07";
        QTest::newRow("two digits") << 12.0 << "12";
        QTest::newRow("zero") << 0.0 << "00";
        QTest::newRow("half rounds away from zero") << 6.5 << "07";
        QTest::newRow("rounds down") << 6.49 << "06";
        QTest::newRow("three digits stay") << 123.0 << "123";
        QTest::newRow("negative keeps its sign") << -5.0 << "-05";
        QTest::newRow("small negative is zero") << -0.4 << "00";
    }
    void dosDigitos() {
        QFETCH(double, x);
        QFETCH(QString, esperado);
        QCOMPARE(DosDigitos(x), esperado);
    }

    void formatoGeneral_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("trailing zero dropped") << 12.50 << "12.5";
        QTest::newRow("whole number") << 100.0 << "100";
        QTest::newRow("hundredths") << 1234 / 100.0 << "12.34";
        QTest::newRow("negative") << -2.0 << "-2";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("no float noise") << 0.1 + 0.2 << "0.3";
        QTest::newRow("hundredths of 12.3") << 12.3 / 100 << "0.123";
        QTest::newRow("tenths of 0.7") << 0.7 / 10 << "0.07";
        QTest::newRow("15 significant digits") << 1.23456789012345678 << "1.23456789012346";
        QTest::newRow("rounding carries into the exponent") << 999999999999999.9 << "1E+15";
        QTest::newRow("small written plainly") << 0.0001 << "0.0001";
        QTest::newRow("smaller in exponent form") << 0.00001234 << "1.234E-05";
        QTest::newRow("large written plainly") << 999999999999999.0 << "999999999999999";
        QTest::newRow("larger in exponent form") << 1.5e15 << "1.5E+15";
        QTest::newRow("negative exponent form") << -2e20 << "-2E+20";
    }
    void formatoGeneral() {
        QFETCH(double, x);
        QFETCH(QString, esperado);
        QCOMPARE(FormatoGeneral(x), esperado);
    }
    void formatoGeneralSinInfinitos() {
        QVERIFY_THROWS_EXCEPTION(FallaDecodificacion,
                                 FormatoGeneral(std::numeric_limits<double>::infinity()));
        QVERIFY_THROWS_EXCEPTION(FallaDecodificacion,
                                 FormatoGeneral(std::numeric_limits<double>::quiet_NaN()));
    }

    void hexCuatro_data() {
        QTest::addColumn<QString>("trama");
        QTest::addColumn<int>("k");
        QTest::addColumn<quint32>("esperado");
        QTest::newRow("first byte most significant")
            << Bytes({0x00, 0x01, 0xE2, 0x40}) << 1 << quint32(0x0001E240);
        QTest::newRow("high bytes") << Bytes({0xFF, 0xFF, 0xFF, 0x38}) << 1 << quint32(0xFFFFFF38);
        QTest::newRow("from position 5")
            << Bytes({1, 2, 3, 4, 0x12, 0x34, 0x56, 0x78}) << 5 << quint32(0x12345678);
        QTest::newRow("missing characters are zero bytes") << "AB" << 1 << quint32(0x41420000);
        QTest::newRow("nothing left") << "AB" << 9 << quint32(0);
    }
    void hexCuatro() {
        QFETCH(QString, trama);
        QFETCH(int, k);
        QFETCH(quint32, esperado);
        QCOMPARE(HexCuatro(trama, k), esperado);
    }
    void hexCuatroSoloBytes() {
        QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, HexCuatro(Bytes({0x41, 0x100, 0, 0}), 1));
        QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, HexCuatro(QStringLiteral("ABCD"), 0));
    }

    void flotanteHex_data() {
        QTest::addColumn<QString>("digitos");
        QTest::addColumn<quint32>("bits"); // of the expected single-precision number
        QTest::newRow("one") << "0000803F" << quint32(0x3F800000);
        QTest::newRow("minus one") << "000080BF" << quint32(0xBF800000);
        QTest::newRow("lower-case digits") << "0000803f" << quint32(0x3F800000);
        QTest::newRow("one tenth") << "CDCCCC3D" << quint32(0x3DCCCCCD);
        QTest::newRow("largest") << "FFFF7F7F" << quint32(0x7F7FFFFF);
        QTest::newRow("smallest normal") << "00008000" << quint32(0x00800000);
        // No special case for zero: all-zero digits read as 2^-127.
        QTest::newRow("zero digits") << "00000000" << quint32(0x00400000);
        QTest::newRow("negative zero digits") << "00000080" << quint32(0x80400000);
    }
    void flotanteHex() {
        QFETCH(QString, digitos);
        QFETCH(quint32, bits);
        QCOMPARE(std::bit_cast<quint32>(FlotanteHex(digitos)), bits);
    }
    void flotanteHexRechaza_data() {
        QTest::addColumn<QString>("digitos");
        QTest::newRow("seven digits") << "0000803";
        QTest::newRow("nine digits") << "0000803F0";
        QTest::newRow("not hexadecimal") << "00G0803F";
        QTest::newRow("blank inside") << "0000 03F";
        QTest::newRow("infinity") << "0000807F";
        QTest::newRow("not a number") << "0000C07F";
    }
    void flotanteHexRechaza() {
        QFETCH(QString, digitos);
        QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, FlotanteHex(digitos));
    }
};

QTEST_GUILESS_MAIN(TstCortes)
#include "tst_cortes.moc"
