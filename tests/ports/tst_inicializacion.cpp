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
        QTest::newRow("XRITE")             << "XRITE" << Comandos{" os\r"}                        << false;
        QTest::newRow("DL-10")             << "DL-10" << Comandos{"S1A1000\r"}                    << false;
        QTest::newRow("PEL10")             << "PEL10" << Comandos{"$RE 0\r", "$RA 3\r", "$AZ\r"}  << true;
        QTest::newRow("MIG-1")             << "MIG-1" << Comandos{" \r"}                          << false;
        QTest::newRow("MUX40")             << "MUX40" << Comandos{" \r"}                          << false;
        QTest::newRow("MIG-2")             << "MIG-2" << Comandos{"R\r"}                          << false;
        QTest::newRow("MX200")             << "MX200" << Comandos{"R\r"}                          << false;
        QTest::newRow("lower case")        << "pel10" << Comandos{}                               << false;
        QTest::newRow("mixed case")        << "Xrite" << Comandos{}                               << false;
        QTest::newRow("other key")         << "GSE01" << Comandos{}                               << false;
        QTest::newRow("empty key")         << ""      << Comandos{}                               << false;
        QTest::newRow("inner blank")       << "PEL 10" << Comandos{"$RE 0\r", "$RA 3\r", "$AZ\r"} << true;
        QTest::newRow("padded short key")  << "MX8  " << Comandos{}                               << false;
        QTest::newRow("blanks around")     << " MUX40 " << Comandos{" \r"}                        << false;
        QTest::newRow("tab is no blank")   << "XRITE\t" << Comandos{}                             << false;
        QTest::newRow("prefix is not key") << "MIG-10" << Comandos{}                              << false;
        // clang-format on
    }
    void comandos() {
        QFETCH(QString, conex);
        QFETCH(Comandos, esperados);
        QFETCH(bool, avisa);
        const Inicializacion r = InicializacionInstrumento(conex);
        QCOMPARE(r.comandos, esperados);
        for (const auto& c : r.comandos)
            QVERIFY(c.endsWith('\r'));
        QCOMPARE(r.mensaje.has_value(), avisa);
        if (avisa)
            QCOMPARE(*r.mensaje, QString::fromUtf8("PEL10: Inicialización OK."));
    }
};

QTEST_GUILESS_MAIN(TstInicializacion)
#include "tst_inicializacion.moc"
