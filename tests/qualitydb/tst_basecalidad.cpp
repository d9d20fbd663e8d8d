#include "casos_basecalidad.h"
#include "startup/conexion.h"

#include <QTemporaryDir>

using namespace ort;
using namespace ort::prueba;

class TstBaseCalidad : public CasosBaseCalidad {
    Q_OBJECT
protected:
    bool abre(Conexion& c, const QStringList& extra) override {
        const QString f = dir_.filePath("MTVX2005.MDB");
        QString error;
        if (!CreaSqlite(f, {"metrovax.sqlite.sql", "planta-demo.sql"}, extra.join(";\n"), &error)) {
            qWarning() << error;
            return false;
        }
        return OpenDBOK(CadenaJet(f, ""), c, e_);
    }

private:
    QTemporaryDir dir_;
    Ajustes ajustes_;
    AvisosGrabados avisos_;
    RelojFalso reloj_;
    Entorno e_{ajustes_, avisos_, reloj_};
};

QTEST_GUILESS_MAIN(TstBaseCalidad)
#include "tst_basecalidad.moc"
