#include "ortsim/generadores.h"

namespace ort::sim {

namespace {

QString Valor(double v) { return QString::number(v, 'f', 3); }

struct FilaGenerador {
    const char* codigo;
    Generador f;
};

// clang-format off
const FilaGenerador kGeneradores[] = {
    {"TABLA", GeneraCampos},
};
// clang-format on

} // namespace

Muestra GeneraValor(double valor, const Opciones& o) {
    Muestra m;
    const QString v = Valor(valor);
    m.tramas << v.toLatin1();
    if (!o.rechazo)
        m.lecturas << QStringLiteral("01") + v;
    return m;
}

Muestra GeneraCampos(double valor, const Opciones& o) {
    Muestra m;
    QStringList valores;
    for (int i = 0; i < std::max(o.campos, 1); ++i)
        valores << Valor(valor + i);
    m.tramas << valores.join(u',').toLatin1();
    // Each field is cut in a column of 15 after the separator expands; the value fills its start.
    for (const QString& v : valores)
        m.lecturas << QStringLiteral("01") + v;
    return m;
}

Generador BuscaGenerador(const QString& codigo) {
    const QString c = codigo.trimmed();
    for (const auto& g : kGeneradores)
        if (c == QLatin1String(g.codigo))
            return g.f;
    return GeneraValor;
}

QStringList CodigosSimulados() {
    QStringList r;
    for (const auto& g : kGeneradores)
        r << QString::fromLatin1(g.codigo);
    return r;
}

} // namespace ort::sim
