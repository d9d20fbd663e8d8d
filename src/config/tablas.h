#pragma once

#include <QList>
#include <QReadWriteLock>
#include <QString>

#include <array>
#include <stdexcept>
#include <vector>

namespace ort {

constexpr int kPuertos = 16;    // ports 1..16, tables 0..16
constexpr int kCanales = 99;    // channels 0..99
constexpr int kSecuencias = 50; // sequences 0..50

// An index outside the runtime tables: the receive pass reports it and goes on.
class FueraDeTabla : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

struct PuertoInfo {
    bool Activo = false;
    QString Conex = QStringLiteral("     "); // exactly 5 characters
    QString TipoCon;                         // "TCP/IP" for a socket
};

struct CanalInfo {
    qint16 SecActual = 0;
    qint16 SecTotal = 0;
};

// One record of a port's field table.
struct CampoTid {
    QString Etiq;
    qint16 Pos = 0;
    qint16 Long = 0;
    QString Carac;
};

// The state of every port, channel and sequence while ORT runs. Every access is bounds-checked:
// an index outside the tables throws FueraDeTabla instead of touching memory it does not own.
class TablasRuntime {
public:
    TablasRuntime();

    static bool puertoValido(int p) { return p >= 1 && p <= kPuertos; }
    static bool canalValido(int c) { return c >= 0 && c <= kCanales; }
    static bool secuenciaValida(int s) { return s >= 0 && s <= kSecuencias; }

    PuertoInfo& puerto(int p) { return puertos_[indicePuerto(p)]; }
    const PuertoInfo& puerto(int p) const { return puertos_[indicePuerto(p)]; }
    CanalInfo& canal(int p, int c) { return canales_[indiceCanal(p, c)]; }
    QString& UltValor(int p, int c, int s) { return ultValor_[indiceSecuencia(p, c, s)]; }
    double& LimInf(int p, int c, int s) { return limInf_[indiceSecuencia(p, c, s)]; }
    double& LimSup(int p, int c, int s) { return limSup_[indiceSecuencia(p, c, s)]; }

    int PuertoActual = 1;

    // Reception settings of each port, written when it opens.
    std::array<qint16, kPuertos + 1> PosInicio{};
    std::array<qint16, kPuertos + 1> CarTerm{};
    std::array<QString, kPuertos + 1> Tabla;
    std::array<qint16, kPuertos + 1> SepTabla{};

    // Field tables: records 1..TidNum(p) of port p; records beyond it stay but do not count.
    std::array<qint16, kPuertos + 1> TidNum{};
    qint16 TidMax = 0;
    // Record i (1-based) of port p.
    CampoTid& Tid(int p, int i);
    // Replaces port p's records, growing TidMax and keeping the other ports' tables.
    void fijaTabla(int p, const QList<CampoTid>& campos);

    std::array<double, kPuertos + 1> NumLecturas{};
    std::array<double, kPuertos + 1> NumGrabadas{};

    // Guards these tables and the configuration rows between the window thread, which reloads
    // and edits them, and the ports' workers, which read them and advance the sequences. Held
    // only for short steps, never across a wait for an instrument.
    mutable QReadWriteLock cerrojo{QReadWriteLock::Recursive};

private:
    static int indicePuerto(int p);
    static int indiceCanal(int p, int c);
    static int indiceSecuencia(int p, int c, int s);

    std::array<PuertoInfo, kPuertos + 1> puertos_;
    std::vector<CanalInfo> canales_;
    std::vector<QString> ultValor_;
    std::vector<double> limInf_, limSup_;
    std::array<QList<CampoTid>, kPuertos + 1> tid_;
};

} // namespace ort
