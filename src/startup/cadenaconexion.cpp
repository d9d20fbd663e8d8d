#include "startup/cadenaconexion.h"

#include "startup/ajustes.h"

namespace ort {

namespace {
// One "key=value" piece of a connection string. A value holding ';', a quote or edge blanks is
// written between double quotes, a double quote inside doubled (as OLE DB reads it).
struct Pieza {
    QString clave; // as written
    QString valor; // unquoted
    bool conIgual = false;
};

QList<Pieza> piezas(const QString& cadena) {
    QList<Pieza> piezas;
    qsizetype i = 0;
    const qsizetype n = cadena.size();
    while (i < n) {
        Pieza p;
        while (i < n && cadena[i] != u';' && cadena[i] != u'=')
            p.clave += cadena[i++];
        if (i < n && cadena[i] == u'=') {
            p.conIgual = true;
            ++i;
            qsizetype j = i;
            while (j < n && cadena[j] == u' ')
                ++j;
            if (j < n && (cadena[j] == u'"' || cadena[j] == u'\'')) {
                const QChar comilla = cadena[j];
                for (i = j + 1; i < n; ++i) {
                    if (cadena[i] == comilla) {
                        if (i + 1 < n && cadena[i + 1] == comilla) {
                            p.valor += comilla;
                            ++i;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    p.valor += cadena[i];
                }
                while (i < n && cadena[i] != u';')
                    ++i;
            } else {
                while (i < n && cadena[i] != u';')
                    p.valor += cadena[i++];
            }
        }
        piezas << p;
        if (i < n)
            ++i; // the ';'
    }
    return piezas;
}

QString escrito(const QString& valor) {
    const bool comillas = valor.contains(u';') || valor.startsWith(u'"') ||
                          valor.startsWith(u'\'') || valor.startsWith(u' ') || valor.endsWith(u' ');
    if (!comillas)
        return valor;
    QString v = valor;
    return u'"' + v.replace(u'"', QStringLiteral("\"\"")) + u'"';
}
} // namespace

QMap<QString, QString> leeCadena(const QString& cadena) {
    QMap<QString, QString> partes;
    for (const Pieza& p : piezas(cadena))
        if (p.conIgual && !p.clave.trimmed().isEmpty())
            partes.insert(p.clave.trimmed().toLower(), p.valor);
    return partes;
}

QString valorCadena(const QString& cadena, const QString& clave) {
    return leeCadena(cadena).value(clave.toLower());
}

QString cadenaConClave(const QString& cadena, const QString& clave) {
    QStringList escritas;
    for (const Pieza& p : piezas(cadena)) {
        const QString k = p.clave.trimmed().toLower();
        const bool esClave =
            k == QStringLiteral("password") || k == QStringLiteral("jet oledb:database password");
        escritas << (p.conIgual ? p.clave + u'=' + escrito(esClave ? clave : p.valor) : p.clave);
    }
    if (cadena.endsWith(u';'))
        escritas << QString();
    return escritas.join(u';');
}

namespace {
// The password field of a connection string, whichever form it has.
QString claveDe(const QString& cadena) {
    const auto partes = leeCadena(cadena);
    return partes.value(QStringLiteral("password"),
                        partes.value(QStringLiteral("jet oledb:database password")));
}
} // namespace

void pasaClaveNueva(Ajustes& a, const QString& rechazada, const QString& aceptada) {
    // The Metrovax string held the refused password when it was built from the same one (a
    // data catalogue of the same server, the configuration file): it takes the new one too.
    const QString vieja = claveDe(rechazada);
    if (claveDe(a.StrConexion) == vieja)
        a.StrConexion = cadenaConClave(a.StrConexion, claveDe(aceptada));
}

QString cadenaJet(const QString& ruta, const QString& clave) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + escrito(ruta) +
           QStringLiteral(";Jet OLEDB:Database Password=") + escrito(clave) + u';';
}

QString CadenaConexion(const Ajustes& a, const QString& F) {
    if (a.TipoBD == kJet4)
        return cadenaJet(F, a.ClaveBD);
    if (a.TipoBD == kSqlServer)
        return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=") +
               escrito(a.ServidorBD) + QStringLiteral(";User ID=") + escrito(a.UsuarioBD) +
               QStringLiteral(";Password=") + escrito(a.ClaveBD) +
               QStringLiteral(";Initial Catalog=") + escrito(F) + u';';
    return {};
}

} // namespace ort
