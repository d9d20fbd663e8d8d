#include "decoding/registro.h"
#include "support/contextofalso.h"

#include <QSet>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstRegistro : public QObject {
    Q_OBJECT
private slots:
    // Every instrument code ORT knows has its own decoder, whether the key is padded or not.
    void codigos() {
        const QStringList esperados = {
            "GSE01", "TIMER", "EQ4HP", "FOWLE", "PRECI", "PSION", "OHAUG", "OHAU2", "AB520",
            "SARE2", "ARITE", "RTDIG", "MARP1", "SAR81", "SARMC", "XRITE", "TLOAD", "ISHID",
            "METBD", "PHARM", "AFIII", "BARC1", "QC300", "QCIII", "CHYJL", "ST7DR", "PANA1",
            "PANA2", "PANA3", "METPM", "MSICS", "AND",   "T8530", "T9481", "KSCOU", "KSTEC",
            "GPORT", "METDP", "MUXBT", "TP844", "MUX10", "DP1HS", "DMX2B", "DMX2C", "MUX11",
            "MX8",   "MX8N",  "HX1",   "FOCUS", "FOCUG", "MIRAN", "MIG-1", "MIG-2", "MX110",
            "MX200", "MUX40", "TODLR", "TDLRF", "PEL10", "DL-10", "DP3DX", "DP7",   "DM510",
            "QMATE", "D3000", "DMYTE"};
        QStringList conocidos = CodigosConocidos();
        QCOMPARE(conocidos.size(), esperados.size());
        conocidos.sort();
        QStringList ordenados = esperados;
        ordenados.sort();
        QCOMPARE(conocidos, ordenados);
        for (const auto& codigo : esperados) {
            QVERIFY2(TieneDecodificador(codigo.leftJustified(5, u' ')), qPrintable(codigo));
            QVERIFY2(TieneDecodificador(codigo), qPrintable(codigo));
            QVERIFY(BuscaDecodificador(codigo) != DecodificadorPorDefecto);
        }
    }

    // The instrument table's rows are well formed: a code of at most five characters without
    // blanks, unique once padded; a decoder; channels and frame forms; opening commands that each
    // end in CR and together are the row's text; a notice only after opening commands.
    void filasDeLaTabla() {
        QSet<QString> vistos;
        for (const Instrumento* i : Instrumentos()) {
            const QString codigo = QString::fromLatin1(i->codigo);
            QVERIFY2(!codigo.isEmpty() && codigo.size() <= 5 && !codigo.contains(u' '), i->codigo);
            QVERIFY2(!vistos.contains(codigo.leftJustified(5, u' ')), i->codigo);
            vistos << codigo.leftJustified(5, u' ');
            QVERIFY2(i->decodificador && i->canales >= 1 && i->variantes >= 1, i->codigo);
            const QList<QByteArray> comandos = i->comandosApertura();
            for (const QByteArray& c : comandos)
                QVERIFY2(c.endsWith('\r') && c.count('\r') == 1, i->codigo);
            QCOMPARE(comandos.join(), QByteArray(i->apertura));
            QVERIFY2(!i->aviso || !comandos.isEmpty(), i->codigo);
            QCOMPARE(i->textoAviso().isEmpty(), !i->aviso);
            if (i->aviso)
                QVERIFY(i->textoAviso().startsWith(codigo + QStringLiteral(": ")));
        }
        QCOMPARE(vistos.size(), CodigosConocidos().size());
    }

    // The key is compared on all five characters, blanks included.
    void despacho_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QString>("trama");
        QTest::addColumn<QStringList>("esperado");
        const QString mux = QStringLiteral("05 +012.50");
        QTest::newRow("MX8 padded") << "MX8  " << mux << QStringList{"05:+012.50"};
        QTest::newRow("MX8 as written") << "MX8" << mux << QStringList{"05:+012.50"};
        QTest::newRow("MX8N padded is not MX8") << "MX8N " << mux << QStringList{"05:12.5"};
        QTest::newRow("MX8 in lower case is unknown") << "mx8  " << mux << QStringList{"01:" + mux};
        QTest::newRow("MX8 with a leading blank is unknown")
            << " MX8 " << mux << QStringList{"01:" + mux};
        QTest::newRow("longer than five is unknown") << "MX8   " << mux << QStringList{"01:" + mux};
        QTest::newRow("empty key is unknown") << "" << mux << QStringList{"01:" + mux};
        QTest::newRow("DP7 padded")
            << "DP7  " << TramaCon({{1, "Y02"}, {10, "+0012.500"}, {19, "04/12/95 10:30"}})
            << QStringList{"01:+0012.500 @19950412 1030"};
        QTest::newRow("AND padded") << "AND  "
                                    << "OL" << QStringList();
        QTest::newRow("HX1 padded") << "HX1  "
                                    << "01 0000803F" << QStringList{"01:+0001.0000"};
    }
    void despacho() {
        QFETCH(QString, conex);
        QFETCH(QString, trama);
        QFETCH(QStringList, esperado);
        RelojFalso reloj;
        ContextoFalso c(reloj);
        c.pendientes = QStringList{"00012.3"};
        EstadoDecodificadores e;
        QCOMPARE(DecodificaConRegistro(conex, trama, c, e), std::nullopt);
        QCOMPARE(c.resumen(), esperado);
    }

    // A code with no decoder of its own: channel 1, the frame from the port's start position.
    void porDefecto_data() {
        QTest::addColumn<int>("posInicio");
        QTest::addColumn<QString>("trama");
        QTest::addColumn<QStringList>("esperado");
        QTest::newRow("from 1") << 1 << "12.5" << QStringList{"01:12.5"};
        QTest::newRow("from 3") << 3 << "AB12.5" << QStringList{"01:12.5"};
        QTest::newRow("last character") << 6 << "AB12.5" << QStringList{"01:5"};
        QTest::newRow("past the end") << 7 << "AB12.5" << QStringList{"01:"};
        QTest::newRow("line ends kept") << 1 << "12.5\r\n" << QStringList{"01:12.5\r\n"};
    }
    void porDefecto() {
        QFETCH(int, posInicio);
        QFETCH(QString, trama);
        QFETCH(QStringList, esperado);
        RelojFalso reloj;
        ContextoFalso c(reloj, 1, posInicio);
        EstadoDecodificadores e;
        QCOMPARE(DecodificaConRegistro(QStringLiteral("ZZ9  "), trama, c, e), std::nullopt);
        QCOMPARE(c.resumen(), esperado);
        QVERIFY(!TieneDecodificador(QStringLiteral("ZZ9  ")));
    }
    void porDefectoPosicionCero() {
        RelojFalso reloj;
        ContextoFalso c(reloj, 1, 0);
        EstadoDecodificadores e;
        QVERIFY(DecodificaConRegistro(QStringLiteral("ZZ9  "), QStringLiteral("12.5"), c, e));
        QVERIFY(c.lecturas.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstRegistro)
#include "tst_registro.moc"
