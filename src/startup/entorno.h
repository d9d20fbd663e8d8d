#pragma once

#include "startup/ajustes.h"

namespace ort {

class Avisos;
class Reloj;

// What every part of acquisition reads and may report through.
struct Entorno {
    Ajustes& ajustes;
    Avisos& avisos;
    Reloj& reloj;
};

} // namespace ort
