// ort: the data-acquisition router, with its windows or as a service (--headless). Built
// without windows (ORT_GUI=OFF) it always runs as a service.
#ifdef ORT_CON_VENTANAS
#include "app/ventanas.h"

#include <QApplication>
#endif
#include "basedatos/conexion.h"
#include "estado/enlaceestado.h"
#include "monitor/adquisicion.h"
#include "monitor/servicio.h"
#include "ports/fabricapuertos.h"
#include "recording/diario.h"
#include "recording/grabador.h"
#include "startup/archivosproducto.h"
#include "startup/avisosconsola.h"
#include "startup/avisoshilos.h"
#include "startup/clave.h"
#include "startup/reloj.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

namespace {

struct Opciones {
    QString dir;
    bool headless = false;
    bool escribeClave = false;
    // The status page: loopback by default when headless, none with windows unless asked for.
    std::optional<ort::DireccionHttp> http;
    ort::GrabadorDatos::ModoEscritura escritura = ort::GrabadorDatos::ModoEscritura::PorPasada;
    qint64 diario = ort::Diario::kMaximoPorDefecto;
};

Opciones leeOpciones(const QCoreApplication& app) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "ORT, multi-port data-acquisition router for Metrovax.\n"
        "Reads the product files, the configuration database and the instruments' ports of the "
        "program directory, and writes every reading into the Metrovax data tables."));
    p.addHelpOption();
    p.addVersionOption();
    p.addOption({QStringLiteral("dir"),
                 QStringLiteral("Program directory (default: the executable's directory)."),
                 QStringLiteral("DIR")});
    p.addOption({QStringLiteral("headless"),
                 QStringLiteral("Run acquisition without any window: log lines to standard output, "
                                "messages to standard error; SIGINT/SIGTERM end it.")});
    p.addOption({QStringLiteral("escritura"),
                 QStringLiteral("How readings are written: \"pasada\" (default) commits the values "
                                "in groups, a lone reading at once and a stream at least every "
                                "100 ms (the same rows as value by value, far fewer disk syncs); "
                                "\"conexion\" keeps a connection per data file and commits every "
                                "value; \"valor\" opens the data table for every value."),
                 QStringLiteral("MODE"), QStringLiteral("pasada")});
    p.addOption({QStringLiteral("http"),
                 QStringLiteral("Status page, JSON and metrics, read-only, at HOST:PORT "
                                "(default when headless: 127.0.0.1:8088; with windows: none); "
                                "\"no\" turns it off. An address other than loopback opens it "
                                "to the network and is said at start."),
                 QStringLiteral("HOST:PORT")});
    p.addOption({QStringLiteral("escribe-clave"),
                 QStringLiteral("Reads the database password from standard input, writes it "
                                "scrambled into MTVXPASS.IAU of the program directory and ends.")});
    p.addOption({QStringLiteral("diario"),
                 QStringLiteral("Most readings held at once in the journal of held readings "
                                "(ORTDiario.mdb), where a reading that cannot be written for now "
                                "waits to be written; 0: no journal, such a reading is lost."),
                 QStringLiteral("N"), QString::number(ort::Diario::kMaximoPorDefecto)});
    p.process(app);
    Opciones o;
    const QString escritura = p.value(QStringLiteral("escritura"));
    if (escritura == QStringLiteral("pasada")) {
        o.escritura = ort::GrabadorDatos::ModoEscritura::PorPasada;
    } else if (escritura == QStringLiteral("conexion")) {
        o.escritura = ort::GrabadorDatos::ModoEscritura::Mantenida;
    } else if (escritura == QStringLiteral("valor")) {
        o.escritura = ort::GrabadorDatos::ModoEscritura::PorValor;
    } else {
        std::fprintf(stderr, "ort: --escritura takes \"valor\", \"conexion\" or \"pasada\"\n");
        std::exit(2);
    }
    bool ok = false;
    o.diario = p.value(QStringLiteral("diario")).toLongLong(&ok);
    if (!ok || o.diario < 0) {
        std::fprintf(stderr, "ort: --diario takes a number of readings (0: no journal)\n");
        std::exit(2);
    }
    o.dir = p.isSet(QStringLiteral("dir")) ? QDir(p.value(QStringLiteral("dir"))).absolutePath()
                                           : QCoreApplication::applicationDirPath();
    o.headless = p.isSet(QStringLiteral("headless"));
    o.escribeClave = p.isSet(QStringLiteral("escribe-clave"));
    if (p.isSet(QStringLiteral("http"))) {
        o.http = ort::interpretaDireccionHttp(p.value(QStringLiteral("http")));
        if (!o.http) {
            std::fprintf(stderr, "ort: --http takes HOST:PORT (e.g. 127.0.0.1:8088) or \"no\"\n");
            std::exit(2);
        }
    }
    return o;
}

int escribeClave(const QString& dir) {
    std::string linea;
    std::getline(std::cin, linea);
    QString clave = QString::fromStdString(linea);
    while (clave.endsWith(u'\r'))
        clave.chop(1);
    if (const auto r = ort::escribeArchivoClave(dir, clave); !r) {
        std::fprintf(stderr, "ORT: %s\n", qPrintable(r.falla().descripcion));
        return 1;
    }
    std::fprintf(stderr, "ORT: clave escrita en %s/MTVXPASS.IAU\n", qPrintable(dir));
    return 0;
}

int sinVentanas(QCoreApplication& app, const QString& dir,
                ort::GrabadorDatos::ModoEscritura escritura, const ort::DireccionHttp& http,
                qint64 maximoDiario) {
    ort::AvisosConsola avisos;
    auto ajustes = ort::cargaAjustes(dir, avisos);
    if (!ajustes)
        return 1;
    ort::RelojSistema reloj;
    ort::AvisosEntreHilos avisosHilos(avisos);
    ort::Entorno e{*ajustes, avisosHilos, reloj};
    ort::FabricaPuertosQt puertos(ajustes->Ruta);
    ort::GrabadorDatos grabador(e, escritura);
    ort::LatenciaEscritura latencia;
    ort::GrabadorMedido medido(grabador, latencia);
    ort::Adquisicion adquisicion(e, puertos, medido);
    adquisicion.usaDiario(maximoDiario);
    // Each data file is written by a thread and writer of its own; every value is timed.
    adquisicion.usaHilos([&] {
        return std::make_unique<ort::GrabadorMedido>(
            std::make_unique<ort::GrabadorDatos>(e, escritura), latencia);
    });
    ort::EnlaceEstado estado(adquisicion, e, &latencia);
    estado.sirve(http);
    ort::Servicio servicio(adquisicion);
    ort::FinPorSenal fin(adquisicion, &avisosHilos);
    fin.atiende();
    adquisicion.arranca();
    int r = 0;
    if (!fin.terminado()) { // a signal during the start has done the stop already
        estado.arrancado();
        r = app.exec();
    }
    estado.terminando();
    return r;
}

bool quiereVentanas(int argc, char** argv) {
#ifdef ORT_CON_VENTANAS
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--headless" || a == "--escribe-clave" || a == "--help" || a == "-h" ||
            a == "--version" || a == "-v" || a == "--help-all")
            return false;
    }
    return true;
#else
    (void)argc;
    (void)argv;
    return false;
#endif
}

} // namespace

int main(int argc, char** argv) {
    // Without TZ the C library looks /etc/localtime up on disk again at every local-time
    // conversion, several times per reading; named here, before any thread starts, the zone is
    // read once.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    [[maybe_unused]] const bool ventanas = quiereVentanas(argc, argv);
    // The service has no native dialogs to serve: Qt's own event loop wakes the window thread
    // once for many readings posted together, where the GLib one writes to its wake-up file for
    // each (measured: 2 to 4 µs less CPU per reading under a stream).
    if (!ventanas && !qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    std::unique_ptr<QCoreApplication> app;
#ifdef ORT_CON_VENTANAS
    if (ventanas)
        app = std::make_unique<QApplication>(argc, argv);
    else
#endif
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ort"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORT_VERSION));
    const Opciones o = leeOpciones(*app);
    if (o.escribeClave)
        return escribeClave(o.dir);
#ifdef ORT_CON_VENTANAS
    if (!o.headless && ventanas)
        return ort::ejecutaVentanas(static_cast<QApplication&>(*app), o.dir, o.escritura,
                                    o.http.value_or(*ort::interpretaDireccionHttp("no")), o.diario);
#else
    if (!o.headless)
        std::fprintf(stderr, "ORT: compilado sin ventanas; funciona como servicio (--headless)\n");
#endif
    return sinVentanas(*app, o.dir, o.escritura,
                       o.http.value_or(*ort::interpretaDireccionHttp("127.0.0.1:8088")), o.diario);
}
