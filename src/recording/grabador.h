#pragma once

#include "basedatos/conexion.h"
#include "recording/grabacion.h"
#include "startup/ajustes.h"

#include <QDateTime>
#include <QSet>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

namespace ort {

// The shift of a time of day written as "hhnn": the first shift, in file order, whose end lies
// after it; a single blank when none does.
QString BuscaTurno(const Ajustes& a, const QString& hhnn);

// The kind of a failure (TipoFalla).
TipoFalla clasificaFalla(const Falla& falla);

// The newest row of a data table before held readings are written again, and which of their
// columns it already held: after a crash it tells the rows those readings wrote from the others.
struct HuellaTabla {
    qint64 n = 0; // 0: the table was empty
    QStringList llenas;
};

// One value as it was to be written: its column, its text and the time its row would bear.
struct ValorEscrito {
    QString Carac, Valor, Fecha, Hora;
    QDateTime momento; // when the reading was taken
};

// Writes readings into the Metrovax data tables, one value of one characteristic per call.
// Values of different characteristics that arrive within the reading's window land in the
// newest row of the table; a value whose column is already filled there, or that comes later
// than the window, opens the next row.
class GrabadorDatos : public Grabador {
public:
    enum class ModoEscritura {
        PorValor,  // a connection of its own for every value, released after it
        Mantenida, // a connection per data file kept open between values, until cierra()
        PorPasada, // kept open, and the values committed in groups (group commit)
    };

    explicit GrabadorDatos(Entorno& e, ModoEscritura modo = ModoEscritura::PorValor);
    ~GrabadorDatos() override;
    GrabadorDatos(const GrabadorDatos&) = delete;
    GrabadorDatos& operator=(const GrabadorDatos&) = delete;

    // FaltaFormato, FaltaMaquina, FaltaProducto: the file kind's format directory, machine
    // directory or product file is missing (nothing shown); Error: failed, a message has been
    // shown (none for a passing failure while those are silenced).
    ResultadoGrabacion GrabaMTVX(const QString& Forma, const QString& Maqui, const QString& Produ,
                                 const QString& Carac, const QString& Fecha, const QString& Hora,
                                 const QString& Opera, const QString& Valor, float DTMP) override;

    void fijaModo(ModoEscritura modo);
    ModoEscritura modo() const { return modo_; }
    // Commits and releases the connections kept open between values.
    void cierra() override;
    // Commits the values written since the last commit (group commit); a failure is reported
    // and the values are lost.
    bool terminaPasada() override;
    bool agrupa() const override { return modo_ == ModoEscritura::PorPasada; }
    int loteMaximo() const override;
    bool grupoPerdido(const QString& Forma, const QString& Maqui,
                      const QString& Produ) const override;
    // Notes for the port's log (a data table without an index on N), each given once.
    QStringList tomaAvisos() override;
    QString rutaBuscada() const override { return rutaBuscada_; }

    // The kind of the latest failure (result 1, 2, 3 or 6) and its detail; Ninguna after a write.
    // Results 1 to 3 are lasting, unless DirDatos itself is out of reach.
    TipoFalla ultimaFalla() const override { return tipoFalla_; }
    QString motivoFalla() const override { return falla_.descripcion; }
    const Falla& detalleFalla() const { return falla_; }
    void callaFallasPasajeras(bool callar) override { callaPasajeras_ = callar; }

    // The newest row of the data table of Forma/Maqui/Produ and which of the columns caracs it
    // holds; no value when the table cannot be read now.
    std::optional<HuellaTabla> huella(const QString& Forma, const QString& Maqui,
                                      const QString& Produ, const QStringList& caracs);
    // How many of valores, in order, the data table already holds in the rows from the huella
    // on; no value when the table cannot be read now.
    std::optional<int> yaEscritos(const QString& Forma, const QString& Maqui, const QString& Produ,
                                  const HuellaTabla& huella, const QList<ValorEscrito>& valores);

    // The latest data table located: its connection string and its name.
    const QString& StrConexionDatos() const { return strConexionDatos_; }
    const QString& TablaDatos() const { return tablaDatos_; }

    struct Preparadas;

private:
    ResultadoGrabacion graba(const QString& Forma, const QString& Maqui, const QString& Produ,
                             const QString& Carac, const QString& Fecha, const QString& Hora,
                             const QString& Opera, const QString& Valor, float DTMP, Falla& falla);
    ResultadoGrabacion ubica(const QString& Forma, const QString& Maqui, const QString& Produ,
                             Falla& falla);
    // The data table of (Forma, Maqui, Produ) read by the statement antes + table + despues on c
    // (a connection of its own); a failure is noted and gives nothing.
    std::optional<QSqlQuery> leeTabla(const QString& Forma, const QString& Maqui,
                                      const QString& Produ, Conexion& c, const QString& antes,
                                      const QString& despues, const QVariantList& valores);

    Entorno& e_;
    ModoEscritura modo_;
    void revisaIndice(Conexion& c, const QString& tablaCitada);

    // Kept connections, by connection string: their group's transaction, and their statements
    // per table and characteristic, prepared once.
    struct Abierta {
        std::unordered_map<QString, std::unique_ptr<Preparadas>> preparadas;
        std::unique_ptr<Conexion> c; // declared last: destroyed after its statements
        bool lote = false;
    };
    std::unordered_map<QString, std::unique_ptr<Abierta>> abiertas_;
    // Locations found, by format, machine and product.
    struct Ubicacion {
        QString cadena, tabla, ruta;
    };
    std::unordered_map<QString, Ubicacion> ubicaciones_;
    // Connections whose last group commit failed.
    QSet<QString> perdidas_;
    QSet<QString> tablasRevisadas_;
    QStringList avisos_;
    QString strConexionDatos_;
    QString tablaDatos_;
    QString rutaBuscada_;

    void anotaFalla(ResultadoGrabacion codigo, const Falla& falla);
    TipoFalla tipoFalla_ = TipoFalla::Ninguna;
    Falla falla_;
    bool callaPasajeras_ = false;
};

} // namespace ort
