#include "decoding/registro.h"
#include "support/contextofalso.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstRegistro : public QObject {
    Q_OBJECT
private slots:
    // The key is compared on all five characters, blanks included; a code with no decoder of
    // its own reads channel 1, the frame from the port's start position.
    void despacho_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<int>("posInicio");
        QTest::addColumn<QString>("trama");
        QTest::addColumn<QStringList>("esperado");
        const QString mux = QStringLiteral("05 +012.50"),
                      dp7 = TramaCon({{1, "Y02"}, {10, "+0012.500"}, {19, "04/12/95 10:30"}});
        // clang-format off
        QTest::addRow("MX8 padded") << "MX8  " << 1 << mux << QStringList{"05:+012.50"};
        QTest::addRow("MX8N is not MX8") << "MX8N " << 1 << mux << QStringList{"05:12.5"};
        QTest::addRow("lower case") << "mx8  " << 1 << mux << QStringList{"01:" + mux};
        QTest::addRow("leading blank") << " MX8 " << 1 << mux << QStringList{"01:" + mux};
        QTest::addRow("longer than 5") << "MX8   " << 1 << mux << QStringList{"01:" + mux};
        QTest::addRow("empty key") << "" << 1 << mux << QStringList{"01:" + mux};
        QTest::addRow("DP7 padded") << "DP7  " << 1 << dp7 << QStringList{"01:+0012.500 @19950412 1030"};
        QTest::addRow("AND padded") << "AND  " << 1 << "OL" << QStringList();
        QTest::addRow("HX1 padded") << "HX1  " << 1 << "01 0000803F" << QStringList{"01:+0001.0000"};
        QTest::addRow("default from 3") << "ZZ9  " << 3 << "AB12.5" << QStringList{"01:12.5"};
        QTest::addRow("default past end") << "ZZ9  " << 7 << "AB12.5" << QStringList{"01:"};
        QTest::addRow("default line ends") << "ZZ9  " << 1 << "12.5\r\n" << QStringList{"01:12.5\r\n"};
        QTest::addRow("default from 0") << "ZZ9  " << 0 << "12.5" << QStringList{"fails"};
        // clang-format on
    }
    void despacho() {
        QFETCH(QString, conex);
        QFETCH(int, posInicio);
        QFETCH(QString, trama);
        QFETCH(QStringList, esperado);
        RelojFalso reloj;
        ContextoFalso c(reloj, 1, posInicio);
        c.pendientes = QStringList{"00012.3"};
        EstadoDecodificadores e;
        const bool falla = DecodificaConRegistro(conex, trama, c, e).has_value();
        QCOMPARE(falla ? QStringList{"fails"} : c.resumen(), esperado);
        const bool propio = !conex.startsWith(u"ZZ9") && !esperado.value(0).startsWith(u"01:05 ");
        QCOMPARE(TieneDecodificador(conex), propio);
    }
};

QTEST_GUILESS_MAIN(TstRegistro)
#include "tst_registro.moc"
