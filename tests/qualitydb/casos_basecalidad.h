#pragma once
// The statements of the Metrovax database against the demo plant, on either engine.

#include "qualitydb/basecalidad.h"
#include "support/bases.h"
#include "support/fakes.h"

#include <QTest>

namespace ort::prueba {

class CasosBaseCalidad : public QObject {
    Q_OBJECT
protected:
    // Opens the fixture database (metrovax schema + demo plant + extra rows) into c.
    virtual bool abre(Conexion& c, const QStringList& extra) = 0;
    const QStringList extra = {
        "INSERT INTO USU VALUES ('O''HARA', 'Pat O''Hara')",
        "INSERT INTO EST VALUES ('E''3', 'Comilla')",
        "INSERT INTO EXU VALUES ('O''HARA', 'E''3')",
        "INSERT INTO CXP VALUES ('RECT1   ', 'EJE20  ', 'LARGO ', 1.5, 2.5)",
        "ALTER TABLE INS ADD COLUMN INSNOTAS VARCHAR(20)",
    };

private slots:
    void init() { QVERIFY(abre(c_, extra)); }
    void cleanup() { c_.cierra(); }

    void listasEnOrdenDeClave() {
        BaseCalidad b(c_);
        const Resultado ops = b.operadores();
        QVERIFY2(ops.ok, qPrintable(ops.error.descripcion));
        QCOMPARE(ops.columnas, QStringList({"USUCLAVE", "USUDESCR"}));
        QStringList claves;
        for (int i = 0; i < ops.filas.size(); ++i)
            claves << ops.texto_(i, "usuclave");
        QCOMPARE(claves, QStringList({"ANA", "LUIS", "O'HARA", "OP1"}));
        QCOMPARE(ops.tamanos, QList<int>({8, 40}));

        const Resultado ins = b.todosINS();
        QVERIFY(ins.ok);
        // Every column of INS: the 14 named ones and any other the table has.
        QCOMPARE(ins.columnas.size(), 15);
        QCOMPARE(ins.columnas.first(), QString("INSCLAVE"));
        QCOMPARE(ins.columnas.last(), QString("INSNOTAS"));
        QCOMPARE(ins.texto_(0, "INSCLAVE"), QString("CALIB"));
        QCOMPARE(ins.tamanos.first(), 5);
        QCOMPARE(ins.tamanos.last(), 20);
    }

    void cascada_data() {
        QTest::addColumn<QString>("que");
        QTest::addColumn<QString>("padre");
        QTest::addColumn<QStringList>("columnas");
        QTest::addColumn<QStringList>("claves");
        QTest::addColumn<int>("tamanoClave");
        QTest::newRow("stations") << "est"
                                  << "OP1" << QStringList{"EXUESTAC", "ESTDESC1"}
                                  << QStringList{"E1", "E2"} << 4;
        QTest::newRow("stations of a padded key")
            << "est"
            << "ANA     " << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{} << 4;
        QTest::newRow("machines") << "maq"
                                  << "E2" << QStringList{"MXEMAQUI", "MAQDESC1"}
                                  << QStringList{"RECT1"} << 8;
        QTest::newRow("products") << "pro"
                                  << "TORNO1" << QStringList{"PXMPRODU", "PRODESC1"}
                                  << QStringList{"EJE20", "TUBO1"} << 16;
        QTest::newRow("formats") << "frm"
                                 << "EJE20" << QStringList{"FXPFORMA", "FRMDESC1"}
                                 << QStringList{"F1"} << 8;
        QTest::newRow("characteristics") << "car"
                                         << "F1" << QStringList{"CXFCARAC", "CXFPOSIC", "CARDESC1"}
                                         << QStringList{"DIAM", "LARGO", "LOTE", "TEMP"} << 10;
        QTest::newRow("parent in another letter case")
            << "est"
            << "op1" << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{"E1", "E2"} << 4;
        QTest::newRow("key with a quote")
            << "est"
            << "O'HARA" << QStringList{"EXUESTAC", "ESTDESC1"} << QStringList{"E'3"} << 4;
    }
    void cascada() {
        QFETCH(QString, que);
        QFETCH(QString, padre);
        QFETCH(QStringList, columnas);
        QFETCH(QStringList, claves);
        QFETCH(int, tamanoClave);
        BaseCalidad b(c_);
        Resultado r;
        if (que == "est")
            r = b.estacionesDe(padre);
        else if (que == "maq")
            r = b.maquinasDe(padre);
        else if (que == "pro")
            r = b.productosDe(padre);
        else if (que == "frm")
            r = b.formatosDe(padre);
        else
            r = b.caracteristicasDe(padre);
        QVERIFY2(r.ok, qPrintable(r.error.descripcion));
        QCOMPARE(r.columnas, columnas);
        QStringList obtenidas;
        for (int i = 0; i < r.filas.size(); ++i)
            obtenidas << r.filas[i][0].toString();
        // A padded parent key is compared as written: only the column's blanks are trimmed.
        QCOMPARE(obtenidas, claves);
        QCOMPARE(r.tamanos.first(), tamanoClave);
        QVERIFY(r.texto.contains("like '" + padre + "'"));
    }

    void buscasPuntuales() {
        BaseCalidad b(c_);
        const Resultado pro = b.producto("EJE20");
        QVERIFY(pro.ok);
        QCOMPARE(pro.filas.size(), 1);
        QCOMPARE(pro.texto_(0, "PRODESC2"), QString("Acero 1045"));
        const Resultado usu = b.operador("O'HARA");
        QVERIFY(usu.ok);
        QCOMPARE(usu.texto_(0, "USUDESCR"), QString("Pat O'Hara"));
        QCOMPARE(usu.texto,
                 QString("Select USUCLAVE, USUDESCR from USU where USUCLAVE = 'O'HARA'"));
        const Resultado nadie = b.operador("X' OR '1'='1");
        QVERIFY(nadie.ok);
        QVERIFY(nadie.vacio());

        const Resultado lim = b.limites("TORNO1", "EJE20", "DIAM");
        QVERIFY(lim.ok);
        QCOMPARE(lim.columnas, QStringList({"CXPLINFC", "CXPLSUPC"}));
        QCOMPARE(lim.valor(0, "CXPLINFC").toDouble(), 19.9);
        QCOMPARE(lim.valor(0, "CXPLSUPC").toDouble(), 20.1);
        QVERIFY(b.limites("TORNO1", "EJE20", "TEMP").vacio());
        // Keys stored padded with blanks, looked up trimmed (and the other way round).
        QCOMPARE(b.limites("RECT1", "EJE20", "LARGO").valor(0, "CXPLSUPC").toDouble(), 2.5);
        QCOMPARE(b.limites("RECT1 ", "EJE20", "LARGO  ").valor(0, "CXPLINFC").toDouble(), 1.5);
    }

    void registroDeConexion_data() {
        QTest::addColumn<QString>("clave");
        QTest::addColumn<QString>("hallada");
        QTest::newRow("exact") << "XRITE"
                               << "XRITE";
        QTest::newRow("other letter case") << "xrite"
                                           << "XRITE";
        QTest::newRow("missing") << "MX8"
                                 << "";
        QTest::newRow("quote") << "A'B"
                               << "";
    }
    void registroDeConexion() {
        QFETCH(QString, clave);
        QFETCH(QString, hallada);
        BaseCalidad b(c_);
        const Resultado r = b.registroINS(clave);
        QVERIFY2(r.ok, qPrintable(r.error.descripcion));
        QCOMPARE(r.texto_(0, "INSCLAVE"), hallada);
        if (!hallada.isEmpty())
            QCOMPARE(r.texto_(0, "INSTERMI"), QString("13"));
    }

    void sinConexionNoRevienta() {
        Conexion cerrada;
        BaseCalidad b(cerrada);
        const Resultado r = b.operadores();
        QVERIFY(!r.ok);
        QVERIFY(!r.error.descripcion.isEmpty());
    }

private:
    Conexion c_;
};

} // namespace ort::prueba
