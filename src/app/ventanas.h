#pragma once
// The program with its windows: the title window, then the monitor, on top of acquisition.
// Built only with windows (ORT_GUI); a build without them runs as a service.
#include "recording/grabador.h"

#include <QString>

class QApplication;

namespace ort {

struct DireccionHttp;

// Runs ORT with its windows until the monitor is closed; answers the program's exit code.
int ejecutaVentanas(QApplication& app, const QString& dir, GrabadorDatos::ModoEscritura escritura,
                    const DireccionHttp& http, qint64 maximoDiario);

} // namespace ort
