#pragma once

#include <QString>

namespace ort {

// How a port reaches its instrument. Two instrument codes are no instrument: NADA leaves the
// port unused and TIMER makes readings from the clock, without a device. Otherwise the
// connection record's type (INSTIPOC, kept as PuertoInfo::TipoCon) says whether it is a socket
// ("TCP/IP") or, for anything else, a serial line.
enum class TipoConexion { Serie, Tcp, Reloj, Nada };

// The connection record's type as stored: "TCP/IP" (compared exactly) is a socket, anything
// else a serial line.
inline TipoConexion tipoDeRegistro(const QString& tipoCon) {
    return tipoCon == QLatin1String("TCP/IP") ? TipoConexion::Tcp : TipoConexion::Serie;
}

// A port's kind from its instrument code (blank-padded or not) and its connection record's type.
inline TipoConexion tipoDePuerto(const QString& conex, const QString& tipoCon) {
    const QString codigo = conex.trimmed();
    if (codigo == QLatin1String("NADA"))
        return TipoConexion::Nada;
    if (codigo == QLatin1String("TIMER"))
        return TipoConexion::Reloj;
    return tipoDeRegistro(tipoCon);
}

} // namespace ort
