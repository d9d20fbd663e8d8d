#include "config/tablas.h"

namespace ort {

namespace {
constexpr int kTotalCanales = (kPuertos + 1) * (kCanales + 1);
constexpr int kTotalSecuencias = kTotalCanales * (kSecuencias + 1);
} // namespace

TablasRuntime::TablasRuntime()
    : canales_(kTotalCanales)
    , ultValor_(kTotalSecuencias)
    , limInf_(kTotalSecuencias, -999999.0)
    , limSup_(kTotalSecuencias, 999999.0) {
    SepTabla.fill(-99);
    PosInicio.fill(1);
}

int TablasRuntime::indicePuerto(int p) {
    if (p < 0 || p > kPuertos)
        throw FueraDeTabla("puerto " + std::to_string(p) + " fuera de 0..16");
    return p;
}

int TablasRuntime::indiceCanal(int p, int c) {
    if (c < 0 || c > kCanales)
        throw FueraDeTabla("canal " + std::to_string(c) + " fuera de 0..99");
    return indicePuerto(p) * (kCanales + 1) + c;
}

int TablasRuntime::indiceSecuencia(int p, int c, int s) {
    if (s < 0 || s > kSecuencias)
        throw FueraDeTabla("secuencia " + std::to_string(s) + " fuera de 0..50");
    return indiceCanal(p, c) * (kSecuencias + 1) + s;
}

CampoTid& TablasRuntime::Tid(int p, int i) {
    auto& lista = tid_[indicePuerto(p)];
    if (i < 1 || i > lista.size())
        throw FueraDeTabla("campo " + std::to_string(i) + " fuera de la tabla del puerto");
    return lista[i - 1];
}

void TablasRuntime::fijaTabla(int p, const QList<CampoTid>& campos) {
    auto& lista = tid_[indicePuerto(p)];
    for (int i = 0; i < campos.size(); ++i) {
        if (i < lista.size())
            lista[i] = campos[i];
        else
            lista.append(campos[i]);
    }
    TidNum[p] = static_cast<qint16>(campos.size());
    if (campos.size() > TidMax)
        TidMax = static_cast<qint16>(campos.size());
}

} // namespace ort
