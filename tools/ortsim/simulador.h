#pragma once

#include "ortsim/generadores.h"

#include <QFile>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

namespace ort::sim {

// One simulated instrument: sends the frames of its code at a rate, on a pseudo-terminal it
// creates or as a TCP server on 127.0.0.1, and records what it hears back.
class Simulador : public QObject {
    Q_OBJECT
public:
    struct Config {
        QString codigo = QStringLiteral("CALIB");
        int puertoTcp = -1;        // -1: pseudo-terminal
        QString enlace;            // a symbolic link to the pseudo-terminal's device
        double hz = 1.0;           // readings per second
        qint64 cuenta = -1;        // readings to send, -1 without end
        QString valores = QStringLiteral("random:10,20");
        quint32 semilla = 1;
        int terminador = 13;
        bool conLf = false;        // CR LF after each frame
        Opciones opciones;
        bool basura = false;       // a line of noise before every fifth frame
        bool partir = false;       // each frame in two writes
        QString enviadas;          // file: one line per expected reading
        QString oidas;             // file: what the instrument hears
        bool esperaCliente = true; // TCP: send only once a client is connected
    };

    explicit Simulador(Config c, QObject* parent = nullptr);
    ~Simulador() override;

    bool inicia(QString* error);
    QString dispositivo() const { return dispositivo_; }
    quint16 puertoTcp() const;
    qint64 enviadas() const { return enviadas_; }

signals:
    void terminado();

private:
    double siguienteValor();
    void envia();
    void escribe(const QByteArray& datos);
    void oye(const QByteArray& datos);

    Config c_;
    int maestro_ = -1, esclavo_ = -1;
    QString dispositivo_;
    QSocketNotifier* lector_ = nullptr;
    QTcpServer* servidor_ = nullptr;
    QList<QTcpSocket*> clientes_;
    QTimer timer_;
    QRandomGenerator azar_;
    QList<double> serie_;
    int indiceSerie_ = 0;
    qint64 enviadas_ = 0;
    QFile archivoEnviadas_, archivoOidas_;
    QByteArray oido_;
};

} // namespace ort::sim
