#include "ventanas/editor/editorcanales.h"

#include "config/almacen.h"
#include "config/tablas.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"
#include "ventanas/editor/selector.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>

namespace ort {

namespace {

// Places on the form are in twips, 15 to a pixel.
void coloca(QWidget* w, int izquierda, int arriba, int ancho, int alto) {
    auto px = [](int twips) { return (twips + 7) / 15; };
    w->setGeometry(px(izquierda), px(arriba), px(ancho), px(alto));
}

QFont fuente(bool negrita) {
    QFont f = QApplication::font();
    f.setPointSizeF(8.25);
    f.setBold(negrita);
    return f;
}

// The channel or sequence number of a field: its leading number, rounded half to even.
int numero(const QLineEdit* campo) {
    return aEntero16(numeroDe(campo->text()));
}

} // namespace

EditorCanales::EditorCanales(Entorno& e, AlmacenConfig& config, TablasRuntime& t, QWidget* parent)
    : QDialog(parent)
    , e_(e)
    , config_(config)
    , t_(t) {
    construye();
    selectores_ = Selector::todos(*this);

    // Opening: channel 1, sequence 1 of the current port. The two assignments navigate as
    // typing would; the load follows in any case.
    const int p = t_.PuertoActual;
    setWindowTitle(QStringLiteral("Configuración de la Conexión ") + QString::number(p));
    campoCanal->setText(QStringLiteral("1"));
    campoSecue->setText(QStringLiteral("1"));
    muestra(p, 1, 1);
}

EditorCanales::~EditorCanales() = default;

void EditorCanales::construye() {
    setObjectName(QStringLiteral("EditorCanales"));
    setWindowTitle(QStringLiteral("Configuración de Conexión y Canal"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(fuente(false));
    setFixedSize(7260 / 15, 7770 / 15);

    auto campo = [this](const char* nombre, int l, int t, int w, int h, int largo = 0) {
        auto* c = new QLineEdit(this);
        c->setObjectName(QLatin1String(nombre));
        c->setFont(fuente(true));
        coloca(c, l, t, w, h);
        if (largo > 0) {
            largos_[c] = largo;
            c->setMaxLength(largo);
        }
        return c;
    };
    auto boton = [this](const char* nombre, const QString& texto, int l, int t, int w, int h) {
        auto* b = new QPushButton(texto, this);
        b->setObjectName(QLatin1String(nombre));
        b->setAutoDefault(false);
        coloca(b, l, t, w, h);
        return b;
    };
    auto etiqueta = [this](const char* nombre, const QString& texto, int l, int t, int w, int h) {
        auto* e = new QLabel(texto, this);
        e->setObjectName(QLatin1String(nombre));
        coloca(e, l, t, w, h);
        return e;
    };

    campoConex = campo("campoConex", 1230, 75, 4545, 315);
    campoCanal = campo("campoCanal", 1245, 435, 450, 315, 2);
    campoDescr = campo("campoDescr", 1710, 435, 4065, 315, 30);
    campoSecue = campo("campoSecue", 1245, 795, 450, 315, 2);
    campoOpera = campo("campoOpera", 1230, 1260, 4545, 315);
    campoEstac = campo("campoEstac", 1230, 1620, 4545, 315);
    campoMaqui = campo("campoMaqui", 1230, 1980, 4545, 315);
    campoProdu = campo("campoProdu", 1230, 2340, 4545, 315);
    campoForma = campo("campoForma", 1230, 2700, 4545, 315);
    campoCarac = campo("campoCarac", 1230, 3060, 4545, 315);
    camposEAdic[1] = campo("txtEAdic_1", 1230, 3420, 1560, 315, 8);
    camposEAVal[1] = campo("txtEAVal_1", 3720, 3420, 2070, 315, 14);
    camposEAdic[2] = campo("txtEAdic_2", 1230, 3780, 1560, 315, 8);
    camposEAVal[2] = campo("txtEAVal_2", 3720, 3780, 2070, 315, 14);
    cmdAceptar = boton("cmdAceptar", QStringLiteral("&Grabar"), 5985, 105, 1110, 435);
    bEliminar = boton("bEliminar", QStringLiteral("&Eliminar"), 5985, 615, 1110, 435);
    cmdCancelar = boton("cmdCancelar", QStringLiteral("&Cancelar"), 5985, 1245, 1110, 435);
    lblPuert = etiqueta("lblPuert", QStringLiteral("Conexión:"), 120, 135, 1110, 195);
    const struct {
        int indice;
        const char* texto;
        int l, t, w;
    } rotulos[] = {
        {7, "Canal:", 120, 480, 1110},           {5, "Secuencia:", 120, 840, 1110},
        {0, "Operador:", 120, 1320, 1110},       {6, "Estación:", 120, 1665, 1110},
        {2, "Máquina:", 120, 2025, 1110},        {3, "Producto:", 120, 2385, 1110},
        {1, "Formato:", 120, 2745, 1110},        {4, "Característica:", 120, 3120, 1110},
        {8, "Car. Adicional:", 120, 3480, 1110}, {9, "Valor:", 3120, 3480, 510},
    };
    for (const auto& d : rotulos)
        etiquetas[d.indice] =
            etiqueta(QStringLiteral("etiqueta_%1").arg(d.indice).toLatin1().constData(),
                     QString::fromUtf8(d.texto), d.l, d.t, d.w, 195);
    // The captions were laid out for a narrow font: when the default sans font is
    // wider, the captions get the largest size at which every one of them fits its place.
    QFont fuenteEtiquetas = fuente(false);
    auto caben = [&] {
        const QFontMetrics m(fuenteEtiquetas);
        for (const QLabel* e : std::as_const(etiquetas))
            if (m.horizontalAdvance(e->text()) > e->width())
                return false;
        return m.horizontalAdvance(lblPuert->text()) <= lblPuert->width();
    };
    while (!caben() && fuenteEtiquetas.pointSizeF() > 6.5)
        fuenteEtiquetas.setPointSizeF(fuenteEtiquetas.pointSizeF() - 0.25);
    for (QLabel* e : std::as_const(etiquetas))
        e->setFont(fuenteEtiquetas);
    lblPuert->setFont(fuenteEtiquetas);
    tituloSelector = etiqueta("tituloSelector", QString(), 165, 4395, 3135, 195);
    totalSecuencias = etiqueta("totalSecuencias", QStringLiteral("/ "), 1830, 840, 555, 270);
    totalSecuencias->setFont(fuente(true));

    modelo_ = new QStandardItemModel(this);
    lista = new QTableView(this);
    lista->setObjectName(QStringLiteral("lista"));
    lista->setModel(modelo_);
    lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lista->setSelectionBehavior(QAbstractItemView::SelectRows);
    lista->setSelectionMode(QAbstractItemView::SingleSelection);
    lista->verticalHeader()->setDefaultSectionSize(16);
    lista->verticalHeader()->setFixedWidth(14);
    lista->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lista->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    coloca(lista, 120, 4740, 6990, 2895);
    lblFalla = new QLabel(lista->viewport());
    lblFalla->setObjectName(QStringLiteral("lblFalla"));
    lblFalla->setWordWrap(true);
    lblFalla->setStyleSheet(QStringLiteral("color: #b00000;"));
    lblFalla->setGeometry(6, 4, lista->width() - 24, 48);
    lblFalla->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblFalla->hide();

    ordenTab_ = {campoConex,     campoCanal,     campoDescr,     campoSecue,     campoOpera,
                 campoEstac,     campoMaqui,     campoProdu,     campoForma,     campoCarac,
                 camposEAdic[1], camposEAVal[1], camposEAdic[2], camposEAVal[2], cmdAceptar,
                 bEliminar,      cmdCancelar,    lblPuert,       etiquetas[7],   etiquetas[5],
                 etiquetas[0],   etiquetas[6],   etiquetas[2],   etiquetas[3],   etiquetas[1],
                 etiquetas[4],   etiquetas[8],   etiquetas[9],   tituloSelector, totalSecuencias,
                 lista};
    fijaLugarTab(lista, 30);

    for (QLineEdit* c : {campoConex, campoCanal, campoOpera, campoEstac, campoMaqui, campoProdu,
                         campoForma, campoCarac, camposEAdic[1], camposEAdic[2]})
        c->installEventFilter(this);
    connect(campoCanal, &QLineEdit::textChanged, this, &EditorCanales::navega);
    connect(campoSecue, &QLineEdit::textChanged, this, &EditorCanales::navega);
    connect(lista->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& actual, const QModelIndex&) { filaCambiada(actual); });
    connect(lista, &QTableView::clicked, this, &EditorCanales::clicEnLista);
    connect(cmdAceptar, &QPushButton::clicked, this, &EditorCanales::graba);
    connect(bEliminar, &QPushButton::clicked, this, &EditorCanales::elimina);
    connect(cmdCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void EditorCanales::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    // Centred on the screen, not on the monitor.
    if (const QScreen* pantalla = screen())
        move(pantalla->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    if (!focusWidget())
        campoConex->setFocus(Qt::TabFocusReason);
}

void EditorCanales::fijaLugarTab(QWidget* w, int lugar) {
    ordenTab_.removeAll(w);
    ordenTab_.insert(std::clamp<qsizetype>(lugar, 0, ordenTab_.size()), w);
    QWidget* anterior = nullptr;
    for (QWidget* x : std::as_const(ordenTab_)) {
        if (x->focusPolicy() == Qt::NoFocus)
            continue;
        if (anterior)
            QWidget::setTabOrder(anterior, x);
        anterior = x;
    }
}

void EditorCanales::ponTexto(QLineEdit* campo, const QString& texto) {
    // The limit holds for typing only: a longer stored or picked value is shown and kept whole.
    if (const auto it = largos_.constFind(campo); it != largos_.constEnd())
        campo->setMaxLength(std::max<int>(*it, static_cast<int>(texto.size())));
    campo->setText(texto);
}

void EditorCanales::muestra(int p, int c, int s) {
    if (!TablasRuntime::puertoValido(p))
        return;
    const FilaPuerto* puerto = config_.buscaPuerto(p);
    ponTexto(campoConex, puerto ? puerto->Conex : QString());
    const FilaCanal* canal = config_.buscaCanal(p, c);
    ponTexto(campoDescr, canal ? canal->Descr : QString());
    totalSecuencias->setText(QStringLiteral("/ ") + QString::number(TablasRuntime::canalValido(c)
                                                                        ? t_.canal(p, c).SecTotal
                                                                        : 0));
    const FilaConf* conf = config_.buscaConf(p, c, s);
    const FilaConf vacia;
    const FilaConf& f = conf ? *conf : vacia;
    ponTexto(campoOpera, f.Opera);
    ponTexto(campoEstac, f.Estac);
    ponTexto(campoMaqui, f.Maqui);
    ponTexto(campoProdu, f.Produ);
    ponTexto(campoForma, f.Forma);
    ponTexto(campoCarac, f.Carac);
    ponTexto(camposEAdic[1], f.EAdic1);
    ponTexto(camposEAVal[1], f.EAVal1);
    ponTexto(camposEAdic[2], f.EAdic2);
    ponTexto(camposEAVal[2], f.EAVal2);
}

void EditorCanales::navega() {
    const double c = numeroDe(campoCanal->text());
    const double s = numeroDe(campoSecue->text());
    if (c > 0 && s > 0)
        muestra(t_.PuertoActual, aEntero16(c), aEntero16(s));
}

void EditorCanales::graba() {
    const int p = t_.PuertoActual;
    const int c = numero(campoCanal);
    const int s = numero(campoSecue);
    // Rows numbered 0 would be stored under no channel or sequence that a reading can reach.
    if (!TablasRuntime::puertoValido(p) || c < 1 || c > kCanales || s < 1 || s > 99) {
        e_.avisos.mensaje(QStringLiteral("Canal. CmdAceptar.\n\nEl canal y la secuencia deben ser "
                                         "números del 1 al 99; no se grabó nada."),
                          Avisos::Icono::Exclamacion);
        return;
    }
    EdicionSecuencia ed;
    ed.Puert = p;
    ed.Canal = c;
    ed.Secue = s;
    ed.Conex = campoConex->text();
    ed.Descr = campoDescr->text();
    ed.Opera = campoOpera->text();
    ed.Estac = campoEstac->text();
    ed.Maqui = campoMaqui->text();
    ed.Produ = campoProdu->text();
    ed.Forma = campoForma->text();
    ed.Carac = campoCarac->text();
    ed.EAdic1 = camposEAdic[1]->text();
    ed.EAVal1 = camposEAVal[1]->text();
    ed.EAdic2 = camposEAdic[2]->text();
    ed.EAVal2 = camposEAVal[2]->text();
    // The ports' workers read these rows and tables: they wait while the editor changes them.
    QWriteLocker cerrojo(&t_.cerrojo);
    if (const auto r = config_.grabaSecuencia(ed); !r) {
        const Falla& falla = r.falla();
        cerrojo.unlock();
        e_.avisos.mensaje(QStringLiteral("Canal. CmdAceptar.\n\n") + falla.fuente + u'\n' +
                              QString::number(falla.numero) + QStringLiteral(".- ") +
                              falla.descripcion,
                          Avisos::Icono::Exclamacion);
        return;
    }
    // The port's new key is in effect at once. The connection type stays while the port is
    // open: closing it and reading from it go by that type.
    PuertoInfo& info = t_.puerto(p);
    const FilaPuerto* fila = config_.buscaPuerto(p);
    info.Conex = FijaAncho(fila ? fila->Conex : QString(), 5);
    if (!info.Activo)
        info.TipoCon.clear();
    accept();
}

void EditorCanales::elimina() {
    const int p = t_.PuertoActual;
    const int c = numero(campoCanal);
    const int s = numero(campoSecue);
    if (!e_.avisos.pregunta(QStringLiteral("¿Está seguro que desea eliminar la secuencia ") +
                            QString::number(s) + QStringLiteral(" del canal ") +
                            QString::number(c) + u'?'))
        return;
    QWriteLocker cerrojo(&t_.cerrojo);
    const auto borrado = config_.borraSecuencia(p, c, s);
    cerrojo.unlock();
    if (!borrado) {
        const Falla& falla = borrado.falla();
        e_.avisos.mensaje(QStringLiteral("Canal. bEliminar.\n\n") + QString::number(falla.numero) +
                              QStringLiteral(".- ") + falla.descripcion,
                          Avisos::Icono::Exclamacion);
    } else if (*borrado == Borrado::Borrada) {
        accept();
    }
}

} // namespace ort
