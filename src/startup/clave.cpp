#include "startup/clave.h"

#include "startup/archivosproducto.h"
#include "startup/textfuncs.h"

#include <QFileInfo>
#include <QSaveFile>

namespace ort {

namespace {
// Unscrambling takes 2*i from the i-th character and adds 94 when that falls under '!'; the
// scrambled character is whichever of clave+2i and clave+2i-94 lies in '!'..'~'.
constexpr int kMaxLargo = 47;

// A password that cannot be scrambled, or not kept in the file.
Falla claveNoValida(const QString& por) {
    return Falla{QStringLiteral("ORT"), 5, por};
}
} // namespace

Resultado<QString> cifraClave(const QString& clave) {
    if (clave.isEmpty())
        return claveNoValida(QStringLiteral("la clave está vacía"));
    if (clave.size() > kMaxLargo)
        return claveNoValida(QStringLiteral("la clave tiene más de %1 caracteres").arg(kMaxLargo));
    QString cifrada;
    for (int i = 1; i <= clave.size(); ++i) {
        const int c = clave[i - 1].unicode();
        if (c < 33 || c > 126)
            return claveNoValida(
                QStringLiteral("el carácter %1 de la clave no está entre «!» y «~» "
                               "(sin blancos ni acentos)")
                    .arg(i));
        int x = c + 2 * i;
        if (x > 126)
            x -= 94;
        if (x < 33 || x > 126)
            return claveNoValida(QStringLiteral("la clave no se puede cifrar"));
        cifrada += QChar(char16_t(x));
    }
    return cifrada;
}

Resultado<> escribeArchivoClave(const QString& directorioPrograma, const QString& clave) {
    const auto cifrada = cifraClave(clave);
    if (!cifrada)
        return cifrada.falla();
    // Items are read up to a comma unless quoted, and a quoted item ends at the next quote.
    QString item;
    if (!cifrada->contains(u'"'))
        item = u'"' + *cifrada + u'"';
    else if (!cifrada->contains(u',') && !cifrada->startsWith(u'"'))
        item = *cifrada;
    else
        return claveNoValida(QStringLiteral("esta clave no se puede guardar en MTVXPASS.IAU; "
                                            "elija otra"));
    // An existing file keeps its name in whatever letter case it has.
    QString ruta = buscaArchivo(RutaConBarra(directorioPrograma), QStringLiteral("MTVXPASS.IAU"));
    if (!QFileInfo::exists(ruta))
        ruta = RutaConBarra(directorioPrograma) + QStringLiteral("MTVXPASS.IAU");
    QSaveFile f(ruta);
    if (!f.open(QIODevice::WriteOnly) || f.write((item + QStringLiteral("\r\n")).toLatin1()) < 0 ||
        !f.commit())
        return Falla{QStringLiteral("ORT"), 75,
                     QStringLiteral("no se puede escribir %1: %2").arg(ruta, f.errorString())};
    return {};
}

} // namespace ort
