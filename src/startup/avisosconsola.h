#pragma once

#include "startup/avisos.h"

#include <QTextStream>

namespace ort {

// The notices of a run without windows: every message box goes to standard error as "ORT: " and
// its text on one line (line feeds shown as " | "); questions are answered No and input boxes
// are cancelled.
class AvisosConsola : public Avisos {
public:
    void mensaje(const QString& texto, Icono icono) override;
    bool pregunta(const QString& texto) override;
    QString entrada(const QString& prompt) override;

    static QString enUnaLinea(const QString& texto);
};

} // namespace ort
