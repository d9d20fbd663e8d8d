#include "ventanas/editor/enlace.h"

#include "monitor/adquisicion.h"
#include "ventanas/dialogoubicacion.h"
#include "ventanas/editor/editorcanales.h"
#include "ventanas/ventanamonitor.h"

#include <QTabWidget>

namespace ort {

void enlazaConfiguracion(VentanaMonitor& monitor, Adquisicion& a) {
    monitor.abreEditor = [&monitor, &a] {
        a.fijaPuertoActual(monitor.pestanas->currentIndex() + 1);
        EditorCanales editor(a.entorno(), a.config(), a.tablas(), &monitor);
        editor.exec();
    };
    monitor.abreUbicacion = [&monitor, &a] {
        DialogoUbicacion dialogo(a.entorno(), &monitor);
        dialogo.exec();
    };
}

} // namespace ort
