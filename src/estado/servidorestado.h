#pragma once

#include "startup/falla.h"

#include <QHostAddress>
#include <QtHttpServer/QAbstractHttpServer>

#include <optional>

namespace ort {

class EstadoPuertos;

// Where the status page listens: "HOST:PORT" ("[::1]:8088" for IPv6, "localhost:8088"), or
// "no" for nowhere.
struct DireccionHttp {
    QHostAddress host;
    quint16 puerto = 0;
    bool ninguna = false;
    bool deRed() const { return !ninguna && !host.isLoopback(); }
    QString url() const;
};
std::optional<DireccionHttp> interpretaDireccionHttp(const QString& texto);

// The read-only status server: "/" the page, "/api/estado" its JSON, "/metrics" Prometheus
// text. Only GET and HEAD (405 otherwise), 404 for any other path; a request that grows past
// kMaxPeticion bytes before it is answered is refused with 413 and its connection closed, and a
// request the parser cannot read closes its connection; beyond kMaxConexiones connections at
// once a new one is answered 503 and closed. Nothing a client sends reaches
// acquisition: the server only reads the status model.
class ServidorEstado : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qint64 kMaxPeticion = 16 * 1024;
    static constexpr int kInactividadMs = 60000;
    static constexpr int kMaxConexiones = 32;

    explicit ServidorEstado(const EstadoPuertos& estado, QObject* parent = nullptr);
    // Listens on the address and gives the port listened on, or why it cannot (the port in use,
    // an address not of this host).
    Resultado<quint16> escucha(const DireccionHttp& d);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    const EstadoPuertos& estado_;
};

} // namespace ort
