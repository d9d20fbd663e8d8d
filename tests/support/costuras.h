#pragma once

// Hooks into the program that only tests use; each is defined beside the code it reaches.
#include "startup/conexion.h"

namespace ort {

// Makes the engine's connections use another Qt driver, to stand for a machine without one.
void FijaDriverParaPruebas(Motor motor, const QString& driver);

} // namespace ort
