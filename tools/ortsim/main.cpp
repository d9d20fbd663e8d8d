// ortsim: plays one measuring instrument for ORT, on a pseudo-terminal or as a TCP server.
#include "config/tipoconexion.h"
#include "ortsim/simulador.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

using namespace ort::sim;

namespace {

const char kDescripcion[] =
    "Plays one measuring instrument for ORT: sends the frames of an instrument code at a rate,\n"
    "on a pseudo-terminal it creates (its device is printed: give it to ORT as the port's\n"
    "device) or as a TCP server on 127.0.0.1, and prints what it hears back from ORT.\n"
    "\n"
    "A sample is what the instrument sends for one reading: one frame for most instruments,\n"
    "a status frame and a value frame (AND), an announcement and a result (FOCUG, MIRAN), a\n"
    "request and, once answered, a measurement (GSE01), or a whole batch (DL-10, DP3DX, DP7,\n"
    "QMATE, DM510). Values after the first of a sample are the value plus 1, 2, ...\n"
    "\n"
    "--sent lists, one a line, each reading ORT should register from a serial line: the two\n"
    "channel digits and the value text, a tab, the instrument's date (yyyymmdd), a tab, its\n"
    "time (hhnn). ORT frames TCP data like serial data, at the terminator. --heard lists what\n"
    "ORT wrote: \"+++\" alone, every\n"
    "other text up to its CR or up to the \"^\" that closes a GSE01 command, each line as\n"
    "<time> heard <text>.\n"
    "\n"
    "Notes: ISHID readings are kept by ORT only in the first four seconds of every ten\n"
    "minutes. TLOAD sends binary numbers; a number with a byte below 32 cannot pass ORT's\n"
    "framing and is moved to the nearest one that can (small positive numbers cannot: use\n"
    "negative values or large ones). Instruments whose decoder takes every frame are refused\n"
    "(--reject) with a line of control characters only, which ORT's framing drops.";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ortsim"));
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescripcion));
    p.addHelpOption();
    const QList<QCommandLineOption> opciones = {
        {"code",
         "Instrument code (see --list). A code without an instrument of its own sends the plain "
         "value, as ORT's default decoder reads it.",
         "code", "CALIB"},
        {"list", "List the instrument codes, their channels, variants and frames, and exit."},
        {"tcp",
         "Serve TCP on 127.0.0.1:PORT (0: any free port; the port is printed) instead of "
         "a pseudo-terminal.",
         "port"},
        {"link", "Make a symbolic link to the pseudo-terminal's device.", "path"},
        {"rate", "Samples per second.", "hz", "1"},
        {"count", "Samples to send, then stop (default: without end).", "n"},
        {"values",
         "Value generator: fixed:X, random:A,B (three decimals) or file:PATH (one value a line, "
         "in turn).",
         "spec", "random:10,20"},
        {"seed", "Seed of the random values.", "n", "1"},
        {"term", "Terminator character code after each frame, or none (default: 13).", "code"},
        {"lf", "Send an LF after the terminator (ORT drops it)."},
        {"channel",
         "Channel of the readings, for instruments that carry one (see --list); for TDLRF and "
         "TODLR the number of the ORT port, which is their channel.",
         "n", "1"},
        {"fields",
         "Values per frame for KSCOU/KSTEC (axes), QMATE and TABLA (default: the instrument's "
         "own).",
         "n", "0"},
        {"batch",
         "Frames per batch for DL-10, DP3DX, DP7, QMATE and DM510 (default: the "
         "instrument's own).",
         "n", "0"},
        {"variant", "Which of the instrument's frame forms to send (see --list).", "n", "0"},
        {"reject", "Send samples ORT must not register."},
        {"garbage", "Send a line of noise before every fifth sample."},
        {"split", "Send each frame in two writes, 20 ms apart."},
        {"dialogue",
         "Answer like the instrument: GSE01 sends its request (An) and its measurement only "
         "after ORT's command (the text ending in ^), for the unit ORT dialled with ATDT 0n "
         "(asking again after 10 s of silence); DL-10 dumps one batch each time it hears its "
         "start command S1A1000."},
        {"sent", "Append each reading ORT should register to FILE.", "file"},
        {"heard", "Append what the instrument hears to FILE.", "file"},
        {"hold", "After --count readings keep the line open (quiet) until ended, so that ORT can "
                 "read everything that was sent."},
    };
    p.addOptions(opciones);
    p.process(app);
    QTextStream out(stdout), err(stderr);
    if (p.isSet("list")) {
        for (const Instrumento* i : instrumentos())
            out << QStringLiteral("%1  channels 1-%2  variants %3  %4")
                       .arg(QString::fromLatin1(i->codigo).leftJustified(5))
                       .arg(i->canales, -2)
                       .arg(i->variantes)
                       .arg(QString::fromLatin1(i->descripcion))
                << Qt::endl;
        return 0;
    }
    auto entero = [&](const char* nombre, int minimo, int maximo, int* v) {
        bool ok = false;
        *v = p.value(nombre).toInt(&ok);
        if (ok && *v >= minimo && *v <= maximo)
            return true;
        err << "ortsim: --" << nombre << " must be a whole number from " << minimo << " to "
            << maximo << Qt::endl;
        return false;
    };
    Simulador::Config c;
    c.codigo = p.value("code");
    if (ort::tipoDePuerto(c.codigo, QString()) == ort::TipoConexion::Reloj) {
        err << "ortsim: TIMER has no instrument: ORT makes its readings from its own clock"
            << Qt::endl;
        return 2;
    }
    const Instrumento* ins = buscaInstrumento(c.codigo);
    if (!ins)
        err << "ortsim: " << c.codigo << " has no instrument of its own; sending plain values"
            << Qt::endl;
    if (!entero("channel", 1, ins ? ins->canales : 1, &c.opciones.canal) ||
        !entero("variant", 0, ins ? ins->variantes - 1 : 0, &c.opciones.variante) ||
        !entero("fields", 0, 1000, &c.opciones.campos) ||
        !entero("batch", 0, 100000, &c.opciones.lote))
        return 2;
    c.puertoTcp = p.isSet("tcp") ? p.value("tcp").toInt() : -1;
    c.enlace = p.value("link");
    c.hz = p.value("rate").toDouble();
    c.cuenta = p.isSet("count") ? p.value("count").toLongLong() : -1;
    c.valores = p.value("values");
    c.semilla = p.value("seed").toUInt();
    if (p.isSet("term")) {
        if (p.value("term") == QStringLiteral("none"))
            c.terminador = -1;
        else if (!entero("term", 0, 255, &c.terminador))
            return 2;
    } else {
        c.terminador = 13;
    }
    c.conLf = p.isSet("lf");
    c.opciones.rechazo = p.isSet("reject");
    c.basura = p.isSet("garbage");
    c.partir = p.isSet("split");
    c.dialogo = p.isSet("dialogue");
    c.enviadas = p.value("sent");
    c.oidas = p.value("heard");
    if (!(c.hz > 0)) {
        err << "ortsim: --rate must be above 0" << Qt::endl;
        return 2;
    }
    Simulador sim(c);
    QString error;
    if (!sim.inicia(&error)) {
        err << "ortsim: " << error << Qt::endl;
        return 1;
    }
    if (c.puertoTcp >= 0)
        out << "ortsim: " << c.codigo << " on tcp 127.0.0.1:" << sim.puertoTcp() << Qt::endl;
    else
        out << "ortsim: " << c.codigo << " on " << sim.dispositivo() << Qt::endl;
    const bool mantiene = p.isSet("hold");
    QObject::connect(&sim, &Simulador::terminado, &app, [&] {
        out << "ortsim: sent " << sim.enviadas() << " samples, " << sim.lecturas() << " readings"
            << Qt::endl;
        if (mantiene)
            return;
        // Leave time for ORT to read the last bytes before the line goes away.
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
    return app.exec();
}
