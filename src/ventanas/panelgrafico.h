#pragma once

#include "monitor/graficopuerto.h"

#include <QTimer>
#include <QWidget>

#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace ort {

// The chart of a port's tab: the recent readings of one characteristic of the port (chosen in
// the combo) over time, the limits they were tested against as lines and the rejected readings
// marked. Readings only go into the port's series; the chart is redrawn at most every
// kRefrescoMs, and only while it is shown: a hidden tab catches up when it is shown.
class PanelGrafico : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefrescoMs = 250;

    struct Caracteristica {
        int canal = 0, secuencia = 0;
        QString carac;
    };

    explicit PanelGrafico(int puerto, QWidget* parent = nullptr);

    void agrega(const LecturaProbada& l);
    // Limits loaded at the port's opening, in force from ms on.
    void fijaLimites(int canal, int secuencia, const QString& carac, double inf, double sup,
                     qint64 ms);
    // The characteristics the combo offers: those of the port's configuration rows, plus any
    // that readings brought.
    void fijaCaracteristicas(const QList<Caracteristica>& filas);

    SeriesPuerto::Clave claveActual() const;
    // Times the chart was redrawn.
    int refrescos() const { return refrescos_; }
    QSize sizeHint() const override { return QSize(480, 200); }

    QComboBox* cboCarac = nullptr;
    // Built the first time the tab is shown.
    QChartView* vista = nullptr;
    QLineSeries* serieValores = nullptr;
    QScatterSeries* serieRechazadas = nullptr;
    std::vector<QLineSeries*> lineasInf, lineasSup;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void agregaOpcion(SeriesPuerto::Clave k, const QString& carac);
    void marcaCambio(SeriesPuerto::Clave k, bool nueva, const QString& carac);
    void construye();
    void refresca();
    void ponTramos(std::vector<QLineSeries*>& lineas, const QList<QList<QPointF>>& tramos,
                   const QString& nombre);

    int puerto_;
    SeriesPuerto series_;
    QTimer temporizador_;
    bool sucio_ = false;
    int refrescos_ = 0;
    QChart* grafico_ = nullptr;
    QDateTimeAxis* ejeX_ = nullptr;
    QValueAxis* ejeY_ = nullptr;
};

} // namespace ort
