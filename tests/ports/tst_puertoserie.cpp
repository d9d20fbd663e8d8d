#include "ports/fabricapuertos.h"
#include "ports/puertoserie.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace ort;
using ort::prueba::Pty;

Q_DECLARE_METATYPE(ort::ContadoresLinea)

namespace {

// A program directory whose "ORTPuertos.IAU" (under the given name) holds the given text.
void EscribeMapa(const QTemporaryDir& dir, const QString& texto,
                 const QString& nombre = QStringLiteral("ORTPuertos.IAU")) {
    QFile f(dir.filePath(nombre));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(texto.toUtf8());
}

// Reads from the port until n bytes have come or the waits run dry.
QByteArray LeeAcumulado(Puerto& p, int n) {
    QByteArray r;
    while (r.size() < n && p.esperaDatos(3000))
        r += p.leeTodo();
    return r;
}

} // namespace

class TstPuertoSerie : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<Pty> pty_;
    std::unique_ptr<PuertoSerieQt> puerto_;

    // Port 3 mapped on a fresh pseudo-terminal, opened with the given settings.
    bool abre(const QString& settings = QStringLiteral("9600,N,8,1"), int umbral = 1) {
        pty_ = std::make_unique<Pty>();
        if (!pty_->valido())
            return false;
        EscribeMapa(dir_, QStringLiteral("3,%1\n").arg(pty_->esclavo()));
        puerto_ = std::make_unique<PuertoSerieQt>(dir_.path());
        for (const auto& f :
             {puerto_->fijaNumero(3), puerto_->fijaSettings(settings), puerto_->fijaUmbral(umbral),
              puerto_->fijaDtr(true), puerto_->fijaRts(true), puerto_->abre()})
            if (f) {
                qWarning() << f->numero << f->descripcion;
                return false;
            }
        return puerto_->abierto();
    }

private slots:
    void cleanup() {
        // The port goes before the master side, so that no loss is provoked by accident.
        puerto_.reset();
        pty_.reset();
    }

    void settings_data() {
        QTest::addColumn<QString>("s");
        QTest::addColumn<bool>("valida");
        QTest::addColumn<int>("baudios");
        QTest::addColumn<int>("paridad");
        QTest::addColumn<int>("datos");
        QTest::addColumn<int>("parada");
        QTest::addColumn<QString>("queFalla");
        // clang-format off
        QTest::newRow("usual")         << "9600,N,8,1"    << true  << 9600   << int(QSerialPort::NoParity)    << 8 << int(QSerialPort::OneStop)        << "";
        QTest::newRow("even 7 2")      << "19200,E,7,2"   << true  << 19200  << int(QSerialPort::EvenParity)  << 7 << int(QSerialPort::TwoStop)        << "";
        QTest::newRow("odd lower")     << "1200,o,5,1.5"  << true  << 1200   << int(QSerialPort::OddParity)   << 5 << int(QSerialPort::OneAndHalfStop) << "";
        QTest::newRow("mark")          << "4800,m,6,1"    << true  << 4800   << int(QSerialPort::MarkParity)  << 6 << int(QSerialPort::OneStop)        << "";
        QTest::newRow("space")         << "115200,S,8,1"  << true  << 115200 << int(QSerialPort::SpaceParity) << 8 << int(QSerialPort::OneStop)        << "";
        QTest::newRow("blanks")        << " 2400 , n , 8 , 1 " << true << 2400 << int(QSerialPort::NoParity)  << 8 << int(QSerialPort::OneStop)        << "";
        QTest::newRow("three parts")   << "9600,N,8"      << false << 0 << 0 << 0 << 0 << "separados por comas";
        QTest::newRow("five parts")    << "9600,N,8,1,1"  << false << 0 << 0 << 0 << 0 << "separados por comas";
        QTest::newRow("empty")         << ""              << false << 0 << 0 << 0 << 0 << "separados por comas";
        QTest::newRow("baud letters")  << "96OO,N,8,1"    << false << 0 << 0 << 0 << 0 << "velocidad";
        QTest::newRow("baud zero")     << "0,N,8,1"       << false << 0 << 0 << 0 << 0 << "velocidad";
        QTest::newRow("baud negative") << "-9600,N,8,1"   << false << 0 << 0 << 0 << 0 << "velocidad";
        QTest::newRow("baud decimal")  << "9600.5,N,8,1"  << false << 0 << 0 << 0 << 0 << "velocidad";
        QTest::newRow("baud empty")    << ",N,8,1"        << false << 0 << 0 << 0 << 0 << "velocidad";
        QTest::newRow("parity X")      << "9600,X,8,1"    << false << 0 << 0 << 0 << 0 << "paridad";
        QTest::newRow("parity word")   << "9600,NONE,8,1" << false << 0 << 0 << 0 << 0 << "paridad";
        QTest::newRow("parity empty")  << "9600,,8,1"     << false << 0 << 0 << 0 << 0 << "paridad";
        QTest::newRow("data 4")        << "9600,N,4,1"    << false << 0 << 0 << 0 << 0 << "bits de datos";
        QTest::newRow("data 9")        << "9600,N,9,1"    << false << 0 << 0 << 0 << 0 << "bits de datos";
        QTest::newRow("stop 3")        << "9600,N,8,3"    << false << 0 << 0 << 0 << 0 << "bits de parada";
        QTest::newRow("stop 1,5")      << "9600,N,8,1;5"  << false << 0 << 0 << 0 << 0 << "bits de parada";
        // clang-format on
    }
    void settings() {
        QFETCH(QString, s);
        QFETCH(bool, valida);
        QString problema;
        const auto c = InterpretaSettings(s, &problema);
        QCOMPARE(c.has_value(), valida);
        if (!valida) {
            QFETCH(QString, queFalla);
            QVERIFY2(problema.contains(queFalla), qPrintable(problema));
            QVERIFY2(problema.contains(u'"' + s + u'"'), qPrintable(problema));
            // The port refuses it at the Settings step and keeps what it had.
            PuertoSerieQt p(dir_.path());
            const auto f = p.fijaSettings(s);
            QVERIFY(f.has_value());
            QCOMPARE(f->numero, kFallaValorNoValido);
            QCOMPARE(f->fuente, QStringLiteral("PuertoSerie"));
            QCOMPARE(f->descripcion, problema);
            QCOMPARE(p.configuracion(), ConfiguracionSerie{});
            return;
        }
        QFETCH(int, baudios);
        QFETCH(int, paridad);
        QFETCH(int, datos);
        QFETCH(int, parada);
        QCOMPARE(c->baudios, baudios);
        QCOMPARE(int(c->paridad), paridad);
        QCOMPARE(int(c->bitsDatos), datos);
        QCOMPARE(int(c->bitsParada), parada);
    }

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
        QTest::newRow("upper-case file name") << "ORTPUERTOS.IAU" << "3,/dev/ttyACM3\r\n"                << 3  << "/dev/ttyACM3";
        QTest::newRow("blanks and quotes")    << "ORTPuertos.IAU" << " 4 , \"/dev/serial/by-id/x y\" \n" << 4  << "/dev/serial/by-id/x y";
        QTest::newRow("other lines skipped")  << "ORTPuertos.IAU" << "# ports\n\n12,/dev/a\n1,/dev/b\n"  << 1  << "/dev/b";
        QTest::newRow("first entry wins")     << "ORTPuertos.IAU" << "7,/dev/a\n7,/dev/b\n"              << 7  << "/dev/a";
        QTest::newRow("11 is not 1")          << "ORTPuertos.IAU" << "11,/dev/once\n"                    << 1  << "/dev/ttyS0";
        QTest::newRow("entry without path")   << "ORTPuertos.IAU" << "1,/dev/a\n2,  \n"                  << 2  << "";
        QTest::newRow("empty file")           << "ORTPuertos.IAU" << ""                                  << 3  << "/dev/ttyS2";
        // clang-format on
    }
    // A map that is there but cannot be read names no device, and says which file it is.
    void dispositivoIlegible() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ORTPuertos.IAU")));
        QString problema;
        QVERIFY(!DispositivoDePuerto(dir.path(), 1, &problema));
        QCOMPARE(problema,
                 QStringLiteral("No se puede leer %1.").arg(dir.filePath("ORTPuertos.IAU")));
    }

    void dispositivo() {
        QFETCH(QString, archivo);
        QFETCH(QString, texto);
        QFETCH(int, puerto);
        QFETCH(QString, esperado);
        QTemporaryDir dir;
        if (!archivo.isEmpty())
            EscribeMapa(dir, texto, archivo);
        QString problema;
        const auto d = DispositivoDePuerto(dir.path(), puerto, &problema);
        PuertoSerieQt p(dir.path());
        const auto f = p.fijaNumero(puerto);
        if (esperado.isEmpty()) {
            QVERIFY(!d);
            QVERIFY2(problema.contains(QStringLiteral("línea 2")), qPrintable(problema));
            QVERIFY(f.has_value());
            QCOMPARE(f->numero, kFallaNumeroPuerto);
            QCOMPARE(f->descripcion, problema);
            return;
        }
        QCOMPARE(d.value_or(QString()), esperado);
        QVERIFY(!f);
        QCOMPARE(p.dispositivo(), esperado);
        QCOMPARE(p.numero(), puerto);
    }

    void numeroFueraDeRango() {
        PuertoSerieQt p(dir_.path());
        for (int n : {0, 17, -1}) {
            const auto f = p.fijaNumero(n);
            QVERIFY(f.has_value());
            QCOMPARE(f->numero, kFallaNumeroPuerto);
        }
        // Opening without a number fails as well, and says so.
        const auto f = p.abre();
        QVERIFY(f.has_value());
        QCOMPARE(f->numero, kFallaNumeroPuerto);
    }

    void valoresNoValidos() {
        PuertoSerieQt p(dir_.path());
        QCOMPARE(p.fijaUmbral(-1).value_or(Falla{}).numero, kFallaValorNoValido);
        QCOMPARE(p.fijaBufferEntrada(0).value_or(Falla{}).numero, kFallaValorNoValido);
        QVERIFY(!p.fijaUmbral(10));
        QVERIFY(!p.fijaBufferEntrada(4096));
        QCOMPARE(p.umbral(), 10);
        QCOMPARE(p.bufferEntrada(), 4096);
    }

    void abreConSettingsDelDispositivo() {
        QVERIFY(abre(QStringLiteral("19200,E,7,2")));
        // A pseudo-terminal keeps the speed and the stop bits (it forces 8 bits, no parity).
        termios t = pty_->atributos();
        QCOMPARE(cfgetospeed(&t), speed_t(B19200));
        QVERIFY(t.c_cflag & CSTOPB);
        // Settings given while open take effect at once, as with the serial control.
        QVERIFY(!puerto_->fijaSettings(QStringLiteral("4800,N,8,1")));
        t = pty_->atributos();
        QCOMPARE(cfgetospeed(&t), speed_t(B4800));
        QVERIFY(!(t.c_cflag & CSTOPB));
        QCOMPARE(puerto_->configuracion().baudios, 4800);
    }

    void unoYMedioBitsDeParada() {
        // Sent as 2: never fewer stop bits than the instrument expects.
        QVERIFY(abre(QStringLiteral("1200,N,5,1.5")));
        const termios t = pty_->atributos();
        QCOMPARE(cfgetospeed(&t), speed_t(B1200));
        QVERIFY(t.c_cflag & CSTOPB);
        QCOMPARE(puerto_->configuracion().bitsParada, QSerialPort::OneAndHalfStop);
    }

    void eventosDeContadores_data() {
        QTest::addColumn<ContadoresLinea>("antes");
        QTest::addColumn<ContadoresLinea>("ahora");
        QTest::addColumn<QList<int>>("eventos");
        const ContadoresLinea cero;
        QTest::newRow("nothing changed") << cero << cero << QList<int>{};
        QTest::newRow("framing") << cero << ContadoresLinea{0, 3, 0, 0, 0} << QList<int>{1004};
        QTest::newRow("parity") << cero << ContadoresLinea{0, 0, 0, 0, 1} << QList<int>{1009};
        QTest::newRow("break") << cero << ContadoresLinea{2, 0, 0, 0, 0} << QList<int>{1001};
        QTest::newRow("overrun") << cero << ContadoresLinea{0, 0, 1, 0, 0} << QList<int>{1006};
        QTest::newRow("overflow") << cero << ContadoresLinea{0, 0, 0, 5, 0} << QList<int>{1008};
        QTest::newRow("several, in value order")
            << ContadoresLinea{1, 1, 1, 1, 1} << ContadoresLinea{1, 2, 1, 1, 4}
            << QList<int>{1004, 1009};
    }
    void eventosDeContadores() {
        QFETCH(ContadoresLinea, antes);
        QFETCH(ContadoresLinea, ahora);
        QFETCH(QList<int>, eventos);
        QCOMPARE(EventosDeContadores(antes, ahora), eventos);
    }

    void cierraAlRecibir() {
        // An instrument's decoder may close its port while handling what arrived.
        QVERIFY(abre());
        QByteArray leido;
        connect(puerto_.get(), &Puerto::datos, this, [&] {
            leido += puerto_->leeTodo();
            puerto_->cierra();
        });
        QVERIFY(pty_->escribe("FIN\r"));
        QTRY_VERIFY_WITH_TIMEOUT(!puerto_->abierto(), 3000);
        QVERIFY(leido.startsWith("F"));
        QVERIFY(!puerto_->abre());
        QVERIFY(puerto_->abierto());
    }

    void modemRechazadoNoEsFalla() {
        QVERIFY(abre());
        QSignalSpy eventos(puerto_.get(), &Puerto::evento);
        // The pseudo-terminal refuses DTR and RTS: no failure, no event, still open.
        QVERIFY(!puerto_->fijaDtr(false));
        QVERIFY(!puerto_->fijaRts(false));
        QVERIFY(!puerto_->fijaDtr(true));
        QCoreApplication::processEvents();
        QCOMPARE(eventos.count(), 0);
        QVERIFY(puerto_->abierto());
        QVERIFY(puerto_->dtr());
    }

    void bytesEnAmbosSentidos() {
        QVERIFY(abre());
        // From the instrument, in several chunks: what ORT reads is the same bytes, however
        // the reads split them.
        const QByteArray trozos[] = {"12", ".5\r", QByteArray("\x01\xff\x00z", 4)};
        QByteArray todo;
        for (const auto& t : trozos) {
            QVERIFY(pty_->escribe(t));
            todo += t;
        }
        QCOMPARE(LeeAcumulado(*puerto_, int(todo.size())), todo);
        QCOMPARE(puerto_->esperando(), 0);
        QCOMPARE(puerto_->leeCaracter(), -1);

        // Character by character, bytes above 127 included.
        QVERIFY(pty_->escribe(QByteArray("A\xe9", 2)));
        QVERIFY(puerto_->esperaDatos(3000));
        QCOMPARE(puerto_->leeCaracter(), int('A'));
        if (puerto_->esperando() == 0)
            QVERIFY(puerto_->esperaDatos(3000));
        QCOMPARE(puerto_->leeCaracter(), 0xe9);

        // To the instrument, without the event loop running: each write goes out at once.
        QVERIFY(puerto_->escribe("$RE 0\r"));
        QVERIFY(puerto_->escribe("$AZ\r"));
        QCOMPARE(pty_->lee(10), QByteArray("$RE 0\r$AZ\r"));
    }

    void esperaSinDatos() {
        QVERIFY(abre());
        QVERIFY(!puerto_->esperaDatos(50));
        QVERIFY(!puerto_->esperaDatos(0));
        QVERIFY(!puerto_->esperaDatos(-5)); // never an endless wait
        QVERIFY(puerto_->abierto());
    }

    void esperandoTraeLoQueLlego() {
        QVERIFY(abre());
        QVERIFY(pty_->escribe("abc"));
        // No event loop runs: counting alone sees what the device holds.
        QDeadlineTimer plazo(3000);
        while (puerto_->esperando() < 3 && !plazo.hasExpired())
            QThread::msleep(1);
        QCOMPARE(puerto_->esperando(), 3);
        QCOMPARE(puerto_->leeCaracter(), int('a'));
    }

    void umbral() {
        QVERIFY(abre(QStringLiteral("9600,N,8,1"), 10));
        QSignalSpy datos(puerto_.get(), &Puerto::datos);
        QVERIFY(pty_->escribe("1234"));
        QTRY_COMPARE_WITH_TIMEOUT(puerto_->esperando(), 4, 3000);
        QCoreApplication::processEvents();
        QCOMPARE(datos.count(), 0);
        QVERIFY(pty_->escribe("567890"));
        QVERIFY(datos.wait(3000));
        QCOMPARE(puerto_->leeTodo(), QByteArray("1234567890"));
    }

    void umbralCeroNoAvisa() {
        QVERIFY(abre(QStringLiteral("9600,N,8,1"), 0));
        QSignalSpy datos(puerto_.get(), &Puerto::datos);
        QVERIFY(pty_->escribe("xyz"));
        QTRY_COMPARE_WITH_TIMEOUT(puerto_->esperando(), 3, 3000);
        QCoreApplication::processEvents();
        QCOMPARE(datos.count(), 0);
    }

    void datosNoLlegaDentroDeUnaEspera() {
        QVERIFY(abre());
        QSignalSpy datos(puerto_.get(), &Puerto::datos);
        QVERIFY(pty_->escribe("7"));
        // What arrives during a wait is not announced inside it: a receive pass never runs
        // inside another. It is announced from the event loop afterwards if still there.
        QVERIFY(puerto_->esperaDatos(3000));
        QCOMPARE(datos.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(datos.count(), 1, 3000);
        // Once read, nothing more is announced.
        QCOMPARE(puerto_->leeTodo(), QByteArray("7"));
        QVERIFY(pty_->escribe("8"));
        QVERIFY(puerto_->esperaDatos(3000));
        QCOMPARE(puerto_->leeTodo(), QByteArray("8"));
        QCoreApplication::processEvents();
        QCOMPARE(datos.count(), 1);
    }

    void dispositivoInexistente() {
        EscribeMapa(dir_, QStringLiteral("2,%1/no-existe\n").arg(dir_.path()));
        PuertoSerieQt p(dir_.path());
        // The number is accepted; the device is missed when the port opens.
        QVERIFY(!p.fijaNumero(2));
        QVERIFY(!p.fijaSettings(QStringLiteral("9600,N,8,1")));
        const auto f = p.abre();
        QVERIFY(f.has_value());
        QCOMPARE(f->numero, kFallaNumeroPuerto);
        QVERIFY2(f->descripcion.contains(QStringLiteral("no-existe")), qPrintable(f->descripcion));
        QVERIFY(!p.abierto());
        QVERIFY(!p.escribe("x"));
        QCOMPARE(p.leeCaracter(), -1);
    }

    void dispositivoOcupado() {
        QVERIFY(abre());
        PuertoSerieQt otro(dir_.path());
        QVERIFY(!otro.fijaNumero(3));
        const auto f = otro.abre();
        QVERIFY(f.has_value());
        QCOMPARE(f->numero, kFallaPuertoAbierto);
        QVERIFY2(f->descripcion.contains(pty_->esclavo()), qPrintable(f->descripcion));
        QVERIFY(!otro.abierto());
        // The first one is untouched.
        QVERIFY(puerto_->escribe("ok"));
        QCOMPARE(pty_->lee(2), QByteArray("ok"));
    }

    void yaAbierto() {
        QVERIFY(abre());
        const auto numero = puerto_->fijaNumero(3);
        QVERIFY(numero.has_value());
        QCOMPARE(numero->numero, kFallaPuertoAbierto);
        const auto segunda = puerto_->abre();
        QVERIFY(segunda.has_value());
        QCOMPARE(segunda->numero, kFallaPuertoAbierto);
        QVERIFY(puerto_->abierto());
        // Closed, it opens again on the same device.
        puerto_->cierra();
        QVERIFY(!puerto_->abierto());
        QVERIFY(!puerto_->abre());
        QVERIFY(puerto_->abierto());
    }

    void perdidoUnaVez() {
        QVERIFY(abre());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        QSignalSpy eventos(puerto_.get(), &Puerto::evento);
        pty_->cierra();
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 1, 3000);
        QVERIFY(!puerto_->abierto());
        const QString motivo = perdidos.first().first().toString();
        QVERIFY2(motivo.contains(QStringLiteral("puerto 3")), qPrintable(motivo));
        // No flood afterwards: the port is closed and says nothing more.
        QTest::qWait(200);
        QCOMPARE(perdidos.count(), 1);
        QCOMPARE(eventos.count(), 0);
        QVERIFY(!puerto_->escribe("x"));
        QVERIFY(!puerto_->esperaDatos(10));
    }

    void perdidoDentroDeUnaEspera() {
        QVERIFY(abre());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        pty_->cierra();
        // Found while waiting without the event loop: closed at once, reported afterwards.
        QVERIFY(!puerto_->esperaDatos(2000));
        QVERIFY(!puerto_->abierto());
        QCOMPARE(perdidos.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(perdidos.count(), 1, 3000);
        QTest::qWait(100);
        QCOMPARE(perdidos.count(), 1);
    }

    void cierreNoEsPerdida() {
        QVERIFY(abre());
        QSignalSpy perdidos(puerto_.get(), &Puerto::perdido);
        puerto_->cierra();
        pty_->cierra();
        QTest::qWait(100);
        QCOMPARE(perdidos.count(), 0);
    }

    void fabrica() {
        FabricaPuertosQt f(dir_.path());
        QCOMPARE(&f.serie(1), &f.serie(1));
        QVERIFY(&f.serie(1) != &f.serie(16));
        QCOMPARE(&f.tcp(4), &f.tcp(4));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.serie(0));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.tcp(17));
        // Each line finds its device in the program directory.
        EscribeMapa(dir_, QStringLiteral("9,/dev/ttyUSB7\n"));
        QVERIFY(!f.serie(9).fijaNumero(9));
        QCOMPARE(f.serie(9).dispositivo(), QStringLiteral("/dev/ttyUSB7"));
    }
};

QTEST_GUILESS_MAIN(TstPuertoSerie)
#include "tst_puertoserie.moc"
