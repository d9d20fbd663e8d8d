#include "ventanas/ventanatitulo.h"

#include "startup/archivosproducto.h"

#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace ort {

VentanaTitulo::VentanaTitulo(const QString& ruta, const QString& compania, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Metrovax ORT"));
    auto* cuadro = new QLabel(this);
    const QString archivo = buscaArchivo(ruta, QStringLiteral("Image/CARATULA.JPG"));
    const QPixmap imagen(archivo);
    if (imagen.isNull())
        problemaImagen_ = archivo + (QFileInfo::exists(archivo)
                                         ? QStringLiteral("\n\nEl archivo no es una imagen JPEG "
                                                          "que se pueda mostrar.")
                                         : QStringLiteral("\n\nNo se encuentra el archivo."));
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 0, 0, 0);
    capa->addWidget(cuadro);
    if (!imagen.isNull()) {
        cuadro->setPixmap(imagen);
        setFixedSize(imagen.size());
    } else {
        // Without the picture the window still says what is starting.
        cuadro->setText(QStringLiteral("<h2>Metrovax ORT</h2><p>Ruteador Multipuertos</p><p>%1</p>")
                            .arg(compania.toHtmlEscaped()));
        cuadro->setAlignment(Qt::AlignCenter);
        cuadro->setMargin(24);
    }
    setFocusPolicy(Qt::StrongFocus);
    temporizador_.setInterval(3000);
    temporizador_.setSingleShot(true);
    connect(&temporizador_, &QTimer::timeout, this, &VentanaTitulo::cierra);
    temporizador_.start();
}

void VentanaTitulo::cierra() {
    if (cerrada_)
        return;
    cerrada_ = true;
    temporizador_.stop();
    close();
    emit cerrada();
}

} // namespace ort
