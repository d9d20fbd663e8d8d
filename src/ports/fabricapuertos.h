#pragma once

#include "ports/puerto.h"
#include "ports/puertoserie.h"
#include "ports/puertotcp.h"

#include <array>
#include <memory>

namespace ort {

// The serial lines and sockets of ports 1..16, made when first asked for.
class FabricaPuertosQt final : public FabricaPuertos {
public:
    explicit FabricaPuertosQt(QString directorioPrograma);
    ~FabricaPuertosQt() override;
    FabricaPuertosQt(const FabricaPuertosQt&) = delete;
    FabricaPuertosQt& operator=(const FabricaPuertosQt&) = delete;

    // p outside 1..16 throws std::out_of_range.
    PuertoSerieQt& serie(int p) override;
    PuertoTcpQt& tcp(int p) override;

private:
    QString directorio_;
    std::array<std::unique_ptr<PuertoSerieQt>, 17> serie_;
    std::array<std::unique_ptr<PuertoTcpQt>, 17> tcp_;
};

} // namespace ort
