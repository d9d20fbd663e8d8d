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
        if (!servidor_->listen(QHostAddress::LocalHost))
            return false;
        puerto_ = std::make_unique<PuertoTcpQt>();
        if (puerto_->conecta(QStringLiteral("127.0.0.1"), servidor_->serverPort()))
            return false;
        // The connection is made in the background.
        if (puerto_->conectado())
            return false;
        if (!servidor_->waitForNewConnection(5000))
            return false;
        par_ = servidor_->nextPendingConnection();
        QDeadlineTimer plazo(5000);
        while (!puerto_->conectado() && !plazo.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return puerto_->conectado() && puerto_->abierto();
    }

    void envia(const QByteArray& b) {
        par_->write(b);
        par_->flush();
    }

private slots:
    void cleanup() {
        puerto_.reset();
        servidor_.reset();
        par_ = nullptr;
    }

    void valoresNoValidos_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("puerto");
        QTest::newRow("port 0") << "127.0.0.1" << 0;
        QTest::newRow("port 65536") << "127.0.0.1" << 65536;
        QTest::newRow("negative port") << "127.0.0.1" << -23;
        QTest::newRow("no host") << "  " << 23;
    }
    void valoresNoValidos() {
        QFETCH(QString, host);
        QFETCH(int, puerto);
        PuertoTcpQt p;
        const auto f = p.conecta(host, puerto);
        QVERIFY(f.has_value());
        QCOMPARE(f->numero, kFallaTcpValorNoValido);
        QCOMPARE(f->fuente, QStringLiteral("PuertoTcp"));
        if (puerto != 23)
            QVERIFY2(f->descripcion.contains(QString::number(puerto)), qPrintable(f->descripcion));
        QVERIFY(!p.conectado());
    }

    void datosEnAmbosSentidos() {
        QVERIFY(conecta());
        QSignalSpy datos(puerto_.get(), &Puerto::datos);
        envia("12.5");
        QVERIFY(datos.wait(5000));
        envia("\r\n");
        QByteArray recibido;
        QDeadlineTimer plazo(5000);
        while (recibido.size() < 6 && !plazo.hasExpired()) {
            recibido += puerto_->leeTodo();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        QCOMPARE(recibido, QByteArray("12.5\r\n"));

        // Writes go out without the event loop.
        QVERIFY(puerto_->escribe("+++"));
        QVERIFY(puerto_->escribe("ATDT 0\r"));
        QByteArray alPar;
        while (alPar.size() < 10 && par_->waitForReadyRead(5000))
            alPar += par_->readAll();
        QCOMPARE(alPar, QByteArray("+++ATDT 0\r"));
    }

    void esperaYLeeCaracteres() {
        QVERIFY(conecta());
        QVERIFY(!puerto_->esperaDatos(30));
        QVERIFY(puerto_->conectado()); // a wait without data loses nothing
        envia("A\xf1");
        QVERIFY(puerto_->esperaDatos(5000));
        QCOMPARE(puerto_->leeCaracter(), int('A'));
        if (puerto_->esperando() == 0)
            QVERIFY(puerto_->esperaDatos(5000));
        QCOMPARE(puerto_->leeCaracter(), 0xf1);
        QCOMPARE(puerto_->leeCaracter(), -1);
    }

    void datosNoLlegaDentroDeUnaEspera() {
        QVERIFY(conecta());
        QSignalSpy datos(puerto_.get(), &Puerto::datos);
        envia("x");
        QVERIFY(puerto_->esperaDatos(5000));
        QCOMPARE(datos.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(datos.count(), 1, 5000);
    }

    void parCierraUnaVez() {
        QVERIFY(conecta());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        envia("fin\r");
        par_->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 1, 5000);
        QVERIFY(!puerto_->conectado());
        QVERIFY(!puerto_->abierto());
        const QString motivo = perdidos.first().first().toString();
        QVERIFY2(motivo.contains(QStringLiteral("127.0.0.1:%1").arg(servidor_->serverPort())),
                 qPrintable(motivo));
        // What the peer sent before closing is still there.
        QCOMPARE(puerto_->leeTodo(), QByteArray("fin\r"));
        QTest::qWait(100);
        QCOMPARE(perdidos.count(), 1);
        QVERIFY(!puerto_->escribe("x"));
    }

    void parReiniciaUnaVez() {
        QVERIFY(conecta());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        // An abortive close: the peer's system sends a reset.
        linger l{1, 0};
        QCOMPARE(::setsockopt(int(par_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l),
                 0);
        par_->abort();
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 1, 5000);
        QVERIFY(!puerto_->conectado());
        QTest::qWait(100);
        QCOMPARE(perdidos.count(), 1);
    }

    void perdidaDentroDeUnaEspera() {
        QVERIFY(conecta());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        par_->disconnectFromHost();
        QVERIFY(!puerto_->esperaDatos(5000));
        QVERIFY(!puerto_->conectado());
        QCOMPARE(perdidos.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 1, 5000);
    }

    void cierreNoEsPerdida() {
        QVERIFY(conecta());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        puerto_->cierra();
        QVERIFY(!puerto_->conectado());
        QVERIFY(par_->waitForDisconnected(5000) ||
                par_->state() != QAbstractSocket::ConnectedState);
        QTest::qWait(50);
        QCOMPARE(perdidos.count(), 0);
    }

    void conexionRechazadaEsSilenciosa() {
        // A port that nobody listens on.
        quint16 libre = 0;
        {
            QTcpServer s;
            QVERIFY(s.listen(QHostAddress::LocalHost));
            libre = s.serverPort();
        }
        PuertoTcpQt p;
        QSignalSpy perdidos(&p, &Puerto::perdido);
        QVERIFY(!p.conecta(QStringLiteral("127.0.0.1"), libre));
        QTRY_VERIFY_WITH_TIMEOUT(!p.ultimoError().isEmpty(), 5000);
        QVERIFY(!p.conectado());
        QCOMPARE(perdidos.count(), 0);
        QVERIFY(!p.esperaDatos(10));
        QCOMPARE(p.leeTodo(), QByteArray());
    }

    void reconectaTrasPerdida() {
        QVERIFY(conecta());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        envia("viejo");
        par_->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 1, 5000);
        // A new connection starts clean and is watched again.
        QVERIFY(!puerto_->conecta(QStringLiteral("127.0.0.1"), servidor_->serverPort()));
        QVERIFY(servidor_->waitForNewConnection(5000));
        par_ = servidor_->nextPendingConnection();
        QTRY_VERIFY_WITH_TIMEOUT(puerto_->conectado(), 5000);
        QCOMPARE(puerto_->leeTodo(), QByteArray());
        QCOMPARE(puerto_->hostRemoto(), QStringLiteral("127.0.0.1"));
        QCOMPARE(puerto_->numeroRemoto(), qint32(servidor_->serverPort()));
        par_->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 2, 5000);
    }
};

QTEST_GUILESS_MAIN(TstPuertoTcp)
#include "tst_puertotcp.moc"
