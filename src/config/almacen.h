#pragma once

#include "basedatos/conexion.h"

#include <QList>
#include <QString>

#include <optional>

class QSqlError;

namespace ort {

class TablasRuntime;

struct FilaPuerto {
    int Puert = 0;
    QString Conex; // empty when Null
    bool Open = false;
};

struct FilaCanal {
    int Puert = 0;
    int Canal = 0;
    QString Descr;
};

struct FilaConf {
    int Puert = 0, Canal = 0, Secue = 0;
    QString Opera, Estac, Maqui, Produ, Forma, Carac, EAdic1, EAVal1, EAdic2, EAVal2;
    float DTMP = 0;
};

// What the channel editor saves for one sequence: the port's connection key, the channel's
// description and the sequence's quality context, as the fields hold them (a key field may
// carry a picked key's padding and description after the key).
struct EdicionSecuencia {
    int Puert = 0, Canal = 0, Secue = 0;
    QString Conex;
    QString Descr;
    QString Opera, Estac, Maqui, Produ, Forma, Carac, EAdic1, EAVal1, EAdic2, EAVal2;
};

enum class Borrado { Borrada, NoExiste };

// The default configuration database, in the program directory.
inline const QString kConfPorDefecto = QStringLiteral("ORTConf2005.mdb");
// The location list of the configuration database, in the program directory.
inline const QString kArchivoUbicacion = QStringLiteral("ORTDirec.IAU");

// ORT's configuration database for the run: the ports, channels and sequences, looked up by key
// and updated in place (the database first, then the copy held here).
class AlmacenConfig {
public:
    explicit AlmacenConfig(Entorno& e) : e_(e) {}

    // Reads the location file, opens the database it names and loads the three tables. A missing
    // or empty location file is reported and the default file of the program directory is used.
    bool IniArch();
    // Opens a given database file and loads it (the location dialog proves a choice with it).
    bool abre(const QString& ruta);
    bool abierto() const { return conexion_.abierta(); }
    // The database file in use.
    const QString& ruta() const { return ruta_; }

    // Renumbers every channel's sequences 1..n in their order, in one transaction, and counts
    // them into the runtime tables. When the renumbering fails it is undone, reported, and the
    // rows and totals are those the database still holds.
    void IniSecue(TablasRuntime& t);
    // Copies each port's connection key, padded or cut to 5 characters.
    void IniMux(TablasRuntime& t) const;

    const QList<FilaPuerto>& puertos() const { return puertos_; }
    const QList<FilaCanal>& canales() const { return canales_; }
    const QList<FilaConf>& conf() const { return conf_; }
    const FilaPuerto* buscaPuerto(int p) const;
    const FilaCanal* buscaCanal(int p, int c) const;
    const FilaConf* buscaConf(int p, int c, int s) const;
    QList<FilaConf> confDePuerto(int p) const;

    // Stores a port's open mark; false when the database refused it (reported).
    bool fijaOpen(int p, bool open);

    // The channel editor's save: the port's PUERTOS row, the channel's CANALES row and the
    // sequence's CONF row, each updated in place or added, all in one transaction. Every key
    // is cut to its column's defined size and loses its trailing blanks; the description and
    // the two additional values are stored whole. On failure nothing is written and the
    // database's error is returned; on success the rows held here follow.
    Resultado<> grabaSecuencia(const EdicionSecuencia& e);
    // Deletes one sequence's CONF row; the channel and the port keep theirs.
    Resultado<Borrado> borraSecuencia(int p, int c, int s);

    // Reloads the rows from the database (after changes made around this store).
    bool recarga();

    Conexion& conexion() { return conexion_; }
    // Rows left out at the last load, one description each (also reported then).
    const QStringList& omitidas() const { return omitidas_; }

private:
    bool carga(bool informar);
    Falla fallaDe(const QSqlError& error) const;
    void informa(const QString& texto) const;

    Entorno& e_;
    Conexion conexion_;
    QString ruta_;
    QList<FilaPuerto> puertos_;
    QList<FilaCanal> canales_;
    QList<FilaConf> conf_;
    QStringList omitidas_;
    bool cargada_ = false; // the three tables were read at the last opening
};

} // namespace ort
