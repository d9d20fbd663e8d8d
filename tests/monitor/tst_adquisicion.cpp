#include "monitor/adquisicion.h"
#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/grabadorfalso.h"
#include "support/programa.h"
#include "support/puertofalso.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace ort;
using namespace ort::prueba;

namespace {

// Ports: 1 TIMER, 2 CALIB (serial), 3 GSE01 (TCP), 4 NADA, 5 CALIB without a row's Open mark.
const char* kConfiguracion =
    "INSERT INTO PUERTOS VALUES (1,'TIMER',0),(2,'CALIB',0),(3,'GSE01',0),(4,'NADA',-1),"
    "(5,'CALIB',NULL);"
    "INSERT INTO CANALES VALUES (2,1,'Diámetro'),(1,2,'Reloj');"
    "INSERT INTO CONF (Puert,Canal,Secue,Opera,Maqui,Produ,Forma,Carac,DTMP) VALUES "
    "(2,1,1,'OP1','TORNO1','EJE20','F1','DIAM',60),"
    "(2,1,2,'OP1','TORNO1','EJE20','F1','TEMP',60),"
    "(2,1,3,'OP1','TORNO1','EJE20','F1','LARGO',60),"
    "(1,2,1,'OP1','TORNO1','EJE20','F1','DIAM',60);";

struct Banco {
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj{QDateTime(QDate(2026, 12, 4), QTime(10, 0, 0))};
    Entorno e{ajustes, avisos, reloj};
    FabricaPuertosFalsa puertos{&reloj};
    GrabadorFalso grabador;
    Adquisicion a{e, puertos, grabador};
    QString conf;

    explicit Banco(const QString& extraMtvx = QString()) {
        ajustes.Ruta = dir.ruta();
        ajustes.TipoBD = kJet4;
        ajustes.Idioma = 1;
        ajustes.Textos = TablaTextos(43, 10, 1);
        ajustes.Textos.fija(43, 1, 1, "Puerto ");
        ajustes.Textos.fija(43, 2, 1, "Abrir");
        ajustes.Textos.fija(43, 3, 1, "Cerrar");
        const QString mtvx = dir.ruta() + "MTVX2005.MDB";
        ajustes.StrConexion = CadenaConexion(ajustes, mtvx);
        if (!CreaSqlite(mtvx, {"metrovax.sqlite.sql", "planta-demo.sql"},
                        "UPDATE INS SET INSTCPPR = '4100' WHERE INSCLAVE = 'GSE01';" + extraMtvx))
            qFatal("no Metrovax database");
        conf = dir.ruta() + kConfPorDefecto;
        dir.escribe(kArchivoUbicacion, conf);
        if (!CreaSqlite(conf, {"ortconf.sqlite.sql"}, kConfiguracion))
            qFatal("no configuration");
    }
    QString open(int p) const {
        return ValorSqlite(
            conf, QString("select coalesce(Open,'null') from PUERTOS where Puert=%1").arg(p));
    }
    void pulsa(int p) {
        a.fijaPuertoActual(p);
        a.cmdAbre();
    }
};

} // namespace

class TstAdquisicion : public QObject {
    Q_OBJECT
private slots:
    void reiniciaCargaYNoAbreNada() {
        Banco b;
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.a.Reinicia();
        QCOMPARE(b.a.tablas().puerto(2).Conex, QString("CALIB"));
        QCOMPARE(int(b.a.tablas().canal(2, 1).SecTotal), 3);
        QCOMPARE(b.a.archivoConfig(), kConfPorDefecto);
        for (int p = 1; p <= 5; ++p)
            QVERIFY(!b.a.activo(p));
        // A port marked NADA and open is switched, and the switch does nothing for NADA.
        QCOMPARE(b.open(4), QString("-1"));
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(estados.count(), 4); // ports 1, 2, 3, 5 painted red
    }

    void puertoTimer() {
        Banco b;
        b.a.Reinicia();
        b.pulsa(1);
        QVERIFY(b.a.activo(1));
        QCOMPARE(b.open(1), QString("-1"));
        QCOMPARE(b.a.captionAbre(), QString("Cerrar"));
        QCOMPARE(b.a.captionFrame(), QString("Puerto 1: TIMER"));
        b.pulsa(1);
        QVERIFY(!b.a.activo(1));
        QCOMPARE(b.open(1), QString("0"));
        QCOMPARE(b.a.captionAbre(), QString("Abrir"));
    }

    void puertoSerie() {
        Banco b;
        b.a.Reinicia();
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.pulsa(2);
        QVERIFY(b.a.activo(2));
        QVERIFY(b.puertos.serie(2).abierto());
        QCOMPARE(b.open(2), QString("-1"));
        b.pulsa(2);
        QVERIFY(!b.a.activo(2));
        QVERIFY(!b.puertos.serie(2).abierto());
        QCOMPARE(b.open(2), QString("0"));
        QCOMPARE(estados.count(), 2);
        QCOMPARE(estados.at(0), (QList<QVariant>{2, true}));
        QCOMPARE(estados.at(1), (QList<QVariant>{2, false}));
    }

    void serieQueNoAbre() {
        Banco b;
        b.a.Reinicia();
        b.puertos.serie(2).fallaEn(PuertoSerieFalso::Paso::Abre);
        b.dir.escribe("x", QByteArray());
        b.pulsa(2);
        QVERIFY(!b.a.activo(2));
        QCOMPARE(b.avisos.beeps, 1);
        QCOMPARE(b.open(2), QString("0"));
    }

    void socketQueNuncaResponde() {
        Banco b;
        b.a.Reinicia();
        b.puertos.tcp(3).respondeTras(-1);
        const qint64 antes = b.reloj.monotonoMs();
        b.pulsa(3);
        const qint64 espera = b.reloj.monotonoMs() - antes;
        QVERIFY2(espera >= 10000 && espera < 10500, qPrintable(QString::number(espera)));
        QVERIFY(!b.a.activo(3));
        QCOMPARE(b.avisos.beeps, 1);
        QCOMPARE(b.open(3), QString("0"));
        QCOMPARE(b.avisos.punteros, QList<bool>({true, false}));
    }

    // The wait lets events run: a restart or another switch asked for meanwhile is not run.
    void nadaReentraDuranteLaEspera() {
        Banco b;
        b.a.Reinicia();
        b.puertos.tcp(3).respondeTras(-1);
        QSignalSpy captions(&b.a, &Adquisicion::captionsCambiadas);
        QTimer::singleShot(0, &b.a, [&b] {
            QVERIFY(b.a.ocupada());
            b.a.Reinicia();
            b.pulsa(2);
            b.a.OpenPuertos();
        });
        b.pulsa(3);
        QCOMPARE(captions.count(), 0);
        QVERIFY(!b.a.activo(2) && !b.a.activo(3));
        QCOMPARE(b.open(2), QString("0"));
        QVERIFY(!b.a.ocupada());
        b.pulsa(2); // after the wait the switch works again
        QVERIFY(b.a.activo(2));
    }

    void sinBaseDeConfiguracion_data() {
        QTest::addColumn<bool>("carpeta");
        QTest::newRow("missing file") << false;
        QTest::newRow("a folder") << true;
    }
    void sinBaseDeConfiguracion() {
        QFETCH(bool, carpeta);
        Banco b;
        QVERIFY(QFile::remove(b.conf));
        if (carpeta)
            QVERIFY(QDir().mkpath(b.conf));
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.a.Reinicia();
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY2(b.avisos.mensajes[0].texto.contains(b.conf),
                 qPrintable(b.avisos.textos().join("|")));
        QCOMPARE(estados.count(), kPuertos); // every port shown closed
        for (const auto& args : estados)
            QVERIFY(!args.at(1).toBool());
    }

    void socketQueRespondeATiempo() {
        Banco b;
        b.a.Reinicia();
        b.puertos.tcp(3).respondeTras(2500);
        b.pulsa(3);
        QVERIFY(b.a.activo(3));
        QCOMPARE(b.open(3), QString("-1"));
        QCOMPARE(b.avisos.beeps, 0);
    }

    void esperaQueCruzaLaMedianoche() {
        Banco b;
        b.a.Reinicia();
        b.reloj.fija(QDateTime(QDate(2026, 12, 4), QTime(23, 59, 55)));
        b.puertos.tcp(3).respondeTras(-1);
        b.pulsa(3);
        // Ten seconds of the clock that midnight does not touch.
        QCOMPARE(b.reloj.ahora().date(), QDate(2026, 12, 5));
        QVERIFY(b.reloj.ahora().time() >= QTime(0, 0, 5));
        QVERIFY(!b.a.activo(3));
    }

    void nada() {
        Banco b;
        b.a.Reinicia();
        const QString antes = b.open(4);
        b.pulsa(4);
        QVERIFY(!b.a.activo(4));
        QCOMPARE(b.open(4), antes);
    }

    void puertoSinFila() {
        Banco b;
        b.a.Reinicia();
        b.a.tablas().puerto(9).Conex = "TIMER";
        b.pulsa(9);
        QVERIFY(b.a.activo(9));
        QCOMPARE(ValorSqlite(b.conf, "select count(*) from PUERTOS where Puert=9"), QString("0"));
    }

    void limites() {
        Banco b("UPDATE CXP SET CXPLINFC = 10, CXPLSUPC = 20 WHERE CXPCARAC = 'DIAM';"
                "INSERT INTO CXP VALUES ('TORNO1','EJE20','TEMP',NULL,50);");
        b.a.Reinicia();
        b.pulsa(2);
        auto& t = b.a.tablas();
        QCOMPARE(t.LimInf(2, 1, 1), 10.0);
        QCOMPARE(t.LimSup(2, 1, 1), 20.0);
        // An empty limit keeps the defaults, and is reported once.
        QCOMPARE(t.LimInf(2, 1, 2), -999999.0);
        QCOMPARE(t.LimSup(2, 1, 2), 999999.0);
        QCOMPARE(t.LimInf(2, 1, 3), 99.0); // LARGO's row of the demo plant
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.contains("secuencia 2"));
    }

    void reiniciaCierraYReabre() {
        Banco b;
        b.a.Reinicia();
        b.pulsa(2);
        b.pulsa(1);
        QVERIFY(b.a.activo(2) && b.a.activo(1));
        // Port 1 unmarked meanwhile (another workstation, the editor): it ends closed; port 2
        // stays marked and is open again after the restart, not toggled shut.
        QVERIFY(EjecutaScript(b.conf, "UPDATE PUERTOS SET Open = 0 WHERE Puert = 1"));
        b.a.Reinicia();
        QVERIFY(b.a.activo(2));
        QVERIFY(!b.a.activo(1));
        QCOMPARE(b.puertos.serie(2).aperturas, 2);
        QCOMPARE(b.open(2), QString("-1"));
    }

    void temporizador() {
        Banco b;
        b.a.Reinicia();
        b.pulsa(1);
        b.pulsa(2);
        b.a.tick(); // TIMER decoded whether or not anything arrived; the empty serial port not
        b.reloj.avanza(7000);
        b.a.tick();
        QVERIFY(b.a.log().lineas(1).size() >= 1);
        QVERIFY(b.a.log().lineas(2).isEmpty());
        b.puertos.serie(2).llega("20.0\r"); // within DIAM's limits
        b.a.tick();
        QCOMPARE(b.grabador.llamadas.size(), 1);
        QCOMPARE(b.grabador.llamadas.last().Valor, QString("20.0"));
    }

    void eventosDeLosPuertos() {
        Banco b;
        b.a.Reinicia();
        b.pulsa(2);
        b.puertos.serie(2).lanzaEvento(1004);
        b.puertos.serie(2).lanzaEvento(4); // a change of DSR is not shown
        b.puertos.serie(2).lanzaEvento(1005);
        QCOMPARE(b.a.log().lineas(2).size(), 2);
        QVERIFY(b.a.log().lineas(2)[0].startsWith(" 1004:Error de Enmarcado."));
        QVERIFY(b.a.log().lineas(2)[1].trimmed().endsWith("1005"));
        // The threshold's event runs the receive pass.
        b.puertos.serie(2).fijaUmbral(1);
        b.puertos.serie(2).llega("20.05\r");
        QCOMPARE(b.grabador.llamadas.size(), 1);
        QCOMPARE(b.grabador.llamadas.last().Valor, QString("20.05"));
        // The device goes away: closed, lamp red, a line on the log, and it can be reopened.
        QSignalSpy estados(&b.a, &Adquisicion::estadoPuerto);
        b.puertos.serie(2).pierde("se desconectó");
        QVERIFY(!b.a.activo(2));
        QCOMPARE(estados.count(), 1);
        QVERIFY(b.a.log().lineas(2).last().contains("se desconectó"));
        QCOMPARE(b.open(2), QString("-1")); // the mark stays: a restart retries the device
        b.pulsa(2);
        QVERIFY(b.a.activo(2));
    }
};

QTEST_MAIN(TstAdquisicion)
#include "tst_adquisicion.moc"
