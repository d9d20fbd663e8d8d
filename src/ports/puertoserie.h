#pragma once

#include "ports/puerto.h"
#include "ports/retencion.h"

#include <QList>
#include <QSerialPort>

#include <optional>

namespace ort {

// Failure numbers of a serial line, the serial control's own:
// 380  a settings string, buffer size or threshold that is not valid, or settings the device
//      refuses;
// 8002 a port number outside 1..16, an unreadable "ORTPuertos.IAU" or an entry of it without a
//      device, opening without a number, a device that does not exist;
// 8005 changing the number of an open port, opening it twice, a device in use (locked by
//      another program) or not permitted;
// 8010 any other refusal of the device to open.
inline constexpr qint64 kFallaValorNoValido = 380;
inline constexpr qint64 kFallaNumeroPuerto = 8002;
inline constexpr qint64 kFallaPuertoAbierto = 8005;
inline constexpr qint64 kFallaHardware = 8010;
// Source of every failure of a serial line.
inline constexpr auto kFuentePuertoSerie = "PuertoSerie";

// Values of the communication events raised through evento(). Break, framing, overrun,
// overflow and parity come from the driver's error counters, looked at when data arrives;
// Qt reports none of them itself. Line changes (3 to 6) are not watched.
namespace EventoCom {
inline constexpr int Recibido = 2;
inline constexpr int Break = 1001;
inline constexpr int Enmarcado = 1004;
inline constexpr int Overrun = 1006;
inline constexpr int Desbordado = 1008;
inline constexpr int Paridad = 1009;
inline constexpr int TransmisionLlena = 1010; // a write the device did not take
inline constexpr int Desconocido = 1011;      // any other error of the device
} // namespace EventoCom

// Line-error counters that a serial driver keeps (Linux's TIOCGICOUNT); pseudo-terminals and
// some adapters keep none.
struct ContadoresLinea {
    int ruptura = 0;
    int enmarcado = 0;
    int overrun = 0;    // the device's own receiver
    int desbordado = 0; // the driver's buffer
    int paridad = 0;

    bool operator==(const ContadoresLinea&) const = default;
};

// The communication events that a change of the counters stands for, one per kind of error
// that occurred, in the order of their values.
QList<int> eventosDeContadores(const ContadoresLinea& antes, const ContadoresLinea& ahora);

// A line's settings, as the serial control's "9600,N,8,1". Linux has no 1.5 stop bits: the
// device is given 2 (with 5 data bits a UART then sends 1.5).
struct ConfiguracionSerie {
    qint32 baudios = 9600;
    QSerialPort::Parity paridad = QSerialPort::NoParity;
    QSerialPort::DataBits bitsDatos = QSerialPort::Data8;
    QSerialPort::StopBits bitsParada = QSerialPort::OneStop;

    bool operator==(const ConfiguracionSerie&) const = default;
};

// Parses baud, parity letter (N, E, O, M or S in any case), data bits (5..8) and stop bits
// (1, 1.5 or 2), separated by commas; blanks around each part are allowed. A failure
// (kFallaValorNoValido) says what is wrong.
Resultado<ConfiguracionSerie> interpretaSettings(const QString& s);

// The device of ORT port p: the entry for p in "ORTPuertos.IAU" of the program directory (one
// line per port: number, comma, device path), else /dev/ttyS<p-1>. A failure
// (kFallaNumeroPuerto) says why: an unreadable file, an entry without a path.
Resultado<QString> dispositivoDePuerto(const QString& directorioPrograma, int p);

// A serial line on QSerialPort. Properties may be set before or after opening, as the serial
// control's; a device that goes away is closed and reported once through perdido().
// Signals that would be raised inside one of its blocking calls (a wait, a read that pulls
// from the device, a write) are held back and delivered from the event loop afterwards, so
// that a receive pass never runs inside another.
class PuertoSerieQt final : public PuertoSerie {
    Q_OBJECT
public:
    explicit PuertoSerieQt(QString directorioPrograma, QObject* parent = nullptr);
    ~PuertoSerieQt() override;

    bool abierto() const override;
    int esperando() override;
    int leeCaracter() override;
    QByteArray leeHasta(int terminador) override;
    QByteArray leeTodo() override;
    bool escribe(const QByteArray& datos) override;
    bool esperaDatos(int ms) override;
    void cierra() override;

    Resultado<> fijaNumero(int puerto) override;
    Resultado<> fijaSettings(const QString& s) override;
    // Kept and reported; what arrives is held without limit, so nothing is ever dropped.
    Resultado<> fijaBufferEntrada(int bytes) override;
    // 0 (the default) raises no datos() at all, as with the serial control.
    Resultado<> fijaUmbral(int caracteres) override;
    Resultado<> fijaDtr(bool on) override;
    Resultado<> fijaRts(bool on) override;
    Resultado<> abre() override;

    // What has been set.
    int numero() const { return numero_; }
    QString dispositivo() const { return dispositivo_; }
    ConfiguracionSerie configuracion() const { return config_; }
    int bufferEntrada() const { return bufferEntrada_; }
    int umbral() const { return umbral_; }
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }

private:
    void alLlegar();
    void alFallar(QSerialPort::SerialPortError error);
    void pierde(const QString& causa);
    void trae();
    bool aplica(const ConfiguracionSerie& c);
    std::optional<ContadoresLinea> leeContadores() const;
    void revisaContadores();
    void aplicaLineas();
    Falla falla(qint64 numero, const QString& descripcion) const;
    QString nombre() const;

    QString directorio_;
    QSerialPort serie_;
    int numero_ = 0;
    QString dispositivo_;
    ConfiguracionSerie config_;
    int bufferEntrada_ = 1024;
    int umbral_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    Retencion retencion_{this, [this] { alLlegar(); }};
    int silencio_ = 0; // errors of calls whose results are looked at directly
    bool fallaEscritura_ = false;
    std::optional<ContadoresLinea> contadores_; // none when the driver keeps none
};

} // namespace ort
