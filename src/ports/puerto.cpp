// The port interfaces declare signals: their meta-object code is generated beside this file.
#include "ports/puerto.h"

#include <QIODevice>

#include <cstring>

namespace ort {

QByteArray Puerto::leeHasta(int terminador) {
    QByteArray r;
    while (esperando() > 0) {
        const int ch = leeCaracter();
        if (ch < 0)
            break;
        r += char(ch);
        if (ch == terminador)
            break;
    }
    return r;
}

QByteArray leeHastaDe(QIODevice& d, int terminador) {
    QByteArray r;
    const bool byte = terminador >= 0 && terminador <= 255;
    char tramo[256];
    for (;;) {
        const qint64 n = d.peek(tramo, sizeof tramo);
        if (n <= 0)
            break;
        const void* fin = byte ? std::memchr(tramo, terminador, size_t(n)) : nullptr;
        const qint64 k = fin ? static_cast<const char*>(fin) - tramo + 1 : n;
        const qint64 leidos = d.read(tramo, k);
        if (leidos <= 0)
            break;
        r.append(tramo, leidos);
        if (fin)
            break;
    }
    return r;
}

} // namespace ort
