#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace ort {

// A failure as the product reported it: its source, number and description.
struct Falla {
    QString fuente;
    qint64 numero = 0;
    QString descripcion;
};

// How the core reports a step that can fail: its value, or the failure that prevented it.
// `Resultado<>` is a step with no value. Exceptions are kept for faults of the program itself
// (an index outside a table) and, inside a decoder, for a frame it cannot read, which the receive
// pass turns into a log line.
template <class T = void> class [[nodiscard]] Resultado {
public:
    Resultado(T valor) : v_(std::move(valor)) {}
    Resultado(Falla falla) : v_(std::move(falla)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& valor() const { return std::get<0>(v_); }
    T& valor() { return std::get<0>(v_); }
    const T& operator*() const { return valor(); }
    T& operator*() { return valor(); }
    const T* operator->() const { return &valor(); }
    T* operator->() { return &valor(); }
    // The value, or the given one after a failure.
    T valorO(T otro) const { return ok() ? valor() : std::move(otro); }
    // Empty after a success, as with Resultado<>.
    const Falla& falla() const {
        static const Falla ninguna;
        return ok() ? ninguna : std::get<1>(v_);
    }

private:
    std::variant<T, Falla> v_;
};

template <> class [[nodiscard]] Resultado<void> {
public:
    Resultado() = default;
    Resultado(Falla falla) : falla_(std::move(falla)), ok_(false) {}

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    // Empty after a success.
    const Falla& falla() const { return falla_; }

private:
    Falla falla_;
    bool ok_ = true;
};

} // namespace ort
