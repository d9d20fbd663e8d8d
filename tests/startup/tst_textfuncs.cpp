#include "startup/textfuncs.h"

#include <QTest>

using namespace ort;

class TstTextFuncs : public QObject {
    Q_OBJECT
private slots:
    void texto_data() {
        QTest::addColumn<QString>("funcion");
        QTest::addColumn<QString>("entrada");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("path: trailing blank") << "ruta" << "/datos/ort " << "/datos/ort/";
        QTest::addRow("path: ends in separator") << "ruta" << "/" << "/";
        QTest::addRow("path: drive keeps its colon") << "ruta" << "C:" << "C:";
        QTest::addRow("path: empty") << "ruta" << "" << "/";
        QTest::addRow("width: pads") << "ancho" << "AB|5" << "AB   ";
        QTest::addRow("width: cuts") << "ancho" << "ABCDEFG|5" << "ABCDE";
        QTest::addRow("width: zero") << "ancho" << "AB|0" << "";
        QTest::addRow("accents: enye") << "acentos" << "Peña" << "Pena";
        QTest::addRow("accents: AE then O slash") << "acentos" << "ÆØ" << "A_";
        QTest::addRow("accents: degree sign") << "acentos" << "25°C" << "25_C";
        QTest::addRow("accents: euro, a symbol of 1252") << "acentos" << "5€" << "5_";
        QTest::addRow("accents: outside 1252") << "acentos" << "Ωx" << "_x";
        QTest::addRow("accents: plain ascii") << "acentos" << "AB-12.5%o\"" << "AB-12.5%o\"";
        QTest::addRow("number: unit after it") << "numero" << "12.5mm" << "12.5";
        QTest::addRow("number: letters") << "numero" << "abc" << "0";
        QTest::addRow("number: blanks and sign") << "numero" << "   -3.25" << "-3.25";
        QTest::addRow("number: exponent") << "numero" << "1.5E3x" << "1500";
        QTest::addRow("number: dangling exponent") << "numero" << "2e" << "2";
        QTest::addRow("number: comma is no point") << "numero" << "12,5" << "12";
        QTest::addRow("number: empty") << "numero" << "" << "0";
        QTest::addRow("int16: half down") << "entero16" << "2.5" << "2";
        QTest::addRow("int16: half up") << "entero16" << "3.5" << "4";
        QTest::addRow("int16: bound") << "entero16" << "1e9" << "32767";
        QTest::addRow("decode: utf-8") << "utf8" << "Peña" << "Peña";
        QTest::addRow("decode: 1252") << "1252" << "Peña" << "Peña";
        QTest::addRow("decode: euro of 1252") << "1252" << QString(QChar(0x80)) << "€";
        // clang-format on
    }
    void texto() {
        QFETCH(QString, funcion);
        QFETCH(QString, entrada);
        QFETCH(QString, esperado);
        const QString r = funcion == "ruta"      ? RutaConBarra(entrada)
                          : funcion == "ancho"   ? FijaAncho(entrada.section('|', 0, 0),
                                                             entrada.section('|', 1).toInt())
                          : funcion == "acentos" ? SinAcentos(entrada)
                          : funcion == "numero"  ? QString::number(NumeroDe(entrada))
                          : funcion == "utf8"    ? DecodificaTexto(entrada.toUtf8())
                          : funcion == "1252"    ? DecodificaTexto(entrada.toLatin1())
                                                 : QString::number(AEntero16(entrada.toDouble()));
        QCOMPARE(r, esperado);
        if (funcion == "acentos")
            QCOMPARE(r.size(), entrada.size());
    }
};

QTEST_GUILESS_MAIN(TstTextFuncs)
#include "tst_textfuncs.moc"
