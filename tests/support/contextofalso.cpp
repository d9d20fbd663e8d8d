#include "support/contextofalso.h"

#include "decoding/registro.h"

#include <QRegularExpression>

#include <stdexcept>

namespace ort::prueba {

ContextoFalso::ContextoFalso(RelojFalso& reloj, int puerto, int posInicio)
    : reloj_(reloj)
    , puerto_(puerto)
    , posInicio_(posInicio) {}

void ContextoFalso::registra(const QString& lectura) {
    lecturas << Registro{lectura, FechaInst, HoraInst};
}

const QString& ContextoFalso::leeTrama() {
    if (limiteLecturas >= 0 && tramasLeidas >= limiteLecturas)
        throw std::logic_error("leeTrama called over and over");
    trama = pendientes.isEmpty() ? QString() : pendientes.takeFirst();
    ++tramasLeidas;
    return trama;
}

int ContextoFalso::esperando() {
    if (!abierto_)
        return 0;
    int n = 0;
    for (const auto& t : pendientes)
        n += static_cast<int>(t.size()) + 1;
    return n;
}

void ContextoFalso::escribe(const QByteArray& datos) {
    escrituras << Escritura{datos, reloj_.ahora()};
}

void ContextoFalso::cierraPuerto() {
    ++cierres;
    abierto_ = false;
}

void ContextoFalso::espera(double segundos) {
    pausas << Pausa{segundos, reloj_.ahora()};
    if (segundos > 0 && segundos < 86400)
        reloj_.duerme(static_cast<qint64>(segundos * 1000));
}

QString ContextoFalso::gseArmaComando(int canal) {
    canalesGse << canal;
    return comandosGse.value(canal);
}

QStringList ContextoFalso::resumen() const {
    QStringList r;
    for (const auto& l : lecturas) {
        QString t = l.lectura.left(2) + u':' + l.lectura.mid(2);
        if (!l.fechaInst.isEmpty() || !l.horaInst.isEmpty())
            t += QStringLiteral(" @%1 %2").arg(l.fechaInst, l.horaInst);
        r << t;
    }
    return r;
}

std::optional<QString> DecodificaConRegistro(const QString& conex, const QString& trama,
                                             ContextoFalso& c, EstadoDecodificadores& e) {
    c.trama = trama;
    c.FechaInst.clear();
    c.HoraInst.clear();
    try {
        BuscaDecodificador(conex)(c, e);
    } catch (const FallaDecodificacion& f) {
        return f.motivo();
    }
    return std::nullopt;
}

QString TramaCon(std::initializer_list<std::pair<int, QString>> piezas, int largo) {
    QString t(largo, u' ');
    for (const auto& [pos, texto] : piezas) {
        const qsizetype fin = pos - 1 + texto.size();
        if (t.size() < fin)
            t = t.leftJustified(fin, u' ');
        t.replace(pos - 1, texto.size(), texto);
    }
    return t;
}

QString TramaDeBytes(std::initializer_list<int> bytes) {
    QString t;
    for (int b : bytes)
        t += QChar(char16_t(b));
    return t;
}

QStringList DecodificaTramas(const QString& conex, const QStringList& tramas, ContextoFalso& c,
                             EstadoDecodificadores& e) {
    QStringList fallas;
    for (const auto& t : tramas)
        if (const auto f = DecodificaConRegistro(conex, t, c, e))
            fallas << *f;
    return fallas;
}

QString RevisaNotas(const QStringList& fallas, const ContextoFalso& c, const QStringList& tramas) {
    static const QRegularExpression ingles(
        QStringLiteral("\\b(the|frame|not|is|does|ignored|nothing|recorded|outside|before|after|"
                       "channel|range|without|fewer|reading|digits|fit|convert|value)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& t : fallas + c.notas)
        if (ingles.match(t).hasMatch())
            return QStringLiteral("not in Spanish: ") + t;
    for (const QString& n : c.notas) {
        if (!n.startsWith(QStringLiteral(" Trama ignorada (")))
            continue;
        bool conTrama = false;
        for (const QString& t : tramas)
            conTrama = conTrama || n.endsWith(QStringLiteral("): ") + t);
        if (!conTrama)
            return QStringLiteral("without its frame: ") + n;
    }
    return {};
}

} // namespace ort::prueba
