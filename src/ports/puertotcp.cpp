#include "ports/puertotcp.h"

namespace ort {

PuertoTcpQt::PuertoTcpQt(QObject* parent) : PuertoTcp(parent) {
    // A child, so that it follows the port into its worker's thread.
    socket_.setParent(this);
    connect(&socket_, &QTcpSocket::readyRead, this, &PuertoTcpQt::alLlegar);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &PuertoTcpQt::alFallar);
    connect(&socket_, &QTcpSocket::connected, this, [this] { visto_ = true; });
    connect(&socket_, &QTcpSocket::disconnected, this, &PuertoTcpQt::compruebaConexion);
}

PuertoTcpQt::~PuertoTcpQt() {
    disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
}

bool PuertoTcpQt::conectado() const {
    return socket_.state() == QAbstractSocket::ConnectedState;
}

Resultado<> PuertoTcpQt::conecta(const QString& host, qint32 puerto) {
    if (host.trimmed().isEmpty())
        return Falla{QLatin1String(kFuentePuertoTcp), kFallaTcpValorNoValido,
                     QStringLiteral("No se ha indicado el servidor remoto.")};
    if (puerto < 1 || puerto > 65535)
        return Falla{QLatin1String(kFuentePuertoTcp), kFallaTcpValorNoValido,
                     QStringLiteral("El puerto remoto %1 de %2 no está entre 1 y 65535.")
                         .arg(puerto)
                         .arg(host.trimmed())};
    cierra();
    host_ = host.trimmed();
    puerto_ = puerto;
    ultimoError_.clear();
    socket_.connectToHost(host_, static_cast<quint16>(puerto));
    return {};
}

void PuertoTcpQt::cierra() {
    // Not a loss: nothing is reported.
    visto_ = false;
    retencion_.limpiaPendiente();
    if (socket_.state() == QAbstractSocket::ConnectedState)
        socket_.flush();
    socket_.abort();
}

void PuertoTcpQt::compruebaConexion() {
    if (!visto_ || conectado())
        return;
    visto_ = false;
    const QString causa =
        ultimoError_.isEmpty() ? QStringLiteral("la conexión se cerró") : ultimoError_;
    const QString motivo =
        QStringLiteral("Se perdió la conexión con %1:%2: %3.").arg(host_).arg(puerto_).arg(causa);
    retencion_.avisa([this, motivo] { emit perdido(motivo); });
}

void PuertoTcpQt::alFallar(QAbstractSocket::SocketError error) {
    // A wait that ends without data is no failure of the connection.
    if (error == QAbstractSocket::SocketTimeoutError && conectado())
        return;
    ultimoError_ = socket_.errorString();
    compruebaConexion();
}

void PuertoTcpQt::alLlegar() {
    if (retencion_.activa()) {
        retencion_.marcaPendiente();
        return;
    }
    if (socket_.bytesAvailable() > 0)
        emit datos();
}

void PuertoTcpQt::trae() {
    if (!conectado() || socket_.bytesAvailable() > 0)
        return;
    Retencion::Guardia b(retencion_);
    socket_.waitForReadyRead(0);
    compruebaConexion();
}

int PuertoTcpQt::esperando() {
    trae();
    return static_cast<int>(socket_.bytesAvailable());
}

int PuertoTcpQt::leeCaracter() {
    trae();
    char c = 0;
    if (socket_.bytesAvailable() <= 0 || !socket_.getChar(&c))
        return -1;
    return static_cast<unsigned char>(c);
}

QByteArray PuertoTcpQt::leeHasta(int terminador) {
    trae();
    return leeHastaDe(socket_, terminador);
}

QByteArray PuertoTcpQt::leeTodo() {
    trae();
    return socket_.bytesAvailable() > 0 ? socket_.readAll() : QByteArray();
}

bool PuertoTcpQt::escribe(const QByteArray& datos) {
    if (!conectado())
        return false;
    Retencion::Guardia b(retencion_);
    if (socket_.write(datos) != datos.size())
        return false;
    socket_.flush();
    compruebaConexion();
    return conectado();
}

bool PuertoTcpQt::esperaConexion(int ms) {
    if (socket_.state() == QAbstractSocket::ConnectingState ||
        socket_.state() == QAbstractSocket::HostLookupState) {
        Retencion::Guardia b(retencion_);
        socket_.waitForConnected(std::max(ms, 0));
    }
    return conectado();
}

bool PuertoTcpQt::esperaDatos(int ms) {
    if (socket_.bytesAvailable() > 0)
        return true;
    if (!conectado())
        return false;
    Retencion::Guardia b(retencion_);
    socket_.waitForReadyRead(std::max(ms, 0));
    compruebaConexion();
    return socket_.bytesAvailable() > 0;
}

} // namespace ort
