#include "ventanas/panelgrafico.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>

namespace ort {

namespace {

int codigo(SeriesPuerto::Clave k) {
    return k.first * 100 + k.second;
}

SeriesPuerto::Clave claveDe(int codigo) {
    return {codigo / 100, codigo % 100};
}

QString texto(SeriesPuerto::Clave k, const QString& carac) {
    return QStringLiteral("%1/%2  %3")
        .arg(k.first, 2, 10, QLatin1Char('0'))
        .arg(k.second, 2, 10, QLatin1Char('0'))
        .arg(carac);
}

const QColor kColorValor(29, 53, 87);
const QColor kColorRechazada(220, 30, 30);
const QColor kColorLimite(230, 120, 0);

} // namespace

PanelGrafico::PanelGrafico(int puerto, QWidget* parent) : QWidget(parent), puerto_(puerto) {
    setObjectName(QStringLiteral("Grafico_%1").arg(puerto));
    cboCarac = new QComboBox(this);
    cboCarac->setObjectName(QStringLiteral("cboCarac_%1").arg(puerto));
    cboCarac->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* etiqueta = new QLabel(QStringLiteral("Característica (ca/se):"), this);
    auto* fila = new QHBoxLayout;
    fila->setContentsMargins(0, 0, 0, 0);
    fila->addWidget(etiqueta);
    fila->addWidget(cboCarac);
    fila->addStretch(1);
    auto* capa = new QVBoxLayout(this);
    capa->setContentsMargins(0, 2, 0, 0);
    capa->setSpacing(2);
    capa->addLayout(fila);
    capa->addStretch(1); // the chart takes its place when first shown

    temporizador_.setSingleShot(true);
    temporizador_.setInterval(kRefrescoMs);
    connect(&temporizador_, &QTimer::timeout, this, [this] {
        if (sucio_ && isVisible())
            refresca();
    });
    connect(cboCarac, &QComboBox::currentIndexChanged, this, [this] {
        sucio_ = true;
        if (isVisible())
            refresca();
    });
}

SeriesPuerto::Clave PanelGrafico::claveActual() const {
    return cboCarac->currentIndex() < 0 ? SeriesPuerto::Clave{0, 0}
                                        : claveDe(cboCarac->currentData().toInt());
}

void PanelGrafico::agregaOpcion(SeriesPuerto::Clave k, const QString& carac) {
    const int n = codigo(k);
    int i = 0;
    while (i < cboCarac->count() && cboCarac->itemData(i).toInt() < n)
        ++i;
    if (i < cboCarac->count() && cboCarac->itemData(i).toInt() == n) {
        if (!carac.isEmpty())
            cboCarac->setItemText(i, texto(k, carac));
        return;
    }
    cboCarac->insertItem(i, texto(k, carac), n);
}

void PanelGrafico::marcaCambio(SeriesPuerto::Clave k, bool nueva, const QString& carac) {
    if (nueva)
        agregaOpcion(k, carac);
    if (k != claveActual())
        return;
    sucio_ = true;
    if (isVisible() && !temporizador_.isActive())
        temporizador_.start();
}

void PanelGrafico::agrega(const LecturaProbada& l) {
    marcaCambio({l.canal, l.secuencia}, series_.agrega(l), l.carac);
}

void PanelGrafico::fijaLimites(int canal, int secuencia, const QString& carac, double inf,
                               double sup, qint64 ms) {
    marcaCambio({canal, secuencia}, series_.fijaLimites(canal, secuencia, carac, inf, sup, ms),
                carac);
}

void PanelGrafico::fijaCaracteristicas(const QList<Caracteristica>& filas) {
    const QSignalBlocker bloqueo(cboCarac);
    const SeriesPuerto::Clave antes = claveActual();
    cboCarac->clear();
    for (const SeriesPuerto::Clave& k : series_.claves())
        agregaOpcion(k, series_.serie(k)->carac);
    for (const Caracteristica& f : filas)
        agregaOpcion({f.canal, f.secuencia}, f.carac);
    const int i = cboCarac->findData(codigo(antes));
    cboCarac->setCurrentIndex(i >= 0 ? i : (cboCarac->count() > 0 ? 0 : -1));
    if (claveActual() != antes) {
        sucio_ = true;
        if (isVisible())
            refresca();
    }
}

void PanelGrafico::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!vista)
        construye();
    if (sucio_)
        refresca();
}

void PanelGrafico::construye() {
    grafico_ = new QChart;
    // Every pixel of height goes to the plot: thin margins, the legend at the side.
    grafico_->setMargins(QMargins(2, 2, 2, 2));
    grafico_->layout()->setContentsMargins(0, 0, 0, 0);
    grafico_->setBackgroundRoundness(0);
    grafico_->legend()->setAlignment(Qt::AlignRight);
    QFont pequena = font();
    pequena.setPointSizeF(8);
    grafico_->legend()->setFont(pequena);

    ejeX_ = new QDateTimeAxis;
    ejeX_->setFormat(QStringLiteral("HH:mm:ss"));
    ejeX_->setTickCount(5);
    ejeX_->setLabelsFont(pequena);
    ejeY_ = new QValueAxis;
    ejeY_->setLabelsFont(pequena);
    ejeY_->setLabelFormat(QStringLiteral("%.4g"));
    grafico_->addAxis(ejeX_, Qt::AlignBottom);
    grafico_->addAxis(ejeY_, Qt::AlignLeft);

    serieValores = new QLineSeries;
    serieValores->setName(QStringLiteral("Lecturas"));
    serieValores->setPen(QPen(kColorValor, 1.5));
    serieValores->setPointsVisible(true);
    serieRechazadas = new QScatterSeries;
    serieRechazadas->setName(QStringLiteral("Rechazadas (!)"));
    serieRechazadas->setColor(kColorRechazada);
    serieRechazadas->setBorderColor(kColorRechazada);
    serieRechazadas->setMarkerSize(9);
    for (QXYSeries* s :
         {static_cast<QXYSeries*>(serieValores), static_cast<QXYSeries*>(serieRechazadas)}) {
        grafico_->addSeries(s);
        s->attachAxis(ejeX_);
        s->attachAxis(ejeY_);
    }

    vista = new QChartView(grafico_, this);
    vista->setObjectName(QStringLiteral("vistaGrafico_%1").arg(puerto_));
    vista->setRenderHint(QPainter::Antialiasing);
    vista->setMinimumHeight(80);
    auto* capa = static_cast<QVBoxLayout*>(layout());
    delete capa->takeAt(capa->count() - 1); // the stretch that kept the chart's place
    capa->addWidget(vista, 1);
    sucio_ = true;
}

void PanelGrafico::ponTramos(std::vector<QLineSeries*>& lineas, const QList<QList<QPointF>>& tramos,
                             const QString& nombre) {
    while (lineas.size() < size_t(tramos.size())) {
        auto* s = new QLineSeries;
        s->setName(nombre);
        s->setPen(QPen(kColorLimite, 1.5, Qt::DashLine));
        grafico_->addSeries(s);
        s->attachAxis(ejeX_);
        s->attachAxis(ejeY_);
        // A limit broken by a stretch without limits is one entry in the legend.
        if (!lineas.empty())
            for (QLegendMarker* m : grafico_->legend()->markers(s))
                m->setVisible(false);
        lineas.push_back(s);
    }
    for (size_t i = 0; i < lineas.size(); ++i)
        if (i < size_t(tramos.size()))
            lineas[i]->replace(tramos[qsizetype(i)]);
        else
            lineas[i]->clear();
    // A characteristic without limits has no limit entry in the legend.
    if (!lineas.empty())
        for (QLegendMarker* m : grafico_->legend()->markers(lineas.front()))
            m->setVisible(!tramos.isEmpty());
}

void PanelGrafico::refresca() {
    if (!vista)
        return;
    sucio_ = false;
    ++refrescos_;
    SeriesPuerto::Dibujo d = series_.dibujo(claveActual());
    serieValores->replace(d.valores);
    serieRechazadas->replace(d.rechazadas);

    qint64 xMin = d.xMin, xMax = d.xMax;
    const bool nada = d.vacio() && d.inferior.isEmpty() && d.superior.isEmpty();
    ejeX_->setVisible(!nada);
    ejeY_->setVisible(!nada);
    if (nada) {
        grafico_->setTitle(QStringLiteral("Sin lecturas"));
        xMax = xMin + 60'000;
    } else {
        grafico_->setTitle(QString());
        // At least ten seconds in view, and a little room after the newest point.
        xMax = std::max(xMax, xMin + 10'000);
        xMax += (xMax - xMin) / 50;
    }
    // The limits in force now reach the right edge.
    for (QList<QList<QPointF>>* linea : {&d.inferior, &d.superior})
        if (!linea->isEmpty() && linea->last().last().x() >= double(d.xMax))
            linea->last().last().setX(double(xMax));
    ponTramos(lineasInf, d.inferior, QStringLiteral("Límite inferior"));
    ponTramos(lineasSup, d.superior, QStringLiteral("Límite superior"));
    ejeX_->setFormat(xMax - xMin > 24LL * 3600 * 1000 ? QStringLiteral("dd/MM HH:mm")
                                                      : QStringLiteral("HH:mm:ss"));
    ejeX_->setRange(QDateTime::fromMSecsSinceEpoch(xMin), QDateTime::fromMSecsSinceEpoch(xMax));
    ejeY_->setRange(d.yMin, d.yMax);
}

} // namespace ort
