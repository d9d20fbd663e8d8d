// ORT as a service, end to end: a simulated gauge on a pseudo-terminal, `ort --headless` on a
// demo program directory, rows in the data table, log lines on standard output, SIGTERM.
#include "support/bases.h"
#include "support/programas.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace ort::prueba;

class TstServicioE2e : public QObject {
    Q_OBJECT
private slots:
    void lecturasHastaLaBaseYFinLimpio() {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath("demo");
        QVERIFY(CreaDemo(ORT_DEMO_SCRIPT, dir));
        // Only the gauge on port 1 and the TIMER port 5 open at start.
        QVERIFY(EjecutaScript(dir + "/ORTConf2005.mdb",
                              "UPDATE PUERTOS SET Open = 0 WHERE Puert NOT IN (1, 5)"));
        QVERIFY(EscribeTexto(dir + "/ORTPuertos.IAU", "1," + dir + "/dev/port1\r\n"));

        QProcess sim;
        sim.start(ORTSIM_PATH,
                  {"--code", "CALIB", "--link", dir + "/dev/port1", "--rate", "5", "--count", "25",
                   "--values", "fixed:20.01", "--sent", tmp.filePath("sent.txt")});
        QVERIFY(sim.waitForStarted());
        QVERIFY(EsperaQue([&] { return QFile::exists(dir + "/dev/port1"); }, 5000));

        QProcess ort;
        ort.start(ORT_PATH, {"--headless", "--dir", dir, "--http", "no"});
        QVERIFY(ort.waitForStarted());
        const QString datos = dir + "/datos/F1/TORNO1/EJE20.MDB";
        // Readings arrive one frame at a time, each followed by the 0.1 s pause.
        QVERIFY2(EsperaQue(
                     [&] { return ValorSqlite(datos, "select count(*) from Datos").toInt() >= 25; },
                     30000),
                 qPrintable(ValorSqlite(datos, "select count(*) from Datos") +
                            " rows; stderr: " + ort.readAllStandardError()));
        QCOMPARE(ValorSqlite(datos, "select count(*) from Datos where DIAM = 20.01 and LOTE = "
                                    "'L-2612' and Operador = 'OP1'"),
                 QString("25"));
        QCOMPARE(ValorSqlite(datos, "select min(N) || '-' || max(N) from Datos"), QString("1-25"));

        ::kill(pid_t(ort.processId()), SIGTERM);
        QVERIFY(ort.waitForFinished(10000));
        QCOMPARE(ort.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ort.exitCode(), 0);
        sim.terminate();
        sim.waitForFinished(3000);

        const QStringList lineas =
            QString::fromUtf8(ort.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        int lecturas = 0;
        for (const QString& l : lineas) {
            QVERIFY2(QRegularExpression("^(0[1-9]|1[0-6]) \\S").match(l).hasMatch() ||
                         QRegularExpression("^(0[1-9]|1[0-6])  ").match(l).hasMatch(),
                     qPrintable(l));
            QVERIFY2(!l.endsWith(' '), qPrintable(l)); // trailing blanks removed
            if (l.startsWith("01  01/01 ") && l.endsWith("OP1 F1 TORNO1 EJE20 DIAM  20.010"))
                ++lecturas;
        }
        QCOMPARE(lecturas, 25);
        QVERIFY(QString::fromUtf8(ort.readAllStandardError()).isEmpty());
    }

    void directorioSinArchivosTerminaConError() {
        QTemporaryDir tmp;
        QProcess ort;
        ort.start(ORT_PATH, {"--headless", "--dir", tmp.path(), "--http", "no"});
        QVERIFY(ort.waitForFinished(10000));
        QCOMPARE(ort.exitCode(), 1);
        const QString err = QString::fromUtf8(ort.readAllStandardError());
        QVERIFY2(err.startsWith("ORT: ") && err.contains("MVDirec.iau"), qPrintable(err));
        QVERIFY(!err.trimmed().contains('\n')); // one message, one line
    }
};

QTEST_GUILESS_MAIN(TstServicioE2e)
#include "tst_servicio_e2e.moc"
