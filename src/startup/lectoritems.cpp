#include "startup/lectoritems.h"

namespace ort {

LectorItems::LectorItems(QString texto) : texto_(std::move(texto)) {}

bool LectorItems::enFinDeLinea() const {
    return pos_ < texto_.size() && (texto_[pos_] == u'\n' || texto_[pos_] == u'\r');
}

void LectorItems::consumeFinDeLinea() {
    if (pos_ < texto_.size() && texto_[pos_] == u'\r')
        ++pos_;
    if (pos_ < texto_.size() && texto_[pos_] == u'\n')
        ++pos_;
    ++linea_;
}

std::optional<QString> LectorItems::item() {
    while (pos_ < texto_.size() && (texto_[pos_] == u' ' || texto_[pos_] == u'\t'))
        ++pos_;
    if (fin())
        return std::nullopt;
    lineaUltima_ = linea_;
    QString valor;
    if (texto_[pos_] == u'"') {
        ++pos_;
        while (pos_ < texto_.size() && texto_[pos_] != u'"' && !enFinDeLinea())
            valor += texto_[pos_++];
        if (pos_ < texto_.size() && texto_[pos_] == u'"')
            ++pos_;
        // Whatever follows the closing quote up to the delimiter is not part of the item.
        while (pos_ < texto_.size() && texto_[pos_] != u',' && !enFinDeLinea())
            ++pos_;
    } else {
        while (pos_ < texto_.size() && texto_[pos_] != u',' && !enFinDeLinea())
            valor += texto_[pos_++];
    }
    if (pos_ < texto_.size()) {
        if (texto_[pos_] == u',')
            ++pos_;
        else
            consumeFinDeLinea();
    }
    return valor;
}

std::optional<QString> LectorItems::linea() {
    if (fin())
        return std::nullopt;
    lineaUltima_ = linea_;
    QString valor;
    while (pos_ < texto_.size() && !enFinDeLinea())
        valor += texto_[pos_++];
    if (pos_ < texto_.size())
        consumeFinDeLinea();
    return valor;
}

} // namespace ort
