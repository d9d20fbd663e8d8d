#include "estado/enlaceestado.h"

#include "basedatos/conexion.h"
#include "monitor/adquisicion.h"
#include "startup/avisos.h"

#include <cstdio>

namespace ort {

namespace {
void diceEnConsola(const QString& texto) {
    const QByteArray l = QStringLiteral("ORT: ").toUtf8() + texto.toUtf8() + '\n';
    std::fwrite(l.constData(), 1, size_t(l.size()), stderr);
    std::fflush(stderr);
}
} // namespace

EnlaceEstado::EnlaceEstado(Adquisicion& a, Entorno& e, const LatenciaEscritura* latencia,
                           QObject* parent)
    : QObject(parent)
    , a_(a)
    , e_(e)
    , estado_(e.reloj, latencia) {
    connect(&a_, &Adquisicion::captionsCambiadas, this, &EnlaceEstado::leeInstrumentos);
    connect(&a_, &Adquisicion::estadoPuerto, this, [this](int p, bool abierto) {
        estado_.fijaInstrumento(p, a_.tablas().puerto(p).Conex);
        estado_.fijaAbierto(p, abierto);
    });
    connect(&a_, &Adquisicion::contadoresCambiados, this, [this](int p) {
        if (!TablasRuntime::puertoValido(p))
            return;
        estado_.fijaContadores(p, a_.tablas().NumLecturas.at(p), a_.tablas().NumGrabadas.at(p));
        if (a_.conDiario())
            estado_.fijaRetenidas(p, a_.registrador().retenidas(p));
    });
    connect(&a_.log(), &LogPuertos::lineaAgregada, &estado_, &EstadoPuertos::agregaLinea);
    // Without the journal nothing is held, and the page says it does not count.
    if (a_.conDiario())
        for (int p = 1; p <= kPuertos; ++p)
            estado_.fijaRetenidas(p, 0);

    connect(&estado_, &EstadoPuertos::silencio, this, [this](int p, bool empieza, qint64 s) {
        const QString codigo = estado_.puerto(p).instrumento;
        const QString linea =
            empieza ? QStringLiteral(" Puerto %1: sin datos del instrumento desde hace %2 s.")
                    : QStringLiteral(" Puerto %1: vuelven a llegar datos tras %2 s sin datos.");
        const QString aviso = empieza
                                  ? QStringLiteral("ORT. Puerto %1 (%2): no llegan datos del "
                                                   "instrumento desde hace %3 s.")
                                  : QStringLiteral("ORT. Puerto %1 (%2): vuelven a llegar "
                                                   "datos del instrumento tras %3 s sin datos.");
        a_.log().MuestraLinea(p, linea.arg(p).arg(s));
        e_.avisos.mensaje(aviso.arg(p).arg(codigo).arg(s),
                          empieza ? Avisos::Icono::Exclamacion : Avisos::Icono::Informacion);
    });

    QStringList problemas;
    for (const auto& [p, s] : leeSilencios(e_.ajustes.Ruta, &problemas))
        estado_.fijaSilencio(p, s);
    if (!problemas.isEmpty())
        e_.avisos.mensaje(QStringLiteral("ORT. Avisos de silencio.\n\n") + problemas.join(u'\n'),
                          Avisos::Icono::Exclamacion);

    estadoSystemd_.setInterval(2000);
    connect(&estadoSystemd_, &QTimer::timeout, this,
            [this] { systemd_.estado(estado_.resumen()); });
}

EnlaceEstado::~EnlaceEstado() = default;

void EnlaceEstado::leeInstrumentos() {
    for (int p = 1; p <= kPuertos; ++p)
        estado_.fijaInstrumento(p, a_.tablas().puerto(p).Conex);
}

quint16 EnlaceEstado::sirve(const DireccionHttp& d) {
    if (d.ninguna)
        return 0;
    servidor_ = std::make_unique<ServidorEstado>(estado_);
    const auto puerto = servidor_->escucha(d);
    if (!puerto) {
        diceEnConsola(QStringLiteral("no se puede abrir la página de estado en %1 (¿puerto en "
                                     "uso o dirección ajena a esta máquina?); ORT sigue sin ella.")
                          .arg(d.url()));
        servidor_.reset();
        return 0;
    }
    if (d.deRed()) {
        DireccionHttp real = d;
        real.puerto = *puerto;
        diceEnConsola(
            QStringLiteral("la página de estado escucha en %1, abierta a la red.").arg(real.url()));
    }
    return *puerto;
}

void EnlaceEstado::arrancado() {
    leeInstrumentos();
    estado_.iniciaRevision();
    systemd_.listo(estado_.resumen());
    systemd_.vigila(&a_);
    estadoSystemd_.start();
}

void EnlaceEstado::terminando() {
    estadoSystemd_.stop();
    systemd_.terminando();
}

} // namespace ort
