#pragma once

#include "decoding/lecturaprobada.h"

#include <QObject>
#include <QString>

namespace ort {

struct Entorno;
class TablasRuntime;
class AlmacenConfig;
class Grabador;
class LogPuertos;

// Ties each reading to its channel's next sequence, shows it on the port's log, tests it against
// the sequence's limits and has it recorded with the sequence's additional fields.
class Registrador : public QObject {
    Q_OBJECT
public:
    Registrador(Entorno& e, TablasRuntime& t, AlmacenConfig& config, Grabador& grabador,
                LogPuertos& log, QObject* parent = nullptr);

    // lectura: two channel digits and the value text; campo: the field-table record that
    // produced it (0 outside field-table mode). An index outside the tables throws FueraDeTabla
    // before anything is changed.
    void RegistraLectura(int p, const QString& lectura, const QString& FechaInst,
                         const QString& HoraInst, int campo = 0);

    // The counters' captions of a port.
    QString captionRec(int p) const;
    QString captionGra(int p) const;
    Grabador& grabador() { return grabador_; }

signals:
    void contadoresCambiados(int p);
    // Right after the limits test of a reading that has its configuration row.
    void lecturaProbada(const ort::LecturaProbada& l);

private:
    Entorno& e_;
    TablasRuntime& t_;
    AlmacenConfig& config_;
    Grabador& grabador_;
    LogPuertos& log_;
};

} // namespace ort
