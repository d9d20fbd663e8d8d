#include "ports/puertotcp.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

using namespace ort;

// Each test runs against a server of its own on 127.0.0.1; the test plays the instrument.
class TstPuertoTcp : public QObject {
    Q_OBJECT

    std::unique_ptr<QTcpServer> servidor_;
    QTcpSocket* par_ = nullptr; // the server's side of the connection
    std::unique_ptr<PuertoTcpQt> puerto_;

    bool conecta() {
        servidor_ = std::make_unique<QTcpServer>();
        puerto_ = std::make_unique<PuertoTcpQt>();
        if (!servidor_->listen(QHostAddress::LocalHost) ||
            !puerto_->conecta("127.0.0.1", servidor_->serverPort()) || puerto_->conectado() ||
            !servidor_->waitForNewConnection(5000))
            return false;
        par_ = servidor_->nextPendingConnection();
        for (QDeadlineTimer plazo(5000); !puerto_->conectado() && !plazo.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return puerto_->conectado() && puerto_->abierto();
    }
    void envia(const QByteArray& b) { par_->write(b), par_->flush(); }

private slots:
    void cleanup() {
        puerto_.reset();
        servidor_.reset();
        par_ = nullptr;
    }

    void valoresNoValidos() {
        for (const auto& [host, puerto] :
             {std::pair{"127.0.0.1", 0}, {"127.0.0.1", 65536}, {"127.0.0.1", -23}, {"  ", 23}}) {
            PuertoTcpQt p;
            const auto f = p.conecta(host, puerto).falla();
            QVERIFY(f.numero == kFallaTcpValorNoValido && f.fuente == "PuertoTcp" &&
                    !p.conectado() &&
                    (puerto == 23 || f.descripcion.contains(QString::number(puerto))));
        }
    }

    // Bytes both ways, in chunks or one by one; a wait's arrival is announced after it.
    void datosEnAmbosSentidos() {
        QVERIFY(conecta());
        QSignalSpy datos(puerto_.get(), &Puerto::datos);
        QVERIFY(!puerto_->esperaDatos(30) && puerto_->conectado() &&
                puerto_->hostRemoto() == "127.0.0.1" &&
                puerto_->numeroRemoto() == servidor_->serverPort());
        envia("A\xf1");
        QVERIFY(puerto_->esperaDatos(5000) && datos.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(datos.count(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(puerto_->esperando(), 2, 5000);
        QVERIFY(puerto_->leeCaracter() == 'A' && puerto_->leeCaracter() == 0xf1 &&
                puerto_->leeCaracter() == -1);
        envia("12.5"), envia("\r\n");
        QByteArray recibido;
        for (QDeadlineTimer plazo(5000); recibido.size() < 6 && !plazo.hasExpired();) {
            recibido += puerto_->leeTodo();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        QCOMPARE(recibido, QByteArray("12.5\r\n"));
        QVERIFY(puerto_->escribe("+++") && puerto_->escribe("ATDT 0\r"));
        QByteArray alPar;
        while (alPar.size() < 10 && par_->waitForReadyRead(5000))
            alPar += par_->readAll();
        QCOMPARE(alPar, QByteArray("+++ATDT 0\r"));
    }

    // A closing or resetting peer is reported once, from the event loop; data stays.
    void perdida() {
        for (int como : {0, 1, 2, 3}) { // peer closes, resets, inside a wait, closed first
            QVERIFY(conecta());
            QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
            if (como == 0) {
                envia("fin\r");
                QTRY_COMPARE_WITH_TIMEOUT(puerto_->esperando(), 4, 5000);
            }
            linger l{1, 0}; // an abortive close: the peer's system sends a reset
            QVERIFY(como != 1 || ::setsockopt(int(par_->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                                              &l, sizeof l) == 0);
            if (como == 3)
                puerto_->cierra();
            como == 1 ? par_->abort() : par_->disconnectFromHost();
            if (como == 2)
                QVERIFY(!puerto_->esperaDatos(5000) && !puerto_->conectado() && perdidos.isEmpty());
            QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), como == 3 ? 0 : 1, 5000);
            QTest::qWait(100);
            QCOMPARE(perdidos.count(), como == 3 ? 0 : 1);
            QVERIFY(!puerto_->conectado() && !puerto_->abierto() && !puerto_->escribe("x"));
            QVERIFY(como != 0 ||
                    (perdidos.first().first().toString().contains(
                         QStringLiteral("127.0.0.1:%1").arg(servidor_->serverPort())) &&
                     puerto_->leeTodo() == "fin\r"));
            cleanup();
        }
    }

    void conexionRechazadaEsSilenciosa() {
        quint16 libre = 0; // a port that nobody listens on
        if (QTcpServer s; s.listen(QHostAddress::LocalHost))
            libre = s.serverPort();
        PuertoTcpQt p;
        QSignalSpy perdidos(&p, &Puerto::perdido);
        QVERIFY(libre && p.conecta(QStringLiteral("127.0.0.1"), libre));
        QTRY_VERIFY_WITH_TIMEOUT(!p.ultimoError().isEmpty(), 5000);
        QVERIFY(!p.conectado() && perdidos.isEmpty() && !p.esperaDatos(10) &&
                p.leeTodo().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstPuertoTcp)
#include "tst_puertotcp.moc"
