#pragma once

#include "startup/avisos.h"
#include "startup/reloj.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace ort::prueba {

class AvisosGrabados : public Avisos {
public:
    struct Mensaje {
        QString texto;
        Icono icono;
    };
    void mensaje(const QString& texto, Icono icono) override { mensajes << Mensaje{texto, icono}; }
    bool pregunta(const QString& t) override {
        return preguntas << t, !respuestasSiNo.isEmpty() && respuestasSiNo.takeFirst();
    }
    QString entrada(const QString& p) override {
        return prompts << p,
               respuestasEntrada.isEmpty() ? QString() : respuestasEntrada.takeFirst();
    }
    void beep() override { ++beeps; }
    void ocupado(bool b) override { punteros << b; }

    QStringList textos() const {
        QStringList t;
        for (const auto& m : mensajes)
            t << m.texto;
        return t;
    }

    QList<Mensaje> mensajes;
    QStringList preguntas, prompts;
    QList<bool> respuestasSiNo;
    QStringList respuestasEntrada;
    QList<bool> punteros;
    int beeps = 0;
};

class RelojFalso : public Reloj {
public:
    explicit RelojFalso(QDateTime inicio = QDateTime(QDate(2026, 12, 4), QTime(9, 5, 7)))
        : ahora_(inicio) {}
    QDateTime ahora() const override { return ahora_; }
    qint64 monotonoMs() const override { return monotono_; }
    void duerme(qint64 ms) override { dormido += ms, avanza(ms); }
    void avanza(qint64 ms) {
        ahora_ = ahora_.addMSecs(std::max<qint64>(ms, 0)), monotono_ += std::max<qint64>(ms, 0);
    }
    void fija(const QDateTime& t) { ahora_ = t; }

    qint64 dormido = 0;

private:
    QDateTime ahora_;
    qint64 monotono_ = 1'000'000;
};

} // namespace ort::prueba
