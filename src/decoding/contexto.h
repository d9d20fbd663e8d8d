#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace ort {

// A frame a decoder cannot take (a cut outside the frame, a date that does not convert, …). The
// receive pass reports it naming the port and the frame, and goes on with the next frame.
class FallaDecodificacion : public std::runtime_error {
public:
    explicit FallaDecodificacion(const QString& motivo)
        : std::runtime_error(motivo.toStdString())
        , motivo_(motivo) {}
    const QString& motivo() const { return motivo_; }

private:
    QString motivo_;
};

// What a decoder sees of the receive pass it runs in: the frame, the port it came from, and what
// it may do besides producing readings (read further frames, answer, close the port, wait).
class ContextoDecodificacion {
public:
    virtual ~ContextoDecodificacion() = default;

    virtual int puerto() const = 0;
    // The frame being decoded (Trama).
    QString trama;
    // The instrument's own date ("yyyymmdd") and time ("hhnn") of the readings, "" when none.
    QString FechaInst, HoraInst;

    // Hands a reading (two channel digits and the value text) to registration.
    virtual void registra(const QString& lectura) = 0;
    // Assembles the next frame into trama (LeeTrama) and returns it.
    virtual const QString& leeTrama() = 0;
    // Characters waiting on the port.
    virtual int esperando() = 0;
    virtual void escribe(const QByteArray& datos) = 0;
    // Closes the port (PortOpen = False); the receive pass then ends.
    virtual void cierraPuerto() = 0;
    virtual bool puertoAbierto() const = 0;
    // Espera: blocks for that many seconds without handling events.
    virtual void espera(double segundos) = 0;
    virtual double segundosDesdeMedianoche() const = 0;
    virtual int posInicio() const = 0;
    // The GSE01 context command for a channel of this port ("" when a look-up failed).
    virtual QString gseArmaComando(int canal) = 0;
    // A line on the port's log, for frames a decoder drops with a reason.
    virtual void anota(const QString& linea) = 0;
    // The note of a frame dropped for a reason, with the frame's text.
    void ignora(const QString& motivo) {
        anota(QStringLiteral(" Trama ignorada (%1): %2").arg(motivo, trama));
    }

    // Kept for one receive pass (DM510's last date and time).
    QString pasoFecha, pasoHora;
};

// Channels announced by FOCUG and MIRAN instruments; common to all ports, kept between passes.
struct EstadoDecodificadores {
    QString CanalFocug;
    QString CanalMiran;
};

} // namespace ort
