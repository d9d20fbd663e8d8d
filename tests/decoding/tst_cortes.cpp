#include "decoding/contexto.h"
#include "decoding/cortes.h"

#include <QTest>

#include <bit>
#include <limits>

using namespace ort;

namespace {

QString Bytes(std::initializer_list<int> bytes) {
    QString t;
    for (int b : bytes)
        t += QChar(char16_t(b));
    return t;
}

// The length that stands for Desde in corta's rows.
constexpr int kDesde = std::numeric_limits<int>::min();

} // namespace

class TstCortes : public QObject {
    Q_OBJECT
private slots:
    // Corta(s, n) and, with n = kDesde, Desde(s) on "ABCDE"; a position that does not fit fails.
    void corta_data() {
        QTest::addColumn<int>("s");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("esperado");
        QTest::addColumn<bool>("falla");
        // clang-format off
        QTest::addRow("inside") << 2 << 3 << "BCD" << false;
        QTest::addRow("past the end") << 4 << 5 << "DE" << false;
        QTest::addRow("just past") << 6 << 1 << "" << false;
        QTest::addRow("far past") << 90 << 2 << "" << false;
        QTest::addRow("length 0") << 1 << 0 << "" << false;
        QTest::addRow("start 0") << 0 << 2 << "" << true;
        QTest::addRow("start < 0") << -4 << 5 << "" << true;
        QTest::addRow("length < 0") << 2 << -1 << "" << true;
        QTest::addRow("from 2") << 2 << kDesde << "BCDE" << false;
        QTest::addRow("from 5") << 5 << kDesde << "E" << false;
        QTest::addRow("from 6") << 6 << kDesde << "" << false;
        QTest::addRow("from 0") << 0 << kDesde << "" << true;
        // clang-format on
    }
    void corta() {
        QFETCH(int, s);
        QFETCH(int, n);
        QFETCH(QString, esperado);
        QFETCH(bool, falla);
        const QString t = QStringLiteral("ABCDE");
        if (falla && n == kDesde)
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, Desde(t, s));
        else if (falla)
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, Corta(t, s, n));
        else
            QCOMPARE(n == kDesde ? Desde(t, s) : Corta(t, s, n), esperado);
    }

    void textos() {
        const QString t = QStringLiteral("A,B,C");
        QCOMPARE(Desde(QString(), 1), QString());
        QCOMPARE(Busca(t, QStringLiteral(",")), 2);
        QCOMPARE(Busca(t, QStringLiteral(","), 3), 4);
        QCOMPARE(Busca(t, QStringLiteral(","), 5), 0);
        QCOMPARE(Busca(t, QStringLiteral("b")), 0); // case-sensitive
        QCOMPARE(Busca(t, QStringLiteral("B,C")), 3);
        QCOMPARE(Busca(QString(), QStringLiteral(",")), 0);
        QCOMPARE(Recorta(QStringLiteral("  1 2  ")), QStringLiteral("1 2"));
        QCOMPARE(Recorta(QStringLiteral("   ")), QString());
        QCOMPARE(Recorta(QStringLiteral("\t1 ")), QStringLiteral("\t1"));
        QCOMPARE(QuitaCaracter(Bytes({17, 'A', 17, '1', 17}), 17), QStringLiteral("A1"));
        QCOMPARE(QuitaCaracter(QStringLiteral("A,B"), 59), QStringLiteral("A,B"));
    }

    // Numbers as written: DosDigitos (dos) or the general format; "" where it fails.
    void numeros_data() {
        QTest::addColumn<bool>("dos");
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("2d half away") << true << 6.5 << "07";
        QTest::addRow("2d rounds down") << true << 6.49 << "06";
        QTest::addRow("2d three digits") << true << 123.0 << "123";
        QTest::addRow("2d negative") << true << -5.0 << "-05";
        QTest::addRow("2d small negative") << true << -0.4 << "00";
        QTest::addRow("negative zero") << false << -0.0 << "0";
        QTest::addRow("no noise") << false << 0.1 + 0.2 << "0.3";
        QTest::addRow("12.3/100") << false << 12.3 / 100 << "0.123";
        QTest::addRow("0.7/10") << false << 0.7 / 10 << "0.07";
        QTest::addRow("15 digits") << false << 1.23456789012345678 << "1.23456789012346";
        QTest::addRow("carry to E") << false << 999999999999999.9 << "1E+15";
        QTest::addRow("small plain") << false << 0.0001 << "0.0001";
        QTest::addRow("smaller E") << false << 0.00001234 << "1.234E-05";
        QTest::addRow("large plain") << false << 999999999999999.0 << "999999999999999";
        QTest::addRow("larger E") << false << 1.5e15 << "1.5E+15";
        QTest::addRow("negative E") << false << -2e20 << "-2E+20";
        QTest::addRow("infinity") << false << std::numeric_limits<double>::infinity() << "";
        QTest::addRow("NaN") << false << std::numeric_limits<double>::quiet_NaN() << "";
        // clang-format on
    }
    void numeros() {
        QFETCH(bool, dos);
        QFETCH(double, x);
        QFETCH(QString, esperado);
        if (dos)
            QCOMPARE(DosDigitos(x), esperado);
        else if (esperado.isEmpty())
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, FormatoGeneral(x));
        else
            QCOMPARE(FormatoGeneral(x), esperado);
    }

    // Four bytes from position k, the first the most significant; 0 for "fails".
    void hexCuatro_data() {
        QTest::addColumn<QString>("trama");
        QTest::addColumn<int>("k");
        QTest::addColumn<quint32>("esperado");
        // clang-format off
        QTest::addRow("from 5") << Bytes({1, 2, 3, 4, 0x12, 0x34, 0x56, 0x78}) << 5 << quint32(0x12345678);
        QTest::addRow("missing are 0") << "AB" << 1 << quint32(0x41420000);
        QTest::addRow("nothing left") << "AB" << 9 << quint32(0);
        QTest::addRow("not a byte") << Bytes({0x41, 0x100, 0, 0}) << 1 << quint32(1);
        QTest::addRow("position 0") << "ABCD" << 0 << quint32(1);
        // clang-format on
    }
    void hexCuatro() {
        QFETCH(QString, trama);
        QFETCH(int, k);
        QFETCH(quint32, esperado);
        if (esperado == 1)
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, HexCuatro(trama, k));
        else
            QCOMPARE(HexCuatro(trama, k), esperado);
    }

    // Eight hexadecimal digits, low byte first, as a single-precision number (its bits); 0 for
    // digits refused.
    void flotanteHex_data() {
        QTest::addColumn<QString>("digitos");
        QTest::addColumn<quint32>("bits");
        // clang-format off
        QTest::addRow("lower case") << "0000803f" << quint32(0x3F800000);
        QTest::addRow("largest") << "FFFF7F7F" << quint32(0x7F7FFFFF);
        QTest::addRow("smallest normal") << "00008000" << quint32(0x00800000);
        // No special case for zero: all-zero digits read as 2^-127.
        QTest::addRow("zeros") << "00000000" << quint32(0x00400000);
        QTest::addRow("negative zeros") << "00000080" << quint32(0x80400000);
        QTest::addRow("7 digits") << "0000803" << quint32(0);
        QTest::addRow("9 digits") << "0000803F0" << quint32(0);
        QTest::addRow("not hex") << "00G0803F" << quint32(0);
        QTest::addRow("blank") << "0000 03F" << quint32(0);
        QTest::addRow("infinity") << "0000807F" << quint32(0);
        QTest::addRow("NaN") << "0000C07F" << quint32(0);
        // clang-format on
    }
    void flotanteHex() {
        QFETCH(QString, digitos);
        QFETCH(quint32, bits);
        if (bits == 0)
            QVERIFY_THROWS_EXCEPTION(FallaDecodificacion, FlotanteHex(digitos));
        else
            QCOMPARE(std::bit_cast<quint32>(FlotanteHex(digitos)), bits);
    }
};

QTEST_GUILESS_MAIN(TstCortes)
#include "tst_cortes.moc"
