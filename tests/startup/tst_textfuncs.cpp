#include "startup/lectoritems.h"
#include "startup/textfuncs.h"

#include <QTest>

using namespace ort;

class TstTextFuncs : public QObject {
    Q_OBJECT
private slots:
    void rutaConBarra_data() {
        QTest::addColumn<QString>("ruta");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("trailing blank") << "/datos/ort " << "/datos/ort/";
        QTest::addRow("leading blanks") << "  /datos" << "/datos/";
        QTest::addRow("already ends in separator") << "/" << "/";
        QTest::addRow("drive name keeps its colon") << "C:" << "C:";
        QTest::addRow("empty") << "" << "/";
        // clang-format on
    }
    void rutaConBarra() {
        QFETCH(QString, ruta);
        QFETCH(QString, esperado);
        QCOMPARE(RutaConBarra(ruta), esperado);
    }

    void fijaAncho_data() {
        QTest::addColumn<QString>("s");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("pads") << "AB" << 5 << "AB   ";
        QTest::addRow("cuts") << "ABCDEFG" << 5 << "ABCDE";
        QTest::addRow("zero width") << "AB" << 0 << "";
        QTest::addRow("exact") << "ABCDE" << 5 << "ABCDE";
        // clang-format on
    }
    void fijaAncho() {
        QFETCH(QString, s);
        QFETCH(int, n);
        QFETCH(QString, esperado);
        QCOMPARE(FijaAncho(s, n), esperado);
    }

    void sinAcentos_data() {
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("enye") << QString::fromUtf8("Peña") << "Pena";
        QTest::addRow("capital U acute") << QString::fromUtf8("ÚLTIMO") << "ULTIMO";
        QTest::addRow("AE then O slash") << QString::fromUtf8("ÆØ") << "A_";
        QTest::addRow("thorn") << QString::fromUtf8("þ") << "_";
        QTest::addRow("degree sign") << QString::fromUtf8("25°C") << "25_C";
        QTest::addRow("y diaeresis and y acute") << QString::fromUtf8("ÿý") << "yy";
        QTest::addRow("euro is a symbol of 1252") << QString::fromUtf8("5€") << "5_";
        QTest::addRow("outside 1252") << QString::fromUtf8("Ωx") << "_x";
        QTest::addRow("tuberia") << QString::fromUtf8("Tubería") << "Tuberia";
        QTest::addRow("plain ascii unchanged") << "AB-12.5%o\"" << "AB-12.5%o\"";
        // clang-format on
    }
    void sinAcentos() {
        QFETCH(QString, s);
        QFETCH(QString, esperado);
        const QString r = SinAcentos(s);
        QCOMPARE(r, esperado);
        QCOMPARE(r.size(), s.size());
    }

    void numeroDe_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<double>("esperado");
        // clang-format off
        QTest::addRow("unit after number") << "12.5mm" << 12.5;
        QTest::addRow("letters") << "abc" << 0.0;
        QTest::addRow("leading blanks and sign") << "   -3.25" << -3.25;
        QTest::addRow("plus sign") << "+7" << 7.0;
        QTest::addRow("exponent") << "1.5E3x" << 1500.0;
        QTest::addRow("dangling exponent") << "2e" << 2.0;
        QTest::addRow("leading point") << ".5" << 0.5;
        QTest::addRow("comma is not a decimal point") << "12,5" << 12.0;
        QTest::addRow("empty") << "" << 0.0;
        QTest::addRow("sign alone") << "-" << 0.0;
        // clang-format on
    }
    void numeroDe() {
        QFETCH(QString, texto);
        QFETCH(double, esperado);
        QCOMPARE(NumeroDe(texto), esperado);
    }

    void decodificaTexto() {
        QCOMPARE(DecodificaTexto("Peña"), QString::fromUtf8("Peña"));
        // The same word written by Windows in its Western code page.
        QCOMPARE(DecodificaTexto(QByteArray("Pe\xf1"
                                            "a")),
                 QString::fromUtf8("Peña"));
        QCOMPARE(DecodificaTexto(QByteArray("\x80")), QString::fromUtf8("€"));
    }

    void lectorItems() {
        LectorItems l("  uno,\"dos, tres\",cuatro\r\n\"cinco\"\n\nseis");
        QCOMPARE(l.item(), std::optional<QString>("uno"));
        QCOMPARE(l.item(), std::optional<QString>("dos, tres"));
        QCOMPARE(l.item(), std::optional<QString>("cuatro"));
        QCOMPARE(l.lineaUltima(), 1);
        QCOMPARE(l.item(), std::optional<QString>("cinco"));
        QCOMPARE(l.item(), std::optional<QString>("")); // an empty line is an empty item
        QCOMPARE(l.linea(), std::optional<QString>("seis"));
        QCOMPARE(l.lineaUltima(), 4);
        QVERIFY(l.fin());
        QVERIFY(!l.item());
    }

    void enteros16() {
        QCOMPARE(AEntero16(2.5), qint16(2));
        QCOMPARE(AEntero16(3.5), qint16(4));
        QCOMPARE(AEntero16(-1.4), qint16(-1));
        QCOMPARE(AEntero16(1e9), qint16(32767));
    }
};

QTEST_GUILESS_MAIN(TstTextFuncs)
#include "tst_textfuncs.moc"
