#pragma once

#include <QMap>
#include <QString>

namespace ort {

struct Ajustes;

// The pieces of a connection string, by key as written (keys compared without case).
QMap<QString, QString> leeCadena(const QString& cadena);
QString valorCadena(const QString& cadena, const QString& clave);
// The same string with its password field replaced.
QString cadenaConClave(const QString& cadena, const QString& clave);

// After a password prompt: every kept string that held the refused password (the Metrovax
// string) takes the accepted one.
void pasaClaveNueva(Ajustes& a, const QString& rechazada, const QString& aceptada);

// The connection string of a data source in the form of the Metrovax database kind.
QString CadenaConexion(const Ajustes& a, const QString& F);
// The file-kind string, whatever the Metrovax kind (the configuration database).
QString cadenaJet(const QString& ruta, const QString& clave);

} // namespace ort
