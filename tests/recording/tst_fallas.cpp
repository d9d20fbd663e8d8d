#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

class TstFallas : public QObject {
    Q_OBJECT
private slots:
    // A receive pass's values in one transaction give the rows that writing them one by one
    // gives; a value that fails leaves the others in place; a table without a key on N is said
    // once, on the log and in one message.
    void grabacionPorPasada_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<bool>("indice");
        // clang-format off
        QTest::addRow("sqlite") << Motor::Sqlite << false;
        QTest::addRow("sqlite, with key") << Motor::Sqlite << true;
        QTest::addRow("pg") << Motor::Postgres << false;
        QTest::addRow("pg, with key") << Motor::Postgres << true;
        // clang-format on
    }
    void grabacionPorPasada() {
        QFETCH(Motor, motor);
        QFETCH(bool, indice);
        ORT_BANCO(porValor, motor);
        Banco porPasada(motor);
        porPasada.grabador.fijaApertura(GrabadorDatos::Apertura::PorPasada);
        const QString clave = indice ? QString() : "n INTEGER PRIMARY KEY";
        for (Banco* b : {&porValor, &porPasada}) {
            b->abre(1, "CALIB");
            QVERIFY(b->datos({}, clave, clave.section(' ', 0, 1)));
            QVERIFY(
                b->conf("INSERT INTO CANALES VALUES (1,1,'');"
                        "INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,Carac,EAdic1,"
                        "EAVal1,DTMP) VALUES (1,1,1,'OP1','F1','M1','P1','DIAM','','',0),(1,1,2,"
                        "'OP1','F1','M1','P1','TEMP','LOTE','L1',60),(1,1,3,'OP1','F1','M1','P1',"
                        "'NOHAY','','',60)"));
            b->llega(1, "1\r2\r3\r4\r5\r6\r7\r");
            b->reloj.avanza(30000);
            b->llega(1, "8\r9\r");
        }
        const QString volcado = "select n, fecha, turno, operador, \"DIAM\", \"TEMP\", \"LOTE\" "
                                "from \"%1\" order by n";
        const auto filas = porValor.filas(volcado.arg(porValor.tabla));
        QCOMPARE(filas.size(), 3);
        QCOMPARE(porPasada.filas(volcado.arg(porPasada.tabla)), filas);
        QCOMPARE(porPasada.t.NumGrabadas[1], porValor.t.NumGrabadas[1]);
        QCOMPARE(porPasada.log.lineas(1), porValor.log.lineas(1));
        const QString log = porValor.log.lineas(1).join('\n');
        QVERIFY2(log.contains("No se grabó NOHAY = 3"), qPrintable(log));
        QCOMPARE(log.count("Tabla sin índice en N (lenta): \"" + porValor.tabla + '"'),
                 indice ? 0 : 1);
        QCOMPARE(porValor.avisos.textos()
                     .filter(" no tiene índice en N: cada valor recorre sus ")
                     .size(),
                 indice ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TstFallas)
#include "tst_fallas.moc"
