#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace ort {

// What an instrument is sent as soon as its serial line is open.
struct Inicializacion {
    // Written one after the other, without waiting for an answer; each ends in CR.
    QList<QByteArray> comandos;
    // A message box that follows the commands ("PEL10: Inicialización OK."), when the row has one.
    std::optional<QString> mensaje;
};

// The initialisation of the instrument behind a connection key. The key is taken with its
// blanks removed and compared exactly, letter case included: "pel10" gets nothing.
Inicializacion inicializacionInstrumento(const QString& conex);

} // namespace ort
