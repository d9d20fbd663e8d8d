#pragma once

#include <QList>
#include <QWidget>

#include <functional>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace ort {

class Adquisicion;
class PanelGrafico;

// VentanaMonitor: the acquisition monitor. One tab and log box per port, a lamp on each tab, the
// frame of the current port with its switch, its editor button and its counters, the column header
// and the configuration file's button. The user cannot close it. Under each log box, the chart of
// the port's readings against their limits.
class VentanaMonitor : public QWidget {
    Q_OBJECT
public:
    explicit VentanaMonitor(Adquisicion& a, QWidget* parent = nullptr);

    // What the two buttons open; they run modally and acquisition restarts or renumbers after.
    std::function<void()> abreEditor;
    std::function<void()> abreUbicacion;

    QTabWidget* pestanas = nullptr;
    QGroupBox* marcoPuerto = nullptr;
    QPushButton* cmdAbre = nullptr;
    QPushButton* cmdConf = nullptr;
    QPushButton* bArchConf = nullptr;
    QLabel* lblHead = nullptr;
    QLabel* lblRec = nullptr;
    QLabel* lblGra = nullptr;
    QList<QPlainTextEdit*> registros; // index p - 1
    QList<PanelGrafico*> graficos;    // index p - 1

    // Rows a box of the given height in pixels holds (15 twips a pixel).
    static int filasDeCaja(int alturaPx);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void actualizaCaptions();
    void actualizaContadores();
    void pintaLampara(int p, bool abierto);
    void fijaFilas();
    void fijaFilas(int p);
    void actualizaCaracteristicas();

    Adquisicion& a_;
};

} // namespace ort
