// Faults of the data database while readings arrive: nothing lost, nothing written twice, order
// kept.
#include "support/banco.h"
#include "support/relevo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <thread>

using namespace ort;
using namespace ort::prueba;

namespace {

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

const QString kConf = "INSERT INTO CANALES VALUES (1,1,'');"
                      "INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,Carac,DTMP) "
                      "VALUES (1,1,1,'OP1','F1','M1','P1','DIAM',0);";

// Port 1 reads DIAM of F1/M1/P1 into the data table.
bool Prepara(Banco& b, const QString& conf = kConf, const QStringList& datos = {},
             const QString& cambiaDe = {}) {
    b.texto(43, 9, "No existe");
    b.texto(43, 10, "No existe la base");
    b.abre(1, "CALIB");
    return b.conf(conf) && b.datos(datos, cambiaDe, cambiaDe.section(' ', 0, 1));
}

void Llegan(Banco& b, int desde, int hasta) {
    QByteArray bytes;
    for (int i = desde; i <= hasta; ++i)
        bytes += QByteArray::number(i) + '\r';
    b.llega(1, bytes);
}

} // namespace

class TstFallas : public QObject {
    Q_OBJECT
private slots:
    void inalcanzableYDeVuelta_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<QString>("enLog"); // what the log says of each reading lost
        QTest::addColumn<int>("mensajes");
        // clang-format off
        QTest::addRow("sqlite") << Motor::Sqlite << "DIAM  %1 *\n 01/01 No existe .*datos/F1" << 0;
        QTest::addRow("pg") << Motor::Postgres << " 01/01 No se grabó DIAM = %1 " << 3;
        // clang-format on
    }
    void inalcanzableYDeVuelta() {
        QFETCH(Motor, motor);
        QFETCH(QString, enLog);
        QFETCH(int, mensajes);
        ORT_BANCO(b, motor);
        std::unique_ptr<Relevo> relevo;
        if (b.srv) {
            relevo = std::make_unique<Relevo>(b.srv->host, b.srv->puerto);
            b.ajustes.ServidorBD = relevo->dataSource();
        }
        QVERIFY(Prepara(b));
        Llegan(b, 1, 3);
        if (relevo)
            relevo->corta();
        else
            QVERIFY(QDir().rename(b.ajustes.DirDatos + "F1", b.ajustes.DirDatos + "F1.copia"));
        Llegan(b, 4, 6);
        if (relevo)
            QVERIFY(relevo->restablece());
        else
            QVERIFY(QDir().rename(b.ajustes.DirDatos + "F1.copia", b.ajustes.DirDatos + "F1"));
        Llegan(b, 7, 9);
        // Recording resumed by itself; each reading of the outage is on the log with its value.
        QCOMPARE(b.columna("DIAM"), QString("1,2,3,7,8,9"));
        QCOMPARE(b.t.NumLecturas[1], 9.0);
        QCOMPARE(b.t.NumGrabadas[1], 6.0);
        const QString log = b.log.lineas(1).join('\n');
        for (int v = 4; v <= 6; ++v)
            QVERIFY2(log.contains(QRegularExpression(enLog.arg(v))), qPrintable(log));
        QCOMPARE(b.avisos.mensajes.size(), mensajes);
        for (const auto& m : b.avisos.mensajes)
            QVERIFY(m.texto.startsWith("DAM. GrabaMTVX."));
    }

    // Group commit: a receive pass's values in one transaction give exactly the rows that writing
    // them one by one gives; a value that fails leaves the others of its pass in place.
    void grabacionPorPasada_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addRow("sqlite") << Motor::Sqlite;
        QTest::addRow("pg") << Motor::Postgres;
    }
    void grabacionPorPasada() {
        QFETCH(Motor, motor);
        ORT_BANCO(porValor, motor);
        Banco porPasada(motor);
        porPasada.grabador.fijaApertura(GrabadorDatos::Apertura::PorPasada);
        for (Banco* b : {&porValor, &porPasada}) {
            QVERIFY(Prepara(*b, kConf +
                                    "INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,"
                                    "Carac,EAdic1,EAVal1,DTMP) VALUES (1,1,2,'OP1','F1','M1','P1',"
                                    "'TEMP','LOTE','L1',60),(1,1,3,'OP1','F1','M1','P1','NOHAY',"
                                    "'','',60)"));
            Llegan(*b, 1, 7);
            b->reloj.avanza(30000);
            Llegan(*b, 8, 9);
        }
        const QString volcado = "select n, fecha, turno, operador, \"DIAM\", \"TEMP\", \"LOTE\" "
                                "from \"%1\" order by n";
        const auto filas = porValor.filas(volcado.arg(porValor.tabla));
        QCOMPARE(filas.size(), 3); // DIAM, TEMP and the failing NOHAY make a row
        QCOMPARE(porPasada.filas(volcado.arg(porPasada.tabla)), filas);
        QCOMPARE(porPasada.t.NumGrabadas[1], porValor.t.NumGrabadas[1]);
        QCOMPARE(porPasada.log.lineas(1), porValor.log.lineas(1));
        QVERIFY(porValor.log.lineas(1).join('\n').contains("No se grabó NOHAY = 3"));
    }

    void tablaSinIndiceEnN_data() {
        QTest::addColumn<Motor>("motor");
        QTest::addColumn<bool>("indice");
        // clang-format off
        QTest::addRow("sqlite") << Motor::Sqlite << false;
        QTest::addRow("sqlite, with key") << Motor::Sqlite << true;
        QTest::addRow("pg") << Motor::Postgres << false;
        QTest::addRow("pg, with key") << Motor::Postgres << true;
        // clang-format on
    }
    void tablaSinIndiceEnN() {
        QFETCH(Motor, motor);
        QFETCH(bool, indice);
        ORT_BANCO(b, motor);
        QVERIFY(Prepara(b, kConf, {}, indice ? QString() : "n INTEGER PRIMARY KEY"));
        Llegan(b, 1, 3);
        QCOMPARE(b.t.NumGrabadas[1], 3.0);
        QStringList avisos;
        for (const QString& l : b.log.lineas(1))
            if (l.contains("sin índice en N"))
                avisos << l.trimmed();
        if (indice) {
            QCOMPARE(avisos, QStringList());
            QVERIFY(b.avisos.mensajes.isEmpty());
            return;
        }
        // Said once, not at every value: a short line that the log's width does not cut, the
        // whole text in one message.
        QCOMPARE(avisos, QStringList{"Tabla sin índice en N (lenta): \"" + b.tabla + '"'});
        QCOMPARE(b.avisos.mensajes.size(), 1);
        const QString m = b.avisos.mensajes[0].texto;
        QVERIFY2(m.contains("La tabla \"" + b.tabla + "\" de ") &&
                     m.contains(" no tiene índice en N: cada valor recorre sus ") &&
                     m.endsWith("filas para hallar la más reciente."),
                 qPrintable(m));
    }

    void bloqueo_data() {
        QTest::addColumn<QString>("sentencia");
        QTest::addRow("write lock") << "EXCLUSIVE";
        QTest::addRow("read lock") << "DEFERRED select count(*) from Datos";
    }
    void bloqueo() {
        QFETCH(QString, sentencia);
        Banco b;
        QVERIFY(Prepara(b));
        Llegan(b, 1, 2);
        QElapsedTimer reloj;
        reloj.start();
        {
            Bloqueo bloqueo(b.ajustes.DirDatos + "F1/M1/P1.MDB", sentencia, 5000);
            Llegan(b, 3, 7); // ORT waits for the lock and retries
        }
        QVERIFY2(reloj.elapsed() >= 4500, qPrintable(QString::number(reloj.elapsed())));
        Llegan(b, 8, 8);
        QCOMPARE(b.columna("DIAM"), QString("1,2,3,4,5,6,7,8"));
        QCOMPARE(b.filas("select count(distinct N), max(N) from Datos"),
                 (QList<QVariantList>{{8, 8}}));
        QVERIFY2(b.avisos.mensajes.isEmpty(), qPrintable(b.avisos.textos().join('|')));
        QCOMPARE(b.t.NumGrabadas[1], 8.0);
    }
};

QTEST_GUILESS_MAIN(TstFallas)
#include "tst_fallas.moc"
