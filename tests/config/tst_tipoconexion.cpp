#include "config/tipoconexion.h"

#include <QTest>

using namespace ort;

Q_DECLARE_METATYPE(ort::TipoConexion)

class TstTipoConexion : public QObject {
    Q_OBJECT
private slots:
    // The two codes that are no instrument win over the record's type; the type is "TCP/IP"
    // exactly (the opening stores it in capitals) or a serial line.
    void tipo_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QString>("tipoCon");
        QTest::addColumn<TipoConexion>("esperado");
        // clang-format off
        QTest::addRow("serial instrument")   << "MX8  " << "RS232"   << TipoConexion::Serie;
        QTest::addRow("empty type")          << "PEL10" << ""        << TipoConexion::Serie;
        QTest::addRow("socket")              << "GSE01" << "TCP/IP"  << TipoConexion::Tcp;
        QTest::addRow("lower-case type")     << "GSE01" << "tcp/ip"  << TipoConexion::Serie;
        QTest::addRow("type with a blank")   << "GSE01" << "TCP/IP " << TipoConexion::Serie;
        QTest::addRow("clock")               << "TIMER" << ""        << TipoConexion::Reloj;
        QTest::addRow("clock on a socket")   << "TIMER" << "TCP/IP"  << TipoConexion::Reloj;
        QTest::addRow("unused, padded")      << "NADA " << "TCP/IP"  << TipoConexion::Nada;
        QTest::addRow("unused")              << "NADA"  << ""        << TipoConexion::Nada;
        QTest::addRow("lower-case code")     << "timer" << ""        << TipoConexion::Serie;
        QTest::addRow("code with a prefix")  << "XNADA" << ""        << TipoConexion::Serie;
        // clang-format on
    }
    void tipo() {
        QFETCH(QString, conex);
        QFETCH(QString, tipoCon);
        QFETCH(TipoConexion, esperado);
        QCOMPARE(TipoDePuerto(conex, tipoCon), esperado);
        if (esperado == TipoConexion::Serie || esperado == TipoConexion::Tcp)
            QCOMPARE(TipoDeRegistro(tipoCon), esperado);
    }
};

QTEST_GUILESS_MAIN(TstTipoConexion)
#include "tst_tipoconexion.moc"
