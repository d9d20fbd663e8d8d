#include "ventanas/ubicaciondialog.h"

#include "config/ubicacion.h"
#include "startup/avisos.h"
#include "basedatos/conexion.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ort {

ORTConfig::ORTConfig(Entorno& e, QWidget* parent) : QDialog(parent), e_(e) {
    setObjectName(QStringLiteral("ORTConfig"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    cboDBConf = new QComboBox(this);
    cboDBConf->setObjectName(QStringLiteral("cboDBConf"));
    cboDBConf->setEditable(true);
    cboDBConf->setInsertPolicy(QComboBox::NoInsert);
    cboDBConf->setMinimumContentsLength(48);
    cboDBConf->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmdRuta = new QPushButton(this);
    cmdRuta->setObjectName(QStringLiteral("cmdRuta"));
    bAceptar = new QPushButton(this);
    bAceptar->setObjectName(QStringLiteral("bAceptar"));
    bAceptar->setDefault(true);

    // Qt's own browser: its name filter can ignore letter case, so "*.mdb" also finds the
    // "*.MDB" files copied from Windows installations.
    DLG = new QFileDialog(this);
    DLG->setObjectName(QStringLiteral("DLG"));
    DLG->setOption(QFileDialog::DontUseNativeDialog);
    DLG->setAcceptMode(QFileDialog::AcceptOpen);
    DLG->setFileMode(QFileDialog::ExistingFile);

    auto* fila = new QHBoxLayout;
    fila->addWidget(cboDBConf, 1);
    fila->addWidget(cmdRuta);
    auto* botones = new QHBoxLayout;
    botones->addStretch(1);
    botones->addWidget(bAceptar);
    auto* capa = new QVBoxLayout(this);
    capa->addLayout(fila);
    capa->addLayout(botones);
    setTabOrder(cboDBConf, cmdRuta);
    setTabOrder(cmdRuta, bAceptar);

    connect(cmdRuta, &QPushButton::clicked, this, &ORTConfig::cmdRuta_Click);
    connect(bAceptar, &QPushButton::clicked, this, &ORTConfig::bAceptar_Click);
    Form_Load();
    setFixedSize(sizeHint());
}

QString ORTConfig::texto(TextoIdioma cual, const QString& siFalta) const {
    const QString t = e_.ajustes.texto(cual);
    return t.isEmpty() ? siFalta : t;
}

void ORTConfig::Form_Load() {
    setWindowTitle(
        texto(Textos::TituloUbicacion, QStringLiteral("Base de datos de configuración")));
    cmdRuta->setText(texto(Textos::BotonExaminar, QStringLiteral("Examinar...")));
    bAceptar->setText(texto(Textos::BotonAceptar, QStringLiteral("Aceptar")));
    cboDBConf->clear();
    const ListaUbicaciones lista = LeeUbicaciones(e_.ajustes.Ruta);
    cboDBConf->addItems(lista.rutas);
    if (!lista.rutas.isEmpty())
        cboDBConf->setEditText(lista.rutas.first());
    if (lista.error)
        e_.avisos.mensaje(objectName() + QStringLiteral(" (Form_Load)\n\n ") +
                              QString::number(lista.error->numero) + QStringLiteral(": ") +
                              lista.error->descripcion,
                          Avisos::Icono::Exclamacion);
}

void ORTConfig::cmdRuta_Click() {
    DLG->setNameFilter(QStringLiteral("mdb (*.mdb)"));
    DLG->setFilter(DLG->filter() & ~QDir::CaseSensitive);
    const QFileInfo actual(cboDBConf->currentText());
    DLG->setDirectory(!cboDBConf->currentText().isEmpty() && actual.absoluteDir().exists()
                          ? actual.absolutePath()
                          : e_.ajustes.Ruta);
    QString elegido;
    if (DLG->exec() == QDialog::Accepted && !DLG->selectedFiles().isEmpty())
        elegido = DLG->selectedFiles().first();
    cboDBConf->setEditText(elegido);
    cboDBConf->setFocus();
}

void ORTConfig::bAceptar_Click() {
    const QString ruta = EligeUbicacion(cboDBConf->currentText(), e_.ajustes.Ruta);
    QStringList anteriores;
    for (int i = 0; i < cboDBConf->count(); ++i)
        anteriores << cboDBConf->itemText(i);
    QString problema;
    if (!PruebaConfiguracion(ruta, e_, &problema) ||
        !EscribeUbicaciones(e_.ajustes.Ruta, ruta, anteriores, &problema)) {
        QString texto = ruta + QStringLiteral("\n\n") +
                        this->texto(Textos::NoEsConfiguracion,
                                    QStringLiteral("No se puede usar esta base de datos "
                                                   "de configuración."));
        if (!problema.isEmpty())
            texto += QStringLiteral("\n\n") + problema;
        e_.avisos.mensaje(texto, Avisos::Icono::Exclamacion);
        return;
    }
    cboDBConf->setEditText(ruta);
    accept();
}

} // namespace ort
