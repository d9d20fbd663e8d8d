#pragma once

#include "basedatos/conexion.h"
#include "qualitydb/basecalidad.h"

#include <QDialog>
#include <QMap>

#include <array>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace ort {

class AlmacenConfig;
class TablasRuntime;

// EditorCanales: the editor of one port's connection, its channels and their sequences, with a
// picker over the Metrovax master tables for every key field. It edits the port that is current in
// the monitor; acquisition goes on while it is open.
class EditorCanales : public QDialog {
    Q_OBJECT
public:
    EditorCanales(Entorno& e, AlmacenConfig& config, TablasRuntime& t, QWidget* parent = nullptr);
    ~EditorCanales() override;

    // Widths of the key part of the parent fields of the pickers.
    static constexpr int kAnchoOperador = 8;
    static constexpr int kAnchoEstacion = 4;
    static constexpr int kAnchoMaquina = 8;
    static constexpr int kAnchoProducto = 16;
    static constexpr int kAnchoFormato = 8;

    // The active picker: "CNX", "USU", "EXU", "MXE", "PXM", "FXP", "CXF", "ADI1", "ADI2", or
    // "CANAL" while the channel field has the focus; empty until the first picker opens.
    QString TablaActiva;

    QLineEdit* campoConex = nullptr;
    QLineEdit* campoCanal = nullptr;
    QLineEdit* campoDescr = nullptr;
    QLineEdit* campoSecue = nullptr;
    QLineEdit* campoOpera = nullptr;
    QLineEdit* campoEstac = nullptr;
    QLineEdit* campoMaqui = nullptr;
    QLineEdit* campoProdu = nullptr;
    QLineEdit* campoForma = nullptr;
    QLineEdit* campoCarac = nullptr;
    std::array<QLineEdit*, 3> camposEAdic{}; // indexes 1 and 2
    std::array<QLineEdit*, 3> camposEAVal{}; // indexes 1 and 2
    QPushButton* cmdAceptar = nullptr;
    QPushButton* bEliminar = nullptr;
    QPushButton* cmdCancelar = nullptr;
    QLabel* lblPuert = nullptr;
    QMap<int, QLabel*> etiquetas; // the fields' captions, by their form index
    QLabel* tituloSelector = nullptr;
    QLabel* totalSecuencias = nullptr; // "/ n": the sequences of the channel
    QTableView* lista = nullptr;       // the active picker's rows
    // Why the last picker shows no list, on the list under its title; hidden when it has one.
    QLabel* lblFalla = nullptr;

    // The rows of the last picker query, as the list shows them.
    const Filas& resultado() const { return resultado_; }
    // Every control in tab order, labels included (they take their places but not the focus).
    const QList<QWidget*>& ordenTab() const { return ordenTab_; }

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void showEvent(QShowEvent* evento) override;

private:
    struct Selector;
    // Fills every field from the port's, the channel's and the sequence's rows.
    void muestra(int p, int c, int s);
    // Shows or hides the picker's title and list.
    void muestraSelector(bool visible);

    // Two of the buttons: write the sequence's row; delete it.
    void graba();
    void elimina();

    void construye();
    void navega();
    void abreSelector(const Selector& s);
    Resultado<Filas> consulta(const Selector& s, const QString& padre);
    void llenaLista(const Resultado<Filas>& r);
    void fijaColumnas(const Selector& s);
    void filaCambiada(const QModelIndex& actual);
    void clicEnLista(const QModelIndex& indice);
    const Selector* selectorDe(const QObject* campo) const;
    const Selector* selectorActivo() const;
    void fijaLugarTab(QWidget* w, int lugar);
    // Assigns a field's text: a stored value longer than what may be typed is kept whole.
    void ponTexto(QLineEdit* campo, const QString& texto);

    Entorno& e_;
    AlmacenConfig& config_;
    TablasRuntime& t_;
    Conexion bd_; // the Metrovax database, opened by the first picker
    Filas resultado_;
    QStandardItemModel* modelo_ = nullptr;
    std::vector<Selector> selectores_;
    QList<QWidget*> ordenTab_;
    QMap<QLineEdit*, int> largos_; // what may be typed into a field
};

} // namespace ort
