#pragma once

#include "decoding/contexto.h"
#include "support/fakes.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <utility>

namespace ort::prueba {

// A receive pass without a port: further frames come from a queue, and every reading, write,
// wait and closing is recorded with the fake clock's time.
class ContextoFalso : public ContextoDecodificacion {
public:
    explicit ContextoFalso(RelojFalso& reloj, int puerto = 1, int posInicio = 1);

    struct Registro {
        QString lectura, fechaInst, horaInst;
    };
    struct Escritura {
        QByteArray datos;
        QDateTime cuando;
    };
    struct Pausa {
        double segundos;
        QDateTime inicio;
    };

    int puerto() const override { return puerto_; }
    void registra(const QString& lectura) override;
    // The next queued frame (without its terminator), or "" when the queue is empty.
    const QString& leeTrama() override;
    // The queued frames' characters, each frame with its terminator.
    int esperando() override;
    void escribe(const QByteArray& datos) override;
    void cierraPuerto() override;
    bool puertoAbierto() const override { return abierto_; }
    // Sleeps on the fake clock, as Espera does: only for 0 < segundos < 86400.
    void espera(double segundos) override;
    double segundosDesdeMedianoche() const override { return reloj_.segundosDesdeMedianoche(); }
    int posInicio() const override { return posInicio_; }
    QString gseArmaComando(int canal) override;
    void anota(const QString& linea) override { notas << linea; }

    // Readings as "channel:value", followed by " @date time" when the instrument dated them.
    QStringList resumen() const;

    QStringList pendientes;
    QList<Registro> lecturas;
    QList<Escritura> escrituras;
    QList<Pausa> pausas;
    QStringList notas;
    int cierres = 0;
    int tramasLeidas = 0;
    // Above this many leeTrama calls the fake throws std::logic_error, so that a decoder that
    // keeps reading cannot hang a test; negative means no limit.
    int limiteLecturas = -1;
    // GSE01 commands by channel (a channel without one gets ""), and the channels asked for.
    QMap<int, QString> comandosGse;
    QList<int> canalesGse;

private:
    RelojFalso& reloj_;
    int puerto_;
    int posInicio_;
    bool abierto_ = true;
};

// Decodes one frame as the receive pass does for a port with that instrument code: the
// instrument's date and time cleared, then the decoder the registry gives the code. Returns the
// reason of a FallaDecodificacion, nothing when the frame was taken.
std::optional<QString> DecodificaConRegistro(const QString& conex, const QString& trama,
                                             ContextoFalso& c, EstadoDecodificadores& e);

// A frame of blanks with each text placed at its 1-based position, at least largo long.
QString TramaCon(std::initializer_list<std::pair<int, QString>> piezas, int largo = 0);
// A frame of the given byte values.
QString TramaDeBytes(std::initializer_list<int> bytes);

// Decodes the frames in turn with one state, as one receive pass does; returns the reasons of
// the frames that failed.
QStringList DecodificaTramas(const QString& conex, const QStringList& tramas, ContextoFalso& c,
                             EstadoDecodificadores& e);

// Checks what a decoding left for the port log: failures and notes in Spanish, and every note of
// an ignored frame ending with that frame's text. Empty when all is well, else the first fault.
QString RevisaNotas(const QStringList& fallas, const ContextoFalso& c, const QStringList& tramas);

} // namespace ort::prueba
