#include "qualitydb/basecalidad.h"
#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstBaseCalidad : public QObject {
    Q_OBJECT
    std::unique_ptr<Banco> b_;
    Conexion c_;

    static QString clavesDe(const Filas& r) {
        QStringList claves;
        for (const auto& f : r.filas)
            claves << f[0].toString().trimmed();
        return claves.join(u',');
    }

private slots:
    void initTestCase_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addRow("sqlite") << Motor::Sqlite;
        QTest::addRow("pg") << Motor::Postgres;
    }
    // The demo plant with keys holding quotes.
    void init() {
        QFETCH_GLOBAL(Motor, motor);
        if (motor == Motor::Postgres) {
            ORT_REQUIERE_POSTGRES(srv);
        }
        b_ = std::make_unique<Banco>(motor);
        const QStringList extra = {"INSERT INTO USU VALUES ('O''HARA', 'Pat O''Hara')",
                                   "INSERT INTO EST VALUES ('E''3', 'Comilla')",
                                   "INSERT INTO EXU VALUES ('O''HARA', 'E''3')"};
        if (b_->srv) {
            const QString cat = b_->ajustes.CatalogoBD;
            QVERIFY(creaBasePg(
                *b_->srv, cat,
                sentencias(leeEsquema("metrovax.pg.sql") + leeEsquema("planta-demo.sql")) + extra));
            b_->ajustes.StrConexion = CadenaConexion(b_->ajustes, cat);
        } else {
            QVERIFY(b_->mtvx(extra.join(";\n")));
        }
        QVERIFY(OpenDBOK(b_->ajustes.StrConexion, c_, b_->e));
    }
    void cleanup() {
        c_.cierra();
        b_.reset();
    }

    // Which list, its parent key; the columns, the keys in order and the width of the key column.
    void listas_data() {
        QTest::addColumn<QString>("que");
        QTest::addColumn<QString>("padre");
        QTest::addColumn<QString>("columnas");
        QTest::addColumn<QString>("claves");
        QTest::addColumn<int>("tamano");
        // clang-format off
        QTest::addRow("operators") << "usu" << "" << "USUCLAVE,USUDESCR" << "ANA,LUIS,O'HARA,OP1" << 8;
        QTest::addRow("stations") << "est" << "OP1" << "EXUESTAC,ESTDESC1" << "E1,E2" << 4;
        QTest::addRow("products") << "pro" << "TORNO1" << "PXMPRODU,PRODESC1" << "EJE20,TUBO1" << 16;
        QTest::addRow("characteristics") << "car" << "F1" << "CXFCARAC,CXFPOSIC,CARDESC1" << "DIAM,LARGO,LOTE,TEMP" << 10;
        QTest::addRow("key with a quote") << "est" << "O'HARA" << "EXUESTAC,ESTDESC1" << "E'3" << 4;
        QTest::addRow("injected operator") << "uno" << "X' OR '1'='1" << "USUCLAVE,USUDESCR" << "" << 8;
        QTest::addRow("limits") << "lim" << "TORNO1 EJE20 DIAM" << "CXPLINFC,CXPLSUPC" << "19.9" << 0;
        // clang-format on
    }
    void listas() {
        QFETCH(QString, que);
        QFETCH(QString, padre);
        QFETCH(QString, columnas);
        QFETCH(QString, claves);
        QFETCH(int, tamano);
        BaseCalidad b(c_);
        const QStringList p = padre.split(u' ');
        const auto r = que == "usu"   ? b.operadores()
                       : que == "est" ? b.estacionesDe(padre)
                       : que == "pro" ? b.productosDe(padre)
                       : que == "car" ? b.caracteristicasDe(padre)
                       : que == "uno" ? b.operador(padre)
                                      : b.limites(p.value(0), p.value(1), p.value(2));
        QVERIFY2(r, r ? "" : qPrintable(r.falla().descripcion));
        QCOMPARE(r->columnas, columnas.split(u','));
        QCOMPARE(clavesDe(*r), claves);
        QVERIFY(claves.isEmpty() || r->tamanos.first() == tamano);
        QVERIFY(claves.isEmpty() || que != "lim" || r->valor(0, "CXPLSUPC").toDouble() == 20.1);
    }
};

QTEST_GUILESS_MAIN(TstBaseCalidad)
#include "tst_basecalidad.moc"
