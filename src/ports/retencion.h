#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <utility>

namespace ort {

// A port's signals raised while one of its blocking calls is under way (a wait for data, a read
// that pulls from the device) are held back and delivered from the event loop afterwards, so a
// receive pass never runs inside another; data that arrived meanwhile is looked at again then.
class Retencion {
public:
    Retencion(QObject* dueno, std::function<void()> alLlegar)
        : dueno_(dueno)
        , alLlegar_(std::move(alLlegar)) {}

    bool activa() const { return bloqueos_ > 0; }
    void marcaPendiente() { pendiente_ = true; }
    void limpiaPendiente() { pendiente_ = false; }

    // Runs f now, or from the event loop when a blocking call is under way.
    template <typename F> void avisa(F&& f) {
        if (activa())
            QMetaObject::invokeMethod(dueno_, std::forward<F>(f), Qt::QueuedConnection);
        else
            f();
    }

    // Marks a blocking call for as long as it lives.
    class Guardia {
    public:
        explicit Guardia(Retencion& r) : r_(r) { ++r_.bloqueos_; }
        ~Guardia() {
            if (--r_.bloqueos_ > 0 || !r_.pendiente_)
                return;
            r_.pendiente_ = false;
            QMetaObject::invokeMethod(r_.dueno_, r_.alLlegar_, Qt::QueuedConnection);
        }
        Guardia(const Guardia&) = delete;
        Guardia& operator=(const Guardia&) = delete;

    private:
        Retencion& r_;
    };

private:
    QObject* dueno_;
    std::function<void()> alLlegar_;
    int bloqueos_ = 0;
    bool pendiente_ = false;
};

} // namespace ort
