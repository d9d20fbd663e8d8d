#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace ort::prueba {

struct ResultadoAlAzar {
    QString problema; // empty when every rule held
    int lecturas = 0;
    int fallas = 0; // frames refused with FallaDecodificacion
};

// Feeds arbitrary bytes to the decoder of one instrument code, as one receive pass on a fake
// port: the first bytes pick the port, the start position and the time of day, the rest is split
// at carriage returns into the frame and the further frames waiting behind it (at most 64).
// Every character is one byte. Only FallaDecodificacion is caught; any other exception escapes.
ResultadoAlAzar DecodificaAlAzar(const QString& conex, const std::uint8_t* datos, std::size_t n);

} // namespace ort::prueba

// libFuzzer's entry: the first byte picks the instrument code (or an unknown one).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* datos, std::size_t n);
