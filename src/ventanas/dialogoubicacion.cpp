#include "ventanas/dialogoubicacion.h"

#include "basedatos/conexion.h"
#include "config/ubicacion.h"
#include "startup/avisos.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ort {

DialogoUbicacion::DialogoUbicacion(Entorno& e, QWidget* parent) : QDialog(parent), e_(e) {
    setObjectName(QStringLiteral("DialogoUbicacion"));
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
    explorador = new QFileDialog(this);
    explorador->setObjectName(QStringLiteral("explorador"));
    explorador->setOption(QFileDialog::DontUseNativeDialog);
    explorador->setAcceptMode(QFileDialog::AcceptOpen);
    explorador->setFileMode(QFileDialog::ExistingFile);

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

    connect(cmdRuta, &QPushButton::clicked, this, &DialogoUbicacion::examina);
    connect(bAceptar, &QPushButton::clicked, this, &DialogoUbicacion::acepta);
    cargaLista();
    setFixedSize(sizeHint());
}

QString DialogoUbicacion::texto(TextoIdioma cual, const QString& siFalta) const {
    const QString t = e_.ajustes.texto(cual);
    return t.isEmpty() ? siFalta : t;
}

void DialogoUbicacion::cargaLista() {
    setWindowTitle(
        texto(Textos::TituloUbicacion, QStringLiteral("Base de datos de configuración")));
    cmdRuta->setText(texto(Textos::BotonExaminar, QStringLiteral("Examinar...")));
    bAceptar->setText(texto(Textos::BotonAceptar, QStringLiteral("Aceptar")));
    cboDBConf->clear();
    const auto lista = leeUbicaciones(e_.ajustes.Ruta);
    const QStringList rutas = lista.valorO({});
    cboDBConf->addItems(rutas);
    if (!rutas.isEmpty())
        cboDBConf->setEditText(rutas.first());
    if (!lista)
        e_.avisos.mensaje(QStringLiteral("ORTConfig (Form_Load)\n\n ") +
                              QString::number(lista.falla().numero) + QStringLiteral(": ") +
                              lista.falla().descripcion,
                          Avisos::Icono::Exclamacion);
}

void DialogoUbicacion::examina() {
    explorador->setNameFilter(QStringLiteral("mdb (*.mdb)"));
    explorador->setFilter(explorador->filter() & ~QDir::CaseSensitive);
    const QFileInfo actual(cboDBConf->currentText());
    explorador->setDirectory(!cboDBConf->currentText().isEmpty() && actual.absoluteDir().exists()
                                 ? actual.absolutePath()
                                 : e_.ajustes.Ruta);
    QString elegido;
    if (explorador->exec() == QDialog::Accepted && !explorador->selectedFiles().isEmpty())
        elegido = explorador->selectedFiles().first();
    cboDBConf->setEditText(elegido);
    cboDBConf->setFocus();
}

void DialogoUbicacion::acepta() {
    const QString ruta = eligeUbicacion(cboDBConf->currentText(), e_.ajustes.Ruta);
    QStringList anteriores;
    for (int i = 0; i < cboDBConf->count(); ++i)
        anteriores << cboDBConf->itemText(i);
    auto r = pruebaConfiguracion(ruta, e_);
    if (r)
        r = escribeUbicaciones(e_.ajustes.Ruta, ruta, anteriores);
    if (!r) {
        const QString& problema = r.falla().descripcion;
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
