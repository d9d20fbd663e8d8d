#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace ort {

// Whether a failed write may succeed later unchanged. Passing: the server unreachable or the
// connection lost, the data file busy or locked past the busy wait, an I/O error, a full disk, a
// read-only file system, the data directory out of reach. Lasting: everything a person must
// change first (a missing column or table, a missing format, machine or product, a key that
// cannot name a file, a value or date the table refuses).
enum class TipoFalla { Ninguna, Pasajera, Duradera };

// What became of one value's write, with the numbers Metrovax gives these results.
enum class ResultadoGrabacion : qint16 {
    Grabado = 0,       // written
    FaltaFormato = 1,  // the data location is missing: the format's folder,
    FaltaMaquina = 2,  // the machine's folder,
    FaltaProducto = 3, // the product's data file
    Error = 6,         // an error, already reported to the user
};

// Whether a write failed (the data location missing or an error).
inline bool fallo(ResultadoGrabacion r) {
    return r != ResultadoGrabacion::Grabado;
}

// Writes one value of one characteristic into its data table.
class Grabador {
public:
    virtual ~Grabador() = default;
    virtual ResultadoGrabacion GrabaMTVX(const QString& Forma, const QString& Maqui,
                                         const QString& Produ, const QString& Carac,
                                         const QString& Fecha, const QString& Hora,
                                         const QString& Opera, const QString& Valor,
                                         float DTMP) = 0;
    // The values written so far are committed together (group commit); false when that commit
    // failed and they are lost.
    virtual bool terminaPasada() { return true; }
    // Whether values wait for terminaPasada() to be committed.
    virtual bool agrupa() const { return false; }
    // How many readings one group may hold at most: PostgreSQL slows down once a transaction
    // holds more than 64 subtransactions (each value's savepoint is one); a data file has no
    // such limit, and a larger group spreads its commit's disk syncs over more readings.
    virtual int loteMaximo() const { return 64; }
    // After a failed terminaPasada(): whether the values of that location were among the lost.
    virtual bool grupoPerdido(const QString& /*Forma*/, const QString& /*Maqui*/,
                              const QString& /*Produ*/) const {
        return true;
    }
    // Releases what is held open (connections), in the thread that writes.
    virtual void cierra() {}
    // Notes for the port's log, each given once.
    virtual QStringList tomaAvisos() { return {}; }
    // The data file the latest write looked for, in the letter case found on disk; after a
    // missing format folder, machine folder or product file, the path searched up to it. Empty
    // where the data are not in files (the server kind).
    virtual QString rutaBuscada() const { return {}; }
    // The kind of the latest failure (of a write or of terminaPasada()) and why, in a few words.
    virtual TipoFalla ultimaFalla() const { return TipoFalla::Ninguna; }
    virtual QString motivoFalla() const { return {}; }
    // When set, a passing failure shows no message: the caller holds the reading and says so once.
    virtual void callaFallasPasajeras(bool /*callar*/) {}

    // The time of the reading being written (when its frame was complete); none means now.
    virtual void fijaMomento(const QDateTime& momento) { momento_ = momento; }

protected:
    QDateTime momento_;
};

} // namespace ort
