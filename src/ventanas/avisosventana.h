#pragma once

#include "startup/avisos.h"

#include <QHash>
#include <QPointer>

class QMessageBox;
class QWidget;

namespace ort {

// The notices as message boxes titled "Metrovax ORT", the input box, the beep and the
// hourglass pointer. While acquisition runs, a message box does not stop it: it stays open
// beside the monitor until the user closes it, and a message raised again while the same one
// is open is not stacked on top of it but counted in it.
class AvisosVentana : public Avisos {
public:
    explicit AvisosVentana(QWidget* padre = nullptr) : padre_(padre) {}
    ~AvisosVentana() override;
    void fijaPadre(QWidget* padre) { padre_ = padre; }
    // Before acquisition starts (start-up), every box waits for the user.
    void fijaEspera(bool espera) { espera_ = espera; }

    void mensaje(const QString& texto, Icono icono) override;
    bool pregunta(const QString& texto) override;
    QString entrada(const QString& prompt) override;
    void beep() override;
    void ocupado(bool si) override;

    // Boxes open now, and how often a text came again while its box was open.
    int abiertos() const;
    int repeticiones(const QString& texto) const;

private:
    struct Abierto {
        QPointer<QMessageBox> caja;
        int repeticiones = 0;
    };
    QWidget* padre_;
    bool espera_ = true;
    int ocupado_ = 0;
    QHash<QString, Abierto> abiertos_;
};

} // namespace ort
