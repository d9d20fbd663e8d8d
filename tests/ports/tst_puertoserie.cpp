#include "ports/puertoserie.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace ort;
using ort::prueba::Pty;

// A program directory whose port map (under the given name) holds the given text.
static void escribeMapa(const QTemporaryDir& d, const QString& texto,
                        const QString& nombre = "ORTPuertos.IAU") {
    QFile f(d.filePath(nombre));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(texto.toUtf8()) >= 0);
}

class TstPuertoSerie : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<Pty> pty_;
    std::unique_ptr<PuertoSerieQt> puerto_;

    // Port 3 mapped on a fresh pseudo-terminal, opened with the given settings.
    bool abre(const QString& settings = QStringLiteral("9600,N,8,1"), int umbral = 1) {
        pty_ = std::make_unique<Pty>();
        escribeMapa(dir_, QStringLiteral("3,%1\n").arg(pty_->esclavo()));
        puerto_ = std::make_unique<PuertoSerieQt>(dir_.path());
        for (const auto& f :
             {puerto_->fijaNumero(3), puerto_->fijaSettings(settings), puerto_->fijaUmbral(umbral),
              puerto_->fijaDtr(true), puerto_->fijaRts(true), puerto_->abre()})
            if (!f)
                return qWarning() << f.falla().numero << f.falla().descripcion, false;
        return pty_->valido() && puerto_->abierto();
    }

private slots:
    void cleanup() { puerto_.reset(), pty_.reset(); } // the port first: no loss by accident

    // "baud parity data stop" (QSerialPort's numbers), or what the refusal names.
    void settings_data() {
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("usual") << "9600,N,8,1" << "9600 0 8 1";
        QTest::addRow("even 7 2") << "19200,E,7,2" << "19200 2 7 2";
        QTest::addRow("odd lower") << "1200,o,5,1.5" << "1200 3 5 3";
        QTest::addRow("blanks") << " 2400 , n , 8 , 1 " << "2400 0 8 1";
        QTest::addRow("three parts") << "9600,N,8" << "separados por comas";
        QTest::addRow("baud letters") << "96OO,N,8,1" << "velocidad";
        QTest::addRow("parity word") << "9600,NONE,8,1" << "paridad";
        QTest::addRow("data 4") << "9600,N,4,1" << "bits de datos";
        QTest::addRow("stop 3") << "9600,N,8,3" << "bits de parada";
        // clang-format on
    }
    void settings() {
        QFETCH(QString, s);
        QFETCH(QString, esperado);
        const auto c = interpretaSettings(s);
        if (c) {
            QCOMPARE(QString::asprintf("%d %d %d %d", int(c->baudios), int(c->paridad),
                                       int(c->bitsDatos), int(c->bitsParada)),
                     esperado);
            return;
        }
        const QString problema = c.falla().descripcion;
        QVERIFY2(problema.contains(esperado) && problema.contains(u'"' + s + u'"'),
                 qPrintable(problema));
        PuertoSerieQt p(dir_.path());
        const auto f = p.fijaSettings(s).falla();
        QVERIFY(f.numero == kFallaValorNoValido && f.fuente == "PuertoSerie" &&
                f.descripcion == problema);
        QCOMPARE(p.configuracion(), ConfiguracionSerie{});
    }

    // The device of a port from the map, or the problem it names ("!" and a part of it).
    void dispositivo_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("puerto");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::newRow("no file")              << ""               << ""                                  << 1  << "/dev/ttyS0";
        QTest::newRow("entry")                << "ORTPuertos.IAU" << "1,/dev/ttyUSB0\n2,/dev/ttyUSB1\n"  << 2  << "/dev/ttyUSB1";
        QTest::newRow("no entry")             << "ORTPuertos.IAU" << "1,/dev/ttyUSB0\n"                  << 5  << "/dev/ttyS4";
        QTest::newRow("lower-case file name") << "ortpuertos.iau" << "16,/dev/ttyACM0"                   << 16 << "/dev/ttyACM0";
        QTest::newRow("blanks and quotes")    << "ORTPuertos.IAU" << " 4 , \"/dev/serial/by-id/x y\" \n" << 4  << "/dev/serial/by-id/x y";
        QTest::newRow("other lines skipped")  << "ORTPuertos.IAU" << "# ports\n\n12,/dev/a\n1,/dev/b\n"  << 1  << "/dev/b";
        QTest::newRow("entry without path")   << "ORTPuertos.IAU" << "1,/dev/a\n2,  \n"                  << 2  << "!línea 2";
        QTest::newRow("unreadable")           << "ORTPuertos.IAU/" << ""                                 << 1  << "!No se puede leer ";
        // clang-format on
    }
    void dispositivo() {
        QFETCH(QString, archivo);
        QFETCH(QString, texto);
        QFETCH(int, puerto);
        QFETCH(QString, esperado);
        QTemporaryDir dir;
        if (archivo.endsWith(u'/'))
            QVERIFY(QDir(dir.path()).mkdir(archivo));
        else if (!archivo.isEmpty())
            escribeMapa(dir, texto, archivo);
        PuertoSerieQt p(dir.path());
        const auto f = p.fijaNumero(puerto);
        if (esperado.startsWith(u'!'))
            QVERIFY(!f && f.falla().numero == kFallaNumeroPuerto &&
                    f.falla().descripcion.contains(esperado.mid(1)));
        else
            QVERIFY(f && p.dispositivo() == esperado && p.numero() == puerto);
    }

    // 1.5 stop bits go out as 2; settings given while open apply at once.
    void settingsDelDispositivo() {
        for (const auto& [s, velocidad, dos] :
             {std::tuple{"1200,N,5,1.5", B1200, true}, std::tuple{"4800,N,8,1", B4800, false}})
            for (bool abierto : {false, true}) {
                QVERIFY(abre(QString(abierto ? "9600,N,8,1" : s)));
                QVERIFY(!abierto || puerto_->fijaSettings(s));
                const termios t = pty_->atributos();
                QVERIFY(int(cfgetospeed(&t)) == velocidad && bool(t.c_cflag & CSTOPB) == dos);
                QCOMPARE(puerto_->configuracion(), interpretaSettings(s).valor());
                cleanup();
            }
    }

    // Bytes both ways; refused DTR/RTS no failure; datos() for what no wait took, closing in it.
    void bytesYCierre() {
        QVERIFY(abre());
        QSignalSpy eventos(puerto_.get(), &Puerto::evento), datos(puerto_.get(), &Puerto::datos);
        QVERIFY(puerto_->fijaDtr(false) && puerto_->fijaRts(false) && puerto_->fijaDtr(true));
        QVERIFY(puerto_->dtr() && !puerto_->esperaDatos(50) && !puerto_->esperaDatos(-5));
        const QByteArray todo("12.5\r\x01\xff\x00z", 9);
        QVERIFY(pty_->escribe(todo.left(2)) && pty_->escribe(todo.mid(2)));
        QByteArray r;
        while (r.size() < todo.size() && puerto_->esperaDatos(3000))
            r += puerto_->leeTodo();
        QVERIFY(r == todo && puerto_->leeCaracter() == -1);
        // Without the event loop, counting alone sees what the device holds.
        QVERIFY(pty_->escribe(QByteArray("A\xe9", 2)));
        for (QDeadlineTimer plazo(3000); puerto_->esperando() < 2 && !plazo.hasExpired();)
            QThread::msleep(1);
        QVERIFY(puerto_->leeCaracter() == 'A' && puerto_->leeCaracter() == 0xe9);
        QVERIFY(puerto_->escribe("$RE 0\r") && puerto_->escribe("$AZ\r") &&
                pty_->lee(10) == "$RE 0\r$AZ\r");
        QCoreApplication::processEvents();
        QCOMPARE(datos.count(), 0);
        connect(puerto_.get(), &Puerto::datos, this, [&] { puerto_->cierra(); });
        QVERIFY(pty_->escribe("FIN\r"));
        QTRY_VERIFY_WITH_TIMEOUT(!puerto_->abierto(), 3000);
        QVERIFY(datos.count() == 1 && eventos.isEmpty() && puerto_->abre() && puerto_->abierto());
    }

    // datos() at the threshold, never at 0.
    void umbral() {
        for (int umbral : {10, 0}) {
            QVERIFY(abre(QStringLiteral("9600,N,8,1"), umbral));
            QSignalSpy datos(puerto_.get(), &Puerto::datos);
            QVERIFY(pty_->escribe("1234"));
            for (const char* mas : {"", "567890"}) {
                QVERIFY(pty_->escribe(mas));
                QTRY_COMPARE_WITH_TIMEOUT(puerto_->esperando(), *mas ? 10 : 4, 3000);
                QCoreApplication::processEvents();
                QCOMPARE(datos.count(), *mas && umbral ? 1 : 0);
            }
            cleanup();
        }
    }

    // Out of range, missing or busy device, already open: refused; line counters become events.
    void rechazos() {
        QCOMPARE(eventosDeContadores({}, {}), QList<int>{});
        QCOMPARE(eventosDeContadores({}, {2, 0, 1, 5, 0}), (QList<int>{1001, 1006, 1008}));
        QCOMPARE(eventosDeContadores({1, 1, 1, 1, 1}, {1, 2, 1, 1, 4}), (QList<int>{1004, 1009}));
        PuertoSerieQt p(dir_.path());
        for (int n : {0, 17, -1})
            QCOMPARE(p.fijaNumero(n).falla().numero, kFallaNumeroPuerto);
        QCOMPARE(p.abre().falla().numero, kFallaNumeroPuerto);
        QVERIFY(p.fijaUmbral(-1).falla().numero == kFallaValorNoValido &&
                p.fijaBufferEntrada(0).falla().numero == kFallaValorNoValido);
        QVERIFY(p.fijaUmbral(10) && p.fijaBufferEntrada(4096) && p.umbral() == 10 &&
                p.bufferEntrada() == 4096);
        escribeMapa(dir_, QStringLiteral("2,%1/no-existe\n").arg(dir_.path()));
        QVERIFY(p.fijaNumero(2));
        const auto f = p.abre().falla();
        QVERIFY(f.numero == kFallaNumeroPuerto && f.descripcion.contains("no-existe"));
        QVERIFY(!p.abierto() && !p.escribe("x") && p.leeCaracter() == -1);
        QVERIFY(abre() && p.fijaNumero(3));
        const auto o = p.abre().falla();
        QVERIFY(o.numero == kFallaPuertoAbierto && o.descripcion.contains(pty_->esclavo()));
        QVERIFY(puerto_->fijaNumero(3).falla().numero == kFallaPuertoAbierto &&
                puerto_->abre().falla().numero == kFallaPuertoAbierto);
        QVERIFY(puerto_->escribe("ok") && pty_->lee(2) == "ok");
    }

    // A lost device is reported once, from the event loop; closing it oneself is no loss.
    void perdida() {
        for (int como : {0, 1, 2}) { // seen by the event loop, inside a wait, closed first
            QVERIFY(abre());
            QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
            QSignalSpy eventos(puerto_.get(), &Puerto::evento);
            if (como == 2)
                puerto_->cierra();
            pty_->cierra();
            if (como == 1)
                QVERIFY(!puerto_->esperaDatos(2000) && !puerto_->abierto() && perdidos.isEmpty());
            QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), como == 2 ? 0 : 1, 3000);
            QTest::qWait(200);
            QVERIFY(perdidos.count() == (como == 2 ? 0 : 1) && eventos.isEmpty());
            QVERIFY(como != 0 || perdidos.first().first().toString().contains("puerto 3"));
            QVERIFY(!puerto_->abierto() && !puerto_->escribe("x") && !puerto_->esperaDatos(10));
            cleanup();
        }
    }
};

QTEST_GUILESS_MAIN(TstPuertoSerie)
#include "tst_puertoserie.moc"
