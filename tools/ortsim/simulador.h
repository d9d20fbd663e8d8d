#pragma once

#include "ortsim/generadores.h"

#include <QElapsedTimer>
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
// creates or as a TCP server on 127.0.0.1, and records what it hears back. In a dialogue it
// answers like its instrument: a GSE01 indicator waits for ORT's command before it measures,
// a DL-10 logger dumps a batch when it hears its start command.
class Simulador : public QObject {
    Q_OBJECT
public:
    struct Config {
        QString codigo = QStringLiteral("CALIB");
        int puertoTcp = -1; // -1: pseudo-terminal
        QString enlace;     // a symbolic link to the pseudo-terminal's device
        double hz = 1.0;    // samples per second
        qint64 cuenta = -1; // samples to send, -1 without end
        QString valores = QStringLiteral("random:10,20");
        quint32 semilla = 1;
        int terminador = 13; // -1: frames are sent bare
        bool conLf = false;  // an LF after the terminator
        Opciones opciones;
        bool basura = false;       // a line of noise before every fifth sample
        bool partir = false;       // each frame in two writes
        bool dialogo = false;      // answer like the instrument (see the class comment)
        QString enviadas;          // file: one line per expected reading
        QString oidas;             // file: what the instrument hears
        bool esperaCliente = true; // TCP: send only once a client is connected
    };

    explicit Simulador(Config c, QObject* parent = nullptr);
    ~Simulador() override;

    bool inicia(QString* error);
    QString dispositivo() const { return dispositivo_; }
    quint16 puertoTcp() const;
    // Samples sent whole, and the readings ORT should have registered from them.
    qint64 enviadas() const { return enviadas_; }
    qint64 lecturas() const { return lecturas_; }

signals:
    void terminado();

private:
    double siguienteValor();
    Muestra genera(double valor, int canal) const;
    void envia();
    void enviaTramas(const Muestra& m, int desde, int hasta);
    void completa(const Muestra& m);
    void escribe(const QByteArray& datos);
    void vacia();
    void oye(const QByteArray& datos);
    void responde(const QByteArray& pieza);

    Config c_;
    int maestro_ = -1, esclavo_ = -1;
    QString dispositivo_;
    QSocketNotifier* lector_ = nullptr;
    QSocketNotifier* escritor_ = nullptr;
    QByteArray salida_; // written to the pseudo-terminal when ORT has read enough
    bool lleno_ = false;
    QTcpServer* servidor_ = nullptr;
    QList<QTcpSocket*> clientes_;
    QTimer timer_;
    QRandomGenerator azar_;
    QList<double> serie_;
    int indiceSerie_ = 0;
    qint64 enviadas_ = 0, lecturas_ = 0;
    QFile archivoEnviadas_, archivoOidas_;
    QByteArray oido_;
    // Dialogue: the sample waiting for ORT's answer, its value, since when, and the unit dialled.
    bool esperaRespuesta_ = false;
    Muestra pendiente_;
    double valorPendiente_ = 0;
    QElapsedTimer desdePeticion_;
    int unidadMarcada_ = -1;
};

} // namespace ort::sim
