#pragma once

#include "ports/puerto.h"
#include "ports/puertoserie.h"
#include "ports/puertotcp.h"
#include "support/fakes.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>

#include <array>
#include <memory>

namespace ort::prueba {

class LineaFalsa {
public:
    struct Escritura {
        qint64 ms = -1; // the fake clock's monotonic time, -1 without a clock
        QDateTime hora; // its date and time of day
        QByteArray datos;
    };

    explicit LineaFalsa(RelojFalso* reloj) : reloj_(reloj) {}

    RelojFalso* reloj() const { return reloj_; }
    QByteArray& recibido() { return recibido_; }
    void libera(bool abierto);
    void programa(qint64 ms, const QByteArray& trozo);
    bool espera(int ms, bool abierto);
    void anota(const QByteArray& datos);
    int esperando(bool abierto) {
        libera(abierto);
        return static_cast<int>(recibido_.size());
    }
    int leeCaracter(bool abierto);
    bool escribe(bool abierto, const QByteArray& datos) {
        if (abierto)
            anota(datos);
        return abierto;
    }
    QByteArray leeTodo(bool abierto);

    QList<Escritura> escrituras;
    QByteArray escrito() const;

private:
    struct Programado {
        qint64 ms;
        QByteArray trozo;
    };
    RelojFalso* reloj_;
    QByteArray recibido_;
    QList<Programado> programados_;
};

class PuertoSerieFalso : public PuertoSerie {
    Q_OBJECT
public:
    enum class Paso { Numero, Settings, BufferEntrada, Umbral, Dtr, Rts, Abre };

    explicit PuertoSerieFalso(RelojFalso* reloj = nullptr, QObject* parent = nullptr);

    bool abierto() const override { return abierto_; }
    int esperando() override { return linea_.esperando(abierto_); }
    int leeCaracter() override { return linea_.leeCaracter(abierto_); }
    QByteArray leeTodo() override { return linea_.leeTodo(abierto_); }
    bool escribe(const QByteArray& datos) override { return linea_.escribe(abierto_, datos); }
    bool esperaDatos(int ms) override;
    void cierra() override;

    std::optional<Falla> fijaNumero(int puerto) override;
    std::optional<Falla> fijaSettings(const QString& s) override;
    std::optional<Falla> fijaBufferEntrada(int bytes) override;
    std::optional<Falla> fijaUmbral(int caracteres) override;
    std::optional<Falla> fijaDtr(bool on) override;
    std::optional<Falla> fijaRts(bool on) override;
    std::optional<Falla> abre() override;

    void llega(const QByteArray& trozo);
    void llegaEn(qint64 ms, const QByteArray& trozo);
    void entrega();

    void fallaEn(Paso paso, std::optional<Falla> falla = std::nullopt);
    void lanzaEvento(int valor) { emit evento(valor); }
    void pierde(const QString& motivo = QStringLiteral("Se perdió el dispositivo."));

    QStringList pasos;
    int numero = 0;
    QString settings = QStringLiteral("9600,N,8,1");
    ConfiguracionSerie configuracion;
    int bufferEntrada = 1024;
    int umbral = 0;
    bool dtr = false;
    bool rts = false;
    int aperturas = 0;
    int cierres = 0;

    QList<LineaFalsa::Escritura>& escrituras() { return linea_.escrituras; }
    QByteArray escrito() const { return linea_.escrito(); }

private:
    std::optional<Falla> paso(Paso paso, const QString& anotacion,
                              std::optional<Falla> propia = std::nullopt);
    void anuncia();

    LineaFalsa linea_;
    bool abierto_ = false;
    QHash<Paso, Falla> fallas_;
};

class PuertoTcpFalso : public PuertoTcp {
    Q_OBJECT
public:
    explicit PuertoTcpFalso(RelojFalso* reloj = nullptr, QObject* parent = nullptr);

    bool abierto() const override { return conectado(); }
    int esperando() override { return linea_.esperando(conectado()); }
    int leeCaracter() override { return linea_.leeCaracter(conectado()); }
    QByteArray leeTodo() override { return linea_.leeTodo(conectado()); }
    bool escribe(const QByteArray& datos) override { return linea_.escribe(conectado(), datos); }
    bool esperaDatos(int ms) override;
    void cierra() override;

    std::optional<Falla> conecta(const QString& host, qint32 puerto) override;
    bool conectado() const override;

    void respondeTras(qint64 ms) { respondeTras_ = ms; }

    void llega(const QByteArray& trozo);
    void llegaEn(qint64 ms, const QByteArray& trozo);
    void entrega();
    void pierde(const QString& motivo = QStringLiteral("Se perdió la conexión."));

    QString host;
    qint32 puerto = 0;
    int conexiones = 0;
    int cierres = 0;

    QList<LineaFalsa::Escritura>& escrituras() { return linea_.escrituras; }
    QByteArray escrito() const { return linea_.escrito(); }

private:
    enum class Estado { Cerrado, Conectando, Conectado };

    LineaFalsa linea_;
    mutable Estado estado_ = Estado::Cerrado;
    qint64 conectaEn_ = 0;
    qint64 respondeTras_ = 0;
};

class FabricaPuertosFalsa : public FabricaPuertos {
public:
    explicit FabricaPuertosFalsa(RelojFalso* reloj = nullptr) : reloj_(reloj) {}

    PuertoSerieFalso& serie(int p) override;
    PuertoTcpFalso& tcp(int p) override;

private:
    RelojFalso* reloj_;
    std::array<std::unique_ptr<PuertoSerieFalso>, 17> serie_;
    std::array<std::unique_ptr<PuertoTcpFalso>, 17> tcp_;
};

} // namespace ort::prueba
