#include "recording/grabador.h"
#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using namespace ort;
using namespace ort::prueba;

using Apertura = GrabadorDatos::Apertura;
Q_DECLARE_METATYPE(ort::GrabadorDatos::Apertura)

namespace {

QString NombreConexion() {
    static QAtomicInteger<int> n;
    return QStringLiteral("tst-grabador-%1").arg(n.fetchAndAddRelaxed(1));
}

// Every row of a statement on a SQLite file.
QList<QVariantList> Filas(const QString& archivo, const QString& sql) {
    QList<QVariantList> filas;
    const QString nombre = NombreConexion();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(archivo);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql))
                while (q.next()) {
                    QVariantList f;
                    for (int i = 0; i < q.record().count(); ++i)
                        f << q.value(i);
                    filas << f;
                }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return filas;
}

int Cuenta(const QString& archivo,
           const QString& sql = QStringLiteral("select count(*) from Datos")) {
    const auto f = Filas(archivo, sql);
    return f.isEmpty() ? -1 : f[0][0].toInt();
}

// True when nobody holds a lock or an open transaction on the file: an exclusive transaction
// starts at once, without waiting.
bool LibreParaEscribir(const QString& archivo) {
    const QString nombre = NombreConexion();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(archivo);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("BEGIN EXCLUSIVE"));
            if (ok)
                q.exec(QStringLiteral("ROLLBACK"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return ok;
}

// "M=1400,T=2200,N=2400": shifts in file order with their end times.
void FijaTurnos(Ajustes& a, const QString& lista) {
    a.TurnoNombre = {QString()};
    a.TurnoFin = {0};
    for (const QString& t : lista.split(u',', Qt::SkipEmptyParts)) {
        a.TurnoNombre << t.section(u'=', 0, 0);
        a.TurnoFin << static_cast<qint16>(t.section(u'=', 1).toInt());
    }
    a.NumTurnos = static_cast<qint16>(a.TurnoNombre.size() - 1);
}

// Every file below a directory with a digest of its contents.
QMap<QString, QByteArray> Arbol(const QString& dir) {
    QMap<QString, QByteArray> r;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        QFile f(p);
        f.open(QIODevice::ReadOnly);
        r.insert(p, QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
    }
    return r;
}

// A data directory with the table of F1/M1/P1, at 9:05:07 on 4 December 2026, three shifts.
struct Escena {
    QTemporaryDir tmp;
    Ajustes a;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{a, avisos, reloj};
    QString archivo;

    Escena() {
        a.TipoBD = kJet4;
        a.DirDatos = tmp.path() + QStringLiteral("/datos/");
        FijaTurnos(a, QStringLiteral("M=1400,T=2200,N=2400"));
        archivo = creaDatos(QStringLiteral("F1/M1/P1.MDB"));
    }
    QString ruta(const QString& relativa) const { return a.DirDatos + relativa; }
    // A data file below DirDatos built from the shipped schema, with its statements altered.
    QString creaDatos(const QString& relativa, const QString& extra = QString(),
                      const QString& cambiaDe = QString(), const QString& cambiaA = QString()) {
        const QString p = ruta(relativa);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QString esquema = LeeEsquema(QStringLiteral("datos.sqlite.sql"));
        if (!cambiaDe.isEmpty())
            esquema.replace(cambiaDe, cambiaA);
        QFile::remove(p);
        QString error;
        if (!EjecutaScript(p, esquema + extra, &error))
            qWarning() << p << error;
        return p;
    }
};

} // namespace

class TstGrabador : public QObject {
    Q_OBJECT
private slots:
    void buscaTurno_data() {
        QTest::addColumn<QString>("turnos");
        QTest::addColumn<QString>("hhnn");
        QTest::addColumn<QString>("esperado");
        const QString tres = QStringLiteral("M=1400,T=2200,N=2400");
        QTest::newRow("morning") << tres << "0930"
                                 << "M";
        QTest::newRow("a shift ends before its end time") << tres << "1400"
                                                          << "T";
        QTest::newRow("night") << tres << "2215"
                               << "N";
        QTest::newRow("midnight") << tres << "0000"
                                  << "M";
        QTest::newRow("last minute of the day") << tres << "2359"
                                                << "N";
        QTest::newRow("last shift ending 2359") << "M=1400,T=2200,N=2359"
                                                << "2359"
                                                << " ";
        QTest::newRow("no shifts") << ""
                                   << "0930"
                                   << " ";
        QTest::newRow("first fitting shift in file order") << "A=0800,B=2400,C=1000"
                                                           << "0900"
                                                           << "B";
    }
    void buscaTurno() {
        QFETCH(QString, turnos);
        QFETCH(QString, hhnn);
        QFETCH(QString, esperado);
        Ajustes a;
        FijaTurnos(a, turnos);
        QCOMPARE(BuscaTurno(a, hhnn), esperado);
    }

    void primeraFila() {
        Escena s;
        GrabadorDatos g(s.e);
        // Keys come padded from the configuration.
        QCOMPARE(g.GrabaMTVX(" F1  ", "M1 ", "P1   ", "DIAM", "", "", "OP1", "12.5", 60),
                 ResultadoGrabacion::Grabado);
        const auto f = Filas(s.archivo, "select N, Fecha, Turno, Operador, DIAM, LARGO from Datos");
        QCOMPARE(f.size(), 1);
        QCOMPARE(f[0][0].toInt(), 1);
        QCOMPARE(f[0][1].toString(), QStringLiteral("2026-12-04 09:05:07"));
        QCOMPARE(f[0][2].toString(), QStringLiteral("M"));
        QCOMPARE(f[0][3].toString(), QStringLiteral("OP1"));
        QCOMPARE(f[0][4].toDouble(), 12.5);
        QVERIFY(f[0][5].isNull());
        QCOMPARE(g.StrConexionDatos(), CadenaConexion(s.a, s.archivo));
        QCOMPARE(g.TablaDatos(), QStringLiteral("Datos"));
        QVERIFY(s.avisos.mensajes.isEmpty());
    }

    // Steps "seconds characteristic window"; each step writes its own number, and the row
    // expected to hold it is listed in order.
    void ventana_data() {
        QTest::addColumn<QString>("pasos");
        QTest::addColumn<QString>("filas");
        QTest::newRow("A and B 5 s apart share a row, A again opens the next")
            << "0 DIAM 60;5 LARGO 60;5 DIAM 60"
            << "1,1,2";
        QTest::newRow("61 s later opens a row although the column is empty")
            << "0 DIAM 60;61 LARGO 60"
            << "1,2";
        QTest::newRow("exactly the window still joins") << "0 DIAM 60;60 LARGO 60"
                                                        << "1,1";
        QTest::newRow("additional fields join the row just written")
            << "0 DIAM 60;0 TEMP 999;0 LOTE 999"
            << "1,1,1";
        QTest::newRow("age counts from the row, not from its latest value")
            << "0 DIAM 60;40 LARGO 60;40 TEMP 60"
            << "1,1,2";
        QTest::newRow("only the newest row is looked at") << "0 DIAM 60;5 DIAM 60;5 LARGO 60"
                                                          << "1,2,2";
        QTest::newRow("each reading brings its own window") << "0 DIAM 60;100 LARGO 999;100 TEMP 60"
                                                            << "1,1,2";
    }
    void ventana() {
        QFETCH(QString, pasos);
        QFETCH(QString, filas);
        Escena s;
        GrabadorDatos g(s.e);
        const QStringList lista = pasos.split(u';');
        const QStringList esperadas = filas.split(u',');
        for (int i = 0; i < lista.size(); ++i) {
            const QStringList p = lista[i].split(u' ');
            s.reloj.avanza(p[0].toLongLong() * 1000);
            QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", p[1], "", "", "OP", QString::number(i + 1),
                                 p[2].toFloat()),
                     ResultadoGrabacion::Grabado);
        }
        for (int i = 0; i < lista.size(); ++i) {
            const QString carac = lista[i].split(u' ')[1];
            const auto f = Filas(s.archivo, QStringLiteral("select N from Datos where %1 = '%2' or "
                                                           "%1 = %2")
                                                .arg(carac)
                                                .arg(i + 1));
            QCOMPARE(f.size(), 1);
            QCOMPARE(f[0][0].toString(), esperadas[i]);
        }
        QCOMPARE(Cuenta(s.archivo), esperadas.last().toInt());
        QVERIFY(s.avisos.mensajes.isEmpty());
    }

    // Only the row with the highest N counts, whatever its date; the next row is numbered
    // above it.
    void filaMasReciente() {
        Escena s;
        s.creaDatos("F1/M1/P1.MDB",
                    "insert into Datos (N, Fecha) values (3, '2026-12-04 09:05:00');"
                    "insert into Datos (N, Fecha) values (7, '2026-12-04 09:00:00');");
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 999),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Cuenta(s.archivo, "select N from Datos where DIAM = 1"), 7);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "LARGO", "", "", "OP", "2", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Cuenta(s.archivo, "select N from Datos where LARGO = 2"), 8);
        QCOMPARE(Cuenta(s.archivo), 3);
    }

    void valores_data() {
        QTest::addColumn<QString>("carac");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<bool>("esTexto");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("number with unit") << "DIAM"
                                          << "12.5mm" << false << "12.5";
        QTest::newRow("not a number") << "DIAM"
                                      << "abc" << false << "0";
        QTest::newRow("blanks, sign, exponent") << "DIAM"
                                                << "  -3.5e1 x" << false << "-35";
        QTest::newRow("text column keeps the text") << "LOTE"
                                                    << "L-0012 ab" << true << "L-0012 ab";
        QTest::newRow("text column keeps leading zeros and blanks") << "LOTE"
                                                                    << " 007 " << true << " 007 ";
        QTest::newRow("fixed-size text column") << "CODIGO"
                                                << "A12" << true << "A12";
        QTest::newRow("nvarchar column") << "NOTA"
                                         << "3.5 ok" << true << "3.5 ok";
        QTest::newRow("integer column takes the number") << "PIEZAS"
                                                         << "7 pzas" << false << "7";
        QTest::newRow("column without a type takes the number") << "LIBRE"
                                                                << "4.25x" << false << "4.25";
    }
    void valores() {
        QFETCH(QString, carac);
        QFETCH(QString, valor);
        QFETCH(bool, esTexto);
        QFETCH(QString, esperado);
        Escena s;
        s.creaDatos("F1/M1/P1.MDB", "alter table Datos add column CODIGO CHAR(5);"
                                    "alter table Datos add column NOTA NVARCHAR(10);"
                                    "alter table Datos add column PIEZAS INTEGER;"
                                    "alter table Datos add column LIBRE;");
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", carac, "", "", "OP", valor, 60),
                 ResultadoGrabacion::Grabado);
        const auto f =
            Filas(s.archivo, QStringLiteral("select typeof(%1), %1 from Datos").arg(carac));
        QCOMPARE(f.size(), 1);
        QCOMPARE(f[0][0].toString() == QStringLiteral("text"), esTexto);
        if (esTexto)
            QCOMPARE(f[0][1].toString(), esperado);
        else
            QCOMPARE(f[0][1].toDouble(), esperado.toDouble());
    }

    void sinTurnos() {
        Escena s;
        FijaTurnos(s.a, QString());
        QCOMPARE(s.a.NumTurnos, qint16(0));
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Filas(s.archivo, "select Turno from Datos")[0][0].toString(), QStringLiteral(" "));
    }

    void fechaInstrumento_data() {
        QTest::addColumn<QString>("fecha");
        QTest::addColumn<QString>("hora");
        QTest::addColumn<QString>("fechaFila");
        QTest::addColumn<QString>("turno");
        QTest::newRow("date and time") << "20250102"
                                       << "2215"
                                       << "2025-01-02 22:15:00"
                                       << "N";
        QTest::newRow("date only keeps the present time") << "20250102"
                                                          << ""
                                                          << "2025-01-02 09:05:07"
                                                          << "M";
        QTest::newRow("time only keeps today") << ""
                                               << "1400"
                                               << "2026-12-04 14:00:00"
                                               << "T";
        QTest::newRow("blank-padded hour") << "20250102"
                                           << " 905"
                                           << "2025-01-02 09:05:00"
                                           << "M";
        QTest::newRow("leap day at midnight") << "20240229"
                                              << "0000"
                                              << "2024-02-29 00:00:00"
                                              << "M";
        QTest::newRow("blank texts are no date") << "        "
                                                 << "    "
                                                 << "2026-12-04 09:05:07"
                                                 << "M";
    }
    void fechaInstrumento() {
        QFETCH(QString, fecha);
        QFETCH(QString, hora);
        QFETCH(QString, fechaFila);
        QFETCH(QString, turno);
        Escena s;
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", fecha, hora, "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        const auto f = Filas(s.archivo, "select Fecha, Turno from Datos");
        QCOMPARE(f.size(), 1);
        QCOMPARE(f[0][0].toString(), fechaFila);
        QCOMPARE(f[0][1].toString(), turno);
    }

    // The age of the newest row counts from the present, even when the instrument dates its
    // readings: a reading stamped an hour ago does not join that row.
    void edadDesdeElPresente() {
        Escena s;
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "20261204", "0805", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "LARGO", "20261204", "0805", "OP", "2", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Cuenta(s.archivo), 2);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "TEMP", "20261204", "0805", "OP", "3", 7200),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Cuenta(s.archivo), 2);
    }

    void fechaInvalida_data() {
        QTest::addColumn<QString>("fecha");
        QTest::addColumn<QString>("hora");
        QTest::addColumn<QString>("nombrada"); // the text the message names
        QTest::newRow("month 13") << "20261304" << QString() << "20261304";
        QTest::newRow("seven digits") << "2026124" << QString() << "2026124";
        QTest::newRow("letters") << "abcdefgh" << QString() << "abcdefgh";
        QTest::newRow("30 February") << "20260230"
                                     << "1000"
                                     << "20260230";
        QTest::newRow("hour 24") << QString() << "2460"
                                 << "2460";
        QTest::newRow("minute 60") << "20261204"
                                   << "1260"
                                   << "1260";
        QTest::newRow("letter in the time") << QString() << "12h5"
                                            << "12h5";
    }
    void fechaInvalida() {
        QFETCH(QString, fecha);
        QFETCH(QString, hora);
        QFETCH(QString, nombrada);
        Escena s;
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", fecha, hora, "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(s.avisos.mensajes.size(), 1);
        const auto& m = s.avisos.mensajes[0];
        QCOMPARE(m.icono, Avisos::Icono::Critico);
        QVERIFY2(m.texto.startsWith("DAM. GrabaMTVX.\nORT\n13.- "), qPrintable(m.texto));
        QVERIFY2(m.texto.contains(u'"' + nombrada + u'"'), qPrintable(m.texto));
        QCOMPARE(Cuenta(s.archivo), 0);
    }

    void ubicacion_data() {
        QTest::addColumn<QString>("forma");
        QTest::addColumn<QString>("maqui");
        QTest::addColumn<QString>("produ");
        QTest::addColumn<int>("codigo");
        QTest::addColumn<QString>("archivo"); // below DirDatos, the file written
        QTest::newRow("the context's file") << "F1"
                                            << "M1"
                                            << "P1" << 0 << "F1/M1/P1.MDB";
        QTest::newRow("no format directory") << "F9"
                                             << "M1"
                                             << "P1" << 1 << "";
        QTest::newRow("no machine directory") << "F1"
                                              << "M9"
                                              << "P1" << 2 << "";
        QTest::newRow("no product file") << "F1"
                                         << "M1"
                                         << "P9" << 3 << "";
        QTest::newRow("format names a file") << "FX"
                                             << "M1"
                                             << "P1" << 2 << "";
        QTest::newRow("hidden product file") << "F1"
                                             << "M1"
                                             << ".P2" << 3 << "";
        QTest::newRow("product names a directory") << "F1"
                                                   << "M1"
                                                   << "P3" << 3 << "";
        QTest::newRow("names copied in another letter case") << "F2"
                                                             << "M2"
                                                             << "P2" << 0 << "f2/m2/p2.mdb";
    }
    void ubicacion() {
        QFETCH(QString, forma);
        QFETCH(QString, maqui);
        QFETCH(QString, produ);
        QFETCH(int, codigo);
        QFETCH(QString, archivo);
        Escena s;
        QFile fx(s.ruta("FX"));
        QVERIFY(fx.open(QIODevice::WriteOnly));
        fx.close();
        const QString oculto = s.creaDatos("F1/M1/.P2.MDB");
        QVERIFY(QDir().mkpath(s.ruta("F1/M1/P3.MDB")));
        s.creaDatos("f2/m2/p2.mdb");
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX(forma, maqui, produ, "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion(codigo));
        QVERIFY(s.avisos.mensajes.isEmpty());
        if (!archivo.isEmpty())
            QCOMPARE(Cuenta(s.ruta(archivo)), 1);
        else
            QCOMPARE(Cuenta(s.archivo) + Cuenta(oculto), 0);
    }

    void clavesDeRuta_data() {
        QTest::addColumn<QString>("forma");
        QTest::addColumn<QString>("maqui");
        QTest::addColumn<QString>("produ");
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<QString>("clave");
        QTest::newRow("format ..") << ".."
                                   << "M1"
                                   << "P1"
                                   << "formato"
                                   << "..";
        QTest::newRow("format .") << " . "
                                  << "F1"
                                  << "P1"
                                  << "formato"
                                  << ".";
        QTest::newRow("machine ..") << "F1"
                                    << ".."
                                    << "P1"
                                    << "máquina"
                                    << "..";
        QTest::newRow("empty machine") << "F1"
                                       << "   "
                                       << "P1"
                                       << "máquina"
                                       << "";
        QTest::newRow("product climbs") << "F1"
                                        << "M1"
                                        << "../P1"
                                        << "producto"
                                        << "../P1";
        QTest::newRow("product climbs out of DirDatos") << "F1"
                                                        << "M1"
                                                        << "../../../P1"
                                                        << "producto"
                                                        << "../../../P1";
        QTest::newRow("absolute product") << "F1"
                                          << "M1"
                                          << "/tmp/P1"
                                          << "producto"
                                          << "/tmp/P1";
        QTest::newRow("backslash") << "F1"
                                   << "M1"
                                   << "..\\P1"
                                   << "producto"
                                   << "..\\P1";
        QTest::newRow("format with a slash") << "F1/M1"
                                             << "M1"
                                             << "P1"
                                             << "formato"
                                             << "F1/M1";
        QTest::newRow("colon") << "F1"
                               << "M1"
                               << "P:1"
                               << "producto"
                               << "P:1";
        QTest::newRow("asterisk") << "F*"
                                  << "M1"
                                  << "P1"
                                  << "formato"
                                  << "F*";
        QTest::newRow("question mark") << "F1"
                                       << "M?"
                                       << "P1"
                                       << "máquina"
                                       << "M?";
        QTest::newRow("quotation mark") << "F1"
                                        << "M1"
                                        << "P\"1"
                                        << "producto"
                                        << "P\"1";
        QTest::newRow("angle brackets and bar") << "F1"
                                                << "M<|>"
                                                << "P1"
                                                << "máquina"
                                                << "M<|>";
        QTest::newRow("control character") << "F1"
                                           << "M\t1"
                                           << "P1"
                                           << "máquina"
                                           << "M\t1";
    }
    void clavesDeRuta() {
        QFETCH(QString, forma);
        QFETCH(QString, maqui);
        QFETCH(QString, produ);
        QFETCH(QString, nombre);
        QFETCH(QString, clave);
        Escena s;
        // Decoys where a key that climbs would land.
        const QStringList cebos = {s.tmp.path() + "/M1/P1.MDB",     s.tmp.path() + "/P1.MDB",
                                   s.creaDatos("P1.MDB"),           s.creaDatos("F1/P1.MDB"),
                                   s.creaDatos("F1/M1/..\\P1.MDB"), s.creaDatos("F1/M1/M1/P1.MDB")};
        for (int i = 0; i < 2; ++i) {
            QDir().mkpath(QFileInfo(cebos[i]).absolutePath());
            QVERIFY(CreaSqlite(cebos[i], {QStringLiteral("datos.sqlite.sql")}));
        }
        const auto antes = Arbol(s.tmp.path());
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX(forma, maqui, produ, "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(s.avisos.mensajes.size(), 1);
        const auto& m = s.avisos.mensajes[0];
        QCOMPARE(m.icono, Avisos::Icono::Critico);
        QVERIFY2(m.texto.startsWith("DAM. GrabaMTVX.\nORT\n52.- "), qPrintable(m.texto));
        QVERIFY2(m.texto.contains(nombre + " \"" + clave + "\""), qPrintable(m.texto));
        QCOMPARE(Arbol(s.tmp.path()), antes);
        for (const QString& c : cebos + QStringList{s.archivo})
            QCOMPARE(Cuenta(c), 0);
    }

    // A name that cannot be quoted never reaches the database: the file here is not even a
    // database, and opening it would have been reported and repaired.
    void caracRechazada_data() {
        QTest::addColumn<QString>("carac");
        QTest::newRow("quotation mark") << "DI\"AM";
        QTest::newRow("brackets") << "[DIAM]";
        QTest::newRow("closing bracket") << "DIAM] from Datos; drop table Datos; --";
        QTest::newRow("empty") << "";
        QTest::newRow("leading blank") << " DIAM";
        QTest::newRow("line feed") << "DIAM\n";
    }
    void caracRechazada() {
        QFETCH(QString, carac);
        Escena s;
        QFile f(s.archivo);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(4096, 'x'));
        f.close();
        const auto antes = Arbol(s.tmp.path());
        const QStringList nombres = QSqlDatabase::connectionNames();
        GrabadorDatos g(s.e);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", carac, "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QCOMPARE(s.avisos.mensajes.size(), 1);
        QCOMPARE(s.avisos.mensajes[0].icono, Avisos::Icono::Critico);
        QVERIFY(s.avisos.mensajes[0].texto.startsWith("DAM. GrabaMTVX.\nORT\n"));
        QVERIFY(s.avisos.mensajes[0].texto.contains(u'"' + carac + u'"'));
        QCOMPARE(Arbol(s.tmp.path()), antes);
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
    }

    // Failures in the database work: code 6, the message, nothing written, and nothing left
    // open or locked, with either way of opening.
    void fallasDeBase_data() {
        QTest::addColumn<Apertura>("apertura");
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("enMensaje");
        for (const auto& [ap, nombre] : {std::pair{Apertura::PorValor, "per value"},
                                         std::pair{Apertura::Mantenida, "kept open"}}) {
            QTest::addRow("%s: no column of that name", nombre) << ap << "columna"
                                                                << "NOEXISTE";
            QTest::addRow("%s: no table Datos", nombre) << ap << "tabla"
                                                        << "Datos";
            QTest::addRow("%s: newest row without N", nombre) << ap << "nulo"
                                                              << "(N)";
            QTest::addRow("%s: file is not a database", nombre) << ap << "basura"
                                                                << "";
        }
    }
    void fallasDeBase() {
        QFETCH(Apertura, apertura);
        QFETCH(QString, caso);
        QFETCH(QString, enMensaje);
        Escena s;
        QString carac = QStringLiteral("DIAM");
        if (caso == "columna")
            carac = QStringLiteral("NOEXISTE");
        else if (caso == "tabla")
            QVERIFY(CreaSqlite(s.archivo, {}, "create table Otra (N INTEGER)"));
        else if (caso == "nulo")
            s.creaDatos("F1/M1/P1.MDB", "insert into Datos (N, Fecha) values (NULL, '2026-12-04');",
                        "N INTEGER PRIMARY KEY", "N INTEGER");
        else if (caso == "basura") {
            QFile f(s.archivo);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(4096, 'x'));
        }
        const int filas = Cuenta(s.archivo);
        const QStringList nombres = QSqlDatabase::connectionNames();
        GrabadorDatos g(s.e, apertura);
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", carac, "", "", "OP", "1", 60),
                 ResultadoGrabacion::Error);
        QVERIFY(!s.avisos.mensajes.isEmpty());
        const auto& m = s.avisos.mensajes.last();
        QCOMPARE(m.icono, Avisos::Icono::Critico);
        QVERIFY2(m.texto.startsWith("DAM. GrabaMTVX.\n"), qPrintable(m.texto));
        QVERIFY2(m.texto.contains(enMensaje), qPrintable(m.texto));
        // Source, number and description on their lines.
        QVERIFY2(m.texto.split(u'\n').size() >= 3 && m.texto.split(u'\n')[2].contains(".- "),
                 qPrintable(m.texto));
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
        if (caso != "basura")
            QVERIFY(LibreParaEscribir(s.archivo));
        if (caso == "columna" || caso == "nulo")
            QCOMPARE(Cuenta(s.archivo), filas);
        // The file can be replaced and written at once.
        QVERIFY(QFile::remove(s.archivo));
        s.creaDatos("F1/M1/P1.MDB");
        s.avisos.mensajes.clear();
        QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                 ResultadoGrabacion::Grabado);
        QCOMPARE(Cuenta(s.archivo), 1);
    }

    void conexiones() {
        Escena s;
        const QString otro = s.creaDatos("F1/M1/P2.MDB");
        const QStringList nombres = QSqlDatabase::connectionNames();
        {
            GrabadorDatos g(s.e);
            QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP", "1", 60),
                     ResultadoGrabacion::Grabado);
            QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "LARGO", "", "", "OP", "2", 60),
                     ResultadoGrabacion::Grabado);
            QCOMPARE(QSqlDatabase::connectionNames(), nombres);
            QVERIFY(LibreParaEscribir(s.archivo));

            g.fijaApertura(Apertura::Mantenida);
            QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "TEMP", "", "", "OP", "3", 60),
                     ResultadoGrabacion::Grabado);
            QCOMPARE(QSqlDatabase::connectionNames().size(), nombres.size() + 1);
            // Between values no transaction is held.
            QVERIFY(LibreParaEscribir(s.archivo));
            // A connection of its own for each data file.
            QCOMPARE(g.GrabaMTVX("F1", "M1", "P2", "TEMP", "", "", "OP", "4", 60),
                     ResultadoGrabacion::Grabado);
            QCOMPARE(QSqlDatabase::connectionNames().size(), nombres.size() + 2);
            QCOMPARE(g.StrConexionDatos(), CadenaConexion(s.a, otro));
            g.fijaApertura(Apertura::PorValor);
            QCOMPARE(QSqlDatabase::connectionNames(), nombres);
            g.fijaApertura(Apertura::Mantenida);
            QCOMPARE(g.GrabaMTVX("F1", "M1", "P1", "LOTE", "", "", "OP", "L5", 60),
                     ResultadoGrabacion::Grabado);
        }
        QCOMPARE(QSqlDatabase::connectionNames(), nombres);
        QCOMPARE(Filas(s.archivo, "select N, DIAM, LARGO, TEMP, LOTE from Datos"),
                 (QList<QVariantList>{{1, 1.0, 2.0, 3.0, QStringLiteral("L5")}}));
        QCOMPARE(Filas(otro, "select N, TEMP from Datos"), (QList<QVariantList>{{1, 4.0}}));
        QVERIFY(s.avisos.mensajes.isEmpty());
    }

    // Two writers of one table, each value a new row: every row gets its own N. The table has
    // no key on N, so a number taken twice would show.
    void dosEscritores_data() {
        QTest::addColumn<Apertura>("apertura");
        QTest::newRow("per value") << Apertura::PorValor;
        QTest::newRow("kept open") << Apertura::Mantenida;
    }
    void dosEscritores() {
        QFETCH(Apertura, apertura);
        Escena s;
        s.creaDatos("F1/M1/P1.MDB", {}, "N INTEGER PRIMARY KEY", "N INTEGER");
        constexpr int kPorEscritor = 150;
        QList<ResultadoGrabacion> codigos[2];
        int mensajes[2] = {0, 0};
        auto escritor = [&](int k) {
            Ajustes a = s.a;
            AvisosGrabados avisos;
            RelojFalso reloj;
            Entorno e{a, avisos, reloj};
            GrabadorDatos g(e, apertura);
            for (int i = 0; i < kPorEscritor; ++i)
                codigos[k] << g.GrabaMTVX("F1", "M1", "P1", "DIAM", "", "", "OP",
                                          QString::number(k * 1000 + i), 60);
            // The only message: the table has no index on N, said once.
            for (const auto& m : avisos.mensajes)
                mensajes[k] += m.texto.contains("no tiene índice en N") ? 1 : 100;
        };
        std::unique_ptr<QThread> hilos[2] = {
            std::unique_ptr<QThread>(QThread::create(escritor, 0)),
            std::unique_ptr<QThread>(QThread::create(escritor, 1))};
        for (auto& h : hilos)
            h->start();
        for (auto& h : hilos)
            QVERIFY(h->wait(120000));
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(codigos[k],
                     QList<ResultadoGrabacion>(kPorEscritor, ResultadoGrabacion::Grabado));
            QCOMPARE(mensajes[k], 1);
        }
        const auto f = Filas(s.archivo, "select count(*), count(distinct N), min(N), max(N), "
                                        "count(distinct DIAM) from Datos");
        QCOMPARE(f[0], (QVariantList{2 * kPorEscritor, 2 * kPorEscritor, 1, 2 * kPorEscritor,
                                     2 * kPorEscritor}));
    }
};

QTEST_GUILESS_MAIN(TstGrabador)
#include "tst_grabador.moc"
