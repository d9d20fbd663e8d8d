#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace ort::importa {

// One column of a Jet table, with what its SQLite declaration needs.
struct ColumnaJet {
    QString nombre;
    int tipo = 0;   // the Jet type code (Yes/No 1 … Memo 12)
    int tamano = 0; // characters, for Text
    int precision = 0, escala = 0;
    QString declarado; // the SQLite declared type
};

struct IndiceJet {
    QString nombre;
    bool primario = false;
    bool unico = false;
    QList<int> columnas; // positions in the table's column list
    QList<bool> descendente;
};

struct TablaJet {
    QString nombre;
    QList<ColumnaJet> columnas;
    QList<IndiceJet> indices;
    qint64 filasDeclaradas = 0; // the row count the table definition holds
};

// What a file's first page says it is.
enum class ClaseArchivo { Jet3, Jet4, Ace, Sqlite, Otro, Ilegible };
ClaseArchivo clasifica(const QString& ruta);
// The page size of a Jet file of that class.
int tamanoPagina(ClaseArchivo c);

class LectorTabla;

// A Jet file opened for reading through mdbtools' library. Every failure leaves a Spanish
// description in error().
class ArchivoJet {
public:
    ~ArchivoJet();
    static std::unique_ptr<ArchivoJet> abre(const QString& ruta, QString& error);

    ClaseArchivo clase() const { return clase_; }
    // The user tables, in catalogue order (system tables of Jet left out).
    QStringList tablas() const { return tablas_; }
    // The definition of a table; false when it cannot be read.
    bool define(const QString& nombre, TablaJet& t, QString& error);
    // Reads the rows of a table one by one.
    std::unique_ptr<LectorTabla> lee(const QString& nombre, QString& error);

private:
    ArchivoJet() = default;
    struct Datos;
    std::unique_ptr<Datos> d_;
    ClaseArchivo clase_ = ClaseArchivo::Otro;
    QStringList tablas_;
};

class LectorTabla {
public:
    ~LectorTabla();
    // The next row's values in column order (a null QVariant for Null); false at the end or
    // on a value that cannot be read (error() then says which).
    bool siguiente(QVariantList& valores);
    const QString& error() const { return error_; }

private:
    friend class ArchivoJet;
    LectorTabla() = default;
    struct Datos;
    std::unique_ptr<Datos> d_;
    QString error_;
    qint64 fila_ = 0;
};

// A Jet Date/Time value (days since 1899-12-30, the fraction the time of day, also for days
// before it) as "yyyy-MM-dd HH:mm:ss"; empty when out of Jet's range (years 100 to 9999).
QString fechaJet(double dias);

} // namespace ort::importa
