#include "ports/eventos.h"

#include "startup/ajustes.h"

namespace ort {

namespace {
struct FilaEvento {
    int valor;
    const char* texto;
};
// clang-format off
constexpr FilaEvento kEventos[] = {
    {1,    "1:Send Threshold error."},
    {3,    "3:Cambio en CTS."},
    {4,    "4:Cambio en DSR."},
    {5,    "5:Cambio en Carrier Detect."},
    {6,    "6:Ring."},
    {7,    "7:End of file."},
    {1001, "1001:Señal Break."},
    {1002, "1002:CTS Tiempo fuera."},
    {1003, "1003:DSR Tiempo fuera."},
    {1004, "1004:Error de Enmarcado."},
    {1006, "1006:Port Overrun."},
    {1007, "1007:Carrier Detect Timeout."},
    {1008, "1008:Buffer Desbordado."},
    {1009, "1009:Error de Paridad."},
    {1010, "1010:Transmit Buffer Full."},
};
// clang-format on
} // namespace

QString clasificaEvento(int valor, const Ajustes& a) {
    for (const auto& f : kEventos)
        if (f.valor == valor)
            return QString::fromUtf8(f.texto);
    return a.texto(Textos::EventoDesconocido) + QString::number(valor);
}

bool eventoSeMuestra(int valor) {
    return valor != 2 && (valor < 1 || valor > 7);
}

} // namespace ort
