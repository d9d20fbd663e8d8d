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

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

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
    // Rows of the last of the statements run on the data database; the first error, if any.
    QList<QVariantList> filas(const QStringList& sentencias, QString* error = nullptr) const;
    QList<QVariantList> filas(const QString& sql) const { return filas(QStringList{sql}); }
    // No transaction holds the data table: a writer's lock is granted at once.
    bool libre() const;
    // Rows as text, "-" for a null, a date as "yyyy-MM-dd HH:mm:ss".
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

// Another program's lock on a SQLite file, held from a thread of its own for ms (or, without
// ms, until dropped), as the quality product or a backup would: "EXCLUSIVE" writes, "DEFERRED
// select …" reads.
class Bloqueo {
public:
    Bloqueo(const QString& archivo, const QString& sentencia, int ms = -1);
    ~Bloqueo(); // waits out the time given

private:
    int ms_;
    std::thread hilo_;
    std::atomic<bool> listo_{false}, suelta_{false};
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
