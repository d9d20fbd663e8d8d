#include "ports/puertoserie.h"

#include "startup/archivosproducto.h"
#include "startup/textfuncs.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <initializer_list>
#include <limits>
#include <utility>

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace ort {

namespace {

// The value paired with the text, compared exactly.
template <class T>
std::optional<T> elige(const QString& texto,
                       std::initializer_list<std::pair<QStringView, T>> opciones) {
    for (const auto& [nombre, valor] : opciones)
        if (texto == nombre)
            return valor;
    return std::nullopt;
}

} // namespace

Resultado<ConfiguracionSerie> interpretaSettings(const QString& s) {
    const auto mal = [&](const QString& que) -> Resultado<ConfiguracionSerie> {
        return Falla{QLatin1String(kFuentePuertoSerie), kFallaValorNoValido,
                     QStringLiteral("La configuración \"%1\" no es válida: %2.").arg(s, que)};
    };
    const QStringList partes = s.split(u',');
    if (partes.size() != 4)
        return mal(QStringLiteral("se esperan velocidad, paridad, bits de datos y bits de parada "
                                  "separados por comas"));
    ConfiguracionSerie c;

    const QString baudios = partes[0].trimmed();
    bool ok = !baudios.isEmpty();
    for (QChar ch : baudios)
        ok = ok && ch >= u'0' && ch <= u'9';
    const qint64 b = ok ? baudios.toLongLong(&ok) : 0;
    if (!ok || b < 1 || b > std::numeric_limits<qint32>::max())
        return mal(QStringLiteral("la velocidad \"%1\" no es un número de baudios").arg(partes[0]));
    c.baudios = static_cast<qint32>(b);

    const auto paridad = elige<QSerialPort::Parity>(partes[1].trimmed().toUpper(),
                                                    {{u"N", QSerialPort::NoParity},
                                                     {u"E", QSerialPort::EvenParity},
                                                     {u"O", QSerialPort::OddParity},
                                                     {u"M", QSerialPort::MarkParity},
                                                     {u"S", QSerialPort::SpaceParity}});
    if (!paridad)
        return mal(QStringLiteral("la paridad \"%1\" no es N, E, O, M ni S").arg(partes[1]));
    c.paridad = *paridad;

    const auto datos =
        elige<QSerialPort::DataBits>(partes[2].trimmed(), {{u"5", QSerialPort::Data5},
                                                           {u"6", QSerialPort::Data6},
                                                           {u"7", QSerialPort::Data7},
                                                           {u"8", QSerialPort::Data8}});
    if (!datos)
        return mal(QStringLiteral("los bits de datos \"%1\" no están entre 5 y 8").arg(partes[2]));
    c.bitsDatos = *datos;

    const auto parada =
        elige<QSerialPort::StopBits>(partes[3].trimmed(), {{u"1", QSerialPort::OneStop},
                                                           {u"1.5", QSerialPort::OneAndHalfStop},
                                                           {u"2", QSerialPort::TwoStop}});
    if (!parada)
        return mal(QStringLiteral("los bits de parada \"%1\" no son 1, 1.5 ni 2").arg(partes[3]));
    c.bitsParada = *parada;
    return c;
}

Resultado<QString> dispositivoDePuerto(const QString& directorioPrograma, int p) {
    const QString porDefecto = QStringLiteral("/dev/ttyS%1").arg(p - 1);
    const auto f = leeLineasOpcional(directorioPrograma, QStringLiteral("ORTPuertos.IAU"));
    if (!f)
        return Falla{QLatin1String(kFuentePuertoSerie), kFallaNumeroPuerto, f.falla().descripcion};
    const QString& archivo = f->ruta;
    const QStringList& lineas = f->lineas;
    for (int i = 0; i < lineas.size(); ++i) {
        const int coma = lineas[i].indexOf(u',');
        if (coma < 0)
            continue;
        bool ok = false;
        const int numero = lineas[i].left(coma).trimmed().toInt(&ok);
        if (!ok || numero != p)
            continue;
        QString ruta = lineas[i].mid(coma + 1).trimmed();
        if (ruta.size() >= 2 && ruta.startsWith(u'"') && ruta.endsWith(u'"'))
            ruta = ruta.mid(1, ruta.size() - 2).trimmed();
        if (ruta.isEmpty())
            return Falla{QLatin1String(kFuentePuertoSerie), kFallaNumeroPuerto,
                         QStringLiteral("%1, línea %2: el puerto %3 no tiene dispositivo.")
                             .arg(archivo)
                             .arg(i + 1)
                             .arg(p)};
        return ruta;
    }
    return porDefecto;
}

QList<int> eventosDeContadores(const ContadoresLinea& antes, const ContadoresLinea& ahora) {
    QList<int> eventos;
    // clang-format off
    const std::pair<int ContadoresLinea::*, int> filas[] = {
        {&ContadoresLinea::ruptura,    EventoCom::Break},
        {&ContadoresLinea::enmarcado,  EventoCom::Enmarcado},
        {&ContadoresLinea::overrun,    EventoCom::Overrun},
        {&ContadoresLinea::desbordado, EventoCom::Desbordado},
        {&ContadoresLinea::paridad,    EventoCom::Paridad},
    };
    // clang-format on
    for (const auto& [contador, valor] : filas)
        if (ahora.*contador != antes.*contador)
            eventos << valor;
    return eventos;
}

PuertoSerieQt::PuertoSerieQt(QString directorioPrograma, QObject* parent)
    : PuertoSerie(parent)
    , directorio_(std::move(directorioPrograma)) {
    // A child, so that it follows the port into its worker's thread.
    serie_.setParent(this);
    connect(&serie_, &QSerialPort::readyRead, this, &PuertoSerieQt::alLlegar);
    connect(&serie_, &QSerialPort::errorOccurred, this, &PuertoSerieQt::alFallar);
}

PuertoSerieQt::~PuertoSerieQt() {
    disconnect(&serie_, nullptr, this, nullptr);
    serie_.close();
}

Falla PuertoSerieQt::falla(qint64 numero, const QString& descripcion) const {
    return Falla{QLatin1String(kFuentePuertoSerie), numero, descripcion};
}

QString PuertoSerieQt::nombre() const {
    return dispositivo_.isEmpty() ? QStringLiteral("puerto %1").arg(numero_)
                                  : QStringLiteral("puerto %1 (%2)").arg(numero_).arg(dispositivo_);
}

bool PuertoSerieQt::abierto() const {
    return serie_.isOpen();
}

void PuertoSerieQt::trae() {
    if (!serie_.isOpen() || serie_.bytesAvailable() > 0)
        return;
    Retencion::Guardia b(retencion_);
    ++silencio_;
    serie_.waitForReadyRead(0);
    --silencio_;
    if (serie_.isOpen())
        serie_.clearError();
}

int PuertoSerieQt::esperando() {
    trae();
    return serie_.isOpen() ? static_cast<int>(serie_.bytesAvailable()) : 0;
}

int PuertoSerieQt::leeCaracter() {
    trae();
    char c = 0;
    if (!serie_.isOpen() || !serie_.getChar(&c))
        return -1;
    return static_cast<unsigned char>(c);
}

QByteArray PuertoSerieQt::leeHasta(int terminador) {
    trae();
    return serie_.isOpen() ? leeHastaDe(serie_, terminador) : QByteArray();
}

QByteArray PuertoSerieQt::leeTodo() {
    trae();
    return serie_.isOpen() ? serie_.readAll() : QByteArray();
}

bool PuertoSerieQt::escribe(const QByteArray& datos) {
    if (!serie_.isOpen())
        return false;
    Retencion::Guardia b(retencion_);
    fallaEscritura_ = false;
    if (serie_.write(datos) != datos.size())
        return false;
    // Out now: acquisition may not return to the event loop before the instrument must answer.
    serie_.flush();
    return serie_.isOpen() && !fallaEscritura_;
}

bool PuertoSerieQt::esperaDatos(int ms) {
    if (!serie_.isOpen())
        return false;
    if (serie_.bytesAvailable() > 0)
        return true;
    Retencion::Guardia b(retencion_);
    ++silencio_;
    serie_.waitForReadyRead(std::max(ms, 0));
    --silencio_;
    if (!serie_.isOpen())
        return false;
    serie_.clearError();
    return serie_.bytesAvailable() > 0;
}

void PuertoSerieQt::cierra() {
    retencion_.limpiaPendiente();
    if (serie_.isOpen())
        serie_.close();
}

Resultado<> PuertoSerieQt::fijaNumero(int puerto) {
    if (serie_.isOpen())
        return falla(kFallaPuertoAbierto,
                     QStringLiteral("No se puede cambiar el número del %1 mientras está abierto.")
                         .arg(nombre()));
    if (puerto < 1 || puerto > 16)
        return falla(kFallaNumeroPuerto,
                     QStringLiteral("El número de puerto %1 no está entre 1 y 16.").arg(puerto));
    const auto dispositivo = dispositivoDePuerto(directorio_, puerto);
    if (!dispositivo)
        return dispositivo.falla();
    numero_ = puerto;
    dispositivo_ = *dispositivo;
    return {};
}

bool PuertoSerieQt::aplica(const ConfiguracionSerie& c) {
    ++silencio_;
    // Linux has no 1.5 stop bits: a UART asked for 2 with 5 data bits sends 1.5, and with more
    // data bits 2 are sent, which a receiver expecting 1.5 reads without fault (1 would not be).
    const auto parada =
        c.bitsParada == QSerialPort::OneAndHalfStop ? QSerialPort::TwoStop : c.bitsParada;
    const bool ok = serie_.setBaudRate(c.baudios) && serie_.setParity(c.paridad) &&
                    serie_.setDataBits(c.bitsDatos) && serie_.setStopBits(parada);
    --silencio_;
    return ok;
}

Resultado<> PuertoSerieQt::fijaSettings(const QString& s) {
    const auto c = interpretaSettings(s);
    if (!c)
        return c.falla();
    if (serie_.isOpen() && !aplica(*c)) {
        const QString motivo = serie_.errorString();
        aplica(config_);
        serie_.clearError();
        return falla(kFallaValorNoValido,
                     QStringLiteral("El %1 no admite la configuración \"%2\": %3.")
                         .arg(nombre(), s, motivo));
    }
    config_ = *c;
    return {};
}

Resultado<> PuertoSerieQt::fijaBufferEntrada(int bytes) {
    if (bytes < 1)
        return falla(kFallaValorNoValido,
                     QStringLiteral("El tamaño del búfer de entrada %1 no es válido.").arg(bytes));
    // Kept as asked; what arrives is held without limit, so that nothing is lost.
    bufferEntrada_ = bytes;
    return {};
}

Resultado<> PuertoSerieQt::fijaUmbral(int caracteres) {
    if (caracteres < 0)
        return falla(kFallaValorNoValido,
                     QStringLiteral("El umbral de recepción %1 no es válido.").arg(caracteres));
    umbral_ = caracteres;
    return {};
}

void PuertoSerieQt::aplicaLineas() {
    if (!serie_.isOpen())
        return;
    // Pseudo-terminals and some adapters refuse the modem lines; that is no failure.
    ++silencio_;
    serie_.setDataTerminalReady(dtr_);
    serie_.setRequestToSend(rts_);
    --silencio_;
    serie_.clearError();
}

Resultado<> PuertoSerieQt::fijaDtr(bool on) {
    dtr_ = on;
    aplicaLineas();
    return {};
}

Resultado<> PuertoSerieQt::fijaRts(bool on) {
    rts_ = on;
    aplicaLineas();
    return {};
}

Resultado<> PuertoSerieQt::abre() {
    if (serie_.isOpen())
        return falla(kFallaPuertoAbierto, QStringLiteral("El %1 ya está abierto.").arg(nombre()));
    if (dispositivo_.isEmpty())
        return falla(kFallaNumeroPuerto,
                     QStringLiteral("No se ha fijado el número del puerto que se abre."));
    serie_.setPortName(dispositivo_);
    aplica(config_);
    ++silencio_;
    const bool ok = serie_.open(QIODevice::ReadWrite);
    --silencio_;
    if (!ok) {
        const auto error = serie_.error();
        const QString motivo = serie_.errorString();
        serie_.clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return falla(
                kFallaNumeroPuerto,
                QStringLiteral("No existe el dispositivo del %1: %2.").arg(nombre(), motivo));
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            return falla(kFallaPuertoAbierto,
                         QStringLiteral("El %1 está en uso o no se tiene permiso para abrirlo: %2.")
                             .arg(nombre(), motivo));
        case QSerialPort::UnsupportedOperationError:
            return falla(kFallaValorNoValido,
                         QStringLiteral("El %1 no admite la configuración pedida: %2.")
                             .arg(nombre(), motivo));
        default:
            return falla(kFallaHardware,
                         QStringLiteral("No se puede abrir el %1: %2.").arg(nombre(), motivo));
        }
    }
    retencion_.limpiaPendiente();
    contadores_ = leeContadores();
    aplicaLineas();
    return {};
}

std::optional<ContadoresLinea> PuertoSerieQt::leeContadores() const {
    serial_icounter_struct ic{};
    if (!serie_.isOpen() || ::ioctl(serie_.handle(), TIOCGICOUNT, &ic) != 0)
        return std::nullopt;
    return ContadoresLinea{ic.brk, ic.frame, ic.overrun, ic.buf_overrun, ic.parity};
}

void PuertoSerieQt::revisaContadores() {
    if (!contadores_)
        return;
    const auto ahora = leeContadores();
    if (!ahora)
        return;
    const QList<int> eventos = eventosDeContadores(*contadores_, *ahora);
    contadores_ = ahora;
    for (int valor : eventos)
        retencion_.avisa([this, valor] { emit evento(valor); });
}

void PuertoSerieQt::alLlegar() {
    if (!serie_.isOpen())
        return;
    revisaContadores();
    if (retencion_.activa()) {
        retencion_.marcaPendiente();
        return;
    }
    // The "characters received" event: only once RThreshold characters are waiting.
    if (umbral_ > 0 && serie_.bytesAvailable() >= umbral_)
        emit datos();
}

void PuertoSerieQt::pierde(const QString& causa) {
    if (!serie_.isOpen())
        return;
    const QString motivo =
        QStringLiteral("Se perdió el %1: %2; el puerto se ha cerrado.").arg(nombre(), causa);
    retencion_.limpiaPendiente();
    // Closing stops the flood of errors that a vanished device raises.
    serie_.close();
    retencion_.avisa([this, motivo] { emit perdido(motivo); });
}

void PuertoSerieQt::alFallar(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::NotOpenError:
        return;
    case QSerialPort::ReadError:
        // Qt's text for it is the last system error, often unrelated: not shown.
        pierde(QStringLiteral("el dispositivo ya no se puede leer"));
        return;
    case QSerialPort::ResourceError:
        pierde(QStringLiteral("el dispositivo ya no está disponible"));
        return;
    default:
        break;
    }
    if (error == QSerialPort::WriteError)
        fallaEscritura_ = true;
    if (silencio_ > 0 || !serie_.isOpen())
        return;
    const int valor =
        error == QSerialPort::WriteError ? EventoCom::TransmisionLlena : EventoCom::Desconocido;
    serie_.clearError();
    retencion_.avisa([this, valor] { emit evento(valor); });
}

} // namespace ort
