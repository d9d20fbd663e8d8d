#include "monitor/conectaabre.h"

#include "config/tablas.h"
#include "config/tipoconexion.h"
#include "monitor/inicializacion.h"
#include "ports/puerto.h"
#include "ports/tablacampos.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"

namespace ort {

namespace {

class AperturaPuerto {
public:
    AperturaPuerto(Entorno& e, int p) : e_(e), p_(p) {}

    // The failure message of one step; the opening goes on.
    void falla(const Falla& f) const {
        e_.avisos.mensaje(QStringLiteral("ORT. ConnectAbre.\n\n") +
                              e_.ajustes.texto(Textos::PuertoCaption) + u' ' + QString::number(p_) +
                              u'\n' + f.fuente + u'\n' + QString::number(f.numero) +
                              QStringLiteral(".- ") + f.descripcion,
                          Avisos::Icono::Exclamacion);
    }
    void paso(const Resultado<>& r) const {
        if (!r)
            falla(r.falla());
    }

private:
    Entorno& e_;
    int p_;
};

qint16 entero16(const QString& texto) {
    return aEntero16(numeroDe(texto));
}

} // namespace

void ConnectAbre(Entorno& e, TablasRuntime& t, FabricaPuertos& puertos, int p,
                 const LectorINS& leeINS) {
    AperturaPuerto apertura(e, p);
    const QString conex = t.puerto(p).Conex;
    const Resultado<Filas> registro = leeINS(QString(conex).remove(u' '));
    if (!registro) {
        // Without the connection records nothing can be opened.
        apertura.falla(registro.falla());
        return;
    }
    const Filas& ins = *registro;
    if (ins.vacio()) {
        e.avisos.mensaje(conex + QStringLiteral(". Conexión no configurada."),
                         Avisos::Icono::Exclamacion);
        return;
    }
    auto campo = [&ins](const char* columna) { return ins.textoDe(0, QLatin1String(columna)); };

    const QString tipo = campo("INSTIPOC").toUpper();
    if (tipoDeRegistro(tipo) == TipoConexion::Tcp) {
        const double puertoTcp = numeroDe(campo("INSTCPPR"));
        const qint32 remoto = puertoTcp >= -2147483648.0 && puertoTcp <= 2147483647.0
                                  ? qint32(std::nearbyint(puertoTcp))
                                  : -1;
        apertura.paso(puertos.tcp(p).conecta(campo("INSRMTIP"), remoto));
    } else {
        PuertoSerie& serie = puertos.serie(p);
        const QString settings = campo("INSBAUDI").remove(u' ') + u',' + campo("INSPARID") + u',' +
                                 campo("INSBDATO") + u',' + campo("INSBPARO");
        apertura.paso(serie.fijaNumero(p));
        apertura.paso(serie.fijaSettings(settings));
        const int buffer = entero16(campo("INSBUFFE"));
        if (buffer > 1024)
            apertura.paso(serie.fijaBufferEntrada(buffer));
        const int umbral = entero16(campo("INSRCVTH"));
        apertura.paso(serie.fijaUmbral(umbral > 1 ? umbral : 1));
        apertura.paso(serie.fijaDtr(true));
        apertura.paso(serie.fijaRts(true));
        apertura.paso(serie.abre());

        const Inicializacion ini = inicializacionInstrumento(conex);
        for (const QByteArray& comando : ini.comandos)
            if (!serie.abierto() || !serie.escribe(comando)) {
                apertura.falla(Falla{QStringLiteral("ORT"), 8018,
                                     QStringLiteral("No se pudo enviar la inicialización al "
                                                    "instrumento: el puerto no está abierto.")});
                break;
            }
        if (ini.mensaje)
            e.avisos.mensaje(*ini.mensaje, Avisos::Icono::Ninguno);
    }

    const qint16 inicio = entero16(campo("INSINICI"));
    t.PosInicio[p] = inicio < 1 ? 1 : inicio;
    t.CarTerm[p] = entero16(campo("INSTERMI"));
    t.puerto(p).TipoCon = tipo;
    t.Tabla[p] = campo("INSTABLA").toUpper();

    if (t.Tabla[p] == QStringLiteral("1")) {
        const TablaCampos tabla = leeTablaCampos(e.ajustes.Ruta, conex);
        for (const Falla& f : tabla.problemas)
            apertura.falla(f);
        t.SepTabla[p] = tabla.separador;
        QList<CampoTid> campos;
        for (const CampoTabla& c : tabla.campos)
            campos << CampoTid{c.etiqueta, c.posicion, c.longitud, c.caracteristica};
        t.fijaTabla(p, campos);
    }
}

} // namespace ort
