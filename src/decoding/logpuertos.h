#pragma once

#include "config/tablas.h"

#include <QObject>
#include <QStringList>

#include <array>

namespace ort {

// The log box of every port: lines of exactly 92 characters, newest last, as many as the box
// holds. The window tells how many rows its boxes show; headless runs keep the default.
class LogPuertos : public QObject {
    Q_OBJECT
public:
    static constexpr int kAncho = 92;
    static constexpr int kFilasPorDefecto = 25;

    explicit LogPuertos(QObject* parent = nullptr);

    // Rows of a box of the given height in twips, as the product computed them.
    static int filasPorAltura(int alturaTwips) { return (alturaTwips - 90) / 210; }

    void fijaFilas(int p, int filas);
    int filas(int p) const;
    // MuestraLinea: pads or cuts the line to 92 characters and appends it, dropping the oldest
    // line when the box is full. From another thread, the line is appended by this object's
    // thread, later and in order.
    void MuestraLinea(int p, const QString& linea);
    const QStringList& lineas(int p) const;
    // The box's text: each line followed by CR LF.
    QString texto(int p) const;

signals:
    void lineaAgregada(int p, const QString& linea);

private:
    std::array<QStringList, kPuertos + 1> lineas_;
    std::array<int, kPuertos + 1> filas_;
};

} // namespace ort
