#pragma once

#include <QByteArray>
#include <QString>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace ort::prueba {

class Pty {
public:
    Pty() {
        int esclavo = -1;
        char nombre[256] = {};
        if (::openpty(&maestro_, &esclavo, nombre, nullptr, nullptr) == 0) {
            ::close(esclavo);
            esclavo_ = QString::fromLocal8Bit(nombre);
        }
    }
    ~Pty() { cierra(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool valido() const { return maestro_ >= 0; }
    QString esclavo() const { return esclavo_; }
    void cierra() {
        if (maestro_ >= 0)
            ::close(std::exchange(maestro_, -1));
    }
    bool escribe(const QByteArray& b) {
        return ::write(maestro_, b.constData(), static_cast<size_t>(b.size())) == b.size();
    }
    QByteArray lee(int n, int ms = 3000) {
        QByteArray r;
        while (r.size() < n) {
            pollfd pfd{maestro_, POLLIN, 0};
            if (::poll(&pfd, 1, ms) <= 0)
                break;
            char buf[256];
            const auto k = ::read(maestro_, buf, sizeof buf);
            if (k <= 0)
                break;
            r.append(buf, static_cast<int>(k));
        }
        return r;
    }
    termios atributos() const {
        termios t{};
        ::tcgetattr(maestro_, &t);
        return t;
    }

private:
    int maestro_ = -1;
    QString esclavo_;
};

} // namespace ort::prueba
