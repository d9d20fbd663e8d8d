// The PostgreSQL server becomes unreachable while readings arrive, then comes back.
#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"
#include "recording/grabador.h"
#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/programa.h"
#include "support/puertofalso.h"

#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

using namespace ort;
using namespace ort::prueba;

namespace {

// A TCP relay in front of the server, on a thread of its own (the database calls block the
// test's thread): cutting it makes the server unreachable, restoring it brings it back.
class Relevo : public QObject {
    Q_OBJECT
public:
    explicit Relevo(quint16 destino) : destino_(destino) {}

public slots:
    void abre(quint16 puerto) {
        servidor_ = new QTcpServer(this);
        servidor_->listen(QHostAddress::LocalHost, puerto);
        puerto_ = servidor_->serverPort();
        connect(servidor_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* a = servidor_->nextPendingConnection()) {
                auto* b = new QTcpSocket(this);
                b->connectToHost(QHostAddress::LocalHost, destino_);
                connect(a, &QTcpSocket::readyRead, b, [a, b] { b->write(a->readAll()); });
                connect(b, &QTcpSocket::readyRead, a, [a, b] { a->write(b->readAll()); });
                connect(a, &QTcpSocket::disconnected, b, &QTcpSocket::disconnectFromHost);
                connect(b, &QTcpSocket::disconnected, a, &QTcpSocket::disconnectFromHost);
                pares_.append(QPointer<QTcpSocket>(a));
                pares_.append(QPointer<QTcpSocket>(b));
            }
        });
    }
    void corta() {
        delete servidor_;
        servidor_ = nullptr;
        for (QTcpSocket* s : std::as_const(pares_))
            if (s) {
                s->abort();
                s->deleteLater();
            }
        pares_.clear();
    }

public:
    quint16 puerto_ = 0;

private:
    quint16 destino_;
    QTcpServer* servidor_ = nullptr;
    QList<QPointer<QTcpSocket>> pares_;
};

} // namespace

class TstFallasPg : public QObject {
    Q_OBJECT
private slots:
    void servidorInalcanzableYDeVuelta() {
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaBasePg(srv, "ortfallasDATA", Sentencias(LeeEsquema("datos.pg.sql"))));

        QThread hilo;
        Relevo relevo(quint16(srv.puerto));
        relevo.moveToThread(&hilo);
        hilo.start();
        QMetaObject::invokeMethod(&relevo, "abre", Qt::BlockingQueuedConnection, Q_ARG(quint16, 0));
        const quint16 puerto = relevo.puerto_;
        QVERIFY(puerto != 0);

        DirPrograma dir;
        Ajustes ajustes;
        ajustes.Ruta = dir.ruta();
        ajustes.TipoBD = kSqlServer;
        ajustes.ServidorBD = QString("127.0.0.1:%1").arg(puerto);
        ajustes.UsuarioBD = srv.usuario;
        ajustes.ClaveBD = srv.clave;
        ajustes.CatalogoBD = "ortfallas";
        AvisosGrabados avisos;
        RelojFalso reloj;
        Entorno e{ajustes, avisos, reloj};
        dir.escribe(kArchivoUbicacion, dir.ruta() + kConfPorDefecto);
        QVERIFY(CreaSqlite(dir.ruta() + kConfPorDefecto, {"ortconf.sqlite.sql"},
                           "INSERT INTO CANALES VALUES (1,1,'');"
                           "INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,Carac,DTMP)"
                           " VALUES (1,1,1,'OP1','F1','M1','P1','DIAM',0);"));
        AlmacenConfig config(e);
        QVERIFY(config.IniArch());
        TablasRuntime t;
        config.IniSecue(t);
        GrabadorDatos grabador(e);
        LogPuertos log;
        Registrador reg(e, t, config, grabador, log);
        FabricaPuertosFalsa puertos(&reloj);
        Receptor rx(e, t, puertos, reg, log, nullptr);
        t.puerto(1).Conex = "CALIB";
        t.CarTerm[1] = 13;
        puertos.serie(1).fijaNumero(1);
        puertos.serie(1).abre();
        auto llegan = [&](const QByteArray& b) {
            puertos.serie(1).llega(b);
            rx.ComLee(1);
        };

        llegan("1\r2\r3\r");
        QMetaObject::invokeMethod(&relevo, "corta", Qt::BlockingQueuedConnection);
        llegan("4\r5\r6\r");
        QMetaObject::invokeMethod(&relevo, "abre", Qt::BlockingQueuedConnection,
                                  Q_ARG(quint16, puerto));
        llegan("7\r8\r9\r");
        QMetaObject::invokeMethod(&relevo, "corta", Qt::BlockingQueuedConnection);
        hilo.quit();
        hilo.wait();

        // Read straight from the server.
        QString valores;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "lee");
            db.setHostName(srv.host);
            db.setPort(srv.puerto);
            db.setUserName(srv.usuario);
            db.setPassword(srv.clave);
            db.setDatabaseName("ortfallasDATA");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(
                "select string_agg(\"DIAM\"::text, ',' order by n) from \"Datos_F1_M1_P1\""));
            QVERIFY(q.next());
            valores = q.value(0).toString();
        }
        QSqlDatabase::removeDatabase("lee");
        QCOMPARE(valores, QString("1,2,3,7,8,9"));
        QCOMPARE(t.NumGrabadas[1], 6.0);
        // Each reading of the outage is on the log with its value, and each failure was said.
        for (int v = 4; v <= 6; ++v)
            QVERIFY2(log.lineas(1).contains(
                         QString(" 01/01 No se grabó DIAM = %1").arg(v).leftJustified(92)),
                     qPrintable(log.lineas(1).join('\n')));
        QCOMPARE(avisos.mensajes.size(), 3);
        QVERIFY(avisos.mensajes[0].texto.startsWith("DAM. GrabaMTVX."));
    }
};

QTEST_GUILESS_MAIN(TstFallasPg)
#include "tst_fallas_pg.moc"
