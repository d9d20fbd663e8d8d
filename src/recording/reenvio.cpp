#include "recording/reenvio.h"

namespace ort {

EscritorDatos::EscritorDatos(Ajustes& ajustes, Reloj& reloj, GrabadorDatos::ModoEscritura apertura)
    : reloj_(reloj)
    , e_{ajustes, avisos_, reloj_}
    , grabador_(e_, apertura) {
    grabador_.callaFallasPasajeras(true);
}

ResultadoEscritura EscritorDatos::resultado() {
    ResultadoEscritura r{grabador_.ultimaFalla(), {}};
    if (r.falla == TipoFalla::Ninguna)
        return r;
    const Falla& f = grabador_.detalleFalla();
    r.motivo = avisos_.ultimo.isEmpty() ? f.fuente + u'\n' + QString::number(f.numero) +
                                              QStringLiteral(".- ") + f.descripcion
                                        : avisos_.ultimo;
    avisos_.ultimo.clear();
    return r;
}

ResultadoEscritura EscritorDatos::huella(const QList<Retenida>& lote,
                                         std::optional<HuellaTabla>& huella) {
    QStringList caracs;
    for (const Retenida& r : lote)
        if (!caracs.contains(r.Carac))
            caracs << r.Carac;
    const Retenida& p = lote.front();
    huella = grabador_.huella(p.Forma, p.Maqui, p.Produ, caracs);
    return resultado();
}

ResultadoEscritura EscritorDatos::escribe(const Retenida& r) {
    reloj_.momento = r.momento;
    avisos_.ultimo.clear();
    grabador_.GrabaMTVX(r.Forma, r.Maqui, r.Produ, r.Carac, r.Fecha, r.Hora, r.Opera, r.Valor,
                        r.DTMP);
    reloj_.momento = {};
    const ResultadoEscritura res = resultado();
    porConfirmar_ = porConfirmar_ || res.falla == TipoFalla::Ninguna;
    return res;
}

ResultadoEscritura EscritorDatos::cierraLote() {
    // Nothing written since the last commit: nothing to commit, whatever the last failure was.
    if (!porConfirmar_)
        return {};
    porConfirmar_ = false;
    avisos_.ultimo.clear();
    grabador_.terminaPasada();
    return resultado();
}

ResultadoEscritura EscritorDatos::yaEscritas(const QList<Retenida>& marcadas, int& cuantas) {
    cuantas = 0;
    const Retenida& p = marcadas.front();
    QList<ValorEscrito> valores;
    for (const Retenida& r : marcadas)
        valores << r.valorEscrito();
    // Marked without a huella (the table could not be read then): every row counts.
    const HuellaTabla h{qMax<qint64>(0, p.nAntes), p.nAntes < 0 ? QStringList() : p.llenasAntes};
    if (const auto n = grabador_.yaEscritos(p.Forma, p.Maqui, p.Produ, h, valores))
        cuantas = *n;
    return resultado();
}

Reenvio::Reenvio(Diario& diario, EscritorRetenidas& escritor, Reloj& reloj, Sucesos sucesos)
    : diario_(diario)
    , escritor_(escritor)
    , reloj_(reloj)
    , sucesos_(std::move(sucesos)) {}

void Reenvio::fijaEsperas(qint64 primeraMs, qint64 maximaMs) {
    primeraMs_ = qMax<qint64>(1, primeraMs);
    maximaMs_ = qMax(primeraMs_, maximaMs);
}

void Reenvio::revisaLimite(Diario::Admision a) {
    const bool lleno = a == Diario::Admision::Rechazada && diario_.total() >= diario_.maximo();
    if (lleno && limite_ != Limite::Lleno) {
        limite_ = Limite::Lleno;
        if (sucesos_.limite)
            sucesos_.limite(diario_.total(), diario_.maximo(), true);
    } else if (a == Diario::Admision::Cerca && limite_ == Limite::Normal) {
        limite_ = Limite::Cerca;
        if (sucesos_.limite)
            sucesos_.limite(diario_.total(), diario_.maximo(), false);
    } else if (diario_.total() < diario_.aviso()) {
        limite_ = Limite::Normal;
    }
}

Diario::Admision Reenvio::retiene(QList<Retenida> rs, const QString& motivo) {
    if (rs.isEmpty())
        return Diario::Admision::Guardada;
    const QString destino = rs.front().destino;
    const bool nueva = !diario_.tieneRetenidas(destino);
    for (Retenida& r : rs)
        r.motivo = motivo;
    const Diario::Admision a = diario_.agrega(rs);
    revisaLimite(a);
    if (a == Diario::Admision::Rechazada || !nueva)
        return a;
    // The table just failed: the first retry waits, and the outage is said once.
    Estado& d = estados_[destino];
    if (d.fallos == 0)
        falla(d);
    if (sucesos_.empiezaRetencion)
        sucesos_.empiezaRetencion(rs.front());
    return a;
}

void Reenvio::falla(Estado& d) {
    ++d.fallos;
    d.esperaMs = qMin(maximaMs_, primeraMs_ << qMin(d.fallos - 1, 30));
    d.proximoMs = reloj_.monotonoMs() + d.esperaMs;
}

qint64 Reenvio::pasa() {
    if (diario_.total() == 0)
        return -1;
    const qint64 inicio = reloj_.monotonoMs();
    qint64 proxima = -1;
    for (const QString& destino : diario_.destinos()) {
        Estado& d = estados_[destino];
        const qint64 ahora = reloj_.monotonoMs();
        if (d.proximoMs > ahora) {
            proxima = proxima < 0 ? d.proximoMs - ahora : qMin(proxima, d.proximoMs - ahora);
            continue;
        }
        switch (reenvia(destino, d, inicio)) {
        case Fin::Vacio:
            if (sucesos_.atrasoEscrito)
                sucesos_.atrasoEscrito(destino, d.escritas);
            estados_.remove(destino);
            break;
        case Fin::Fallo:
            proxima = proxima < 0 ? d.esperaMs : qMin(proxima, d.esperaMs);
            break;
        case Fin::Pendiente:
            proxima = 0;
            break;
        }
        if (proxima == 0)
            break;
    }
    revisaLimite(Diario::Admision::Guardada);
    return proxima;
}

// Readings a crash left being written: those the table already holds are done, the others are
// written again.
bool Reenvio::resuelveMarcadas(const QList<Retenida>& lote, Estado& d) {
    QList<Retenida> marcadas;
    for (const Retenida& r : lote) {
        if (r.estado != Retenida::Estado::EnEscritura)
            break;
        marcadas << r;
    }
    if (marcadas.isEmpty())
        return true;
    int cuantas = 0;
    const ResultadoEscritura res = escritor_.yaEscritas(marcadas, cuantas);
    // A lasting failure: the writes will tell each reading's fate.
    if (res.falla == TipoFalla::Pasajera)
        return false;
    QList<qint64> hechas, otras;
    for (int i = 0; i < marcadas.size(); ++i)
        (i < cuantas ? hechas : otras) << marcadas[i].id;
    if (!diario_.quita(hechas) || !diario_.devuelve(otras))
        return false;
    d.escritas += hechas.size();
    if (sucesos_.escritas && cuantas > 0)
        sucesos_.escritas(marcadas.mid(0, cuantas));
    return true;
}

Reenvio::Fin Reenvio::reenvia(const QString& destino, Estado& d, qint64 inicio) {
    for (;;) {
        QList<Retenida> lote = diario_.retenidas(destino, lote_);
        if (lote.isEmpty())
            return Fin::Vacio;
        if (lote.front().estado == Retenida::Estado::EnEscritura) {
            if (!resuelveMarcadas(lote, d)) {
                falla(d);
                return Fin::Fallo;
            }
            continue;
        }
        std::optional<HuellaTabla> huella;
        if (escritor_.huella(lote, huella).falla == TipoFalla::Pasajera) {
            falla(d);
            return Fin::Fallo;
        }
        QList<qint64> ids;
        for (const Retenida& r : lote)
            ids << r.id;
        if (!diario_.marcaEnEscritura(ids, huella)) {
            falla(d);
            return Fin::Fallo;
        }
        QList<qint64> escritas, sinEscribir;
        QList<Retenida> hechas;
        bool fallo = false;
        for (Retenida& r : lote) {
            if (fallo) {
                sinEscribir << r.id;
                continue;
            }
            const ResultadoEscritura res = escritor_.escribe(r);
            if (res.falla == TipoFalla::Ninguna) {
                escritas << r.id;
                hechas << r;
            } else if (res.falla == TipoFalla::Duradera) {
                r.motivo = res.motivo;
                if (diario_.aparta(r.id, res.motivo, reloj_.ahora()) && sucesos_.apartada) {
                    sucesos_.apartada(r, !d.apartadaDicha);
                    d.apartadaDicha = true;
                }
            } else {
                // Refused, so not written: it goes back to waiting with those after it.
                fallo = true;
                sinEscribir << r.id;
            }
        }
        // A failed commit leaves the batch marked: whether it reached the table is found out
        // before it is written again.
        if (escritor_.cierraLote().falla != TipoFalla::Ninguna || !diario_.quita(escritas) ||
            !diario_.devuelve(sinEscribir) || fallo) {
            falla(d);
            return Fin::Fallo;
        }
        d.escritas += escritas.size();
        if (sucesos_.escritas && !hechas.isEmpty())
            sucesos_.escritas(hechas);
        d.fallos = 0;
        d.esperaMs = 0;
        if (reloj_.monotonoMs() - inicio >= presupuestoMs_)
            return diario_.tieneRetenidas(destino) ? Fin::Pendiente : Fin::Vacio;
    }
}

} // namespace ort
