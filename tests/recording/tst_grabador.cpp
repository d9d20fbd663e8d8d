#include "support/banco.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTest>
#include <QThread>

#include <ctime>
#include <memory>

using namespace ort;
using namespace ort::prueba;

using ModoEscritura = GrabadorDatos::ModoEscritura;
Q_DECLARE_METATYPE(ort::GrabadorDatos::ModoEscritura)
using R = ort::ResultadoGrabacion;

namespace {

template <class T> T d(const char* n) {
    return *static_cast<T*>(QTest::qData(n, qMetaTypeId<T>()));
}
template <class T> void columnas(std::initializer_list<const char*> ns) {
    for (const char* n : ns)
        QTest::addColumn<T>(n);
}

const std::pair<Motor, const char*> kMotores[] = {{Motor::Sqlite, "sqlite"},
                                                  {Motor::Postgres, "pg"}};
void motores() {
    QTest::addColumn<Motor>("motor");
    for (const auto& [m, n] : kMotores)
        QTest::addRow("%s", n) << m;
}

QMap<QString, QByteArray> arbol(const QString& dir) {
    QMap<QString, QByteArray> r;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        f.open(QIODevice::ReadOnly);
        r.insert(f.fileName(), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
    }
    return r;
}

ResultadoGrabacion graba(Banco& b, const QString& carac, const QString& valor, float dtmp = 60,
                         const QString& fecha = {}, const QString& hora = {},
                         const QString& produ = "P1", const QString& forma = "F1",
                         const QString& maqui = "M1") {
    return b.grabador.GrabaMTVX(forma, maqui, produ, carac, fecha, hora, "OP", valor, dtmp);
}

int cuenta(const Banco& b, const QString& donde = "1=1") {
    const auto f = b.filas(QString("select count(*) from \"%1\" where %2").arg(b.tabla, donde));
    return f.isEmpty() ? -1 : f[0][0].toInt();
}

// The last message is a critical one of the writer; rx matches what follows its source.
bool critico(const Banco& b, const QString& rx) {
    const auto& m = b.avisos.mensajes;
    const QRegularExpression e("^DAM. GrabaMTVX.\n" + rx,
                               QRegularExpression::DotMatchesEverythingOption);
    return (!m.isEmpty() && m.last().icono == Avisos::Icono::Critico &&
            m.last().texto.contains(e)) ||
           (qWarning() << b.avisos.textos(), false);
}

void basura(const QString& archivo) {
    QFile f(archivo);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(4096, 'x'));
}

} // namespace

class TstGrabador : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "America/Mexico_City");
        tzset();
    }

    // One value in a fresh table: the row it makes, or ! and what the message names.
    void fila_data() {
        QTest::addColumn<Motor>("motor");
        columnas<QString>({"carac", "valor", "fecha", "hora", "fila"});
        for (const auto& [m, n] : kMotores) {
            // clang-format off
            QTest::addRow("%s: present", n) << m << "DIAM" << "12.5" << "" << "" << "1 2026-12-04 09:05:07 M OP 12.5";
            QTest::addRow("%s: date and time", n) << m << "DIAM" << "12.5" << "20250102" << "2215" << "1 2025-01-02 22:15:00 N OP 12.5";
            QTest::addRow("%s: time only", n) << m << "DIAM" << "12.5" << "" << "1400" << "1 2026-12-04 14:00:00 T OP 12.5";
            QTest::addRow("%s: blank-padded hour", n) << m << "DIAM" << "12.5" << "20250102" << " 905" << "1 2025-01-02 09:05:00 M OP 12.5";
            QTest::addRow("%s: blanks", n) << m << "DIAM" << "12.5" << "        " << "    " << "1 2026-12-04 09:05:07 M OP 12.5";
            QTest::addRow("%s: number with unit", n) << m << "DIAM" << "12.5mm" << "" << "" << "1 2026-12-04 09:05:07 M OP 12.5";
            QTest::addRow("%s: not a number", n) << m << "DIAM" << "abc" << "" << "" << "1 2026-12-04 09:05:07 M OP 0";
            QTest::addRow("%s: blanks, sign, exponent", n) << m << "DIAM" << "  -3.5e1 x" << "" << "" << "1 2026-12-04 09:05:07 M OP -35";
            QTest::addRow("%s: text keeps the text", n) << m << "LOTE" << " 007 ab" << "" << "" << "1 2026-12-04 09:05:07 M OP  007 ab";
            QTest::addRow("%s: other text column", n) << m << "NOTA" << "3.5 ok" << "" << "" << "1 2026-12-04 09:05:07 M OP 3.5 ok";
            QTest::addRow("%s: integer takes the number", n) << m << "PIEZAS" << "7 pzas" << "" << "" << "1 2026-12-04 09:05:07 M OP 7";
            // clang-format on
        }
        // clang-format off
        QTest::addRow("month 13") << Motor::Sqlite << "DIAM" << "12.5" << "20261304" << "" << "!20261304";
        QTest::addRow("30 February") << Motor::Sqlite << "DIAM" << "12.5" << "20260230" << "1000" << "!20260230";
        QTest::addRow("hour 24") << Motor::Sqlite << "DIAM" << "12.5" << "" << "2460" << "!2460";
        QTest::addRow("minute 60") << Motor::Sqlite << "DIAM" << "12.5" << "20261204" << "1260" << "!1260";
        QTest::addRow("sqlite: fixed-size text") << Motor::Sqlite << "CODIGO" << "A12" << "" << "" << "1 2026-12-04 09:05:07 M OP A12";
        QTest::addRow("sqlite: no type takes the number") << Motor::Sqlite << "LIBRE" << "4.25x" << "" << "" << "1 2026-12-04 09:05:07 M OP 4.25";
        QTest::addRow("pg: fixed-size text") << Motor::Postgres << "CODIGO" << "A12" << "" << "" << "1 2026-12-04 09:05:07 M OP A12  ";
        QTest::addRow("pg: numeric takes the number") << Motor::Postgres << "LIBRE" << "-1.25 kg" << "" << "" << "1 2026-12-04 09:05:07 M OP -1.25";
        // clang-format on
    }
    void fila() {
        const QString carac = d<QString>("carac"), valor = d<QString>("valor"),
                      fecha = d<QString>("fecha"), hora = d<QString>("hora"),
                      fila = d<QString>("fila");
        ORT_BANCO(b, d<Motor>("motor"));
        const QString alter = "alter table \"" + b.tabla + "\" add column ";
        QVERIFY(b.datos({alter + "\"CODIGO\" char(5)", alter + "\"PIEZAS\" integer",
                         alter + (b.srv ? "\"NOTA\" text" : "\"NOTA\" nvarchar(10)"),
                         alter + (b.srv ? "\"LIBRE\" numeric(8,3)" : "\"LIBRE\"")}));
        const bool error = fila.startsWith('!');
        QCOMPARE(graba(b, carac, valor, 60, fecha, hora, "P1   ", " F1  ", "M1 "),
                 error ? R::Error : R::Grabado);
        QCOMPARE(b.avisos.mensajes.size(), error ? 1 : 0);
        if (error)
            QVERIFY(critico(b, "ORT\n13\\.- .*\"" + QRegularExpression::escape(fila.mid(1)) + '"'));
        const auto filas = b.filas(
            QString("select n, fecha, turno, operador, \"%1\" from \"%2\"").arg(carac, b.tabla));
        QCOMPARE(Banco::muestra(filas), error ? QStringList() : QStringList{fila});
    }

    void ventana_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<ModoEscritura>("apertura");
        columnas<QString>({"pasos", "filas"});
        for (const auto& [m, n] : kMotores) {
            // clang-format off
            QTest::addRow("%s: A, B share a row, A opens the next", n) << m << ModoEscritura::PorValor << "0 DIAM 60;5 LARGO 60;5 DIAM 60" << "1,1,2";
            QTest::addRow("%s: 61 s later opens a row", n) << m << ModoEscritura::PorValor << "0 DIAM 60;61 LARGO 60" << "1,2";
            QTest::addRow("%s: exactly the window joins", n) << m << ModoEscritura::PorValor << "0 DIAM 60;60 LARGO 60" << "1,1";
            QTest::addRow("%s: additional fields join", n) << m << ModoEscritura::Mantenida << "0 DIAM 60;0 TEMP 999;0 LOTE 999;61 TEMP 60" << "1,1,1,2";
            QTest::addRow("%s: age counts from the row", n) << m << ModoEscritura::PorValor << "0 DIAM 60;40 LARGO 60;40 TEMP 60" << "1,1,2";
            QTest::addRow("%s: only the newest row", n) << m << ModoEscritura::PorValor << "0 DIAM 60;5 DIAM 60;5 LARGO 60" << "1,2,2";
            // clang-format on
        }
    }
    void ventana() {
        const ModoEscritura apertura = d<ModoEscritura>("apertura");
        const QString pasos = d<QString>("pasos"), filas = d<QString>("filas");
        ORT_BANCO(b, d<Motor>("motor"));
        QVERIFY(b.datos());
        b.grabador.fijaModo(apertura);
        const QStringList lista = pasos.split(u';');
        QStringList donde;
        for (int i = 0; i < lista.size(); ++i) {
            const QStringList p = lista[i].split(u' ');
            b.reloj.avanza(p[0].toLongLong() * 1000);
            QCOMPARE(graba(b, p[1], QString::number(i + 1), p[2].toFloat()), R::Grabado);
        }
        for (int i = 0; i < lista.size(); ++i)
            donde << Banco::muestra(
                         b.filas(QString("select n from \"%1\" where cast(\"%2\" as real) = %3")
                                     .arg(b.tabla, lista[i].section(u' ', 1, 1))
                                     .arg(i + 1)))
                         .join('?');
        QCOMPARE(donde.join(u','), filas);
        QCOMPARE(cuenta(b), filas.section(u',', -1).toInt());
        QVERIFY(b.avisos.mensajes.isEmpty());
    }

    void filaMasReciente_data() { motores(); }
    void filaMasReciente() {
        ORT_BANCO(b, d<Motor>("motor"));
        QVERIFY(b.datos(
            {"insert into \"" + b.tabla + "\" (n, fecha) values (3, '2026-12-04 09:05:00')",
             "insert into \"" + b.tabla + "\" (n, fecha) values (7, '2026-12-04 09:00:00')"}));
        QCOMPARE(graba(b, "DIAM", "1", 999), R::Grabado);
        QCOMPARE(graba(b, "LARGO", "2", 60, "20261204", "0805"), R::Grabado);
        QCOMPARE(graba(b, "TEMP", "3", 60, "20261204", "0805"), R::Grabado);
        QCOMPARE(graba(b, "LOTE", "4", 7200, "20261204", "0805"), R::Grabado);
        QCOMPARE(
            Banco::muestra(b.filas("select n, \"DIAM\", \"LARGO\", \"TEMP\", \"LOTE\" from \"" +
                                   b.tabla + "\" order by n")),
            QStringList({"3 - - - -", "7 1 - - -", "8 - 2 - -", "9 - - 3 4"}));
    }

    // Where a value goes: its data file (0), none (1 to 3), or refused (6) touching nothing; the
    // path the writer found or searched (0 to 3), or what the message names (6).
    void ubicacion_data() {
        QTest::addColumn<Motor>("motor");
        columnas<QString>({"forma", "maqui", "produ", "carac"});
        QTest::addColumn<int>("codigo");
        QTest::addColumn<QString>("dicho");
        // clang-format off
        QTest::addRow("the context's file") << Motor::Sqlite << "F1" << "M1" << "P1" << "DIAM" << 0 << "F1/M1/P1.MDB";
        QTest::addRow("no format directory") << Motor::Sqlite << "F9" << "M1" << "P1" << "DIAM" << 1 << "F9";
        QTest::addRow("no machine directory") << Motor::Sqlite << "F1" << "M9" << "P1" << "DIAM" << 2 << "F1/M9";
        QTest::addRow("no product file") << Motor::Sqlite << "F1" << "M1" << "P9" << "DIAM" << 3 << "F1/M1/P9.MDB";
        QTest::addRow("format names a file") << Motor::Sqlite << "FX" << "M1" << "P1" << "DIAM" << 2 << "FX/M1";
        QTest::addRow("product names a directory") << Motor::Sqlite << "F1" << "M1" << "P3" << "DIAM" << 3 << "F1/M1/P3.MDB";
        QTest::addRow("another letter case") << Motor::Sqlite << "F2" << "M2" << "P2" << "DIAM" << 0 << "f2/m2/p2.mdb";
        QTest::addRow("another letter case, no product") << Motor::Sqlite << "F2" << "M2" << "P9" << "DIAM" << 3 << "f2/m2/P9.MDB";
        QTest::addRow("format ..") << Motor::Sqlite << ".." << "M1" << "P1" << "DIAM" << 6 << "formato \"..\"";
        QTest::addRow("empty machine") << Motor::Sqlite << "F1" << "   " << "P1" << "DIAM" << 6 << "máquina \"\"";
        QTest::addRow("product climbs") << Motor::Sqlite << "F1" << "M1" << "../../../P1" << "DIAM" << 6 << "producto \"../../../P1\"";
        QTest::addRow("control character") << Motor::Sqlite << "F1" << "M\t1" << "P1" << "DIAM" << 6 << "máquina \"M\t1\"";
        QTest::addRow("pg: table name with a quotation mark") << Motor::Postgres << "F\"1" << "M1" << "P1" << "DIAM" << 6 << "Datos_F\"1_M1_P1";
        QTest::addRow("pg: table name too long") << Motor::Postgres << QString(60, u'F') << "M1" << "P1" << "DIAM" << 6 << QString(60, u'F');
        // clang-format on
        for (const auto& [m, n] : kMotores) {
            // clang-format off
            QTest::addRow("%s: quotation mark", n) << m << "F1" << "M1" << "P1" << "DI\"AM" << 6 << "\"DI\"AM\"";
            QTest::addRow("%s: injection", n) << m << "F1" << "M1" << "P1" << "DIAM] from Datos; drop table Datos; --" << 6 << "drop table";
            QTest::addRow("%s: empty", n) << m << "F1" << "M1" << "P1" << "" << 6 << "\"\"";
            // clang-format on
        }
    }
    void ubicacion() {
        const QString forma = d<QString>("forma"), maqui = d<QString>("maqui"),
                      produ = d<QString>("produ"), carac = d<QString>("carac"),
                      dicho = d<QString>("dicho");
        const int codigo = d<int>("codigo");
        ORT_BANCO(b, d<Motor>("motor"));
        QVERIFY(b.datos());
        b.dir.escribe("datos/FX", QByteArray());
        QVERIFY(QDir().mkpath(b.ajustes.DirDatos + "F1/M1/P3.MDB"));
        // Other data files, some where a key that climbs would land.
        for (const QString c :
             {"datos/F1/M1/.P2.MDB", "datos/f2/m2/p2.mdb", "M1/P1.MDB", "P1.MDB", "datos/P1.MDB",
              "datos/F1/P1.MDB", "datos/F1/M1/..\\P1.MDB", "datos/F1/M1/M1/P1.MDB"}) {
            b.dir.escribe(c, QByteArray());
            QVERIFY(creaSqlite(b.dir.ruta() + c, {"datos.sqlite.sql"}));
        }
        if (codigo == 6) { // opening anything would fail or ask for the password
            b.ajustes.ClaveBD = "no-es-la-clave";
            if (!b.srv)
                basura(b.ajustes.DirDatos + "F1/M1/P1.MDB");
        }
        const auto antes = arbol(b.dir.ruta());
        const QStringList nombres = QSqlDatabase::connectionNames();
        QCOMPARE(graba(b, carac, "1", 60, {}, {}, produ, forma, maqui), R(codigo));
        QCOMPARE(b.avisos.mensajes.size() + b.avisos.prompts.size(), codigo == 6 ? 1 : 0);
        QCOMPARE(arbol(b.dir.ruta()) == antes, codigo != 0);
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
        // The data file as found, or the path searched up to the part missing.
        if (codigo <= 3)
            QCOMPARE(b.grabador.rutaBuscada(), b.ajustes.DirDatos + dicho);
        if (codigo == 0)
            QCOMPARE(valorSqlite(b.ajustes.DirDatos + dicho, "select count(*) from Datos"), "1");
        if (codigo == 6)
            QVERIFY(critico(b, "ORT\n.*" + QRegularExpression::escape(dicho)));
    }

    void fallasDeBase_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<ModoEscritura>("apertura");
        columnas<QString>({"caso", "enMensaje"});
        for (const auto& [m, n] : kMotores)
            for (const auto& [ap, a] : {std::pair{ModoEscritura::PorValor, "per value"},
                                        std::pair{ModoEscritura::Mantenida, "kept open"}}) {
                // clang-format off
                QTest::addRow("%s, %s: no such column", n, a) << m << ap << "columna" << "NOEXISTE";
                if (ap == ModoEscritura::PorValor) QTest::addRow("%s: no table", n) << m << ap << "tabla" << (m == Motor::Postgres ? "Datos_F1_M1_P9" : "Datos");
                // clang-format on
            }
        // clang-format off
        QTest::addRow("sqlite: newest row without N") << Motor::Sqlite << ModoEscritura::PorValor << "nulo" << "(N)";
        QTest::addRow("sqlite: not a database") << Motor::Sqlite << ModoEscritura::PorValor << "basura" << "";
        QTest::addRow("sqlite: not a database, kept open") << Motor::Sqlite << ModoEscritura::Mantenida << "basura" << "";
        QTest::addRow("pg: text too long") << Motor::Postgres << ModoEscritura::PorValor << "largo" << "QPSQL";
        QTest::addRow("pg: password refused") << Motor::Postgres << ModoEscritura::PorValor << "clave" << "QPSQL";
        // clang-format on
    }
    void fallasDeBase() {
        const ModoEscritura apertura = d<ModoEscritura>("apertura");
        const QString caso = d<QString>("caso"), enMensaje = d<QString>("enMensaje");
        ORT_BANCO(b, d<Motor>("motor"));
        const QString archivo = b.ajustes.DirDatos + "F1/M1/P1.MDB";
        const QString clave = b.ajustes.ClaveBD;
        QVERIFY(caso == "nulo"
                    ? b.datos({"insert into Datos (N, Fecha) values (NULL, '2026-12-04')"},
                              "N INTEGER PRIMARY KEY", "N INTEGER")
                    : b.datos());
        if (caso == "tabla" && !b.srv)
            QVERIFY(creaSqlite(archivo, {}, "create table Otra (N INTEGER)"));
        if (caso == "basura")
            basura(archivo);
        if (caso == "clave")
            b.ajustes.ClaveBD = "no-es-la-clave";
        const int filas = cuenta(b);
        const QStringList nombres = QSqlDatabase::connectionNames();
        b.grabador.fijaModo(apertura);
        const QString carac = caso == "columna" ? "NOEXISTE" : caso == "largo" ? "LOTE" : "DIAM";
        QCOMPARE(graba(b, carac, caso == "largo" ? QString(30, u'x') : "1", 60, {}, {},
                       caso == "tabla" && b.srv ? "P9" : "P1"),
                 R::Error);
        QCOMPARE(b.avisos.prompts.size(), caso == "clave" ? 1 : 0);
        QVERIFY(critico(b, "[^\n]*\n-?\\d+\\.- .*" + QRegularExpression::escape(enMensaje)));
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
        if (caso != "basura" && caso != "tabla") {
            QVERIFY(b.libre());
            QCOMPARE(cuenta(b), filas);
        }
        b.ajustes.ClaveBD = clave;
        if (!b.srv)
            QVERIFY(QFile::remove(archivo) && b.datos());
        b.avisos.mensajes.clear();
        QCOMPARE(graba(b, "DIAM", "1"), R::Grabado);
        QCOMPARE(cuenta(b, "\"DIAM\" = 1"), 1);
    }

    // Per value nothing stays open; kept, one connection per data file, no transaction between.
    void conexiones() {
        Banco b;
        const QString p2 = b.ajustes.DirDatos + "F1/M1/P2.MDB";
        QVERIFY(b.datos() && creaSqlite(p2, {"datos.sqlite.sql"}));
        const qsizetype antes = QSqlDatabase::connectionNames().size();
        QList<qsizetype> abiertas;
        auto graba = [&](ModoEscritura ap, const QString& carac, const QString& v,
                         const QString& produ) {
            b.grabador.fijaModo(ap);
            if (!carac.isEmpty())
                QCOMPARE(::graba(b, carac, v, 60, {}, {}, produ), R::Grabado);
            QVERIFY(b.libre());
            abiertas << QSqlDatabase::connectionNames().size() - antes;
        };
        graba(ModoEscritura::PorValor, "DIAM", "1", "P1");
        graba(ModoEscritura::Mantenida, "LARGO", "2", "P1");
        graba(ModoEscritura::Mantenida, "TEMP", "4", "P2");
        QCOMPARE(b.grabador.StrConexionDatos(), CadenaConexion(b.ajustes, p2));
        graba(ModoEscritura::PorValor, "", "", "");
        graba(ModoEscritura::Mantenida, "LOTE", "L5", "P1");
        graba(ModoEscritura::PorValor, "", "", "");
        QCOMPARE(abiertas, (QList<qsizetype>{0, 1, 2, 0, 1, 0}));
        QCOMPARE(Banco::muestra(b.filas("select N, DIAM, LARGO, LOTE from Datos")),
                 QStringList{"1 1 2 L5"});
        QCOMPARE(valorSqlite(p2, "select N || ' ' || TEMP from Datos"), "1 4.0");
        QVERIFY(b.avisos.mensajes.isEmpty());
    }

    void dosEscritores_data() { motores(); }
    void dosEscritores() {
        ORT_BANCO(b, d<Motor>("motor"));
        QVERIFY(b.datos({}, "n INTEGER PRIMARY KEY", "n INTEGER"));
        QStringList dicho[2];
        auto escritor = [&](int k) {
            Ajustes a = b.ajustes;
            AvisosGrabados avisos;
            RelojFalso reloj;
            Entorno e{a, avisos, reloj};
            GrabadorDatos g(e, k ? ModoEscritura::Mantenida : ModoEscritura::PorValor);
            for (int i = 0; i < 80; ++i)
                if (fallo(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP",
                                      QString::number(k * 1000 + i), 60)))
                    dicho[k] << "falla";
            dicho[k] += avisos.textos();
        };
        std::unique_ptr<QThread> h0(QThread::create(escritor, 0)), h1(QThread::create(escritor, 1));
        h0->start(), h1->start();
        QVERIFY(h0->wait(120000) && h1->wait(120000));
        // The only message: the table has no index on N, said once by each.
        for (const QStringList& d : dicho)
            QVERIFY2(d.size() == 1 && d[0].contains("no tiene índice en N"),
                     qPrintable(d.join('|')));
        QCOMPARE(b.filas("select count(*), count(distinct n), min(n), max(n), count(distinct "
                         "\"DIAM\") from \"" +
                         b.tabla + '"'),
                 (QList<QVariantList>{{160, 160, 1, 160, 160}}));
    }
};

QTEST_GUILESS_MAIN(TstGrabador)
#include "tst_grabador.moc"
