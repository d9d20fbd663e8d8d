#pragma once

#include "startup/textos.h"

#include <QDialog>

class QComboBox;
class QFileDialog;
class QPushButton;

namespace ort {

struct Entorno;

// DialogoUbicacion: chooses the configuration database. Lists the databases used before, browses
// for another, and on confirming proves the chosen file's tables and rewrites the location file.
// The monitor restarts acquisition on it once the dialog has closed.
class DialogoUbicacion : public QDialog {
    Q_OBJECT
public:
    explicit DialogoUbicacion(Entorno& e, QWidget* parent = nullptr);

    QComboBox* cboDBConf = nullptr;
    QPushButton* cmdRuta = nullptr;
    QPushButton* bAceptar = nullptr;
    // The file browser, restricted to "*.mdb" in any letter case.
    QFileDialog* explorador = nullptr;

private:
    // The two buttons: browse for a database; prove the chosen one and keep it.
    void examina();
    void acepta();
    // Fills the list with the databases used before.
    void cargaLista();
    QString texto(TextoIdioma t, const QString& siFalta) const;

    Entorno& e_;
};

} // namespace ort
