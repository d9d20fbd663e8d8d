#include "ortsim/simulador.h"

#include <QDateTime>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace ort::sim {

Simulador::Simulador(Config c, QObject* parent)
    : QObject(parent), c_(std::move(c)), azar_(c_.semilla) {}

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
            *error = QStringLiteral("no se puede leer %1").arg(f.fileName());
            return false;
        }
        for (const QByteArray& l : f.readAll().split('\n'))
            if (!l.trimmed().isEmpty())
                serie_ << l.trimmed().toDouble();
        if (serie_.isEmpty()) {
            *error = QStringLiteral("%1 no tiene valores").arg(f.fileName());
            return false;
        }
    }
    if (!c_.enviadas.isEmpty()) {
        archivoEnviadas_.setFileName(c_.enviadas);
        archivoEnviadas_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    if (!c_.oidas.isEmpty()) {
        archivoOidas_.setFileName(c_.oidas);
        archivoOidas_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
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
                *error = QStringLiteral("no se puede crear el enlace %1").arg(c_.enlace);
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
    }
    timer_.setInterval(int(std::max(1.0, 1000.0 / std::max(c_.hz, 0.001))));
    connect(&timer_, &QTimer::timeout, this, &Simulador::envia);
    timer_.start();
    return true;
}

quint16 Simulador::puertoTcp() const { return servidor_ ? servidor_->serverPort() : 0; }

double Simulador::siguienteValor() {
    if (!serie_.isEmpty())
        return serie_[indiceSerie_++ % serie_.size()];
    const QString v = c_.valores;
    if (v.startsWith(QStringLiteral("fixed:")))
        return v.mid(6).toDouble();
    double a = 10, b = 20;
    if (v.startsWith(QStringLiteral("random:"))) {
        const QStringList l = v.mid(7).split(u',');
        if (l.size() == 2) {
            a = l[0].toDouble();
            b = l[1].toDouble();
        }
    }
    // Three decimals, as gauges show them.
    return std::round((a + azar_.generateDouble() * (b - a)) * 1000.0) / 1000.0;
}

void Simulador::escribe(const QByteArray& datos) {
    if (servidor_) {
        for (QTcpSocket* s : std::as_const(clientes_)) {
            s->write(datos);
            s->flush();
        }
        return;
    }
    qint64 hecho = 0;
    while (hecho < datos.size()) {
        const ssize_t n = ::write(maestro_, datos.constData() + hecho, size_t(datos.size() - hecho));
        if (n > 0)
            hecho += n;
        else if (errno == EAGAIN)
            ::usleep(1000); // the line is full until ORT reads it
        else
            return;
    }
}

void Simulador::envia() {
    if (c_.cuenta >= 0 && enviadas_ >= c_.cuenta) {
        timer_.stop();
        emit terminado();
        return;
    }
    if (servidor_ && c_.esperaCliente && clientes_.isEmpty())
        return;
    const Muestra m = BuscaGenerador(c_.codigo)(siguienteValor(), c_.opciones);
    QByteArray fin(1, char(c_.terminador));
    if (c_.conLf)
        fin += '\n';
    if (c_.basura && enviadas_ % 5 == 4)
        escribe(QByteArray("\x01\x02noise") + fin);
    for (const QByteArray& t : m.tramas) {
        const QByteArray trama = t + fin;
        if (c_.partir && trama.size() > 1) {
            escribe(trama.left(trama.size() / 2));
            if (servidor_)
                for (QTcpSocket* s : std::as_const(clientes_))
                    s->waitForBytesWritten(100);
            ::usleep(20000);
            escribe(trama.mid(trama.size() / 2));
        } else {
            escribe(trama);
        }
    }
    if (archivoEnviadas_.isOpen())
        for (const QString& l : m.lecturas)
            archivoEnviadas_.write((l + u'\t' + m.fecha + u'\t' + m.hora + u'\n').toUtf8());
    ++enviadas_;
}

void Simulador::oye(const QByteArray& datos) {
    oido_ += datos;
    // "+++" comes without a terminator; everything else ends at CR.
    for (;;) {
        int corte = -1, largo = 0;
        if (oido_.startsWith("+++")) {
            corte = 0;
            largo = 3;
        } else {
            const int cr = oido_.indexOf('\r');
            const int ataque = oido_.indexOf("+++");
            const int fin = oido_.indexOf('^');
            int mejor = -1;
            for (int x : {cr, fin})
                if (x >= 0 && (mejor < 0 || x < mejor))
                    mejor = x;
            if (ataque > 0 && (mejor < 0 || ataque < mejor)) {
                corte = 0;
                largo = ataque;
            } else if (mejor >= 0) {
                corte = 0;
                largo = mejor + 1;
            }
        }
        if (corte < 0)
            break;
        QByteArray pieza = oido_.left(largo);
        oido_.remove(0, largo);
        while (pieza.endsWith('\r') || pieza.endsWith('\n'))
            pieza.chop(1);
        if (pieza.isEmpty())
            continue;
        const QByteArray linea = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() +
                                 " heard " + pieza + '\n';
        QTextStream(stdout) << "ortsim: heard " << pieza << Qt::endl;
        if (archivoOidas_.isOpen())
            archivoOidas_.write(linea);
    }
}

} // namespace ort::sim
