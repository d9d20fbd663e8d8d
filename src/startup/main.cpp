// ort: the data-acquisition router, with its windows or as a service (--headless).
#include "monitor/adquisicion.h"
#include "monitor/servicio.h"
#include "ports/fabricapuertos.h"
#include "recording/grabador.h"
#include "startup/archivosproducto.h"
#include "startup/avisosconsola.h"
#include "startup/conexion.h"
#include "startup/reloj.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <memory>

namespace ort {
int EjecutaVentanas(QApplication& app, const QString& dir);
}

namespace {

struct Opciones {
    QString dir;
    bool headless = false;
};

Opciones LeeOpciones(const QCoreApplication& app) {
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
    p.process(app);
    Opciones o;
    o.dir = p.isSet(QStringLiteral("dir")) ? QDir(p.value(QStringLiteral("dir"))).absolutePath()
                                           : QCoreApplication::applicationDirPath();
    o.headless = p.isSet(QStringLiteral("headless"));
    return o;
}

int SinVentanas(QCoreApplication& app, const QString& dir) {
    ort::AvisosConsola avisos;
    auto ajustes = ort::CargaAjustes(dir, avisos);
    if (!ajustes)
        return 1;
    ort::RelojSistema reloj;
    ort::Entorno e{*ajustes, avisos, reloj};
    ort::FabricaPuertosQt puertos(ajustes->Ruta);
    ort::GrabadorDatos grabador(e);
    ort::Adquisicion adquisicion(e, puertos, grabador);
    ort::Servicio servicio(adquisicion);
    servicio.atiendeSenales();
    adquisicion.arranca();
    return app.exec();
}

bool QuiereVentanas(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--headless" || a == "--help" || a == "-h" || a == "--version" || a == "-v" ||
            a == "--help-all")
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bool ventanas = QuiereVentanas(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (ventanas)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ort"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORT_VERSION));
    const Opciones o = LeeOpciones(*app);
    if (o.headless || !ventanas)
        return SinVentanas(*app, o.dir);
    return ort::EjecutaVentanas(static_cast<QApplication&>(*app), o.dir);
}
