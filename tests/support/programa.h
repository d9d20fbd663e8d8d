#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

namespace ort::prueba {

// A language file: Idioma, the bounds, then per group its entries (three lines each, with an
// 8-character prefix whose characters 4-5 are the edition tag) and "FIN".
struct Entrada {
    QString etiqueta; // "MV", "KW", "  "
    QString textos[3];
};
QString ArchivoIdioma(int idioma, int G, int N, int L, const QList<QList<Entrada>>& grupos);
// A language file holding the given texts (group, entry) → text in language 1, edition "MV".
QString IdiomaConTextos(const QMap<QPair<int, int>, QString>& textos);

// A temporary program directory with the product files of a file-kind installation.
class DirPrograma {
public:
    DirPrograma();
    QString ruta() const { return dir_.path() + u'/'; }
    void escribe(const QString& nombre, const QByteArray& contenido) const;
    void escribe(const QString& nombre, const QString& contenido) const {
        escribe(nombre, contenido.toUtf8());
    }
    void borra(const QString& nombre) const;
    // Writes a complete set of product files for the file kind with the database in ruta()/bd/.
    void productoJet(const QString& edicion = QStringLiteral("MV2005")) const;

private:
    QTemporaryDir dir_;
};

} // namespace ort::prueba
