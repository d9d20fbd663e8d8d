#pragma once

#include <QString>

namespace ort {

// Everything acquisition says to the user: message boxes, questions, the input box, the beep
// and the busy pointer. The windows show them, the headless mode writes them to standard
// error, and the tests record them.
class Avisos {
public:
    enum class Icono { Ninguno, Exclamacion, Critico, Informacion };

    virtual ~Avisos() = default;
    // A message box with an OK button (title "Metrovax ORT").
    virtual void mensaje(const QString& texto, Icono icono) = 0;
    // A yes/no question; true means Yes.
    virtual bool pregunta(const QString& texto) = 0;
    // The input box; an empty answer means cancelled.
    virtual QString entrada(const QString& prompt) = 0;
    virtual void beep() {}
    // The screen's mouse pointer: hourglass while busy, arrow otherwise.
    virtual void ocupado(bool) {}
};

} // namespace ort
