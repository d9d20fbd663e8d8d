#include "monitor/avisoswindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ort {

namespace {
const QString kTitulo = QStringLiteral("Metrovax ORT");
}

void AvisosVentana::mensaje(const QString& texto, Icono icono) {
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icono) {
    case Icono::Exclamacion:
        i = QMessageBox::Warning;
        break;
    case Icono::Critico:
        i = QMessageBox::Critical;
        break;
    case Icono::Informacion:
        i = QMessageBox::Information;
        break;
    case Icono::Ninguno:
        break;
    }
    // The pointer is an arrow while the user reads.
    const bool estabaOcupado = ocupado_ > 0;
    if (estabaOcupado)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(i, kTitulo, texto, QMessageBox::Ok, padre_);
    box.exec();
    if (estabaOcupado)
        QGuiApplication::restoreOverrideCursor();
}

bool AvisosVentana::pregunta(const QString& texto) {
    return QMessageBox::question(padre_, kTitulo, texto, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString AvisosVentana::entrada(const QString& prompt) {
    bool ok = false;
    const QString t =
        QInputDialog::getText(padre_, kTitulo, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? t : QString();
}

void AvisosVentana::beep() {
    QApplication::beep();
}

void AvisosVentana::ocupado(bool si) {
    if (si) {
        ++ocupado_;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (ocupado_ > 0) {
        --ocupado_;
        QGuiApplication::restoreOverrideCursor();
    }
}

} // namespace ort
