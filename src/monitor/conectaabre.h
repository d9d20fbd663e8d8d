#pragma once

#include "qualitydb/basecalidad.h"

namespace ort {

class TablasRuntime;
class FabricaPuertos;

// Opens port p from its connection record: a serial line with its settings and the instrument's
// initialisation, or a TCP connection started in the background; then stores the port's
// reception settings and loads its field table. Every failing step is reported on its own and
// the opening goes on with the next one; the caller learns the outcome from the port itself. The
// connection record comes from leeINS (registroINS in the program).
void ConnectAbre(Entorno& e, TablasRuntime& t, FabricaPuertos& puertos, int p,
                 const LectorINS& leeINS);

} // namespace ort
