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
    , log_(log) {}

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
        return;
    }

    // The row is copied: recording may reach the user (a message box) before it returns.
    const FilaConf f = *fila;
    const QString carac = (campo > 0 ? caracTabla : f.Carac).trimmed();
    e_.avisos.ocupado(true);
    qint16 resultado = grabador_.GrabaMTVX(f.Forma, f.Maqui, f.Produ, carac, FechaInst, HoraInst,
                                           f.Opera, ultimo, f.DTMP);
    if (!f.EAdic1.trimmed().isEmpty() && !f.EAVal1.trimmed().isEmpty())
        resultado = grabador_.GrabaMTVX(f.Forma, f.Maqui, f.Produ, f.EAdic1.trimmed(), FechaInst,
                                        HoraInst, f.Opera, f.EAVal1, 999);
    if (!f.EAdic2.trimmed().isEmpty() && !f.EAVal2.trimmed().isEmpty())
        resultado = grabador_.GrabaMTVX(f.Forma, f.Maqui, f.Produ, f.EAdic2.trimmed(), FechaInst,
                                        HoraInst, f.Opera, f.EAVal2, 999);
    e_.avisos.ocupado(false);

    const QString dirDatos = e_.ajustes.DirDatos;
    const QString ruta = dirDatos + f.Forma.trimmed() + u'/' + f.Maqui.trimmed() + u'/' +
                         f.Produ.trimmed() + QStringLiteral(".MDB");
    switch (resultado) {
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
        break;
    default:
        t_.NumGrabadas[p] += 1;
        emit contadoresCambiados(p);
        break;
    }
    if (canal.SecActual >= canal.SecTotal)
        canal.SecActual = 0;
}

} // namespace ort
