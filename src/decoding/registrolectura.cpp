#include "decoding/registrolectura.h"

#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "recording/grabacion.h"
#include "startup/avisos.h"
#include "startup/conexion.h"
#include "startup/reloj.h"
#include "startup/textfuncs.h"

namespace ort {

namespace {
QString DosDigitos(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
QString Numero(double v) {
    return QString::number(v, 'g', 15);
}
} // namespace

Registrador::Registrador(Entorno& e, TablasRuntime& t, AlmacenConfig& config, Grabador& grabador,
                         LogPuertos& log, QObject* parent)
    : QObject(parent)
    , e_(e)
    , t_(t)
    , config_(config)
    , grabador_(grabador)
    , log_(log) {
    qRegisterMetaType<LecturaProbada>();
}

QString Registrador::captionRec(int p) const {
    return Numero(t_.NumLecturas.at(p)) + u' ' + e_.ajustes.texto(43, 5);
}

QString Registrador::captionGra(int p) const {
    return Numero(t_.NumGrabadas.at(p)) + u' ' + e_.ajustes.texto(43, 6);
}

void Registrador::RegistraLectura(int p, const QString& lectura, const QString& FechaInst,
                                  const QString& HoraInst, int campo) {
    const int c = AEntero16(NumeroDe(lectura.left(2)));
    if (c <= 0)
        return;
    CanalInfo& canal = t_.canal(p, c);
    const int s = canal.SecActual + 1;
    QString& ultimo = t_.UltValor(p, c, s); // checks the bounds before anything changes
    const QString caracTabla = campo > 0 ? t_.Tid(p, campo).Carac : QString();
    canal.SecActual = static_cast<qint16>(s);
    ultimo = lectura.mid(2);

    const QString prefijo = u' ' + DosDigitos(c) + u'/' + DosDigitos(s) + u' ';
    const FilaConf* fila = config_.buscaConf(p, c, s);
    QString linea;
    bool fuera = false;
    if (!fila) {
        linea =
            prefijo +
            QStringLiteral("La configuración del canal %1 secuencia %2 no existe.").arg(c).arg(s) +
            QString(22, u' ') + lectura;
    } else {
        const QDateTime ahora = e_.reloj.ahora();
        const QString carac = campo > 0 ? caracTabla : fila->Carac;
        linea = prefijo + ahora.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) +
                QStringLiteral("  ") + fila->Opera + u' ' + fila->Forma + u' ' + fila->Maqui +
                u' ' + fila->Produ + u' ' + carac + QStringLiteral("  ") + ultimo.left(8);
        const double v = NumeroDe(ultimo);
        fuera = v < t_.LimInf(p, c, s) || v > t_.LimSup(p, c, s);
        if (fuera)
            linea += QStringLiteral(" !");
        emit lecturaProbada(
            {p, c, s, carac.trimmed(), v, t_.LimInf(p, c, s), t_.LimSup(p, c, s), fuera, ahora});
    }
    log_.MuestraLinea(p, linea);
    t_.NumLecturas[p] += 1;
    emit contadoresCambiados(p);

    if (!fila) {
        canal.SecActual = 0;
        return;
    }
    if (fuera) {
        e_.avisos.beep();
        // The rejected reading used its sequence: on the last one the cycle starts again, as
        // after a recorded reading, so that the next reading finds sequence 1.
        if (canal.SecActual >= canal.SecTotal)
            canal.SecActual = 0;
        return;
    }

    // The row is copied: recording may reach the user (a message box) before it returns.
    const FilaConf f = *fila;
    const QString carac = (campo > 0 ? caracTabla : f.Carac).trimmed();
    // Every write's result is kept: a failed write of the value is never hidden behind a
    // successful write of an additional field that came after it.
    struct Escritura {
        QString carac, valor;
        qint16 resultado;
    };
    QList<Escritura> escrituras;
    e_.avisos.ocupado(true);
    escrituras << Escritura{carac, ultimo,
                            grabador_.GrabaMTVX(f.Forma, f.Maqui, f.Produ, carac, FechaInst,
                                                HoraInst, f.Opera, ultimo, f.DTMP)};
    const QString adicionales[2][2] = {{f.EAdic1, f.EAVal1}, {f.EAdic2, f.EAVal2}};
    for (const auto& [clave, valor] : adicionales)
        if (!clave.trimmed().isEmpty() && !valor.trimmed().isEmpty())
            escrituras << Escritura{clave.trimmed(), valor,
                                    grabador_.GrabaMTVX(f.Forma, f.Maqui, f.Produ, clave.trimmed(),
                                                        FechaInst, HoraInst, f.Opera, valor, 999)};
    e_.avisos.ocupado(false);
    for (const QString& nota : grabador_.tomaAvisos())
        log_.MuestraLinea(p, u' ' + nota);

    const Escritura* fallida = nullptr;
    for (const Escritura& w : escrituras)
        if (w.resultado == 1 || w.resultado == 2 || w.resultado == 3 || w.resultado == 6) {
            fallida = &w;
            break;
        }
    const QString dirDatos = e_.ajustes.DirDatos;
    const QString ruta = dirDatos + f.Forma.trimmed() + u'/' + f.Maqui.trimmed() + u'/' +
                         f.Produ.trimmed() + QStringLiteral(".MDB");
    switch (fallida ? fallida->resultado : 0) {
    case 1:
        log_.MuestraLinea(p,
                          prefijo + e_.ajustes.texto(43, 9) + u' ' + dirDatos + f.Forma.trimmed());
        break;
    case 2:
        log_.MuestraLinea(p, prefijo + e_.ajustes.texto(43, 9) + u' ' + dirDatos +
                                 f.Forma.trimmed() + u'/' + f.Maqui.trimmed());
        break;
    case 3:
        log_.MuestraLinea(p, prefijo + e_.ajustes.texto(43, 10) + u' ' + ruta);
        break;
    case 6:
        // The message box said why; the log keeps the value, so that nothing is lost unseen.
        log_.MuestraLinea(
            p, prefijo + QStringLiteral("No se grabó %1 = %2").arg(fallida->carac, fallida->valor));
        break;
    default:
        break;
    }
    if (escrituras.first().resultado != 1 && escrituras.first().resultado != 2 &&
        escrituras.first().resultado != 3 && escrituras.first().resultado != 6) {
        t_.NumGrabadas[p] += 1;
        emit contadoresCambiados(p);
    }
    if (canal.SecActual >= canal.SecTotal)
        canal.SecActual = 0;
}

} // namespace ort
