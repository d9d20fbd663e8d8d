#pragma once

#include <QString>

#include <optional>

namespace ort {

// Reads the product's sequential text files: items end at a comma or a line end, leading
// blanks are skipped and an item may be enclosed in quotation marks; lines are read whole.
// An empty line is an empty item. Reading past the end gives no value.
class LectorItems {
public:
    explicit LectorItems(QString texto);

    bool fin() const { return pos_ >= texto_.size(); }
    std::optional<QString> item();
    std::optional<QString> linea();
    // Line (1-based) where the last item or line read began.
    int lineaUltima() const { return lineaUltima_; }

private:
    void consumeFinDeLinea();
    bool enFinDeLinea() const;

    QString texto_;
    int pos_ = 0;
    int linea_ = 1;
    int lineaUltima_ = 0;
};

} // namespace ort
