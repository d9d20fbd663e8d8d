#include "ports/inicializacion.h"

#include <QTest>

using namespace ort;

using Comandos = QList<QByteArray>;

class TstInicializacion : public QObject {
    Q_OBJECT
private slots:
    void comandos_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<Comandos>("esperados");
        QTest::addColumn<bool>("avisa");
        // clang-format off
        QTest::newRow("key")               << "PEL10"   << Comandos{"$RE 0\r", "$RA 3\r", "$AZ\r"} << true;
        QTest::newRow("lower case")        << "pel10"   << Comandos{}                             << false;
        QTest::newRow("mixed case")        << "Xrite"   << Comandos{}                             << false;
        QTest::newRow("other key")         << "GSE01"   << Comandos{}                             << false;
        QTest::newRow("empty key")         << ""        << Comandos{}                             << false;
        QTest::newRow("inner blank")       << "PEL 10"  << Comandos{"$RE 0\r", "$RA 3\r", "$AZ\r"} << true;
        QTest::newRow("padded short key")  << "MX8  "   << Comandos{}                             << false;
        QTest::newRow("blanks around")     << " MUX40 " << Comandos{" \r"}                        << false;
        QTest::newRow("tab is no blank")   << "XRITE\t" << Comandos{}                             << false;
        QTest::newRow("prefix is not key") << "MIG-10"  << Comandos{}                             << false;
        // clang-format on
    }
    void comandos() {
        QFETCH(QString, conex);
        QFETCH(Comandos, esperados);
        QFETCH(bool, avisa);
        const Inicializacion r = InicializacionInstrumento(conex);
        QCOMPARE(r.comandos, esperados);
        QCOMPARE(r.mensaje.has_value(), avisa);
        if (avisa)
            QCOMPARE(*r.mensaje, QString::fromUtf8("PEL10: Inicialización OK."));
    }
};

QTEST_GUILESS_MAIN(TstInicializacion)
#include "tst_inicializacion.moc"
