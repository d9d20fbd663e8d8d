#include "editor/enlace.h"

#include "config/ubicaciondialog.h"
#include "editor/canal.h"
#include "monitor/adquisicion.h"
#include "monitor/monitorwindow.h"

#include <QTabWidget>

namespace ort {

void EnlazaConfiguracion(DAM& monitor, Adquisicion& a) {
    monitor.abreEditor = [&monitor, &a] {
        a.fijaPuertoActual(monitor.SSTab1->currentIndex() + 1);
        Canal editor(a.entorno(), a.config(), a.tablas(), &monitor);
        editor.exec();
    };
    monitor.abreUbicacion = [&monitor, &a] {
        ORTConfig dialogo(a.entorno(), &monitor);
        dialogo.exec();
    };
}

} // namespace ort
