// ORT as a service, end to end: a simulated gauge, `ort --headless` on a demo program directory,
// rows in the data table, log lines on standard output, SIGTERM.
#include "support/corrida.h"

#include <QRegularExpression>
#include <QTest>

using namespace ort::prueba;

class TstServicioE2e : public QObject {
    Q_OBJECT
private slots:
    void lecturasHastaLaBaseYFinLimpio() {
        Corrida c;
        // The gauge on port 1 and the TIMER port 5 open at start.
        QVERIFY(c.prepara("UPDATE PUERTOS SET Open = 0 WHERE Puert NOT IN (1, 5)"));
        QVERIFY(c.calibre({"--rate", "5", "--count", "25", "--values", "fixed:20.01"}));
        QVERIFY(c.arranca());
        QVERIFY2(c.esperaFilas(25, "1", 30000), c.ort.readAllStandardError().constData());
        QCOMPARE(c.filas("DIAM = 20.01 and LOTE = 'L-2612' and Operador = 'OP1'"), 25);
        QCOMPARE(ValorSqlite(c.datos(), "select min(N) || '-' || max(N) from Datos"), "1-25");
        QCOMPARE(c.termina(), 0);
        int lecturas = 0;
        static const QRegularExpression puerto("^(0[1-9]|1[0-6]) ");
        for (const QString& l :
             QString::fromUtf8(c.ort.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(puerto.match(l).hasMatch() && !l.endsWith(' '), qPrintable(l));
            lecturas +=
                l.startsWith("01  01/01 ") && l.endsWith("OP1 F1 TORNO1 EJE20 DIAM  20.010");
        }
        QCOMPARE(lecturas, 25);
        QCOMPARE(c.ort.readAllStandardError(), QByteArray());
    }

    void directorioSinArchivosTerminaConError() {
        Corrida c;
        c.dir = c.tmp.path();
        QVERIFY(c.arranca());
        QVERIFY(c.ort.waitForFinished(10000));
        QCOMPARE(c.ort.exitCode(), 1);
        const QString err = QString::fromUtf8(c.ort.readAllStandardError()).trimmed();
        QVERIFY2(err.startsWith("ORT: ") && err.contains("MVDirec.iau") && !err.contains('\n'),
                 qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TstServicioE2e)
#include "tst_servicio_e2e.moc"
