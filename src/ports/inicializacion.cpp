#include "ports/inicializacion.h"

namespace ort {

namespace {

struct FilaInicializacion {
    const char* clave;
    QList<QByteArray> comandos;
    bool avisaOk;
};

const QList<FilaInicializacion>& Filas() {
    // clang-format off
    static const QList<FilaInicializacion> filas = {
        {"XRITE", {" os\r"},                           false},
        {"DL-10", {"S1A1000\r"},                       false},
        {"PEL10", {"$RE 0\r", "$RA 3\r", "$AZ\r"},     true},
        {"MIG-1", {" \r"},                             false},
        {"MUX40", {" \r"},                             false},
        {"MIG-2", {"R\r"},                             false},
        {"MX200", {"R\r"},                             false},
    };
    // clang-format on
    return filas;
}

} // namespace

Inicializacion InicializacionInstrumento(const QString& conex) {
    QString clave = conex;
    clave.remove(u' ');
    for (const auto& fila : Filas()) {
        if (clave != QLatin1String(fila.clave))
            continue;
        Inicializacion r{fila.comandos, std::nullopt};
        if (fila.avisaOk)
            r.mensaje = QStringLiteral("PEL10: ") + QStringLiteral("Inicialización OK.");
        return r;
    }
    return {};
}

} // namespace ort
