#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace ort {

// Talks to systemd when it started ORT as a Type=notify service (NOTIFY_SOCKET set): READY once
// the ports are open, a STATUS line with the counts, and the watchdog's pings. Without
// NOTIFY_SOCKET every call does nothing.
class AvisoSystemd : public QObject {
    Q_OBJECT
public:
    explicit AvisoSystemd(QObject* parent = nullptr);
    ~AvisoSystemd() override;

    bool activo() const { return activo_; }
    // Half the watchdog period systemd asked for (WatchdogSec=), or 0 without a watchdog.
    qint64 intervaloPingMs() const { return intervaloMs_; }

    void listo(const QString& estado);
    void estado(const QString& estado);
    void terminando();
    // Pings the watchdog from a timer living on the thread of `hilo`'s object, the one that
    // drives acquisition: if that thread stops serving its events, the pings stop and systemd
    // restarts ORT.
    void vigila(QObject* hilo);

private:
    bool envia(const QByteArray& texto);

    bool activo_ = false;
    qint64 intervaloMs_ = 0;
    QString ultimoEstado_;
    QTimer* ping_ = nullptr; // owned here, lives on acquisition's thread
};

} // namespace ort
