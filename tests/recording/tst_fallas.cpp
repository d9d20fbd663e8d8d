// Faults of the data files while readings arrive: nothing lost, nothing written twice, order kept.
#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"
#include "recording/grabador.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/programa.h"
#include "support/puertofalso.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <thread>

using namespace ort;
using namespace ort::prueba;

namespace {

struct Banco {
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{ajustes, avisos, reloj};
    AlmacenConfig config{e};
    TablasRuntime t;
    GrabadorDatos grabador{e};
    LogPuertos log;
    Registrador reg{e, t, config, grabador, log};
    FabricaPuertosFalsa puertos{&reloj};
    Receptor rx{e, t, puertos, reg, log, nullptr};
    QString datos;

    Banco() {
        ajustes.Ruta = dir.ruta();
        ajustes.TipoBD = kJet4;
        ajustes.DirDatos = dir.ruta() + "datos/";
        ajustes.Idioma = 1;
        ajustes.Textos = TablaTextos(43, 10, 1);
        ajustes.Textos.fija(43, 9, 1, "No existe");
        ajustes.Textos.fija(43, 10, 1, "No existe la base");
        dir.escribe(kArchivoUbicacion, dir.ruta() + kConfPorDefecto);
        QDir().mkpath(dir.ruta() + "datos/F1/M1");
        datos = dir.ruta() + "datos/F1/M1/P1.MDB";
        if (!CreaSqlite(dir.ruta() + kConfPorDefecto, {"ortconf.sqlite.sql"},
                        "INSERT INTO CANALES VALUES (1,1,'');"
                        "INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,Carac,DTMP) "
                        "VALUES (1,1,1,'OP1','F1','M1','P1','DIAM',0);") ||
            !CreaSqlite(datos, {"datos.sqlite.sql"}) || !config.IniArch())
            qFatal("no fixture");
        config.IniSecue(t);
        t.puerto(1).Conex = "CALIB";
        t.puerto(1).TipoCon = "RS232";
        t.CarTerm[1] = 13;
        puertos.serie(1).fijaNumero(1);
        puertos.serie(1).abre();
    }
    void llegan(int desde, int hasta) {
        QByteArray b;
        for (int i = desde; i <= hasta; ++i)
            b += QByteArray::number(i) + '\r';
        puertos.serie(1).llega(b);
        rx.ComLee(1);
    }
    QString valores() const {
        return ValorSqlite(datos, "select group_concat(DIAM, ',') from (select DIAM from Datos "
                                  "order by N)");
    }
};

// Holds a lock on a data file from another connection, as the quality product or a backup would.
class Bloqueo {
public:
    Bloqueo(const QString& archivo, const QString& sentencia, int ms) {
        hilo_ = std::thread([=, this] {
            const QString nombre = QStringLiteral("bloqueo");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", nombre);
                db.setDatabaseName(archivo);
                db.open();
                QSqlQuery q(db);
                q.exec("BEGIN " + sentencia.section(' ', 0, 0));
                if (sentencia.contains("select", Qt::CaseInsensitive)) {
                    q.exec(sentencia.section(' ', 1));
                    q.next(); // the shared lock is held while the read transaction lasts
                }
                listo_ = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                q.finish();
                q.exec("COMMIT");
                db.close();
            }
            QSqlDatabase::removeDatabase(nombre);
        });
        while (!listo_)
            std::this_thread::yield();
    }
    ~Bloqueo() { hilo_.join(); }

private:
    std::thread hilo_;
    std::atomic<bool> listo_{false};
};

} // namespace

class TstFallas : public QObject {
    Q_OBJECT
private slots:
    void archivoInalcanzableYDeVuelta() {
        Banco b;
        b.llegan(1, 3);
        QVERIFY(QDir().rename(b.dir.ruta() + "datos/F1", b.dir.ruta() + "datos/F1.copia"));
        b.llegan(4, 6);
        QVERIFY(QDir().rename(b.dir.ruta() + "datos/F1.copia", b.dir.ruta() + "datos/F1"));
        b.llegan(7, 9);
        // Recording resumed by itself; the readings of the outage are each on the log with their
        // value, followed by the reason.
        QCOMPARE(b.valores(), QString("1.0,2.0,3.0,7.0,8.0,9.0"));
        QCOMPARE(b.t.NumLecturas[1], 9.0);
        QCOMPARE(b.t.NumGrabadas[1], 6.0);
        const QStringList l = b.log.lineas(1);
        for (int v = 4; v <= 6; ++v) {
            const int i = l.indexOf(QRegularExpression(QString(".*DIAM  %1 *$").arg(v)));
            QVERIFY2(i >= 0 && i + 1 < l.size(), qPrintable(l.join('\n')));
            QVERIFY(l[i + 1].startsWith(" 01/01 No existe " + b.dir.ruta() + "datos/F1"));
        }
    }

    // Group commit: a receive pass's values in one transaction give exactly the rows that writing
    // them one by one gives; a value that fails leaves the others of its pass in place.
    void grabacionPorPasada() {
        Banco porValor, porPasada;
        porPasada.grabador.fijaApertura(GrabadorDatos::Apertura::PorPasada);
        for (Banco* b : {&porValor, &porPasada}) {
            QVERIFY(
                EjecutaScript(b->dir.ruta() + kConfPorDefecto,
                              "INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,Carac,"
                              "EAdic1,EAVal1,DTMP) VALUES (1,1,2,'OP1','F1','M1','P1','TEMP',"
                              "'LOTE','L1',60),(1,1,3,'OP1','F1','M1','P1','NOHAY','','',60)"));
            QVERIFY(b->config.recarga());
            b->config.IniSecue(b->t);
            b->llegan(1, 7);
            b->reloj.avanza(30000);
            b->llegan(8, 9);
        }
        const char* volcado =
            "select group_concat(N || '|' || Fecha || '|' || Turno || '|' || "
            "Operador || '|' || coalesce(DIAM,'') || '|' || coalesce(TEMP,'') || "
            "'|' || coalesce(LOTE,''), ';') from (select * from Datos order by N)";
        QCOMPARE(ValorSqlite(porPasada.datos, volcado), ValorSqlite(porValor.datos, volcado));
        QCOMPARE(porPasada.t.NumGrabadas[1], porValor.t.NumGrabadas[1]);
        QCOMPARE(porPasada.log.lineas(1), porValor.log.lineas(1));
        QVERIFY(porValor.log.lineas(1).join('\n').contains("No se grabó NOHAY = 3"));
    }

    void tablaSinIndiceEnN() {
        Banco b;
        QVERIFY(CreaSqlite(b.datos, {},
                           "CREATE TABLE Datos (N INTEGER, Fecha TEXT, Turno VARCHAR(10), Operador "
                           "VARCHAR(8), DIAM DOUBLE, LOTE VARCHAR(20), TEMP DOUBLE)"));
        b.llegan(1, 3);
        QCOMPARE(b.valores(), QString("1.0,2.0,3.0"));
        QStringList avisos;
        for (const QString& l : b.log.lineas(1))
            if (l.contains("sin índice en N"))
                avisos << l;
        QCOMPARE(avisos.size(), 1); // said once, not at every value
        // A short line that the log's width does not cut; the whole text in one message.
        QCOMPARE(avisos[0].trimmed(), QString("Tabla sin índice en N (lenta): \"Datos\""));
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.contains(
            "La tabla \"Datos\" de " + b.datos + " no tiene índice en N: cada valor recorre sus "));
        QVERIFY(b.avisos.mensajes[0].texto.endsWith("filas para hallar la más reciente."));
        // With the key on N nothing is said.
        Banco c;
        c.llegan(1, 3);
        QVERIFY(!c.log.texto(1).contains("índice"));
    }

    void bloqueo_data() {
        QTest::addColumn<QString>("sentencia");
        QTest::newRow("write lock") << "EXCLUSIVE";
        QTest::newRow("read lock") << "DEFERRED select count(*) from Datos";
    }
    void bloqueo() {
        QFETCH(QString, sentencia);
        Banco b;
        b.llegan(1, 2);
        QElapsedTimer reloj;
        reloj.start();
        {
            Bloqueo bloqueo(b.datos, sentencia, 5000);
            b.llegan(3, 7); // ORT waits for the lock and retries
        }
        QVERIFY2(reloj.elapsed() >= 4500, qPrintable(QString::number(reloj.elapsed())));
        b.llegan(8, 8);
        QCOMPARE(b.valores(), QString("1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0"));
        QCOMPARE(ValorSqlite(b.datos, "select count(distinct N) || '/' || max(N) from Datos"),
                 QString("8/8"));
        QVERIFY2(b.avisos.mensajes.isEmpty(), qPrintable(b.avisos.textos().join('|')));
        QCOMPARE(b.t.NumGrabadas[1], 8.0);
    }
};

QTEST_GUILESS_MAIN(TstFallas)
#include "tst_fallas.moc"
