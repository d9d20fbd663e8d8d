#include "support/programa.h"

#include <QDir>

#include <QFile>
#include <tuple>

namespace ort::prueba {

QString archivoIdioma(int idioma, int G, int N, int L, const QList<QList<Entrada>>& grupos) {
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

void DirPrograma::escribe(const QString& nombre, const QByteArray& contenido) const {
    const QString ruta = this->ruta() + nombre;
    QDir().mkpath(QFileInfo(ruta).absolutePath());
    QFile f(ruta);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(contenido);
}

void DirPrograma::productoJet(const QString& edicion) const {
    QDir().mkpath(ruta() + QStringLiteral("bd"));
    QDir().mkpath(ruta() + QStringLiteral("datos"));
    escribe(QStringLiteral("MVDirec.iau"),
            QStringLiteral("\"[JET4]\"\r\n\"%1bd/\"\r\n\"%1datos/\"\r\n").arg(ruta()));
    escribe(QStringLiteral("MVCompa.iau"),
            QStringLiteral("\"Planta de prueba\",\"%1\",\"x\"\r\n").arg(edicion));
    QList<QList<Entrada>> grupos(44);
    for (const auto& [g, n, t] : {std::tuple{0, 81, "Clave de la base de datos:"},
                                  {4, 13, "Revise la instalación del controlador."},
                                  {43, 1, "Puerto "}}) {
        grupos[g].resize(n + 1);
        grupos[g][n].textos[0] = grupos[g][n].textos[1] = grupos[g][n].textos[2] = t;
    }
    escribe(QStringLiteral("MVLang.IAU"), archivoIdioma(1, 43, 81, 3, grupos));
    escribe(QStringLiteral("MVTurn.IAU"),
            QStringLiteral("3\r\n\"M\",1400\r\n\"T\",2200\r\n\"N\",2400\r\n"));
}

} // namespace ort::prueba
