#pragma once

#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

namespace ort {

struct Entorno;
class FabricaPuertos;
class Grabador;
class HiloPuerto;
class HiloGrabacion;

// Acquisition as the monitor window runs it, without the window: the restart, the port switch,
// the polling timer, and the ports' events feeding the receive pass. The window and the headless
// service sit on top of it and follow its signals.
class Adquisicion : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervaloMs = 7000;
    static constexpr qint64 kEsperaSocketMs = 10000;

    Adquisicion(Entorno& e, FabricaPuertos& puertos, Grabador& grabador, QObject* parent = nullptr);
    ~Adquisicion() override;

    // Serves every open port on a worker of its own and writes apart from the ports (the
    // program does so); without it, everything runs on the calling thread, port after port.
    // Each data location is written by a thread and a writer of its own, made by fabrica.
    // Called before arranca(). The notices in e must then be safe from any thread
    // (AvisosEntreHilos).
    void usaHilos(std::function<std::unique_ptr<Grabador>()> fabrica);
    // With usaHilos: a value that cannot be written for now is held in the journal of held
    // readings of the program directory (at most maximo readings) and written later, in order.
    // Called before usaHilos().
    void usaDiario(qint64 maximo) { maximoDiario_ = maximo; }
    bool conDiario() const { return maximoDiario_ > 0; }
    bool conHilos() const { return conHilos_; }
    // The end of the program: every worker stopped, every port closed, and every reading taken
    // so far written and committed (or reported not recorded). Results reach the log through
    // the event loop.
    void detiene();
    // Loading of the monitor: restart, then one opening of the Metrovax database to check it,
    // then the polling timer.
    void arranca();
    // Reloads the configuration and reopens the ports marked open. Ports open before it are
    // closed first, so every port ends as its mark says.
    void Reinicia();
    void OpenPuertos();
    // The switch of the current port: opens it when closed, closes it when open.
    void cmdAbre();
    // One tick of the polling timer.
    void tick();
    // After the channel editor: sequences renumbered and counted again.
    void IniSecue();
    // Closes every open port (the end of the program); the marks stay as they are.
    void cierraTodo();

    void fijaPuertoActual(int p);
    int puertoActual() const { return t_.PuertoActual; }

    // Captions of the monitor.
    QString captionFrame() const;
    QString captionAbre() const;
    QString archivoConfig() const;
    bool activo(int p) const { return t_.puerto(p).Activo; }

    Entorno& entorno() { return e_; }
    TablasRuntime& tablas() { return t_; }
    AlmacenConfig& config() { return config_; }
    LogPuertos& log() { return log_; }
    Registrador& registrador() { return registrador_; }
    Receptor& receptor() { return receptor_; }
    QTimer& temporizador() { return timer_; }
    bool esperandoSocket(int p) const { return esperandoSocket_.at(p); }
    // A restart or a port switch is under way (it may be waiting for a socket).
    bool ocupada() const { return ocupada_; }

signals:
    // A port opened or closed: its lamp and, when current, the switch's caption.
    void estadoPuerto(int p, bool abierto);
    // Configuration reloaded: the file name and the captions.
    void captionsCambiadas();
    void contadoresCambiados(int p);
    // Every reading tested against its limits (relayed from registration), and the limits of
    // each sequence of a port as its opening loaded them.
    void lecturaProbada(const ort::LecturaProbada& l);
    void limitesCargados(int p, int c, int s, const QString& carac, double inf, double sup);

private:
    void conectaEventos(int p);
    void cierraPuerto(int p, const QString& motivo);
    void cargaLimites(int p);
    void comLeeDesdeEvento(int p);
    void conmuta();
    void abrePuertosMarcados();
    void arrancaHilo(int p);
    void detieneHilo(int p);
    void cierraDispositivo(int p);

    Entorno& e_;
    FabricaPuertos& puertos_;
    TablasRuntime t_;
    AlmacenConfig config_;
    LogPuertos log_;
    Registrador registrador_;
    Receptor receptor_;
    QTimer timer_;
    std::array<bool, kPuertos + 1> esperandoSocket_{};
    bool ocupada_ = false;
    bool terminando_ = false; // detiene() was called: nothing opens again
    bool conHilos_ = false;
    qint64 maximoDiario_ = 0;
    std::array<std::unique_ptr<HiloPuerto>, kPuertos + 1> hilos_;
    std::unique_ptr<HiloGrabacion> grabacion_;
};

} // namespace ort
