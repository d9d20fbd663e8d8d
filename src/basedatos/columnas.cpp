#include "basedatos/columnas.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace ort {

Resultado<std::optional<QString>> tipoColumna(Conexion& c, const QString& tabla,
                                              const QString& columna) {
    if (!c.abierta())
        return Falla{QStringLiteral("ORT"), errbd::kGeneral,
                     QStringLiteral("La base de datos no está abierta.")};
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    if (c.motor() == Motor::Postgres) {
        // to_regclass resolves the name exactly as the statements do; a column named in the same
        // letter case goes before one that differs only in case.
        q.prepare(QStringLiteral("select format_type(atttypid, atttypmod) from pg_attribute "
                                 "where attrelid = to_regclass(?) and lower(attname) = lower(?) "
                                 "and attnum > 0 and not attisdropped order by attname = ? desc "
                                 "limit 1"));
        q.addBindValue(tabla);
        q.addBindValue(columna);
        q.addBindValue(columna);
        if (!q.exec())
            return Falla{c.db().driverName(), errbd::kGeneral, q.lastError().text()};
        if (q.next())
            return std::optional<QString>(q.value(0).toString());
        return std::optional<QString>();
    }
    const auto citada =
        tabla.startsWith(u'"') ? std::optional<QString>(tabla) : citaIdentificador(tabla);
    if (!citada)
        return std::optional<QString>();
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(*citada)))
        return Falla{c.db().driverName(), errbd::kGeneral, q.lastError().text()};
    while (q.next())
        if (q.value(1).toString().compare(columna, Qt::CaseInsensitive) == 0)
            return std::optional<QString>(q.value(2).toString());
    return std::optional<QString>();
}

int tamanoColumna(Conexion& c, const QString& tabla, const QString& columna) {
    const auto tipo = tipoColumna(c, tabla, columna);
    if (!tipo || !*tipo)
        return 0;
    static const QRegularExpression texto(
        QStringLiteral(
            "^\\s*(?:n?varchar2?|n?char|character(?:\\s+varying)?|text)\\s*\\(\\s*(\\d+)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = texto.match(**tipo);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace ort
