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

// What a fake port receives and what it is given to send. Bytes arrive in the chunks a test
// chooses, at once or at times of a fake clock; waiting for data sleeps on that clock, so a
// test never waits for real.
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
    // Moves the chunks whose time has come into what is received; lost when the port is closed.
    void libera(bool abierto);
    // Puts a chunk ms after the clock's present time (needs a clock).
    void programa(qint64 ms, const QByteArray& trozo);
    // Sleeps on the clock until a chunk is due or ms have passed; true when data is waiting.
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

// A serial line that records each property set, in order, and can be told to fail any step.
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

    // Bytes that arrive now; datos() is raised once the threshold is reached. A closed port
    // receives nothing: the bytes are lost.
    void llega(const QByteArray& trozo);
    // Bytes that arrive ms after the fake clock's present time. They are taken in by the next
    // read or wait (without datos(), as inside a blocking call) or by entrega().
    void llegaEn(qint64 ms, const QByteArray& trozo);
    // What the event loop would do: takes in what is due and raises datos() as llega() does.
    void entrega();

    // Every later attempt of the step fails with this failure (or a usual one).
    void fallaEn(Paso paso, std::optional<Falla> falla = std::nullopt);
    // A communication event (1001 = break, 1004 = framing, …).
    void lanzaEvento(int valor) { emit evento(valor); }
    // The device goes away: the port closes and says so once.
    void pierde(const QString& motivo = QStringLiteral("Se perdió el dispositivo."));

    // Every property set, in order, as "CommPort=3", "Settings=9600,N,8,1", "InBufferSize=4096",
    // "RThreshold=1", "DTREnable=1", "RTSEnable=1", "PortOpen=1", "PortOpen=0"; a failed
    // step ends in " -> <number>".
    QStringList pasos;
    // The values in force.
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

// A TCP client whose connection completes at once, after a time of the fake clock, when the
// test says so, or never.
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

    // How the next connections go: at once (the default), after ms of the fake clock, or
    // never (-1).
    void respondeTras(qint64 ms) { respondeTras_ = ms; }

    void llega(const QByteArray& trozo);
    void llegaEn(qint64 ms, const QByteArray& trozo);
    void entrega();
    // The peer closes or resets: reported once; what was received stays readable.
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

// The 16 fake serial lines and sockets, made when first asked for, on one fake clock.
class FabricaPuertosFalsa : public FabricaPuertos {
public:
    explicit FabricaPuertosFalsa(RelojFalso* reloj = nullptr) : reloj_(reloj) {}

    // p outside 1..16 throws std::out_of_range.
    PuertoSerieFalso& serie(int p) override;
    PuertoTcpFalso& tcp(int p) override;

private:
    RelojFalso* reloj_;
    std::array<std::unique_ptr<PuertoSerieFalso>, 17> serie_;
    std::array<std::unique_ptr<PuertoTcpFalso>, 17> tcp_;
};

} // namespace ort::prueba
