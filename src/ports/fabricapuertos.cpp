#include "ports/fabricapuertos.h"

#include <stdexcept>
#include <string>

namespace ort {

namespace {

void compruebaPuerto(int p) {
    if (p < 1 || p > 16)
        throw std::out_of_range("puerto " + std::to_string(p) + " fuera de 1..16");
}

} // namespace

FabricaPuertosQt::FabricaPuertosQt(QString directorioPrograma)
    : directorio_(std::move(directorioPrograma)) {}

FabricaPuertosQt::~FabricaPuertosQt() = default;

PuertoSerieQt& FabricaPuertosQt::serie(int p) {
    compruebaPuerto(p);
    auto& puerto = serie_[static_cast<std::size_t>(p)];
    if (!puerto)
        puerto = std::make_unique<PuertoSerieQt>(directorio_);
    return *puerto;
}

PuertoTcpQt& FabricaPuertosQt::tcp(int p) {
    compruebaPuerto(p);
    auto& puerto = tcp_[static_cast<std::size_t>(p)];
    if (!puerto)
        puerto = std::make_unique<PuertoTcpQt>();
    return *puerto;
}

} // namespace ort
