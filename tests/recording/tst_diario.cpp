#include "recording/diario.h"
#include "recording/hilograbacion.h"
#include "recording/reenvio.h"
#include "support/banco.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <mutex>

using namespace ort;
using namespace ort::prueba;

namespace {

const QDateTime kInicio(QDate(2026, 12, 4), QTime(9, 5, 7));

Retenida lectura(const QString& destino, const QString& valor, int puerto = 1, int segundo = 0,
                 const QString& carac = "DIAM", float dtmp = 60) {
    Retenida r;
    r.destino = destino, r.Forma = "F1", r.Maqui = "M1", r.Produ = "P1", r.Carac = carac;
    r.Valor = valor, r.momento = kInicio.addSecs(segundo).addMSecs(250), r.Turno = "M";
    r.Opera = "OP1", r.DTMP = dtmp, r.puerto = puerto, r.canal = 2, r.secuencia = 3;
    return r;
}

QStringList valores(const QList<Retenida>& rs) {
    QStringList v;
    for (const Retenida& r : rs)
        v << (r.motivo.isEmpty() ? r.Valor
                                 : QString("%1 %2 %3").arg(r.Valor, r.motivo).arg(r.puerto));
    return v;
}

QList<Retenida> lecturas(const Ajustes& a, int vueltas = 1) {
    const char* guion[][2] = {{"DIAM", "12.5"}, {"LARGO", "7"}, {"LOTE", "L1"},  {"DIAM", "12.5"},
                              {"DIAM", "12.5"}, {"LARGO", "8"}, {"TEMP", "abc"}, {"DIAM", "13"}};
    QList<Retenida> rs;
    int s = 0;
    for (int i = 0; i < vueltas; ++i)
        for (const auto& [carac, valor] : guion) {
            rs << lectura(claveDestino(a, "F1", "M1", "P1"), valor, 1, s += 5, carac,
                          QString(carac) == "LOTE" ? 999 : 60);
            rs.back().Turno = BuscaTurno(a, rs.back().momento.toString("HHmm"));
        }
    return rs;
}

void escribe(Banco& b, const QList<Retenida>& rs) {
    GrabadorDatos g(b.e);
    for (const Retenida& r : rs) {
        b.reloj.fija(r.momento);
        QCOMPARE(g.GrabaMTVX(r.Forma, r.Maqui, r.Produ, r.Carac, r.Fecha, r.Hora, r.Opera, r.Valor,
                             r.DTMP),
                 ResultadoGrabacion::Grabado);
    }
}

QStringList filas(const Banco& b) {
    return Banco::muestra(b.filas("select * from \"" + b.tabla + "\" order by n"));
}

class EscritorFalso : public EscritorRetenidas {
public:
    ResultadoEscritura huella(const QList<Retenida>&, std::optional<HuellaTabla>& h) override {
        h = HuellaTabla{};
        return {};
    }
    ResultadoEscritura escribe(const Retenida& r) override {
        const TipoFalla f =
            guion[r.destino].isEmpty() ? TipoFalla::Ninguna : guion[r.destino].takeFirst();
        intentos << r.destino + u':' + r.Valor;
        if (f == TipoFalla::Ninguna)
            escritas << intentos.last();
        return {f, f == TipoFalla::Ninguna ? QString() : "falla de " + r.Valor};
    }
    ResultadoEscritura yaEscritas(const QList<Retenida>&, int& cuantas) override {
        cuantas = 0;
        return {};
    }
    QHash<QString, QList<TipoFalla>> guion;
    QStringList intentos, escritas;
};

struct Cola {
    QTemporaryDir tmp;
    RelojFalso reloj;
    Diario diario{tmp.path() + u'/' + kArchivoDiario};
    EscritorFalso escritor;
    QStringList dicho;
    int grabadas = 0; // held readings that reached their table
    Reenvio reenvio{
        diario,
        escritor,
        reloj,
        {[this](const Retenida& r) { dicho << "retiene " + r.destino; },
         [this](const QString& d, qint64 n) { dicho << QString("escrito %1 %2").arg(d).arg(n); },
         [this](const Retenida& r, bool p) {
             dicho << QString("apartada %1 %2").arg(r.Valor).arg(p);
         },
         [this](qint64 t, qint64 m, bool l) {
             dicho << QString("limite %1/%2 %3").arg(t).arg(m).arg(l);
         },
         [this](const QList<Retenida>& rs) { grabadas += rs.size(); }}};
    Cola() { QVERIFY(diario.abre()); }
    void reenviaTodo(int n = 50) {
        for (qint64 espera; n-- > 0 && (espera = reenvio.pasa()) >= 0;)
            reloj.avanza(espera);
    }
};

int reenviaHastaMorir(const QString& archivo, const QString& dir) {
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
    Banco b;
    b.ajustes.DirDatos = dir;
    RelojSistema reloj;
    Diario d(archivo);
    if (!d.abre())
        return 2;
    Contado esc(b.ajustes, reloj, GrabadorDatos::ModoEscritura::PorValor);
    Reenvio r(d, esc, reloj);
    r.fijaLote(40);
    while (r.pasa() >= 0) {
    }
    return 0;
}

QByteArray mataTras(const QStringList& argumentos, int n) {
    QProcess hijo;
    hijo.start(QCoreApplication::applicationFilePath(), argumentos);
    QByteArray salida;
    while (hijo.waitForStarted() && salida.count('\n') < n && hijo.waitForReadyRead(20000))
        salida += hijo.readAllStandardOutput();
    hijo.kill();
    hijo.waitForFinished();
    return hijo.exitStatus() == QProcess::CrashExit ? salida : QByteArray();
}

} // namespace

class TstDiario : public QObject {
    Q_OBJECT
private slots:
    // A passing failure holds up no other table; a lasting one is moved aside with its reason.
    void ordenPorDestino() {
        Cola c;
        c.escritor.guion["A"] = {TipoFalla::Ninguna, TipoFalla::Duradera, TipoFalla::Duradera};
        c.escritor.guion["B"] = {TipoFalla::Pasajera};
        for (const auto& [d, v] :
             {std::pair{"A", "1"}, {"B", "1"}, {"A", "2"}, {"B", "2"}, {"A", "3"}, {"A", "4"}})
            c.reenvio.retiene(lectura(d, v, 7), "caída");
        QVERIFY(c.reenvio.pendiente("A") && c.reenvio.pendiente("B") && !c.reenvio.pendiente("C"));
        c.reloj.avanza(c.reenvio.espera("A"));
        QVERIFY(c.reenvio.pasa() == 1000 &&
                c.escritor.intentos == QStringList({"A:1", "A:2", "A:3", "A:4", "B:1"}));
        c.reenvio.retiene(lectura("B", "3"), "detrás");
        c.reenviaTodo();
        QCOMPARE(c.escritor.escritas, QStringList({"A:1", "A:4", "B:1", "B:2", "B:3"}));
        QCOMPARE(c.dicho, QStringList({"retiene A", "retiene B", "apartada 2 1", "apartada 3 0",
                                       "escrito A 2", "escrito B 3"}));
        QVERIFY(c.grabadas == 5 && c.diario.total() == 0 && c.diario.apartadas() == 2);
        QCOMPARE(valores(c.diario.listaApartadas()),
                 QStringList({"2 falla de 2 7", "3 falla de 3 7"}));
    }

    // The wait doubles up to its bound; warning and refusal said once, again after going below.
    void esperaYLimite() {
        Cola c;
        c.reenvio.fijaEsperas(500, 4000);
        c.diario.fijaLimite(4, 3);
        c.escritor.guion["A"] = QList<TipoFalla>(6, TipoFalla::Pasajera);
        using A = Diario::Admision;
        QList<A> adm;
        for (int i = 1; i <= 6; ++i)
            adm << c.reenvio.retiene(lectura("A", QString::number(i)), "caída");
        QCOMPARE(adm, QList<A>({A::Guardada, A::Guardada, A::Cerca, A::Cerca, A::Rechazada,
                                A::Rechazada}));
        QList<qint64> esperas{c.reenvio.espera("A")};
        for (int i = 0; i < 6; ++i) {
            c.reloj.avanza(esperas.back() - 1);
            QCOMPARE(c.reenvio.pasa(), 1);
            c.reloj.avanza(1);
            c.reenvio.pasa();
            esperas << c.reenvio.espera("A");
        }
        QCOMPARE(esperas, (QList<qint64>{500, 1000, 2000, 4000, 4000, 4000, 4000}));
        c.reloj.avanza(4000);
        QVERIFY(c.escritor.intentos.size() == 6 && c.diario.total() == 4 &&
                c.reenvio.pasa() == -1 && c.reenvio.espera("A") == 0);
        for (int i = 7; i <= 9; ++i)
            c.reenvio.retiene(lectura("A", QString::number(i)), "caída");
        QCOMPARE(c.dicho, QStringList({"retiene A", "limite 3/4 0", "limite 4/4 1", "escrito A 4",
                                       "retiene A", "limite 3/4 0"}));
    }

    // Threads on one file, each limited to its table; fields and rising ids survive reopening.
    void alcancePorTabla() {
        QTemporaryDir tmp;
        const QString archivo = tmp.path() + u'/' + kArchivoDiario;
        std::atomic<qint64> comun{0}, otro{0};
        Diario a(archivo), b(archivo), a2(archivo), todo(archivo);
        a.fijaAlcance("A", &comun);
        b.fijaAlcance("B", &comun);
        for (Diario* d : {&a, &b}) {
            d->fijaLimite(4, 3);
            QVERIFY(d->abre());
        }
        using Adm = Diario::Admision;
        Retenida r[] = {lectura("A", "1", 3), lectura("B", "2", 5, 1), lectura("A", "3", 3),
                        lectura("B", "4", 5), lectura("A", "5", 3)};
        r[1].Fecha = "20261203", r[1].Hora = "0815", r[1].campo = 2;
        QCOMPARE(
            QList<Adm>(
                {a.agrega(r[0]), b.agrega(r[1]), a.agrega(r[2]), b.agrega(r[3]), a.agrega(r[4])}),
            QList<Adm>({Adm::Guardada, Adm::Guardada, Adm::Cerca, Adm::Cerca, Adm::Rechazada}));
        QVERIFY(comun == 4 && a.total() == 4 && a.porPuerto() == (QMap<int, qint64>{{3, 2}}));
        QVERIFY(a.destinos() + b.destinos() == QStringList({"A", "B"}) && r[0].id < r[1].id &&
                r[1].id < r[2].id && b.quita({r[3].id}) && comun == 3);
        a2.fijaAlcance("A", &otro);
        QVERIFY(a2.abre() && otro == 2 && todo.abre());
        QCOMPARE(valores(a2.retenidas("A")), QStringList({"1", "3"}));
        QCOMPARE(todo.porPuerto(), (QMap<int, qint64>{{3, 2}, {5, 1}}));
        QCOMPARE(todo.destinos(), (QStringList{"A", "B"}));
        const Retenida x = a2.retenidas("B").value(0);
        QCOMPARE(
            QStringList({x.Forma, x.Maqui, x.Produ, x.Carac, x.Valor, x.Fecha, x.Hora, x.Turno,
                         x.Opera, x.momento.toString("ss.zzz")}),
            QStringList({"F1", "M1", "P1", "DIAM", "2", "20261203", "0815", "M", "OP1", "08.250"}));
        QCOMPARE(QList<float>({float(x.puerto), float(x.canal + x.secuencia + x.campo), x.DTMP}),
                 QList<float>({5, 7, 60}));
        Retenida nueva = lectura("A", "6");
        QVERIFY(todo.agrega(nueva) == Adm::Guardada && nueva.id > r[3].id);
    }

    void clasificaFalla_data() {
        QTest::addColumn<QString>("descripcion");
        QTest::addColumn<qint64>("numero");
        QTest::addColumn<bool>("pasajera");
        const qint64 g = errbd::kGeneral;
        // clang-format off
        QTest::addRow("sqlite busy") << "database is locked Unable to fetch row" << g << true;
        QTest::addRow("sqlite full") << "database or disk is full" << g << true;
        QTest::addRow("file or server gone") << "No se encuentra el archivo" << errbd::kNoEncontrada << true;
        QTest::addRow("pg connection lost") << "server closed the connection unexpectedly" << g << true;
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
        QCOMPARE(ort::clasificaFalla(Falla{"QSQLITE", numero, descripcion}) == TipoFalla::Pasajera,
                 pasajera);
    }

    // The real writer: a missing format or column lasts, a folder or server away passes, unsaid.
    void fallasDelGrabador() {
        Banco b;
        QVERIFY(b.datos());
        b.grabador.callaFallasPasajeras(true);
        const QString dir = b.ajustes.DirDatos.chopped(1);
        QStringList r;
        auto graba = [&](const QString& forma, const QString& carac) {
            const int c =
                int(b.grabador.GrabaMTVX(forma, "M1", "P1", carac, "", "", "OP", "1", 60));
            r << QString("%1 %2 %3")
                     .arg(c)
                     .arg(int(b.grabador.ultimaFalla()))
                     .arg(b.avisos.mensajes.size());
        };
        graba("F1", "NOHAY"), graba("F9", "DIAM"), QDir().rename(dir, dir + ".fuera"),
            graba("F1", "DIAM");
        QDir().rename(dir + ".fuera", dir), graba("F1", "DIAM");
        b.ajustes.TipoBD = kSqlServer, b.ajustes.ServidorBD = "127.0.0.1:1", graba("F1", "DIAM");
        b.grabador.callaFallasPasajeras(false), graba("F1", "DIAM");
        // Result (error 6, no format 1), failure kind (lasting 2, passing 1), messages so far.
        QCOMPARE(r, QStringList({"6 2 1", "1 2 1", "1 1 1", "0 0 1", "6 1 1", "6 1 2"}));
    }

    // Held before the data location changed: said at start and kept, never written into the
    // table that now has their keys; those held for the table now in place are written.
    void destinoCambiado() {
        Banco b;
        QVERIFY(b.datos());
        const QString archivo = b.dir.ruta() + kArchivoDiario,
                      viejo = "archivo:/antes/F1/M1/P1.MDB";
        QList<Retenida> rs{lectura(viejo, "12.5"),
                           lectura(claveDestino(b.ajustes, "F1", "M1", "P1"), "13", 1, 5)};
        if (Diario d(archivo); !d.abre() || d.agrega(rs) != Diario::Admision::Guardada)
            QFAIL("diario");
        std::mutex m;
        QStringList dicho;
        HiloGrabacion hilo([&] { return std::make_unique<GrabadorDatos>(b.e); },
                           [](const RespuestaGrabacion&) {});
        hilo.usaDiario(
            b.ajustes, b.reloj, archivo, 1000,
            [&](int, const QString&, const QString& t) {
                std::lock_guard l(m);
                dicho << t;
            },
            [] {});
        hilo.inicia();
        QTRY_COMPARE_WITH_TIMEOUT(filas(b).size(), 1, 10000);
        hilo.detiene();
        QVERIFY(filas(b).first().contains("13"));
        Diario d(archivo);
        QVERIFY(d.abre());
        QCOMPARE(valores(d.retenidas(viejo)), QStringList{"12.5"});
        QVERIFY2(dicho.size() == 2 &&
                     dicho[0].contains("guarda 1 lecturas para /antes/F1/M1/P1.MDB"),
                 qPrintable(dicho.join('|')));
    }

    // Died mid-batch, or the table away a while: the next start writes the rest, as if unbroken.
    void recupera_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<QString>("caso");
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("motivo");
        for (const auto& [m, n] : {std::pair{Motor::Sqlite, "sqlite"}, {Motor::Postgres, "pg"}})
            for (int k : {0, 2, 6})
                QTest::addRow("%s, %d written", n, k) << m << "marcado" << k << "";
        // clang-format off
        QTest::addRow("sqlite, killed") << Motor::Sqlite << "muerto" << 0 << "";
        QTest::addRow("sqlite, file locked") << Motor::Sqlite << "bloqueo" << 0 << "database is locked";
        QTest::addRow("sqlite, data directory away") << Motor::Sqlite << "carpeta" << 0 << "No se encuentra la ubicación";
        QTest::addRow("pg, server down") << Motor::Postgres << "servidor" << 0 << "Connection refused";
        // clang-format on
    }
    void recupera() {
        QFETCH(Motor, motor);
        QFETCH(QString, caso);
        QFETCH(int, k);
        QFETCH(QString, motivo);
        ORT_BANCO(ref, motor);
        Banco b(motor);
        QVERIFY(ref.datos() && b.datos());
        const QList<Retenida> rs = lecturas(b.ajustes, caso == "muerto" ? 60 : 1);
        escribe(ref, rs);
        const QString archivo = b.dir.ruta() + kArchivoDiario;
        QStringList dicho;
        if (Diario d(archivo); !d.abre()) {
            QFAIL("diario");
        } else if (EscritorDatos esc(b.ajustes, b.reloj); caso == "marcado" || caso == "muerto") {
            const int antes = caso == "muerto" ? 0 : 2;
            escribe(b, rs.mid(0, antes));
            QList<Retenida> resto = rs.mid(antes);
            QVERIFY(d.agrega(resto) != Diario::Admision::Rechazada);
            std::optional<HuellaTabla> h;
            QList<qint64> ids;
            for (const Retenida& r : resto)
                ids << r.id;
            if (caso == "marcado") {
                QCOMPARE(esc.huella(resto, h).falla, TipoFalla::Ninguna);
                QVERIFY(d.marcaEnEscritura(ids, h));
                escribe(b, resto.mid(0, k));
            }
        } else {
            Reenvio reenvio(d, esc, b.reloj,
                            {[&](const Retenida& r) { dicho << r.motivo; }, nullptr, nullptr,
                             nullptr, nullptr});
            GrabadorDatos g(b.e, GrabadorDatos::ModoEscritura::Mantenida);
            g.callaFallasPasajeras(true);
            std::optional<Bloqueo> bloqueo;
            const QString dir = b.srv ? QString() : b.ajustes.DirDatos.chopped(1);
            const QString servidor = b.ajustes.ServidorBD;
            if (caso == "bloqueo")
                bloqueo.emplace(dir + "/F1/M1/P1.MDB", "EXCLUSIVE");
            else if (caso == "carpeta")
                QVERIFY(QDir().rename(dir, dir + ".fuera"));
            else
                b.ajustes.ServidorBD = "127.0.0.1:1";
            for (int i = 0; i < rs.size(); ++i) {
                if (i == 3) { // the lock has lasted one busy wait and a little more
                    bloqueo.reset();
                    if (caso == "carpeta")
                        QVERIFY(QDir().rename(dir + ".fuera", dir));
                    b.ajustes.ServidorBD = servidor;
                }
                const Retenida& r = rs[i];
                b.reloj.fija(r.momento);
                if (reenvio.pendiente(r.destino))
                    reenvio.retiene(r, "detrás");
                else if (fallo(g.GrabaMTVX(r.Forma, r.Maqui, r.Produ, r.Carac, r.Fecha, r.Hora,
                                           r.Opera, r.Valor, r.DTMP))) {
                    QCOMPARE(g.ultimaFalla(), TipoFalla::Pasajera);
                    reenvio.retiene(r, g.detalleFalla().descripcion);
                }
            }
            QCOMPARE(d.total(), qint64(rs.size()));
        }
        if (caso == "muerto") {
            QVERIFY(
                !mataTras({"--reenvia-hasta-morir", archivo, b.ajustes.DirDatos}, 100).isEmpty());
            QVERIFY2(filas(b).size() > 0 && filas(b).size() < 4 * 60,
                     qPrintable(QString::number(filas(b).size())));
        }
        Diario d(archivo);
        QVERIFY(d.abre());
        EscritorDatos esc(b.ajustes, b.reloj);
        Reenvio r(d, esc, b.reloj,
                  {nullptr, [&](const QString&, qint64 n) { dicho << QString::number(n); }, nullptr,
                   nullptr, nullptr});
        QCOMPARE(r.pasa(), -1);
        QCOMPARE(d.total(), qint64(0));
        QCOMPARE(filas(b), filas(ref));
        QCOMPARE(filas(b).size(), caso == "muerto" ? 4 * 60 : 4);
        if (!motivo.isEmpty())
            QVERIFY2(dicho.size() == 2 && dicho[0].contains(motivo) && dicho[1] == "8",
                     qPrintable(dicho.join('|')));
        QVERIFY2(b.avisos.mensajes.isEmpty(), qPrintable(b.avisos.textos().join('|')));
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString modo = argc > 2 ? QString(argv[1]) : QString();
    if (modo == "--reenvia-hasta-morir" && argc == 4)
        return reenviaHastaMorir(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TstDiario t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_diario.moc"
