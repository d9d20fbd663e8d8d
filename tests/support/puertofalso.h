#pragma once

#include "ports/puerto.h"
#include "ports/puertoserie.h"
#include "ports/puertotcp.h"
#include "support/fakes.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <utility>

namespace ort::prueba {

// The line of a fake port: bytes arrived, bytes due at a time of the fake clock, bytes written.
template <class Puerto> class LineaFalsa : public Puerto {
public:
    struct Escritura {
        qint64 ms;
        QByteArray datos;
    };
    explicit LineaFalsa(RelojFalso* reloj) : reloj_(reloj) {}

    int esperando() override { return libera(), int(recibido_.size()); }
    int leeCaracter() override {
        if (libera(), recibido_.isEmpty())
            return -1;
        const int c = static_cast<unsigned char>(recibido_.front());
        return recibido_.remove(0, 1), c;
    }
    QByteArray leeTodo() override { return libera(), std::exchange(recibido_, {}); }
    bool escribe(const QByteArray& d) override {
        if (this->abierto())
            escrituras_ << Escritura{reloj_->monotonoMs(), d};
        return this->abierto();
    }
    bool esperaDatos(int ms) override {
        if (libera(), !this->abierto() || !recibido_.isEmpty())
            return this->abierto();
        qint64 hasta = reloj_->monotonoMs() + std::max(ms, 0);
        for (const auto& p : programados_)
            hasta = std::min(hasta, p.first);
        reloj_->duerme(hasta - reloj_->monotonoMs());
        return libera(), !recibido_.isEmpty();
    }
    void llegaEn(qint64 ms, const QByteArray& t) {
        programados_ << qMakePair(reloj_->monotonoMs() + ms, t);
    }
    QList<Escritura>& escrituras() { return escrituras_; }
    QByteArray escrito() const {
        QByteArray todo;
        for (const auto& e : escrituras_)
            todo += e.datos;
        return todo;
    }

protected:
    void libera() {
        std::stable_sort(programados_.begin(), programados_.end(),
                         [](auto& a, auto& b) { return a.first < b.first; });
        while (!programados_.isEmpty() && programados_.first().first <= reloj_->monotonoMs()) {
            const QByteArray t = programados_.takeFirst().second;
            if (this->abierto())
                recibido_ += t;
        }
    }
    RelojFalso* reloj_;
    QByteArray recibido_;
    QList<Escritura> escrituras_;
    QList<QPair<qint64, QByteArray>> programados_;
};

class PuertoSerieFalso : public LineaFalsa<PuertoSerie> {
public:
    enum class Paso { Numero, Settings, BufferEntrada, Umbral, Dtr, Rts, Abre };
    using LineaFalsa::LineaFalsa;

    bool abierto() const override { return abierto_; }
    void cierra() override;
    Resultado<> fijaNumero(int puerto) override;
    Resultado<> fijaSettings(const QString& s) override;
    Resultado<> fijaBufferEntrada(int bytes) override;
    Resultado<> fijaUmbral(int caracteres) override;
    Resultado<> fijaDtr(bool on) override {
        return paso(Paso::Dtr, QStringLiteral("DTREnable=%1").arg(on));
    }
    Resultado<> fijaRts(bool on) override {
        return paso(Paso::Rts, QStringLiteral("RTSEnable=%1").arg(on));
    }
    Resultado<> abre() override;

    void llega(const QByteArray& trozo);
    void fallaEn(Paso p) { fallas_ << p; }
    void lanzaEvento(int valor) { emit evento(valor); }
    void pierde(const QString& motivo);

    QStringList pasos;
    int numero = 0, umbral = 0, aperturas = 0;

private:
    Resultado<> paso(Paso p, const QString& anotacion, qint64 falla = 0, const QString& texto = {});
    bool abierto_ = false;
    QSet<Paso> fallas_;
};

class PuertoTcpFalso : public LineaFalsa<PuertoTcp> {
public:
    using LineaFalsa::LineaFalsa;

    bool abierto() const override { return conectado(); }
    void cierra() override { recibido_.clear(), conectaEn_ = -2; }
    Resultado<> conecta(const QString& host, qint32 puerto) override;
    bool conectado() const override {
        return conectaEn_ > -2 && conectaEn_ <= reloj_->monotonoMs();
    }

    void respondeTras(qint64 ms) { respondeTras_ = ms; } // -1: never
    void llega(const QByteArray& trozo);

    QString host;
    qint32 puerto = 0;

private:
    qint64 conectaEn_ = -2, respondeTras_ = 0;
};

class FabricaPuertosFalsa : public FabricaPuertos {
public:
    explicit FabricaPuertosFalsa(RelojFalso* reloj) : reloj_(reloj) {}
    PuertoSerieFalso& serie(int p) override;
    PuertoTcpFalso& tcp(int p) override;

private:
    RelojFalso* reloj_;
    std::array<std::unique_ptr<PuertoSerieFalso>, 17> serie_;
    std::array<std::unique_ptr<PuertoTcpFalso>, 17> tcp_;
};

} // namespace ort::prueba
