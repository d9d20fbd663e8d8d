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
    const QString& leeTrama() override;
    int esperando() override;
    void escribe(const QByteArray& datos) override;
    void cierraPuerto() override;
    bool puertoAbierto() const override { return abierto_; }
    void espera(double segundos) override;
    double segundosDesdeMedianoche() const override { return reloj_.segundosDesdeMedianoche(); }
    int posInicio() const override { return posInicio_; }
    QString gseArmaComando(int canal) override;
    void anota(const QString& linea) override { notas << linea; }

    QStringList resumen() const;

    QStringList pendientes;
    QList<Registro> lecturas;
    QList<Escritura> escrituras;
    QList<Pausa> pausas;
    QStringList notas;
    int cierres = 0;
    int tramasLeidas = 0;
    int limiteLecturas = -1;
    QMap<int, QString> comandosGse;
    QList<int> canalesGse;

private:
    RelojFalso& reloj_;
    int puerto_;
    int posInicio_;
    bool abierto_ = true;
};

std::optional<QString> DecodificaConRegistro(const QString& conex, const QString& trama,
                                             ContextoFalso& c, EstadoDecodificadores& e);

QString TramaCon(std::initializer_list<std::pair<int, QString>> piezas, int largo = 0);
QString TramaDeBytes(std::initializer_list<int> bytes);

QStringList DecodificaTramas(const QString& conex, const QStringList& tramas, ContextoFalso& c,
                             EstadoDecodificadores& e);

QString RevisaNotas(const QStringList& fallas, const ContextoFalso& c, const QStringList& tramas);

} // namespace ort::prueba
