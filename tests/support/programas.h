#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <functional>

namespace ort::prueba {

inline bool esperaQue(const std::function<bool()>& condicion, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condicion()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(50);
    }
    return true;
}

inline bool creaDemo(const QString& script, const QString& dir) {
    QProcess p;
    p.start(QStringLiteral("bash"), {script, dir});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

inline bool escribeTexto(const QString& ruta, const QString& texto) {
    QFile f(ruta);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(texto.toUtf8()) >= 0;
}

inline int puertoTcpDe(QProcess& sim) {
    int puerto = 0;
    esperaQue(
        [&] {
            sim.waitForReadyRead(50);
            const QString salida = QString::fromUtf8(sim.peek(4096));
            const int i = salida.indexOf(QStringLiteral("on tcp 127.0.0.1:"));
            if (i < 0)
                return false;
            puerto = salida.mid(i + 17).section(u'\n', 0, 0).trimmed().toInt();
            return puerto > 0;
        },
        5000);
    return puerto;
}

} // namespace ort::prueba
