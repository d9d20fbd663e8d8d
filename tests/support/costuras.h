#pragma once

#include "basedatos/conexion.h"

namespace ort {

void fijaDriverParaPruebas(Motor motor, const QString& driver);

} // namespace ort
