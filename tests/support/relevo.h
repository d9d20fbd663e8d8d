#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ort::prueba {

// A TCP relay on loopback to a server: what the program connects to instead of the server, so
// that a test can make the server unreachable (every connection dropped, new ones refused) and
// reachable again on the same address.
class Relevo {
public:
    Relevo(const QString& host, int puerto);
    ~Relevo();
    Relevo(const Relevo&) = delete;
    Relevo& operator=(const Relevo&) = delete;

    // The relay's own port, 0 when it could not listen.
    int puerto() const { return puerto_; }
    QString dataSource() const { return QStringLiteral("127.0.0.1:") + QString::number(puerto_); }
    // Drops every connection and refuses new ones.
    void corta();
    // Listens again on the same port.
    bool restablece();

private:
    bool escucha();
    void bucle();

    QString host_;
    int destino_;
    int puerto_ = 0;
    int escucha_ = -1;
    std::mutex m_;
    std::vector<std::pair<int, int>> pares_; // client, server
    std::atomic<bool> fin_{false};
    std::thread hilo_;
};

} // namespace ort::prueba
