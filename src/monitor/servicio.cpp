#include "monitor/servicio.h"

#include "monitor/adquisicion.h"
#include "startup/avisoshilos.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace ort {

namespace {
int gTuberia[2] = {-1, -1};

void alRecibirSenal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(gTuberia[1], &c, 1);
}
} // namespace

struct FinPorSenal::Senales {
    std::unique_ptr<QSocketNotifier> notificador;
};

FinPorSenal::FinPorSenal(Adquisicion& a, AvisosEntreHilos* avisos, QObject* parent)
    : QObject(parent)
    , a_(a)
    , avisos_(avisos) {}

FinPorSenal::~FinPorSenal() = default;

void FinPorSenal::atiende() {
    if (gTuberia[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, gTuberia) != 0)
        return;
    senales_ = std::make_unique<Senales>();
    senales_->notificador = std::make_unique<QSocketNotifier>(gTuberia[0], QSocketNotifier::Read);
    connect(senales_->notificador.get(), &QSocketNotifier::activated, this, [this] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(gTuberia[0], &c, 1);
        termina();
    });
    struct sigaction sa {};
    sa.sa_handler = alRecibirSenal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void FinPorSenal::termina() {
    // Workers stop within a slice of their waits, the ports close, and what they took is
    // written and committed; the lines of its results are shown before the end.
    if (terminado_)
        return;
    terminado_ = true;
    if (avisos_)
        avisos_->terminando();
    a_.detiene();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::exit(0);
}

Servicio::Servicio(Adquisicion& a, QObject* parent) : QObject(parent) {
    connect(&a.log(), &LogPuertos::lineaAgregada, this, [](int p, const QString& linea) {
        const QByteArray l = lineaSalida(p, linea).toUtf8() + '\n';
        std::fwrite(l.constData(), 1, size_t(l.size()), stdout);
        std::fflush(stdout);
    });
}

QString Servicio::lineaSalida(int p, const QString& linea) {
    QString l = linea;
    while (l.endsWith(u' '))
        l.chop(1);
    return QStringLiteral("%1 ").arg(p, 2, 10, QLatin1Char('0')) + l;
}

} // namespace ort
