// The program with its windows: the title window, then the monitor, on top of acquisition.
#include "app/ventanas.h"

#include "basedatos/conexion.h"
#include "estado/enlaceestado.h"
#include "monitor/adquisicion.h"
#include "monitor/servicio.h"
#include "ports/fabricapuertos.h"
#include "recording/grabador.h"
#include "startup/archivosproducto.h"
#include "startup/avisoshilos.h"
#include "startup/reloj.h"
#include "ventanas/avisosventana.h"
#include "ventanas/editor/enlace.h"
#include "ventanas/ventanamonitor.h"
#include "ventanas/ventanatitulo.h"

#include <QApplication>

#include <memory>

namespace ort {

int ejecutaVentanas(QApplication& app, const QString& dir, GrabadorDatos::ModoEscritura escritura,
                    const DireccionHttp& http, qint64 maximoDiario) {
    AvisosVentana avisos;
    auto ajustes = cargaAjustes(dir, avisos);
    if (!ajustes)
        return 1;
    RelojSistema reloj;
    // Ports' workers and the recording thread reach the windows' notices through this.
    AvisosEntreHilos avisosHilos(avisos);
    Entorno e{*ajustes, avisosHilos, reloj};
    FabricaPuertosQt puertos(ajustes->Ruta);
    GrabadorDatos grabador(e, escritura);
    LatenciaEscritura latencia;
    GrabadorMedido medido(grabador, latencia);
    Adquisicion adquisicion(e, puertos, medido);
    adquisicion.usaDiario(maximoDiario);
    // Each data file is written by a thread and writer of its own; every value is timed.
    adquisicion.usaHilos([&] {
        return std::make_unique<GrabadorMedido>(std::make_unique<GrabadorDatos>(e, escritura),
                                                latencia);
    });
    EnlaceEstado estado(adquisicion, e, &latencia);
    estado.sirve(http);
    std::unique_ptr<VentanaMonitor> monitor;
    // Ctrl-C or SIGTERM (a session ending, a service manager) end ORT as closing it does, with
    // everything received committed.
    FinPorSenal fin(adquisicion, &avisosHilos);

    VentanaTitulo titulo(ajustes->Ruta, ajustes->Compania);
    QObject::connect(&titulo, &VentanaTitulo::cerrada, &app, [&] {
        monitor = std::make_unique<VentanaMonitor>(adquisicion);
        enlazaConfiguracion(*monitor, adquisicion);
        avisos.fijaPadre(monitor.get());
        monitor->show();
        if (!titulo.problemaImagen().isEmpty())
            avisos.mensaje(QStringLiteral("ORT. OrtCarat.\n\n") + titulo.problemaImagen(),
                           Avisos::Icono::Exclamacion);
        // From here on a message box does not hold acquisition up.
        avisos.fijaEspera(false);
        adquisicion.arranca();
        if (!fin.terminado())
            estado.arrancado();
    });
    fin.atiende();
    titulo.show();
    const int r = app.exec();
    avisosHilos.terminando();
    adquisicion.detiene();
    return r;
}

} // namespace ort
