#include "ventanas/editor/canal.h"

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
void Coloca(QWidget* w, int izquierda, int arriba, int ancho, int alto) {
    auto px = [](int twips) { return (twips + 7) / 15; };
    w->setGeometry(px(izquierda), px(arriba), px(ancho), px(alto));
}

QFont Fuente(bool negrita) {
    QFont f = QApplication::font();
    f.setPointSizeF(8.25);
    f.setBold(negrita);
    return f;
}

// The channel or sequence number of a field: its leading number, rounded half to even.
int Numero(const QLineEdit* campo) {
    return AEntero16(NumeroDe(campo->text()));
}

} // namespace

Canal::Canal(Entorno& e, AlmacenConfig& config, TablasRuntime& t, QWidget* parent)
    : QDialog(parent)
    , e_(e)
    , config_(config)
    , t_(t) {
    construye();
    selectores_ = Selector::tabla_(*this);

    // Opening: channel 1, sequence 1 of the current port. The two assignments navigate as
    // typing would; the load follows in any case.
    const int p = t_.PuertoActual;
    setWindowTitle(QStringLiteral("Configuración de la Conexión ") + QString::number(p));
    txtCanal->setText(QStringLiteral("1"));
    txtSecue->setText(QStringLiteral("1"));
    ActPant(p, 1, 1);
}

Canal::~Canal() = default;

void Canal::construye() {
    setObjectName(QStringLiteral("Canal"));
    setWindowTitle(QStringLiteral("Configuración de Conexión y Canal"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(Fuente(false));
    setFixedSize(7260 / 15, 7770 / 15);

    auto campo = [this](const char* nombre, int l, int t, int w, int h, int largo = 0) {
        auto* c = new QLineEdit(this);
        c->setObjectName(QLatin1String(nombre));
        c->setFont(Fuente(true));
        Coloca(c, l, t, w, h);
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
        Coloca(b, l, t, w, h);
        return b;
    };
    auto etiqueta = [this](const char* nombre, const QString& texto, int l, int t, int w, int h) {
        auto* e = new QLabel(texto, this);
        e->setObjectName(QLatin1String(nombre));
        Coloca(e, l, t, w, h);
        return e;
    };

    txtConex = campo("txtConex", 1230, 75, 4545, 315);
    txtCanal = campo("txtCanal", 1245, 435, 450, 315, 2);
    txtDescr = campo("txtDescr", 1710, 435, 4065, 315, 30);
    txtSecue = campo("txtSecue", 1245, 795, 450, 315, 2);
    txtOpera = campo("txtOpera", 1230, 1260, 4545, 315);
    txtEstac = campo("txtEstac", 1230, 1620, 4545, 315);
    txtMaqui = campo("txtMaqui", 1230, 1980, 4545, 315);
    txtProdu = campo("txtProdu", 1230, 2340, 4545, 315);
    txtForma = campo("txtForma", 1230, 2700, 4545, 315);
    txtCarac = campo("txtCarac", 1230, 3060, 4545, 315);
    txtEAdic[1] = campo("txtEAdic_1", 1230, 3420, 1560, 315, 8);
    txtEAVal[1] = campo("txtEAVal_1", 3720, 3420, 2070, 315, 14);
    txtEAdic[2] = campo("txtEAdic_2", 1230, 3780, 1560, 315, 8);
    txtEAVal[2] = campo("txtEAVal_2", 3720, 3780, 2070, 315, 14);
    cmdAceptar = boton("cmdAceptar", QStringLiteral("&Grabar"), 5985, 105, 1110, 435);
    bEliminar = boton("bEliminar", QStringLiteral("&Eliminar"), 5985, 615, 1110, 435);
    cmdCancelar = boton("cmdCancelar", QStringLiteral("&Cancelar"), 5985, 1245, 1110, 435);
    lblPuert = etiqueta("lblPuert", QStringLiteral("Conexión:"), 120, 135, 1110, 195);
    const struct {
        int indice;
        const char* texto;
        int l, t, w;
    } etiquetas[] = {
        {7, "Canal:", 120, 480, 1110},           {5, "Secuencia:", 120, 840, 1110},
        {0, "Operador:", 120, 1320, 1110},       {6, "Estación:", 120, 1665, 1110},
        {2, "Máquina:", 120, 2025, 1110},        {3, "Producto:", 120, 2385, 1110},
        {1, "Formato:", 120, 2745, 1110},        {4, "Característica:", 120, 3120, 1110},
        {8, "Car. Adicional:", 120, 3480, 1110}, {9, "Valor:", 3120, 3480, 510},
    };
    for (const auto& d : etiquetas)
        Label1[d.indice] =
            etiqueta(QStringLiteral("Label1_%1").arg(d.indice).toLatin1().constData(),
                     QString::fromUtf8(d.texto), d.l, d.t, d.w, 195);
    // The captions were laid out for a narrow font: when the default sans font is
    // wider, the captions get the largest size at which every one of them fits its place.
    QFont fuenteEtiquetas = Fuente(false);
    auto caben = [&] {
        const QFontMetrics m(fuenteEtiquetas);
        for (const QLabel* e : std::as_const(Label1))
            if (m.horizontalAdvance(e->text()) > e->width())
                return false;
        return m.horizontalAdvance(lblPuert->text()) <= lblPuert->width();
    };
    while (!caben() && fuenteEtiquetas.pointSizeF() > 6.5)
        fuenteEtiquetas.setPointSizeF(fuenteEtiquetas.pointSizeF() - 0.25);
    for (QLabel* e : std::as_const(Label1))
        e->setFont(fuenteEtiquetas);
    lblPuert->setFont(fuenteEtiquetas);
    lblD1 = etiqueta("lblD1", QString(), 165, 4395, 3135, 195);
    Label2 = etiqueta("Label2", QStringLiteral("/ "), 1830, 840, 555, 270);
    Label2->setFont(Fuente(true));

    modelo_ = new QStandardItemModel(this);
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setModel(modelo_);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->verticalHeader()->setDefaultSectionSize(16);
    DBGrid1->verticalHeader()->setFixedWidth(14);
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    Coloca(DBGrid1, 120, 4740, 6990, 2895);
    lblFalla = new QLabel(DBGrid1->viewport());
    lblFalla->setObjectName(QStringLiteral("lblFalla"));
    lblFalla->setWordWrap(true);
    lblFalla->setStyleSheet(QStringLiteral("color: #b00000;"));
    lblFalla->setGeometry(6, 4, DBGrid1->width() - 24, 48);
    lblFalla->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblFalla->hide();

    ordenTab_ = {txtConex,    txtCanal,    txtDescr,   txtSecue,  txtOpera,    txtEstac,
                 txtMaqui,    txtProdu,    txtForma,   txtCarac,  txtEAdic[1], txtEAVal[1],
                 txtEAdic[2], txtEAVal[2], cmdAceptar, bEliminar, cmdCancelar, lblPuert,
                 Label1[7],   Label1[5],   Label1[0],  Label1[6], Label1[2],   Label1[3],
                 Label1[1],   Label1[4],   Label1[8],  Label1[9], lblD1,       Label2,
                 DBGrid1};
    fijaLugarTab(DBGrid1, 30);

    for (QLineEdit* c : {txtConex, txtCanal, txtOpera, txtEstac, txtMaqui, txtProdu, txtForma,
                         txtCarac, txtEAdic[1], txtEAdic[2]})
        c->installEventFilter(this);
    connect(txtCanal, &QLineEdit::textChanged, this, &Canal::navega);
    connect(txtSecue, &QLineEdit::textChanged, this, &Canal::navega);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& actual, const QModelIndex&) { filaCambiada(actual); });
    connect(DBGrid1, &QTableView::clicked, this, &Canal::clicEnLista);
    connect(cmdAceptar, &QPushButton::clicked, this, &Canal::cmdAceptar_Click);
    connect(bEliminar, &QPushButton::clicked, this, &Canal::bEliminar_Click);
    connect(cmdCancelar, &QPushButton::clicked, this, &Canal::cmdCancelar_Click);
}

void Canal::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    // Centred on the screen, not on the monitor.
    if (const QScreen* pantalla = screen())
        move(pantalla->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    if (!focusWidget())
        txtConex->setFocus(Qt::TabFocusReason);
}

void Canal::fijaLugarTab(QWidget* w, int lugar) {
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

void Canal::ponTexto(QLineEdit* campo, const QString& texto) {
    // The limit holds for typing only: a longer stored or picked value is shown and kept whole.
    if (const auto it = largos_.constFind(campo); it != largos_.constEnd())
        campo->setMaxLength(std::max<int>(*it, static_cast<int>(texto.size())));
    campo->setText(texto);
}

void Canal::ActPant(int p, int c, int s) {
    if (!TablasRuntime::puertoValido(p))
        return;
    const FilaPuerto* puerto = config_.buscaPuerto(p);
    ponTexto(txtConex, puerto ? puerto->Conex : QString());
    const FilaCanal* canal = config_.buscaCanal(p, c);
    ponTexto(txtDescr, canal ? canal->Descr : QString());
    Label2->setText(QStringLiteral("/ ") +
                    QString::number(TablasRuntime::canalValido(c) ? t_.canal(p, c).SecTotal : 0));
    const FilaConf* conf = config_.buscaConf(p, c, s);
    const FilaConf vacia;
    const FilaConf& f = conf ? *conf : vacia;
    ponTexto(txtOpera, f.Opera);
    ponTexto(txtEstac, f.Estac);
    ponTexto(txtMaqui, f.Maqui);
    ponTexto(txtProdu, f.Produ);
    ponTexto(txtForma, f.Forma);
    ponTexto(txtCarac, f.Carac);
    ponTexto(txtEAdic[1], f.EAdic1);
    ponTexto(txtEAVal[1], f.EAVal1);
    ponTexto(txtEAdic[2], f.EAdic2);
    ponTexto(txtEAVal[2], f.EAVal2);
}

void Canal::navega() {
    const double c = NumeroDe(txtCanal->text());
    const double s = NumeroDe(txtSecue->text());
    if (c > 0 && s > 0)
        ActPant(t_.PuertoActual, AEntero16(c), AEntero16(s));
}

void Canal::cmdAceptar_Click() {
    const int p = t_.PuertoActual;
    const int c = Numero(txtCanal);
    const int s = Numero(txtSecue);
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
    ed.Conex = txtConex->text();
    ed.Descr = txtDescr->text();
    ed.Opera = txtOpera->text();
    ed.Estac = txtEstac->text();
    ed.Maqui = txtMaqui->text();
    ed.Produ = txtProdu->text();
    ed.Forma = txtForma->text();
    ed.Carac = txtCarac->text();
    ed.EAdic1 = txtEAdic[1]->text();
    ed.EAVal1 = txtEAVal[1]->text();
    ed.EAdic2 = txtEAdic[2]->text();
    ed.EAVal2 = txtEAVal[2]->text();
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

void Canal::bEliminar_Click() {
    const int p = t_.PuertoActual;
    const int c = Numero(txtCanal);
    const int s = Numero(txtSecue);
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
