#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace ort {

class Adquisicion;
class AvisosEntreHilos;

// SIGINT and SIGTERM end acquisition cleanly, with or without windows: the ports' workers stop,
// the ports close, what was received is committed (or held, or reported), and the event loop
// ends with status 0. A signal may come while a port's opening lets events run (at the start
// too, before the event loop runs): the stop is done once, and the start looks at terminado().
class FinPorSenal : public QObject {
    Q_OBJECT
public:
    // avisos: the notices of the workers, told when the end comes so that none waits for an
    // answer then.
    explicit FinPorSenal(Adquisicion& a, AvisosEntreHilos* avisos = nullptr,
                         QObject* parent = nullptr);
    ~FinPorSenal() override;

    // Installs the handlers of SIGINT and SIGTERM.
    void atiende();
    // A signal ended acquisition already: the start goes no further.
    bool terminado() const { return terminado_; }

private:
    void termina();

    Adquisicion& a_;
    AvisosEntreHilos* avisos_;
    struct Senales;
    std::unique_ptr<Senales> senales_;
    bool terminado_ = false;
};

// ORT as a service: the same acquisition with no window. Every log line goes to standard output
// as the port in two digits, a blank and the line without its trailing blanks, flushed at once.
class Servicio : public QObject {
    Q_OBJECT
public:
    explicit Servicio(Adquisicion& a, QObject* parent = nullptr);

    static QString lineaSalida(int p, const QString& linea);
};

} // namespace ort
