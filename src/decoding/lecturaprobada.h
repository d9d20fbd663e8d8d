#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace ort {

// A reading as registration tested it: where it came from, its value and the limits of its
// sequence at that moment. Registration sends one for every reading that has a configuration
// row; it may cross threads, so it is a plain value.
struct LecturaProbada {
    int puerto = 0;
    int canal = 0;
    int secuencia = 0;
    QString carac;
    double valor = 0;
    double limInf = 0;
    double limSup = 0;
    bool fuera = false; // outside its limits: shown with " !" and not recorded
    QDateTime hora;
};

} // namespace ort

Q_DECLARE_METATYPE(ort::LecturaProbada)
