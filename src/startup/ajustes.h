#pragma once

#include "startup/textos.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ort {

// The language texts: Textos(g, n, idioma) with bounds (0..G, 0..N, 0..L).
class TablaTextos {
public:
    TablaTextos() = default;
    TablaTextos(int g, int n, int l);

    int maxGrupo() const { return g_; }
    int maxEntrada() const { return n_; }
    int maxIdioma() const { return l_; }
    // The empty text outside the bounds.
    QString texto(int g, int n, int idioma) const;
    void fija(int g, int n, int idioma, const QString& t);

private:
    int indice(int g, int n, int l) const { return (g * (n_ + 1) + n) * (l_ + 1) + l; }
    int g_ = -1, n_ = -1, l_ = -1;
    QStringList textos_;
};

// The start-up settings, written once from the product files and read everywhere.
struct Ajustes {
    QString NombreBase = QStringLiteral("MTVX2005");
    QString Ruta;
    QString ArchivoAyuda;
    QString ClaveBD;
    QString TipoBD;
    QString DirBD;
    QString DirDatos;
    QString ServidorBD;
    QString CatalogoBD;
    QString UsuarioBD;
    QString StrConexion;
    QString Compania;
    QString Edicion;
    qint16 Idioma = 0;
    TablaTextos Textos;
    qint16 NumTurnos = 0;
    QStringList TurnoNombre; // 0..NumTurnos; slot 0 never filled
    QList<qint16> TurnoFin;  // 0..NumTurnos; slot 0 never filled

    // Text n of group g in the language in use.
    QString texto(int g, int n) const { return Textos.texto(g, n, Idioma); }
    QString texto(TextoIdioma t) const { return texto(t.grupo, t.entrada); }
};

inline const QString kJet4 = QStringLiteral("[JET4]");
inline const QString kSqlServer = QStringLiteral("[SQLSERVER]");

} // namespace ort
