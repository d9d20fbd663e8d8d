// ortimporta: brings a plant's Jet (.mdb) databases across to the SQLite files ORT reads.
#include "importacion.h"
#include "vigilancia.h"

#include <QCoreApplication>

#include <cstdio>

using namespace ort::importa;

namespace {

const char* const kUso =
    "Uso: ortimporta ORIGEN.mdb DESTINO [--force]\n"
    "     ortimporta --dir DIR [--force]\n"
    "\n"
    "Copia todas las tablas de una base Jet (Access 97/2000-2003, .mdb) a un archivo SQLite\n"
    "como los que lee ORT: columnas, tipos y tamaños, claves primarias, índices y filas; después\n"
    "comprueba el número de filas de cada tabla.\n"
    "\n"
    "  DESTINO      el archivo SQLite que se escribe; si ya existe, solo se reemplaza con --force\n"
    "  --dir DIR    convierte en su sitio las bases del directorio de programa DIR (MTVX2005.MDB,\n"
    "               las bases de configuración de ORTDirec.IAU o ORTConf2005.mdb y los archivos\n"
    "               de datos de DirDatos); cada original queda al lado con el sufijo .jet\n"
    "  --force      reemplaza un destino (o una copia .jet) que ya existe\n"
    "  --help       muestra esta ayuda\n"
    "  --version    muestra la versión\n";

int uso(const QString& problema) {
    Vigilancia::mensaje(QStringLiteral("ortimporta: ") + problema);
    Vigilancia::mensaje(QString::fromUtf8(kUso));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Vigilancia::inicia();
    struct AlTerminar {
        ~AlTerminar() { Vigilancia::termina(); }
    } alTerminar;
    // Qt's own warnings would otherwise end in the library's captured standard error.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& texto) {
        Vigilancia::mensaje(QStringLiteral("ortimporta: ") + texto);
    });
    QStringList posicionales;
    QString dir;
    bool forzar = false, hayDir = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUso, stdout);
            return 0;
        }
        if (a == QLatin1String("--version")) {
            std::printf("ortimporta (ORT) %s\n", ORT_VERSION);
            return 0;
        }
        if (a == QLatin1String("--force")) {
            forzar = true;
        } else if (a == QLatin1String("--dir")) {
            if (i + 1 >= args.size())
                return uso(QStringLiteral("falta el directorio tras --dir"));
            hayDir = true;
            dir = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return uso(QStringLiteral("opción desconocida: %1").arg(a));
        } else {
            posicionales << a;
        }
    }
    if (hayDir) {
        if (!posicionales.isEmpty())
            return uso(QStringLiteral("--dir no lleva más archivos"));
        return importaDirectorio(dir, forzar) ? 0 : 1;
    }
    if (posicionales.size() != 2)
        return uso(QStringLiteral("hacen falta un ORIGEN y un DESTINO"));
    return importa(posicionales[0], posicionales[1], forzar) ? 0 : 1;
}
