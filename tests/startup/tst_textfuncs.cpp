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
        QTest::addRow("date written") << "fecha-" << "2026-12-04T09:05:07" << "2026-12-04 09:05:07";
        QTest::addRow("date with slashes") << "fecha/" << "0099-01-02T23:00:59" << "0099/01/02 23:00:59";
        QTest::addRow("time HHmm") << "hhmm" << "2026-12-04T09:05:00" << "0905";
        QTest::addRow("date read") << "lee" << "2026-12-04 23:59:59" << "2026-12-04T23:59:59";
        QTest::addRow("date read with T") << "lee" << "2026-01-31T00:00:00" << "2026-01-31T00:00:00";
        QTest::addRow("no such day") << "lee" << "2026-02-30 09:05:07" << "";
        QTest::addRow("not a digit") << "lee" << "2026-12-04 09:05:0x" << "";
        QTest::addRow("one digit hour") << "lee" << "2026-12-04 9:05:07 " << "";
        // clang-format on
    }
    void texto() {
        QFETCH(QString, funcion);
        QFETCH(QString, entrada);
        QFETCH(QString, esperado);
        const QString r =
            funcion == "ruta" ? RutaConBarra(entrada)
            : funcion == "ancho"
                ? FijaAncho(entrada.section('|', 0, 0), entrada.section('|', 1).toInt())
            : funcion == "acentos" ? SinAcentos(entrada)
            : funcion == "numero"  ? QString::number(numeroDe(entrada))
            : funcion == "utf8"    ? decodificaTexto(entrada.toUtf8())
            : funcion == "1252"    ? decodificaTexto(entrada.toLatin1())
            : funcion.startsWith("fecha")
                ? textoFechaHora(QDateTime::fromString(entrada, Qt::ISODate).date(),
                                 QDateTime::fromString(entrada, Qt::ISODate).time(), funcion.back())
            : funcion == "hhmm" ? textoHHmm(QDateTime::fromString(entrada, Qt::ISODate).time())
            : funcion == "lee" ? fechaHoraLocal(entrada).value_or(QDateTime()).toString(Qt::ISODate)
                               : QString::number(aEntero16(entrada.toDouble()));
        QCOMPARE(r, esperado);
        if (funcion == "acentos")
            QCOMPARE(r.size(), entrada.size());
    }
};

QTEST_GUILESS_MAIN(TstTextFuncs)
#include "tst_textfuncs.moc"
