#include "support/banco.h"
#include "support/costuras.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

Q_DECLARE_METATYPE(ort::Comprobacion)

using namespace ort;
using namespace ort::prueba;

namespace {

void creaConIndice(const QString& archivo) {
    QVERIFY(ejecutaScript(
        archivo, "PRAGMA page_size=1024; CREATE TABLE T (A INTEGER PRIMARY KEY, B TEXT, C TEXT "
                 "UNIQUE); CREATE INDEX IB ON T(B); WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL "
                 "SELECT x+1 FROM n WHERE x<2000) INSERT INTO T SELECT x, printf('valor-%06d', x),"
                 " printf('clave-%06d', x) FROM n;"));
}

void danaIndice(const QString& archivo, const QString& indice) {
    const int pagina =
        valorSqlite(archivo, "select rootpage from sqlite_master where name='" + indice + "'")
            .toInt();
    QVERIFY(pagina > 1);
    QFile f(archivo);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek(qint64(pagina - 1) * 1024);
    f.write(QByteArray(1024, '\x5a'));
}

} // namespace

class TstConexion : public QObject {
    Q_OBJECT
private slots:
    void pasaClaveNueva_data() {
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("fuente"); // data source of the string that was opened
        QTest::addColumn<QString>("claveMtvx");
        QTest::addColumn<bool>("cambia");
        // clang-format off
        QTest::addRow("server: Metrovax") << kSqlServer << "MTVX" << "vieja" << true;
        QTest::addRow("server: data") << kSqlServer << "MTVXDATA" << "vieja" << true;
        QTest::addRow("file: data") << kJet4 << "/d/F1/M/P.MDB" << "vieja" << true;
        QTest::addRow("other password") << kSqlServer << "MTVXDATA" << "otra" << false;
        QTest::addRow("unknown kind") << "[ACCESS]" << "MTVX" << "vieja" << false;
        // clang-format on
    }
    void pasaClaveNueva() {
        QFETCH(QString, tipo);
        QFETCH(QString, fuente);
        QFETCH(QString, claveMtvx);
        QFETCH(bool, cambia);
        Ajustes a;
        a.TipoBD = tipo;
        a.ServidorBD = "srv";
        a.UsuarioBD = "u";
        a.ClaveBD = claveMtvx;
        a.StrConexion = CadenaConexion(a, tipo == kJet4 ? "/bd/MTVX2005.MDB" : "MTVX");
        const QString antes = a.StrConexion;
        a.ClaveBD = "vieja";
        const QString rechazada = CadenaConexion(a, fuente);
        a.ClaveBD = "nueva";
        ort::pasaClaveNueva(a, rechazada, cadenaConClave(rechazada, "nueva"));
        QCOMPARE(a.StrConexion, cambia ? cadenaConClave(antes, "nueva") : antes);
        QCOMPARE(a.StrConexion.contains("nueva;"), cambia);
        // A value holding ';' or a quote comes back whole.
        const QString rara = cadenaConClave(cadenaJet("/a;b.mdb", "x"), "p;\"q");
        QCOMPARE(valorCadena(rara, "data source") + '|' +
                     valorCadena(rara, "jet oledb:database password"),
                 QString("/a;b.mdb|p;\"q"));
    }

    // Statements adapted to the engine; a name quoted, or refused (empty).
    void adaptaSql_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("esperado");
        const QString a63(63, u'A');
        // clang-format off
        QTest::addRow("sqlite top") << Motor::Sqlite << "Select Top 1 N,[DIAM] from [Datos] order by N" << "Select N,[DIAM] from [Datos] order by N limit 1";
        QTest::addRow("pg top, brackets") << Motor::Postgres << "Select Top 1 N,[DIAM] from [Datos] order by N" << "Select N,\"DIAM\" from \"Datos\" order by N limit 1";
        QTest::addRow("pg like") << Motor::Postgres << "Select [LIKE] from EXU where RTRIM(E) like ?" << "Select \"LIKE\" from EXU where RTRIM(E) ilike ?";
        QTest::addRow("name") << Motor::Ninguno << "DIAM EXT" << "\"DIAM EXT\"";
        QTest::addRow("63 long") << Motor::Ninguno << a63 << '"' + a63 + '"';
        QTest::addRow("64 long") << Motor::Ninguno << a63 + 'A' << "";
        QTest::addRow("quote") << Motor::Ninguno << "A\"B" << "";
        QTest::addRow("injection") << Motor::Ninguno << "A; drop table Datos" << "";
        // clang-format on
    }
    void adaptaSql() {
        QFETCH(Motor, motor);
        QFETCH(QString, sql);
        QFETCH(QString, esperado);
        QCOMPARE(motor == Motor::Ninguno ? citaIdentificador(sql).value_or(QString())
                                         : ort::adaptaSql(sql, motor),
                 esperado);
    }

    void abre_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<QString>("fuente");
        QTest::addColumn<QStringList>("respuestas"); // given: the password is wrong at first
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<QString>("mensaje");
        QTest::addColumn<qint64>("numero");
        const QStringList nada;
        // clang-format off
        QTest::addRow("file") << Motor::Sqlite << "MTVX2005.MDB" << nada << true << 0 << "" << qint64(0);
        QTest::addRow("file missing") << Motor::Sqlite << "NOESTA.MDB" << nada << false << 0 << "" << errbd::kNoEncontrada;
        QTest::addRow("empty string") << Motor::Sqlite << "" << nada << false << 0 << "" << errbd::kNoEncontrada;
        QTest::addRow("folder") << Motor::Sqlite << "bd/" << nada << false << 0 << "no es un archivo" << errbd::kGeneral;
        QTest::addRow("not a database") << Motor::Sqlite << "BASURA.MDB" << nada << false << 0 << "^Module1. OpenDBOK.\n\nQSQLITE\n3343.- .*\n\nProvider=.*BASURA.MDB;.*\n\n$" << errbd::kFormato;
        QTest::addRow("no driver") << Motor::Sqlite << "QNOEXISTE" << nada << false << 0 << "\n-2147220999.- .*\n\nInstale el controlador.\n\n$" << errbd::kProveedor;
        QTest::addRow("pg") << Motor::Postgres << "postgres" << nada << true << 0 << "" << qint64(0);
        QTest::addRow("pg unreachable") << Motor::Postgres << "-" << nada << false << 0 << "" << errbd::kNoEncontrada;
        QTest::addRow("pg no catalogue") << Motor::Postgres << "no_existe_ort" << nada << false << 0 << "no_existe_ort" << errbd::kGeneral;
        QTest::addRow("pg password fixed") << Motor::Postgres << "postgres" << QStringList{"*"} << true << 1 << "" << qint64(0);
        QTest::addRow("pg password cancelled") << Motor::Postgres << "postgres" << QStringList{""} << false << 1 << "" << errbd::kClave;
        QTest::addRow("pg three tries") << Motor::Postgres << "postgres" << QStringList{"otra", "tampoco", "nada", "nunca"} << false << 3 << "^Module1. OpenDBOK.\n\nQPSQL\n3031.- .*Password=nada;" << errbd::kClave;
        // clang-format on
    }
    void abre() {
        QFETCH(Motor, motor);
        QFETCH(QString, fuente);
        QFETCH(QStringList, respuestas);
        QFETCH(bool, ok);
        QFETCH(int, prompts);
        QFETCH(QString, mensaje);
        QFETCH(qint64, numero);
        ORT_BANCO(b, motor);
        b.texto(0, 81, "Clave:");
        b.texto(4, 13, "Instale el controlador.");
        QString cadena;
        if (b.srv) {
            if (fuente == "-") // nothing listens there
                b.ajustes.ServidorBD = "127.0.0.1:1";
            if (!respuestas.isEmpty())
                b.ajustes.ClaveBD = "mala";
            respuestas.replaceInStrings(QRegularExpression("^\\*$"), b.srv->clave);
            b.avisos.respuestasEntrada = respuestas;
            b.ajustes.StrConexion = CadenaConexion(b.ajustes, "postgres");
            cadena = CadenaConexion(b.ajustes, fuente);
        } else if (!fuente.isEmpty()) {
            const QString archivo =
                b.dir.ruta() + (fuente == "QNOEXISTE" ? "MTVX2005.MDB" : fuente);
            if (fuente == "BASURA.MDB")
                b.dir.escribe(fuente, QByteArray(8192, '\x13'));
            else if (fuente == "bd/")
                QVERIFY(QDir().mkpath(archivo));
            else if (fuente != "NOESTA.MDB")
                QVERIFY(b.mtvx({}, {"metrovax.sqlite.sql"}));
            cadena = cadenaJet(archivo, "");
        }
        const QStringList antes =
            QDir(b.dir.ruta()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const int conexiones = QSqlDatabase::connectionNames().size();
        fijaDriverParaPruebas(Motor::Sqlite, fuente == "QNOEXISTE" ? fuente : "QSQLITE");
        {
            Conexion c;
            const Resultado<> abierta = OpenDBOK(cadena, c, b.e);
            fijaDriverParaPruebas(Motor::Sqlite, "QSQLITE");
            QCOMPARE(QList<qint64>({abierta.ok(), c.abierta(), abierta.falla().numero}),
                     QList<qint64>({ok, ok, numero}));
            if (ok)
                QVERIFY(c.motor() == motor &&
                        OpenDBOK(b.srv ? CadenaConexion(b.ajustes, fuente) : cadena, c, b.e));
        }
        QCOMPARE(QSqlDatabase::connectionNames().size(), conexiones);
        QCOMPARE(b.avisos.prompts.size(), prompts);
        QCOMPARE(b.avisos.prompts.value(0, cadena + "\nClave:"), cadena + "\nClave:");
        QCOMPARE(b.avisos.mensajes.size(), mensaje.isEmpty() ? 0 : 1);
        const QRegularExpression re(mensaje, QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(b.avisos.textos().join("").contains(re), qPrintable(b.avisos.textos().join("")));
        if (ok && b.srv)
            QCOMPARE(b.ajustes.StrConexion + b.ajustes.ClaveBD,
                     CadenaConexion(b.ajustes, "postgres") + b.srv->clave);
        QCOMPARE(QDir(b.dir.ruta()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), antes);
    }

    void danada_data() {
        QTest::addColumn<QString>("indice");
        QTest::addColumn<Comprobacion>("comprobacion");
        // clang-format off
        QTest::addRow("plain index") << "IB" << Comprobacion::Completa;
        QTest::addRow("key index") << "sqlite_autoindex_T_1" << Comprobacion::Completa;
        QTest::addRow("light check") << "IB" << Comprobacion::Ligera;
        // clang-format on
    }
    void danada() {
        QFETCH(QString, indice);
        QFETCH(Comprobacion, comprobacion);
        Banco b;
        const QString f = b.dir.ruta() + "MTVX2005.MDB";
        creaConIndice(f);
        danaIndice(f, indice);
        Conexion c;
        QVERIFY2(OpenDBOK(cadenaJet(f, ""), c, b.e, comprobacion),
                 qPrintable(b.avisos.textos().join("|")));
        QVERIFY(b.avisos.mensajes.isEmpty());
        const bool repara = comprobacion == Comprobacion::Completa;
        QCOMPARE(b.avisos.punteros.contains(true), repara);
        if (!repara)
            return;
        QCOMPARE(b.avisos.punteros.last(), false);
        c.cierra();
        QCOMPARE(valorSqlite(f, "select count(*) || ' ' || sum(A) || ' ' || (select * from "
                                "pragma_integrity_check) from T where B like 'valor-%'"),
                 "2000 2001000 ok");
        QCOMPARE(QDir(b.dir.ruta()).entryList(QDir::Files), QStringList{"MTVX2005.MDB"});
    }
};

QTEST_GUILESS_MAIN(TstConexion)
#include "tst_conexion.moc"
