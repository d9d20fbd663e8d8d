#pragma once

#include <QDateTime>

namespace ort {

// Time comes in from outside, so that every wait and every time stamp can be driven by tests.
class Reloj {
public:
    virtual ~Reloj() = default;
    // Local date and time of day.
    virtual QDateTime ahora() const = 0;
    // A clock that never jumps (no midnight, no adjustments), in milliseconds.
    virtual qint64 monotonoMs() const = 0;
    // Blocks the thread without handling events.
    virtual void duerme(qint64 ms) = 0;

    // Seconds since midnight, with fraction.
    double segundosDesdeMedianoche() const;
};

class RelojSistema : public Reloj {
public:
    QDateTime ahora() const override;
    qint64 monotonoMs() const override;
    void duerme(qint64 ms) override;
};

} // namespace ort
