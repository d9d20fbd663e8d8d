#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

namespace ort::prueba {

struct Entrada {
    QString etiqueta = QStringLiteral("MV"); // "MV", "KW", "  "
    QString textos[3];
};
QString archivoIdioma(int idioma, int G, int N, int L, const QList<QList<Entrada>>& grupos);

class DirPrograma {
public:
    QString ruta() const { return dir_.path() + u'/'; }
    void escribe(const QString& nombre, const QByteArray& contenido) const;
    void escribe(const QString& nombre, const QString& contenido) const {
        escribe(nombre, contenido.toUtf8());
    }
    void borra(const QString& nombre) const { QFile::remove(ruta() + nombre); }
    void productoJet(const QString& edicion = QStringLiteral("MV2005")) const;

private:
    QTemporaryDir dir_;
};

} // namespace ort::prueba
