// Two ORTs, one server prepared by crea-servidor.sh: one data table, every reading, N gapless.
#include "support/corrida.h"

#include <QRandomGenerator>
#include <QTest>

using namespace ort::prueba;

class TstDosOrtPgE2e : public QObject {
    Q_OBJECT
private slots:
    void dosOrtUnaTabla() {
        ORT_REQUIERE_POSTGRES(srv);
        constexpr int kPorOrt = 40;
        const QString catalogo =
            QString("Planta%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PGHOST", srv.host), env.insert("PGPORT", QString::number(srv.puerto));
        env.insert("PGUSER", srv.usuario), env.insert("PGPASSWORD", srv.clave);
        auto psql = [&](const QString& sql) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start("psql", {"-X", "-tA", "-d", catalogo + "DATA", "-c", sql});
            p.waitForFinished(30000);
            return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())
                .trimmed();
        };
        QProcess crea;
        crea.setProcessEnvironment(env);
        crea.start("bash", {CREA_SERVIDOR, catalogo, "--maestras", "--planta-demo", "--tabla", "F1",
                            "TORNO1", "EJE20", "DIAM", "LOTE:VARCHAR(20)"});
        QVERIFY2(crea.waitForFinished(60000) && crea.exitCode() == 0,
                 crea.readAllStandardError().constData());
        QCOMPARE(psql("select string_agg(column_name || ' ' || data_type, ',' order by "
                      "ordinal_position) from information_schema.columns where table_name = "
                      "'Datos_F1_TORNO1_EJE20'"),
                 "n integer,fecha timestamp without time zone,turno character varying,operador "
                 "character varying,DIAM double precision,LOTE character varying");

        Corrida puestos[2];
        for (int k = 0; k < 2; ++k) {
            Corrida& c = puestos[k];
            QVERIFY(c.prepara() && escribeTexto(c.dir + "/MVDirec.iau",
                                                QString("\"[SQLSERVER]\",\"%1\",\"%2\",\"%3\"\r\n")
                                                    .arg(srv.dataSource(), catalogo, srv.usuario)));
            QProcess clave;
            clave.start(ORT_PATH, {"--escribe-clave", "--dir", c.dir});
            clave.write(srv.clave.toUtf8() + '\n');
            clave.closeWriteChannel();
            QVERIFY(clave.waitForFinished(10000) && clave.exitCode() == 0);
            QVERIFY(c.calibre({"--rate", "10", "--count", QString::number(kPorOrt), "--hold",
                               "--values", QString("fixed:20.0%1").arg(k + 1)}) &&
                    c.arranca());
        }
        const QString tabla = "\"Datos_F1_TORNO1_EJE20\"";
        const bool llegaron = esperaQue(
            [&] { return psql("select count(*) from " + tabla).toInt() >= 2 * kPorOrt; }, 60000);
        for (Corrida& c : puestos)
            c.termina();
        const QByteArray err =
            puestos[0].ort.readAllStandardError() + puestos[1].ort.readAllStandardError();
        QVERIFY2(llegaron && err.isEmpty(), err.constData());
        // Numbers unique and gapless; each workstation's readings, all of them.
        QCOMPARE(
            psql("select count(*) = count(distinct n) and min(n) = 1 and max(n) = count(*) from " +
                 tabla),
            QString("t"));
        QCOMPARE(psql("select string_agg(\"DIAM\" || ':' || c, ' ' order by \"DIAM\") from (select "
                      "\"DIAM\", count(*) c from " +
                      tabla + " where \"DIAM\" is not null group by \"DIAM\") x"),
                 QString("20.01:%1 20.02:%1").arg(kPorOrt));
        QCOMPARE(psql("select count(*) from " + tabla + " where \"LOTE\" = 'L-2612'"),
                 QString::number(2 * kPorOrt));
    }
};

QTEST_GUILESS_MAIN(TstDosOrtPgE2e)
#include "tst_dos_ort_pg_e2e.moc"
