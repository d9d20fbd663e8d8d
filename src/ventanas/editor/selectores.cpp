// The pickers of the channel editor: each key field lists the valid keys of the Metrovax master
// tables, following the plant from operator to station, machine, product, format and
// characteristic.
#include "config/almacen.h"
#include "startup/avisos.h"
#include "startup/textfuncs.h"
#include "ventanas/editor/editorcanales.h"
#include "ventanas/editor/selector.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>

namespace ort {

namespace {

using Lista = Resultado<Filas> (BaseCalidad::*)(const QString&);

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

int px(int twips) {
    return (twips + 7) / 15;
}

} // namespace

std::vector<EditorCanales::Selector> EditorCanales::Selector::todos(EditorCanales& v) {
    auto hijo = [](Lista f) {
        return [f](BaseCalidad& bd, const QString& padre) { return (bd.*f)(padre); };
    };
    const QList<QPair<int, QString>> caracteristicas = {{1080, QStringLiteral("Clave")},
                                                        {600, QStringLiteral("Posic.")},
                                                        {3990, QStringLiteral("Característica")}};
    std::vector<Selector> t;
    auto agrega = [&t](Selector s) { t.push_back(std::move(s)); };
    // clang-format off
    agrega({v.campoConex, QStringLiteral("CNX"), QStringLiteral("Conexiones:"), nullptr, 0, {},
            [](BaseCalidad& bd, const QString&) { return bd.todosINS(); },
            {}, 2, QStringLiteral("INSCLAVE"), QStringLiteral("INSDESCR"), false});
    agrega({v.campoOpera, QStringLiteral("USU"), QStringLiteral("Operadores:"), nullptr, 0, {},
            [](BaseCalidad& bd, const QString&) { return bd.operadores(); },
            {{1080, QStringLiteral("Clave")}, {4500, QStringLiteral("Nombre")}},
            5, QStringLiteral("USUCLAVE"), QStringLiteral("USUDESCR"), false});
    agrega({v.campoEstac, QStringLiteral("EXU"), QStringLiteral("Estaciones de "), v.campoOpera,
            kAnchoOperador, QStringLiteral(": "), hijo(&BaseCalidad::estacionesDe),
            {{720, QString()}, {3600, QStringLiteral("Estación")}},
            7, QStringLiteral("EXUESTAC"), QStringLiteral("ESTDESC1"), false});
    agrega({v.campoMaqui, QStringLiteral("MXE"), QStringLiteral("Máquinas de "), v.campoEstac,
            kAnchoEstacion, QStringLiteral(": "), hijo(&BaseCalidad::maquinasDe),
            {{1080, QStringLiteral("Clave")}, {3600, QStringLiteral("Máquina")}},
            8, QStringLiteral("MXEMAQUI"), QStringLiteral("MAQDESC1"), false});
    agrega({v.campoProdu, QStringLiteral("PXM"), QStringLiteral("Productos de "), v.campoMaqui,
            kAnchoMaquina, QStringLiteral(": "), hijo(&BaseCalidad::productosDe),
            {{1920, QStringLiteral("Clave")}, {3600, QStringLiteral("Producto")}},
            9, QStringLiteral("PXMPRODU"), QStringLiteral("PRODESC1"), false});
    agrega({v.campoForma, QStringLiteral("FXP"), QStringLiteral("Formatos de "), v.campoProdu,
            kAnchoProducto, QStringLiteral(": "), hijo(&BaseCalidad::formatosDe),
            {{1080, QStringLiteral("Clave")}, {3600, QStringLiteral("Formato")}},
            10, QStringLiteral("FXPFORMA"), QStringLiteral("FRMDESC1"), false});
    agrega({v.campoCarac, QStringLiteral("CXF"), QStringLiteral("Características de "), v.campoForma,
            kAnchoFormato, QStringLiteral(":"), hijo(&BaseCalidad::caracteristicasDe),
            caracteristicas, 11, QStringLiteral("CXFCARAC"), QStringLiteral("CARDESC1"), false});
    for (int i = 1; i <= 2; ++i)
        agrega({v.camposEAdic[i], QStringLiteral("ADI%1").arg(i),
                QStringLiteral("Características de "), v.campoForma, kAnchoFormato,
                QStringLiteral(":"), hijo(&BaseCalidad::caracteristicasDe), caracteristicas, 11,
                QStringLiteral("CXFCARAC"), QString(), true});
    // clang-format on
    return t;
}

const EditorCanales::Selector* EditorCanales::selectorDe(const QObject* campo) const {
    for (const Selector& s : selectores_)
        if (s.campo == campo)
            return &s;
    return nullptr;
}

const EditorCanales::Selector* EditorCanales::selectorActivo() const {
    for (const Selector& s : selectores_)
        if (s.tabla == TablaActiva)
            return &s;
    return nullptr;
}

bool EditorCanales::eventFilter(QObject* objeto, QEvent* evento) {
    if (evento->type() != QEvent::FocusIn)
        return QDialog::eventFilter(objeto, evento);
    const auto razon = static_cast<QFocusEvent*>(evento)->reason();
    // A field that gets the focus back with its window, or after a pop-up menu, already shows
    // its picker: only a move into the field opens it again.
    if (razon == Qt::PopupFocusReason)
        return false;
    if (objeto == campoCanal) {
        TablaActiva = QStringLiteral("CANAL");
        muestraSelector(false);
        return false;
    }
    if (const Selector* s = selectorDe(objeto)) {
        if (razon == Qt::ActiveWindowFocusReason && TablaActiva == s->tabla)
            return false;
        abreSelector(*s);
    }
    return false;
}

void EditorCanales::muestraSelector(bool visible) {
    tituloSelector->setVisible(visible);
    lista->setVisible(visible);
}

Resultado<Filas> EditorCanales::consulta(const Selector& s, const QString& padre) {
    if (!bd_.abierta())
        if (const Resultado<> abierta = abreConexion(e_.ajustes.StrConexion, bd_); !abierta)
            return abierta.falla();
    BaseCalidad bd(bd_);
    auto r = s.consulta(bd, padre);
    if (!r) {
        bd_.cierra(); // the next picker opens the database again
        Falla f = r.falla();
        if (f.descripcion.isEmpty())
            f.descripcion = bd.sentencia();
        return f;
    }
    return r;
}

void EditorCanales::llenaLista(const Resultado<Filas>& r) {
    resultado_ = r.valorO({});
    modelo_->clear();
    modelo_->setColumnCount(static_cast<int>(resultado_.columnas.size()));
    modelo_->setHorizontalHeaderLabels(resultado_.columnas);
    for (const QVariantList& fila : resultado_.filas) {
        QList<QStandardItem*> celdas;
        for (const QVariant& v : fila) {
            auto* celda = new QStandardItem(v.toString());
            celda->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            celdas << celda;
        }
        modelo_->appendRow(celdas);
    }
    if (r) {
        lblFalla->clear();
        lblFalla->hide();
    } else {
        lblFalla->setText(QStringLiteral("No se pudo leer la lista: ") + r.falla().descripcion);
        lblFalla->show();
    }
}

void EditorCanales::fijaColumnas(const Selector& s) {
    if (s.columnas.isEmpty()) {
        for (const ColumnaINS& c : kColumnasINS) {
            const int i = resultado_.columna(QLatin1String(c.campo));
            if (i < 0)
                continue;
            lista->setColumnWidth(i, px(c.ancho));
            modelo_->setHeaderData(i, Qt::Horizontal,
                                   e_.ajustes.texto(Textos::GrupoColumnasConexion, c.texto));
        }
        return;
    }
    for (int i = 0; i < s.columnas.size() && i < modelo_->columnCount(); ++i) {
        lista->setColumnWidth(i, px(s.columnas[i].first));
        modelo_->setHeaderData(i, Qt::Horizontal, s.columnas[i].second);
    }
}

void EditorCanales::abreSelector(const Selector& s) {
    // The field's text before the list can rewrite it: the list is positioned on it.
    const QString entrada = s.campo->text();
    TablaActiva = s.tabla;
    const QString padre = s.padre ? s.padre->text().left(s.anchoPadre).trimmed() : QString();
    tituloSelector->setText(s.padre ? s.titulo + padre + s.finTitulo : s.titulo);
    muestraSelector(true);

    // The lookup completes without giving way to other events: no port event and no other
    // picker runs inside it. The list repaints once the focus change has been handled.
    e_.avisos.ocupado(true);
    const auto r = consulta(s, padre);
    e_.avisos.ocupado(false);
    llenaLista(r);
    fijaColumnas(s);
    fijaLugarTab(lista, s.lugarTab);

    const int k = resultado_.columna(s.clave);
    if (resultado_.vacio() || k < 0)
        return;
    const int n = resultado_.tamanos.value(k);
    const QString clave = (n > 0 ? entrada.left(n) : entrada).trimmed();
    for (int i = 0; i < resultado_.filas.size(); ++i) {
        QString valor = resultado_.filas[i].value(k).toString();
        while (valor.endsWith(u' '))
            valor.chop(1);
        if (valor.compare(clave, Qt::CaseInsensitive) == 0) {
            lista->setCurrentIndex(modelo_->index(i, 0));
            lista->scrollTo(modelo_->index(i, 0));
            return;
        }
    }
}

void EditorCanales::filaCambiada(const QModelIndex& actual) {
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

void EditorCanales::clicEnLista(const QModelIndex& indice) {
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
