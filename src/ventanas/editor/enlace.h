#pragma once

namespace ort {

class Adquisicion;
class VentanaMonitor;

// Gives the monitor's two configuration buttons their windows: "Configurar" opens the channel
// editor for the port of the selected tab, the configuration file's button opens the location
// dialog; both modal, acquisition going on underneath.
void enlazaConfiguracion(VentanaMonitor& monitor, Adquisicion& a);

} // namespace ort
