#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

namespace ort::prueba {

struct Entrada {
    QString etiqueta; // "MV", "KW", "  "
    QString textos[3];
};
QString ArchivoIdioma(int idioma, int G, int N, int L, const QList<QList<Entrada>>& grupos);
QString IdiomaConTextos(const QMap<QPair<int, int>, QString>& textos);

class DirPrograma {
public:
    DirPrograma();
    QString ruta() const { return dir_.path() + u'/'; }
    void escribe(const QString& nombre, const QByteArray& contenido) const;
    void escribe(const QString& nombre, const QString& contenido) const {
        escribe(nombre, contenido.toUtf8());
    }
    void borra(const QString& nombre) const;
    void productoJet(const QString& edicion = QStringLiteral("MV2005")) const;

private:
    QTemporaryDir dir_;
};

} // namespace ort::prueba
