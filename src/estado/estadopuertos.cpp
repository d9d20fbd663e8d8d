#include "estado/estadopuertos.h"

#include "config/tipoconexion.h"
#include "estado/latencia.h"
#include "startup/archivosproducto.h"
#include "startup/reloj.h"
#include "startup/textfuncs.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

namespace ort {

EstadoPuertos::EstadoPuertos(Reloj& reloj, const LatenciaEscritura* latencia, QObject* parent)
    : QObject(parent)
    , reloj_(reloj)
    , latencia_(latencia) {
    revision_.setInterval(kRevisionMs);
    connect(&revision_, &QTimer::timeout, this, &EstadoPuertos::revisaSilencios);
}

std::size_t EstadoPuertos::indice(int p) {
    return TablasRuntime::puertoValido(p) ? std::size_t(p) : 0;
}

bool EstadoPuertos::enUso(int p) const {
    const QString c = puerto(p).instrumento;
    return TablasRuntime::puertoValido(p) && !c.isEmpty() &&
           tipoDePuerto(c, QString()) != TipoConexion::Nada;
}

void EstadoPuertos::fijaInstrumento(int p, const QString& codigo) {
    mio(p).instrumento = codigo.trimmed().toUpper();
}

void EstadoPuertos::fijaAbierto(int p, bool abierto) {
    Puerto& e = mio(p);
    if (abierto && !e.abierto)
        e.silencioDesdeMs = reloj_.monotonoMs();
    if (!abierto)
        e.enSilencio = false; // a closed port is not silent; the closing is said elsewhere
    e.abierto = abierto;
}

void EstadoPuertos::fijaContadores(int p, double recibidas, double grabadas) {
    Puerto& e = mio(p);
    const bool nueva = recibidas > e.recibidas;
    e.recibidas = recibidas;
    e.grabadas = grabadas;
    if (!nueva)
        return;
    const qint64 ahora = reloj_.monotonoMs();
    const qint64 callado = e.silencioDesdeMs >= 0 ? ahora - e.silencioDesdeMs : 0;
    e.ultimaLectura = reloj_.ahora();
    e.ultimaLecturaMs = ahora;
    e.silencioDesdeMs = ahora;
    if (e.enSilencio) {
        e.enSilencio = false;
        emit silencio(p, false, callado / 1000);
    }
}

void EstadoPuertos::fijaRetenidas(int p, std::optional<qint64> n) {
    mio(p).retenidas = n;
}

void EstadoPuertos::agregaLinea(int p, const QString& linea) {
    QString l = linea;
    while (l.endsWith(u' '))
        l.chop(1);
    QStringList& ls = mio(p).lineas;
    ls << l;
    while (ls.size() > kLineas)
        ls.removeFirst();
}

void EstadoPuertos::fijaSilencio(int p, int segundos) {
    mio(p).silencioSegundos = std::max(segundos, 0);
}

void EstadoPuertos::revisaSilencios() {
    const qint64 ahora = reloj_.monotonoMs();
    for (int p = 1; p <= kPuertos; ++p) {
        Puerto& e = mio(p);
        if (e.silencioSegundos <= 0 || !e.abierto || e.enSilencio || e.silencioDesdeMs < 0)
            continue;
        const qint64 ms = ahora - e.silencioDesdeMs;
        if (ms >= qint64(e.silencioSegundos) * 1000) {
            e.enSilencio = true;
            emit silencio(p, true, ms / 1000);
        }
    }
}

double EstadoPuertos::segundosDesdeUltima(const Puerto& e) const {
    return e.ultimaLecturaMs < 0 ? -1.0 : double(reloj_.monotonoMs() - e.ultimaLecturaMs) / 1000.0;
}

QJsonObject EstadoPuertos::json() const {
    QJsonArray puertos;
    for (int p = 1; p <= kPuertos; ++p) {
        if (!enUso(p))
            continue;
        const Puerto& e = puerto(p);
        QJsonObject o{{QStringLiteral("puerto"), p},
                      {QStringLiteral("instrumento"), e.instrumento},
                      {QStringLiteral("abierto"), e.abierto},
                      {QStringLiteral("recibidas"), e.recibidas},
                      {QStringLiteral("grabadas"), e.grabadas},
                      {QStringLiteral("noGrabadas"), e.recibidas - e.grabadas},
                      {QStringLiteral("retenidas"),
                       e.retenidas ? QJsonValue(double(*e.retenidas)) : QJsonValue()},
                      {QStringLiteral("ultimaLectura"),
                       e.ultimaLectura.isValid() ? QJsonValue(e.ultimaLectura.toString(Qt::ISODate))
                                                 : QJsonValue()},
                      {QStringLiteral("segundosDesdeUltimaLectura"),
                       e.ultimaLecturaMs < 0 ? QJsonValue() : QJsonValue(segundosDesdeUltima(e))},
                      {QStringLiteral("silencio"),
                       QJsonObject{{QStringLiteral("limiteSegundos"), e.silencioSegundos},
                                   {QStringLiteral("activo"), e.enSilencio}}},
                      {QStringLiteral("log"), QJsonArray::fromStringList(e.lineas)}};
        puertos.append(o);
    }
    return {{QStringLiteral("programa"), QStringLiteral("ORT")},
            {QStringLiteral("version"), QStringLiteral(ORT_VERSION)},
            {QStringLiteral("hora"), reloj_.ahora().toString(Qt::ISODate)},
            {QStringLiteral("puertos"), puertos}};
}

namespace {

QByteArray numero(double v) {
    return QByteArray::number(v, 'g', 15);
}

// One metric family: HELP, TYPE and a sample per port in use for which valor has a value.
template <typename F>
QByteArray familia(const EstadoPuertos& s, const char* nombre, const char* tipo, const char* ayuda,
                   F valor) {
    QByteArray t =
        QByteArray("# HELP ") + nombre + ' ' + ayuda + "\n# TYPE " + nombre + ' ' + tipo + '\n';
    for (int p = 1; p <= kPuertos; ++p) {
        if (!s.enUso(p))
            continue;
        const std::optional<double> v = valor(s.puerto(p));
        if (v)
            t += QByteArray(nombre) + "{puerto=\"" + QByteArray::number(p) + "\"} " + numero(*v) +
                 '\n';
    }
    return t;
}

QString html(const QString& s) {
    return s.toHtmlEscaped();
}

} // namespace

QByteArray EstadoPuertos::metricas() const {
    using P = Puerto;
    using V = std::optional<double>;
    QByteArray t = "# HELP ort_info Versión de ORT.\n# TYPE ort_info gauge\nort_info{version=\"" +
                   QByteArray(ORT_VERSION) + "\"} 1\n";
    t += "# HELP ort_puerto_info Instrumento de cada puerto en uso.\n"
         "# TYPE ort_puerto_info gauge\n";
    for (int p = 1; p <= kPuertos; ++p)
        if (enUso(p)) {
            QByteArray codigo = puerto(p).instrumento.toUtf8();
            codigo.replace('\\', "\\\\").replace('"', "\\\"");
            t += "ort_puerto_info{puerto=\"" + QByteArray::number(p) + "\",instrumento=\"" +
                 codigo + "\"} 1\n";
        }
    t += familia(*this, "ort_puerto_abierto", "gauge", "1 si el puerto está abierto.",
                 [](const P& e) { return V(e.abierto ? 1 : 0); });
    t += familia(*this, "ort_lecturas_recibidas_total", "counter", "Lecturas recibidas.",
                 [](const P& e) { return V(e.recibidas); });
    t += familia(*this, "ort_lecturas_grabadas_total", "counter", "Lecturas grabadas.",
                 [](const P& e) { return V(e.grabadas); });
    t += familia(*this, "ort_lecturas_no_grabadas_total", "counter",
                 "Lecturas recibidas que no se grabaron.",
                 [](const P& e) { return V(e.recibidas - e.grabadas); });
    t += familia(*this, "ort_lecturas_retenidas", "gauge",
                 "Lecturas retenidas a la espera de grabarse.",
                 [](const P& e) { return e.retenidas ? V(double(*e.retenidas)) : V(); });
    t += familia(*this, "ort_segundos_desde_ultima_lectura", "gauge",
                 "Segundos desde la última lectura del puerto.", [this](const P& e) {
                     return e.ultimaLecturaMs < 0 ? V() : V(segundosDesdeUltima(e));
                 });
    t += familia(*this, "ort_silencio_limite_segundos", "gauge",
                 "Segundos sin datos tras los que el puerto avisa (0: sin aviso).",
                 [](const P& e) { return V(e.silencioSegundos); });
    t += familia(*this, "ort_puerto_silencioso", "gauge",
                 "1 si el puerto lleva sin datos más que su límite.",
                 [](const P& e) { return V(e.enSilencio ? 1 : 0); });
    if (latencia_)
        t += latencia_->metricas("ort_escritura_segundos");
    return t;
}

QString EstadoPuertos::resumen() const {
    int enUsoN = 0, abiertos = 0, silenciosos = 0;
    double recibidas = 0, grabadas = 0;
    for (int p = 1; p <= kPuertos; ++p) {
        if (!enUso(p))
            continue;
        const Puerto& e = puerto(p);
        ++enUsoN;
        abiertos += e.abierto ? 1 : 0;
        silenciosos += e.enSilencio ? 1 : 0;
        recibidas += e.recibidas;
        grabadas += e.grabadas;
    }
    QString r = QStringLiteral("%1 de %2 puertos abiertos; %3 lecturas recibidas, %4 grabadas")
                    .arg(abiertos)
                    .arg(enUsoN)
                    .arg(QString::number(recibidas, 'f', 0), QString::number(grabadas, 'f', 0));
    if (silenciosos > 0)
        r += QStringLiteral("; %1 sin datos").arg(silenciosos);
    return r;
}

QByteArray EstadoPuertos::pagina() const {
    QString h = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta http-equiv=\"refresh\" content=\"5\">"
        "<title>ORT: estado de los puertos</title><style>"
        "body{font-family:system-ui,sans-serif;margin:0;background:#eef1f5;color:#1b1f24}"
        "header{background:#1d3557;color:#fff;padding:.7em 1em}"
        "header h1{font-size:1.2em;margin:0}header p{margin:.2em 0 0;font-size:.85em;opacity:.85}"
        "main{display:grid;gap:.8em;padding:.8em;grid-template-columns:repeat(auto-fill,"
        "minmax(min(100%,27em),1fr))}"
        "section{background:#fff;border-radius:.5em;padding:.7em .9em;"
        "box-shadow:0 1px 3px #0002}"
        "h2{font-size:1.05em;margin:0 0 .4em;display:flex;align-items:center;gap:.5em}"
        ".lampara{width:1em;height:1em;border-radius:50%;display:inline-block;"
        "border:1px solid #0004}"
        ".abierto{background:#2a9d45}.cerrado{background:#c0392b}"
        ".estado{font-weight:normal;font-size:.85em;color:#555}"
        "table{border-collapse:collapse;width:100%;font-size:.9em}"
        "td{padding:.15em .3em;border-bottom:1px solid #eee}td:last-child{text-align:right}"
        ".alarma{background:#fff3cd;border:1px solid #e0b000;border-radius:.3em;"
        "padding:.3em .5em;margin:.4em 0;font-size:.9em}"
        "pre{background:#10151b;color:#d8e0e8;font-size:.72em;padding:.5em;border-radius:.3em;"
        "overflow-x:auto;margin:.5em 0 0;max-height:22em}"
        "footer{font-size:.8em;color:#555;padding:0 1em 1em}"
        "</style></head><body><header><h1>ORT &middot; estado de los puertos</h1><p>");
    h += html(reloj_.ahora().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))) +
         QStringLiteral(" &middot; se actualiza cada 5 s</p></header><main>\n");
    int mostrados = 0;
    for (int p = 1; p <= kPuertos; ++p) {
        if (!enUso(p))
            continue;
        ++mostrados;
        const Puerto& e = puerto(p);
        const QString retenidas = e.retenidas ? QString::number(*e.retenidas) : QStringLiteral("—");
        QString ultima = QStringLiteral("ninguna");
        if (e.ultimaLectura.isValid())
            ultima =
                e.ultimaLectura.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) +
                QStringLiteral(" (hace %1 s)").arg(QString::number(segundosDesdeUltima(e), 'f', 0));
        h += QStringLiteral("<section><h2><span class=\"lampara %1\" title=\"%2\"></span>"
                            "Puerto %3 &middot; %4 <span class=\"estado\">%2</span></h2>")
                 .arg(e.abierto ? QStringLiteral("abierto") : QStringLiteral("cerrado"),
                      e.abierto ? QStringLiteral("abierto") : QStringLiteral("cerrado"))
                 .arg(p)
                 .arg(html(e.instrumento));
        if (e.enSilencio)
            h += QStringLiteral("<div class=\"alarma\">Sin datos del instrumento desde hace más "
                                "de %1 s.</div>")
                     .arg(e.silencioSegundos);
        h += QStringLiteral("<table><tr><td>Recibidas</td><td>%1</td></tr>"
                            "<tr><td>Grabadas</td><td>%2</td></tr>"
                            "<tr><td>No grabadas</td><td>%3</td></tr>"
                            "<tr><td>Retenidas</td><td>%4</td></tr>"
                            "<tr><td>Última lectura</td><td>%5</td></tr></table>")
                 .arg(QString::number(e.recibidas, 'f', 0), QString::number(e.grabadas, 'f', 0),
                      QString::number(e.recibidas - e.grabadas, 'f', 0), retenidas, html(ultima));
        h += QStringLiteral("<pre>") + html(e.lineas.join(u'\n')) + QStringLiteral("</pre>");
        h += QStringLiteral("</section>\n");
    }
    if (mostrados == 0)
        h += QStringLiteral("<section>No hay puertos configurados.</section>");
    h += QStringLiteral("</main><footer>ORT %1 &middot; <a href=\"/api/estado\">JSON</a> "
                        "&middot; <a href=\"/metrics\">métricas</a></footer></body></html>\n")
             .arg(QStringLiteral(ORT_VERSION));
    return h.toUtf8();
}

QList<std::pair<int, int>> leeSilencios(const QString& directorioPrograma, QStringList* problemas) {
    QList<std::pair<int, int>> r;
    const auto f = leeLineasOpcional(directorioPrograma, QStringLiteral("ORTSilencio.IAU"));
    if (!f) {
        if (problemas)
            *problemas << f.falla().descripcion;
        return r;
    }
    const QString& archivo = f->ruta;
    const QStringList& lineas = f->lineas;
    for (int i = 0; i < lineas.size(); ++i) {
        const QString l = lineas[i].trimmed();
        if (l.isEmpty() || l.startsWith(u'#'))
            continue;
        const QStringList partes = l.split(u',');
        bool okP = false, okS = false;
        const int p = partes.value(0).trimmed().toInt(&okP);
        const int s = partes.value(1).trimmed().toInt(&okS);
        if (partes.size() != 2 || !okP || !okS || !TablasRuntime::puertoValido(p) || s < 0) {
            if (problemas)
                *problemas << QStringLiteral("%1, línea %2: se espera «puerto,segundos» "
                                             "(puerto de 1 a 16).")
                                  .arg(archivo)
                                  .arg(i + 1);
            continue;
        }
        r << std::pair{p, s};
    }
    return r;
}

} // namespace ort
