#include "ventanas/monitorwindow.h"

#include "monitor/adquisicion.h"
#include "basedatos/conexion.h"
#include "startup/reloj.h"
#include "startup/textos.h"
#include "ventanas/graficopuerto_window.h"

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

QIcon Lampara(bool abierto) {
    QPixmap p(9, 9);
    p.fill(abierto ? QColor(0, 255, 0) : QColor(255, 0, 0));
    QPainter pintor(&p);
    pintor.setPen(Qt::black);
    pintor.drawRect(0, 0, 8, 8);
    return QIcon(p);
}

QFont Monoespaciada() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(8.25);
    return f;
}

} // namespace

int DAM::filasDeCaja(int alturaPx) {
    return std::max(1, LogPuertos::filasPorAltura(alturaPx * 15));
}

DAM::DAM(Adquisicion& a, QWidget* parent) : QWidget(parent), a_(a) {
    setObjectName(QStringLiteral("DAM"));
    setWindowTitle(QStringLiteral("Ruteador Multipuertos -> Metrovax"));
    // The design's window with room under the log boxes for the charts.
    resize(706, 700);

    auto* Frame2 = new QGroupBox(this);
    bArchConf = new QPushButton(Frame2);
    bArchConf->setObjectName(QStringLiteral("bArchConf"));
    auto* capa2 = new QHBoxLayout(Frame2);
    capa2->setContentsMargins(6, 6, 6, 6);
    capa2->addWidget(bArchConf);

    Frame1 = new QGroupBox(QStringLiteral("Puerto 1"), this);
    cmdAbre = new QPushButton(QStringLiteral("Abrir"), Frame1);
    cmdAbre->setObjectName(QStringLiteral("cmdAbre"));
    cmdConf = new QPushButton(QStringLiteral("Configurar"), Frame1);
    cmdConf->setObjectName(QStringLiteral("cmdConf"));
    lblRec = new QLabel(Frame1);
    lblGra = new QLabel(Frame1);
    auto* contadores = new QVBoxLayout;
    contadores->addWidget(lblRec);
    contadores->addWidget(lblGra);
    auto* capa1 = new QHBoxLayout(Frame1);
    capa1->addWidget(cmdAbre);
    capa1->addWidget(cmdConf);
    capa1->addSpacing(24);
    capa1->addLayout(contadores, 1);

    auto* arriba = new QHBoxLayout;
    arriba->addWidget(Frame2);
    arriba->addWidget(Frame1, 1);

    lblHead = new QLabel(this);
    lblHead->setFont(Monoespaciada());
    SSTab1 = new QTabWidget(this);
    SSTab1->setTabPosition(QTabWidget::East);
    SSTab1->setDocumentMode(true);
    // All 16 tabs stand in one column beside the boxes, each with its port's lamp.
    SSTab1->setUsesScrollButtons(false);
    SSTab1->setIconSize(QSize(9, 9));
    QFont fuenteTabs = SSTab1->font();
    fuenteTabs.setPointSizeF(8.25);
    SSTab1->tabBar()->setFont(fuenteTabs);
    SSTab1->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { padding: 1px 2px; margin: 0px; }"));
    for (int p = 1; p <= kPuertos; ++p) {
        auto* caja = new QPlainTextEdit;
        caja->setObjectName(QStringLiteral("Text1_%1").arg(p));
        caja->setReadOnly(true);
        caja->setFont(Monoespaciada());
        caja->setLineWrapMode(QPlainTextEdit::NoWrap);
        caja->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Text1 << caja;
        // The log's rows follow its own height, also when the splitter moves.
        caja->installEventFilter(this);
        auto* grafico = new GraficoPuerto(p);
        Grafico << grafico;
        auto* pagina = new QSplitter(Qt::Vertical);
        pagina->setObjectName(QStringLiteral("pagina_%1").arg(p));
        pagina->addWidget(caja);
        pagina->addWidget(grafico);
        pagina->setStretchFactor(0, 3);
        pagina->setStretchFactor(1, 2);
        pagina->setSizes({330, 250});
        SSTab1->addTab(pagina, Lampara(false), QString::number(p));
    }

    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(4, 4, 4, 4);
    capa->addLayout(arriba);
    capa->addWidget(lblHead);
    capa->addWidget(SSTab1, 1);

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int i) {
        a_.fijaPuertoActual(i + 1);
        actualizaCaptions();
        actualizaContadores();
    });
    connect(cmdAbre, &QPushButton::clicked, this, [this] {
        a_.fijaPuertoActual(SSTab1->currentIndex() + 1);
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
        a_.fijaPuertoActual(SSTab1->currentIndex() + 1);
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
        if (GraficoPuerto* g = Grafico.value(l.puerto - 1))
            g->agrega(l);
    });
    connect(&a_, &Adquisicion::limitesCargados, this,
            [this](int p, int c, int s, const QString& carac, double inf, double sup) {
                if (GraficoPuerto* g = Grafico.value(p - 1))
                    g->fijaLimites(c, s, carac, inf, sup,
                                   a_.entorno().reloj.ahora().toMSecsSinceEpoch());
            });
    connect(&a_, &Adquisicion::contadoresCambiados, this, [this](int p) {
        if (p == SSTab1->currentIndex() + 1)
            actualizaContadores();
    });
    connect(&a_.log(), &LogPuertos::lineaAgregada, this, [this](int p, const QString& linea) {
        QPlainTextEdit* caja = Text1.value(p - 1);
        if (!caja)
            return;
        caja->setMaximumBlockCount(a_.log().filas(p));
        caja->appendPlainText(linea);
    });
    actualizaCaptions();
    actualizaContadores();
    actualizaCaracteristicas();
}

void DAM::actualizaCaracteristicas() {
    for (int p = 1; p <= Grafico.size(); ++p) {
        QList<GraficoPuerto::Caracteristica> filas;
        for (const FilaConf& f : a_.config().confDePuerto(p))
            filas << GraficoPuerto::Caracteristica{f.Canal, f.Secue, f.Carac.trimmed()};
        Grafico[p - 1]->fijaCaracteristicas(filas);
    }
}

void DAM::actualizaCaptions() {
    const int actual = a_.puertoActual();
    a_.fijaPuertoActual(SSTab1->currentIndex() + 1);
    bArchConf->setText(a_.archivoConfig());
    Frame1->setTitle(a_.captionFrame());
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
        a_.fijaPuertoActual(SSTab1->currentIndex() + 1);
}

void DAM::actualizaContadores() {
    const int p = SSTab1->currentIndex() + 1;
    lblRec->setText(a_.registrador().captionRec(p));
    lblGra->setText(a_.registrador().captionGra(p));
}

void DAM::pintaLampara(int p, bool abierto) {
    if (p >= 1 && p <= SSTab1->count())
        SSTab1->setTabIcon(p - 1, Lampara(abierto));
}

void DAM::fijaFilas(int p) {
    // The product's rule on the box's real height: (height in twips - 90) / 210 rows.
    const int filas = filasDeCaja(Text1[p - 1]->height());
    a_.log().fijaFilas(p, filas);
    Text1[p - 1]->setMaximumBlockCount(filas);
}

void DAM::fijaFilas() {
    for (int p = 1; p <= Text1.size(); ++p)
        fijaFilas(p);
}

bool DAM::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::Resize)
        if (const int i = Text1.indexOf(qobject_cast<QPlainTextEdit*>(o)); i >= 0)
            fijaFilas(i + 1);
    return QWidget::eventFilter(o, e);
}

void DAM::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    fijaFilas();
}

void DAM::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    fijaFilas();
}

void DAM::closeEvent(QCloseEvent* e) {
    // The user's close (close box, system menu, Alt+F4) is refused; ORT runs until it is ended
    // from outside.
    if (cierrePermitido_)
        e->accept();
    else
        e->ignore();
}

} // namespace ort
