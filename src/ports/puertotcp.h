#pragma once

#include "ports/puerto.h"
#include "ports/retencion.h"

#include <QTcpSocket>

namespace ort {

// Source of every failure of a socket, and its numbers.
inline constexpr auto kFuentePuertoTcp = "PuertoTcp";
inline constexpr qint64 kFallaTcpValorNoValido = 380; // no host, or a port outside 1..65535

// A TCP client on QTcpSocket. The connection is made in the background; one that fails is
// silent (its text stays in ultimoError()). A peer that closes or resets a connection that was
// made is reported once through perdido(); what it sent before stays readable.
// As with the serial line, signals that would be raised inside a blocking call are held back
// and delivered from the event loop afterwards.
class PuertoTcpQt final : public PuertoTcp {
    Q_OBJECT
public:
    explicit PuertoTcpQt(QObject* parent = nullptr);
    ~PuertoTcpQt() override;

    // Connected, as State 7 of the socket control.
    bool abierto() const override { return conectado(); }
    int esperando() override;
    int leeCaracter() override;
    QByteArray leeHasta(int terminador) override;
    QByteArray leeTodo() override;
    bool escribe(const QByteArray& datos) override;
    bool esperaDatos(int ms) override;
    void cierra() override;

    // Drops any earlier connection, then starts the new one.
    Resultado<> conecta(const QString& host, qint32 puerto) override;
    bool conectado() const override;
    bool esperaConexion(int ms) override;
    bool conectando() const override {
        return socket_.state() == QAbstractSocket::ConnectingState ||
               socket_.state() == QAbstractSocket::HostLookupState;
    }

    QString hostRemoto() const override { return host_; }
    qint32 numeroRemoto() const override { return puerto_; }
    QString ultimoError() const { return ultimoError_; }

private:
    void alLlegar();
    void alFallar(QAbstractSocket::SocketError error);
    void compruebaConexion();
    void trae();

    QTcpSocket socket_;
    QString host_;
    qint32 puerto_ = 0;
    QString ultimoError_;
    bool visto_ = false; // connected since the last conecta(), and not yet reported lost
    Retencion retencion_{this, [this] { alLlegar(); }};
};

} // namespace ort
