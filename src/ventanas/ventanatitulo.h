#pragma once

#include <QTimer>
#include <QWidget>

namespace ort {

// VentanaTitulo: the title picture at its own size, closed by a click, a key or its 3-second timer.
class VentanaTitulo : public QWidget {
    Q_OBJECT
public:
    explicit VentanaTitulo(const QString& ruta, const QString& compania, QWidget* parent = nullptr);

    // Why the title picture could not be shown (the file and the reason); empty when it was.
    const QString& problemaImagen() const { return problemaImagen_; }

signals:
    void cerrada();

protected:
    void mousePressEvent(QMouseEvent*) override { cierra(); }
    void keyPressEvent(QKeyEvent*) override { cierra(); }

private:
    void cierra();
    QTimer temporizador_;
    bool cerrada_ = false;
    QString problemaImagen_;
};

} // namespace ort
