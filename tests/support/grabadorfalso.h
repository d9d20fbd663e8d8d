#pragma once

#include "recording/grabacion.h"

#include <QList>
#include <QStringList>

namespace ort::prueba {

class GrabadorFalso : public Grabador {
public:
    struct Llamada {
        QString Forma, Maqui, Produ, Carac, Fecha, Hora, Opera, Valor;
        float DTMP;
    };
    ResultadoGrabacion GrabaMTVX(const QString& Forma, const QString& Maqui, const QString& Produ,
                                 const QString& Carac, const QString& Fecha, const QString& Hora,
                                 const QString& Opera, const QString& Valor, float DTMP) override {
        return llamadas << Llamada{Forma, Maqui, Produ, Carac, Fecha, Hora, Opera, Valor, DTMP},
               resultados.isEmpty() ? ResultadoGrabacion::Grabado : resultados.takeFirst();
    }
    QStringList valores() const {
        QStringList v;
        for (const auto& l : llamadas)
            v << l.Carac + u'=' + l.Valor;
        return v;
    }
    QList<Llamada> llamadas;
    QList<ResultadoGrabacion> resultados;
    QString ruta;
    QString rutaBuscada() const override { return ruta; }
};

} // namespace ort::prueba
