#include "casos_basecalidad.h"
#include "startup/conexion.h"

using namespace ort;
using namespace ort::prueba;

class TstBaseCalidadPg : public CasosBaseCalidad {
    Q_OBJECT
protected:
    bool abre(Conexion& c, const QStringList& extra) override {
        const auto srv = Postgres();
        if (!srv) {
            if (qEnvironmentVariableIsSet("ORT_PG_REQUIRED"))
                qFatal("ORT_PG_REQUIRED is set but no PostgreSQL server is described");
            QTest::qSkip("no PostgreSQL server", __FILE__, __LINE__);
            return false;
        }
        QString error;
        const QStringList sentencias = Sentencias(LeeEsquema("metrovax.pg.sql")) +
                                       Sentencias(LeeEsquema("planta-demo.sql")) + extra;
        if (!CreaBasePg(*srv, "ort_calidad", sentencias, &error)) {
            qWarning() << error;
            return false;
        }
        ajustes_.TipoBD = kSqlServer;
        ajustes_.ServidorBD = srv->dataSource();
        ajustes_.UsuarioBD = srv->usuario;
        ajustes_.ClaveBD = srv->clave;
        return OpenDBOK(CadenaConexion(ajustes_, "ort_calidad"), c, e_);
    }

private:
    Ajustes ajustes_;
    AvisosGrabados avisos_;
    RelojFalso reloj_;
    Entorno e_{ajustes_, avisos_, reloj_};
};

QTEST_GUILESS_MAIN(TstBaseCalidadPg)
#include "tst_basecalidad_pg.moc"
