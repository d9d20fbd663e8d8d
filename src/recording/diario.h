#pragma once

#include "recording/grabador.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <QVariantList>
#include <atomic>
#include <functional>
#include <optional>

namespace ort {

// The file of held readings, in the program directory beside the product's other files.
inline const QString kArchivoDiario = QStringLiteral("ORTDiario.mdb");

// One value that could not be written when it was read, with everything its write needs: the
// arguments of GrabaMTVX, the time the reading was taken (the age test of the newest row
// measures from it), and where it came from.
struct Retenida {
    enum class Estado {
        Retenida = 0,   // waiting for its data table
        EnEscritura = 1 // being written: after a crash it may already be in the table
    };

    qint64 id = 0;   // arrival order, never reused
    QString destino; // the data table (claveDestino)
    QString Forma, Maqui, Produ, Carac, Valor;
    QString Fecha, Hora; // the instrument's own date and time, empty when it gave none
    QDateTime momento;   // when the reading's frame was complete
    QString Turno;       // the shift of the reading's time, as computed then
    QString Opera;
    float DTMP = 0;
    int puerto = 0, canal = 0, secuencia = 0;
    int campo = 0; // 0 the characteristic, 1 and 2 the additional fields
    Estado estado = Estado::Retenida;
    // The data table as it stood before the batch that is being written (HuellaTabla); n < 0 when
    // it could not be read.
    qint64 nAntes = -1;
    QStringList llenasAntes;
    QString motivo; // why it is held, or was moved aside

    ValorEscrito valorEscrito() const { return {Carac, Valor, Fecha, Hora, momento}; }
};

// The data table of a format, machine and product, as a key: the file for the file kind, the
// server, catalogue and table for the server kind (no password in it).
QString claveDestino(const Ajustes& a, const QString& Forma, const QString& Maqui,
                     const QString& Produ);

// Readings waiting for their data table, kept in an SQLite file that is synced before an append
// returns, so that neither kill -9 nor a power cut loses one. It is used by the recording thread
// only (one connection, opened in the thread that uses it).
//
// Retenidas holds the waiting readings, Id giving arrival order; a reading is in state 0 (held)
// or 1 (being written). Apartadas holds the readings whose write failed for a lasting reason,
// with that reason and when; a person deals with them, ORT never writes them by itself.
class Diario {
public:
    enum class Admision {
        Guardada, // synced
        Cerca,    // synced, and the journal is at or above its warning level
        Rechazada // the journal is full, or its file cannot be written: nothing was kept
    };
    static constexpr qint64 kMaximoPorDefecto = 1'000'000;

    explicit Diario(const QString& archivo);
    ~Diario();
    Diario(const Diario&) = delete;
    Diario& operator=(const Diario&) = delete;

    // Opens the file, creating it when missing, or says why it cannot.
    Resultado<> abre();
    bool abierto() const { return db_.isOpen(); }
    // Why the latest append or change of state failed.
    const QString& error() const { return error_; }
    const QString& archivo() const { return archivo_; }

    // Several connections may share the file, each with data tables of its own: with a destino
    // set before abre(), this one counts, lists and replays that data table's readings only, and
    // the bound applies to the count they share (every connection adds and removes its own).
    void fijaAlcance(const QString& destino, std::atomic<qint64>* totalComun);

    // At most maximo readings are held; from aviso on, each append says Cerca.
    void fijaLimite(qint64 maximo, qint64 aviso);
    qint64 maximo() const { return maximo_; }
    qint64 aviso() const { return aviso_; }

    // Appends in one synced transaction, all or none; gives each its id.
    Admision agrega(Retenida& r);
    Admision agrega(QList<Retenida>& rs);

    // Whether the data table has readings waiting: a new reading for it goes behind them.
    bool tieneRetenidas(const QString& destino) const { return porDestino_.value(destino) > 0; }
    // The data tables with readings waiting, the one with the oldest reading first.
    QStringList destinos();
    // The first readings of a data table, in arrival order; max < 0: all.
    QList<Retenida> retenidas(const QString& destino, int max = -1);

    // States of a batch, each change one synced transaction.
    bool marcaEnEscritura(const QList<qint64>& ids, const std::optional<HuellaTabla>& huella);
    bool devuelve(const QList<qint64>& ids);
    bool quita(const QList<qint64>& ids);
    bool aparta(qint64 id, const QString& motivo, const QDateTime& cuando);

    // Readings held in the whole file (as far as the connections sharing its count know).
    qint64 total() const { return comun_ ? comun_->load() : total_; }
    qint64 apartadas() const { return apartadas_; }
    qint64 retenidasDe(const QString& destino) const { return porDestino_.value(destino); }
    // Readings held per port (ports without any are not listed).
    const QMap<int, qint64>& porPuerto() const { return porPuerto_; }
    QList<Retenida> listaApartadas();

private:
    bool ejecuta(const QString& sql);
    bool transaccion(const std::function<bool()>& cuerpo);
    // One update per id (the statement's last parameter, after fijos), in one transaction.
    bool actualizaCada(const QString& sql, const QList<qint64>& ids, const QVariantList& fijos);
    bool cuenta();
    QList<Retenida> lee(const QString& donde, const QVariantList& valores, const QString& tabla);
    void descuenta(const QList<Retenida>& rs);
    QList<Retenida> porIds(const QList<qint64>& ids);

    QString archivo_;
    QString nombre_;
    QSqlDatabase db_;
    QString error_;
    QString alcance_;
    std::atomic<qint64>* comun_ = nullptr;
    qint64 maximo_ = kMaximoPorDefecto;
    qint64 aviso_ = kMaximoPorDefecto * 9 / 10;
    qint64 total_ = 0;
    qint64 apartadas_ = 0;
    QHash<QString, qint64> porDestino_;
    QMap<int, qint64> porPuerto_;
};

} // namespace ort
