#include "recording/gsecomando.h"
#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstGseComando : public QObject {
    Q_OBJECT
private slots:
    // The command for channel 12 of port 3 (plain ASCII), or the message of what is missing.
    void comando_data() {
        QTest::addColumn<QString>("conf");
        QTest::addColumn<QString>("comando");
        QTest::addColumn<QString>("mensaje");
        // clang-format off
        QTest::addRow("example") << "(3,12,1,'P01','5','7','OP1')" << "80.3P=\"P01\"%o80.4P=\"ABC\"%o80.5P=\"5\"%o80.6P=\"7\"%o80.7P=\"OP1\"%o80.8P=\"JUAN\"%o80.10P=\"XYZ\"%o11%^" << "";
        QTest::addRow("sequence 1, trimmed, accents") << "(3,12,1,'TUB','  lote 7 ',NULL,'OP1'),(3,12,3,'P01','x','y','OP1')" << "80.3P=\"TUB\"%o80.4P=\"Tuberia de cobre\"%o80.5P=\"lote 7\"%o80.6P=\"\"%o80.7P=\"OP1\"%o80.8P=\"JUAN\"%o80.10P=\"\"%o11%^" << "";
        QTest::addRow("no row") << "(3,12,2,'P01','','','OP1')" << "" << "GSEArmaComando.\nPuert = 3 and Canal = 12 and Secue = 1\nNot Found";
        QTest::addRow("no operator") << "(3,12,1,'P01','','','OP9')" << "" << "GSEArmaComando.\nSelect USUCLAVE, USUDESCR from USU where USUCLAVE = 'OP9'\nNot Found";
        QTest::addRow("no product") << "(3,12,1,'P''1','','','OP1')" << "" << "GSEArmaComando.\nSelect PROCLAVE, PRODESC1, PRODESC2 from PRO where PROCLAVE = 'P'1'\nNot Found";
        // clang-format on
    }
    void comando() {
        QFETCH(QString, conf);
        QFETCH(QString, comando);
        QFETCH(QString, mensaje);
        Banco b;
        QVERIFY(b.mtvx("INSERT INTO PRO VALUES ('P01','ABC','XYZ'),('TUB','Tubería de cobre','');"
                       "INSERT INTO USU VALUES ('OP1','JUAN');",
                       {"metrovax.sqlite.sql"}));
        QVERIFY(b.conf("INSERT INTO CONF (Puert,Canal,Secue,Produ,EAVal1,EAVal2,Opera) VALUES " +
                       conf));
        const QString r = GSEArmaComando(b.e, b.config, 3, 12);
        QCOMPARE(r, comando);
        QCOMPARE(b.avisos.textos(), mensaje.isEmpty() ? QStringList() : QStringList{mensaje});
        QCOMPARE(r.toLatin1(), r.toUtf8());
    }
};

QTEST_GUILESS_MAIN(TstGseComando)
#include "tst_gsecomando.moc"
