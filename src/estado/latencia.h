#pragma once

#include "recording/grabacion.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <memory>

namespace ort {

// How long writing one value into its data table takes, as a histogram with Prometheus'
// cumulative buckets. Writers may run on another thread than the one that reads it: every
// count is atomic, and a reader sees each bucket at most one value behind.
class LatenciaEscritura {
public:
    // Upper bounds of the buckets, in seconds; a last bucket (+Inf) takes the rest.
    static constexpr std::array<double, 12> kLimites{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                     0.1,   0.25,   0.5,   1.0,  2.5,   10.0};

    void observa(qint64 nanosegundos);
    quint64 cuenta() const { return cuenta_.load(std::memory_order_relaxed); }
    double sumaSegundos() const;
    // Values at or under kLimites[i] (i < size), or every value (i == size).
    quint64 acumulado(std::size_t i) const;
    // The histogram as Prometheus text (HELP, TYPE, buckets, sum, count).
    QByteArray metricas(const QByteArray& nombre) const;

private:
    std::array<std::atomic<quint64>, kLimites.size() + 1> cubetas_{};
    std::atomic<quint64> cuenta_{0};
    std::atomic<quint64> sumaNs_{0};
};

// The writer as acquisition sees it, timing every value on its way to the real writer.
class GrabadorMedido : public Grabador {
public:
    GrabadorMedido(Grabador& real, LatenciaEscritura& latencia)
        : real_(real)
        , latencia_(latencia) {}
    // Owns the real writer (one of a recording lane's).
    GrabadorMedido(std::unique_ptr<Grabador> real, LatenciaEscritura& latencia)
        : propio_(std::move(real))
        , real_(*propio_)
        , latencia_(latencia) {}
    ResultadoGrabacion GrabaMTVX(const QString& Forma, const QString& Maqui, const QString& Produ,
                                 const QString& Carac, const QString& Fecha, const QString& Hora,
                                 const QString& Opera, const QString& Valor, float DTMP) override;
    bool terminaPasada() override { return real_.terminaPasada(); }
    int loteMaximo() const override { return real_.loteMaximo(); }
    bool agrupa() const override { return real_.agrupa(); }
    bool grupoPerdido(const QString& Forma, const QString& Maqui,
                      const QString& Produ) const override {
        return real_.grupoPerdido(Forma, Maqui, Produ);
    }
    void cierra() override { real_.cierra(); }
    QStringList tomaAvisos() override { return real_.tomaAvisos(); }
    QString rutaBuscada() const override { return real_.rutaBuscada(); }
    void fijaMomento(const QDateTime& momento) override { real_.fijaMomento(momento); }
    TipoFalla ultimaFalla() const override { return real_.ultimaFalla(); }
    QString motivoFalla() const override { return real_.motivoFalla(); }
    void callaFallasPasajeras(bool callar) override { real_.callaFallasPasajeras(callar); }

private:
    std::unique_ptr<Grabador> propio_;
    Grabador& real_;
    LatenciaEscritura& latencia_;
};

} // namespace ort
