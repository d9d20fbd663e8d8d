// Every port served at once: workers per port, the recording thread, the frame's time, a clean
// stop. Real ports (pseudo-terminals, loopback TCP), real clock, the demo plant's data files.
#include "decoding/registrolectura.h"
#include "monitor/adquisicion.h"
#include "ports/fabricapuertos.h"
#include "recording/diario.h"
#include "recording/grabador.h"
#include "recording/hilograbacion.h"
#include "startup/archivosproducto.h"
#include "startup/avisoshilos.h"
#include "startup/conexion.h"
#include "startup/reloj.h"
#include "support/banco.h"
#include "support/corrida.h"
#include "support/fakes.h"
#include "support/grabadorfalso.h"
#include "support/programa.h"
#include "support/pty.h"
#include "support/relevo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

using namespace ort;
using namespace ort::prueba;

Q_DECLARE_METATYPE(ort::GrabadorDatos::Apertura)

namespace {

using Apertura = GrabadorDatos::Apertura;

// The demo plant with the test's own ports, channels and sequences; serial ports 1..4 are
// pseudo-terminals played by the test. Acquisition runs as the program runs it: a worker per
// port and the recording thread.
struct Planta {
    QTemporaryDir tmp;
    QString dir = tmp.filePath("planta");
    std::array<std::unique_ptr<Pty>, 5> pty;
    AvisosGrabados avisos;
    AvisosEntreHilos avisosHilos{avisos};
    RelojSistema reloj;
    std::optional<Ajustes> ajustes;
    std::unique_ptr<Entorno> e;
    std::unique_ptr<FabricaPuertosQt> puertos;
    std::unique_ptr<GrabadorDatos> grabador;
    std::unique_ptr<Adquisicion> a;
    qint64 diario = 0; // the journal of held readings' bound; 0: none

    bool arranca(const QString& conf, Apertura apertura = Apertura::PorValor,
                 const QString& mtvx = QString()) {
        if (!CreaDemo(ORT_DEMO_SCRIPT, dir) ||
            !EjecutaScript(dir + "/ORTConf2005.mdb",
                           "DELETE FROM PUERTOS; DELETE FROM CANALES; DELETE FROM CONF;" + conf) ||
            (!mtvx.isEmpty() && !EjecutaScript(dir + "/bd/MTVX2005.MDB", mtvx)))
            return false;
        QString iau;
        for (int p = 1; p <= 4; ++p) {
            pty[p] = std::make_unique<Pty>();
            iau += QString("%1,%2\r\n").arg(p).arg(pty[p]->esclavo());
        }
        if (!EscribeTexto(dir + "/ORTPuertos.IAU", iau))
            return false;
        ajustes = CargaAjustes(dir, avisosHilos);
        if (!ajustes)
            return false;
        e = std::make_unique<Entorno>(Entorno{*ajustes, avisosHilos, reloj});
        puertos = std::make_unique<FabricaPuertosQt>(ajustes->Ruta);
        grabador = std::make_unique<GrabadorDatos>(*e, apertura);
        a = std::make_unique<Adquisicion>(*e, *puertos, *grabador);
        a->usaDiario(diario);
        a->usaHilos([this, apertura] { return std::make_unique<GrabadorDatos>(*e, apertura); });
        a->arranca();
        return true;
    }
    ~Planta() {
        if (a)
            a->detiene();
    }
    QString datos(const QString& ctx) const { return dir + "/datos/" + ctx + ".MDB"; }
    QString valor(const QString& ctx, const QString& sql) const {
        return ValorSqlite(datos(ctx), sql);
    }
    int filas(const QString& ctx, const QString& donde = "1") const {
        return valor(ctx, "select count(*) from Datos where " + donde).toInt();
    }
};

// A sequence row: port, channel, context and characteristic, with a window of DTMP seconds;
// `lote` adds the batch LOTE L1 as additional field (written after the value, in its row).
QString Conf(int p, const QString& maqui, const QString& produ, const QString& carac, int dtmp = 0,
             bool lote = false) {
    return QString("INSERT INTO CANALES VALUES (%1,1,''); INSERT INTO CONF VALUES "
                   "(%1,1,1,'OP1','E1','%2','%3','F1','%4',%5,'','',%6);")
        .arg(p)
        .arg(maqui, produ, carac, lote ? "'LOTE','L1'" : "'',''")
        .arg(dtmp);
}

// Every row of the data table of a catalogue on the server, in N order.
QStringList FilasPg(const QString& catalogo) {
    Banco lector(Motor::Postgres);
    lector.ajustes.CatalogoBD = catalogo;
    return Banco::muestra(lector.filas("select * from \"Datos_F1_TORNO1_EJE20\" order by n"));
}

// Milliseconds until the condition holds (event loop running), or -1 after ms.
qint64 Tarda(const std::function<bool()>& condicion, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condicion()) {
        if (t.elapsed() > ms)
            return -1;
        QTest::qWait(5);
    }
    return t.elapsed();
}

} // namespace

class TstHilos : public QObject {
    Q_OBJECT
private slots:
    // A port that streams (25 frames a second, more than its serial rest lets it take) holds up
    // no other port: the 1 Hz gauge beside it has its rows within 250 ms.
    void unFlujoNoDetieneAOtroPuerto() {
        Planta pl;
        QVERIFY(pl.arranca("INSERT INTO PUERTOS VALUES (1,'CALIB',-1),(2,'CALIB',-1);" +
                           Conf(1, "RECT1", "EJE20", "TEMP") + Conf(2, "TORNO1", "TUBO1", "TEMP")));
        std::atomic<bool> fin{false};
        std::thread flujo([&] {
            while (!fin) {
                pl.pty[1]->escribe("12.5\r");
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
        });
        QTest::qWait(500);
        for (int i = 1; i <= 3; ++i) {
            pl.pty[2]->escribe(QString("%1.5\r").arg(i).toLatin1());
            const qint64 ms = Tarda([&] { return pl.filas("F1/TORNO1/TUBO1") == i; }, 3000);
            QVERIFY2(ms >= 0 && ms <= 250, qPrintable(QString("reading %1: %2 ms").arg(i).arg(ms)));
            QTest::qWait(1000 - int(ms));
        }
        fin = true;
        flujo.join();
        QVERIFY(pl.filas("F1/RECT1/EJE20") >= 10);
    }

    // AND sends its value in a frame after its status frame; it is waited for like any frame,
    // however it trails the status: a little, much, or character by character.
    void andEsperaSuTramaDeValor_data() {
        QTest::addColumn<int>("trasEstadoMs");
        QTest::addColumn<int>("entreCaracteresMs");
        QTest::addRow("30 ms after") << 30 << 0;
        QTest::addRow("0.3 s after") << 300 << 0;
        QTest::addRow("at line pace") << 2 << 2;
    }
    void andEsperaSuTramaDeValor() {
        QFETCH(int, trasEstadoMs);
        QFETCH(int, entreCaracteresMs);
        Planta pl;
        QVERIFY(pl.arranca("INSERT INTO PUERTOS VALUES (1,'AND',-1);" +
                               Conf(1, "TORNO1", "TUBO1", "TEMP"),
                           Apertura::PorValor,
                           "INSERT INTO INS VALUES ('AND','Balanza','RS232','','','9600','N',"
                           "'8','1','','','1','13','0')"));
        auto envia = [&](const QByteArray& b) {
            if (entreCaracteresMs == 0)
                return void(pl.pty[1]->escribe(b));
            for (char ch : b) {
                pl.pty[1]->escribe(QByteArray(1, ch));
                QThread::msleep(entreCaracteresMs);
            }
        };
        for (const char* valor : {"12.50", "13.25"}) {
            envia("ST\r");
            QThread::msleep(trasEstadoMs);
            envia(QByteArray(valor) + '\r');
        }
        QVERIFY(Tarda([&] { return pl.filas("F1/TORNO1/TUBO1") == 2; }, 5000) >= 0);
        QCOMPARE(pl.valor("F1/TORNO1/TUBO1", "select group_concat(TEMP, ' ') from Datos"),
                 QString("12.5 13.25"));
        for (const QString& l : pl.a->log().lineas(1))
            QVERIFY2(!l.contains("No value frame"), qPrintable(l));
    }

    // A reading's time is when its frame was complete: the row written late (the data table
    // held by another writer) carries it, and so does the log line.
    void laFechaEsLaDeLaTrama() {
        Planta pl;
        QVERIFY(pl.arranca("INSERT INTO PUERTOS VALUES (1,'CALIB',-1);" +
                           Conf(1, "TORNO1", "TUBO1", "TEMP")));
        QTest::qWait(300);
        const QString nombre = "bloqueo";
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", nombre);
            db.setDatabaseName(pl.datos("F1/TORNO1/TUBO1"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("BEGIN IMMEDIATE"));
            const QDateTime enviada = QDateTime::currentDateTime();
            pl.pty[1]->escribe("7.25\r");
            QTest::qWait(2500);
            QCOMPARE(pl.filas("F1/TORNO1/TUBO1"), 0);
            QVERIFY(q.exec("ROLLBACK"));
            QVERIFY(Tarda([&] { return pl.filas("F1/TORNO1/TUBO1") == 1; }, 5000) >= 0);
            const QDateTime fecha = QDateTime::fromString(
                pl.valor("F1/TORNO1/TUBO1", "select Fecha from Datos"), "yyyy-MM-dd HH:mm:ss");
            QVERIFY2(qAbs(enviada.secsTo(fecha)) <= 1,
                     qPrintable(enviada.toString() + " / " + fecha.toString()));
            const QString linea = pl.a->log().lineas(1).last();
            QVERIFY2(linea.contains(fecha.toString("yyyy/MM/dd HH:mm:ss")), qPrintable(linea));
        }
        QSqlDatabase::removeDatabase(nombre);
    }

    // Two ports write one data table at once: every value lands once, rows are numbered
    // without gap or repeat, and each port's values keep their order.
    void dosPuertosUnaTabla_data() {
        QTest::addColumn<Apertura>("apertura");
        QTest::addRow("value by value") << Apertura::PorValor;
        QTest::addRow("kept connection") << Apertura::Mantenida;
        QTest::addRow("group commit") << Apertura::PorPasada;
    }
    void dosPuertosUnaTabla() {
        QFETCH(Apertura, apertura);
        Planta pl;
        QVERIFY(pl.arranca("INSERT INTO PUERTOS VALUES (1,'CALIB',-1),(2,'CALIB',-1);" +
                               Conf(1, "TORNO1", "EJE20", "DIAM", 60) +
                               Conf(2, "TORNO1", "EJE20", "LARGO", 60),
                           apertura));
        constexpr int n = 15;
        QByteArray diam, largo;
        for (int i = 0; i < n; ++i) {
            diam += QString("20.0%1\r").arg(i, 2, 10, QChar('0')).toLatin1();
            largo += QString("100.0%1\r").arg(i, 2, 10, QChar('0')).toLatin1();
        }
        pl.pty[1]->escribe(diam);
        pl.pty[2]->escribe(largo);
        const QString ctx = "F1/TORNO1/EJE20";
        QVERIFY(Tarda(
                    [&] {
                        return pl.filas(ctx, "DIAM is not null") == n &&
                               pl.filas(ctx, "LARGO is not null") == n;
                    },
                    10000) >= 0);
        QCOMPARE(pl.valor(ctx, "select max(N) - count(*) from Datos"), QString("0"));
        QCOMPARE(pl.valor(ctx, "select count(*) from Datos where DIAM is null and LARGO is null"),
                 QString("0"));
        for (const QString col : {"DIAM", "LARGO"}) {
            const QString orden =
                pl.valor(ctx, QString("select group_concat(%1, ' ') from (select %1 from Datos "
                                      "where %1 is not null order by N)")
                                  .arg(col));
            const QStringList v = orden.split(' ');
            QCOMPARE(v.size(), n);
            for (int i = 1; i < n; ++i)
                QVERIFY2(v[i].toDouble() > v[i - 1].toDouble(), qPrintable(orden));
        }
    }

    // Group commit under a TCP stream: readings are committed (and so counted as recorded) at
    // least every 100 ms while the stream lasts (with room for a loaded machine), and readers
    // of the data table get their turn.
    void grupoBajoFlujoConfirmaAMenudo() {
        QProcess sim;
        sim.start(ORTSIM_PATH,
                  {"--code", "CALIB", "--tcp", "0", "--rate", "200", "--values", "random:1,50"});
        const int puertoTcp = PuertoTcpDe(sim);
        QVERIFY(puertoTcp > 0);
        Planta pl;
        QVERIFY(pl.arranca("INSERT INTO PUERTOS VALUES (1,'REDTC',-1);" +
                               Conf(1, "TORNO1", "TUBO1", "TEMP"),
                           Apertura::PorPasada,
                           QString("INSERT INTO INS VALUES ('REDTC','Calibre en red','TCP/IP',"
                                   "'127.0.0.1','%1','','','','','','','1','13','0')")
                               .arg(puertoTcp)));
        const QString ctx = "F1/TORNO1/TUBO1";
        const double& grabadas = pl.a->tablas().NumGrabadas[1];
        QVERIFY(Tarda([&] { return grabadas > 0; }, 5000) >= 0);
        QElapsedTimer t, desdeCambio;
        t.start();
        desdeCambio.start();
        double antes = grabadas;
        qint64 peor = 0;
        while (t.elapsed() < 1500) {
            QTest::qWait(5);
            if (grabadas > antes) {
                peor = std::max(peor, desdeCambio.restart());
                antes = grabadas;
            }
        }
        // Metrovax reading the table meanwhile waits at most for one group's commit.
        qint64 peorLectura = 0;
        for (int i = 0; i < 10; ++i) {
            QElapsedTimer l;
            l.start();
            QVERIFY(pl.filas(ctx) > 0);
            peorLectura = std::max(peorLectura, l.elapsed());
            QTest::qWait(20);
        }
        sim.kill();
        sim.waitForFinished(3000);
        QVERIFY2(peor <= 300, qPrintable(QString("%1 ms without a commit").arg(peor)));
        QVERIFY2(peorLectura <= 300, qPrintable(QString("a reader waited %1 ms").arg(peorLectura)));
        QVERIFY(antes >= 200);
    }

    // A group whose commit fails: without the journal its readings are answered as lost (each
    // on its port's log as not recorded, with its values); with it, for a passing reason, they
    // are held (shown so) and written later into their data table in order, each at its own
    // time. Neither counts as recorded.
    void grupoFallido_data() {
        QTest::addColumn<bool>("diario");
        QTest::addRow("lost without the journal") << false;
        QTest::addRow("held with the journal") << true;
    }
    void grupoFallido() {
        QFETCH(bool, diario);
        struct GrabadorQueFalla : GrabadorFalso {
            bool agrupa() const override { return true; }
            bool terminaPasada() override { return fallos-- <= 0; }
            TipoFalla ultimaFalla() const override { return TipoFalla::Pasajera; }
            QString motivoFalla() const override { return "server closed the connection"; }
            int fallos = 0;
        } g;
        g.fallos = diario ? 1 : 1000;
        Banco b(Motor::Sqlite, true);
        QVERIFY(b.datos());
        RelojSistema reloj;
        const QDateTime t0(QDate(2026, 12, 4), QTime(9, 5, 7));
        QList<RespuestaGrabacion> respuestas;
        QStringList dicho;
        QMutex m;
        {
            HiloGrabacion h(g, [&](const RespuestaGrabacion& r) {
                QMutexLocker l(&m);
                respuestas << r;
            });
            if (diario)
                h.usaDiario(b.ajustes, reloj, b.dir.ruta() + kArchivoDiario, 100,
                            [&](int, const QString&, const QString& mensaje) {
                                QMutexLocker l(&m);
                                dicho << mensaje;
                            },
                            {});
            h.inicia();
            for (int i = 1; i <= 3; ++i) {
                PedidoGrabacion p;
                p.puerto = 2;
                p.canal = 1;
                p.secuencia = i;
                p.momento = t0.addSecs(5 * i);
                p.Forma = "F1";
                p.Maqui = "M1";
                p.Produ = "P1";
                p.Opera = "OP";
                p.valores << ValorPedido{"DIAM", QString("20.%1").arg(i), 60}
                          << ValorPedido{"LOTE", "L-1", 999};
                h.encola(p);
            }
            QVERIFY(Tarda(
                        [&] {
                            QMutexLocker l(&m);
                            return respuestas.size() == 3 && h.retenidas() == 0;
                        },
                        5000) >= 0);
            h.detiene();
        }
        for (const RespuestaGrabacion& r : respuestas) {
            QCOMPARE(r.confirmada, diario);
            QCOMPARE(r.retenidaDesde, diario ? 0 : -1);
            b.reg.alGrabar(r);
        }
        QCOMPARE(b.t.NumGrabadas[2], 0.0);
        const QStringList lineas = b.log.lineas(2);
        const QString filas =
            ValorSqlite(b.ajustes.DirDatos + "F1/M1/P1.MDB",
                        "select group_concat(N || ' ' || Fecha || ' ' || DIAM || ' ' || LOTE, '; "
                        "') from (select * from Datos order by N)");
        if (diario) {
            QCOMPARE(filas, "1 2026-12-04 09:05:12 20.1 L-1; 2 2026-12-04 09:05:17 20.2 L-1; 3 "
                            "2026-12-04 09:05:22 20.3 L-1");
            QCOMPARE(dicho.filter("No se puede escribir en").size(), 1);
            QCOMPARE(dicho.filter("Se grabaron las 6 lecturas retenidas").size(), 1);
            QCOMPARE(lineas.filter("Retenida DIAM = 20.").size(), 3);
            QCOMPARE(lineas.filter("No se grabó").size(), 0);
        } else {
            QCOMPARE(filas, QString());
            QCOMPARE(lineas.size(), 6);
            QVERIFY(lineas[0].startsWith(" 01/01 No se grabó DIAM = 20.1"));
            QVERIFY(lineas[1].startsWith(" 01/01 No se grabó LOTE = L-1"));
            QVERIFY(lineas[4].startsWith(" 01/03 No se grabó DIAM = 20.3"));
        }
    }

    // A data table out of reach for a while, through the real registration and recording
    // lanes: its data file locked by another program for 15 s (longer than the busy wait), or
    // the data directory renamed away and back. Within the busy wait every reading is held
    // (counted on its port, said once), later ones go behind; once the table is back they are
    // written in order, and the rows are those of an uninterrupted run: port 2 sends the same
    // readings at the same moments to a table left alone (the file lock), and each row's N,
    // Fecha and values are those of the frames as the port's log shows them.
    void nadaSePierdeSinSuTabla_data() {
        QTest::addColumn<QString>("caso");
        QTest::addRow("sqlite, data file locked 15 s") << "bloqueo";
        QTest::addRow("sqlite, data directory away and back") << "carpeta";
    }
    void nadaSePierdeSinSuTabla() {
        QFETCH(QString, caso);
        QStringList log1; // port 1's log lines, all of them
        Planta pl;
        pl.diario = 1000;
        QVERIFY(pl.arranca("INSERT INTO PUERTOS VALUES (1,'CALIB',-1),(2,'CALIB',-1);" +
                               Conf(1, "TORNO1", "EJE20", "DIAM", 60, true) +
                               Conf(2, "RECT1", "EJE20", "DIAM", 60, true),
                           Apertura::PorPasada));
        const QString a = "F1/TORNO1/EJE20", b = "F1/RECT1/EJE20";
        connect(&pl.a->log(), &LogPuertos::lineaAgregada, this, [&](int p, const QString& l) {
            if (p == 1)
                log1 << l;
        });
        QTest::qWait(300);
        int enviadas = 0;
        // Both ports' frames, at the same moment, a little after a second starts.
        auto envia = [&] {
            QTest::qWait(1300 - QTime::currentTime().msec());
            const QByteArray v = QString("20.%1\r").arg(++enviadas, 2, 10, QChar('0')).toLatin1();
            pl.pty[1]->escribe(v);
            pl.pty[2]->escribe(v);
        };
        envia();
        QVERIFY(Tarda([&] { return pl.filas(a) == 1 && pl.filas(b) == 1; }, 5000) >= 0);

        const QString nombre = "bloqueo", dir = pl.dir + "/datos";
        std::optional<QSqlDatabase> db;
        std::optional<QSqlQuery> q;
        QElapsedTimer fuera;
        fuera.start();
        if (caso == "bloqueo") {
            db = QSqlDatabase::addDatabase("QSQLITE", nombre);
            db->setDatabaseName(pl.datos(a));
            QVERIFY(db->open());
            q.emplace(*db);
            QVERIFY(q->exec("BEGIN EXCLUSIVE"));
        } else {
            QVERIFY(QDir().rename(dir, dir + ".fuera"));
        }
        QElapsedTimer desdePrimera;
        for (int i = 0; i < 4; ++i) {
            envia();
            if (i == 0)
                desdePrimera.start();
        }
        // By one busy wait after the first reading of the outage (and a little), all are held,
        // none waits in memory: two values each, on port 1's counter.
        QVERIFY2(Tarda([&] { return pl.a->registrador().retenidas(1) == 8; }, 12000) >= 0,
                 qPrintable(QString::number(pl.a->registrador().retenidas(1))));
        QVERIFY2(desdePrimera.elapsed() <= 11000,
                 qPrintable(QString::number(desdePrimera.elapsed())));
        QVERIFY(pl.a->registrador().captionGra(1).contains("8 retenidas"));
        if (caso == "bloqueo") {
            QCOMPARE(pl.a->registrador().retenidas(2), 0);
            QTest::qWait(int(15000 - fuera.elapsed()));
            QVERIFY(q->exec("ROLLBACK"));
            q.reset();
            db->close();
            db.reset();
            QSqlDatabase::removeDatabase(nombre);
        } else {
            QVERIFY(QDir().rename(dir + ".fuera", dir));
        }
        envia();
        QVERIFY(Tarda([&] { return pl.filas(a) == enviadas && pl.filas(b) == enviadas; }, 40000) >=
                0);
        QVERIFY(Tarda([&] { return pl.a->registrador().retenidas(1) == 0; }, 2000) >= 0);
        QTest::qWait(200); // the last log lines
        QVERIFY(!pl.a->registrador().captionGra(1).contains("retenidas"));
        // Written late, every reading counts as recorded in the end.
        QCOMPARE(pl.a->tablas().NumGrabadas[1], double(enviadas));

        // Every row as its frame made it: N in order, the frame's time, the value and the batch.
        auto filas = [&](const QString& ctx) {
            return pl
                .valor(ctx, "select group_concat(N || '|' || Fecha || '|' || Turno || '|' || "
                            "DIAM || '|' || LOTE, ';') from (select * from Datos order by "
                            "N)")
                .split(';');
        };
        QStringList esperadas;
        static const QRegularExpression linea(
            " 01/01 (\\d{4})/(\\d\\d)/(\\d\\d) (\\S+) .* (\\S+)\\s*$");
        for (const QString& l : log1)
            if (const auto m = linea.match(l); m.hasMatch())
                esperadas << QString("%1|%2-%3-%4 %5|")
                                     .arg(esperadas.size() + 1)
                                     .arg(m.captured(1), m.captured(2), m.captured(3),
                                          m.captured(4)) +
                                 "%1|" + m.captured(5) + "|L1";
        QCOMPARE(esperadas.size(), enviadas);
        const QStringList filasA = filas(a);
        for (int i = 0; i < enviadas; ++i) {
            const QString turno = filasA.value(i).section('|', 2, 2);
            QCOMPARE(filasA.value(i), esperadas[i].arg(turno));
        }
        QCOMPARE(filasA, filas(b));

        // Said once when the holding started and once when the backlog was written; the port's
        // log shows the held readings as such.
        const QStringList textos = pl.avisos.textos();
        // (Once per data table: the data directory took both.)
        const int tablas = caso == "bloqueo" ? 1 : 2;
        QCOMPARE(textos.filter("No se puede escribir en").size(), tablas);
        QCOMPARE(
            textos.filter(QRegularExpression("Se grabaron las \\d+ lecturas retenidas de ")).size(),
            tablas);
        QVERIFY(log1.filter("Retenida DIAM = 20.0").size() >= 4);
        QCOMPARE(log1.filter("No se grabó").size(), 0);
        QCOMPARE(log1.filter("Se retienen las lecturas").size(), 1);
    }

    // The server made unreachable (every connection dropped, new ones refused) while three
    // ports send to one data table, then reachable again: through the real registration and
    // recording lanes the readings are held, then written in order, and the rows (N, Fecha,
    // values) are those of a run without the outage.
    void servidorCaidoYVuelto() {
        ORT_REQUIERE_POSTGRES(srv);
        const QString esquema =
            LeeEsquema("datos.pg.sql").replace("Datos_F1_M1_P1", "Datos_F1_TORNO1_EJE20");
        const QDateTime t0(QDate(2026, 12, 4), QTime(9, 5, 7));
        auto corre = [&](const QString& catalogo, bool caida, QStringList& dicho) {
            std::optional<Relevo> relevo;
            relevo.emplace(srv.host, srv.puerto);
            DirPrograma dir;
            Ajustes aj;
            aj.Ruta = dir.ruta();
            aj.TipoBD = kSqlServer;
            aj.ServidorBD = relevo->dataSource();
            aj.UsuarioBD = srv.usuario;
            aj.ClaveBD = srv.clave;
            aj.CatalogoBD = catalogo;
            AvisosGrabados avisos;
            AvisosEntreHilos avisosHilos(avisos);
            RelojSistema reloj;
            Entorno e{aj, avisosHilos, reloj};
            AlmacenConfig config(e);
            TablasRuntime t;
            LogPuertos log;
            GrabadorFalso sinUso;
            Registrador reg(e, t, config, sinUso, log);
            const QString base = dir.ruta() + kConfPorDefecto;
            dir.escribe(kArchivoUbicacion, base);
            QString conf =
                "INSERT INTO PUERTOS VALUES (1,'CALIB',-1),(2,'CALIB',-1),(3,'CALIB',-1);";
            for (const auto& [p, carac] : {std::pair{1, "DIAM"}, {2, "LARGO"}, {3, "TEMP"}})
                conf += Conf(p, "TORNO1", "EJE20", carac, 60);
            if (!CreaSqlite(base, {"ortconf.sqlite.sql"}, conf) || !config.IniArch())
                return QStringList{"no configuration"};
            config.IniSecue(t);
            HiloGrabacion hilo(
                [&] { return std::make_unique<GrabadorDatos>(e, Apertura::PorPasada); },
                [&](const RespuestaGrabacion& r) { reg.entregaDesdeGrabacion(r); });
            reg.fijaHiloGrabacion(&hilo);
            hilo.usaDiario(
                aj, reloj, dir.ruta() + kArchivoDiario, 1000,
                [&](int p, const QString& l, const QString& m) {
                    reg.sucesoDesdeGrabacion(p, l, m);
                },
                [&] { reg.retenidasCambiadas(); });
            hilo.inicia();
            // Three ports' readings 5 s apart, each ten in a row.
            for (int i = 0; i < 30; ++i) {
                if (caida && i == 10)
                    relevo->corta();
                if (caida && i == 20)
                    relevo->restablece();
                reg.RegistraLectura(1 + i % 3, QString("01%1").arg(10 + i), "", "", 0,
                                    t0.addSecs(5 * i));
                QTest::qWait(100);
            }
            Tarda([&] { return hilo.retenidas() == 0 && hilo.pendientes() == 0; }, 30000);
            hilo.detiene();
            QTest::qWait(100);
            dicho = avisos.textos();
            for (int p = 1; p <= 3; ++p)
                dicho += log.lineas(p);
            return FilasPg(catalogo);
        };
        QVERIFY(CreaBasePg(srv, "corridaDATA", Sentencias(esquema)));
        QVERIFY(CreaBasePg(srv, "caidaDATA", Sentencias(esquema)));
        QStringList sinCaida, conCaida;
        const QStringList esperadas = corre("corrida", false, sinCaida);
        QCOMPARE(esperadas.size(), 10);
        QVERIFY2(sinCaida.filter("Retenida").isEmpty(), qPrintable(sinCaida.join('\n')));
        QCOMPARE(corre("caida", true, conCaida), esperadas);
        QCOMPARE(conCaida.filter("No se puede escribir en").size(), 1);
        QCOMPARE(conCaida.filter("Se grabaron las").size(), 1);
        QVERIFY2(conCaida.filter("Retenida").size() >= 10, qPrintable(conCaida.join('\n')));
        QCOMPARE(conCaida.filter("No se grabó").size(), 0);
    }

    // SIGTERM while an instrument streams: ORT ends within 2 s with status 0, and every reading
    // it showed was committed.
    void sigtermDuranteUnFlujo() {
        Corrida c;
        QVERIFY(c.prepara());
        QVERIFY(c.calibre({"--rate", "25", "--values", "random:19.95,20.05"}));
        QVERIFY(c.arranca());
        QVERIFY(c.esperaFilas(5));
        QElapsedTimer t;
        t.start();
        QCOMPARE(c.termina(), 0);
        QVERIFY2(t.elapsed() <= 2000, qPrintable(QString("%1 ms").arg(t.elapsed())));
        const QString salida = QString::fromUtf8(c.ort.readAllStandardOutput());
        const int mostradas = int(salida.count(QRegularExpression("(^|\\n)01  01/01 ")));
        QCOMPARE(c.filas("DIAM is not null"), mostradas - int(salida.count("No se grabó")));
    }
};

QTEST_GUILESS_MAIN(TstHilos)
#include "tst_hilos.moc"
