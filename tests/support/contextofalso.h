#pragma once

#include "decoding/contexto.h"
#include "support/fakes.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <utility>

namespace ort::prueba {

// A decoder's context without a port: frames to read, readings registered, bytes written.
class ContextoFalso : public ContextoDecodificacion {
public:
    ContextoFalso(RelojFalso& reloj, int puerto = 1, int posInicio = 1)
        : reloj_(reloj)
        , puerto_(puerto)
        , posInicio_(posInicio) {}

    struct Registro {
        QString lectura, fechaInst, horaInst;
    };
    struct Escritura {
        QByteArray datos;
        QDateTime cuando;
    };

    int puerto() const override { return puerto_; }
    void registra(const QString& lectura) override {
        lecturas << Registro{lectura, FechaInst, HoraInst};
    }
    const QString& leeTrama() override;
    int esperando() override;
    void escribe(const QByteArray& datos) override {
        escrituras << Escritura{datos, reloj_.ahora()};
    }
    void cierraPuerto() override { ++cierres, abierto_ = false; }
    bool puertoAbierto() const override { return abierto_; }
    void espera(double segundos) override;
    double segundosDesdeMedianoche() const override { return reloj_.segundosDesdeMedianoche(); }
    int posInicio() const override { return posInicio_; }
    QString gseArmaComando(int canal) override {
        return canalesGse << canal, comandosGse.value(canal);
    }
    void anota(const QString& linea) override { notas << linea; }

    QStringList resumen() const;

    QStringList pendientes, notas;
    QList<Registro> lecturas;
    QList<Escritura> escrituras;
    QList<double> pausas;
    int cierres = 0, tramasLeidas = 0, limiteLecturas = -1;
    QMap<int, QString> comandosGse;
    QList<int> canalesGse;

private:
    RelojFalso& reloj_;
    int puerto_, posInicio_;
    bool abierto_ = true;
};

std::optional<QString> decodificaConRegistro(const QString& conex, const QString& trama,
                                             ContextoFalso& c, EstadoDecodificadores& e);
QStringList decodificaTramas(const QString& conex, const QStringList& tramas, ContextoFalso& c,
                             EstadoDecodificadores& e);
// A frame of blanks with each text at its 1-based position.
QString tramaCon(std::initializer_list<std::pair<int, QString>> piezas, int largo = 0);
QString tramaDeBytes(std::initializer_list<int> bytes);
// What is wrong with the notes: English words, or an ignored frame not quoted.
QString revisaNotas(const QStringList& fallas, const ContextoFalso& c, const QStringList& tramas);

} // namespace ort::prueba
