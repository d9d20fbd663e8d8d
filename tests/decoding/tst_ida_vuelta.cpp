// The simulator's frames through the real receive pass record what it says it sent.
#include "decoding/registro.h"
#include "ortsim/generadores.h"
#include "support/banco.h"

#include <QTest>

#include <memory>

using namespace ort;
using namespace ort::prueba;

namespace {

// Inside ISHID's sampling window (the first four seconds of ten minutes).
const QDateTime kReloj(QDate(2026, 12, 4), QTime(10, 0, 2));
const QDateTime kCuando(QDate(2026, 3, 1), QTime(0, 1)); // the instruments' own clock
const QString kComando = QStringLiteral("80.3P=\"P01\"%o11%^");

// Port 1 records channels 1..99, port q (2..16) channel q; characteristic: its digits.
struct Planta : Banco {
    QList<int> canalesGse;
    Planta() : Banco(Motor::Sqlite, true) {
        gse = [this](int, int c) {
            canalesGse << c;
            return kComando;
        };
        QString filas;
        for (int p = 1; p <= 16; ++p)
            for (int c = p == 1 ? 1 : p; c <= (p == 1 ? 99 : p); ++c)
                filas += QString::asprintf("INSERT INTO CANALES VALUES (%d,%d,'');INSERT INTO CONF "
                                           "(Puert,Canal,Secue,Carac) VALUES (%d,%d,1,'%02d');",
                                           p, c, p, c, c);
        if (!conf(filas))
            qFatal("no configuration");
        for (int p = 1; p <= 16; ++p)
            for (int c = 1; c <= 99; ++c)
                t.LimInf(p, c, 1) = -1e300, t.LimSup(p, c, 1) = 1e300;
    }
    // The frames arrive on port p, each with its terminator, and one receive pass runs.
    QStringList recibe(int p, const QString& codigo, const QList<QByteArray>& tramas) {
        reloj.fija(kReloj);
        rx.estado() = EstadoDecodificadores{};
        falso.llamadas.clear(), canalesGse.clear();
        puertos.serie(p).escrituras().clear();
        abre(p, codigo);
        puertos.serie(p).llega(tramas.join('\r') + '\r');
        rx.ComLee(p);
        QStringList r;
        for (const auto& l : falso.llamadas)
            r << QStringLiteral("%1%2 @%3 %4").arg(l.Carac, l.Valor, l.Fecha, l.Hora);
        return r;
    }
};

QStringList resumen(const QList<sim::Lectura>& l) {
    QStringList r;
    for (const auto& x : l)
        r << QStringLiteral("%1 @%2 %3").arg(x.texto, x.FechaInst, x.HoraInst);
    return r;
}

// The channels worth trying on an instrument: the first, one in the middle and the last.
QList<int> canales(int n) {
    return n > 2 ? QList<int>{1, (n + 1) / 2, n} : n > 1 ? QList<int>{1, n} : QList<int>{1};
}

// TDLRF and TODLR read on the channel of their port's number.
bool porPuerto(const QString& codigo) {
    return codigo == u"TDLRF" || codigo == u"TODLR";
}

} // namespace

class TstIdaVuelta : public QObject {
    Q_OBJECT
    std::unique_ptr<Planta> planta_;

private slots:
    void initTestCase() { planta_ = std::make_unique<Planta>(); }

    // Every instrument, frame form and refusal; values of both signs, tiny and large.
    void idaVuelta_data() {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<double>("valor");
        QTest::addColumn<int>("canal");
        QTest::addColumn<int>("variante");
        QTest::addColumn<bool>("rechazo");
        const double valores[] = {0, 0.0004, -0.0004, 12.345, -7.25, 98765.4321, -1234.5678, 1e12};
        for (const sim::Instrumento* i : sim::instrumentos()) {
            const QString codigo = QString::fromLatin1(i->codigo);
            if (codigo == u"TABLA")
                continue;
            for (int v = 0; v < i->variantes; ++v) {
                for (int canal : canales(i->canales))
                    for (double valor : valores)
                        QTest::addRow("%s v%d c%d %g", i->codigo, v, canal, valor)
                            << codigo << valor << canal << v << false;
                QTest::addRow("%s v%d refused", i->codigo, v)
                    << codigo << 12.345 << i->canales << v << true;
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
        o.canal = canal, o.variante = variante, o.rechazo = rechazo, o.cuando = kCuando;
        const sim::Muestra m = sim::buscaInstrumento(codigo)->genera(valor, o);
        Planta& b = *planta_;
        const int p = porPuerto(codigo) ? canal : 1;
        QCOMPARE(b.recibe(p, codigo, m.tramas), resumen(m.lecturas));
        QCOMPARE(b.avisos.beeps, 0);
        // Only GSE01 answers (on the unit it announced), and only the logger closes its port.
        const bool gse = codigo == u"GSE01";
        const QByteArray llamada =
            QStringLiteral("+++ATDT 0%1, WR, CN\r").arg(canal - 1).toLatin1() + kComando.toLatin1();
        QVERIFY(b.puertos.serie(p).escrito() == (gse ? llamada : QByteArray()) &&
                (gse ? b.canalesGse == QList<int>{canal} : b.canalesGse.isEmpty()) &&
                b.puertos.serie(p).abierto() == (codigo != u"DL-10"));
    }

    // Several samples in one pass: channels anew, batches in turn, DM510's date carried.
    void variasMuestras() {
        for (const sim::Instrumento* i : sim::instrumentos()) {
            const QString codigo = QString::fromLatin1(i->codigo);
            if (codigo == u"TABLA")
                continue;
            const int p = porPuerto(codigo) ? 16 : 1;
            QList<QByteArray> tramas;
            QList<sim::Lectura> esperadas;
            for (int k = 0; k < 3; ++k) {
                sim::Opciones o;
                o.canal = p > 1 ? p : canales(i->canales).value(k, 1);
                o.variante = k % i->variantes, o.lote = k + 1, o.campos = 2;
                o.cuando = kCuando.addDays(k);
                o.rechazo = k == 1 && codigo != u"DL-10";
                const sim::Muestra m = i->genera(-3.5 + 10 * k, o);
                tramas += m.tramas;
                if (codigo != u"DL-10" || k == 0)
                    esperadas += m.lecturas;
            }
            QCOMPARE(planta_->recibe(p, codigo, tramas), resumen(esperadas));
        }
    }
};

QTEST_GUILESS_MAIN(TstIdaVuelta)
#include "tst_ida_vuelta.moc"
