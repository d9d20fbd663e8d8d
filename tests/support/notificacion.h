#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace ort::prueba {

class SocketNotificacion : public QObject {
public:
    explicit SocketNotificacion(const QString& ruta) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray r = ruta.toLocal8Bit();
        std::memcpy(a.sun_path, r.constData(), size_t(std::min<qsizetype>(r.size(), 100)));
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (ok_) {
            auto* n = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
            connect(n, &QSocketNotifier::activated, this, [this] { recoge(); });
        }
    }
    ~SocketNotificacion() override {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return ok_; }
    QStringList lee() { return recoge(), std::exchange(oidos_, {}); }

private:
    void recoge() {
        char buf[4096];
        for (ssize_t n; (n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0;)
            oidos_ << QString::fromUtf8(buf, int(n));
    }

    int fd_ = -1;
    bool ok_ = false;
    QStringList oidos_;
};

} // namespace ort::prueba
