#pragma once

#include <QString>
#include <QStringList>

namespace ort {

// Writes one value of one characteristic into its data table. Results: 0 written; 1, 2, 3 the
// data location is missing (format folder, machine folder, product file); 6 an error, already
// reported to the user.
class Grabador {
public:
    virtual ~Grabador() = default;
    virtual qint16 GrabaMTVX(const QString& Forma, const QString& Maqui, const QString& Produ,
                             const QString& Carac, const QString& Fecha, const QString& Hora,
                             const QString& Opera, const QString& Valor, float DTMP) = 0;
    // The receive pass that wrote its values has ended.
    virtual void terminaPasada() {}
    // Notes for the port's log, each given once.
    virtual QStringList tomaAvisos() { return {}; }
};

} // namespace ort
