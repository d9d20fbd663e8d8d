#pragma once

#include "config/almacen.h"
#include "config/tablas.h"
#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/programa.h"

#include <QTest>

namespace ort::prueba {

// A program directory with a configuration database and the fixture plant as the Metrovax
// database, the store loaded and the runtime tables counted, as the monitor leaves them.
struct BancoEditor {
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{ajustes, avisos, reloj};
    QString conf;
    QString mtvx;
    TablasRuntime t;
    AlmacenConfig almacen{e};

    explicit BancoEditor(const QString& filas = QString(), int puerto = 1) {
        ajustes.Ruta = dir.ruta();
        ajustes.Textos = TablaTextos(61, 14, 1);
        for (int k = 1; k <= 14; ++k)
            ajustes.Textos.fija(61, k, 0, QStringLiteral("T61.%1").arg(k));
        conf = dir.ruta() + "ORTConf2005.mdb";
        mtvx = dir.ruta() + "bd/MTVX2005.MDB";
        dir.escribe("bd/.keep", QByteArray());
        dir.escribe("ORTDirec.IAU", conf + "\r\n");
        QString error;
        if (!CreaSqlite(conf, {"ortconf.sqlite.sql"}, filas, &error))
            qWarning() << "configuration:" << error;
        if (!CreaSqlite(mtvx, {"metrovax.sqlite.sql", "planta-demo.sql"}, {}, &error))
            qWarning() << "plant:" << error;
        ajustes.StrConexion = CadenaJet(mtvx, QString());
        t.PuertoActual = puerto;
        if (!almacen.IniArch())
            qWarning() << "the configuration did not load";
        almacen.IniSecue(t);
        almacen.IniMux(t);
    }
    QString valor(const QString& sql) const { return ValorSqlite(conf, sql); }
};

} // namespace ort::prueba
