// The journal of held readings and their replay: nothing lost, nothing doubled, order kept.
#include "recording/diario.h"
#include "recording/reenvio.h"
#include "support/bases.h"
#include "support/fakes.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <cstdio>

#include <sys/resource.h>
#include <thread>

using namespace ort;
using namespace ort::prueba;

namespace {

const QDateTime kInicio(QDate(2026, 12, 4), QTime(9, 5, 7));

Retenida Lectura(const QString& destino, const QString& valor, int puerto = 1, int segundo = 0,
                 const QString& carac = QStringLiteral("DIAM"), float dtmp = 60) {
    Retenida r;
    r.destino = destino;
    r.Forma = QStringLiteral("F1");
    r.Maqui = QStringLiteral("M1");
    r.Produ = QStringLiteral("P1");
    r.Carac = carac;
    r.Valor = valor;
    r.momento = kInicio.addSecs(segundo).addMSecs(250);
    r.Turno = QStringLiteral("M");
    r.Opera = QStringLiteral("OP1");
    r.DTMP = dtmp;
    r.puerto = puerto;
    r.canal = 2;
    r.secuencia = 3;
    return r;
}

QStringList Valores(const QList<Retenida>& rs) {
    QStringList v;
    for (const Retenida& r : rs)
        v << r.Valor;
    return v;
}

// Answers each write of a data table from a script of failure kinds (written when it runs out).
class EscritorFalso : public EscritorRetenidas {
public:
    ResultadoEscritura huella(const QList<Retenida>&, std::optional<HuellaTabla>& h) override {
        h = HuellaTabla{};
        return {};
    }
    ResultadoEscritura escribe(const Retenida& r) override {
        auto& s = guion[r.destino];
        const TipoFalla f = s.isEmpty() ? TipoFalla::Ninguna : s.takeFirst();
        intentos << r.destino + u':' + r.Valor;
        if (f == TipoFalla::Ninguna)
            escritas << r.destino + u':' + r.Valor;
        return {f, f == TipoFalla::Ninguna ? QString() : QStringLiteral("falla de ") + r.Valor};
    }
    ResultadoEscritura yaEscritas(const QList<Retenida>&, int& cuantas) override {
        cuantas = 0;
        return {};
    }
    QHash<QString, QList<TipoFalla>> guion;
    QStringList intentos, escritas;
};

// A journal in a temporary directory, its replayer over a scripted writer, and what it said.
struct Banco {
    QTemporaryDir tmp;
    RelojFalso reloj;
    Diario diario{tmp.path() + u'/' + kArchivoDiario};
    EscritorFalso escritor;
    QStringList dicho;
    int grabadas = 0; // held readings that reached their table
    Reenvio reenvio{
        diario, escritor, reloj,
        Reenvio::Sucesos{
            [this](const Retenida& r) { dicho << "retiene " + r.destino; },
            [this](const QString& d, qint64 n) {
                dicho << "escrito " + d + u' ' + QString::number(n);
            },
            [this](const Retenida& r, bool primera) {
                dicho << QStringLiteral("apartada %1 %2").arg(r.Valor).arg(int(primera));
            },
            [this](qint64 total, qint64 maximo, bool lleno) {
                dicho << QStringLiteral("limite %1/%2 %3").arg(total).arg(maximo).arg(int(lleno));
            },
            [this](const QList<Retenida>& rs) { grabadas += rs.size(); }}};
    Banco() {
        if (!diario.abre())
            qFatal("%s", qPrintable(diario.error()));
    }
    // Runs passes, moving the clock past each wait, until nothing is held or n passes ran.
    void reenviaTodo(int n = 50) {
        for (int i = 0; i < n; ++i) {
            const qint64 espera = reenvio.pasa();
            if (espera < 0)
                return;
            reloj.avanza(espera);
        }
    }
};

// Child mode: appends readings one at a time and prints each id once its append returned, until
// killed.
int AgregaHastaMorir(const QString& archivo) {
    Diario d(archivo);
    if (!d.abre())
        return 2;
    for (int i = 1;; ++i) {
        Retenida r = Lectura(QStringLiteral("archivo:/d/F1/M1/P1.MDB"), QString::number(i));
        if (d.agrega(r) == Diario::Admision::Rechazada)
            return 3;
        std::printf("%lld\n", static_cast<long long>(r.id));
        std::fflush(stdout);
    }
}

// The settings of the file kind with the data directory dir and three shifts.
void AjustesJet(Ajustes& a, const QString& dir) {
    a.TipoBD = kJet4;
    a.DirDatos = dir;
    a.TurnoNombre = {QString(), "M", "T", "N"};
    a.TurnoFin = {0, 1400, 2200, 2400};
    a.NumTurnos = 3;
}

// Child mode: writes a journal's backlog into the data files below dir, value by value,
// printing a line after each value written, until killed.
int ReenviaHastaMorir(const QString& archivo, const QString& dir) {
    class Contado : public EscritorDatos {
    public:
        using EscritorDatos::EscritorDatos;
        ResultadoEscritura escribe(const Retenida& r) override {
            const ResultadoEscritura res = EscritorDatos::escribe(r);
            std::printf("%s\n", qPrintable(r.Valor));
            std::fflush(stdout);
            return res;
        }
    };
    Ajustes a;
    AjustesJet(a, dir);
    RelojSistema reloj;
    Diario d(archivo);
    if (!d.abre())
        return 2;
    Contado esc(a, reloj, GrabadorDatos::Apertura::PorValor);
    Reenvio r(d, esc, reloj);
    r.fijaLote(40);
    while (r.pasa() >= 0) {
    }
    return 0;
}

// Child mode: a data file that may grow only a little (a file-size limit stands for a full
// disk); writes until a value fails and prints its number, result code, failure kind and the
// count of message boxes.
int EscribeHastaLlenar(const QString& dir) {
    std::signal(SIGXFSZ, SIG_IGN);
    Ajustes a;
    AjustesJet(a, dir);
    AvisosGrabados avisos;
    RelojSistema reloj;
    Entorno e{a, avisos, reloj};
    GrabadorDatos g(e);
    g.callaFallasPasajeras(true);
    const rlimit limite{static_cast<rlim_t>(QFileInfo(dir + "F1/M1/P1.MDB").size() + 16384),
                        RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limite);
    for (int i = 0; i < 10000; ++i)
        if (const ResultadoGrabacion c = g.GrabaMTVX("F1", "M1", "P1", "LOTE", "", "", "OP",
                                                     QString(100, u'x') + QString::number(i), 0);
            Fallo(c)) {
            std::printf("%d %d %d %lld\n", i, static_cast<int>(c),
                        static_cast<int>(g.ultimaFalla()),
                        static_cast<long long>(avisos.mensajes.size()));
            return 0;
        }
    return 1;
}

QString NombreConexion() {
    static QAtomicInteger<int> n;
    return QStringLiteral("tst-diario-%1").arg(n.fetchAndAddRelaxed(1));
}

// The data tables of the file kind (F1/M1/P1 and P2) or of the server kind, for the real writer.
struct Datos {
    QTemporaryDir tmp;
    Ajustes a;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{a, avisos, reloj};
    bool pg = false;
    std::optional<ServidorPg> srv;

    bool crea(bool postgres) {
        pg = postgres;
        AjustesJet(a, tmp.path() + QStringLiteral("/datos/"));
        if (pg) {
            srv = Postgres();
            a.TipoBD = kSqlServer;
            a.ServidorBD = srv->dataSource();
            a.UsuarioBD = srv->usuario;
            a.ClaveBD = srv->clave;
            a.CatalogoBD = QStringLiteral("diario");
            const QString esquema = LeeEsquema(QStringLiteral("datos.pg.sql"));
            return CreaBasePg(*srv, QStringLiteral("diarioDATA"),
                              Sentencias(esquema) +
                                  Sentencias(QString(esquema).replace("P1\"", "P2\"")));
        }
        QDir().mkpath(a.DirDatos + QStringLiteral("F1/M1"));
        return CreaSqlite(archivo(QStringLiteral("P1")), {QStringLiteral("datos.sqlite.sql")}) &&
               CreaSqlite(archivo(QStringLiteral("P2")), {QStringLiteral("datos.sqlite.sql")});
    }
    QString archivo(const QString& produ) const {
        return a.DirDatos + QStringLiteral("F1/M1/") + produ + QStringLiteral(".MDB");
    }
    // Every row of a product's table, in N order: N, Fecha, Turno, Operador and the values.
    QStringList filas(const QString& produ) {
        QStringList r;
        const QString nombre = NombreConexion();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(
                pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), nombre);
            if (pg) {
                db.setHostName(srv->host);
                db.setPort(srv->puerto);
                db.setUserName(srv->usuario);
                db.setPassword(srv->clave);
                db.setDatabaseName(QStringLiteral("diarioDATA"));
            } else {
                db.setDatabaseName(archivo(produ));
            }
            if (db.open()) {
                QSqlQuery q(db);
                q.exec(pg ? QStringLiteral("select * from \"Datos_F1_M1_%1\" order by n").arg(produ)
                          : QStringLiteral("select * from Datos order by N"));
                while (q.next()) {
                    QStringList f;
                    for (int i = 0; i < q.record().count(); ++i)
                        f << q.value(i).toString();
                    r << f.join(u'|');
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(nombre);
        return r;
    }
    // Readings 5 s apart: DIAM and LARGO share rows, a DIAM repeating its value opens the next
    // one, LOTE is an additional field (window 999).
    QList<Retenida> lecturas(const QString& produ, int vueltas = 1) const {
        const QString destino = ClaveDestino(a, "F1", "M1", produ);
        QList<Retenida> rs;
        const char* guion[][2] = {{"DIAM", "12.5"}, {"LARGO", "7"},   {"LOTE", "L1"},
                                  {"DIAM", "12.5"}, {"DIAM", "12.5"}, {"LARGO", "8"},
                                  {"TEMP", "abc"},  {"DIAM", "13"}};
        int s = 0;
        for (int i = 0; i < vueltas; ++i)
            for (const auto& [carac, valor] : guion) {
                Retenida r =
                    Lectura(destino, valor, 1, s += 5, carac, QString(carac) == "LOTE" ? 999 : 60);
                r.Produ = produ;
                r.Turno = BuscaTurno(a, r.momento.toString("HHmm"));
                rs << r;
            }
        return rs;
    }
    // Writes readings one by one at their own time, as an uninterrupted run does.
    void escribe(GrabadorDatos& g, const QList<Retenida>& rs) {
        for (const Retenida& r : rs) {
            reloj.fija(r.momento);
            QCOMPARE(g.GrabaMTVX(r.Forma, r.Maqui, r.Produ, r.Carac, r.Fecha, r.Hora, r.Opera,
                                 r.Valor, r.DTMP),
                     ResultadoGrabacion::Grabado);
        }
    }
};

} // namespace

class TstDiario : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QSqlDatabase::isDriverAvailable("QSQLITE")); }

    // Every field comes back after reopening; ids keep rising past removed ones; counts per port
    // are rebuilt from the file.
    void sobreviveReapertura() {
        QTemporaryDir tmp;
        const QString archivo = tmp.path() + u'/' + kArchivoDiario;
        QList<Retenida> rs{Lectura("servidor:a", "1", 3, 0), Lectura("archivo:b", "2", 5, 1),
                           Lectura("servidor:a", "3", 3, 2)};
        rs[1].Fecha = "20261203";
        rs[1].Hora = "0815";
        rs[1].campo = 2;
        qint64 ultimo = 0;
        {
            Diario d(archivo);
            QVERIFY(d.abre());
            for (Retenida& r : rs) {
                QCOMPARE(d.agrega(r), Diario::Admision::Guardada);
                QVERIFY(r.id > ultimo);
                ultimo = r.id;
            }
            Retenida extra = Lectura("servidor:a", "4");
            d.agrega(extra);
            QVERIFY(d.quita({extra.id}));
        }
        Diario d(archivo);
        QVERIFY(d.abre());
        QCOMPARE(d.total(), qint64(3));
        QCOMPARE(d.porPuerto(), (QMap<int, qint64>{{3, 2}, {5, 1}}));
        QCOMPARE(d.destinos(), (QStringList{"servidor:a", "archivo:b"}));
        const QList<Retenida> b = d.retenidas("archivo:b");
        QCOMPARE(b.size(), 1);
        const Retenida& x = b[0];
        QCOMPARE(QStringList({x.Forma, x.Maqui, x.Produ, x.Carac, x.Valor, x.Fecha, x.Hora, x.Turno,
                              x.Opera}),
                 QStringList({"F1", "M1", "P1", "DIAM", "2", "20261203", "0815", "M", "OP1"}));
        QCOMPARE(x.momento, rs[1].momento); // milliseconds kept
        QCOMPARE(QList<int>({x.puerto, x.canal, x.secuencia, x.campo}), QList<int>({5, 2, 3, 2}));
        QCOMPARE(x.DTMP, 60.0f);
        QCOMPARE(Valores(d.retenidas("servidor:a")), QStringList({"1", "3"}));
        Retenida nueva = Lectura("servidor:a", "5");
        d.agrega(nueva);
        QVERIFY(nueva.id > ultimo + 1); // the removed id is not given again
    }

    // A process killed with SIGKILL while appending: every append that returned is in the file.
    void sobreviveKill9() {
        QTemporaryDir tmp;
        const QString archivo = tmp.path() + u'/' + kArchivoDiario;
        QProcess hijo;
        hijo.start(QCoreApplication::applicationFilePath(), {"--agrega-hasta-morir", archivo});
        QVERIFY(hijo.waitForStarted());
        QByteArray salida;
        while (salida.count('\n') < 40 && hijo.waitForReadyRead(10000))
            salida += hijo.readAllStandardOutput();
        hijo.kill();
        QVERIFY(hijo.waitForFinished());
        QCOMPARE(hijo.exitStatus(), QProcess::CrashExit);
        const QList<QByteArray> dichos = salida.trimmed().split('\n');
        QVERIFY(dichos.size() >= 40);
        Diario d(archivo);
        QVERIFY(d.abre());
        QList<qint64> ids;
        for (const Retenida& r : d.retenidas("archivo:/d/F1/M1/P1.MDB"))
            ids << r.id;
        for (const QByteArray& id : dichos)
            QVERIFY2(ids.contains(id.toLongLong()), id.constData());
        QCOMPARE(d.total(), qint64(ids.size()));
    }

    // Per data table in arrival order; a table stopped by a passing failure holds up neither the
    // others nor loses its place; readings that came meanwhile go behind.
    void ordenPorDestino() {
        Banco b;
        b.escritor.guion["B"] = {TipoFalla::Pasajera};
        for (const auto& [d, v] : {std::pair{"A", "1"}, {"B", "1"}, {"A", "2"}, {"B", "2"}})
            b.reenvio.retiene(Lectura(d, v), "caída");
        QVERIFY(b.reenvio.pendiente("A") && b.reenvio.pendiente("B"));
        QVERIFY(!b.reenvio.pendiente("C"));
        QCOMPARE(b.dicho, QStringList({"retiene A", "retiene B"})); // once per outage
        b.reloj.avanza(b.reenvio.espera("A"));
        QCOMPARE(b.reenvio.pasa(), 1000); // B waits twice as long as its first wait now
        QCOMPARE(b.escritor.intentos, QStringList({"A:1", "A:2", "B:1"}));
        b.reenvio.retiene(Lectura("B", "3"), "detrás");
        b.reenviaTodo();
        QCOMPARE(b.escritor.escritas, QStringList({"A:1", "A:2", "B:1", "B:2", "B:3"}));
        QCOMPARE(b.dicho, QStringList({"retiene A", "retiene B", "escrito A 2", "escrito B 3"}));
        QCOMPARE(b.grabadas, 5);
        QCOMPARE(b.diario.total(), qint64(0));
    }

    // A lasting failure of a held reading: moved aside with its reason, the next ones written,
    // one message for the table.
    void duraderaApartada() {
        Banco b;
        b.escritor.guion["A"] = {TipoFalla::Ninguna, TipoFalla::Duradera, TipoFalla::Duradera};
        for (const char* v : {"1", "2", "3", "4"})
            b.reenvio.retiene(Lectura("A", v, 7), "caída");
        b.reenviaTodo();
        QCOMPARE(b.escritor.escritas, QStringList({"A:1", "A:4"}));
        QCOMPARE(b.dicho,
                 QStringList({"retiene A", "apartada 2 1", "apartada 3 0", "escrito A 2"}));
        QCOMPARE(b.grabadas, 2); // the ones moved aside never count as recorded
        QCOMPARE(b.diario.total(), qint64(0));
        QCOMPARE(b.diario.apartadas(), qint64(2));
        const QList<Retenida> ap = b.diario.listaApartadas();
        QCOMPARE(Valores(ap), QStringList({"2", "3"}));
        QCOMPARE(ap[0].motivo, QString("falla de 2"));
        QCOMPARE(ap[0].puerto, 7);
    }

    // Passing failures double the wait up to its bound; nothing is tried before it is due; a
    // success clears it.
    void esperaAcotada() {
        Banco b;
        b.reenvio.fijaEsperas(500, 4000);
        b.escritor.guion["A"] = QList<TipoFalla>(6, TipoFalla::Pasajera);
        b.reenvio.retiene(Lectura("A", "1"), "caída");
        QList<qint64> esperas{b.reenvio.espera("A")};
        for (int i = 0; i < 6; ++i) {
            b.reloj.avanza(esperas.back() - 1);
            QCOMPARE(b.reenvio.pasa(), 1); // not yet due
            b.reloj.avanza(1);
            b.reenvio.pasa();
            esperas << b.reenvio.espera("A");
        }
        QCOMPARE(esperas, (QList<qint64>{500, 1000, 2000, 4000, 4000, 4000, 4000}));
        QCOMPARE(b.escritor.intentos.size(), 6);
        b.reloj.avanza(4000);
        QCOMPARE(b.reenvio.pasa(), -1);
        QCOMPARE(b.escritor.escritas, QStringList({"A:1"}));
        QCOMPARE(b.reenvio.espera("A"), 0);
    }

    // Connections of several recording threads on one file, each limited to its data table: each
    // counts, lists and reads its own table's readings only, a reopened one finds its own again,
    // and the bound applies to what they hold together.
    void alcancePorTabla() {
        QTemporaryDir tmp;
        const QString archivo = tmp.path() + u'/' + kArchivoDiario;
        std::atomic<qint64> comun{0};
        Diario a(archivo), b(archivo);
        a.fijaAlcance("A", &comun);
        b.fijaAlcance("B", &comun);
        for (Diario* d : {&a, &b}) {
            d->fijaLimite(4, 3);
            QVERIFY(d->abre());
        }
        using Adm = Diario::Admision;
        Retenida r1 = Lectura("A", "1", 1), r2 = Lectura("B", "2", 2), r3 = Lectura("A", "3", 1);
        Retenida r4 = Lectura("B", "4", 2), r5 = Lectura("A", "5", 1);
        QCOMPARE(a.agrega(r1), Adm::Guardada);
        QCOMPARE(b.agrega(r2), Adm::Guardada);
        QCOMPARE(a.agrega(r3), Adm::Cerca);
        QCOMPARE(b.agrega(r4), Adm::Cerca);
        QCOMPARE(a.agrega(r5), Adm::Rechazada);
        QCOMPARE(comun.load(), qint64(4));
        QCOMPARE(a.total(), qint64(4));
        QCOMPARE(a.destinos(), QStringList{"A"});
        QCOMPARE(b.destinos(), QStringList{"B"});
        QCOMPARE(a.porPuerto(), (QMap<int, qint64>{{1, 2}}));
        QCOMPARE(b.porPuerto(), (QMap<int, qint64>{{2, 2}}));
        QVERIFY(b.quita({r2.id}));
        QCOMPARE(comun.load(), qint64(3));
        {
            std::atomic<qint64> otro{0};
            Diario a2(archivo);
            a2.fijaAlcance("A", &otro);
            QVERIFY(a2.abre());
            QCOMPARE(otro.load(), qint64(2));
            QCOMPARE(Valores(a2.retenidas("A")), QStringList({"1", "3"}));
            QCOMPARE(a2.retenidas("B").size(), 1); // read by key, never changed
        }
    }

    // Said before it refuses: the warning level once, then the refusal once; nothing is kept past
    // the bound, and the warning comes again only after the journal went below its level.
    void limite() {
        Banco b;
        b.diario.fijaLimite(4, 3);
        QList<Diario::Admision> adm;
        for (int i = 1; i <= 6; ++i)
            adm << b.reenvio.retiene(Lectura("A", QString::number(i)), "caída");
        using A = Diario::Admision;
        QCOMPARE(adm, QList<A>({A::Guardada, A::Guardada, A::Cerca, A::Cerca, A::Rechazada,
                                A::Rechazada}));
        QCOMPARE(b.diario.total(), qint64(4));
        QCOMPARE(b.dicho, QStringList({"retiene A", "limite 3/4 0", "limite 4/4 1"}));
        b.reenviaTodo();
        for (int i = 7; i <= 9; ++i)
            b.reenvio.retiene(Lectura("A", QString::number(i)), "caída");
        QCOMPARE(b.dicho.mid(3), QStringList({"escrito A 4", "retiene A", "limite 3/4 0"}));
    }

    void clasificaFalla_data() {
        QTest::addColumn<QString>("descripcion");
        QTest::addColumn<qint64>("numero");
        QTest::addColumn<bool>("pasajera");
        const qint64 g = errbd::kGeneral;
        // clang-format off
        QTest::addRow("sqlite busy") << "database is locked Unable to fetch row" << g << true;
        QTest::addRow("sqlite i/o") << "disk I/O error Unable to fetch row" << g << true;
        QTest::addRow("sqlite full") << "database or disk is full" << g << true;
        QTest::addRow("sqlite read-only") << "attempt to write a readonly database" << g << true;
        QTest::addRow("file or server gone") << "No se encuentra el archivo" << errbd::kNoEncontrada << true;
        QTest::addRow("pg connection lost") << "server closed the connection unexpectedly" << g << true;
        QTest::addRow("pg shut down") << "terminating connection due to administrator command" << g << true;
        QTest::addRow("pg starting") << "FATAL: the database system is starting up" << g << true;
        QTest::addRow("pg disk full") << "could not extend file: No space left on device" << g << true;
        QTest::addRow("sqlite column") << "no such column: NOHAY Unable to execute statement" << g << false;
        QTest::addRow("pg column") << "ERROR: column \"NOHAY\" does not exist" << g << false;
        QTest::addRow("password") << "password authentication failed" << errbd::kClave << false;
        QTest::addRow("key refused") << "La clave de formato \"../x\" no puede formar parte" << qint64(52) << false;
        // clang-format on
    }
    void clasificaFalla() {
        QFETCH(QString, descripcion);
        QFETCH(qint64, numero);
        QFETCH(bool, pasajera);
        QCOMPARE(ClasificaFalla(Falla{"QSQLITE", numero, descripcion}) == TipoFalla::Pasajera,
                 pasajera);
    }

    // The real writer's failures by kind: the data directory away is passing, a missing format
    // or column is lasting (and keeps its result code); a passing failure shows no message when
    // the caller holds the reading.
    void fallasDelGrabador() {
        Datos s;
        QVERIFY(s.crea(false));
        GrabadorDatos g(s.e);
        g.callaFallasPasajeras(true);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "NOHAY", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(g.ultimaFalla(), TipoFalla::Duradera);
        QCOMPARE(s.avisos.mensajes.size(), 1);
        QCOMPARE(g.GrabaMTVX("F9", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::FaltaFormato);
        QCOMPARE(g.ultimaFalla(), TipoFalla::Duradera);
        QCOMPARE(g.GrabaMTVX("..", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(g.ultimaFalla(), TipoFalla::Duradera);
        const QString dir = s.a.DirDatos.chopped(1);
        QVERIFY(QDir().rename(dir, dir + ".fuera"));
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::FaltaFormato);
        QCOMPARE(g.ultimaFalla(), TipoFalla::Pasajera);
        QVERIFY(QDir().rename(dir + ".fuera", dir));
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(g.ultimaFalla(), TipoFalla::Ninguna);
        // A server that does not answer (nothing listens on port 1).
        s.a.TipoBD = kSqlServer;
        s.a.ServidorBD = "127.0.0.1:1";
        s.a.CatalogoBD = "nada";
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(g.ultimaFalla(), TipoFalla::Pasajera);
        QCOMPARE(s.avisos.mensajes.size(), 2); // the column and the key, not the outages
        g.callaFallasPasajeras(false);
        g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60);
        QCOMPARE(s.avisos.mensajes.size(), 3);
    }

    // With the real writer: a held value whose column does not exist is moved aside with the
    // writer's message as its reason; the values around it are written in their row.
    void apartadaPorElGrabador() {
        Datos s;
        QVERIFY(s.crea(false));
        QTemporaryDir tmp;
        Diario d(tmp.path() + u'/' + kArchivoDiario);
        QVERIFY(d.abre());
        EscritorDatos esc(s.a, s.reloj);
        QStringList apartadas;
        Reenvio r(d, esc, s.reloj,
                  {nullptr, nullptr,
                   [&](const Retenida& x, bool) { apartadas << x.Carac + ": " + x.motivo; },
                   nullptr, nullptr});
        QList<Retenida> rs = s.lecturas("P1").mid(0, 3);
        rs[1].Carac = "NOHAY";
        d.agrega(rs);
        QCOMPARE(r.pasa(), -1);
        QCOMPARE(apartadas.size(), 1);
        QVERIFY2(apartadas[0].startsWith("NOHAY: DAM. GrabaMTVX.") &&
                     apartadas[0].contains("NOHAY"),
                 qPrintable(apartadas[0]));
        QCOMPARE(ValorSqlite(s.archivo("P1"), "select N || '/' || DIAM || '/' || LOTE from Datos"),
                 QString("1/12.5/L1"));
        QCOMPARE(d.apartadas(), qint64(1));
    }

    // A full disk (a file-size limit on the process) is a passing failure, shown on no message.
    void discoLleno() {
        Datos s;
        QVERIFY(s.crea(false));
        QProcess hijo;
        hijo.start(QCoreApplication::applicationFilePath(),
                   {"--escribe-hasta-llenar", s.a.DirDatos});
        QVERIFY(hijo.waitForFinished(60000));
        QCOMPARE(hijo.exitCode(), 0);
        const QStringList r = QString(hijo.readAllStandardOutput()).split(u' ');
        QCOMPARE(r.size(), 4);
        QVERIFY2(r[0].toInt() > 10, qPrintable(r[0])); // some values fitted first
        QCOMPARE(r.mid(1), QStringList({"6", QString::number(int(TipoFalla::Pasajera)), "0\n"}));
    }

    // ORT died with a batch being written, after k of its readings reached the table: the next
    // start writes only the others, and the table ends as an uninterrupted run leaves it. The
    // batch starts on a row that already holds a DIAM of the same value as the batch's first.
    void duplicadoTrasCaida_data() {
        QTest::addColumn<bool>("pg");
        QTest::addColumn<int>("k");
        for (bool pg : {false, true})
            for (int k : {0, 1, 2, 3, 6})
                QTest::addRow("%s, %d written", pg ? "postgres" : "sqlite", k) << pg << k;
    }
    void duplicadoTrasCaida() {
        QFETCH(bool, pg);
        QFETCH(int, k);
        if (pg && !Postgres())
            QSKIP("no PostgreSQL server (run the tests through scripts/with-postgres.sh)");
        Datos s;
        QVERIFY(s.crea(pg));
        {
            GrabadorDatos g(s.e);
            s.escribe(g, s.lecturas("P1"));
        }
        QTemporaryDir tmp;
        const QString archivo = tmp.path() + u'/' + kArchivoDiario;
        {
            Diario d(archivo);
            QVERIFY(d.abre());
            QList<Retenida> rs = s.lecturas("P2");
            {
                GrabadorDatos g(s.e);
                s.escribe(g, rs.mid(0, 2));
            }
            rs = rs.mid(2);
            d.agrega(rs);
            EscritorDatos esc(s.a, s.reloj);
            std::optional<HuellaTabla> h;
            QCOMPARE(esc.huella(rs, h).falla, TipoFalla::Ninguna);
            QList<qint64> ids;
            for (const Retenida& r : rs)
                ids << r.id;
            QVERIFY(d.marcaEnEscritura(ids, h));
            GrabadorDatos g(s.e);
            s.escribe(g, rs.mid(0, k)); // then the process dies
        }
        Diario d(archivo);
        QVERIFY(d.abre());
        EscritorDatos esc(s.a, s.reloj);
        Reenvio r(d, esc, s.reloj);
        QCOMPARE(r.pasa(), -1);
        QCOMPARE(d.total(), qint64(0));
        QCOMPARE(s.filas("P2"), s.filas("P1"));
        QCOMPARE(s.filas("P2").size(), 4);
    }

    // ORT killed with SIGKILL while it writes a backlog back, value by value: after the restart
    // nothing is lost and nothing doubled.
    void killDuranteReenvio() {
        Datos s;
        QVERIFY(s.crea(false));
        const QList<Retenida> rs = s.lecturas("P2", 60);
        {
            GrabadorDatos g(s.e);
            s.escribe(g, s.lecturas("P1", 60));
        }
        QTemporaryDir tmp;
        const QString archivo = tmp.path() + u'/' + kArchivoDiario;
        {
            Diario d(archivo);
            QVERIFY(d.abre());
            QList<Retenida> copia = rs;
            QVERIFY(d.agrega(copia) != Diario::Admision::Rechazada);
        }
        QProcess hijo;
        hijo.start(QCoreApplication::applicationFilePath(),
                   {"--reenvia-hasta-morir", archivo, s.a.DirDatos});
        QVERIFY(hijo.waitForStarted());
        QByteArray salida;
        // Killed in the middle of the third batch, values of it written.
        while (salida.count('\n') < 100 && hijo.waitForReadyRead(20000))
            salida += hijo.readAllStandardOutput();
        hijo.kill();
        QVERIFY(hijo.waitForFinished());
        QCOMPARE(hijo.exitStatus(), QProcess::CrashExit);
        const qint64 antes =
            ValorSqlite(s.archivo("P2"), "select count(*) from Datos").toLongLong();
        QVERIFY2(antes > 0 && antes < 4 * 60, qPrintable(QString::number(antes)));
        Diario d(archivo);
        QVERIFY(d.abre());
        EscritorDatos esc(s.a, s.reloj);
        Reenvio r(d, esc, s.reloj);
        QCOMPARE(r.pasa(), -1);
        QCOMPARE(d.total(), qint64(0));
        QCOMPARE(s.filas("P2"), s.filas("P1"));
    }

    // The data table out of reach for a while: a data file locked by another program for longer
    // than the busy wait, the data directory renamed away and back, the server down. The reading
    // that met the outage and those after it are held, said once, then written back; the rows
    // are those of an uninterrupted run.
    void caidaYVuelta_data() {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("motivo");
        // clang-format off
        QTest::addRow("sqlite, file locked") << "bloqueo" << "database is locked";
        QTest::addRow("sqlite, data directory away") << "carpeta" << "No se encuentra la ubicación";
        QTest::addRow("postgres, server down") << "servidor" << "Connection refused";
        // clang-format on
    }
    void caidaYVuelta() {
        QFETCH(QString, caso);
        QFETCH(QString, motivo);
        const bool pg = caso == "servidor";
        if (pg && !Postgres())
            QSKIP("no PostgreSQL server (run the tests through scripts/with-postgres.sh)");
        Datos s;
        QVERIFY(s.crea(pg));
        {
            GrabadorDatos g(s.e);
            s.escribe(g, s.lecturas("P1"));
        }
        QTemporaryDir tmp;
        Diario d(tmp.path() + u'/' + kArchivoDiario);
        QVERIFY(d.abre());
        EscritorDatos esc(s.a, s.reloj);
        QStringList dicho;
        Reenvio reenvio(d, esc, s.reloj,
                        {[&](const Retenida& r) { dicho << "retiene " + r.motivo; },
                         [&](const QString&, qint64 n) { dicho << QString("escritas %1").arg(n); },
                         nullptr, nullptr, nullptr});
        GrabadorDatos g(s.e, GrabadorDatos::Apertura::Mantenida);
        g.callaFallasPasajeras(true);
        std::atomic<bool> tomado{false}, suelta{false};
        std::thread bloqueo;
        const QString dir = s.a.DirDatos.chopped(1), servidor = s.a.ServidorBD;
        if (caso == "bloqueo") {
            bloqueo = std::thread([&] {
                {
                    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bloqueo");
                    db.setDatabaseName(s.archivo("P2"));
                    db.open();
                    QSqlQuery q(db);
                    q.exec("BEGIN EXCLUSIVE");
                    tomado = true;
                    while (!suelta)
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    q.exec("COMMIT");
                    db.close();
                }
                QSqlDatabase::removeDatabase("bloqueo");
            });
            while (!tomado)
                std::this_thread::yield();
        } else if (caso == "carpeta") {
            QVERIFY(QDir().rename(dir, dir + ".fuera"));
        } else {
            s.a.ServidorBD = "127.0.0.1:1";
        }
        const QList<Retenida> rs = s.lecturas("P2");
        for (int i = 0; i < rs.size(); ++i) {
            if (i == 3) { // the file lock has lasted one busy wait and a little more
                suelta = true;
                if (bloqueo.joinable())
                    bloqueo.join();
                if (caso == "carpeta")
                    QVERIFY(QDir().rename(dir + ".fuera", dir));
                s.a.ServidorBD = servidor;
            }
            const Retenida& r = rs[i];
            if (reenvio.pendiente(r.destino)) {
                reenvio.retiene(r, "detrás");
                continue;
            }
            s.reloj.fija(r.momento);
            const ResultadoGrabacion c = g.GrabaMTVX(r.Forma, r.Maqui, r.Produ, r.Carac, r.Fecha,
                                                     r.Hora, r.Opera, r.Valor, r.DTMP);
            if (Fallo(c)) {
                QCOMPARE(g.ultimaFalla(), TipoFalla::Pasajera);
                reenvio.retiene(r, g.detalleFalla().descripcion);
            }
        }
        QCOMPARE(d.total(), qint64(rs.size()));
        for (int i = 0; i < 3 && d.total() > 0; ++i) {
            s.reloj.avanza(reenvio.espera(rs[0].destino));
            reenvio.pasa();
        }
        QCOMPARE(d.total(), qint64(0));
        QCOMPARE(s.filas("P2"), s.filas("P1"));
        QCOMPARE(dicho.size(), 2);
        QVERIFY2(dicho[0].contains(motivo), qPrintable(dicho[0]));
        QCOMPARE(dicho[1], QString("escritas 8"));
        QVERIFY2(s.avisos.mensajes.isEmpty(), qPrintable(s.avisos.textos().join('|')));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--agrega-hasta-morir") {
        QCoreApplication app(argc, argv);
        return AgregaHastaMorir(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && QByteArray(argv[1]) == "--escribe-hasta-llenar") {
        QCoreApplication app(argc, argv);
        return EscribeHastaLlenar(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 4 && QByteArray(argv[1]) == "--reenvia-hasta-morir") {
        QCoreApplication app(argc, argv);
        return ReenviaHastaMorir(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TstDiario t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_diario.moc"
