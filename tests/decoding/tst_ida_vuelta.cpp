// Round trip: the instrument simulator's frames arrive on a port and go through ORT's receive
// pass; what is recorded is exactly the readings the simulator says it sent.
#include "decoding/registro.h"
#include "ortsim/generadores.h"
#include "support/banco.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace ort;
using namespace ort::prueba;

namespace {

// Inside ISHID's sampling window (the first four seconds of ten minutes).
const QDateTime kReloj(QDate(2026, 12, 4), QTime(10, 0, 2));
// The instruments' own clock.
const QDateTime kCuando(QDate(2026, 3, 1), QTime(0, 1));
const QString kComando = QStringLiteral("80.3P=\"P01\"%o11%^");
// Codes whose frames ORT never records.
const QStringList kSinLectura = {"METDP", "MUXBT", "D3000", "DMYTE"};

// Port 1 records every channel 1..99 and port q (2..16) its channel q, each on one sequence
// whose characteristic is the channel's two digits, without limits.
struct Planta : Banco {
    QList<int> canalesGse;

    Planta() : Banco(Motor::Sqlite, true) {
        gse = [this](int, int c) {
            canalesGse << c;
            return kComando;
        };
        QString filas;
        auto canal = [&filas](int p, int c) {
            filas += QStringLiteral("INSERT INTO CANALES VALUES (%1,%2,'');INSERT INTO CONF "
                                    "(Puert,Canal,Secue,Carac) VALUES (%1,%2,1,'%3');")
                         .arg(p)
                         .arg(c)
                         .arg(c, 2, 10, QChar(u'0'));
        };
        for (int c = 1; c <= 99; ++c)
            canal(1, c);
        for (int p = 2; p <= 16; ++p)
            canal(p, p);
        if (!conf(filas))
            qFatal("no configuration");
        for (int p = 1; p <= 16; ++p)
            for (int c = 1; c <= 99; ++c)
                t.LimInf(p, c, 1) = -1e300, t.LimSup(p, c, 1) = 1e300;
    }

    // The bytes arrive on port p and one receive pass runs.
    void recibe(int p, const QString& codigo, const QByteArray& bytes) {
        reloj.fija(kReloj);
        rx.estado() = EstadoDecodificadores{};
        falso.llamadas.clear();
        canalesGse.clear();
        puertos.serie(p).escrituras().clear();
        abre(p, codigo);
        puertos.serie(p).llega(bytes);
        rx.ComLee(p);
    }
    QStringList grabadas() const {
        QStringList r;
        for (const auto& l : falso.llamadas)
            r << QStringLiteral("%1%2 @%3 %4").arg(l.Carac, l.Valor, l.Fecha, l.Hora);
        return r;
    }
};

// The frames as they go on the line, each with its terminator.
QByteArray EnLinea(const QList<QByteArray>& tramas) {
    QByteArray r;
    for (const QByteArray& t : tramas)
        r += t + '\r';
    return r;
}

QStringList Resumen(const QList<sim::Lectura>& l) {
    QStringList r;
    for (const auto& x : l)
        r << QStringLiteral("%1 @%2 %3").arg(x.texto, x.FechaInst, x.HoraInst);
    return r;
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

// TDLRF and TODLR read on the channel of their port's number.
int PuertoDe(const QString& codigo, int canal) {
    return codigo == u"TDLRF" || codigo == u"TODLR" ? canal : 1;
}

} // namespace

class TstIdaVuelta : public QObject {
    Q_OBJECT
    std::unique_ptr<Planta> planta_;

private slots:
    void initTestCase() { planta_ = std::make_unique<Planta>(); }
    void cleanupTestCase() { planta_.reset(); }

    // Every code ORT decodes has an instrument in the simulator (TIMER reads the clock), and the
    // simulator plays no instrument ORT does not know (TABLA stands for a field-table port);
    // the generators give a reading of the value and on the channel asked for.
    void generadores() {
        const QStringList conocidos = CodigosConocidos();
        for (const QString& codigo : conocidos)
            QVERIFY2((codigo == u"TIMER") != bool(sim::BuscaInstrumento(codigo)),
                     qPrintable(codigo));
        for (const QString& codigo : sim::CodigosSimulados())
            QVERIFY2(codigo == u"TABLA" || conocidos.contains(codigo), qPrintable(codigo));
        for (const sim::Instrumento* i : sim::Instrumentos()) {
            const QString codigo = QString::fromLatin1(i->codigo);
            // TLOAD cannot send small positive numbers; some take only values above zero.
            const double v = codigo == u"TLOAD" ? -12.345 : 12.345;
            sim::Opciones o;
            o.canal = i->canales;
            const sim::Muestra m = i->genera(v, o);
            if (kSinLectura.contains(codigo) || codigo == u"TABLA")
                continue;
            QVERIFY2(!m.lecturas.isEmpty(), i->codigo);
            const QString texto = m.lecturas[0].texto;
            QCOMPARE(texto.left(2), QStringLiteral("%1").arg(i->canales, 2, 10, QChar(u'0')));
            QVERIFY2(std::fabs(texto.mid(2).remove(u' ').toDouble() - v) < 0.06,
                     qPrintable(codigo + texto));
        }
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
            if (QLatin1String(i->codigo) == u"TABLA")
                continue;
            for (int variante = 0; variante < i->variantes; ++variante) {
                for (int canal : Canales(i->canales))
                    for (double valor : valores)
                        QTest::addRow("%s v%d c%d %g", i->codigo, variante, canal, valor)
                            << QString::fromLatin1(i->codigo) << valor << canal << variante
                            << false;
                QTest::addRow("%s v%d refused", i->codigo, variante)
                    << QString::fromLatin1(i->codigo) << 12.345 << i->canales << variante << true;
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
        Planta& b = *planta_;
        const int p = PuertoDe(codigo, canal);
        b.recibe(p, codigo, EnLinea(m.tramas));
        QCOMPARE(b.grabadas(), Resumen(m.lecturas));
        QCOMPARE(b.avisos.beeps, 0);
        // Only GSE01 answers (on the unit it announced), and only the logger closes its port.
        const QByteArray llamada =
            QStringLiteral("+++ATDT 0%1, WR, CN\r").arg(canal - 1).toLatin1() + kComando.toLatin1();
        QCOMPARE(b.puertos.serie(p).escrito(), codigo == u"GSE01" ? llamada : QByteArray());
        QCOMPARE(b.canalesGse, codigo == u"GSE01" ? QList<int>{canal} : QList<int>{});
        QCOMPARE(m.respuestaTras, codigo == u"GSE01" ? 0 : -1);
        QCOMPARE(b.puertos.serie(p).abierto(), codigo != u"DL-10");
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
        const int p = PuertoDe(codigo, 16);
        QList<QByteArray> tramas;
        QList<sim::Lectura> esperadas;
        for (int k = 0; k < 3; ++k) {
            sim::Opciones o;
            o.canal = p > 1 ? p : Canales(i->canales).value(k, 1);
            o.variante = k % i->variantes;
            o.lote = k + 1;
            o.campos = 2;
            o.cuando = kCuando.addDays(k);
            o.rechazo = k == 1 && codigo != u"DL-10";
            const sim::Muestra m = i->genera(-3.5 + 10 * k, o);
            tramas += m.tramas;
            if (codigo != u"DL-10" || k == 0)
                esperadas += m.lecturas;
        }
        planta_->recibe(p, codigo, EnLinea(tramas));
        QCOMPARE(planta_->grabadas(), Resumen(esperadas));
    }

    // The simulator program on a pseudo-terminal: what arrives on the device, through the
    // receive pass, is what its --sent file ("text<TAB>date<TAB>time" lines) says it sent.
    void programa_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<int>("tramas");
        QTest::addColumn<int>("lecturas");
        // clang-format off
        QTest::addRow("MUX10 split") << "MUX10" << QStringList{"--channel", "7", "--count", "4", "--split", "--values", "random:-50,50"} << 4 << 4;
        QTest::addRow("DP7 batches") << "DP7" << QStringList{"--count", "2", "--batch", "2"} << 6 << 4;
        QTest::addRow("FOCUG CR LF") << "FOCUG" << QStringList{"--channel", "42", "--count", "2", "--lf"} << 4 << 4;
        // clang-format on
    }
    void programa() {
        QFETCH(QString, codigo);
        QFETCH(QStringList, argumentos);
        QFETCH(int, tramas);
        QFETCH(int, lecturas);
        QTemporaryDir dir;
        const QString enviadas = dir.filePath(QStringLiteral("sent.txt"));
        QProcess p;
        p.start(QStringLiteral(ORTSIM_PATH),
                QStringList{"--code", codigo, "--rate", "10", "--sent", enviadas} + argumentos);
        QVERIFY(p.waitForStarted(5000));
        QElapsedTimer t;
        t.start();
        while (!p.canReadLine() && t.elapsed() < 10000)
            p.waitForReadyRead(500);
        const QByteArray linea = p.readLine().trimmed(),
                         prefijo = "ortsim: " + codigo.toLatin1() + " on ";
        QVERIFY2(linea.startsWith(prefijo), linea.constData());
        QSerialPort puerto(QString::fromLatin1(linea.mid(prefijo.size())));
        QVERIFY2(puerto.open(QIODevice::ReadOnly), qPrintable(puerto.errorString()));
        QByteArray datos; // read while the simulator runs: its line goes away when it ends
        while (datos.count('\r') < tramas && t.elapsed() < 20000)
            if (puerto.waitForReadyRead(500))
                datos += puerto.readAll();
        puerto.close();
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        QFile f(enviadas);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QStringList esperadas;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (const QList<QByteArray> c = l.split('\t'); !l.isEmpty())
                esperadas << QStringLiteral("%1 @%2 %3")
                                 .arg(QString::fromUtf8(c.value(0)), QString::fromUtf8(c.value(1)),
                                      QString::fromUtf8(c.value(2)));
        QCOMPARE(esperadas.size(), lecturas);
        planta_->recibe(1, codigo, datos);
        QCOMPARE(planta_->grabadas(), esperadas);
    }
};

QTEST_GUILESS_MAIN(TstIdaVuelta)
#include "tst_ida_vuelta.moc"
