#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace ort {

class Adquisicion;
class AvisosEntreHilos;

// ORT as a service: the same acquisition with no window. Every log line goes to standard output
// as the port in two digits, a blank and the line without its trailing blanks, flushed at once.
// SIGINT and SIGTERM close the ports and end the program with status 0.
class Servicio : public QObject {
    Q_OBJECT
public:
    // avisos: the notices of the workers, told when the end comes so that none waits for an
    // answer then.
    explicit Servicio(Adquisicion& a, AvisosEntreHilos* avisos = nullptr,
                      QObject* parent = nullptr);
    ~Servicio() override;

    static QString lineaSalida(int p, const QString& linea);
    // Installs the handlers of SIGINT and SIGTERM; the event loop then ends cleanly on them.
    void atiendeSenales();
    // A signal ended the service already (during the start, say): the event loop is not run.
    bool terminado() const { return terminado_; }

private:
    void termina();

    Adquisicion& a_;
    AvisosEntreHilos* avisos_;
    struct Senales;
    std::unique_ptr<Senales> senales_;
    bool terminado_ = false;
};

} // namespace ort
