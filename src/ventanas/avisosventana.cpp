#include "ventanas/avisosventana.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ort {

namespace {

const QString kTitulo = QStringLiteral("Metrovax ORT");

QMessageBox::Icon iconoDe(Avisos::Icono icono) {
    switch (icono) {
    case Avisos::Icono::Exclamacion:
        return QMessageBox::Warning;
    case Avisos::Icono::Critico:
        return QMessageBox::Critical;
    case Avisos::Icono::Informacion:
        return QMessageBox::Information;
    case Avisos::Icono::Ninguno:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

AvisosVentana::~AvisosVentana() {
    for (auto& a : abiertos_)
        delete a.caja.data();
}

void AvisosVentana::mensaje(const QString& texto, Icono icono) {
    if (espera_) {
        // The pointer is an arrow while the user reads.
        const bool estabaOcupado = ocupado_ > 0;
        if (estabaOcupado)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        QMessageBox box(iconoDe(icono), kTitulo, texto, QMessageBox::Ok, padre_);
        box.exec();
        if (estabaOcupado)
            QGuiApplication::restoreOverrideCursor();
        return;
    }
    auto it = abiertos_.find(texto);
    if (it != abiertos_.end() && it->caja) {
        ++it->repeticiones;
        it->caja->setInformativeText(
            QStringLiteral("Se repitió %1 %2 mientras este mensaje estaba abierto.")
                .arg(it->repeticiones)
                .arg(it->repeticiones == 1 ? QStringLiteral("vez") : QStringLiteral("veces")));
        return;
    }
    auto* box = new QMessageBox(iconoDe(icono), kTitulo, texto, QMessageBox::Ok, padre_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QObject::destroyed, box, [this, texto] { abiertos_.remove(texto); });
    abiertos_.insert(texto, Abierto{box, 0});
    box->show();
}

int AvisosVentana::abiertos() const {
    int n = 0;
    for (const auto& a : abiertos_)
        if (a.caja)
            ++n;
    return n;
}

int AvisosVentana::repeticiones(const QString& texto) const {
    return abiertos_.value(texto).repeticiones;
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
