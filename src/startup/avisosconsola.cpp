#include "startup/avisosconsola.h"

#include <cstdio>

namespace ort {

QString AvisosConsola::enUnaLinea(const QString& texto) {
    return QStringLiteral("ORT: ") + QString(texto).replace(u'\n', QStringLiteral(" | "));
}

void AvisosConsola::mensaje(const QString& texto, Icono) {
    const QByteArray l = enUnaLinea(texto).toUtf8() + '\n';
    std::fwrite(l.constData(), 1, size_t(l.size()), stderr);
    std::fflush(stderr);
}

bool AvisosConsola::pregunta(const QString& texto) {
    mensaje(texto, Icono::Ninguno);
    return false;
}

QString AvisosConsola::entrada(const QString& prompt) {
    mensaje(prompt, Icono::Ninguno);
    return {};
}

} // namespace ort
