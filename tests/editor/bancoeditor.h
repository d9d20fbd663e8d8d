#pragma once

#include "support/banco.h"

#include <QTest>

namespace ort::prueba {

// The configuration database with these rows and the fixture plant as the Metrovax database,
// the store loaded and the runtime tables counted, as the monitor leaves them.
struct BancoEditor : Banco {
    bool listo = false;

    explicit BancoEditor(const QString& filas = QString(), int puerto = 1) {
        for (int k = 1; k <= 14; ++k)
            texto(61, k, QStringLiteral("T61.%1").arg(k));
        archivoConf = dir.ruta() + "ORTConf2005.mdb";
        archivoMtvx = dir.ruta() + "bd/MTVX2005.MDB";
        dir.escribe("bd/.keep", QByteArray());
        t.PuertoActual = puerto;
        listo = mtvx() && conf(filas);
        config.IniMux(t);
    }
    QString valor(const QString& sql) const { return ValorSqlite(archivoConf, sql); }
};

} // namespace ort::prueba
