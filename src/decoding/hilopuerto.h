#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace ort {

class Receptor;
class Reloj;
class Puerto;

// The worker of one open port: its own thread runs the port's receive passes (framing, decoding,
// the rest after a serial frame, the silence that ends a frame, a decoder's further frames and
// dialogues), so that none of its waits holds up another port or the windows. The port's device
// object lives in this thread while the worker runs and goes back to the window thread when it
// stops. A TIMER port has no device: its passes run when the polling timer asks for them.
// A TCP instrument that closes or resets is connected again with a growing pause, and a serial
// device that goes away is opened again when it comes back; the worker says so once each way.
class HiloPuerto : public QThread {
    Q_OBJECT
public:
    static constexpr int kTramoMs = 50;
    static constexpr int kEsperaOciosaMs = 250;

    // puerto: the port's open device, or nullptr for a TIMER port.
    HiloPuerto(int p, Receptor& receptor, Reloj& reloj, Puerto* puerto, QObject* parent = nullptr);
    ~HiloPuerto() override;

    int puerto() const { return p_; }
    // Asks for a pass (the polling timer of a TIMER port).
    void pide();
    // Tells the worker to stop, without waiting for it.
    void pideAlto();
    // Ends the worker within one slice of its waits; the device is back on the calling thread
    // (the window thread) when it returns. Readings taken before it are registered.
    void detiene();
    const std::atomic<bool>& alto() const { return alto_; }

signals:
    // The device was lost (the reason) and is being reconnected; it is back.
    void perdido(int p, const QString& motivo);
    void recuperado(int p);

protected:
    void run() override;

private:
    bool reconecta(const QString& motivo);
    bool duerme(qint64 ms);

    const int p_;
    Receptor& receptor_;
    Reloj& reloj_;
    Puerto* puerto_;
    QThread* origen_;
    std::atomic<bool> alto_{false};
    std::mutex m_; // std rather than Qt's: ThreadSanitizer sees through them
    std::condition_variable cv_;
    bool pedido_ = false;
    QString motivoPerdida_; // set on the worker's thread only
};

} // namespace ort
