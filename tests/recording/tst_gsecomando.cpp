#include "recording/gsecomando.h"
#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {
struct Gse : Banco {
    explicit Gse(const QString& conf) {
        if (!mtvx("INSERT INTO PRO VALUES ('P01','ABC','XYZ');"
                  "INSERT INTO PRO VALUES ('TUB','Tubería de cobre','');"
                  "INSERT INTO USU VALUES ('OP1','JUAN');",
                  {"metrovax.sqlite.sql"}) ||
            !this->conf(conf))
            qFatal("no databases");
    }
};
} // namespace

class TstGseComando : public QObject {
    Q_OBJECT
private slots:
    void comando_data() {
        QTest::addColumn<QString>("conf");
        QTest::addColumn<int>("canal");
        QTest::addColumn<QString>("comando");
        QTest::newRow("the product's example")
            << "INSERT INTO CONF (Puert,Canal,Secue,Produ,EAVal1,EAVal2,Opera) VALUES "
               "(3,12,1,'P01','5','7','OP1')"
            << 12
            << "80.3P=\"P01\"%o80.4P=\"ABC\"%o80.5P=\"5\"%o80.6P=\"7\"%o80.7P=\"OP1\"%o"
               "80.8P=\"JUAN\"%o80.10P=\"XYZ\"%o11%^";
        // Sequence 1's context, whatever the channel's other sequences hold; blanks trimmed at
        // both ends but kept inside; an empty description gives an empty pair of quotes.
        QTest::newRow("sequence 1, trimming, accents, empty description")
            << "INSERT INTO CONF (Puert,Canal,Secue,Produ,EAVal1,EAVal2,Opera) VALUES "
               "(3,4,1,'TUB','  lote 7 ',NULL,'OP1'),(3,4,3,'P01','x','y','OP1')"
            << 4
            << "80.3P=\"TUB\"%o80.4P=\"Tuberia de cobre\"%o80.5P=\"lote 7\"%o80.6P=\"\"%o"
               "80.7P=\"OP1\"%o80.8P=\"JUAN\"%o80.10P=\"\"%o11%^";
    }
    void comando() {
        QFETCH(QString, conf);
        QFETCH(int, canal);
        QFETCH(QString, comando);
        Gse b(conf);
        const QString r = GSEArmaComando(b.e, b.config, 3, canal);
        QCOMPARE(r, comando);
        QVERIFY(b.avisos.mensajes.isEmpty());
        for (QChar ch : r)
            QVERIFY(ch.unicode() < 128);
    }

    void noEncontrado_data() {
        QTest::addColumn<QString>("conf");
        QTest::addColumn<QString>("mensaje");
        QTest::newRow("no configuration row")
            << "INSERT INTO CONF (Puert,Canal,Secue,Produ,Opera) VALUES (3,12,2,'P01','OP1')"
            << "GSEArmaComando.\nPuert = 3 and Canal = 12 and Secue = 1\nNot Found";
        QTest::newRow("no operator")
            << "INSERT INTO CONF (Puert,Canal,Secue,Produ,Opera) VALUES (3,12,1,'P01','OP9')"
            << "GSEArmaComando.\nSelect USUCLAVE, USUDESCR from USU where USUCLAVE = 'OP9'\nNot "
               "Found";
        QTest::newRow("no product, key with a quote")
            << "INSERT INTO CONF (Puert,Canal,Secue,Produ,Opera) VALUES (3,12,1,'P''1','OP1')"
            << "GSEArmaComando.\nSelect PROCLAVE, PRODESC1, PRODESC2 from PRO where PROCLAVE = "
               "'P'1'\nNot Found";
    }
    void noEncontrado() {
        QFETCH(QString, conf);
        QFETCH(QString, mensaje);
        Gse b(conf);
        QCOMPARE(GSEArmaComando(b.e, b.config, 3, 12), QString());
        QCOMPARE(b.avisos.textos(), QStringList{mensaje});
    }
};

QTEST_GUILESS_MAIN(TstGseComando)
#include "tst_gsecomando.moc"
