#pragma once

#include "basedatos/conexion.h"
#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"
#include "monitor/adquisicion.h"
#include "recording/grabador.h"
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

class Banco {
public:
    explicit Banco(Motor motor = Motor::Sqlite, bool grabadorFalso = false);
    ~Banco();

    void texto(int g, int n, const QString& t) { ajustes.Textos.fija(g, n, ajustes.Idioma, t); }
    bool conf(const QString& filas);
    bool mtvx(const QString& extra = {},
              const QStringList& esquemas = {"metrovax.sqlite.sql", "planta-demo.sql"});
    bool datos(const QStringList& extra = {}, const QString& cambiaDe = {},
               const QString& cambiaA = {});
    QList<QVariantList> filas(const QStringList& sentencias, QString* error = nullptr) const;
    QList<QVariantList> filas(const QString& sql) const { return filas(QStringList{sql}); }
    bool libre() const;
    static QStringList muestra(const QList<QVariantList>& filas);
    QString columna(const QString& carac) const;

    void abre(int p, const QString& conex, bool tcp = false);
    void llega(int p, const QByteArray& bytes);
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

class Bloqueo {
public:
    Bloqueo(const QString& archivo, const QString& sentencia, int ms = -1);
    ~Bloqueo(); // waits out the time given

private:
    int ms_;
    std::thread hilo_;
    std::atomic<bool> listo_{false}, suelta_{false};
};

#define ORT_BANCO(b, ...)                                                                          \
    if (::ort::prueba::pideServidor(__VA_ARGS__)) {                                                \
        ORT_REQUIERE_POSTGRES(b##_srv);                                                            \
    }                                                                                              \
    ::ort::prueba::Banco b(__VA_ARGS__)
inline bool pideServidor(Motor motor, bool = false) {
    return motor == Motor::Postgres;
}

} // namespace ort::prueba
