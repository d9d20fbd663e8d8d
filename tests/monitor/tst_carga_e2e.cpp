// 16 ports sending at once for a long run: every reading sent is a row or a reported rejection,
// and ORT's memory stays flat. The run lasts ORT_CARGA_SEGUNDOS (600 by default).
#include "support/bases.h"
#include "support/programas.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace ort::prueba;

namespace {

qint64 MemoriaResidenteKb(qint64 pid) {
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

int LineasDe(const QString& archivo) {
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().count('\n');
}

} // namespace

class TstCargaE2e : public QObject {
    Q_OBJECT
private slots:
    void dieciseisPuertos() {
        const int segundos = qEnvironmentVariableIsSet("ORT_CARGA_SEGUNDOS")
                                 ? qEnvironmentVariableIntValue("ORT_CARGA_SEGUNDOS")
                                 : 600;
        // Each serial frame is followed by a pause of 0.1 s on the one acquisition thread, so 16
        // ports share about 10 frames a second: half a frame a second each keeps them at 80 %.
        const double hz = 0.5;
        const int cuenta = int(segundos * hz);
        QTemporaryDir tmp;
        const QString dir = tmp.filePath("demo");
        QVERIFY(CreaDemo(ORT_DEMO_SCRIPT, dir));
        QString conf = "DELETE FROM PUERTOS; DELETE FROM CANALES; DELETE FROM CONF;";
        QString mapa;
        for (int p = 1; p <= 16; ++p) {
            // Each port records into the data table of its own machine and product pair.
            const QString maq = p % 2 ? "TORNO1" : "RECT1";
            const QString pro = p % 4 < 2 ? "EJE20" : "TUBO1";
            conf += QString("INSERT INTO PUERTOS VALUES (%1,'CALIB',-1);"
                            "INSERT INTO CANALES VALUES (%1,1,'');"
                            "INSERT INTO CONF VALUES (%1,1,1,'OP%1','E1','%2','%3','F1','TEMP',"
                            "'','','','',0);")
                        .arg(p)
                        .arg(maq, pro);
            mapa += QString("%1,%2/dev/port%1\r\n").arg(p).arg(dir);
        }
        QVERIFY(EjecutaScript(dir + "/ORTConf2005.mdb", conf));
        QDir().mkpath(dir + "/datos/F1/RECT1");
        QVERIFY(CreaSqlite(dir + "/datos/F1/RECT1/TUBO1.MDB", {"datos.sqlite.sql"}));
        QVERIFY(EscribeTexto(dir + "/ORTPuertos.IAU", mapa));

        std::vector<std::unique_ptr<QProcess>> sims;
        for (int p = 1; p <= 16; ++p) {
            auto sim = std::make_unique<QProcess>();
            sim->start(ORTSIM_PATH,
                       {"--code", "CALIB", "--link", QString("%1/dev/port%2").arg(dir).arg(p),
                        "--rate", QString::number(hz), "--count", QString::number(cuenta), "--hold",
                        "--values", "random:1,1000", "--seed", QString::number(p), "--sent",
                        tmp.filePath(QString("sent%1.txt").arg(p))});
            sims.push_back(std::move(sim));
        }
        QVERIFY(EsperaQue([&] { return QFile::exists(QString("%1/dev/port16").arg(dir)); }, 10000));

        QProcess ort;
        ort.setStandardOutputFile(tmp.filePath("ort.out"));
        ort.setStandardErrorFile(tmp.filePath("ort.err"));
        ort.start(ORT_PATH, {"--headless", "--dir", dir, "--http", "no"});
        QVERIFY(ort.waitForStarted());
        QTest::qWait(std::min(60, segundos / 4) * 1000);
        const qint64 memoriaInicial = MemoriaResidenteKb(ort.processId());

        auto enviadas = [&] {
            int n = 0;
            for (int p = 1; p <= 16; ++p)
                n += LineasDe(tmp.filePath(QString("sent%1.txt").arg(p)));
            return n;
        };
        auto filas = [&] {
            int n = 0;
            for (const char* f :
                 {"F1/TORNO1/EJE20", "F1/TORNO1/TUBO1", "F1/RECT1/EJE20", "F1/RECT1/TUBO1"})
                n += ValorSqlite(QString("%1/datos/%2.MDB").arg(dir, f),
                                 "select count(*) from Datos")
                         .toInt();
            return n;
        };
        // Every simulator sends its readings, then ORT catches up.
        QVERIFY(EsperaQue([&] { return enviadas() == 16 * cuenta; }, (segundos + 60) * 1000));
        QVERIFY2(EsperaQue([&] { return filas() == 16 * cuenta; }, 60000),
                 qPrintable(QString("%1 rows of %2 sent").arg(filas()).arg(enviadas())));
        const qint64 memoriaFinal = MemoriaResidenteKb(ort.processId());

        ::kill(pid_t(ort.processId()), SIGTERM);
        QVERIFY(ort.waitForFinished(10000));
        QCOMPARE(ort.exitCode(), 0);
        for (auto& s : sims) {
            s->terminate();
            s->waitForFinished(3000);
        }
        // Nothing was rejected, nothing was reported: every reading is a row.
        QFile err(tmp.filePath("ort.err"));
        QVERIFY(err.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(err.readAll()), QString());
        QFile out(tmp.filePath("ort.out"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray salida = out.readAll();
        QCOMPARE(salida.count('\n'), 16 * cuenta);
        QVERIFY(!salida.contains(" !\n"));
        qInfo("%d readings; resident memory %lld kB after warm-up, %lld kB at the end", 16 * cuenta,
              memoriaInicial, memoriaFinal);
        QVERIFY2(memoriaFinal - memoriaInicial < 8 * 1024,
                 qPrintable(QString("%1 -> %2 kB").arg(memoriaInicial).arg(memoriaFinal)));
    }
};

QTEST_GUILESS_MAIN(TstCargaE2e)
#include "tst_carga_e2e.moc"
