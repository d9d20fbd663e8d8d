#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/registrolectura.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/grabadorfalso.h"
#include "support/programa.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 2 channel 3 has three sequences (DIAM, LARGO, TEMP); channel 4 one, with additional fields.
const char* kConfiguracion =
    "INSERT INTO PUERTOS VALUES (2,'CALIB',-1);"
    "INSERT INTO CANALES VALUES (2,3,'Calibre'),(2,4,'Extra');"
    "INSERT INTO CONF VALUES (2,3,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','','','','',60);"
    "INSERT INTO CONF VALUES (2,3,2,'OP1','E1','TORNO1','EJE20','F1','LARGO','','','','',60);"
    "INSERT INTO CONF VALUES (2,3,3,'OP1','E1','TORNO1','EJE20','F1','TEMP ','','','','',60);"
    "INSERT INTO CONF VALUES (2,4,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','LOTE','L-77',"
    "' TURNO ','  ',30);";

struct Banco {
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj{QDateTime(QDate(2026, 12, 4), QTime(9, 5, 7))};
    Entorno e{ajustes, avisos, reloj};
    AlmacenConfig config{e};
    TablasRuntime tablas;
    GrabadorFalso grabador;
    LogPuertos log;
    Registrador reg{e, tablas, config, grabador, log};

    Banco() {
        ajustes.Ruta = dir.ruta();
        ajustes.DirDatos = "/datos/";
        ajustes.Idioma = 1;
        ajustes.Textos = TablaTextos(43, 10, 1);
        ajustes.Textos.fija(43, 5, 1, "leídas");
        ajustes.Textos.fija(43, 6, 1, "grabadas");
        ajustes.Textos.fija(43, 9, 1, "No existe");
        ajustes.Textos.fija(43, 10, 1, "No existe la base");
        const QString base = dir.ruta() + kConfPorDefecto;
        dir.escribe(kArchivoUbicacion, base);
        if (!CreaSqlite(base, {"ortconf.sqlite.sql"}, kConfiguracion))
            qFatal("no configuration database");
        if (!config.IniArch())
            qFatal("IniArch failed");
        config.IniSecue(tablas);
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
        Banco b;
        b.lee("031.2345678901");
        QCOMPARE(b.log.lineas(2).size(), 1);
        const QString l = b.log.lineas(2)[0];
        QCOMPARE(l.size(), 92);
        QCOMPARE(
            l.trimmed(),
            QString(" 03/01 2026/12/04 09:05:07  OP1 F1 TORNO1 EJE20 DIAM  1.234567").trimmed());
        // The value is recorded whole, under the trimmed characteristic.
        QCOMPARE(b.grabador.valores(), QStringList{"DIAM=1.2345678901"});
        QCOMPARE(b.tablas.UltValor(2, 3, 1), QString("1.2345678901"));
        QCOMPARE(b.reg.captionRec(2), QString("1 leídas"));
        QCOMPARE(b.reg.captionGra(2), QString("1 grabadas"));
        QCOMPARE(b.avisos.punteros, QList<bool>({true, false}));
    }

    void cicloDeSecuencias() {
        Banco b;
        for (const char* v : {"0310.1", "0399.5", "0325", "0310.2"})
            b.lee(v);
        QCOMPARE(b.grabador.valores(),
                 QStringList({"DIAM=10.1", "LARGO=99.5", "TEMP=25", "DIAM=10.2"}));
        QCOMPARE(int(b.tablas.canal(2, 3).SecActual), 1);
    }

    void canalIgnorado_data() {
        QTest::addColumn<QString>("lectura");
        QTest::newRow("channel 00") << "0012.5";
        QTest::newRow("letters") << "AB12.5";
        QTest::newRow("negative") << "-112";
        QTest::newRow("empty") << "";
    }
    void canalIgnorado() {
        QFETCH(QString, lectura);
        Banco b;
        b.lee(lectura);
        QVERIFY(b.log.lineas(2).isEmpty());
        QCOMPARE(b.tablas.NumLecturas[2], 0.0);
        QVERIFY(b.grabador.llamadas.isEmpty());
    }

    void limites_data() {
        QTest::addColumn<QString>("valor");
        QTest::addColumn<bool>("grabado");
        QTest::newRow("upper limit itself") << "20" << true;
        QTest::newRow("lower limit itself") << "10" << true;
        QTest::newRow("just above") << "20.01" << false;
        QTest::newRow("not a number reads 0") << "abc" << false;
    }
    void limites() {
        QFETCH(QString, valor);
        QFETCH(bool, grabado);
        Banco b;
        b.tablas.LimInf(2, 3, 1) = 10;
        b.tablas.LimSup(2, 3, 1) = 20;
        b.lee("03" + valor);
        QCOMPARE(b.grabador.llamadas.size(), grabado ? 1 : 0);
        QCOMPARE(b.log.lineas(2)[0].trimmed().endsWith(" !"), !grabado);
        QCOMPARE(b.avisos.beeps, grabado ? 0 : 1);
        QCOMPARE(b.tablas.NumLecturas[2], 1.0);
        QCOMPARE(b.tablas.NumGrabadas[2], grabado ? 1.0 : 0.0);
    }

    void rechazoEnLaUltimaSecuencia_data() {
        QTest::addColumn<int>("canal");
        QTest::addColumn<int>("secuencias");
        QTest::newRow("3 sequences") << 3 << 3;
        QTest::newRow("50 sequences, the tables' last") << 5 << 50;
    }
    void rechazoEnLaUltimaSecuencia() {
        QFETCH(int, canal);
        QFETCH(int, secuencias);
        Banco b;
        for (int s = 1; s <= secuencias && canal == 5; ++s)
            QVERIFY(EjecutaSentencia(b.config.ruta(),
                                     QString("INSERT INTO CONF (Puert,Canal,Secue,Carac) VALUES "
                                             "(2,5,%1,'C%1')")
                                         .arg(s)));
        QVERIFY(EjecutaSentencia(b.config.ruta(), "INSERT INTO CANALES VALUES (2,5,'')"));
        QVERIFY(b.config.recarga());
        b.config.IniSecue(b.tablas);
        QCOMPARE(int(b.tablas.canal(2, canal).SecTotal), secuencias);
        const QString c = QString("%1").arg(canal, 2, 10, QChar('0'));
        b.tablas.LimSup(2, canal, secuencias) = 50;
        for (int s = 1; s < secuencias; ++s)
            b.lee(c + "1");
        b.lee(c + "99"); // out of limits on the last sequence: the cycle starts again
        QCOMPARE(int(b.tablas.canal(2, canal).SecActual), 0);
        b.lee(c + "5");
        QCOMPARE(b.tablas.NumLecturas[2], double(secuencias + 1));
        QVERIFY(b.log.lineas(2).last().startsWith(" " + c + "/01 2026/12/04"));
        QVERIFY(b.grabador.valores().last().endsWith("=5"));
        QCOMPARE(b.tablas.NumGrabadas[2], double(secuencias));
    }

    void camposAdicionales() {
        Banco b;
        b.lee("0412.5");
        QCOMPARE(b.grabador.llamadas.size(), 2); // EAVal2 is blank: no second additional field
        QCOMPARE(b.grabador.llamadas[1].Carac, QString("LOTE"));
        QCOMPARE(b.grabador.llamadas[1].Valor, QString("L-77"));
        QCOMPARE(b.grabador.llamadas[1].DTMP, 999.0f);
        QCOMPARE(b.grabador.llamadas[0].DTMP, 30.0f);
    }

    void resultados_data() {
        QTest::addColumn<int>("codigo");
        QTest::addColumn<QString>("linea");
        QTest::addColumn<double>("grabadas");
        QTest::newRow("1") << 1 << " 03/01 No existe /datos/F1" << 0.0;
        QTest::newRow("2") << 2 << " 03/01 No existe /datos/F1/TORNO1" << 0.0;
        QTest::newRow("3") << 3 << " 03/01 No existe la base /datos/F1/TORNO1/EJE20.MDB" << 0.0;
        // The value of a failed write stays on the log.
        QTest::newRow("6") << 6 << " 03/01 No se grabó DIAM = 12" << 0.0;
        QTest::newRow("0") << 0 << "" << 1.0;
    }
    void resultados() {
        QFETCH(int, codigo);
        QFETCH(QString, linea);
        QFETCH(double, grabadas);
        Banco b;
        b.grabador.resultados = {ResultadoGrabacion(codigo)};
        b.lee("0312");
        QCOMPARE(b.log.lineas(2).size(), linea.isEmpty() ? 1 : 2);
        if (!linea.isEmpty())
            QCOMPARE(b.log.lineas(2)[1], linea.leftJustified(92));
        QCOMPARE(b.tablas.NumGrabadas[2], grabadas);
        QCOMPARE(b.tablas.NumLecturas[2], 1.0);
    }

    void fallaDeUnCampoAdicional() {
        Banco b;
        b.grabador.resultados = {
            ResultadoGrabacion::Grabado,
            ResultadoGrabacion::Error}; // the value is written, its additional field is not
        b.lee("0412.5");
        QCOMPARE(b.log.lineas(2).last(),
                 QString(" 04/01 No se grabó LOTE = L-77").leftJustified(92));
        QCOMPARE(b.tablas.NumGrabadas[2], 1.0);
        Banco c;
        c.grabador.resultados = {
            ResultadoGrabacion::Error,
            ResultadoGrabacion::Grabado}; // the value failed: a later success does not hide it
        c.lee("0412.5");
        QCOMPARE(c.log.lineas(2).last(),
                 QString(" 04/01 No se grabó DIAM = 12.5").leftJustified(92));
        QCOMPARE(c.tablas.NumGrabadas[2], 0.0);
    }

    void cajaDeTresFilas() {
        Banco b;
        b.log.fijaFilas(2, LogPuertos::filasPorAltura(3 * 210 + 90));
        QCOMPARE(b.log.filas(2), 3);
        for (int i = 1; i <= 5; ++i)
            b.lee(QString("03%1").arg(i));
        QCOMPARE(b.log.lineas(2).size(), 3);
        QVERIFY(b.log.lineas(2)[0].contains("TEMP   3"));
        QVERIFY(b.log.lineas(2)[2].contains("LARGO  5"));
        QCOMPARE(b.log.texto(2).size(), 3 * 94);
    }

    void modoTabla() {
        Banco b;
        b.tablas.fijaTabla(2, {CampoTid{"", 1, 4, "ESPESOR"}, CampoTid{"X", 1, 2, "ANCHO"}});
        b.reg.RegistraLectura(2, "0312.5", "", "", 2);
        QVERIFY(b.log.lineas(2)[0].contains("EJE20 ANCHO  12.5"));
        QCOMPARE(b.grabador.valores(), QStringList{"ANCHO=12.5"});
    }

    void fueraDeTablasNoCambiaNada() {
        Banco b;
        b.tablas.canal(2, 3).SecActual = 50;
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, b.lee("0312"));
        QCOMPARE(int(b.tablas.canal(2, 3).SecActual), 50);
        QCOMPARE(b.tablas.NumLecturas[2], 0.0);
        QVERIFY_THROWS_EXCEPTION(FueraDeTabla, b.reg.RegistraLectura(17, "0312", "", ""));
    }
};

QTEST_GUILESS_MAIN(TstRegistroLectura)
#include "tst_registrolectura.moc"
