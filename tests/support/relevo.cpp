#include "support/relevo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ort::prueba {

Relevo::Relevo(const QString& host, int puerto) : host_(host), destino_(puerto) {
    if (escucha())
        hilo_ = std::thread([this] { bucle(); });
}

Relevo::~Relevo() {
    fin_ = true;
    if (hilo_.joinable())
        hilo_.join();
    corta();
}

namespace {
sockaddr_in direccion(in_addr_t ip, int puerto) {
    sockaddr_in a{};
    a.sin_family = AF_INET, a.sin_addr.s_addr = ip, a.sin_port = htons(uint16_t(puerto));
    return a;
}
} // namespace

bool Relevo::escucha() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const int uno = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
    sockaddr_in a = direccion(htonl(INADDR_LOOPBACK), puerto_);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 16) != 0) {
        ::close(s);
        return false;
    }
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    puerto_ = ntohs(a.sin_port);
    std::lock_guard l(m_);
    escucha_ = s;
    return true;
}

void Relevo::corta() {
    std::lock_guard l(m_);
    if (escucha_ >= 0)
        ::close(escucha_);
    escucha_ = -1;
    for (auto [c, s] : pares_)
        ::close(c), ::close(s);
    pares_.clear();
}

void Relevo::bucle() {
    char buf[65536];
    while (!fin_) {
        std::vector<pollfd> fds;
        {
            std::lock_guard l(m_);
            if (escucha_ >= 0)
                fds.push_back({escucha_, POLLIN, 0});
            for (auto [c, s] : pares_) {
                fds.push_back({c, POLLIN, 0});
                fds.push_back({s, POLLIN, 0});
            }
        }
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        std::lock_guard l(m_);
        for (const pollfd& f : fds) {
            if (!(f.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (f.fd == escucha_) {
                const int c = ::accept(escucha_, nullptr, nullptr);
                if (c < 0)
                    continue;
                const int s = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a = direccion(inet_addr(host_.toLatin1().constData()), destino_);
                if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                    pares_.emplace_back(c, s);
                else
                    ::close(c), ::close(s);
                continue;
            }
            for (auto it = pares_.begin(); it != pares_.end(); ++it) {
                auto [c, s] = *it;
                if (f.fd != c && f.fd != s)
                    continue;
                const ssize_t n = ::read(f.fd, buf, sizeof buf);
                if (n <= 0 || ::write(f.fd == c ? s : c, buf, size_t(n)) != n)
                    ::close(c), ::close(s), pares_.erase(it);
                break;
            }
        }
    }
}

} // namespace ort::prueba
