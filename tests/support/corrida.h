#pragma once
// A demo program directory, an ortsim gauge on port 1's pseudo-terminal and `ort --headless`.

#include "support/bases.h"
#include "support/programas.h"

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace ort::prueba {

struct Corrida {
    QTemporaryDir tmp;
    QString dir = tmp.filePath("demo");
    QProcess sim, ort;

    bool prepara(const QString& conf = "UPDATE PUERTOS SET Open = 0 WHERE Puert <> 1") {
        return creaDemo(ORT_DEMO_SCRIPT, dir) && ejecutaScript(dir + "/ORTConf2005.mdb", conf) &&
               escribeTexto(dir + "/ORTPuertos.IAU", "1," + dir + "/dev/port1\r\n");
    }
    bool calibre(const QStringList& args) { // the gauge before it, if any, unplugged
        sim.kill(), sim.waitForFinished(3000);
        sim.start(ORTSIM_PATH, QStringList{"--code", "CALIB", "--link", dir + "/dev/port1"} + args);
        return esperaQue([&] { return QFile::exists(dir + "/dev/port1"); }, 5000);
    }
    bool arranca(const QStringList& extra = {"--http", "no"}) {
        ort.start(ORT_PATH, QStringList{"--headless", "--dir", dir} + extra);
        return ort.waitForStarted();
    }
    QString datos() const { return dir + "/datos/F1/TORNO1/EJE20.MDB"; }
    int filas(const QString& donde = "1") const {
        return valorSqlite(datos(), "select count(*) from Datos where " + donde).toInt();
    }
    bool esperaFilas(int n, const QString& donde = "1", int ms = 20000) const {
        return esperaQue([&] { return filas(donde) >= n; }, ms);
    }
    // kill -9, if ORT still runs.
    bool mata() {
        return ort.processId() > 0 && ::kill(pid_t(ort.processId()), SIGKILL) == 0 &&
               ort.waitForFinished(5000);
    }
    // SIGTERM: ORT's exit code, -1 if it did not end normally within 10 s (or had ended before:
    // a pid of 0 would signal the whole process group, the test and its runner with it).
    int termina() {
        if (ort.processId() <= 0)
            return -1;
        ::kill(pid_t(ort.processId()), SIGTERM);
        return ort.waitForFinished(10000) && ort.exitStatus() == QProcess::NormalExit
                   ? ort.exitCode()
                   : -1;
    }
};

} // namespace ort::prueba
