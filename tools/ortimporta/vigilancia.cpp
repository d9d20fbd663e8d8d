#include "vigilancia.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace ort::importa::Vigilancia {

namespace {

int errorReal = 2;       // the program's standard error, after the library's was taken over
int capturaLectura = -1; // the library's standard error, read back
std::atomic<quint64> progreso{0};
std::atomic<bool> masAllaDelFinal{false};
std::atomic<bool> enLectura{false};
std::atomic<bool> terminar{false};
std::thread vigilante;
QMutex mutex;
QString archivoActual, etapaActual;
// The temporary file, also for the signal handler (which may only use what is already there).
char temporalActual[4096] = {};
std::atomic<bool> hayTemporal{false};
QByteArray pendiente;

void escribe(int fd, const QByteArray& b) {
    const char* p = b.constData();
    qsizetype n = b.size();
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w <= 0)
            return;
        p += w;
        n -= w;
    }
}

void borraTemporal() {
    if (hayTemporal.load())
        ::unlink(temporalActual);
}

// Reads what the library wrote since the last look; notes a read past the end of the file.
void leeCaptura() {
    if (capturaLectura < 0)
        return;
    char b[4096];
    for (;;) {
        const ssize_t n = ::read(capturaLectura, b, sizeof b);
        if (n <= 0)
            break;
        pendiente.append(b, n);
    }
    if (pendiente.contains("beyond EOF"))
        masAllaDelFinal = true;
    // Keep only the unfinished last line.
    const qsizetype fin = pendiente.lastIndexOf('\n');
    if (fin >= 0)
        pendiente.remove(0, fin + 1);
}

[[noreturn]] void corta(const QString& motivo) {
    borraTemporal();
    QString donde;
    {
        QMutexLocker l(&mutex);
        donde = archivoActual +
                (etapaActual.isEmpty() ? QString() : QStringLiteral(", ") + etapaActual);
    }
    escribe(errorReal, QStringLiteral("ortimporta: %1: %2; no se ha escrito nada de este "
                                      "archivo.\n")
                           .arg(donde, motivo)
                           .toUtf8());
    ::_exit(1);
}

void alCortar(int) {
    borraTemporal();
    static const char texto[] = "ortimporta: interrumpido; no se ha escrito el archivo en curso.\n";
    (void)!::write(errorReal, texto, sizeof texto - 1);
    ::_exit(130);
}

void vigila() {
    using namespace std::chrono;
    const int limite = qEnvironmentVariableIntValue("ORTIMPORTA_LIMITE_SEGUNDOS") > 0
                           ? qEnvironmentVariableIntValue("ORTIMPORTA_LIMITE_SEGUNDOS")
                           : 120;
    quint64 visto = progreso.load();
    auto desde = steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(milliseconds(200));
        if (terminar.load())
            return;
        {
            QMutexLocker l(&mutex);
            leeCaptura();
        }
        const quint64 ahora = progreso.load();
        if (ahora != visto || !enLectura.load()) {
            visto = ahora;
            desde = steady_clock::now();
            continue;
        }
        const auto quieto = steady_clock::now() - desde;
        // A read past the end that does not come back is the library lost in a truncated file.
        if (masAllaDelFinal.load() && quieto > seconds(2))
            corta(QStringLiteral("el archivo está truncado (la lectura pasa de su final y no "
                                 "termina)"));
        if (quieto > seconds(limite))
            corta(QStringLiteral("la lectura no avanza en %1 s: el archivo parece dañado")
                      .arg(limite));
    }
}

} // namespace

void inicia() {
    errorReal = ::dup(2);
    if (errorReal < 0) {
        errorReal = 2;
        return;
    }
    ::fcntl(errorReal, F_SETFD, FD_CLOEXEC);
    FILE* captura = std::tmpfile();
    if (captura) {
        const QByteArray ruta = "/proc/self/fd/" + QByteArray::number(fileno(captura));
        capturaLectura = ::open(ruta.constData(), O_RDONLY | O_CLOEXEC);
        std::fflush(stderr);
        ::dup2(fileno(captura), 2);
    }
    std::signal(SIGINT, alCortar);
    std::signal(SIGTERM, alCortar);
    vigilante = std::thread(vigila);
}

void termina() {
    terminar = true;
    if (vigilante.joinable())
        vigilante.join();
    // What the sanitizers report at exit goes where it can be seen.
    if (errorReal != 2)
        ::dup2(errorReal, 2);
}

void mensaje(const QString& texto) {
    escribe(errorReal, texto.toUtf8() + '\n');
}

void archivo(const QString& ruta) {
    QMutexLocker l(&mutex);
    archivoActual = ruta;
    etapaActual.clear();
    ++progreso;
}

void etapa(const QString& que) {
    QMutexLocker l(&mutex);
    etapaActual = que;
    ++progreso;
}

void leyendo(bool si) {
    enLectura = si;
    ++progreso;
}

void avanza() {
    ++progreso;
}

void temporal(const QString& ruta) {
    hayTemporal = false;
    const QByteArray b = QFile::encodeName(ruta);
    if (b.isEmpty() || size_t(b.size()) >= sizeof temporalActual)
        return;
    std::memcpy(temporalActual, b.constData(), size_t(b.size()) + 1);
    hayTemporal = true;
}

bool leyoMasAllaDelFinal() {
    std::fflush(stderr);
    QMutexLocker l(&mutex);
    leeCaptura();
    return masAllaDelFinal.exchange(false);
}

} // namespace ort::importa::Vigilancia
