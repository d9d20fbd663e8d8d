// Screenshots of the configuration windows for the documentation, on a demo program directory:
// the channel editor with its pickers walked from operator to product, and the dialog that
// chooses the configuration database.
//
//   ortcapturas PROGRAM-DIR OUTPUT-DIR     (run under a display: xvfb-run, say)

#include "config/almacen.h"
#include "config/tablas.h"
#include "startup/archivosproducto.h"
#include "startup/avisosconsola.h"
#include "startup/reloj.h"
#include "ventanas/dialogoubicacion.h"
#include "ventanas/editor/editorcanales.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

using namespace ort;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "uso: ortcapturas DIRECTORIO-DEL-PROGRAMA DIRECTORIO-DE-SALIDA\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + '/',
                  salida = QString::fromLocal8Bit(argv[2]) + '/';
    AvisosConsola avisos;
    std::optional<Ajustes> ajustes = cargaAjustes(dir, avisos);
    if (!ajustes)
        return 1;
    RelojSistema reloj;
    Entorno e{*ajustes, avisos, reloj};
    AlmacenConfig almacen(e);
    TablasRuntime t;
    t.PuertoActual = 1;
    if (!almacen.IniArch())
        return 1;
    almacen.IniSecue(t);
    almacen.IniMux(t);

    EditorCanales editor(e, almacen, t);
    editor.show();
    editor.activateWindow(); // a display without a window manager activates nothing by itself
    (void)QTest::qWaitForWindowActive(&editor);
    for (QLineEdit* c :
         {editor.campoOpera, editor.campoEstac, editor.campoMaqui, editor.campoProdu}) {
        c->setFocus(Qt::TabFocusReason);
        (void)QTest::qWaitFor([c] { return c->hasFocus(); }, 2000);
    }
    QTest::qWait(300);
    const bool bienEditor = editor.grab().save(salida + "editor.png");
    editor.hide();

    // A workstation that has used several configuration databases.
    QFile lista(dir + kArchivoUbicacion);
    if (lista.open(QIODevice::WriteOnly | QIODevice::Truncate))
        lista.write("/home/calidad/ORT/ORTConf2005.mdb\r\n/srv/planta/linea2/ORTConf2005.mdb\r\n"
                    "/home/calidad/pruebas/ORTConf-prueba.mdb\r\n");
    lista.close();
    DialogoUbicacion ubicacion(e);
    ubicacion.show();
    (void)QTest::qWaitForWindowExposed(&ubicacion);
    QTest::qWait(200);
    const bool bienUbicacion = ubicacion.grab().save(salida + "ubicacion.png");
    std::printf("%seditor.png %subicacion.png\n", qPrintable(salida), qPrintable(salida));
    return bienEditor && bienUbicacion ? 0 : 1;
}
