// Round trip: the instrument simulator's frames, fed through ORT's decoders, give back exactly
// the readings the simulator says it sent; and the simulator program itself on a
// pseudo-terminal and in a GSE01 dialogue over TCP.
#include "decoding/registro.h"
#include "ortsim/generadores.h"
#include "support/contextofalso.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {

// Inside ISHID's sampling window (the first four seconds of ten minutes).
const QDateTime kReloj(QDate(2026, 12, 4), QTime(10, 0, 2));
// The instruments' own clock.
const QDateTime kCuando(QDate(2026, 3, 1), QTime(0, 1));

// Codes whose frames ORT never records.
const QStringList kSinLectura = {"METDP", "MUXBT", "D3000", "DMYTE"};
// Codes whose readings ORT takes only above zero.
const QStringList kPositivos = {"METBD", "PANA1", "PANA2", "PANA3", "T8530"};

// Readings as "text @date time", comparable and readable in a failure.
QStringList Resumen(const QList<sim::Lectura>& l) {
    QStringList r;
    for (const auto& x : l)
        r << QStringLiteral("%1 @%2 %3").arg(x.texto, x.FechaInst, x.HoraInst);
    return r;
}

// The serial framing: bytes are characters, control characters are dropped (an empty frame
// stays in the queue, where a decoder reading further frames finds it, but is not decoded).
QStringList Enmarca(const QList<QByteArray>& tramas) {
    QStringList r;
    for (const QByteArray& t : tramas) {
        QString s;
        for (char ch : t)
            if (static_cast<unsigned char>(ch) >= 32)
                s += QChar(char16_t(static_cast<unsigned char>(ch)));
        r << s;
    }
    return r;
}

// One receive pass over the frames: each frame the loop takes is decoded, a decoder may read
// the frames after it, and a closed port ends the pass. Returns the decoders' failures.
QStringList Pasada(const QString& codigo, const QList<QByteArray>& tramas, ContextoFalso& c,
                   EstadoDecodificadores& e) {
    c.pendientes += Enmarca(tramas);
    c.limiteLecturas = 10000;
    QStringList fallas;
    while (!c.pendientes.isEmpty() && c.puertoAbierto()) {
        const QString t = c.pendientes.takeFirst();
        if (t.isEmpty())
            continue;
        if (const auto f = DecodificaConRegistro(codigo.leftJustified(5), t, c, e))
            fallas << *f;
    }
    return fallas;
}

QStringList Registradas(const ContextoFalso& c) {
    QList<sim::Lectura> l;
    for (const auto& r : c.lecturas)
        l << sim::Lectura{r.lectura, r.fechaInst, r.horaInst};
    return Resumen(l);
}

// The channels worth trying on an instrument: the first, one in the middle and the last.
QList<int> Canales(int n) {
    QList<int> r{1};
    if (n > 2)
        r << (n + 1) / 2;
    if (n > 1)
        r << n;
    return r;
}

// The value of a reading, blanks ignored.
double ValorDe(const QString& lectura) {
    QString v = lectura.mid(2);
    v.remove(u' ');
    return v.toDouble();
}

QByteArray LineaDe(QProcess& p) {
    QElapsedTimer t;
    t.start();
    while (!p.canReadLine() && t.elapsed() < 10000)
        p.waitForReadyRead(500);
    return p.readLine().trimmed();
}

void Termina(QProcess& p) {
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

// The --sent file: "text<TAB>date<TAB>time" lines.
QStringList Enviadas(const QString& archivo) {
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<sim::Lectura> l;
    for (const QByteArray& linea : f.readAll().split('\n')) {
        if (linea.isEmpty())
            continue;
        const QList<QByteArray> c = linea.split('\t');
        l << sim::Lectura{QString::fromUtf8(c.value(0)), QString::fromUtf8(c.value(1)),
                          QString::fromUtf8(c.value(2))};
    }
    return Resumen(l);
}

// The --heard file: what follows " heard " on each line.
QStringList Oidas(const QString& archivo) {
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList r;
    for (const QByteArray& linea : f.readAll().split('\n')) {
        const qsizetype k = linea.indexOf(" heard ");
        if (k >= 0)
            r << QString::fromLatin1(linea.mid(k + 7));
    }
    return r;
}

} // namespace

class TstIdaVuelta : public QObject {
    Q_OBJECT
private slots:
    // Every code ORT decodes has an instrument of its own in the simulator (TIMER reads the
    // clock, not an instrument), and every instrument the simulator plays is one ORT knows
    // (TABLA stands for a field-table port).
    void cadaCodigoTieneGenerador() {
        const QStringList conocidos = CodigosConocidos();
        for (const QString& codigo : conocidos) {
            if (codigo == u"TIMER")
                continue;
            QVERIFY2(sim::BuscaInstrumento(codigo), qPrintable(codigo + " has no generator"));
        }
        QVERIFY(!sim::BuscaInstrumento(QStringLiteral("TIMER")));
        for (const QString& codigo : sim::CodigosSimulados())
            QVERIFY2(codigo == u"TABLA" || conocidos.contains(codigo),
                     qPrintable(codigo + " is not a code ORT decodes"));
    }

    // Frames of every instrument, for values of both signs, zero, tiny and large ones, on the
    // first, a middle and the last channel, in each frame form, and refused ones.
    void idaVuelta_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<double>("valor");
        QTest::addColumn<int>("canal");
        QTest::addColumn<int>("variante");
        QTest::addColumn<bool>("rechazo");
        const double valores[] = {0, 0.0004, -0.0004, 12.345, -7.25, 98765.4321, -1234.5678, 1e12};
        for (const sim::Instrumento* i : sim::Instrumentos()) {
            const QString codigo = QString::fromLatin1(i->codigo);
            if (codigo == u"TABLA")
                continue;
            for (int variante = 0; variante < i->variantes; ++variante) {
                for (int canal : Canales(i->canales))
                    for (double valor : valores)
                        QTest::addRow("%s v%d c%d %g", i->codigo, variante, canal, valor)
                            << codigo << valor << canal << variante << false;
                QTest::addRow("%s v%d refused", i->codigo, variante)
                    << codigo << 12.345 << i->canales << variante << true;
            }
        }
    }
    void idaVuelta() {
        QFETCH(QString, codigo);
        QFETCH(double, valor);
        QFETCH(int, canal);
        QFETCH(int, variante);
        QFETCH(bool, rechazo);
        sim::Opciones o;
        o.canal = canal;
        o.variante = variante;
        o.rechazo = rechazo;
        o.cuando = kCuando;
        const sim::Muestra m = sim::BuscaInstrumento(codigo)->genera(valor, o);
        QVERIFY(!m.tramas.isEmpty());
        if (rechazo || kSinLectura.contains(codigo))
            QVERIFY(m.lecturas.isEmpty());

        RelojFalso reloj(kReloj);
        // TDLRF and TODLR take the port's number as their channel.
        ContextoFalso c(reloj, canal);
        const QString comando = QStringLiteral("80.3P=\"P01\"%o11%^");
        c.comandosGse[canal] = comando;
        EstadoDecodificadores e;
        QCOMPARE(Pasada(codigo, m.tramas, c, e), QStringList());
        QCOMPARE(Registradas(c), Resumen(m.lecturas));
        if (!rechazo)
            QCOMPARE(c.notas, QStringList());

        if (codigo == u"GSE01") {
            QCOMPARE(m.respuestaTras, 0);
            QCOMPARE(c.canalesGse, QList<int>{canal});
            QCOMPARE(c.escrituras.size(), 3);
            QCOMPARE(c.escrituras[0].datos, QByteArray("+++"));
            QCOMPARE(c.escrituras[1].datos,
                     QStringLiteral("ATDT 0%1, WR, CN\r").arg(canal - 1).toLatin1());
            QCOMPARE(c.escrituras[2].datos, comando.toLatin1());
        } else {
            QCOMPARE(m.respuestaTras, -1);
            QVERIFY(c.escrituras.isEmpty());
        }
        // Only the logger's closing marker closes the port.
        QCOMPARE(c.cierres, codigo == u"DL-10" ? 1 : 0);
    }

    // A round trip could pass with generators that state nothing or ignore their value and
    // channel: every instrument that gives readings states one for a plain value, on the
    // channel asked for, with that value (to the instrument's resolution).
    void generadoresSinTrampa() {
        for (const sim::Instrumento* i : sim::Instrumentos()) {
            const QString codigo = QString::fromLatin1(i->codigo);
            if (kSinLectura.contains(codigo))
                continue;
            for (int variante = 0; variante < i->variantes; ++variante) {
                // TLOAD cannot send small positive numbers; negative ones pass.
                for (double valor : {12.345, 23.456, -12.345}) {
                    if (kPositivos.contains(codigo) && valor < 0)
                        continue;
                    const double v = codigo == u"TLOAD" ? -std::fabs(valor) : valor;
                    sim::Opciones o;
                    o.canal = i->canales;
                    o.variante = variante;
                    const sim::Muestra m = i->genera(v, o);
                    const QString que =
                        QStringLiteral("%1 variant %2 value %3").arg(codigo).arg(variante).arg(v);
                    QVERIFY2(!m.lecturas.isEmpty(), qPrintable(que));
                    QVERIFY2(m.lecturas[0].texto.left(2) ==
                                 QStringLiteral("%1").arg(i->canales, 2, 10, QChar(u'0')),
                             qPrintable(que + ": " + m.lecturas[0].texto));
                    QVERIFY2(std::fabs(ValorDe(m.lecturas[0].texto) - v) < 0.06,
                             qPrintable(que + ": " + m.lecturas[0].texto));
                }
            }
        }
    }

    // Several samples in one receive pass: channels announced anew, batches one after another,
    // DM510's date carried within the pass, the logger's port closed by its first batch.
    void variasMuestras_data() {
        QTest::addColumn<QString>("codigo");
        for (const sim::Instrumento* i : sim::Instrumentos())
            if (QLatin1String(i->codigo) != u"TABLA")
                QTest::newRow(i->codigo) << QString::fromLatin1(i->codigo);
    }
    void variasMuestras() {
        QFETCH(QString, codigo);
        const sim::Instrumento* i = sim::BuscaInstrumento(codigo);
        // TDLRF and TODLR read on the channel of their port: port 16 here.
        const bool canalEsPuerto = codigo == u"TDLRF" || codigo == u"TODLR";
        RelojFalso reloj(kReloj);
        ContextoFalso c(reloj, 16);
        EstadoDecodificadores e;
        QList<QByteArray> tramas;
        QList<sim::Lectura> esperadas;
        for (int k = 0; k < 3; ++k) {
            sim::Opciones o;
            o.canal = canalEsPuerto ? 16 : Canales(i->canales).value(k, 1);
            o.variante = k % i->variantes;
            o.lote = k + 1;
            o.campos = 2;
            o.cuando = kCuando.addDays(k);
            o.rechazo = k == 1 && codigo != u"DL-10";
            const sim::Muestra m = i->genera(-3.5 + 10 * k, o);
            tramas += m.tramas;
            // The logger's first batch closes the port: what follows is not read.
            if (codigo != u"DL-10" || k == 0)
                esperadas += m.lecturas;
        }
        QCOMPARE(Pasada(codigo, tramas, c, e), QStringList());
        QCOMPARE(Registradas(c), Resumen(esperadas));
    }

    // Outside ISHID's sampling window the same frame gives nothing.
    void ishidFueraDeVentana() {
        sim::Opciones o;
        const sim::Muestra m = sim::BuscaInstrumento(QStringLiteral("ISHID"))->genera(12.3, o);
        QCOMPARE(m.lecturas.size(), 1);
        RelojFalso reloj(kReloj.addSecs(3));
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        QCOMPARE(Pasada(QStringLiteral("ISHID"), m.tramas, c, e), QStringList());
        QVERIFY(c.lecturas.isEmpty());
    }

    // The program lists every instrument it plays, one a line.
    void programaLista() {
        QProcess p;
        p.start(QStringLiteral(ORTSIM_PATH), {QStringLiteral("--list")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QStringList listados;
        for (const QByteArray& linea : p.readAllStandardOutput().split('\n'))
            if (!linea.isEmpty())
                listados << QString::fromLatin1(linea.left(linea.indexOf(' ')));
        for (const QString& codigo : CodigosConocidos())
            QVERIFY2(codigo == u"TIMER" || listados.contains(codigo), qPrintable(codigo));
    }

    // The program on a pseudo-terminal: what arrives on the device, framed and decoded by ORT's
    // decoders, is what the --sent file says.
    void programaEnPseudoterminal_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<int>("tramas");
        QTest::addColumn<int>("lecturas");
        QTest::newRow("MUX10 channel 7, split frames")
            << "MUX10"
            << QStringList{"--channel", "7", "--count", "4", "--split", "--values", "random:-50,50"}
            << 4 << 4;
        QTest::newRow("DP7 batches of 2, dated now")
            << "DP7" << QStringList{"--count", "2", "--batch", "2"} << 6 << 4;
        QTest::newRow("FOCUG channel 42, announced, CR LF")
            << "FOCUG" << QStringList{"--channel", "42", "--count", "2", "--lf"} << 4 << 4;
    }
    void programaEnPseudoterminal() {
        QFETCH(QString, codigo);
        QFETCH(QStringList, argumentos);
        QFETCH(int, tramas);
        QFETCH(int, lecturas);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString enviadas = dir.filePath(QStringLiteral("sent.txt"));
        QProcess p;
        p.start(QStringLiteral(ORTSIM_PATH),
                QStringList{"--code", codigo, "--rate", "10", "--sent", enviadas} + argumentos);
        QVERIFY(p.waitForStarted(5000));
        const QByteArray linea = LineaDe(p);
        const QByteArray prefijo = "ortsim: " + codigo.toLatin1() + " on ";
        QVERIFY2(linea.startsWith(prefijo), linea.constData());
        QSerialPort puerto(QString::fromLatin1(linea.mid(prefijo.size())));
        QVERIFY2(puerto.open(QIODevice::ReadOnly), qPrintable(puerto.errorString()));
        // Read while the simulator runs: its line goes away when it ends.
        QByteArray datos;
        QElapsedTimer t;
        t.start();
        while (datos.count('\r') < tramas && t.elapsed() < 20000)
            if (puerto.waitForReadyRead(500))
                datos += puerto.readAll();
        puerto.close();
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);

        QList<QByteArray> recibidas = datos.split('\r');
        QCOMPARE(recibidas.size(), tramas + 1);
        // Every frame ended at its terminator; what follows the last is at most its LF.
        QCOMPARE(Enmarca({recibidas.takeLast()}), QStringList{QString()});
        RelojFalso reloj(kReloj);
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        QCOMPARE(Pasada(codigo, recibidas, c, e), QStringList());
        const QStringList esperadas = Enviadas(enviadas);
        QCOMPARE(esperadas.size(), lecturas);
        QCOMPARE(Registradas(c), esperadas);
    }

    // A GSE01 indicator over TCP, with this test in ORT's place: the indicator asks, is dialled
    // (for another unit than it asked for) and loaded, and only then sends its measurement for
    // the unit dialled. It hears "+++", the dial string and the command as three texts.
    void programaDialogoGse01() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString enviadas = dir.filePath(QStringLiteral("sent.txt"));
        const QString oidas = dir.filePath(QStringLiteral("heard.txt"));
        QProcess p;
        const auto alFinal = qScopeGuard([&p] { Termina(p); });
        p.start(QStringLiteral(ORTSIM_PATH),
                {"--code", "GSE01", "--tcp", "0", "--dialogue", "--channel", "4", "--count", "1",
                 "--rate", "20", "--values", "fixed:12.5", "--sent", enviadas, "--heard", oidas});
        QVERIFY(p.waitForStarted(5000));
        const QByteArray linea = LineaDe(p);
        QVERIFY2(linea.startsWith("ortsim: GSE01 on tcp 127.0.0.1:"), linea.constData());
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"),
                        quint16(linea.mid(linea.lastIndexOf(':') + 1).toUInt()));
        QVERIFY(s.waitForConnected(5000));
        QVERIFY(s.waitForReadyRead(5000));
        // Frames on TCP end at the terminator, as on a serial line.
        QCOMPARE(s.readAll(), QByteArray("A3\r"));

        const QByteArray comando =
            "80.3P=\"P01\"%o80.4P=\"ABC\"%o80.5P=\"5\"%o80.6P=\"7\"%o80.7P=\"OP1\"%o"
            "80.8P=\"JUAN\"%o80.10P=\"XYZ\"%o11%^";
        // "+++" and the dial string in one write: the indicator still hears two texts.
        s.write("+++ATDT 05, WR, CN\r");
        QVERIFY(s.waitForBytesWritten(5000));
        // Dialled but not loaded: the indicator keeps waiting (several of its ticks).
        QVERIFY(!s.waitForReadyRead(300));
        s.write(comando);
        QVERIFY(s.waitForBytesWritten(5000));
        QByteArray medida;
        QElapsedTimer t;
        t.start();
        while (!medida.endsWith("13.500\r") && t.elapsed() < 10000)
            if (s.waitForReadyRead(500))
                medida += s.readAll();
        QCOMPARE(medida, QByteArray("B5,12.500,13.500\r"));
        medida.chop(1);
        QVERIFY(p.waitForFinished(10000));
        s.close();

        QCOMPARE(Oidas(oidas),
                 (QStringList{"+++", "ATDT 05, WR, CN", QString::fromLatin1(comando)}));
        RelojFalso reloj(kReloj);
        ContextoFalso c(reloj);
        EstadoDecodificadores e;
        QCOMPARE(Pasada(QStringLiteral("GSE01"), {medida}, c, e), QStringList());
        QCOMPARE(Registradas(c), Enviadas(enviadas));
        QCOMPARE(Registradas(c), (QStringList{"0612.500 @ ", "0613.500 @ "}));
    }
};

QTEST_GUILESS_MAIN(TstIdaVuelta)
#include "tst_ida_vuelta.moc"
