#include "ventanas/editor/enlace.h"

#include "monitor/adquisicion.h"
#include "ventanas/editor/canal.h"
#include "ventanas/monitorwindow.h"
#include "ventanas/ubicaciondialog.h"

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
