#include "ports/conectaabre.h"
#include "ports/fabricapuertos.h"
#include "support/banco.h"
#include "support/pty.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// Connection records beyond the demo plant's: one per case of the tests below.
// clang-format off
const char* kRegistros =
    "INSERT INTO INS VALUES ('MX8','Multiplexor 8','RS232','','','4800','E','7','2','1024','','0','10','');"
    "INSERT INTO INS VALUES ('PEL10','Pelicula','RS232','','','9600','N','8','1','4096','10','3','13','0');"
    "INSERT INTO INS VALUES ('DL-10','Registrador','RS232','','','9600','N','8','1','','0','1','13','');"
    "INSERT INTO INS VALUES ('RED1','Calibre en red','tcp/ip','10.1.2.3','5001','','','','','','','2','10','');"
    "INSERT INTO INS VALUES ('RED2','Puerto malo','TCP/IP','127.0.0.1','70000','','','','','','','1','13','');"
    "INSERT INTO INS VALUES ('MALO','Ajustes malos','RS232','','','9600','X','8','1','','','1','13','');"
    "INSERT INTO INS VALUES ('TAB8','Tabla de 8','RS232','','','9600','N','8','1','','','1','13','1');"
    "INSERT INTO INS VALUES ('TAB3','Tabla de 3','RS232','','','9600','N','8','1','','','1','13','1');";
// clang-format on

// The demo plant's connection records and those above, opened on fake ports.
struct Conexiones : Banco {
    Conexiones() {
        texto(43, 1, "Puerto");
        if (!mtvx(kRegistros))
            qFatal("no Metrovax database");
    }
    void abre(int p, const QString& conex, FabricaPuertos& f) {
        t.puerto(p).Conex = conex.leftJustified(5, ' ', true);
        ConnectAbre(e, t, f, p);
    }
    void abre(int p, const QString& conex) { abre(p, conex, puertos); }
};

} // namespace

class TstConectaAbre : public QObject {
    Q_OBJECT
private slots:
    void pasosDeLaLineaSerie_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QStringList>("pasos");
        QTest::addColumn<int>("inicio");
        QTest::addColumn<int>("terminador");
        // A padded key finds its record; a buffer of 1024 stays at its default.
        // clang-format off
        QTest::addRow("MX8 padded") << "MX8" << QStringList{"CommPort=2", "Settings=4800,E,7,2", "RThreshold=1", "DTREnable=1", "RTSEnable=1", "PortOpen=1"} << 1 << 10;
        QTest::addRow("buffer 4096") << "PEL10" << QStringList{"CommPort=2", "Settings=9600,N,8,1", "InBufferSize=4096", "RThreshold=10", "DTREnable=1", "RTSEnable=1", "PortOpen=1"} << 3 << 13;
        QTest::addRow("threshold 0") << "DL-10" << QStringList{"CommPort=2", "Settings=9600,N,8,1", "RThreshold=1", "DTREnable=1", "RTSEnable=1", "PortOpen=1"} << 1 << 13;
        // clang-format on
    }
    void pasosDeLaLineaSerie() {
        QFETCH(QString, conex);
        QFETCH(QStringList, pasos);
        QFETCH(int, inicio);
        QFETCH(int, terminador);
        Conexiones b;
        b.abre(2, conex);
        QCOMPARE(b.puertos.serie(2).pasos, pasos);
        QVERIFY(b.puertos.serie(2).abierto() && b.t.puerto(2).TipoCon == "RS232");
        QVERIFY(b.t.PosInicio[2] == inicio && b.t.CarTerm[2] == terminador);
    }

    void inicializacion_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("mensajes");
        // The record is found whatever the letter case, but the commands need the exact key; a
        // key without a record opens nothing.
        // clang-format off
        QTest::addRow("XRITE") << "XRITE" << QByteArray(" os\r") << QStringList{};
        QTest::addRow("PEL10") << "PEL10" << QByteArray("$RE 0\r$RA 3\r$AZ\r") << QStringList{"PEL10: Inicialización OK."};
        QTest::addRow("lower-case key") << "pel10" << QByteArray() << QStringList{};
        QTest::addRow("no commands") << "CALIB" << QByteArray() << QStringList{};
        QTest::addRow("no record") << "MX8X" << QByteArray() << QStringList{"MX8X . Conexión no configurada."};
        QTest::addRow("short key") << "ZZ" << QByteArray() << QStringList{"ZZ   . Conexión no configurada."};
        // clang-format on
    }
    void inicializacion() {
        QFETCH(QString, conex);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, mensajes);
        Conexiones b;
        b.abre(1, conex);
        QCOMPARE(b.avisos.textos(), mensajes);
        const bool abre = !mensajes.value(0).contains("no configurada");
        QVERIFY(b.puertos.serie(1).abierto() == abre && b.puertos.serie(1).escrito() == bytes);
        QVERIFY(abre || b.puertos.serie(1).pasos.isEmpty());
    }

    void pasosQueFallan() {
        Conexiones b;
        // The device is busy: every failing step has its message, the opening goes on, and the
        // reception settings are stored all the same.
        b.puertos.serie(3).fallaEn(PuertoSerieFalso::Paso::Abre);
        b.abre(3, "XRITE");
        // Opening, then the initialisation.
        QVERIFY2(b.avisos.mensajes.size() == 2 &&
                     b.avisos.mensajes[0].texto.startsWith(
                         "ORT. ConnectAbre.\n\nPuerto 3\nPuertoSerie\n8005.- ") &&
                     b.avisos.mensajes[1].texto.contains("\n8018.- "),
                 qPrintable(b.avisos.textos().join('|')));
        QVERIFY(b.t.CarTerm[3] == 13 && b.t.puerto(3).TipoCon == "RS232");
        QVERIFY(!b.puertos.serie(3).abierto());
        b.abre(4, "MALO"); // settings that cannot be understood
        QVERIFY2(b.avisos.mensajes.size() > 2 && b.avisos.mensajes[2].texto.contains("\n380.- "),
                 qPrintable(b.avisos.textos().join('|')));
    }

    // A lower-case type is TCP/IP too; a port out of range is refused. No serial step, no
    // initialisation.
    void socket_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QString>("destino");
        QTest::addRow("lower-case type") << "RED1"
                                         << "10.1.2.3:5001 2 10";
        QTest::addRow("port out of range") << "RED2"
                                           << "";
    }
    void socket() {
        QFETCH(QString, conex);
        QFETCH(QString, destino);
        Conexiones b;
        b.abre(6, conex);
        const auto& tcp = b.puertos.tcp(6);
        QVERIFY(b.t.puerto(6).TipoCon == "TCP/IP" && b.puertos.serie(6).pasos.isEmpty());
        QCOMPARE(b.avisos.mensajes.size(), destino.isEmpty() ? 1 : 0);
        QVERIFY(!destino.isEmpty() ||
                (b.avisos.mensajes[0].texto.startsWith("ORT. ConnectAbre.") && !tcp.conectado()));
        QVERIFY(destino.isEmpty() || QString("%1:%2 %3 %4")
                                             .arg(tcp.host)
                                             .arg(tcp.puerto)
                                             .arg(b.t.PosInicio[6])
                                             .arg(b.t.CarTerm[6]) == destino);
    }

    // The field table named by the key, whatever its letter case; only complete, sound records
    // are kept, each problem told.
    void tablasDeCampos() {
        Conexiones b;
        b.dir.escribe("tab3.tid",
                      QString("\"Tres campos\"\r\n,1,5,DIAM\r\nL=,2,3,LARGO\r\nX,1,2,Y\r\n"));
        b.dir.escribe("TAB8.TID", QString("SEP=44\r\nTitulo\r\nA,x,4,C1\r\nB,1,2,C2\r\nC,1\r\n"));
        b.abre(2, "TAB3");
        QVERIFY(b.avisos.mensajes.isEmpty());
        b.abre(1, "TAB8");
        QVERIFY(b.t.TidNum[2] == 3 && b.t.SepTabla[2] == -99 && b.t.Tabla[2] == "1");
        QVERIFY(b.t.Tid(2, 2).Etiq == "L=" && b.t.Tid(2, 2).Carac == "LARGO");
        QVERIFY(b.t.TidNum[1] == 1 && b.t.SepTabla[1] == 44 && b.t.Tid(1, 1).Etiq == "B" &&
                b.t.TidMax == 3);
        QCOMPARE(b.avisos.mensajes.size(), 2);
        for (const auto& m : b.avisos.mensajes)
            QVERIFY(m.texto.startsWith("ORT. ConnectAbre.\n\nPuerto 1\nTablaCampos\n"));
    }

    // The instrument on a pseudo-terminal receives the exact bytes, at the line's settings.
    void pseudoTerminal() {
        Conexiones b;
        Pty pty;
        QVERIFY(pty.valido());
        b.dir.escribe("ORTPuertos.IAU", QString("7,%1\r\n").arg(pty.esclavo()));
        FabricaPuertosQt reales(b.dir.ruta());
        b.abre(7, "XRITE", reales);
        QVERIFY2(reales.serie(7).abierto(), qPrintable(b.avisos.textos().join("|")));
        QCOMPARE(pty.lee(4), QByteArray(" os\r"));
        const termios t = pty.atributos();
        QVERIFY(cfgetospeed(&t) == B9600 && !(t.c_cflag & CSTOPB));
    }
};

QTEST_GUILESS_MAIN(TstConectaAbre)
#include "tst_conectaabre.moc"
