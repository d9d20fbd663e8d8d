#include "monitor/conectaabre.h"
#include "ports/tablacampos.h"
#include "support/banco.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

const QString kArchivo = QStringLiteral("/prog/MX8.TID");

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
    "INSERT INTO INS VALUES ('TAB3','Tabla de 3','RS232','','','9600','N','8','1','','','1','13','1');"
    "INSERT INTO INS VALUES ('TABX','Sin tabla','RS232','','','9600','N','8','1','','','1','13','1');";
// clang-format on

// The demo plant's connection records and those above, opened on fake ports.
struct Conexiones : Banco {
    Conexiones() {
        texto(43, 1, "Puerto");
        if (!mtvx(kRegistros))
            qFatal("no Metrovax database");
    }
    void abre(int p, const QString& conex) {
        t.puerto(p).Conex = conex.leftJustified(5, ' ', true);
        ConnectAbre(e, t, puertos, p,
                    [this](const QString& clave) { return registroINS(e, clave); });
    }
};

} // namespace

class TstConectaAbre : public QObject {
    Q_OBJECT
private slots:
    void interpreta_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("separador");
        QTest::addColumn<QString>("campos");
        // Each problem as "number@line" (line 0: the file as a whole).
        QTest::addColumn<QStringList>("problemas");

        // clang-format off
        QTest::addRow("title and two records") << "Balanza\nPeso,3,6,PESO\nTara,1,4,TARA\n" << -99 << "Peso 3 6 PESO|Tara 1 4 TARA" << QStringList{};
        QTest::addRow("separator upper case") << "SEP=44\nBalanza\n,3,4,DIAM\n" << 44 << " 3 4 DIAM" << QStringList{};
        QTest::addRow("separator mixed case with blank") << "Sep= 9,Titulo\nA,1,2,X\n" << 9 << "A 1 2 X" << QStringList{};
        QTest::addRow("title of several items skips only the first") << "Balanza,Peso,3,6,PESO\n" << -99 << "Peso 3 6 PESO" << QStringList{};
        QTest::addRow("record over several lines") << "T\nPeso\n3\n6\nPESO\n" << -99 << "Peso 3 6 PESO" << QStringList{};
        QTest::addRow("quoted items keep commas") << "\"Tabla, 1\"\n\"P,1\",2,3,\"C 1\"\n" << -99 << "P,1 2 3 C 1" << QStringList{};
        QTest::addRow("numbers with blanks, sign and decimals") << "T\nA, 2 ,-1,X\nB,2.5,3.5,Y\n" << -99 << "A 2 -1 X|B 2 4 Y" << QStringList{};
        QTest::addRow("non-numeric position") << "T\nA,x,2,X\nB,1,2,Y\n" << -99 << "B 1 2 Y" << QStringList{"13@2"};
        QTest::addRow("position beyond 16 bits") << "T\nA,40000,2,X\n" << -99 << "" << QStringList{"6@2"};
        QTest::addRow("truncated last record") << "T\nA,1,2,X\nB,3\n" << -99 << "A 1 2 X" << QStringList{"62@3"};
        QTest::addRow("trailing empty line") << "T\nA,1,2,X\n\n" << -99 << "A 1 2 X" << QStringList{"62@3"};
        QTest::addRow("several trailing empty and blank lines") << "T\nA,1,2,X\n\n  \n\n\n\n" << -99 << "A 1 2 X" << QStringList{"62@3"};
        QTest::addRow("empty file") << "" << -99 << "" << QStringList{"62@0"};
        QTest::addRow("only a title") << "Balanza\n" << -99 << "" << QStringList{};
        QTest::addRow("separator without title") << "SEP=44" << 44 << "" << QStringList{"62@1"};
        QTest::addRow("separator's leading number") << "SEP=44 coma\nT\nA,1,2,X\n" << 44 << "A 1 2 X" << QStringList{};
        QTest::addRow("separator not a number") << "SEP=coma\nT\nA,1,2,X\n" << -99 << "A 1 2 X" << QStringList{"13@1"};
        QTest::addRow("length not a number") << "T\nA,1,2,X\nB,1,dos,Y\n" << -99 << "A 1 2 X" << QStringList{"13@3"};
        // clang-format on
    }
    void interpreta() {
        QFETCH(QString, texto);
        QFETCH(int, separador);
        QFETCH(QString, campos);
        QFETCH(QStringList, problemas);
        const TablaCampos t = interpretaTablaCampos(texto, kArchivo);
        QCOMPARE(int(t.separador), separador);
        QStringList leidos, vistos; // "label position length characteristic"
        for (const CampoTabla& c : t.campos)
            leidos << QStringLiteral("%1 %2 %3 ").arg(c.etiqueta).arg(c.posicion).arg(c.longitud) +
                          c.caracteristica;
        QCOMPARE(leidos.join(u'|'), campos);
        for (const Falla& f : t.problemas) {
            QVERIFY(f.fuente == "TablaCampos" && f.descripcion.startsWith(kArchivo));
            const auto m = QRegularExpression(QStringLiteral("línea (\\d+)")).match(f.descripcion);
            vistos << QStringLiteral("%1@%2").arg(f.numero).arg(m.hasMatch() ? m.captured(1) : "0");
        }
        QCOMPARE(vistos, problemas);
    }

    // Serial steps ("*": not looked at), opening bytes, notices, start/terminator/type.
    void serie_data() {
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QStringList>("pasos");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("mensajes");
        QTest::addColumn<QString>("recepcion");
        using L = QStringList;
        // clang-format off
        QTest::addRow("MX8 padded") << "MX8" << L{"CommPort=2", "Settings=4800,E,7,2", "RThreshold=1", "DTREnable=1", "RTSEnable=1", "PortOpen=1"} << QByteArray() << L{} << "1 10 RS232";
        QTest::addRow("buffer 4096") << "PEL10" << L{"CommPort=2", "Settings=9600,N,8,1", "InBufferSize=4096", "RThreshold=10", "DTREnable=1", "RTSEnable=1", "PortOpen=1"} << QByteArray("$RE 0\r$RA 3\r$AZ\r") << L{"PEL10: Inicialización OK."} << "3 13 RS232";
        QTest::addRow("threshold 0") << "DL-10" << L{"CommPort=2", "Settings=9600,N,8,1", "RThreshold=1", "DTREnable=1", "RTSEnable=1", "PortOpen=1"} << QByteArray("S1A1000\r") << L{} << "1 13 RS232";
        QTest::addRow("XRITE") << "XRITE" << L{"*"} << QByteArray(" os\r") << L{} << "";
        QTest::addRow("lower-case key") << "pel10" << L{"*"} << QByteArray() << L{} << "";
        QTest::addRow("no record") << "MX8X" << L{} << QByteArray() << L{"MX8X . Conexión no configurada."} << "";
        // clang-format on
    }
    void serie() {
        QFETCH(QString, conex);
        QFETCH(QStringList, pasos);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, mensajes);
        QFETCH(QString, recepcion);
        Conexiones b;
        b.abre(2, conex);
        const auto& s = b.puertos.serie(2);
        QCOMPARE(b.avisos.textos(), mensajes);
        QVERIFY(s.abierto() == !pasos.isEmpty() && s.escrito() == bytes);
        QVERIFY(pasos == QStringList{"*"} || s.pasos == pasos);
        const QString r = QString::number(b.t.PosInicio[2]) + ' ' + QString::number(b.t.CarTerm[2]);
        QVERIFY(recepcion.isEmpty() || r + ' ' + b.t.puerto(2).TipoCon == recepcion);
    }

    void pasosQueFallan() {
        Conexiones b;
        // A busy device: each failing step told, the reception settings stored all the same.
        b.puertos.serie(3).fallaEn(PuertoSerieFalso::Paso::Abre);
        b.abre(3, "XRITE");
        b.abre(4, "MALO"); // settings that cannot be understood
        const QStringList m = b.avisos.textos();
        QVERIFY2(m.size() == 3 &&
                     m[0].startsWith("ORT. ConnectAbre.\n\nPuerto 3\nPuertoSerie\n8005.- ") &&
                     m[1].contains("\n8018.- ") && m[2].contains("\n380.- "),
                 qPrintable(m.join(u'|')));
        QVERIFY(b.t.CarTerm[3] == 13 && b.t.puerto(3).TipoCon == "RS232" &&
                !b.puertos.serie(3).abierto());
    }

    // A lower-case type is TCP/IP too; a port out of range is refused.
    void socket() {
        Conexiones b;
        b.abre(6, "RED1");
        b.abre(7, "RED2");
        const auto& t = b.puertos.tcp(6);
        QVERIFY(t.host == "10.1.2.3" && t.puerto == 5001 && b.t.PosInicio[6] == 2 &&
                b.t.CarTerm[6] == 10);
        QVERIFY(b.t.puerto(7).TipoCon == "TCP/IP" && b.puertos.serie(6).pasos.isEmpty() &&
                !b.puertos.tcp(7).conectado() && b.avisos.mensajes.size() == 1);
    }

    // The field table named by the key, any letter case; each problem told.
    void tablasDeCampos() {
        Conexiones b;
        b.dir.escribe("tab3.tid",
                      QByteArray("\"Tres campos\"\r\n,1,5,DI\xc1M\r\nL=,2,3,LARGO\r\nX,1,2,Y\r\n"));
        b.dir.escribe("TAB8.TID", QString("SEP=44\r\nTitulo\r\nA,x,4,C1\r\nB,1,2,C2\r\nC,1\r\n"));
        b.abre(2, "TAB3"); // no problem: the two of the list below are TAB8's
        b.abre(1, "TAB8");
        QVERIFY(b.t.TidNum[2] == 3 && b.t.SepTabla[2] == -99 && b.t.Tabla[2] == "1");
        QVERIFY(b.t.Tid(2, 1).Carac == "DIÁM" && b.t.Tid(2, 2).Etiq == "L=" &&
                b.t.Tid(2, 2).Carac == "LARGO");
        QVERIFY(b.t.TidNum[1] == 1 && b.t.SepTabla[1] == 44 && b.t.Tid(1, 1).Etiq == "B" &&
                b.t.TidMax == 3);
        b.abre(5, "TABX"); // no file
        const QStringList m = b.avisos.textos();
        QVERIFY2(m.size() == 3 && m[1].startsWith("ORT. ConnectAbre.\n\nPuerto 1\nTablaCampos\n") &&
                     m[2].contains(
                         QString("Puerto 5\nTablaCampos\n%1.- ").arg(kFallaArchivoNoEncontrado)) &&
                     m[2].contains("TABX.TID"),
                 qPrintable(m.join(u'|')));
        QVERIFY(b.t.TidNum[5] == 0 && b.t.SepTabla[5] == kSinSeparador);
    }
};

QTEST_GUILESS_MAIN(TstConectaAbre)
#include "tst_conectaabre.moc"
