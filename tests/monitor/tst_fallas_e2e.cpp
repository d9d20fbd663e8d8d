// Faults of the lines and of the program itself, with the real programs.
#include "support/bases.h"
#include "support/programas.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace ort::prueba;

class TstFallasE2e : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp_;
    QString dir_;

    // The demo directory with port 1 (a gauge on a pseudo-terminal), port 5 (TIMER) and port 6
    // (a gauge over TCP on the given port) open at start.
    void preparaDemo(int puertoTcp) {
        dir_ = tmp_.filePath(QString("demo%1").arg(puertoTcp));
        QVERIFY(CreaDemo(ORT_DEMO_SCRIPT, dir_));
        QVERIFY(EjecutaScript(dir_ + "/bd/MTVX2005.MDB",
                              QString("INSERT INTO INS VALUES ('REDTC','Calibre en red','TCP/IP',"
                                      "'127.0.0.1','%1','','','','','','','1','13','0')")
                                  .arg(puertoTcp)));
        QVERIFY(EjecutaScript(dir_ + "/ORTConf2005.mdb",
                              "UPDATE PUERTOS SET Open = 0 WHERE Puert NOT IN (1, 5);"
                              "INSERT INTO PUERTOS VALUES (6,'REDTC',-1);"
                              "INSERT INTO CANALES VALUES (6,1,'');"
                              "INSERT INTO CONF VALUES (6,1,1,'OP1','E1','TORNO1','EJE20','F1',"
                              "'TEMP','','','','',0)"));
        QVERIFY(EscribeTexto(dir_ + "/ORTPuertos.IAU", "1," + dir_ + "/dev/port1\r\n"));
    }

private slots:
    void lineasQueSeCaen() {
        QProcess tcp;
        tcp.start(ORTSIM_PATH,
                  {"--code", "CALIB", "--tcp", "0", "--rate", "2", "--values", "fixed:30"});
        const int puertoTcp = PuertoTcpDe(tcp);
        QVERIFY(puertoTcp > 0);
        preparaDemo(puertoTcp);
        QProcess serie;
        serie.start(ORTSIM_PATH, {"--code", "CALIB", "--link", dir_ + "/dev/port1", "--rate", "5",
                                  "--values", "fixed:20"});
        QVERIFY(EsperaQue([&] { return QFile::exists(dir_ + "/dev/port1"); }, 5000));

        QProcess ort;
        ort.start(ORT_PATH, {"--headless", "--dir", dir_, "--http", "no"});
        const QString datos = dir_ + "/datos/F1/TORNO1/EJE20.MDB";
        QVERIFY(EsperaQue(
            [&] {
                return ValorSqlite(datos, "select count(*) from Datos where DIAM = 20").toInt() >=
                           3 &&
                       ValorSqlite(datos, "select count(*) from Datos where TEMP = 30").toInt() >=
                           2;
            },
            20000));

        // The gauge's cable is pulled, and the network gauge resets its connection: each port
        // says so once and is connected again when its instrument is back, without anyone
        // touching the port.
        serie.kill();
        tcp.kill();
        serie.waitForFinished(3000);
        tcp.waitForFinished(3000);
        QString salida;
        auto lee = [&] { salida += QString::fromUtf8(ort.readAllStandardOutput()); };
        QVERIFY2(EsperaQue(
                     [&] {
                         lee();
                         return salida.contains("01  Puerto 1 perdido") &&
                                salida.contains("06  Puerto 6 perdido");
                     },
                     15000),
                 qPrintable(salida.right(2000)));
        const int filas = ValorSqlite(datos, "select count(*) from Datos").toInt();
        serie.start(ORTSIM_PATH, {"--code", "CALIB", "--link", dir_ + "/dev/port1", "--rate", "5",
                                  "--values", "fixed:20.01"});
        tcp.start(ORTSIM_PATH, {"--code", "CALIB", "--tcp", QString::number(puertoTcp), "--rate",
                                "2", "--values", "fixed:31"});
        QVERIFY2(EsperaQue(
                     [&] {
                         lee();
                         return salida.contains("01  Puerto 1 conectado de nuevo") &&
                                salida.contains("06  Puerto 6 conectado de nuevo") &&
                                ValorSqlite(datos, "select count(*) from Datos where DIAM = 20.01")
                                        .toInt() >= 1 &&
                                ValorSqlite(datos, "select count(*) from Datos where TEMP = 31")
                                        .toInt() >= 1;
                     },
                     20000),
                 qPrintable(salida.right(2000)));
        QVERIFY(ValorSqlite(datos, "select count(*) from Datos").toInt() > filas);
        QCOMPARE(salida.count("Puerto 1 perdido"), 1);
        QCOMPARE(salida.count("Puerto 6 perdido"), 1);
        // ORT keeps running and serving: the TIMER port goes on.
        const int antes = salida.count(QRegularExpression("(^|\\n)05 "));
        QVERIFY(EsperaQue(
            [&] {
                salida += QString::fromUtf8(ort.readAllStandardOutput());
                return salida.count(QRegularExpression("(^|\\n)05 ")) > antes;
            },
            20000));
        QCOMPARE(ort.state(), QProcess::Running);
        ::kill(pid_t(ort.processId()), SIGTERM);
        QVERIFY(ort.waitForFinished(10000));
        QCOMPARE(ort.exitCode(), 0);
        serie.kill();
        tcp.kill();
        serie.waitForFinished(3000);
        tcp.waitForFinished(3000);
    }

    // A power cut in the middle of writing: the data file opens afterwards, no row half-written.
    // (A reading's additional field is a write of its own, after the value's.)
    void corteDeLuz() {
        preparaDemo(1);
        QProcess serie;
        serie.start(ORTSIM_PATH, {"--code", "CALIB", "--link", dir_ + "/dev/port1", "--rate", "50",
                                  "--values", "random:19.95,20.05"});
        QVERIFY(EsperaQue([&] { return QFile::exists(dir_ + "/dev/port1"); }, 5000));
        QProcess ort;
        ort.start(ORT_PATH, {"--headless", "--dir", dir_, "--http", "no"});
        const QString datos = dir_ + "/datos/F1/TORNO1/EJE20.MDB";
        QVERIFY(EsperaQue(
            [&] { return ValorSqlite(datos, "select count(*) from Datos").toInt() >= 10; }, 20000));
        ::kill(pid_t(ort.processId()), SIGKILL);
        QVERIFY(ort.waitForFinished(5000));
        serie.kill();
        serie.waitForFinished(3000);
        QCOMPARE(ValorSqlite(datos, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(ValorSqlite(datos,
                             "select count(*) from Datos where Fecha is null or Turno is null "
                             "or Operador is null or DIAM is null"),
                 QString("0"));
        QCOMPARE(ValorSqlite(datos, "select max(N) - count(*) from Datos"), QString("0"));
    }

    // kill -9 while readings are held (their data file locked by another program): none is
    // lost and none doubled; the next start writes them, in order, before the new readings,
    // and says so.
    void kill9MientrasRetiene() {
        preparaDemo(2);
        QProcess serie;
        serie.start(ORTSIM_PATH, {"--code", "CALIB", "--link", dir_ + "/dev/port1", "--rate", "5",
                                  "--values", "fixed:20"});
        QVERIFY(EsperaQue([&] { return QFile::exists(dir_ + "/dev/port1"); }, 5000));
        QProcess ort;
        ort.start(ORT_PATH, {"--headless", "--dir", dir_, "--http", "no"});
        const QString datos = dir_ + "/datos/F1/TORNO1/EJE20.MDB";
        const QString diario = dir_ + "/ORTDiario.mdb";
        QVERIFY(EsperaQue(
            [&] { return ValorSqlite(datos, "select count(*) from Datos").toInt() >= 3; }, 20000));
        const QString nombre = "bloqueo";
        int antes = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", nombre);
            db.setDatabaseName(datos);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN EXCLUSIVE"));
            QVERIFY(q.exec("select count(*) from Datos where DIAM = 20") && q.next());
            antes = q.value(0).toInt();
            QVERIFY(EsperaQue(
                [&] { return ValorSqlite(diario, "select count(*) from Retenidas").toInt() >= 10; },
                25000));
            ::kill(pid_t(ort.processId()), SIGKILL);
            QVERIFY(ort.waitForFinished(5000));
            QVERIFY(q.exec("ROLLBACK"));
            q = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase(nombre);
        const QString err = QString::fromUtf8(ort.readAllStandardError());
        QCOMPARE(err.count("ORT: No se puede escribir en"), 1);
        const int retenidas = ValorSqlite(diario, "select count(*) from Retenidas").toInt();
        const int diams =
            ValorSqlite(diario, "select count(*) from Retenidas where Carac = 'DIAM'").toInt();
        serie.kill();
        serie.waitForFinished(3000);

        serie.start(ORTSIM_PATH, {"--code", "CALIB", "--link", dir_ + "/dev/port1", "--rate", "5",
                                  "--values", "fixed:20.01"});
        QVERIFY(EsperaQue([&] { return QFile::exists(dir_ + "/dev/port1"); }, 5000));
        ort.start(ORT_PATH, {"--headless", "--dir", dir_, "--http", "no"});
        QString salida;
        QVERIFY2(EsperaQue(
                     [&] {
                         salida += QString::fromUtf8(ort.readAllStandardError());
                         return ValorSqlite(datos, "select count(*) from Datos where DIAM = 20.01")
                                        .toInt() >= 3 &&
                                salida.contains("Se grabaron las");
                     },
                     20000),
                 qPrintable(salida + QString::fromUtf8(ort.readAllStandardOutput()).right(1500)));
        ::kill(pid_t(ort.processId()), SIGTERM);
        QVERIFY(ort.waitForFinished(10000));
        QCOMPARE(ort.exitCode(), 0);
        serie.kill();
        serie.waitForFinished(3000);
        QVERIFY2(
            salida.contains(QString("Se grabaron las %1 lecturas retenidas de ").arg(retenidas)),
            qPrintable(salida));
        QCOMPARE(ValorSqlite(diario, "select count(*) from Retenidas"), QString("0"));
        QCOMPARE(ValorSqlite(datos, "select count(*) from Datos where DIAM = 20").toInt(),
                 antes + diams);
        // Every held reading comes before the first new one, rows numbered without gap.
        QCOMPARE(ValorSqlite(datos, "select count(*) from Datos where DIAM = 20 and N > (select "
                                    "min(N) from Datos where DIAM = 20.01)"),
                 QString("0"));
        QCOMPARE(ValorSqlite(datos, "select max(N) - count(*) from Datos"), QString("0"));
    }
};

QTEST_GUILESS_MAIN(TstFallasE2e)
#include "tst_fallas_e2e.moc"
