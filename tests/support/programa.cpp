#include "support/programa.h"

#include <QDir>
#include <QFile>

namespace ort::prueba {

QString ArchivoIdioma(int idioma, int G, int N, int L, const QList<QList<Entrada>>& grupos) {
    QString s = QStringLiteral("%1\r\n%2,%3,%4\r\n").arg(idioma).arg(G).arg(N).arg(L);
    for (int g = 0; g < grupos.size(); ++g) {
        s += QString::number(g) + QStringLiteral("\r\n");
        int n = 0;
        for (const Entrada& e : grupos[g]) {
            for (int l = 0; l < 3; ++l) {
                const QString prefijo = QStringLiteral("%1%2%3")
                                            .arg(g, 3, 10, QLatin1Char('0'))
                                            .arg(l == 0 ? e.etiqueta : QStringLiteral("  "))
                                            .arg(n % 1000, 3, 10, QLatin1Char('0'));
                s += prefijo + e.textos[l] + QStringLiteral("\r\n");
            }
            ++n;
        }
        s += QStringLiteral("FIN\r\n");
    }
    return s;
}

QString IdiomaConTextos(const QMap<QPair<int, int>, QString>& textos) {
    int G = 0, N = 0;
    for (auto it = textos.begin(); it != textos.end(); ++it) {
        G = std::max(G, it.key().first);
        N = std::max(N, it.key().second);
    }
    QList<QList<Entrada>> grupos(G + 1);
    for (int g = 0; g <= G; ++g) {
        int maxN = -1;
        for (auto it = textos.begin(); it != textos.end(); ++it)
            if (it.key().first == g)
                maxN = std::max(maxN, it.key().second);
        for (int n = 0; n <= maxN; ++n) {
            const QString t = textos.value({g, n});
            grupos[g] << Entrada{QStringLiteral("MV"), {t, t, t}};
        }
    }
    return ArchivoIdioma(1, G, N, 3, grupos);
}

DirPrograma::DirPrograma() = default;

void DirPrograma::escribe(const QString& nombre, const QByteArray& contenido) const {
    const QString ruta = this->ruta() + nombre;
    QDir().mkpath(QFileInfo(ruta).absolutePath());
    QFile f(ruta);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(contenido);
}

void DirPrograma::borra(const QString& nombre) const {
    QFile::remove(ruta() + nombre);
}

void DirPrograma::productoJet(const QString& edicion) const {
    QDir().mkpath(ruta() + QStringLiteral("bd"));
    QDir().mkpath(ruta() + QStringLiteral("datos"));
    escribe(QStringLiteral("MVDirec.iau"),
            QStringLiteral("\"[JET4]\"\r\n\"%1bd/\"\r\n\"%1datos/\"\r\n").arg(ruta()));
    escribe(QStringLiteral("MVCompa.iau"),
            QStringLiteral("\"Planta de prueba\",\"%1\",\"x\"\r\n").arg(edicion));
    escribe(QStringLiteral("MVLang.IAU"),
            IdiomaConTextos({{{0, 81}, QStringLiteral("Clave de la base de datos:")},
                             {{4, 13}, QStringLiteral("Revise la instalación del controlador.")},
                             {{43, 1}, QStringLiteral("Puerto ")}}));
    escribe(QStringLiteral("MVTurn.IAU"),
            QStringLiteral("3\r\n\"M\",1400\r\n\"T\",2200\r\n\"N\",2400\r\n"));
}

} // namespace ort::prueba
