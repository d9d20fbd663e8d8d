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

// Port 2: channel 3 DIAM, LARGO, TEMP; channel 4 with extra fields; channel 5 fifty.
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
    // The value recorded whole under the trimmed characteristic; extra fields after it.
    void lineaDelLog() {
        Lecturas b;
        b.lee("031.2345678901");
        b.lee("0412.5"); // EAVal2 blank: no second additional field
        QCOMPARE(b.log.lineas(2).first(),
                 QString(" 03/01 2026/12/04 09:05:07  OP1 F1 TORNO1 EJE20 DIAM  1.234567")
                     .leftJustified(92));
        QCOMPARE(b.falso.valores(), QStringList({"DIAM=1.2345678901", "DIAM=12.5", "LOTE=L-77"}));
        QVERIFY(b.t.UltValor(2, 3, 1) == "1.2345678901" && b.falso.llamadas[1].DTMP == 30.0f &&
                b.falso.llamadas[2].DTMP == 999.0f &&
                b.avisos.punteros.mid(0, 2) == QList<bool>({true, false}) &&
                b.reg.captionRec(2) + b.reg.captionGra(2) == "2 leídas2 grabadas");
    }

    // Channel 3's first takes 10..20: outside, it beeps, logs " !", is not recorded.
    void lecturas_data() {
        // Readings ("value@field"); a path is the one the writer says it searched.
        QTest::addColumn<QStringList>("lecturas");
        QTest::addColumn<QList<int>>("codigos");
        QTest::addColumn<QStringList>("valores");
        QTest::addColumn<QString>("linea");
        QTest::addColumn<QString>("cuentas");
        using L = QStringList;
        using C = QList<int>;
        QStringList cincuenta; // channel 5's 50 sequences, the tables' last
        for (int s = 1; s < 50; ++s)
            cincuenta << QString("C%1=1").arg(s);
        // clang-format off
        QTest::addRow("cycle") << L{"0310.1", "0399.5", "0325", "0310.2"} << C{} << L{"DIAM=10.1", "LARGO=99.5", "TEMP=25", "DIAM=10.2"} << "EJE20 DIAM  10.2" << "4/4/0";
        QTest::addRow("channel 00") << L{"0012.5"} << C{} << L{} << "" << "0/0/0";
        QTest::addRow("upper limit") << L{"0320"} << C{} << L{"DIAM=20"} << "DIAM  20" << "1/1/0";
        QTest::addRow("just above") << L{"0320.01"} << C{} << L{} << "20.01 !" << "1/0/1";
        QTest::addRow("text reads 0") << L{"03abc"} << C{} << L{} << " !" << "1/0/1";
        QTest::addRow("no folder") << L{"0312"} << C{1} << L{"DIAM=12"} << " 03/01 No existe /datos/F1" << "1/0/0";
        QTest::addRow("no machine") << L{"0312"} << C{2} << L{"DIAM=12"} << " 03/01 No existe /datos/F1/TORNO1" << "1/0/0";
        QTest::addRow("no product") << L{"0312"} << C{3} << L{"DIAM=12"} << " 03/01 No existe la base /datos/F1/TORNO1/EJE20.MDB" << "1/0/0";
        QTest::addRow("no product, folders in another case") << L{"/datos/f1/torno1/EJE20.MDB", "0312"} << C{3} << L{"DIAM=12"} << " 03/01 No existe la base /datos/f1/torno1/EJE20.MDB" << "1/0/0";
        QTest::addRow("not written") << L{"0312"} << C{6} << L{"DIAM=12"} << " 03/01 No se grabó DIAM = 12" << "1/0/0";
        QTest::addRow("field fails") << L{"0412.5"} << C{0, 6} << L{"DIAM=12.5", "LOTE=L-77"} << " 04/01 No se grabó LOTE = L-77" << "1/1/0";
        QTest::addRow("value fails") << L{"0412.5"} << C{6, 0} << L{"DIAM=12.5", "LOTE=L-77"} << " 04/01 No se grabó DIAM = 12.5" << "1/0/0";
        QTest::addRow("out on the last") << L{"0315", "0315", "0399", "0315"} << C{} << L{"DIAM=15", "LARGO=15", "DIAM=15"} << "DIAM  15" << "4/3/1";
        QTest::addRow("out on the 50th") << (L(49, "051") << "0599" << "055") << C{} << (cincuenta << "C1=5") << " 05/01 2026/12/04" << "51/50/1";
        QTest::addRow("table") << L{"0312.5@2"} << C{} << L{"ANCHO=12.5"} << "EJE20 ANCHO  12.5" << "1/1/0";
        // clang-format on
    }
    void lecturas() {
        QFETCH(QStringList, lecturas);
        QFETCH(QList<int>, codigos);
        QFETCH(QStringList, valores);
        QFETCH(QString, linea);
        QFETCH(QString, cuentas);
        Lecturas b;
        b.t.LimInf(2, 3, 1) = 10;
        b.t.LimSup(2, 3, 1) = 20;
        b.t.LimSup(2, 3, 3) = b.t.LimSup(2, 5, 50) = 50; // a rejection on the last restarts
        b.t.fijaTabla(2, {CampoTid{"", 1, 4, "ESPESOR"}, CampoTid{"X", 1, 2, "ANCHO"}});
        for (int c : codigos)
            b.falso.resultados << ResultadoGrabacion(c);
        for (const QString& l : lecturas)
            if (l.startsWith(u'/'))
                b.falso.ruta = l;
            else
                b.lee(l.section(u'@', 0, 0), l.section(u'@', 1).toInt());
        QCOMPARE(b.falso.valores(), valores);
        const QStringList log = b.log.lineas(2);
        QVERIFY2(linea.isEmpty() ? log.isEmpty() : log.last().contains(linea),
                 qPrintable(log.join(u'|')));
        QCOMPARE(
            QString("%1/%2/%3").arg(b.t.NumLecturas[2]).arg(b.t.NumGrabadas[2]).arg(b.avisos.beeps),
            cuentas);
    }

    void fueraDeTablasNoCambiaNada() {
        Lecturas b;
        b.t.canal(2, 3).SecActual = 50;
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, b.lee("0312"));
        QVERIFY(b.t.canal(2, 3).SecActual == 50 && b.t.NumLecturas[2] == 0.0);
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, b.reg.RegistraLectura(17, "0312", "", ""));
    }
};

QTEST_GUILESS_MAIN(TstRegistroLectura)
#include "tst_registrolectura.moc"
