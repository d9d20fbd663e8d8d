#pragma once

#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"
#include "monitor/adquisicion.h"
#include "recording/grabador.h"
#include "startup/conexion.h"
#include "support/bases.h"
#include "support/fakes.h"
#include "support/grabadorfalso.h"
#include "support/programa.h"
#include "support/puertofalso.h"

#include <QVariantList>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(ort::Motor)

namespace ort::prueba {

// Everything acquisition needs, in a temporary program directory, with the data database on
// the engine of the test row (a fresh database of its own on the PostgreSQL server).
class Banco {
public:
    // grabadorFalso: readings go to `falso` instead of the data database.
    explicit Banco(Motor motor = Motor::Sqlite, bool grabadorFalso = false);
    ~Banco();

    // The texts of the running language.
    void texto(int g, int n, const QString& t) { ajustes.Textos.fija(g, n, ajustes.Idioma, t); }
    // The configuration database with these rows, loaded into `config` and `t`.
    bool conf(const QString& filas);
    // The Metrovax database (a file) from these schemas, and its connection string.
    bool mtvx(const QString& extra = {},
              const QStringList& esquemas = {"metrovax.sqlite.sql", "planta-demo.sql"});
    // The data table of F1/M1/P1 from the shipped schema, with the text changed and statements.
    bool datos(const QStringList& extra = {}, const QString& cambiaDe = {},
               const QString& cambiaA = {});
    // Rows of a statement on the data database ("-" for a null when shown).
    QList<QVariantList> filas(const QString& sql) const;
    static QStringList muestra(const QList<QVariantList>& filas);
    // The values of a column of the data table in row order, joined by commas.
    QString columna(const QString& carac) const;

    // A port opened on its fake, reading up to CR.
    void abre(int p, const QString& conex, bool tcp = false);
    // Bytes arrive on serial port p and the receive pass runs.
    void llega(int p, const QByteArray& bytes);
    // Acquisition over the fake ports and `falso`, made on first use.
    Adquisicion& adquisicion();

    Motor motor;
    std::optional<ServidorPg> srv;
    DirPrograma dir;
    Ajustes ajustes;
    AvisosGrabados avisos;
    RelojFalso reloj;
    Entorno e{ajustes, avisos, reloj};
    AlmacenConfig config{e};
    TablasRuntime t;
    GrabadorDatos grabador{e};
    GrabadorFalso falso;
    LogPuertos log;
    Registrador reg;
    FabricaPuertosFalsa puertos{&reloj};
    Receptor::ComandoGse gse; // what the receiver sends a GSE gauge
    Receptor rx;
    QString tabla;       // the data table, as named in its database
    QString archivoConf; // the configuration database
    QString archivoMtvx;

private:
    std::unique_ptr<Adquisicion> a_;
};

// A Banco on the engine of the row; a PostgreSQL row skips without a server.
#define ORT_BANCO(b, ...)                                                                          \
    if (::ort::prueba::PideServidor(__VA_ARGS__)) {                                                \
        ORT_REQUIERE_POSTGRES(b##_srv);                                                            \
    }                                                                                              \
    ::ort::prueba::Banco b(__VA_ARGS__)
inline bool PideServidor(Motor motor, bool = false) {
    return motor == Motor::Postgres;
}

} // namespace ort::prueba
