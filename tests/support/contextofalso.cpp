#include "support/contextofalso.h"

#include "decoding/registro.h"

#include <QRegularExpression>

#include <stdexcept>

namespace ort::prueba {

const QString& ContextoFalso::leeTrama() {
    if (limiteLecturas >= 0 && tramasLeidas >= limiteLecturas)
        throw std::logic_error("leeTrama called over and over");
    trama = pendientes.isEmpty() ? QString() : pendientes.takeFirst();
    ++tramasLeidas;
    return trama;
}

int ContextoFalso::esperando() {
    int n = 0;
    for (const auto& t : pendientes)
        n += abierto_ ? int(t.size()) + 1 : 0;
    return n;
}

void ContextoFalso::espera(double segundos) {
    pausas << segundos;
    if (segundos > 0 && segundos < 86400)
        reloj_.duerme(static_cast<qint64>(segundos * 1000));
}

QStringList ContextoFalso::resumen() const {
    QStringList r;
    for (const auto& l : lecturas)
        r << l.lectura.left(2) + u':' + l.lectura.mid(2) +
                 (l.fechaInst.isEmpty() && l.horaInst.isEmpty()
                      ? QString()
                      : QStringLiteral(" @%1 %2").arg(l.fechaInst, l.horaInst));
    return r;
}

std::optional<QString> decodificaConRegistro(const QString& conex, const QString& trama,
                                             ContextoFalso& c, EstadoDecodificadores& e) {
    c.trama = trama;
    c.FechaInst.clear();
    c.HoraInst.clear();
    try {
        buscaDecodificador(conex)(c, e);
    } catch (const FallaDecodificacion& f) {
        return f.motivo();
    }
    return std::nullopt;
}

QStringList decodificaTramas(const QString& conex, const QStringList& tramas, ContextoFalso& c,
                             EstadoDecodificadores& e) {
    QStringList fallas;
    for (const auto& t : tramas)
        if (const auto f = decodificaConRegistro(conex, t, c, e))
            fallas << *f;
    return fallas;
}

QString tramaCon(std::initializer_list<std::pair<int, QString>> piezas, int largo) {
    QString t(largo, u' ');
    for (const auto& [pos, texto] : piezas)
        t = t.leftJustified(pos - 1 + texto.size(), u' ').replace(pos - 1, texto.size(), texto);
    return t;
}

QString tramaDeBytes(std::initializer_list<int> bytes) {
    QString t;
    for (int b : bytes)
        t += QChar(char16_t(b));
    return t;
}

QString revisaNotas(const QStringList& fallas, const ContextoFalso& c, const QStringList& tramas) {
    static const QRegularExpression ingles(
        QStringLiteral("\\b(the|frame|not|is|does|ignored|nothing|recorded|outside|before|after|"
                       "channel|range|without|fewer|reading|digits|fit|convert|value)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& t : fallas + c.notas)
        if (ingles.match(t).hasMatch())
            return QStringLiteral("not in Spanish: ") + t;
    for (const QString& n : c.notas) {
        bool conTrama = !n.startsWith(QStringLiteral(" Trama ignorada ("));
        for (const QString& t : tramas)
            conTrama = conTrama || n.endsWith(QStringLiteral("): ") + t);
        if (!conTrama)
            return QStringLiteral("without its frame: ") + n;
    }
    return {};
}

} // namespace ort::prueba
