// Two workstations, one server, end to end: the server prepared by crea-servidor.sh (a
// mixed-case catalogue), each ORT's password written by `ort --escribe-clave`, and two ORTs,
// each with its own gauge, writing one data table: every reading lands, and the sample numbers
// stay unique and without gaps.
#include "support/corrida.h"

#include <QRandomGenerator>
#include <QTest>

using namespace ort::prueba;

namespace {

constexpr int kPorOrt = 40;

QProcessEnvironment EntornoPg(const ServidorPg& s) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PGHOST", s.host);
    env.insert("PGPORT", QString::number(s.puerto));
    env.insert("PGUSER", s.usuario);
    env.insert("PGPASSWORD", s.clave);
    return env;
}

QString Psql(const ServidorPg& s, const QString& base, const QString& sql) {
    QProcess p;
    p.setProcessEnvironment(EntornoPg(s));
    p.start("psql", {"-X", "-tA", "-d", base, "-c", sql});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed() +
           QString::fromUtf8(p.readAllStandardError()).trimmed();
}

} // namespace

class TstDosOrtPgE2e : public QObject {
    Q_OBJECT
private slots:
    void dosOrtUnaTabla() {
        ORT_REQUIERE_POSTGRES(srv);
        const QString catalogo =
            QString("Planta%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
        QProcess crea;
        crea.setProcessEnvironment(EntornoPg(srv));
        crea.start("bash", {CREA_SERVIDOR, catalogo, "--maestras", "--planta-demo", "--tabla", "F1",
                            "TORNO1", "EJE20", "DIAM", "LOTE:VARCHAR(20)", "--tabla", "F2", "RECT1",
                            "BUJE8"});
        QVERIFY(crea.waitForFinished(60000));
        QVERIFY2(crea.exitCode() == 0, crea.readAllStandardError().constData());
        // Columns as given, or those of the format's characteristics in CXF.
        const QString columnas = "select string_agg(column_name || ' ' || data_type, ',' order by "
                                 "ordinal_position) from information_schema.columns where "
                                 "table_name = ";
        QCOMPARE(Psql(srv, catalogo + "DATA", columnas + "'Datos_F1_TORNO1_EJE20'"),
                 QString("n integer,fecha timestamp without time zone,turno character varying,"
                         "operador character varying,DIAM double precision,"
                         "LOTE character varying"));
        QCOMPARE(Psql(srv, catalogo + "DATA", columnas + "'Datos_F2_RECT1_BUJE8'"),
                 QString("n integer,fecha timestamp without time zone,turno character varying,"
                         "operador character varying,DIAM double precision"));

        Corrida puestos[2];
        for (int k = 0; k < 2; ++k) {
            Corrida& c = puestos[k];
            QVERIFY(c.prepara());
            QVERIFY(EscribeTexto(c.dir + "/MVDirec.iau",
                                 QString("\"[SQLSERVER]\",\"%1\",\"%2\",\"%3\"\r\n")
                                     .arg(srv.dataSource(), catalogo, srv.usuario)));
            QProcess clave;
            clave.start(ORT_PATH, {"--escribe-clave", "--dir", c.dir});
            clave.write(srv.clave.toUtf8() + '\n');
            clave.closeWriteChannel();
            QVERIFY(clave.waitForFinished(10000));
            QCOMPARE(clave.exitCode(), 0);
            QVERIFY(c.calibre({"--rate", "10", "--count", QString::number(kPorOrt), "--hold",
                               "--values", QString("fixed:20.0%1").arg(k + 1)}));
            QVERIFY(c.arranca());
        }
        const QString tabla = "\"Datos_F1_TORNO1_EJE20\"";
        const bool llegaron = EsperaQue(
            [&] {
                return Psql(srv, catalogo + "DATA", "select count(*) from " + tabla).toInt() >=
                       2 * kPorOrt;
            },
            60000);
        for (Corrida& c : puestos)
            c.termina();
        const QByteArray err =
            puestos[0].ort.readAllStandardError() + puestos[1].ort.readAllStandardError();
        QVERIFY2(llegaron, err.constData());
        QCOMPARE(err, QByteArray());
        // Numbers unique and without gaps. A row may hold only a lot: the value and the lot
        // are two writes, and the other ORT's value may come between them.
        const QStringList n =
            Psql(srv, catalogo + "DATA",
                 "select count(*) || ' ' || count(distinct n) || ' ' || min(n) || ' ' || max(n) "
                 "from " +
                     tabla)
                .split(' ');
        QCOMPARE(n.size(), 4);
        QVERIFY2(n[0].toInt() >= 2 * kPorOrt, qPrintable(n.join(' ')));
        QCOMPARE(n[1], n[0]);
        QCOMPARE(n[2], QString("1"));
        QCOMPARE(n[3], n[0]);
        // Each workstation's readings, all of them.
        QCOMPARE(Psql(srv, catalogo + "DATA",
                      "select string_agg(\"DIAM\" || ':' || c, ' ' order by \"DIAM\") from "
                      "(select \"DIAM\", count(*) c from " +
                          tabla + " where \"DIAM\" is not null group by \"DIAM\") x"),
                 QString("20.01:%1 20.02:%1").arg(kPorOrt));
        QCOMPARE(Psql(srv, catalogo + "DATA",
                      "select count(*) from " + tabla + " where \"LOTE\" = 'L-2612'"),
                 QString::number(2 * kPorOrt));
    }
};

QTEST_GUILESS_MAIN(TstDosOrtPgE2e)
#include "tst_dos_ort_pg_e2e.moc"
