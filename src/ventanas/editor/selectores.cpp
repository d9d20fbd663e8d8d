// The pickers of the channel editor: each key field lists the valid keys of the Metrovax master
// tables, following the plant from operator to station, machine, product, format and
// characteristic.
#include "config/almacen.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"
#include "ventanas/editor/canal.h"
#include "ventanas/editor/selector.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>

namespace ort {

namespace {

using Lista = Filas (BaseCalidad::*)(const QString&);

// The connection list shows every column of the connection records; those named here get a
// width and a caption from the language texts (group 61).
struct ColumnaINS {
    const char* campo;
    int texto;
    int ancho;
};
// clang-format off
constexpr ColumnaINS kColumnasINS[] = {
    {"INSCLAVE",  1,  900}, {"INSDESCR",  2, 5400}, {"INSTIPOC",  3,  780},
    {"INSBAUDI",  4,  780}, {"INSPARID",  5,  390}, {"INSBDATO",  6,  390},
    {"INSBPARO",  7,  390}, {"INSBUFFE",  8,  780}, {"INSRCVTH",  9,  570},
    {"INSRMTIP", 10, 1500}, {"INSTCPPR", 11,  780}, {"INSINICI", 12,  570},
    {"INSTERMI", 13,  570}, {"INSTABLA", 14,  570},
};
// clang-format on

int Px(int twips) {
    return (twips + 7) / 15;
}

} // namespace

std::vector<Canal::Selector> Canal::Selector::tabla_(Canal& v) {
    auto hijo = [](Lista f) {
        return [f](BaseCalidad& bd, const QString& padre) { return (bd.*f)(padre); };
    };
    const QList<QPair<int, QString>> caracteristicas = {{1080, QStringLiteral("Clave")},
                                                        {600, QStringLiteral("Posic.")},
                                                        {3990, QStringLiteral("Característica")}};
    std::vector<Selector> t;
    auto agrega = [&t](Selector s) { t.push_back(std::move(s)); };
    // clang-format off
    agrega({v.txtConex, QStringLiteral("CNX"), QStringLiteral("Conexiones:"), nullptr, 0, {},
            [](BaseCalidad& bd, const QString&) { return bd.todosINS(); },
            {}, 2, QStringLiteral("INSCLAVE"), QStringLiteral("INSDESCR"), false});
    agrega({v.txtOpera, QStringLiteral("USU"), QStringLiteral("Operadores:"), nullptr, 0, {},
            [](BaseCalidad& bd, const QString&) { return bd.operadores(); },
            {{1080, QStringLiteral("Clave")}, {4500, QStringLiteral("Nombre")}},
            5, QStringLiteral("USUCLAVE"), QStringLiteral("USUDESCR"), false});
    agrega({v.txtEstac, QStringLiteral("EXU"), QStringLiteral("Estaciones de "), v.txtOpera,
            kAnchoOperador, QStringLiteral(": "), hijo(&BaseCalidad::estacionesDe),
            {{720, QString()}, {3600, QStringLiteral("Estación")}},
            7, QStringLiteral("EXUESTAC"), QStringLiteral("ESTDESC1"), false});
    agrega({v.txtMaqui, QStringLiteral("MXE"), QStringLiteral("Máquinas de "), v.txtEstac,
            kAnchoEstacion, QStringLiteral(": "), hijo(&BaseCalidad::maquinasDe),
            {{1080, QStringLiteral("Clave")}, {3600, QStringLiteral("Máquina")}},
            8, QStringLiteral("MXEMAQUI"), QStringLiteral("MAQDESC1"), false});
    agrega({v.txtProdu, QStringLiteral("PXM"), QStringLiteral("Productos de "), v.txtMaqui,
            kAnchoMaquina, QStringLiteral(": "), hijo(&BaseCalidad::productosDe),
            {{1920, QStringLiteral("Clave")}, {3600, QStringLiteral("Producto")}},
            9, QStringLiteral("PXMPRODU"), QStringLiteral("PRODESC1"), false});
    agrega({v.txtForma, QStringLiteral("FXP"), QStringLiteral("Formatos de "), v.txtProdu,
            kAnchoProducto, QStringLiteral(": "), hijo(&BaseCalidad::formatosDe),
            {{1080, QStringLiteral("Clave")}, {3600, QStringLiteral("Formato")}},
            10, QStringLiteral("FXPFORMA"), QStringLiteral("FRMDESC1"), false});
    agrega({v.txtCarac, QStringLiteral("CXF"), QStringLiteral("Características de "), v.txtForma,
            kAnchoFormato, QStringLiteral(":"), hijo(&BaseCalidad::caracteristicasDe),
            caracteristicas, 11, QStringLiteral("CXFCARAC"), QStringLiteral("CARDESC1"), false});
    for (int i = 1; i <= 2; ++i)
        agrega({v.txtEAdic[i], QStringLiteral("ADI%1").arg(i),
                QStringLiteral("Características de "), v.txtForma, kAnchoFormato,
                QStringLiteral(":"), hijo(&BaseCalidad::caracteristicasDe), caracteristicas, 11,
                QStringLiteral("CXFCARAC"), QString(), true});
    // clang-format on
    return t;
}

const Canal::Selector* Canal::selectorDe(const QObject* campo) const {
    for (const Selector& s : selectores_)
        if (s.campo == campo)
            return &s;
    return nullptr;
}

const Canal::Selector* Canal::selectorActivo() const {
    for (const Selector& s : selectores_)
        if (s.tabla == TablaActiva)
            return &s;
    return nullptr;
}

bool Canal::eventFilter(QObject* objeto, QEvent* evento) {
    if (evento->type() != QEvent::FocusIn)
        return QDialog::eventFilter(objeto, evento);
    const auto razon = static_cast<QFocusEvent*>(evento)->reason();
    // A field that gets the focus back with its window, or after a pop-up menu, already shows
    // its picker: only a move into the field opens it again.
    if (razon == Qt::PopupFocusReason)
        return false;
    if (objeto == txtCanal) {
        TablaActiva = QStringLiteral("CANAL");
        Prender(QStringLiteral("NINGUNO"));
        return false;
    }
    if (const Selector* s = selectorDe(objeto)) {
        if (razon == Qt::ActiveWindowFocusReason && TablaActiva == s->tabla)
            return false;
        abreSelector(*s);
    }
    return false;
}

void Canal::Prender(const QString& Seccion) {
    if (Seccion == QStringLiteral("UNO")) {
        lblD1->setVisible(true);
        DBGrid1->setVisible(true);
    } else if (Seccion == QStringLiteral("NINGUNO")) {
        lblD1->setVisible(false);
        DBGrid1->setVisible(false);
    }
}

Filas Canal::consulta(const Selector& s, const QString& padre) {
    if (!bd_.abierta())
        if (const Resultado<> abierta = AbreConexion(e_.ajustes.StrConexion, bd_); !abierta) {
            Filas r;
            r.error = abierta.falla();
            return r;
        }
    BaseCalidad bd(bd_);
    Filas r = s.consulta(bd, padre);
    if (!r.ok)
        bd_.cierra(); // the next picker opens the database again
    return r;
}

void Canal::llenaLista(const Filas& r) {
    resultado_ = r;
    modelo_->clear();
    modelo_->setColumnCount(static_cast<int>(r.columnas.size()));
    modelo_->setHorizontalHeaderLabels(r.columnas);
    for (const QVariantList& fila : r.filas) {
        QList<QStandardItem*> celdas;
        for (const QVariant& v : fila) {
            auto* celda = new QStandardItem(v.toString());
            celda->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            celdas << celda;
        }
        modelo_->appendRow(celdas);
    }
    if (r.ok) {
        lblFalla->clear();
        lblFalla->hide();
    } else {
        lblFalla->setText(QStringLiteral("No se pudo leer la lista: ") +
                          (r.error.descripcion.isEmpty() ? r.texto : r.error.descripcion));
        lblFalla->show();
    }
}

void Canal::fijaColumnas(const Selector& s) {
    if (s.columnas.isEmpty()) {
        for (const ColumnaINS& c : kColumnasINS) {
            const int i = resultado_.columna(QLatin1String(c.campo));
            if (i < 0)
                continue;
            DBGrid1->setColumnWidth(i, Px(c.ancho));
            modelo_->setHeaderData(i, Qt::Horizontal,
                                   e_.ajustes.texto(Textos::GrupoColumnasConexion, c.texto));
        }
        return;
    }
    for (int i = 0; i < s.columnas.size() && i < modelo_->columnCount(); ++i) {
        DBGrid1->setColumnWidth(i, Px(s.columnas[i].first));
        modelo_->setHeaderData(i, Qt::Horizontal, s.columnas[i].second);
    }
}

void Canal::abreSelector(const Selector& s) {
    // The field's text before the list can rewrite it: the list is positioned on it.
    const QString entrada = s.campo->text();
    TablaActiva = s.tabla;
    const QString padre = s.padre ? s.padre->text().left(s.anchoPadre).trimmed() : QString();
    lblD1->setText(s.padre ? s.titulo + padre + s.finTitulo : s.titulo);
    Prender(QStringLiteral("UNO"));

    // The lookup completes without giving way to other events: no port event and no other
    // picker runs inside it. The list repaints once the focus change has been handled.
    e_.avisos.ocupado(true);
    const Filas r = consulta(s, padre);
    e_.avisos.ocupado(false);
    llenaLista(r);
    fijaColumnas(s);
    fijaLugarTab(DBGrid1, s.lugarTab);

    const int k = resultado_.columna(s.clave);
    if (!resultado_.ok || resultado_.vacio() || k < 0)
        return;
    const int n = resultado_.tamanos.value(k);
    const QString clave = (n > 0 ? entrada.left(n) : entrada).trimmed();
    for (int i = 0; i < resultado_.filas.size(); ++i) {
        QString valor = resultado_.filas[i].value(k).toString();
        while (valor.endsWith(u' '))
            valor.chop(1);
        if (valor.compare(clave, Qt::CaseInsensitive) == 0) {
            DBGrid1->setCurrentIndex(modelo_->index(i, 0));
            DBGrid1->scrollTo(modelo_->index(i, 0));
            return;
        }
    }
}

void Canal::filaCambiada(const QModelIndex& actual) {
    const Selector* s = selectorActivo();
    if (!s || s->alClic || !actual.isValid())
        return;
    const int fila = actual.row();
    const int k = resultado_.columna(s->clave);
    const int d = resultado_.columna(s->descripcion);
    if (k < 0 || d < 0 || fila >= resultado_.filas.size())
        return;
    const QVariant clave = resultado_.filas[fila].value(k);
    if (clave.isNull())
        return; // a key without a value: the field keeps its text
    const int n = resultado_.tamanos.value(k);
    const QString texto = clave.toString();
    ponTexto(s->campo, FijaAncho(texto, n > 0 ? n : static_cast<int>(texto.size())) +
                           QStringLiteral(": ") + resultado_.filas[fila].value(d).toString());
}

void Canal::clicEnLista(const QModelIndex& indice) {
    const Selector* s = selectorActivo();
    if (!s || !s->alClic || !indice.isValid())
        return;
    const int fila = indice.row();
    const int k = resultado_.columna(s->clave);
    if (k < 0 || fila >= resultado_.filas.size())
        return;
    const QVariant clave = resultado_.filas[fila].value(k);
    if (clave.isNull())
        return;
    const int n = resultado_.tamanos.value(k);
    const QString texto = clave.toString();
    ponTexto(s->campo, FijaAncho(texto, n > 0 ? n : static_cast<int>(texto.size())));
}

} // namespace ort
