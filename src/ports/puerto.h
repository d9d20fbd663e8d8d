#pragma once

#include "startup/falla.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QIODevice;

#include <optional>

namespace ort {

// What acquisition needs of an open port, serial or TCP. Reads never handle events; waiting
// for data blocks on the device (or, in tests, on the fake clock) without spinning.
class Puerto : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Puerto() override = default;

    virtual bool abierto() const = 0;
    // Characters received and not yet read (InBufferCount).
    virtual int esperando() = 0;
    // One received character (Input with an input length of 1); -1 when none is waiting.
    virtual int leeCaracter() = 0;
    // The waiting characters up to the first `terminador`, included when it came, read at once;
    // what follows stays waiting. Empty when nothing is waiting.
    virtual QByteArray leeHasta(int terminador);
    // Everything received so far (GetData).
    virtual QByteArray leeTodo() = 0;
    // Output; false when the port cannot take it.
    virtual bool escribe(const QByteArray& datos) = 0;
    // Waits up to ms for data to arrive, without handling events; true when some is waiting.
    virtual bool esperaDatos(int ms) = 0;
    virtual void cierra() = 0;

signals:
    // Data arrived (the "characters received" event, value 2, or the socket's data arrival).
    void datos();
    // Any other communication event of a serial port, by its value (1001 = break, …).
    void evento(int valor);
    // The device or the peer went away; the port has closed itself and says so once.
    void perdido(const QString& motivo);
};

// leeHasta for a buffered device: what it holds up to the first `terminador`, taken in slices
// so that a long backlog is not copied for every frame.
QByteArray leeHastaDe(QIODevice& d, int terminador);

// Port p's serial line. Opening goes step by step, as the serial control's properties were
// set, and every step may fail on its own.
class PuertoSerie : public Puerto {
    Q_OBJECT
public:
    using Puerto::Puerto;
    virtual Resultado<> fijaNumero(int puerto) = 0;         // CommPort
    virtual Resultado<> fijaSettings(const QString& s) = 0; // "9600,N,8,1"
    virtual Resultado<> fijaBufferEntrada(int bytes) = 0;   // InBufferSize
    virtual Resultado<> fijaUmbral(int caracteres) = 0;     // RThreshold
    virtual Resultado<> fijaDtr(bool on) = 0;
    virtual Resultado<> fijaRts(bool on) = 0;
    virtual Resultado<> abre() = 0; // PortOpen = True
};

// Port p's TCP client socket.
class PuertoTcp : public Puerto {
    Q_OBJECT
public:
    using Puerto::Puerto;
    // Starts connecting in the background (RemoteHost, RemotePort, Connect).
    virtual Resultado<> conecta(const QString& host, qint32 puerto) = 0;
    // State 7 of the socket control.
    virtual bool conectado() const = 0;
    // Waits up to ms for a connection under way to complete, without handling events (a
    // worker's thread has no event loop to complete it); true when connected.
    virtual bool esperaConexion(int) { return conectado(); }
    // A connection started and not yet made nor refused.
    virtual bool conectando() const { return false; }
    // The host and port of the last conecta().
    virtual QString hostRemoto() const { return {}; }
    virtual qint32 numeroRemoto() const { return 0; }
};

// The 16 serial lines and 16 sockets of acquisition (element p serves port p).
class FabricaPuertos {
public:
    virtual ~FabricaPuertos() = default;
    virtual PuertoSerie& serie(int p) = 0;
    virtual PuertoTcp& tcp(int p) = 0;
};

} // namespace ort
