#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ort::prueba {

class Relevo {
public:
    Relevo(const QString& host, int puerto);
    ~Relevo();
    Relevo(const Relevo&) = delete;
    Relevo& operator=(const Relevo&) = delete;

    int puerto() const { return puerto_; }
    QString dataSource() const { return QStringLiteral("127.0.0.1:") + QString::number(puerto_); }
    void corta();
    bool restablece() { return escucha(); }

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
