// The program with its windows: the title window, then the monitor, on top of acquisition.
#include "editor/enlace.h"
#include "monitor/adquisicion.h"
#include "monitor/avisoswindow.h"
#include "monitor/monitorwindow.h"
#include "ports/fabricapuertos.h"
#include "recording/grabador.h"
#include "startup/archivosproducto.h"
#include "startup/avisoshilos.h"
#include "startup/conexion.h"
#include "startup/reloj.h"
#include "startup/titlewindow.h"

#include <QApplication>

#include <memory>

namespace ort {

int EjecutaVentanas(QApplication& app, const QString& dir, GrabadorDatos::Apertura escritura,
                    qint64 maximoDiario) {
    AvisosVentana avisos;
    auto ajustes = CargaAjustes(dir, avisos);
    if (!ajustes)
        return 1;
    RelojSistema reloj;
    // Ports' workers and the recording thread reach the windows' notices through this.
    AvisosEntreHilos avisosHilos(avisos);
    Entorno e{*ajustes, avisosHilos, reloj};
    FabricaPuertosQt puertos(ajustes->Ruta);
    GrabadorDatos grabador(e, escritura);
    Adquisicion adquisicion(e, puertos, grabador);
    adquisicion.usaDiario(maximoDiario);
    // Each data file is written by a thread and writer of its own.
    adquisicion.usaHilos([&] { return std::make_unique<GrabadorDatos>(e, escritura); });
    std::unique_ptr<DAM> monitor;

    OrtCarat titulo(ajustes->Ruta, ajustes->Compania);
    QObject::connect(&titulo, &OrtCarat::cerrada, &app, [&] {
        monitor = std::make_unique<DAM>(adquisicion);
        EnlazaConfiguracion(*monitor, adquisicion);
        avisos.fijaPadre(monitor.get());
        monitor->show();
        // From here on a message box does not hold acquisition up.
        avisos.fijaEspera(false);
        adquisicion.arranca();
    });
    titulo.show();
    const int r = app.exec();
    avisosHilos.terminando();
    adquisicion.detiene();
    return r;
}

} // namespace ort
