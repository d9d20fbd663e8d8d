#pragma once

#include "ventanas/editor/editorcanales.h"

#include <QLineEdit>
#include <QList>
#include <QPair>

#include <functional>
#include <vector>

namespace ort {

// One picker of the editor: the field it fills, its list's query, title and columns, and how a
// row of the list is written into the field.
struct EditorCanales::Selector {
    QLineEdit* campo = nullptr;
    QString tabla; // the value of TablaActiva
    QString titulo;
    QLineEdit* padre = nullptr; // none: the query lists the whole table
    int anchoPadre = 0;
    QString finTitulo;
    std::function<Resultado<Filas>(BaseCalidad&, const QString&)> consulta;
    QList<QPair<int, QString>> columnas; // width in twips, caption; empty: by column name
    int lugarTab = 0;
    QString clave;
    QString descripcion;
    bool alClic = false; // fills its field on a click, with the key alone

    static std::vector<Selector> todos(EditorCanales& v);
};

} // namespace ort
