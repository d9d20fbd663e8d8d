#include "ortsim/simulador.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace ort::sim {

namespace {

// Above this much unread output the instrument stops producing: ORT is not reading the line.
constexpr qsizetype kSalidaMaxima = 64 * 1024;
// An answered instrument that hears nothing for this long asks again.
constexpr qint64 kEsperaRespuestaMs = 10000;

// Loggers that dump their batch when ORT's port opening sends them their start command.
struct Arranque {
    const char* codigo;
    const char* orden;
};
const Arranque kArranques[] = {{"DL-10", "S1A1000"}};

const char* ordenDeArranque(const QString& codigo) {
    for (const auto& a : kArranques)
        if (codigo.trimmed() == QLatin1String(a.codigo))
            return a.orden;
    return nullptr;
}

} // namespace

Simulador::Simulador(Config c, QObject* parent)
    : QObject(parent)
    , c_(std::move(c))
    , azar_(c_.semilla) {}

Simulador::~Simulador() {
    if (maestro_ >= 0)
        ::close(maestro_);
    if (esclavo_ >= 0)
        ::close(esclavo_);
}

bool Simulador::inicia(QString* error) {
    if (c_.valores.startsWith(QStringLiteral("file:"))) {
        QFile f(c_.valores.mid(5));
        if (!f.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(f.fileName());
            return false;
        }
        for (const QByteArray& l : f.readAll().split('\n'))
            if (!l.trimmed().isEmpty())
                serie_ << l.trimmed().toDouble();
        if (serie_.isEmpty()) {
            *error = QStringLiteral("%1 holds no values").arg(f.fileName());
            return false;
        }
    }
    if (!c_.enviadas.isEmpty()) {
        archivoEnviadas_.setFileName(c_.enviadas);
        if (!archivoEnviadas_.open(QIODevice::WriteOnly | QIODevice::Append |
                                   QIODevice::Unbuffered)) {
            *error = QStringLiteral("cannot write %1").arg(c_.enviadas);
            return false;
        }
    }
    if (!c_.oidas.isEmpty()) {
        archivoOidas_.setFileName(c_.oidas);
        if (!archivoOidas_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            *error = QStringLiteral("cannot write %1").arg(c_.oidas);
            return false;
        }
    }
    if (c_.puertoTcp >= 0) {
        servidor_ = new QTcpServer(this);
        if (!servidor_->listen(QHostAddress::LocalHost, quint16(c_.puertoTcp))) {
            *error = servidor_->errorString();
            return false;
        }
        connect(servidor_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = servidor_->nextPendingConnection()) {
                clientes_ << s;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { oye(s->readAll()); });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    clientes_.removeAll(s);
                    s->deleteLater();
                });
            }
        });
    } else {
        char nombre[256] = {};
        if (::openpty(&maestro_, &esclavo_, nombre, nullptr, nullptr) != 0) {
            *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        // Raw: the line discipline must not turn CR into LF nor echo what ORT writes.
        termios t{};
        tcgetattr(esclavo_, &t);
        cfmakeraw(&t);
        tcsetattr(esclavo_, TCSANOW, &t);
        ::fcntl(maestro_, F_SETFL, ::fcntl(maestro_, F_GETFL) | O_NONBLOCK);
        dispositivo_ = QString::fromLocal8Bit(nombre);
        if (!c_.enlace.isEmpty()) {
            QFile::remove(c_.enlace);
            if (!QFile::link(dispositivo_, c_.enlace)) {
                *error = QStringLiteral("cannot make the link %1").arg(c_.enlace);
                return false;
            }
        }
        lector_ = new QSocketNotifier(maestro_, QSocketNotifier::Read, this);
        connect(lector_, &QSocketNotifier::activated, this, [this] {
            char buf[4096];
            const ssize_t n = ::read(maestro_, buf, sizeof buf);
            if (n > 0)
                oye(QByteArray(buf, int(n)));
        });
        escritor_ = new QSocketNotifier(maestro_, QSocketNotifier::Write, this);
        escritor_->setEnabled(false);
        connect(escritor_, &QSocketNotifier::activated, this, &Simulador::vacia);
    }
    timer_.setInterval(int(std::max(1.0, 1000.0 / std::max(c_.hz, 0.001))));
    connect(&timer_, &QTimer::timeout, this, &Simulador::envia);
    timer_.start();
    return true;
}

quint16 Simulador::puertoTcp() const {
    return servidor_ ? servidor_->serverPort() : 0;
}

double Simulador::siguienteValor() {
    double x;
    if (!serie_.isEmpty()) {
        x = serie_[indiceSerie_++ % serie_.size()];
    } else if (c_.valores.startsWith(QStringLiteral("fixed:"))) {
        x = c_.valores.mid(6).toDouble();
    } else {
        double a = 10, b = 20;
        if (c_.valores.startsWith(QStringLiteral("random:"))) {
            const QStringList l = c_.valores.mid(7).split(u',');
            if (l.size() == 2) {
                a = l[0].toDouble();
                b = l[1].toDouble();
            }
        }
        // Three decimals, as gauges show them.
        x = std::round((a + azar_.generateDouble() * (b - a)) * 1000.0) / 1000.0;
    }
    return std::isfinite(x) ? x : 0.0;
}

Muestra Simulador::genera(double valor, int canal) const {
    Opciones o = c_.opciones;
    o.canal = canal;
    o.cuando = QDateTime::currentDateTime();
    return buscaGenerador(c_.codigo)(valor, o);
}

void Simulador::escribe(const QByteArray& datos) {
    if (servidor_) {
        for (QTcpSocket* s : std::as_const(clientes_)) {
            s->write(datos);
            s->flush();
        }
        return;
    }
    salida_ += datos;
    vacia();
}

// Writes what the pseudo-terminal takes; the rest waits until ORT reads.
void Simulador::vacia() {
    while (!salida_.isEmpty()) {
        const ssize_t n = ::write(maestro_, salida_.constData(), size_t(salida_.size()));
        if (n > 0) {
            salida_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            salida_.clear(); // the line is gone; nothing more can be written
        break;
    }
    if (escritor_)
        escritor_->setEnabled(!salida_.isEmpty());
}

void Simulador::enviaTramas(const Muestra& m, int desde, int hasta) {
    QByteArray fin;
    if (c_.terminador >= 0)
        fin += char(c_.terminador);
    if (c_.conLf)
        fin += '\n';
    for (int i = desde; i < hasta && i < m.tramas.size(); ++i) {
        const QByteArray trama = m.tramas[i] + fin;
        if (c_.partir && trama.size() > 1) {
            escribe(trama.left(trama.size() / 2));
            for (QTcpSocket* s : std::as_const(clientes_))
                s->waitForBytesWritten(100);
            ::usleep(20000);
            escribe(trama.mid(trama.size() / 2));
        } else {
            escribe(trama);
        }
    }
}

// The sample is on the line: its readings go to the --sent file.
void Simulador::completa(const Muestra& m) {
    if (archivoEnviadas_.isOpen())
        for (const Lectura& l : m.lecturas)
            archivoEnviadas_.write(
                (l.texto + u'\t' + l.FechaInst + u'\t' + l.HoraInst + u'\n').toUtf8());
    lecturas_ += m.lecturas.size();
    ++enviadas_;
}

void Simulador::envia() {
    if (c_.cuenta >= 0 && enviadas_ >= c_.cuenta) {
        timer_.stop();
        emit terminado();
        return;
    }
    if (servidor_ && c_.esperaCliente && clientes_.isEmpty())
        return;
    if (salida_.size() > kSalidaMaxima) {
        if (!lleno_)
            QTextStream(stdout) << "ortsim: ORT is not reading the line; waiting" << Qt::endl;
        lleno_ = true;
        return;
    }
    lleno_ = false;
    if (c_.dialogo && ordenDeArranque(c_.codigo))
        return; // the logger dumps when it hears its start command
    if (esperaRespuesta_) {
        if (desdePeticion_.elapsed() >= kEsperaRespuestaMs) {
            QTextStream(stdout) << "ortsim: no answer from ORT; asking again" << Qt::endl;
            enviaTramas(pendiente_, 0, pendiente_.respuestaTras + 1);
            desdePeticion_.restart();
        }
        return;
    }
    const double valor = siguienteValor();
    const Muestra m = genera(valor, c_.opciones.canal);
    if (c_.basura && enviadas_ % 5 == 4) {
        QByteArray ruido("\x01\x02noise");
        if (c_.terminador >= 0)
            ruido += char(c_.terminador);
        escribe(ruido);
    }
    if (c_.dialogo && m.respuestaTras >= 0) {
        enviaTramas(m, 0, m.respuestaTras + 1);
        pendiente_ = m;
        valorPendiente_ = valor;
        esperaRespuesta_ = true;
        unidadMarcada_ = -1;
        desdePeticion_.start();
        return;
    }
    enviaTramas(m, 0, int(m.tramas.size()));
    completa(m);
}

// What ORT writes, as the instrument takes it in: "+++" alone, everything else up to a CR or
// up to the "^" that closes a GSE01 command.
void Simulador::oye(const QByteArray& datos) {
    oido_ += datos;
    for (;;) {
        qsizetype largo = -1;
        if (oido_.startsWith("+++")) {
            largo = 3;
        } else {
            const qsizetype cr = oido_.indexOf('\r');
            const qsizetype fin = oido_.indexOf('^');
            const qsizetype ataque = oido_.indexOf("+++");
            qsizetype mejor = -1;
            for (qsizetype x : {cr, fin})
                if (x >= 0 && (mejor < 0 || x < mejor))
                    mejor = x;
            if (ataque > 0 && (mejor < 0 || ataque < mejor))
                largo = ataque;
            else if (mejor >= 0)
                largo = mejor + 1;
        }
        if (largo < 0)
            break;
        QByteArray pieza = oido_.left(largo);
        oido_.remove(0, largo);
        while (pieza.endsWith('\r') || pieza.endsWith('\n'))
            pieza.chop(1);
        while (pieza.startsWith('\n'))
            pieza.remove(0, 1);
        if (pieza.isEmpty())
            continue;
        const QByteArray linea = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() +
                                 " heard " + pieza + '\n';
        QTextStream(stdout) << "ortsim: heard " << pieza << Qt::endl;
        if (archivoOidas_.isOpen())
            archivoOidas_.write(linea);
        if (c_.dialogo)
            responde(pieza);
    }
}

void Simulador::responde(const QByteArray& pieza) {
    if (const char* orden = ordenDeArranque(c_.codigo)) {
        if (pieza == orden && (c_.cuenta < 0 || enviadas_ < c_.cuenta)) {
            const Muestra m = genera(siguienteValor(), c_.opciones.canal);
            enviaTramas(m, 0, int(m.tramas.size()));
            completa(m);
        }
        return;
    }
    // "ATDT 0n, WR, CN": ORT dials unit n; the measurement that follows is that unit's.
    static const QRegularExpression marcado(QStringLiteral("^ATDT 0(\\d)"));
    if (const auto r = marcado.match(QString::fromLatin1(pieza)); r.hasMatch()) {
        unidadMarcada_ = r.captured(1).toInt();
        return;
    }
    if (!esperaRespuesta_ || !pieza.endsWith('^'))
        return;
    Muestra m = pendiente_;
    if (unidadMarcada_ >= 0 && unidadMarcada_ + 1 != c_.opciones.canal)
        m = genera(valorPendiente_, unidadMarcada_ + 1);
    esperaRespuesta_ = false;
    unidadMarcada_ = -1;
    enviaTramas(m, m.respuestaTras + 1, int(m.tramas.size()));
    completa(m);
}

} // namespace ort::sim
