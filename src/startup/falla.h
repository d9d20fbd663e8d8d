#pragma once

#include <QString>

namespace ort {

// A failure as the product reported it: its source, number and description.
struct Falla {
    QString fuente;
    qint64 numero = 0;
    QString descripcion;
};

} // namespace ort
