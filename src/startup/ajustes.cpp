#include "startup/ajustes.h"

namespace ort {

TablaTextos::TablaTextos(int g, int n, int l) : g_(g), n_(n), l_(l) {
    if (g >= 0 && n >= 0 && l >= 0)
        textos_.resize(qsizetype(g + 1) * (n + 1) * (l + 1));
}

QString TablaTextos::texto(int g, int n, int idioma) const {
    if (g < 0 || g > g_ || n < 0 || n > n_ || idioma < 0 || idioma > l_)
        return {};
    return textos_[indice(g, n, idioma)];
}

void TablaTextos::fija(int g, int n, int idioma, const QString& t) {
    if (g < 0 || g > g_ || n < 0 || n > n_ || idioma < 0 || idioma > l_)
        return;
    textos_[indice(g, n, idioma)] = t;
}

} // namespace ort
