#include "ventanas/ventanamonitor.h"

#include "basedatos/conexion.h"
#include "monitor/adquisicion.h"
#include "startup/reloj.h"
#include "startup/textos.h"
#include "ventanas/panelgrafico.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ort {

namespace {

QIcon lampara(bool abierto) {
    QPixmap p(9, 9);
    p.fill(abierto ? QColor(0, 255, 0) : QColor(255, 0, 0));
    QPainter pintor(&p);
    pintor.setPen(Qt::black);
    pintor.drawRect(0, 0, 8, 8);
    return QIcon(p);
}

QFont monoespaciada() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(8.25);
    return f;
}

} // namespace

int VentanaMonitor::filasDeCaja(int alturaPx) {
    return std::max(1, LogPuertos::filasPorAltura(alturaPx * 15));
}

VentanaMonitor::VentanaMonitor(Adquisicion& a, QWidget* parent) : QWidget(parent), a_(a) {
    setObjectName(QStringLiteral("VentanaMonitor"));
    setWindowTitle(QStringLiteral("Ruteador Multipuertos -> Metrovax"));
    // The design's window with room under the log boxes for the charts.
    resize(706, 700);

    auto* marcoArchivo = new QGroupBox(this);
    bArchConf = new QPushButton(marcoArchivo);
    bArchConf->setObjectName(QStringLiteral("bArchConf"));
    auto* capaArchivo = new QHBoxLayout(marcoArchivo);
    capaArchivo->setContentsMargins(6, 6, 6, 6);
    capaArchivo->addWidget(bArchConf);

    marcoPuerto = new QGroupBox(QStringLiteral("Puerto 1"), this);
    cmdAbre = new QPushButton(QStringLiteral("Abrir"), marcoPuerto);
    cmdAbre->setObjectName(QStringLiteral("cmdAbre"));
    cmdConf = new QPushButton(QStringLiteral("Configurar"), marcoPuerto);
    cmdConf->setObjectName(QStringLiteral("cmdConf"));
    lblRec = new QLabel(marcoPuerto);
    lblGra = new QLabel(marcoPuerto);
    auto* contadores = new QVBoxLayout;
    contadores->addWidget(lblRec);
    contadores->addWidget(lblGra);
    auto* capaPuerto = new QHBoxLayout(marcoPuerto);
    capaPuerto->addWidget(cmdAbre);
    capaPuerto->addWidget(cmdConf);
    capaPuerto->addSpacing(24);
    capaPuerto->addLayout(contadores, 1);

    auto* arriba = new QHBoxLayout;
    arriba->addWidget(marcoArchivo);
    arriba->addWidget(marcoPuerto, 1);

    lblHead = new QLabel(this);
    lblHead->setFont(monoespaciada());
    pestanas = new QTabWidget(this);
    pestanas->setTabPosition(QTabWidget::East);
    pestanas->setDocumentMode(true);
    // All 16 tabs stand in one column beside the boxes, each with its port's lamp.
    pestanas->setUsesScrollButtons(false);
    pestanas->setIconSize(QSize(9, 9));
    QFont fuenteTabs = pestanas->font();
    fuenteTabs.setPointSizeF(8.25);
    pestanas->tabBar()->setFont(fuenteTabs);
    pestanas->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { padding: 1px 2px; margin: 0px; }"));
    for (int p = 1; p <= kPuertos; ++p) {
        auto* caja = new QPlainTextEdit;
        caja->setObjectName(QStringLiteral("registro_%1").arg(p));
        caja->setReadOnly(true);
        caja->setFont(monoespaciada());
        caja->setLineWrapMode(QPlainTextEdit::NoWrap);
        caja->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        registros << caja;
        // The log's rows follow its own height, also when the splitter moves.
        caja->installEventFilter(this);
        auto* grafico = new PanelGrafico(p);
        graficos << grafico;
        auto* pagina = new QSplitter(Qt::Vertical);
        pagina->setObjectName(QStringLiteral("pagina_%1").arg(p));
        pagina->addWidget(caja);
        pagina->addWidget(grafico);
        pagina->setStretchFactor(0, 3);
        pagina->setStretchFactor(1, 2);
        pagina->setSizes({330, 250});
        pestanas->addTab(pagina, lampara(false), QString::number(p));
    }

    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(4, 4, 4, 4);
    capa->addLayout(arriba);
    capa->addWidget(lblHead);
    capa->addWidget(pestanas, 1);

    connect(pestanas, &QTabWidget::currentChanged, this, [this](int i) {
        a_.fijaPuertoActual(i + 1);
        actualizaCaptions();
        actualizaContadores();
    });
    connect(cmdAbre, &QPushButton::clicked, this, [this] {
        a_.fijaPuertoActual(pestanas->currentIndex() + 1);
        a_.cmdAbre();
    });
    connect(cmdConf, &QPushButton::clicked, this, [this] {
        if (a_.ocupada())
            return; // a port's wait is under way
        if (abreEditor)
            abreEditor();
        a_.IniSecue();
        actualizaCaracteristicas();
    });
    connect(bArchConf, &QPushButton::clicked, this, [this] {
        if (a_.ocupada())
            return;
        if (abreUbicacion)
            abreUbicacion();
        a_.Reinicia();
        a_.fijaPuertoActual(pestanas->currentIndex() + 1);
        actualizaCaptions();
    });
    connect(&a_, &Adquisicion::estadoPuerto, this, [this](int p, bool abierto) {
        pintaLampara(p, abierto);
        actualizaCaptions();
    });
    connect(&a_, &Adquisicion::captionsCambiadas, this, [this] {
        actualizaCaptions();
        actualizaCaracteristicas();
    });
    connect(&a_, &Adquisicion::lecturaProbada, this, [this](const LecturaProbada& l) {
        if (PanelGrafico* g = graficos.value(l.puerto - 1))
            g->agrega(l);
    });
    connect(&a_, &Adquisicion::limitesCargados, this,
            [this](int p, int c, int s, const QString& carac, double inf, double sup) {
                if (PanelGrafico* g = graficos.value(p - 1))
                    g->fijaLimites(c, s, carac, inf, sup,
                                   a_.entorno().reloj.ahora().toMSecsSinceEpoch());
            });
    connect(&a_, &Adquisicion::contadoresCambiados, this, [this](int p) {
        if (p == pestanas->currentIndex() + 1)
            actualizaContadores();
    });
    connect(&a_.log(), &LogPuertos::lineaAgregada, this, [this](int p, const QString& linea) {
        QPlainTextEdit* caja = registros.value(p - 1);
        if (!caja)
            return;
        caja->setMaximumBlockCount(a_.log().filas(p));
        caja->appendPlainText(linea);
    });
    actualizaCaptions();
    actualizaContadores();
    actualizaCaracteristicas();
}

void VentanaMonitor::actualizaCaracteristicas() {
    for (int p = 1; p <= graficos.size(); ++p) {
        QList<PanelGrafico::Caracteristica> filas;
        for (const FilaConf& f : a_.config().confDePuerto(p))
            filas << PanelGrafico::Caracteristica{f.Canal, f.Secue, f.Carac.trimmed()};
        graficos[p - 1]->fijaCaracteristicas(filas);
    }
}

void VentanaMonitor::actualizaCaptions() {
    const int actual = a_.puertoActual();
    a_.fijaPuertoActual(pestanas->currentIndex() + 1);
    bArchConf->setText(a_.archivoConfig());
    marcoPuerto->setTitle(a_.captionFrame());
    cmdAbre->setText(a_.captionAbre());
    const QString configurar = a_.entorno().ajustes.texto(Textos::BotonConfigurar);
    cmdConf->setText(configurar.isEmpty() ? QStringLiteral("Configurar") : configurar);
    const QString cabecera = a_.entorno().ajustes.texto(Textos::CabeceraLog);
    lblHead->setText(cabecera.isEmpty() ? QStringLiteral(" ca/se aaaa/mm/dd hh:mm:ss  Operador "
                                                         "Formato  Máquina  Proceso         "
                                                         "Caracter   Valor")
                                        : cabecera);
    // Opening ports at a restart moves the current port; the tab shown stays the user's.
    if (actual != a_.puertoActual() && a_.tablas().puertoValido(actual))
        a_.fijaPuertoActual(pestanas->currentIndex() + 1);
}

void VentanaMonitor::actualizaContadores() {
    const int p = pestanas->currentIndex() + 1;
    lblRec->setText(a_.registrador().captionRec(p));
    lblGra->setText(a_.registrador().captionGra(p));
}

void VentanaMonitor::pintaLampara(int p, bool abierto) {
    if (p >= 1 && p <= pestanas->count())
        pestanas->setTabIcon(p - 1, lampara(abierto));
}

void VentanaMonitor::fijaFilas(int p) {
    // The product's rule on the box's real height: (height in twips - 90) / 210 rows.
    const int filas = filasDeCaja(registros[p - 1]->height());
    a_.log().fijaFilas(p, filas);
    registros[p - 1]->setMaximumBlockCount(filas);
}

void VentanaMonitor::fijaFilas() {
    for (int p = 1; p <= registros.size(); ++p)
        fijaFilas(p);
}

bool VentanaMonitor::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::Resize)
        if (const int i = registros.indexOf(qobject_cast<QPlainTextEdit*>(o)); i >= 0)
            fijaFilas(i + 1);
    return QWidget::eventFilter(o, e);
}

void VentanaMonitor::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    fijaFilas();
}

void VentanaMonitor::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    fijaFilas();
}

void VentanaMonitor::closeEvent(QCloseEvent* e) {
    // The user's close (close box, system menu, Alt+F4) is refused; ORT runs until it is ended
    // from outside.
    e->ignore();
}

} // namespace ort
