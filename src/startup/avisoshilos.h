#pragma once

#include "startup/avisos.h"

#include <QObject>

#include <atomic>

namespace ort {

// The notices of every thread, shown by the thread this object lives in (the window thread):
// messages and the beep are queued there; a question or an input box waits for its answer.
// Once ORT is ending, questions from other threads are answered No and input boxes cancelled,
// as nobody is left to answer them.
class AvisosEntreHilos : public QObject, public Avisos {
    Q_OBJECT
public:
    explicit AvisosEntreHilos(Avisos& destino, QObject* parent = nullptr);

    void mensaje(const QString& texto, Icono icono) override;
    bool pregunta(const QString& texto) override;
    QString entrada(const QString& prompt) override;
    void beep() override;
    void ocupado(bool si) override;

    void terminando() { terminando_ = true; }

private:
    bool aqui() const;

    Avisos& destino_;
    std::atomic<bool> terminando_{false};
};

} // namespace ort
