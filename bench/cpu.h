#pragma once
// CPU time a process has used so far (user and system), in microseconds, from /proc.
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

inline double cpuUs(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> campos = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (campos.size() < 13)
        return 0;
    return (campos[11].toDouble() + campos[12].toDouble()) * 1e6 / double(sysconf(_SC_CLK_TCK));
}
