#include "recording/grabador.h"
#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QThread>

#include <ctime>
#include <memory>

using namespace ort;
using namespace ort::prueba;

using Apertura = GrabadorDatos::Apertura;
Q_DECLARE_METATYPE(ort::GrabadorDatos::Apertura)

namespace {

// The data catalogue of the Metrovax catalogue "grabador".
const QString kCatalogo = QStringLiteral("grabador");
const QString kBaseDatos = QStringLiteral("grabadorDATA");

QString NombreConexion() {
    static QAtomicInteger<int> n;
    return QStringLiteral("tst-grabador-pg-%1").arg(n.fetchAndAddRelaxed(1));
}

// Runs statements on the data catalogue; the rows of the last one.
QList<QVariantList> Filas(const ServidorPg& s, const QStringList& sentencias,
                          QString* error = nullptr) {
    QList<QVariantList> filas;
    const QString nombre = NombreConexion();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nombre);
        db.setHostName(s.host);
        db.setPort(s.puerto);
        db.setUserName(s.usuario);
        db.setPassword(s.clave);
        db.setDatabaseName(kBaseDatos);
        if (db.open()) {
            QSqlQuery q(db);
            for (const QString& sql : sentencias) {
                if (!q.exec(sql)) {
                    if (error)
                        *error = q.lastError().text();
                    break;
                }
                filas.clear();
                while (q.next()) {
                    QVariantList f;
                    for (int i = 0; i < q.record().count(); ++i)
                        f << q.value(i);
                    filas << f;
                }
            }
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return filas;
}

// Rows as text, "-" for a null.
QStringList Muestra(const QList<QVariantList>& filas) {
    QStringList r;
    for (const auto& f : filas) {
        QStringList campos;
        for (const QVariant& v : f)
            campos << (v.isNull() ? QStringLiteral("-") : v.toString());
        r << campos.join(u' ');
    }
    return r;
}

QList<QVariantList> Filas(const ServidorPg& s, const QString& sql) {
    return Filas(s, QStringList{sql});
}

int Cuenta(const ServidorPg& s, const QString& tabla = QStringLiteral("Datos_F1_M1_P1")) {
    const auto f = Filas(s, QStringLiteral("select count(*) from \"%1\"").arg(tabla));
    return f.isEmpty() ? -1 : f[0][0].toInt();
}

// True when no transaction of ORT still holds the table: a writer's lock is granted at once.
bool LibreParaEscribir(const ServidorPg& s) {
    QString error;
    Filas(s,
          {QStringLiteral("BEGIN"),
           QStringLiteral("LOCK TABLE \"Datos_F1_M1_P1\" IN ACCESS EXCLUSIVE MODE NOWAIT"),
           QStringLiteral("ROLLBACK")},
          &error);
    return error.isEmpty();
}

// The data catalogue with the table of F1/M1/P1 built from the shipped schema, altered.
bool CreaDatos(const ServidorPg& s, const QStringList& extra = {},
               const QString& cambiaDe = QString(), const QString& cambiaA = QString()) {
    QString esquema = LeeEsquema(QStringLiteral("datos.pg.sql"));
    if (!cambiaDe.isEmpty())
        esquema.replace(cambiaDe, cambiaA);
    QString error;
    const bool ok = CreaBasePg(s, kBaseDatos, Sentencias(esquema) + extra, &error);
    if (!ok)
        qWarning() << error;
    return ok;
}

struct Escena {
    Ajustes a;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{a, avisos, reloj};

    explicit Escena(const ServidorPg& s) {
        a.TipoBD = kSqlServer;
        a.ServidorBD = s.dataSource();
        a.UsuarioBD = s.usuario;
        a.ClaveBD = s.clave;
        a.CatalogoBD = kCatalogo;
        a.TurnoNombre = {QString(), "M", "T", "N"};
        a.TurnoFin = {0, 1400, 2200, 2400};
        a.NumTurnos = 3;
    }
};

} // namespace

class TstGrabadorPg : public QObject {
    Q_OBJECT
private slots:
    // Local time away from UTC: a row's timestamp read back in the wrong zone would be hours
    // off and break every window.
    void initTestCase() {
        qputenv("TZ", "America/Mexico_City");
        tzset();
        QCOMPARE(QDateTime(QDate(2026, 12, 4), QTime(9, 5, 7)).offsetFromUtc(), -6 * 3600);
    }

    void primeraFila() {
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv));
        Escena s(srv);
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1 ", " M1", "P1  ", "DIAM", "", "", "OP1", "12.5", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(g.StrConexionDatos(), CadenaConexion(s.a, kBaseDatos));
        QCOMPARE(g.TablaDatos(), QStringLiteral("Datos_F1_M1_P1"));
        const auto f = Filas(srv, "select n, to_char(fecha, 'YYYY-MM-DD HH24:MI:SS'), turno, "
                                  "operador, \"DIAM\", \"LARGO\" from \"Datos_F1_M1_P1\"");
        QCOMPARE(f.size(), 1);
        QCOMPARE(f[0][0].toInt(), 1);
        QCOMPARE(f[0][1].toString(), QStringLiteral("2026-12-04 09:05:07"));
        QCOMPARE(f[0][2].toString(), QStringLiteral("M"));
        QCOMPARE(f[0][3].toString(), QStringLiteral("OP1"));
        QCOMPARE(f[0][4].toDouble(), 12.5);
        QVERIFY(f[0][5].isNull());
        QVERIFY(s.avisos.mensajes.isEmpty());
    }

    void ventana_data() {
        QTest::addColumn<Apertura>("apertura");
        QTest::newRow("per value") << Apertura::PorValor;
        QTest::newRow("kept open") << Apertura::Mantenida;
    }
    void ventana() {
        QFETCH(Apertura, apertura);
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv));
        Escena s(srv);
        GrabadorDatos g(s.e, apertura);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        s.reloj.avanza(5000);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "LARGO", "", "", "OP", "2", 60),
                 ResultadoGrabacion::Grabado);
        s.reloj.avanza(5000);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "3", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "LOTE", "", "", "OP", "L-4", 999),
                 ResultadoGrabacion::Grabado);
        s.reloj.avanza(61000);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "TEMP", "", "", "OP", "5", 60),
                 ResultadoGrabacion::Grabado);
        const auto f =
            Filas(srv, "select n, \"DIAM\", \"LARGO\", \"LOTE\", \"TEMP\", "
                       "to_char(fecha, 'HH24:MI:SS') from \"Datos_F1_M1_P1\" order by n");
        QCOMPARE(Muestra(f),
                 QStringList({"1 1 2 - - 09:05:07", "2 3 - L-4 - 09:05:17", "3 - - - 5 09:06:18"}));
        QVERIFY(s.avisos.mensajes.isEmpty());
    }

    void valores_data() {
        QTest::addColumn<QString>("carac");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QVariant>("esperado");
        QTest::newRow("number with unit") << "DIAM"
                                          << "12.5mm" << QVariant(12.5);
        QTest::newRow("not a number") << "DIAM"
                                      << "abc" << QVariant(0.0);
        QTest::newRow("varchar keeps the text") << "LOTE"
                                                << " 007 ab" << QVariant(" 007 ab");
        QTest::newRow("text keeps the text") << "NOTA"
                                             << "3.5 ok" << QVariant("3.5 ok");
        QTest::newRow("character column") << "CODIGO"
                                          << "A12" << QVariant("A12  ");
        QTest::newRow("integer column takes the number") << "PIEZAS"
                                                         << "7 pzas" << QVariant(7);
        QTest::newRow("numeric column takes the number") << "PESO"
                                                         << "-1.25 kg" << QVariant(-1.25);
    }
    void valores() {
        QFETCH(QString, carac);
        QFETCH(QString, valor);
        QFETCH(QVariant, esperado);
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(
            CreaDatos(srv, {"alter table \"Datos_F1_M1_P1\" add column \"NOTA\" text",
                            "alter table \"Datos_F1_M1_P1\" add column \"CODIGO\" char(5)",
                            "alter table \"Datos_F1_M1_P1\" add column \"PIEZAS\" integer",
                            "alter table \"Datos_F1_M1_P1\" add column \"PESO\" numeric(8,3)"}));
        Escena s(srv);
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", carac, "", "", "OP", valor, 60),
                 ResultadoGrabacion::Grabado);
        const auto f =
            Filas(srv, QStringLiteral("select \"%1\" from \"Datos_F1_M1_P1\"").arg(carac));
        QCOMPARE(f.size(), 1);
        if (esperado.metaType().id() == QMetaType::QString)
            QCOMPARE(f[0][0].toString(), esperado.toString());
        else
            QCOMPARE(f[0][0].toDouble(), esperado.toDouble());
    }

    void fechaInstrumento() {
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv));
        Escena s(srv);
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "20250102", "2215", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Muestra(Filas(srv, "select to_char(fecha, 'YYYYMMDD-HH24:MI:SS'), turno from "
                                    "\"Datos_F1_M1_P1\"")),
                 QStringList{"20250102-22:15:00 N"});
    }

    // Failures in the database work: code 6 with the message, nothing written, no
    // connection and no lock left behind.
    void fallasDeBase_data() {
        QTest::addColumn<Apertura>("apertura");
        QTest::addColumn<QString>("produ");
        QTest::addColumn<QString>("carac");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("enMensaje");
        for (const auto& [ap, nombre] : {std::pair{Apertura::PorValor, "per value"},
                                         std::pair{Apertura::Mantenida, "kept open"}}) {
            QTest::addRow("%s: no column of that name", nombre) << ap << "P1"
                                                                << "NOEXISTE"
                                                                << "1"
                                                                << "NOEXISTE";
            QTest::addRow("%s: no table of the context", nombre) << ap << "P9"
                                                                 << "DIAM"
                                                                 << "1"
                                                                 << "Datos_F1_M1_P9";
            QTest::addRow("%s: text longer than its column", nombre)
                << ap << "P1"
                << "LOTE" << QString(30, u'x') << "QPSQL";
        }
    }
    void fallasDeBase() {
        QFETCH(Apertura, apertura);
        QFETCH(QString, produ);
        QFETCH(QString, carac);
        QFETCH(QString, valor);
        QFETCH(QString, enMensaje);
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv));
        Escena s(srv);
        const QStringList nombres = QSqlDatabase::connectionNames();
        GrabadorDatos g(s.e, apertura);
        QCOMPARE(g.GrabaMTVX("F1", "M1", produ, carac, "", "", "OP", valor, 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(s.avisos.mensajes.size(), 1);
        const auto& m = s.avisos.mensajes[0];
        QCOMPARE(m.icono, Avisos::Icono::Critico);
        QVERIFY2(m.texto.startsWith("DAM. GrabaMTVX.\nQPSQL\n"), qPrintable(m.texto));
        QVERIFY2(m.texto.contains(enMensaje), qPrintable(m.texto));
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
        QVERIFY(LibreParaEscribir(srv));
        QCOMPARE(Cuenta(srv), 0);
        // The next value goes through.
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Cuenta(srv), 1);
    }

    // Names that cannot be quoted never reach the server: the password here is wrong, and a
    // connection attempt would have asked for another one.
    void nombresRechazados_data() {
        QTest::addColumn<QString>("forma");
        QTest::addColumn<QString>("carac");
        QTest::addColumn<QString>("enMensaje");
        QTest::newRow("characteristic with a quotation mark") << "F1"
                                                              << "DIAM\" text, \"x"
                                                              << "DIAM\" text, \"x";
        QTest::newRow("characteristic with a bracket") << "F1"
                                                       << "[DIAM]"
                                                       << "[DIAM]";
        QTest::newRow("table name with a quotation mark") << "F\"1"
                                                          << "DIAM"
                                                          << "Datos_F\"1_M1_P1";
        QTest::newRow("table name too long") << QString(60, u'F') << "DIAM" << QString(60, u'F');
    }
    void nombresRechazados() {
        QFETCH(QString, forma);
        QFETCH(QString, carac);
        QFETCH(QString, enMensaje);
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv));
        Escena s(srv);
        s.a.ClaveBD = QStringLiteral("no-es-la-clave");
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX(forma, "M1", "P1", carac, "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QVERIFY(s.avisos.prompts.isEmpty());
        QCOMPARE(s.avisos.mensajes.size(), 1);
        QVERIFY2(s.avisos.mensajes[0].texto.startsWith("DAM. GrabaMTVX.\nORT\n"),
                 qPrintable(s.avisos.mensajes[0].texto));
        QVERIFY2(s.avisos.mensajes[0].texto.contains(enMensaje),
                 qPrintable(s.avisos.mensajes[0].texto));
    }

    // A refused login: the password prompt is cancelled, and the value fails with code 6.
    void sinConexion() {
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv));
        Escena s(srv);
        s.a.ClaveBD = QStringLiteral("no-es-la-clave");
        const QStringList nombres = QSqlDatabase::connectionNames();
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(s.avisos.prompts.size(), 1);
        QCOMPARE(s.avisos.mensajes.size(), 1);
        QCOMPARE(s.avisos.mensajes[0].icono, Avisos::Icono::Critico);
        QVERIFY(s.avisos.mensajes[0].texto.startsWith("DAM. GrabaMTVX.\n"));
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
        QCOMPARE(Cuenta(srv), 0);
    }

    // Two writers of one table, each value a new row; the table has no key on n, so a number
    // taken twice would show.
    void dosEscritores_data() {
        QTest::addColumn<Apertura>("apertura");
        QTest::newRow("per value") << Apertura::PorValor;
        QTest::newRow("kept open") << Apertura::Mantenida;
    }
    void dosEscritores() {
        QFETCH(Apertura, apertura);
        ORT_REQUIERE_POSTGRES(srv);
        QVERIFY(CreaDatos(srv, {}, "n INTEGER PRIMARY KEY", "n INTEGER"));
        Escena s(srv);
        constexpr int kPorEscritor = 80;
        QList<ResultadoGrabacion> codigos[2];
        QStringList mensajes[2];
        auto escritor = [&](int k) {
            Ajustes a = s.a;
            AvisosGrabados avisos;
            RelojFalso reloj;
            Entorno e{a, avisos, reloj};
            GrabadorDatos g(e, apertura);
            for (int i = 0; i < kPorEscritor; ++i)
                codigos[k] << g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP",
                                          QString::number(k * 1000 + i), 60);
            mensajes[k] = avisos.textos();
        };
        std::unique_ptr<QThread> hilos[2] = {
            std::unique_ptr<QThread>(QThread::create(escritor, 0)),
            std::unique_ptr<QThread>(QThread::create(escritor, 1))};
        for (auto& h : hilos)
            h->start();
        for (auto& h : hilos)
            QVERIFY(h->wait(120000));
        for (int k = 0; k < 2; ++k) {
            // The only message: the table has no index on n, said once.
            QCOMPARE(mensajes[k].size(), 1);
            QVERIFY(mensajes[k][0].contains("no tiene índice en N"));
            QCOMPARE(codigos[k],
                     QList<ResultadoGrabacion>(kPorEscritor, ResultadoGrabacion::Grabado));
        }
        const auto f = Filas(srv, "select count(*), count(distinct n), min(n), max(n), "
                                  "count(distinct \"DIAM\") from \"Datos_F1_M1_P1\"");
        QCOMPARE(f[0], (QVariantList{2 * kPorEscritor, 2 * kPorEscritor, 1, 2 * kPorEscritor,
                                     2 * kPorEscritor}));
    }
};

QTEST_GUILESS_MAIN(TstGrabadorPg)
#include "tst_grabador_pg.moc"
