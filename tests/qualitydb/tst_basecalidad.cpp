#include "qualitydb/basecalidad.h"
#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstBaseCalidad : public QObject {
    Q_OBJECT
    std::unique_ptr<Banco> b_;
    Conexion c_;

    static QStringList Claves(const Resultado& r) {
        QStringList claves;
        for (const auto& f : r.filas)
            claves << f[0].toString().trimmed();
        return claves;
    }

private slots:
    void initTestCase_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addRow("sqlite") << Motor::Sqlite;
        QTest::addRow("pg") << Motor::Postgres;
    }
    void init() {
        QFETCH_GLOBAL(Motor, motor);
        if (motor == Motor::Postgres) {
            ORT_REQUIERE_POSTGRES(srv);
        }
        b_ = std::make_unique<Banco>(motor);
        const QStringList extra = {
            "INSERT INTO USU VALUES ('O''HARA', 'Pat O''Hara')",
            "INSERT INTO EST VALUES ('E''3', 'Comilla')",
            "INSERT INTO EXU VALUES ('O''HARA', 'E''3')",
            "INSERT INTO CXP VALUES ('RECT1   ', 'EJE20  ', 'LARGO ', 1.5, 2.5)",
            "ALTER TABLE INS ADD COLUMN INSNOTAS VARCHAR(20)"};
        if (b_->srv) {
            const QString cat = b_->ajustes.CatalogoBD;
            QVERIFY(CreaBasePg(
                *b_->srv, cat,
                Sentencias(LeeEsquema("metrovax.pg.sql") + LeeEsquema("planta-demo.sql")) + extra));
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

    void listasEnOrdenDeClave() {
        BaseCalidad b(c_);
        const Resultado ops = b.operadores();
        QVERIFY2(ops.ok, qPrintable(ops.error.descripcion));
        QCOMPARE(ops.columnas, QStringList({"USUCLAVE", "USUDESCR"}));
        QCOMPARE(Claves(ops), QStringList({"ANA", "LUIS", "O'HARA", "OP1"}));
        QCOMPARE(ops.texto_(2, "usuclave"), QString("O'HARA"));
        QCOMPARE(ops.tamanos, QList<int>({8, 40}));
        const Resultado ins = b.todosINS();
        QVERIFY(ins.ok);
        QCOMPARE(ins.columnas.size(), 15);
        QCOMPARE(ins.columnas.first() + ' ' + ins.columnas.last(), QString("INSCLAVE INSNOTAS"));
        QCOMPARE(ins.texto_(0, "INSCLAVE"), QString("CALIB"));
        QCOMPARE(QList<int>({ins.tamanos.first(), ins.tamanos.last()}), QList<int>({5, 20}));
    }

    void cascada_data() {
        QTest::addColumn<QString>("que");
        QTest::addColumn<QString>("padre");
        QTest::addColumn<QStringList>("columnas");
        QTest::addColumn<QStringList>("claves");
        QTest::addColumn<int>("tamanoClave");
        // clang-format off
        QTest::addRow("stations") << "est" << "OP1" << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{"E1", "E2"} << 4;
        QTest::addRow("padded parent key") << "est" << "ANA     " << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{} << 4;
        QTest::addRow("machines") << "maq" << "E2" << QStringList{"MXEMAQUI", "MAQDESC1"} << QStringList{"RECT1"} << 8;
        QTest::addRow("products") << "pro" << "TORNO1" << QStringList{"PXMPRODU", "PRODESC1"} << QStringList{"EJE20", "TUBO1"} << 16;
        QTest::addRow("formats") << "frm" << "EJE20" << QStringList{"FXPFORMA", "FRMDESC1"} << QStringList{"F1"} << 8;
        QTest::addRow("characteristics") << "car" << "F1" << QStringList{"CXFCARAC", "CXFPOSIC", "CARDESC1"} << QStringList{"DIAM", "LARGO", "LOTE", "TEMP"} << 10;
        QTest::addRow("parent in lower case") << "est" << "op1" << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{"E1", "E2"} << 4;
        QTest::addRow("key with a quote") << "est" << "O'HARA" << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{"E'3"} << 4;
        // clang-format on
    }
    void cascada() {
        QFETCH(QString, que);
        QFETCH(QString, padre);
        QFETCH(QStringList, columnas);
        QFETCH(QStringList, claves);
        QFETCH(int, tamanoClave);
        BaseCalidad b(c_);
        const Resultado r = que == "est"   ? b.estacionesDe(padre)
                            : que == "maq" ? b.maquinasDe(padre)
                            : que == "pro" ? b.productosDe(padre)
                            : que == "frm" ? b.formatosDe(padre)
                                           : b.caracteristicasDe(padre);
        QVERIFY2(r.ok, qPrintable(r.error.descripcion));
        QCOMPARE(r.columnas, columnas);
        QCOMPARE(Claves(r), claves);
        QCOMPARE(r.tamanos.first(), tamanoClave);
        QVERIFY(r.texto.contains("like '" + padre + "'"));
    }

    void buscasPuntuales() {
        BaseCalidad b(c_);
        QCOMPARE(b.producto("EJE20").texto_(0, "PRODESC2"), QString("Acero 1045"));
        const Resultado usu = b.operador("O'HARA");
        QCOMPARE(usu.texto_(0, "USUDESCR"), QString("Pat O'Hara"));
        QCOMPARE(usu.texto,
                 QString("Select USUCLAVE, USUDESCR from USU where USUCLAVE = 'O'HARA'"));
        const Resultado nadie = b.operador("X' OR '1'='1");
        QVERIFY(nadie.ok && nadie.vacio());
        const Resultado lim = b.limites("TORNO1", "EJE20", "DIAM");
        QCOMPARE(lim.columnas, QStringList({"CXPLINFC", "CXPLSUPC"}));
        QCOMPARE(lim.valor(0, "CXPLINFC").toDouble(), 19.9);
        QCOMPARE(lim.valor(0, "CXPLSUPC").toDouble(), 20.1);
        QVERIFY(b.limites("TORNO1", "EJE20", "TEMP").vacio());
        QCOMPARE(b.limites("RECT1", "EJE20", "LARGO").valor(0, "CXPLSUPC").toDouble(), 2.5);
        QCOMPARE(b.limites("RECT1 ", "EJE20", "LARGO  ").valor(0, "CXPLINFC").toDouble(), 1.5);
    }

    void registroDeConexion_data() {
        QTest::addColumn<QString>("clave");
        QTest::addColumn<QString>("hallada");
        // clang-format off
        QTest::addRow("exact") << "XRITE" << "XRITE";
        QTest::addRow("other letter case") << "xrite" << "XRITE";
        QTest::addRow("missing") << "MX8" << "";
        QTest::addRow("quote") << "A'B" << "";
        // clang-format on
    }
    void registroDeConexion() {
        QFETCH(QString, clave);
        QFETCH(QString, hallada);
        const Resultado r = BaseCalidad(c_).registroINS(clave);
        QVERIFY2(r.ok, qPrintable(r.error.descripcion));
        QCOMPARE(r.texto_(0, "INSCLAVE"), hallada);
        QCOMPARE(r.texto_(0, "INSTERMI"), hallada.isEmpty() ? QString() : QString("13"));
    }

    void sinConexionNoRevienta() {
        Conexion cerrada;
        const Resultado r = BaseCalidad(cerrada).operadores();
        QVERIFY(!r.ok && !r.error.descripcion.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstBaseCalidad)
#include "tst_basecalidad.moc"
