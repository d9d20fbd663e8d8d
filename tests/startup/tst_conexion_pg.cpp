#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"

#include <QTcpServer>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {
struct Banco {
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{ajustes, avisos, reloj};
    explicit Banco(const ServidorPg& s, const QString& clave) {
        ajustes.TipoBD = kSqlServer;
        ajustes.ServidorBD = s.dataSource();
        ajustes.UsuarioBD = s.usuario;
        ajustes.ClaveBD = clave;
        ajustes.CatalogoBD = "postgres";
        ajustes.Idioma = 1;
        ajustes.Textos = TablaTextos(4, 81, 1);
        ajustes.Textos.fija(0, 81, 1, "Clave:");
        ajustes.StrConexion = CadenaConexion(ajustes, ajustes.CatalogoBD);
    }
};
} // namespace

class TstConexionPg : public QObject {
    Q_OBJECT
private slots:
    void claveBuena() {
        ORT_REQUIERE_POSTGRES(srv);
        Banco b(srv, srv.clave);
        Conexion c;
        QVERIFY(OpenDBOK(b.ajustes.StrConexion, c, b.e));
        QCOMPARE(c.motor(), Motor::Postgres);
        QVERIFY(b.avisos.mensajes.isEmpty());
        QVERIFY(b.avisos.prompts.isEmpty());
    }

    void claveRechazadaYCorregida_data() {
        QTest::addColumn<QString>("catalogo"); // of the Metrovax string; "postgres" is opened
        QTest::newRow("the Metrovax string") << "postgres";
        QTest::newRow("a data catalogue's string") << "otro";
    }
    void claveRechazadaYCorregida() {
        QFETCH(QString, catalogo);
        ORT_REQUIERE_POSTGRES(srv);
        Banco b(srv, "mala");
        b.ajustes.StrConexion = CadenaConexion(b.ajustes, catalogo);
        const QString cadena = CadenaConexion(b.ajustes, "postgres");
        b.avisos.respuestasEntrada = {srv.clave};
        Conexion c;
        QVERIFY(OpenDBOK(cadena, c, b.e));
        QCOMPARE(b.avisos.prompts, QStringList{cadena + "\nClave:"});
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(b.ajustes.ClaveBD, srv.clave);
        // Later openings of the Metrovax database use the new password without asking.
        QCOMPARE(b.ajustes.StrConexion, CadenaConexion(b.ajustes, catalogo));
        Conexion otra;
        QVERIFY(OpenDBOK(CadenaConexion(b.ajustes, "postgres"), otra, b.e));
        QCOMPARE(b.avisos.prompts.size(), 1);
    }

    void claveRechazadaYCancelada() {
        ORT_REQUIERE_POSTGRES(srv);
        Banco b(srv, "mala");
        b.avisos.respuestasEntrada = {""};
        Conexion c;
        QVERIFY(!OpenDBOK(b.ajustes.StrConexion, c, b.e));
        QCOMPARE(b.avisos.prompts.size(), 1);
        QVERIFY(b.avisos.mensajes.isEmpty());
        QVERIFY(!c.abierta());
    }

    void tresIntentosComoMucho() {
        ORT_REQUIERE_POSTGRES(srv);
        Banco b(srv, "mala");
        b.avisos.respuestasEntrada = {"otra", "tampoco", "nada", "nunca"};
        Conexion c;
        QVERIFY(!OpenDBOK(b.ajustes.StrConexion, c, b.e));
        QCOMPARE(b.avisos.prompts.size(), 3);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.startsWith("Module1. OpenDBOK.\n\nQPSQL\n3031.- "));
        // The last string tried is the one reported.
        QVERIFY(b.avisos.mensajes[0].texto.contains("Password=nada;"));
    }

    void servidorInalcanzable() {
        ORT_REQUIERE_POSTGRES(srv);
        QTcpServer libre;
        QVERIFY(libre.listen(QHostAddress::LocalHost));
        const quint16 puerto = libre.serverPort();
        libre.close(); // nothing listens there now
        ServidorPg nadie = srv;
        nadie.puerto = puerto;
        Banco b(nadie, srv.clave);
        Conexion c;
        QVERIFY(!OpenDBOK(b.ajustes.StrConexion, c, b.e));
        QVERIFY(b.avisos.mensajes.isEmpty());
        QVERIFY(b.avisos.prompts.isEmpty());
    }

    void catalogoInexistente() {
        ORT_REQUIERE_POSTGRES(srv);
        Banco b(srv, srv.clave);
        const QString cadena = CadenaConexion(b.ajustes, "no_existe_ort");
        Conexion c;
        QVERIFY(!OpenDBOK(cadena, c, b.e));
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.contains("no_existe_ort"));
    }
};

QTEST_GUILESS_MAIN(TstConexionPg)
#include "tst_conexion_pg.moc"
