#include "support/corrida.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace ort::prueba;

namespace {

// Open at start: port 1 (a gauge on a pseudo-terminal), 5 (TIMER), 6 (a gauge over TCP).
bool prepara(Corrida& c, int puertoTcp) {
    return c.prepara("UPDATE PUERTOS SET Open = 0 WHERE Puert NOT IN (1, 5); INSERT INTO PUERTOS "
                     "VALUES (6,'REDTC',-1);"
                     "INSERT INTO CANALES VALUES (6,1,''); INSERT INTO CONF VALUES "
                     "(6,1,1,'OP1','E1','TORNO1','EJE20','F1','TEMP','','','','',0)") &&
           ejecutaScript(c.dir + "/bd/MTVX2005.MDB",
                         QString("INSERT INTO INS VALUES ('REDTC','Calibre en "
                                 "red','TCP/IP','127.0.0.1','%1','','','','','','','1','13','0')")
                             .arg(puertoTcp));
}

} // namespace

class TstFallasE2e : public QObject {
    Q_OBJECT
private slots:
    // Serial and network gauges gone: each port says so once and reconnects when it is back.
    void lineasQueSeCaen() {
        Corrida c;
        QProcess tcp;
        tcp.start(ORTSIM_PATH,
                  {"--code", "CALIB", "--tcp", "0", "--rate", "2", "--values", "fixed:30"});
        const int puertoTcp = puertoTcpDe(tcp);
        QVERIFY(puertoTcp > 0 && prepara(c, puertoTcp) &&
                c.calibre({"--rate", "5", "--values", "fixed:20"}) && c.arranca());
        QVERIFY(esperaQue([&] { return c.filas("DIAM = 20") >= 3 && c.filas("TEMP = 30") >= 2; },
                          20000));
        for (QProcess* p : {&c.sim, &tcp})
            p->kill(), p->waitForFinished(3000);
        QString salida;
        auto ve = [&](const QString& a, const QString& b) {
            salida += QString::fromUtf8(c.ort.readAllStandardOutput());
            return salida.contains(a) && salida.contains(b);
        };
        QVERIFY2(
            esperaQue([&] { return ve("01  Puerto 1 perdido", "06  Puerto 6 perdido"); }, 15000),
            qPrintable(salida.right(2000)));
        QVERIFY(c.calibre({"--rate", "5", "--values", "fixed:20.01"}));
        tcp.start(ORTSIM_PATH, {"--code", "CALIB", "--tcp", QString::number(puertoTcp), "--rate",
                                "2", "--values", "fixed:31"});
        QVERIFY2(esperaQue(
                     [&] {
                         return ve("01  Puerto 1 conectado de nuevo",
                                   "06  Puerto 6 conectado de nuevo") &&
                                c.filas("DIAM = 20.01") >= 1 && c.filas("TEMP = 31") >= 1;
                     },
                     20000),
                 qPrintable(salida.right(2000)));
        QCOMPARE(salida.count("Puerto 1 perdido") + salida.count("Puerto 6 perdido"), 2);
        QCOMPARE(c.termina(), 0);
    }

    // kill -9 while writing, then while readings are held: none half-written, lost or doubled.
    void cortes() {
        Corrida c;
        QVERIFY(prepara(c, 2) && c.calibre({"--rate", "50", "--values", "random:19.95,19.99"}) &&
                c.arranca() && c.esperaFilas(10));
        QVERIFY(c.mata());
        QCOMPARE(valorSqlite(c.datos(), "PRAGMA integrity_check"), "ok");
        QCOMPARE(c.filas("Fecha is null or Turno is null or Operador is null or DIAM is null"), 0);
        QVERIFY(c.calibre({"--rate", "5", "--values", "fixed:20"}) && c.arranca() &&
                c.esperaFilas(3, "DIAM = 20"));
        const QString diario = c.dir + "/ORTDiario.mdb";
        int antes = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bloqueo");
            db.setDatabaseName(c.datos());
            QSqlQuery q(db);
            QVERIFY(db.open() && q.exec("BEGIN EXCLUSIVE") &&
                    q.exec("select count(*) from Datos where DIAM = 20") && q.next());
            antes = q.value(0).toInt();
            QVERIFY(esperaQue(
                [&] { return valorSqlite(diario, "select count(*) from Retenidas").toInt() >= 10; },
                25000));
            QVERIFY(c.mata() && q.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("bloqueo");
        QCOMPARE(c.ort.readAllStandardError().count("ORT: No se puede escribir en"), 1);
        const QString retenidas = valorSqlite(diario, "select count(*) from Retenidas");
        const int diams =
            valorSqlite(diario, "select count(*) from Retenidas where Carac = 'DIAM'").toInt();
        QVERIFY(c.calibre({"--rate", "5", "--values", "fixed:20.01"}) && c.arranca());
        QString salida;
        QVERIFY2(esperaQue(
                     [&] {
                         salida += QString::fromUtf8(c.ort.readAllStandardError());
                         return c.filas("DIAM = 20.01") >= 3 && salida.contains("Se grabaron las");
                     },
                     20000),
                 qPrintable(salida));
        QCOMPARE(c.termina(), 0);
        QVERIFY2(salida.contains("Se grabaron las " + retenidas + " lecturas"), qPrintable(salida));
        QCOMPARE(c.filas("DIAM = 20"), antes + diams);
        QCOMPARE(c.filas("DIAM = 20 and N > (select min(N) from Datos where DIAM = 20.01)"), 0);
        QCOMPARE(valorSqlite(c.datos(), "select max(N) - count(*) from Datos"), "0");
    }
};

QTEST_GUILESS_MAIN(TstFallasE2e)
#include "tst_fallas_e2e.moc"
