#pragma once

#include "ports/puerto.h"
#include "ports/puertoserie.h"
#include "ports/puertotcp.h"
#include "support/fakes.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <array>
#include <limits>
#include <memory>
#include <utility>

namespace ort::prueba {

// The line of a fake port: bytes arrived, bytes due at a time of the fake clock, bytes written.
class LineaFalsa {
public:
    struct Escritura {
        qint64 ms;
        QByteArray datos;
    };
    explicit LineaFalsa(RelojFalso* reloj) : reloj_(reloj) {}
    void libera(bool abierto);
    bool espera(int ms, bool abierto);
    int leeCaracter(bool abierto);
    QByteArray leeTodo(bool abierto) { return libera(abierto), std::exchange(recibido, {}); }
    bool escribe(bool abierto, const QByteArray& d);
    void llegaEn(qint64 ms, const QByteArray& t) {
        programados_ << qMakePair(reloj_->monotonoMs() + ms, t);
    }
    QByteArray escrito() const;

    RelojFalso* reloj_;
    QByteArray recibido;
    QList<Escritura> escrituras;

private:
    QList<QPair<qint64, QByteArray>> programados_;
};

class PuertoSerieFalso : public PuertoSerie {
public:
    enum class Paso { Numero, Settings, BufferEntrada, Umbral, Dtr, Rts, Abre };
    explicit PuertoSerieFalso(RelojFalso* reloj) : linea_(reloj) {}

    bool abierto() const override { return abierto_; }
    int esperando() override { return linea_.libera(abierto_), int(linea_.recibido.size()); }
    int leeCaracter() override { return linea_.leeCaracter(abierto_); }
    QByteArray leeTodo() override { return linea_.leeTodo(abierto_); }
    bool escribe(const QByteArray& d) override { return linea_.escribe(abierto_, d); }
    bool esperaDatos(int ms) override { return linea_.espera(ms, abierto_); }
    void cierra() override;
    std::optional<Falla> fijaNumero(int puerto) override;
    std::optional<Falla> fijaSettings(const QString& s) override;
    std::optional<Falla> fijaBufferEntrada(int bytes) override;
    std::optional<Falla> fijaUmbral(int caracteres) override;
    std::optional<Falla> fijaDtr(bool on) override {
        return paso(Paso::Dtr, QStringLiteral("DTREnable=%1").arg(on));
    }
    std::optional<Falla> fijaRts(bool on) override {
        return paso(Paso::Rts, QStringLiteral("RTSEnable=%1").arg(on));
    }
    std::optional<Falla> abre() override;

    void llega(const QByteArray& trozo);
    void llegaEn(qint64 ms, const QByteArray& trozo) { linea_.llegaEn(ms, trozo); }
    void fallaEn(Paso p) { fallas_ << p; }
    void lanzaEvento(int valor) { emit evento(valor); }
    void pierde(const QString& motivo);
    QList<LineaFalsa::Escritura>& escrituras() { return linea_.escrituras; }
    QByteArray escrito() const { return linea_.escrito(); }

    QStringList pasos;
    int numero = 0, umbral = 0, aperturas = 0;

private:
    std::optional<Falla> paso(Paso p, const QString& anotacion, qint64 falla = 0,
                              const QString& texto = {});
    LineaFalsa linea_;
    bool abierto_ = false;
    QSet<Paso> fallas_;
};

class PuertoTcpFalso : public PuertoTcp {
public:
    explicit PuertoTcpFalso(RelojFalso* reloj) : linea_(reloj) {}

    bool abierto() const override { return conectado(); }
    int esperando() override { return linea_.libera(conectado()), int(linea_.recibido.size()); }
    int leeCaracter() override { return linea_.leeCaracter(conectado()); }
    QByteArray leeTodo() override { return linea_.leeTodo(conectado()); }
    bool escribe(const QByteArray& d) override { return linea_.escribe(conectado(), d); }
    bool esperaDatos(int ms) override { return linea_.espera(ms, conectado()); }
    void cierra() override { linea_.recibido.clear(), conectaEn_ = -2; }
    std::optional<Falla> conecta(const QString& host, qint32 puerto) override;
    bool conectado() const override {
        return conectaEn_ > -2 && conectaEn_ <= linea_.reloj_->monotonoMs();
    }

    void respondeTras(qint64 ms) { respondeTras_ = ms; } // -1: never
    void llega(const QByteArray& trozo);
    void llegaEn(qint64 ms, const QByteArray& trozo) { linea_.llegaEn(ms, trozo); }

    QString host;
    qint32 puerto = 0;

private:
    LineaFalsa linea_;
    qint64 conectaEn_ = -2, respondeTras_ = 0;
};

class FabricaPuertosFalsa : public FabricaPuertos {
public:
    explicit FabricaPuertosFalsa(RelojFalso* reloj) : reloj_(reloj) {}
    PuertoSerieFalso& serie(int p) override;
    PuertoTcpFalso& tcp(int p) override;

private:
    RelojFalso* reloj_;
    std::array<std::unique_ptr<PuertoSerieFalso>, 17> serie_;
    std::array<std::unique_ptr<PuertoTcpFalso>, 17> tcp_;
};

} // namespace ort::prueba
