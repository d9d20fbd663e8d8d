#pragma once

#include "startup/avisos.h"

class QWidget;

namespace ort {

// The notices as message boxes titled "Metrovax ORT", the input box, the beep and the
// hourglass pointer.
class AvisosVentana : public Avisos {
public:
    explicit AvisosVentana(QWidget* padre = nullptr) : padre_(padre) {}
    void fijaPadre(QWidget* padre) { padre_ = padre; }

    void mensaje(const QString& texto, Icono icono) override;
    bool pregunta(const QString& texto) override;
    QString entrada(const QString& prompt) override;
    void beep() override;
    void ocupado(bool si) override;

private:
    QWidget* padre_;
    int ocupado_ = 0;
};

} // namespace ort
