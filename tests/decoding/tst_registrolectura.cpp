#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

const char* kConfiguracion =
    "INSERT INTO PUERTOS VALUES (2,'CALIB',-1);"
    "INSERT INTO CANALES VALUES (2,3,'Calibre'),(2,4,'Extra'),(2,5,'');"
    "INSERT INTO CONF VALUES (2,3,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','','','','',60);"
    "INSERT INTO CONF VALUES (2,3,2,'OP1','E1','TORNO1','EJE20','F1','LARGO','','','','',60);"
    "INSERT INTO CONF VALUES (2,3,3,'OP1','E1','TORNO1','EJE20','F1','TEMP ','','','','',60);"
    "INSERT INTO CONF VALUES (2,4,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','LOTE','L-77',"
    "' TURNO ','  ',30);";

// Port 2 channel 3 has three sequences (DIAM, LARGO, TEMP); channel 4 one, with additional
// fields; channel 5 fifty; readings go to the fake writer.
struct Lecturas : Banco {
    Lecturas() : Banco(Motor::Sqlite, true) {
        ajustes.DirDatos = "/datos/";
        texto(43, 5, "leídas");
        texto(43, 6, "grabadas");
        texto(43, 9, "No existe");
        texto(43, 10, "No existe la base");
        QString filas = kConfiguracion;
        for (int s = 1; s <= 50; ++s)
            filas +=
                QString("INSERT INTO CONF (Puert,Canal,Secue,Carac) VALUES (2,5,%1,'C%1');").arg(s);
        if (!conf(filas))
            qFatal("no configuration database");
    }
    void lee(const QString& lectura, int campo = 0) {
        reg.RegistraLectura(2, lectura, "", "", campo);
    }
};

} // namespace

class TstRegistroLectura : public QObject {
    Q_OBJECT
private slots:
    void lineaDelLog() {
        Lecturas b;
        b.lee("031.2345678901");
        QCOMPARE(
            b.log.lineas(2),
            QStringList{QString(" 03/01 2026/12/04 09:05:07  OP1 F1 TORNO1 EJE20 DIAM  1.234567")
                            .leftJustified(92)});
        // The value is recorded whole, under the trimmed characteristic.
        QCOMPARE(b.falso.valores(), QStringList{"DIAM=1.2345678901"});
        QCOMPARE(b.t.UltValor(2, 3, 1), QString("1.2345678901"));
        QCOMPARE(b.reg.captionRec(2) + b.reg.captionGra(2), QString("1 leídas1 grabadas"));
        QCOMPARE(b.avisos.punteros, QList<bool>({true, false}));
        b.lee("0412.5"); // additional fields after the value (EAVal2 blank: no second one)
        QCOMPARE(b.falso.valores().mid(1), QStringList({"DIAM=12.5", "LOTE=L-77"}));
        QVERIFY(b.falso.llamadas[1].DTMP == 30.0f && b.falso.llamadas[2].DTMP == 999.0f);
    }

    void cicloDeSecuencias() {
        Lecturas b;
        for (const char* v : {"0310.1", "0399.5", "0325", "0310.2"})
            b.lee(v);
        QCOMPARE(b.falso.valores(),
                 QStringList({"DIAM=10.1", "LARGO=99.5", "TEMP=25", "DIAM=10.2"}));
        QCOMPARE(int(b.t.canal(2, 3).SecActual), 1);
    }

    // A reading on no channel is ignored; one outside its limits (a number or 0) beeps, is
    // logged with " !" and is not recorded.
    void limites_data() {
        QTest::addColumn<QString>("lectura");
        QTest::addColumn<int>("grabadas");
        // clang-format off
        QTest::addRow("channel 00") << "0012.5" << -1;
        QTest::addRow("letters") << "AB12.5" << -1;
        QTest::addRow("upper limit") << "0320" << 1;
        QTest::addRow("just above") << "0320.01" << 0;
        QTest::addRow("text reads 0") << "03abc" << 0;
        // clang-format on
    }
    void limites() {
        QFETCH(QString, lectura);
        QFETCH(int, grabadas);
        Lecturas b;
        b.t.LimInf(2, 3, 1) = 10;
        b.t.LimSup(2, 3, 1) = 20;
        b.lee(lectura);
        QCOMPARE(b.falso.llamadas.size(), qMax(grabadas, 0));
        QCOMPARE(b.log.lineas(2).size(), grabadas < 0 ? 0 : 1);
        QVERIFY(grabadas < 0 || b.log.lineas(2)[0].trimmed().endsWith(" !") == (grabadas == 0));
        QCOMPARE(b.avisos.beeps, grabadas == 0 ? 1 : 0);
        QCOMPARE(b.t.NumLecturas[2], grabadas < 0 ? 0.0 : 1.0);
        QCOMPARE(b.t.NumGrabadas[2], double(qMax(grabadas, 0)));
    }

    // Out of limits on the last sequence (also the tables' last, 50): the cycle starts again.
    void rechazoEnLaUltimaSecuencia_data() {
        QTest::addColumn<int>("canal");
        QTest::addColumn<int>("secuencias");
        QTest::newRow("3") << 3 << 3;
        QTest::newRow("50") << 5 << 50;
    }
    void rechazoEnLaUltimaSecuencia() {
        QFETCH(int, canal);
        QFETCH(int, secuencias);
        Lecturas b;
        const QString c = QString("%1").arg(canal, 2, 10, QChar('0'));
        b.t.LimSup(2, canal, secuencias) = 50;
        for (int s = 1; s < secuencias; ++s)
            b.lee(c + "1");
        b.lee(c + "99");
        QCOMPARE(int(b.t.canal(2, canal).SecActual), 0);
        b.lee(c + "5");
        QCOMPARE(b.t.NumLecturas[2], double(secuencias + 1));
        QVERIFY(b.log.lineas(2).last().startsWith(" " + c + "/01 2026/12/04"));
        QVERIFY(b.falso.valores().last().endsWith("=5"));
        QCOMPARE(b.t.NumGrabadas[2], double(secuencias));
    }

    // What the writer answers, value by value, and the log line it leaves; the value of a
    // failed write stays on the log, and a later success does not hide it.
    void resultados_data() {
        QTest::addColumn<QString>("lectura");
        QTest::addColumn<QList<int>>("codigos");
        QTest::addColumn<QString>("linea");
        QTest::addColumn<double>("grabadas");
        // clang-format off
        QTest::addRow("1") << "0312" << QList<int>{1} << " 03/01 No existe /datos/F1" << 0.0;
        QTest::addRow("2") << "0312" << QList<int>{2} << " 03/01 No existe /datos/F1/TORNO1" << 0.0;
        QTest::addRow("3") << "0312" << QList<int>{3} << " 03/01 No existe la base /datos/F1/TORNO1/EJE20.MDB" << 0.0;
        QTest::addRow("6") << "0312" << QList<int>{6} << " 03/01 No se grabó DIAM = 12" << 0.0;
        QTest::addRow("0") << "0312" << QList<int>{0} << "" << 1.0;
        QTest::addRow("field fails") << "0412.5" << QList<int>{0, 6} << " 04/01 No se grabó LOTE = L-77" << 1.0;
        QTest::addRow("value fails") << "0412.5" << QList<int>{6, 0} << " 04/01 No se grabó DIAM = 12.5" << 0.0;
        // clang-format on
    }
    void resultados() {
        QFETCH(QString, lectura);
        QFETCH(QList<int>, codigos);
        QFETCH(QString, linea);
        QFETCH(double, grabadas);
        Lecturas b;
        for (int c : codigos)
            b.falso.resultados << ResultadoGrabacion(c);
        b.lee(lectura);
        QCOMPARE(b.log.lineas(2).mid(1),
                 linea.isEmpty() ? QStringList{} : QStringList{linea.leftJustified(92)});
        QCOMPARE(b.t.NumGrabadas[2], grabadas);
        QCOMPARE(b.t.NumLecturas[2], 1.0);
    }

    void modoTabla() {
        Lecturas b;
        b.t.fijaTabla(2, {CampoTid{"", 1, 4, "ESPESOR"}, CampoTid{"X", 1, 2, "ANCHO"}});
        b.reg.RegistraLectura(2, "0312.5", "", "", 2);
        QVERIFY(b.log.lineas(2)[0].contains("EJE20 ANCHO  12.5"));
        QCOMPARE(b.falso.valores(), QStringList{"ANCHO=12.5"});
    }

    void fueraDeTablasNoCambiaNada() {
        Lecturas b;
        b.t.canal(2, 3).SecActual = 50;
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, b.lee("0312"));
        QCOMPARE(int(b.t.canal(2, 3).SecActual), 50);
        QCOMPARE(b.t.NumLecturas[2], 0.0);
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, b.reg.RegistraLectura(17, "0312", "", ""));
    }
};

QTEST_GUILESS_MAIN(TstRegistroLectura)
#include "tst_registrolectura.moc"
