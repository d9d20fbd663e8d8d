#pragma once

#include "basedatos/conexion.h"

namespace ort {

void FijaDriverParaPruebas(Motor motor, const QString& driver);

} // namespace ort
