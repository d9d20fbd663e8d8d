#include "support/contextofalso.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// A DP3DX/DP7 record: value at 10, date mm?dd?yy at 19, time hh?nn at 28.
QString Y02(const QString& valor, const QString& mm, const QString& dd, const QString& yy,
            const QString& hh = QStringLiteral("10"), const QString& nn = QStringLiteral("30")) {
    return TramaCon({{1, "Y02"},
                     {10, valor},
                     {19, mm},
                     {21, "/"},
                     {22, dd},
                     {24, "/"},
                     {25, yy},
                     {28, hh},
                     {30, ":"},
                     {31, nn}});
}

// A QMATE data line of the given length: blank in column 2, values of 10 every 11 from 20.
QString Qmate(int largo) {
    QString t = TramaCon({{1, "Q"}, {3, "LOTE 7"}}, largo);
    for (int k = 1; 11 * k + 9 <= largo; ++k)
        t.replace(11 * k + 8, 10,
                  QStringLiteral("%1").arg(k * 1.25, 10, 'f', 3, QChar(u'0')).left(largo));
    return t.left(largo);
}

} // namespace

class TstDecodificadoresRespuesta : public QObject {
    Q_OBJECT
private slots:
    // The frames decoded in turn (one receive pass) with further frames queued on the port;
    // readings as "channel:value @date time".
    void lecturas_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<int>("puerto");
        QTest::addColumn<QStringList>("tramas");
        QTest::addColumn<QStringList>("pendientes");
        QTest::addColumn<QStringList>("esperado");
        QTest::addColumn<int>("fallas");
        QTest::addColumn<int>("notas");
        const QStringList nada;

        QTest::newRow("GSE01 B two values on unit + 1")
            << "GSE01" << 1 << QStringList{"B2,10.5,11.0"} << nada
            << QStringList{"03:10.5", "03:11.0"} << 0 << 0;
        QTest::newRow("GSE01 B unit 9 is channel 10")
            << "GSE01" << 1 << QStringList{"B9,1,2,3"} << nada << QStringList{"10:1", "10:2,3"} << 0
            << 0;
        QTest::newRow("GSE01 B empty values")
            << "GSE01" << 1 << QStringList{"B0,,"} << nada << QStringList{"01:", "01:"} << 0 << 0;
        QTest::newRow("GSE01 B with one comma")
            << "GSE01" << 1 << QStringList{"B2,10.5"} << nada << nada << 0 << 1;
        QTest::newRow("GSE01 B without commas")
            << "GSE01" << 1 << QStringList{"B2 10.5"} << nada << nada << 0 << 1;
        QTest::newRow("GSE01 other message")
            << "GSE01" << 1 << QStringList{"C2,1,2"} << nada << nada << 0 << 0;

        QTest::newRow("AND status then value")
            << "AND" << 1 << QStringList{"ST"} << QStringList{"00012.3"}
            << QStringList{"01:00012.3"} << 0 << 0;
        QTest::newRow("AND overload")
            << "AND" << 1 << QStringList{"OL"} << QStringList{"00012.3"} << nada << 0 << 0;
        QTest::newRow("AND value frame missing")
            << "AND" << 1 << QStringList{"ST"} << nada << nada << 0 << 1;
        QTest::newRow("AND takes only the next frame")
            << "AND" << 1 << QStringList{"ST"} << QStringList{"1", "2"} << QStringList{"01:1"} << 0
            << 0;

        QTest::newRow("PEL10 value frame")
            << "PEL10" << 1 << QStringList{"X12.5"} << nada << QStringList{"01:12.5"} << 0 << 0;
        QTest::newRow("PEL10 fillers before the value")
            << "PEL10" << 1 << QStringList{"X00abc"} << QStringList{"X0012", "X12.5", "X9"}
            << QStringList{"01:12.5"} << 0 << 0;
        QTest::newRow("PEL10 fillers only")
            << "PEL10" << 1 << QStringList{"X00"} << QStringList{"X00"} << nada << 0 << 1;

        QTest::newRow("DL-10 batch until nothing waits")
            << "DL-10" << 1 << QStringList{"12345678X"} << QStringList{"00000002", "", "3"}
            << QStringList{"01:12345678", "01:00000002", "01:3"} << 0 << 0;
        QTest::newRow("DL-10 end of dump")
            << "DL-10" << 1 << QStringList{"00000001"} << QStringList{"90000000", "00000003"}
            << QStringList{"01:00000001"} << 0 << 0;

        QTest::newRow("DP7 year 95 is 1995")
            << "DP7" << 1 << QStringList{Y02("+0012.500", "04", "12", "95")} << nada
            << QStringList{"01:+0012.500 @19950412 1030"} << 0 << 0;
        QTest::newRow("DP7 year 05 is 2005")
            << "DP7" << 1 << QStringList{Y02("+0012.500", "04", "12", "05")} << nada
            << QStringList{"01:+0012.500 @20050412 1030"} << 0 << 0;
        QTest::newRow("DP3DX year 80 is 1980")
            << "DP3DX" << 1 << QStringList{Y02("-0000.125", "12", "31", "80", "23", "59")} << nada
            << QStringList{"01:-0000.125 @19801231 2359"} << 0 << 0;
        QTest::newRow("DP3DX batch, other records skipped")
            << "DP3DX" << 1 << QStringList{Y02("+0001.000", "01", "02", "26")}
            << QStringList{"Y01 HEADER", Y02("+0002.000", "03", "04", "26", "05", "06")}
            << QStringList{"01:+0001.000 @20260102 1030", "01:+0002.000 @20260304 0506"} << 0 << 0;
        QTest::newRow("DP7 date that is not one")
            << "DP7" << 1 << QStringList{Y02("1", "13", "01", "26")} << nada << nada << 1 << 0;
        QTest::newRow("DP7 record cut short")
            << "DP7" << 1 << QStringList{"Y02      12.5"} << nada << nada << 1 << 0;

        QTest::newRow("QMATE 40 characters, two values")
            << "QMATE" << 1 << QStringList{Qmate(40)} << nada
            << QStringList{"01:000001.250", "01:000002.500"} << 0 << 0;
        QTest::newRow("QMATE 34 characters round down to one")
            << "QMATE" << 1 << QStringList{Qmate(34)} << nada << QStringList{"01:000001.250"} << 0
            << 0;
        QTest::newRow("QMATE 35 characters round up to two")
            << "QMATE" << 1 << QStringList{Qmate(35)} << nada
            << QStringList{"01:000001.250", "01:00000"} << 0 << 0;
        QTest::newRow("QMATE shorter than its head")
            << "QMATE" << 1 << QStringList{Qmate(12)} << nada << nada << 0 << 0;
        QTest::newRow("QMATE no blank in column 2")
            << "QMATE" << 1 << QStringList{"QX" + Qmate(40).mid(2)} << nada << nada << 0 << 0;
        QTest::newRow("QMATE batch")
            << "QMATE" << 1 << QStringList{"HEADER"} << QStringList{Qmate(29), Qmate(29)}
            << QStringList{"01:000001.250", "01:000001.250"} << 0 << 0;

        QTest::newRow("TDLRF port as channel")
            << "TDLRF" << 3 << QStringList{"12.34 10:30    04/12/2026"} << nada
            << QStringList{"03:12.34 @20261204 1030"} << 0 << 0;
        QTest::newRow("TDLRF port 12") << "TDLRF" << 12 << QStringList{"-0.50 23:59    31/12/1999"}
                                       << nada << QStringList{"12:-0.50 @19991231 2359"} << 0 << 0;
        QTest::newRow("TDLRF time that is not one")
            << "TDLRF" << 3 << QStringList{"12.34 25:30    04/12/2026"} << nada << nada << 1 << 0;
        QTest::newRow("TDLRF frame without date")
            << "TDLRF" << 3 << QStringList{"12.34"} << nada << nada << 1 << 0;

        QTest::newRow("TODLR after NET") << "TODLR" << 3 << QStringList{"G 1 NET0012.50kg"} << nada
                                         << QStringList{"03:0012.50"} << 0 << 0;
        QTest::newRow("TODLR lower-case net") << "TODLR" << 16 << QStringList{"gross 9 net 12.5"}
                                              << nada << QStringList{"16: 12.5"} << 0 << 0;
        QTest::newRow("TODLR Latin-1 sharp s before NET")
            << "TODLR" << 3 << QStringList{QString::fromLatin1("Ma\xdf NET0012.50kg")} << nada
            << QStringList{"03:0012.50"} << 0 << 0;
        QTest::newRow("TODLR without NET")
            << "TODLR" << 3 << QStringList{"GROSS 12.5"} << nada << nada << 0 << 0;

        QTest::newRow("DM510 header, then lines without date")
            << "DM510" << 1 << QStringList{"Date,Time,A,B,C,Value", ",,a,b,c,1.0", ",10:30,a,b,c,2"}
            << nada << nada << 0 << 0;
        QTest::newRow("DM510 date and time carried over")
            << "DM510" << 1
            << QStringList{"4/12/2026,10:30,a,b,c,12.5", ",10:45,a,b,c,13.5", ",,a,b,c,14.5"}
            << nada
            << QStringList{"01:12.5 @20261204 1030", "01:13.5 @20261204 1045",
                           "01:14.5 @20261204 1045"}
            << 0 << 0;
        QTest::newRow("DM510 day first with dashes and seconds")
            << "DM510" << 1 << QStringList{"25-01-2026,7:05:59,a,b,c,1,5"} << nada
            << QStringList{"01:1,5 @20260125 0705"} << 0 << 0;
        QTest::newRow("DM510 ISO date")
            << "DM510" << 1 << QStringList{"2026-12-04,23:59:00,a,b,c,-1"} << nada
            << QStringList{"01:-1 @20261204 2359"} << 0 << 0;
        QTest::newRow("DM510 date then header")
            << "DM510" << 1 << QStringList{"4/12/2026,10:30,a,b,c,1", "Date,Time,A,B,C,V", ",,,,,2"}
            << nada << QStringList{"01:1 @20261204 1030"} << 0 << 0;
        QTest::newRow("DM510 date that does not convert")
            << "DM510" << 1 << QStringList{"31/02/2026,10:30,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 time that does not convert")
            << "DM510" << 1 << QStringList{"4/12/2026,10:75,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 month-first date does not convert")
            << "DM510" << 1 << QStringList{"12/25/2026,10:30,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 ISO date with one-digit day")
            << "DM510" << 1 << QStringList{" 2026-1-4 , 9:05 ,a,b,c,7"} << nada
            << QStringList{"01:7 @20260104 0905"} << 0 << 0;
        QTest::newRow("DM510 negative year")
            << "DM510" << 1 << QStringList{"4/12/-2026,10:30,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 mixed separators")
            << "DM510" << 1 << QStringList{"4/12-2026,10:30,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 two-digit year")
            << "DM510" << 1 << QStringList{"4/12/26,10:30,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 time with a line feed")
            << "DM510" << 1 << QStringList{"4/12/2026,10:30\n,a,b,c,1"} << nada << nada << 1 << 0;
        QTest::newRow("DM510 bad line leaves the previous date")
            << "DM510" << 1
            << QStringList{"4/12/2026,10:30,a,b,c,1", "5/12/2026,99:99,a,b,c,2", ",,a,b,c,3"}
            << nada << QStringList{"01:1 @20261204 1030", "01:3 @20261204 1030"} << 1 << 0;
        QTest::newRow("DM510 short line ignored, keeps nothing")
            << "DM510" << 1 << QStringList{"4/12/2026,10:30,a,b", ",,a,b,c,3"} << nada
            << QStringList{"01:3"} << 0 << 1;
        QTest::newRow("DM510 line without commas")
            << "DM510" << 1 << QStringList{"12.5"} << nada << nada << 0 << 1;
    }
    void lecturas() {
        QFETCH(QString, codigo);
        QFETCH(int, puerto);
        QFETCH(QStringList, tramas);
        QFETCH(QStringList, pendientes);
        QFETCH(QStringList, esperado);
        QFETCH(int, fallas);
        QFETCH(int, notas);
        RelojFalso reloj;
        ContextoFalso c(reloj, puerto);
        c.pendientes = pendientes;
        EstadoDecodificadores e;
        const QStringList motivos = DecodificaTramas(codigo, tramas, c, e);
        QCOMPARE(motivos.size(), fallas);
        QCOMPARE(c.resumen(), esperado);
        QCOMPARE(c.notas.size(), notas);
        const QString revision = RevisaNotas(motivos, c, tramas + pendientes);
        QVERIFY2(revision.isEmpty(), qPrintable(revision));
        QVERIFY(c.escrituras.isEmpty());
    }

    // "A": "+++", a one-second pause, the dial command, then the context of channel n + 1.
    void gse01Llamada() {
        const QDateTime t0(QDate(2026, 12, 4), QTime(9, 5, 7));
        RelojFalso reloj(t0);
        ContextoFalso c(reloj, 5);
        c.comandosGse[4] = QStringLiteral("80.3P=\"P01\"%o11%^");
        EstadoDecodificadores e;
        QCOMPARE(DecodificaConRegistro(QStringLiteral("GSE01"), QStringLiteral("A3"), c, e),
                 std::nullopt);
        QCOMPARE(c.escrituras.size(), 3);
        QCOMPARE(c.escrituras[0].datos, QByteArray("+++"));
        QCOMPARE(c.escrituras[0].cuando, t0);
        QCOMPARE(c.escrituras[1].datos, QByteArray("ATDT 03, WR, CN\r"));
        QCOMPARE(c.escrituras[1].cuando, t0.addSecs(1));
        QCOMPARE(c.escrituras[2].datos, QByteArray("80.3P=\"P01\"%o11%^"));
        QCOMPARE(c.escrituras[2].cuando, t0.addSecs(1));
        QCOMPARE(c.pausas.size(), 1);
        QCOMPARE(c.pausas[0].segundos, 1.0);
        QCOMPARE(reloj.dormido, qint64(1000));
        QCOMPARE(c.canalesGse, QList<int>{4});
        QVERIFY(c.lecturas.isEmpty());
    }

    // A look-up that failed gives an empty command: nothing is sent after the dial command.
    void gse01SinComando() {
        RelojFalso reloj;
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        DecodificaConRegistro(QStringLiteral("GSE01"), QStringLiteral("A0"), c, e);
        QCOMPARE(c.canalesGse, QList<int>{1});
        QCOMPARE(c.escrituras.size(), 2);
        QCOMPARE(c.escrituras[1].datos, QByteArray("ATDT 00, WR, CN\r"));
    }

    // The end-of-dump record closes the port: no reading for it, the rest left unread.
    void dl10CierraElPuerto() {
        RelojFalso reloj;
        ContextoFalso c(reloj);
        c.pendientes = QStringList{"00000002", "87654321", "00000004"};
        EstadoDecodificadores e;
        DecodificaConRegistro(QStringLiteral("DL-10"), QStringLiteral("00000001"), c, e);
        QCOMPARE(c.resumen(), (QStringList{"01:00000001", "01:00000002"}));
        QCOMPARE(c.cierres, 1);
        QVERIFY(!c.puertoAbierto());
        QCOMPARE(c.pendientes, QStringList{"00000004"});
    }

    // Batch readers stop as soon as nothing waits after a frame.
    void loteSoloLoQueEspera() {
        RelojFalso reloj;
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        DecodificaConRegistro(QStringLiteral("QMATE"), Qmate(29), c, e);
        QCOMPARE(c.tramasLeidas, 0);
        c.pendientes = QStringList{"X", "Y"};
        DecodificaConRegistro(QStringLiteral("DP3DX"), QStringLiteral("X"), c, e);
        QCOMPARE(c.tramasLeidas, 2);
        QVERIFY(c.pendientes.isEmpty());
    }

    // A batch reader does not clear the instrument's date between the frames it reads itself.
    void loteConservaFecha() {
        RelojFalso reloj;
        ContextoFalso c(reloj);
        c.pendientes = QStringList{"Y01 HEADER"};
        EstadoDecodificadores e;
        DecodificaConRegistro(QStringLiteral("DP7"), Y02("+0001.000", "01", "02", "26"), c, e);
        QCOMPARE(c.FechaInst, QStringLiteral("20260102"));
        QCOMPARE(c.HoraInst, QStringLiteral("1030"));
    }

    // DM510 keeps its date and time for one receive pass only.
    void dm510PorPasada() {
        RelojFalso reloj;
        EstadoDecodificadores e;
        ContextoFalso primera(reloj);
        DecodificaConRegistro(QStringLiteral("DM510"), QStringLiteral("4/12/2026,10:30,a,b,c,1"),
                              primera, e);
        ContextoFalso segunda(reloj);
        DecodificaConRegistro(QStringLiteral("DM510"), QStringLiteral(",,a,b,c,2"), segunda, e);
        QCOMPARE(segunda.resumen(), QStringList{"01:2"});
    }

    // Only the first four seconds of every ten minutes are sampled.
    void ishid_data() {
        QTest::addColumn<QTime>("hora");
        QTest::addColumn<QString>("trama");
        QTest::addColumn<QStringList>("esperado");
        const QString e2 = QStringLiteral("E2 1234xx");
        QTest::newRow("10:00:02") << QTime(10, 0, 2) << e2 << QStringList{"01:123.4"};
        QTest::newRow("10:00:05") << QTime(10, 0, 5) << e2 << QStringList();
        QTest::newRow("10:00:00") << QTime(10, 0, 0) << e2 << QStringList{"01:123.4"};
        QTest::newRow("10:00:03.4 rounds to 3")
            << QTime(10, 0, 3, 400) << e2 << QStringList{"01:123.4"};
        QTest::newRow("10:00:03.5 rounds to even 4") << QTime(10, 0, 3, 500) << e2 << QStringList();
        QTest::newRow("10:09:59.6 rounds to 10:10:00")
            << QTime(10, 9, 59, 600) << e2 << QStringList{"01:123.4"};
        QTest::newRow("10:10:03 tenths") << QTime(10, 10, 3) << "E2-0005" << QStringList{"01:-0.5"};
        QTest::newRow("other record") << QTime(10, 0, 2) << "E3 1234" << QStringList();
    }
    void ishid() {
        QFETCH(QTime, hora);
        QFETCH(QString, trama);
        QFETCH(QStringList, esperado);
        RelojFalso reloj(QDateTime(QDate(2026, 12, 4), hora));
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        QCOMPARE(DecodificaConRegistro(QStringLiteral("ISHID"), trama, c, e), std::nullopt);
        QCOMPARE(c.resumen(), esperado);
    }
};

QTEST_GUILESS_MAIN(TstDecodificadoresRespuesta)
#include "tst_decodificadores_respuesta.moc"
