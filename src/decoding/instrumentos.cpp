#include "decoding/instrumentos.h"

#include "decoding/decodificadores.h"

namespace ort {

namespace {

#define ORT_INSTRUMENTO(codigo, decodificador, generador, canales, variantes, apertura, aviso,     \
                        descripcion)                                                               \
    {codigo, decodificador, apertura, aviso, canales, variantes, descripcion},

const Instrumento kInstrumentos[] = {
#include "decoding/instrumentos.inc"
};

#undef ORT_INSTRUMENTO

} // namespace

QList<QByteArray> Instrumento::comandosApertura() const {
    QList<QByteArray> comandos;
    const QByteArray todos(apertura);
    qsizetype desde = 0;
    while (desde < todos.size()) {
        const qsizetype cr = todos.indexOf('\r', desde);
        const qsizetype fin = cr < 0 ? todos.size() : cr + 1;
        comandos << todos.mid(desde, fin - desde);
        desde = fin;
    }
    return comandos;
}

QString Instrumento::textoAviso() const {
    if (!aviso)
        return {};
    return QString::fromLatin1(codigo) + QStringLiteral(": ") + QString::fromUtf8(aviso);
}

const QList<const Instrumento*>& instrumentos() {
    static const QList<const Instrumento*> todos = [] {
        QList<const Instrumento*> r;
        for (const auto& i : kInstrumentos)
            r << &i;
        return r;
    }();
    return todos;
}

} // namespace ort
