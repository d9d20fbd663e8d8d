#include "estado/servidorestado.h"

#include "estado/estadopuertos.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>

#include <sys/socket.h>

#include <memory>

namespace ort {

QString DireccionHttp::url() const {
    const QString h = host.protocol() == QAbstractSocket::IPv6Protocol
                          ? u'[' + host.toString() + u']'
                          : host.toString();
    return QStringLiteral("http://%1:%2/").arg(h).arg(puerto);
}

std::optional<DireccionHttp> interpretaDireccionHttp(const QString& texto) {
    DireccionHttp d;
    const QString t = texto.trimmed();
    if (t == QStringLiteral("no")) {
        d.ninguna = true;
        return d;
    }
    const int dos = t.lastIndexOf(u':');
    if (dos <= 0)
        return std::nullopt;
    QString host = t.left(dos);
    bool ok = false;
    const uint puerto = t.mid(dos + 1).toUInt(&ok);
    if (!ok || puerto > 65535)
        return std::nullopt;
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (host == QStringLiteral("localhost"))
        d.host = QHostAddress(QHostAddress::LocalHost);
    else if (!d.host.setAddress(host))
        return std::nullopt;
    d.puerto = quint16(puerto);
    return d;
}

namespace {

// The listening socket, with a guard on every connection it hands out: the guard sees the bytes
// before the HTTP parser does, counts those of the request being read (a response resets the
// count) and refuses a request that grows past the limit, so that no client can make the
// server buffer without bound; an idle connection is closed after a while. At most
// kMaxConexiones connections are served at once: one more is answered 503 and closed, so that
// clients that open connections and keep them cannot use up the descriptors the ports and the
// data files need.
class EscuchaVigilada : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

    QTcpSocket* nextPendingConnection() override {
        while (QTcpSocket* s = QTcpServer::nextPendingConnection()) {
            if (*abiertas_ < ServidorEstado::kMaxConexiones) {
                vigila(s);
                return s;
            }
            rechaza(s, "503 Service Unavailable");
        }
        return nullptr;
    }

private:
    // Counts a connection while its socket lives, whatever is connected to its signals.
    class Cuenta : public QObject {
    public:
        Cuenta(QObject* socket, std::shared_ptr<int> n) : QObject(socket), n_(std::move(n)) {
            ++*n_;
        }
        ~Cuenta() override { --*n_; }

    private:
        std::shared_ptr<int> n_;
    };

    void vigila(QTcpSocket* s) {
        new Cuenta(s, abiertas_);
        auto* inactivo = new QTimer(s);
        inactivo->setSingleShot(true);
        inactivo->setInterval(ServidorEstado::kInactividadMs);
        inactivo->start();
        QObject::connect(inactivo, &QTimer::timeout, s, [s] { s->abort(); });
        s->setProperty(kPendiente, qint64(0));
        QObject::connect(s, &QTcpSocket::bytesWritten, s,
                         [s](qint64) { s->setProperty(kPendiente, qint64(0)); });
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, inactivo] {
            inactivo->start();
            const qint64 n = s->property(kPendiente).toLongLong() + s->bytesAvailable();
            s->setProperty(kPendiente, n);
            if (n > ServidorEstado::kMaxPeticion)
                rechaza(s, "413 Payload Too Large");
        });
    }

    // Answers the status and closes gracefully: the rest of the request is read and dropped
    // while the answer goes out, so that the client gets the answer rather than a reset.
    static void rechaza(QTcpSocket* s, const QByteArray& estado) {
        s->disconnect(); // the parser hears nothing more of this connection
        s->readAll();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        QObject::connect(s, &QTcpSocket::bytesWritten, s, [s](qint64) {
            if (s->bytesToWrite() == 0)
                ::shutdown(int(s->socketDescriptor()), SHUT_WR);
        });
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        QTimer::singleShot(2000, s, [s] {
            s->abort();
            s->deleteLater();
        });
        s->write("HTTP/1.1 " + estado + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }

    std::shared_ptr<int> abiertas_ = std::make_shared<int>(0);
    static constexpr const char* kPendiente = "ortBytesSinRespuesta";
};

} // namespace

ServidorEstado::ServidorEstado(const EstadoPuertos& estado, QObject* parent)
    : QAbstractHttpServer(parent)
    , estado_(estado) {}

Resultado<quint16> ServidorEstado::escucha(const DireccionHttp& d) {
    auto* s = new EscuchaVigilada(this);
    if (!s->listen(d.host, d.puerto)) {
        Falla f{QStringLiteral("ServidorEstado"), s->serverError(), s->errorString()};
        delete s;
        return f;
    }
    bind(s);
    return s->serverPort();
}

bool ServidorEstado::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    using Codigo = QHttpServerResponder::StatusCode;
    QHttpServerResponder r = makeResponder(request, socket);
    const QString ruta = request.url().path();
    QByteArray cuerpo, tipo;
    if (ruta == QStringLiteral("/")) {
        tipo = "text/html; charset=utf-8";
    } else if (ruta == QStringLiteral("/api/estado")) {
        tipo = "application/json";
    } else if (ruta == QStringLiteral("/metrics")) {
        tipo = "text/plain; version=0.0.4; charset=utf-8";
    } else {
        r.write("No existe esa página.\n", "text/plain; charset=utf-8", Codigo::NotFound);
        return true;
    }
    const auto metodo = request.method();
    if (metodo != QHttpServerRequest::Method::Get && metodo != QHttpServerRequest::Method::Head) {
        r.write("Solo se admiten GET y HEAD.\n",
                {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET, HEAD"}},
                Codigo::MethodNotAllowed);
        return true;
    }
    if (ruta == QStringLiteral("/"))
        cuerpo = estado_.pagina();
    else if (ruta == QStringLiteral("/api/estado"))
        cuerpo = QJsonDocument(estado_.json()).toJson(QJsonDocument::Indented);
    else
        cuerpo = estado_.metricas();
    if (metodo == QHttpServerRequest::Method::Head) {
        r.writeStatusLine(Codigo::Ok);
        r.writeHeader("Content-Type", tipo);
        r.writeHeader("Content-Length", QByteArray::number(cuerpo.size()));
        r.writeHeader("Cache-Control", "no-store");
        r.writeBody(QByteArray());
        return true;
    }
    r.write(cuerpo, {{"Content-Type", tipo}, {"Cache-Control", "no-store"}}, Codigo::Ok);
    return true;
}

void ServidorEstado::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket)
        .write("No existe esa página.\n", "text/plain; charset=utf-8",
               QHttpServerResponder::StatusCode::NotFound);
}

} // namespace ort
