// ortsim: plays one measuring instrument for ORT, on a pseudo-terminal or as a TCP server.
#include "ortsim/simulador.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

using namespace ort::sim;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ortsim"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Plays one measuring instrument: sends frames of an instrument code at a rate on a "
        "pseudo-terminal it creates (its device is printed) or as a TCP server on 127.0.0.1, "
        "and prints what it hears back."));
    p.addHelpOption();
    const QList<QCommandLineOption> opciones = {
        {"code", "Instrument code (CALIB, XRITE, MUX10, GSE01, TABLA…).", "code", "CALIB"},
        {"tcp", "Serve TCP on 127.0.0.1:PORT (0: any free port) instead of a pseudo-terminal.",
         "port"},
        {"link", "Make a symbolic link to the pseudo-terminal's device.", "path"},
        {"rate", "Readings per second.", "hz", "1"},
        {"count", "Readings to send, then stop (default: without end).", "n"},
        {"values",
         "Value generator: fixed:X, random:A,B (three decimals) or file:PATH (one value a line).",
         "spec", "random:10,20"},
        {"seed", "Seed of the random values.", "n", "1"},
        {"term", "Terminator character code.", "code", "13"},
        {"lf", "Send CR LF after each frame (the LF is dropped by ORT)."},
        {"channel", "Channel for multiplexers.", "n", "1"},
        {"fields", "Values per frame for multi-value and field-table frames.", "n", "1"},
        {"reject", "Send frames the decoder must not register."},
        {"garbage", "Send a line of noise before every fifth frame."},
        {"split", "Send each frame in two writes, 20 ms apart."},
        {"sent", "Append each reading ORT should register to FILE.", "file"},
        {"heard", "Append what the instrument hears to FILE.", "file"},
        {"list", "List the instrument codes with a frame generator of their own."},
        {"hold", "After --count readings keep the line open (quiet) until ended, so that ORT can "
                 "read everything that was sent."},
    };
    p.addOptions(opciones);
    p.process(app);
    QTextStream out(stdout);
    if (p.isSet("list")) {
        out << CodigosSimulados().join('\n') << Qt::endl;
        return 0;
    }
    Simulador::Config c;
    c.codigo = p.value("code");
    c.puertoTcp = p.isSet("tcp") ? p.value("tcp").toInt() : -1;
    c.enlace = p.value("link");
    c.hz = p.value("rate").toDouble();
    c.cuenta = p.isSet("count") ? p.value("count").toLongLong() : -1;
    c.valores = p.value("values");
    c.semilla = p.value("seed").toUInt();
    c.terminador = p.value("term").toInt();
    c.conLf = p.isSet("lf");
    c.opciones.canal = p.value("channel").toInt();
    c.opciones.campos = p.value("fields").toInt();
    c.opciones.rechazo = p.isSet("reject");
    c.basura = p.isSet("garbage");
    c.partir = p.isSet("split");
    c.enviadas = p.value("sent");
    c.oidas = p.value("heard");
    if (c.hz <= 0) {
        QTextStream(stderr) << "ortsim: --rate must be above 0" << Qt::endl;
        return 2;
    }
    Simulador sim(c);
    QString error;
    if (!sim.inicia(&error)) {
        QTextStream(stderr) << "ortsim: " << error << Qt::endl;
        return 1;
    }
    if (c.puertoTcp >= 0)
        out << "ortsim: " << c.codigo << " on tcp 127.0.0.1:" << sim.puertoTcp() << Qt::endl;
    else
        out << "ortsim: " << c.codigo << " on " << sim.dispositivo() << Qt::endl;
    const bool mantiene = p.isSet("hold");
    QObject::connect(&sim, &Simulador::terminado, &app, [&] {
        out << "ortsim: sent " << sim.enviadas() << " readings" << Qt::endl;
        if (mantiene)
            return;
        // Leave time for ORT to read the last bytes before the line goes away.
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
    return app.exec();
}
