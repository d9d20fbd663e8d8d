#include "jet.h"

#include "vigilancia.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace ort::importa {

namespace {

// Flags of a row offset on a data page; the rest is the offset.
constexpr int kMascaraDesplazamiento = 0x1fff;
// The 12-byte head of a Memo or OLE value: length and flags, then where the rest lies.
constexpr int kCabeceraMemo = MDB_MEMO_OVERHEAD;
// libmdb reads an OLE value through the column's bound buffer, in pieces of at most this size.
constexpr size_t kBufferOle = MDB_BIND_SIZE * 64 + 4096;
// A Memo longer than this is taken for a damaged length.
constexpr quint32 kMemoMaximo = 256u * 1024 * 1024;

QString declarado(const ColumnaJet& c) {
    switch (c.tipo) {
    case MDB_BOOL: // -1 / 0, as ORT's own schemas store Yes/No
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return QStringLiteral("INTEGER");
    case MDB_MONEY:
        return QStringLiteral("CURRENCY");
    case MDB_FLOAT:
        return QStringLiteral("REAL");
    case MDB_DOUBLE:
        return QStringLiteral("DOUBLE");
    case MDB_DATETIME: // "yyyy-MM-dd HH:mm:ss", as ORT's data tables hold Fecha
    case MDB_MEMO:
        return QStringLiteral("TEXT");
    case MDB_TEXT:
        return QStringLiteral("VARCHAR(%1)").arg(c.tamano);
    case MDB_REPID:
        return QStringLiteral("VARCHAR(38)");
    case MDB_NUMERIC:
        return QStringLiteral("NUMERIC(%1,%2)").arg(c.precision).arg(c.escala);
    case MDB_BINARY:
    case MDB_OLE:
        return QStringLiteral("BLOB");
    }
    return {};
}

// A Single as the decimal it was typed as (0.15, not 0.150000006), widened to a double.
double simpleComoDoble(float f) {
    char texto[32];
    const auto r = std::to_chars(texto, texto + sizeof texto, f);
    double d = f;
    std::from_chars(texto, r.ptr, d);
    return d;
}

QString texto(char* s) {
    const QString r = s && *s ? QString::fromUtf8(s) : QStringLiteral("");
    g_free(s);
    return r;
}

} // namespace

ClaseArchivo clasifica(const QString& ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return ClaseArchivo::Ilegible;
    const QByteArray cabeza = f.read(32);
    if (cabeza.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return ClaseArchivo::Sqlite;
    if (cabeza.size() < 21 || cabeza.mid(0, 4) != QByteArray("\x00\x01\x00\x00", 4))
        return ClaseArchivo::Otro;
    const QByteArray firma = cabeza.mid(4, 16);
    if (firma == QByteArray("Standard Jet DB\0", 16))
        return cabeza[20] == 0 ? ClaseArchivo::Jet3 : ClaseArchivo::Jet4;
    if (firma == QByteArray("Standard ACE DB\0", 16))
        return ClaseArchivo::Ace;
    return ClaseArchivo::Otro;
}

int tamanoPagina(ClaseArchivo c) {
    return c == ClaseArchivo::Jet3 ? 2048 : 4096;
}

QString fechaJet(double dias) {
    // 100-01-01 and 9999-12-31, the first and last days Jet accepts.
    if (!std::isfinite(dias) || dias < -657434.0 || dias >= 2958466.0)
        return {};
    double entero = 0;
    const double fraccion = std::modf(dias, &entero);
    qint64 dia = static_cast<qint64>(entero);
    // Before 1899-12-30 the whole part counts back, but the fraction still runs forward.
    qint64 segundos = std::llround(std::fabs(fraccion) * 86400.0);
    if (segundos >= 86400) {
        segundos -= 86400;
        ++dia;
    }
    const QDate fecha = QDate(1899, 12, 30).addDays(dia);
    return fecha.toString(QStringLiteral("yyyy-MM-dd")) +
           QString::asprintf(" %02d:%02d:%02d", int(segundos / 3600), int(segundos / 60 % 60),
                             int(segundos % 60));
}

struct ArchivoJet::Datos {
    MdbHandle* mdb = nullptr;
    QString ruta;
    ~Datos() {
        if (mdb)
            mdb_close(mdb);
    }
    MdbCatalogEntry* entrada(const QString& nombre) const {
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE && QString::fromUtf8(e->object_name) == nombre)
                return e;
        }
        return nullptr;
    }
};

ArchivoJet::~ArchivoJet() = default;

std::unique_ptr<ArchivoJet> ArchivoJet::abre(const QString& ruta, QString& error) {
    std::unique_ptr<ArchivoJet> a(new ArchivoJet);
    a->clase_ = clasifica(ruta);
    switch (a->clase_) {
    case ClaseArchivo::Ilegible:
        error = QStringLiteral("no se puede abrir para leerlo (%1)")
                    .arg(QFile(ruta).exists() ? "permiso denegado" : "no existe");
        return nullptr;
    case ClaseArchivo::Sqlite:
        error = QStringLiteral("ya es una base SQLite, no un archivo Jet (.mdb)");
        return nullptr;
    case ClaseArchivo::Otro:
        error = QStringLiteral("no es un archivo Jet (.mdb): su cabecera no es la de una base "
                               "de Access");
        return nullptr;
    default:
        break;
    }
    // A Jet file is whole pages; anything else was cut short in a copy.
    const qint64 tamano = QFileInfo(ruta).size();
    const int pagina = tamanoPagina(a->clase_);
    if (tamano % pagina != 0 || tamano < 2 * pagina) {
        error = QStringLiteral("el archivo está truncado: mide %1 bytes, y un archivo Jet son "
                               "al menos dos páginas enteras de %2 bytes")
                    .arg(tamano)
                    .arg(pagina);
        return nullptr;
    }
    a->d_ = std::make_unique<Datos>();
    a->d_->ruta = ruta;
    Vigilancia::etapa(QStringLiteral("el catálogo"));
    a->d_->mdb = mdb_open(QFile::encodeName(ruta).constData(), MDB_NOFLAGS);
    if (!a->d_->mdb) {
        error = QStringLiteral("mdbtools no puede abrirlo como base Jet");
        return nullptr;
    }
    if (!mdb_read_catalog(a->d_->mdb, MDB_TABLE) || Vigilancia::leyoMasAllaDelFinal()) {
        error = QStringLiteral("no se puede leer su catálogo de tablas (archivo dañado o "
                               "truncado)");
        return nullptr;
    }
    for (unsigned i = 0; i < a->d_->mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(a->d_->mdb->catalog, i));
        if (mdb_is_user_table(e))
            a->tablas_ << QString::fromUtf8(e->object_name);
    }
    return a;
}

bool ArchivoJet::define(const QString& nombre, TablaJet& t, QString& error) {
    MdbCatalogEntry* e = d_->entrada(nombre);
    MdbTableDef* def = e ? mdb_read_table(e) : nullptr;
    if (!def || !mdb_read_columns(def)) {
        if (def)
            mdb_free_tabledef(def);
        error = QStringLiteral("no se puede leer la definición de la tabla");
        return false;
    }
    t = TablaJet{};
    t.nombre = nombre;
    t.filasDeclaradas = def->num_rows;
    for (unsigned i = 0; i < def->num_cols; ++i) {
        const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        ColumnaJet c;
        c.nombre = QString::fromUtf8(col->name);
        c.tipo = col->col_type;
        // Jet 4 keeps text as UCS-2: its size is in bytes, two per character.
        c.tamano =
            c.tipo == MDB_TEXT && clase_ != ClaseArchivo::Jet3 ? col->col_size / 2 : col->col_size;
        c.precision = col->col_prec;
        c.escala = col->col_scale;
        c.declarado = declarado(c);
        if (c.declarado.isEmpty()) {
            mdb_free_tabledef(def);
            error = QStringLiteral("la columna \"%1\" es de un tipo que no se puede traer "
                                   "(código %2)")
                        .arg(c.nombre)
                        .arg(c.tipo);
            return false;
        }
        t.columnas << c;
    }
    // mdb_read_indices returns nothing useful: its result is the table's list of indexes.
    mdb_read_indices(def);
    for (unsigned i = 0; def->indices && i < def->indices->len; ++i) {
        const auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(def->indices, i));
        // Type 2 are the hidden halves of relationships, not indexes of the table's own.
        if (idx->index_type == 2 || idx->num_keys == 0)
            continue;
        IndiceJet x;
        x.nombre = QString::fromUtf8(idx->name);
        x.primario = idx->index_type == 1;
        x.unico = x.primario || (idx->flags & MDB_IDX_UNIQUE);
        bool valido = true;
        for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            const int n = idx->key_col_num[k] - 1;
            valido = valido && n >= 0 && n < t.columnas.size();
            x.columnas << n;
            x.descendente << (idx->key_col_order[k] == MDB_DESC);
        }
        if (!valido) {
            mdb_free_tabledef(def);
            error =
                QStringLiteral("el índice \"%1\" nombra una columna que no existe").arg(x.nombre);
            return false;
        }
        t.indices << x;
    }
    mdb_free_tabledef(def);
    if (Vigilancia::leyoMasAllaDelFinal()) {
        error = QStringLiteral("el archivo está truncado: su definición queda más allá del final");
        return false;
    }
    return true;
}

struct LectorTabla::Datos {
    MdbHandle* mdb = nullptr;
    MdbTableDef* tabla = nullptr;
    std::vector<MdbField> campos;
    std::vector<std::vector<char>> buffersOle;
    ~Datos() {
        if (tabla)
            mdb_free_tabledef(tabla);
    }
};

LectorTabla::~LectorTabla() = default;

std::unique_ptr<LectorTabla> ArchivoJet::lee(const QString& nombre, QString& error) {
    MdbCatalogEntry* e = d_->entrada(nombre);
    std::unique_ptr<LectorTabla> l(new LectorTabla);
    l->d_ = std::make_unique<LectorTabla::Datos>();
    l->d_->mdb = d_->mdb;
    l->d_->tabla = e ? mdb_read_table(e) : nullptr;
    if (!l->d_->tabla || !mdb_read_columns(l->d_->tabla)) {
        error = QStringLiteral("no se puede leer la definición de la tabla");
        return nullptr;
    }
    MdbTableDef* t = l->d_->tabla;
    l->d_->campos.resize(t->num_cols);
    l->d_->buffersOle.resize(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        // Only OLE values are read through a bound buffer; everything else straight off the page.
        if (col->col_type == MDB_OLE) {
            l->d_->buffersOle[i].resize(kBufferOle);
            mdb_bind_column(t, int(i) + 1, l->d_->buffersOle[i].data(), nullptr);
        }
    }
    mdb_rewind_table(t);
    return l;
}

bool LectorTabla::siguiente(QVariantList& valores) {
    MdbTableDef* t = d_->tabla;
    MdbHandle* mdb = d_->mdb;
    if (!mdb_fetch_row(t))
        return false;
    ++fila_;
    auto falla = [&](const QString& que) {
        error_ = QStringLiteral("fila %1: %2").arg(fila_).arg(que);
        return false;
    };
    // mdb_fetch_row hands over no Null flags for text (Null and "" look alike): the row is
    // split again, as mdb_read_row did, to have them.
    int inicio = 0;
    size_t largo = 0;
    if (mdb_find_row(mdb, int(t->cur_row) - 1, &inicio, &largo) != 0)
        return falla(QStringLiteral("no se encuentra la fila en su página"));
    inicio &= kMascaraDesplazamiento;
    if (mdb_crack_row(t, inicio, largo, d_->campos.data()) < 0)
        return falla(QStringLiteral("la fila está dañada"));

    const int pagina = int(mdb->fmt->pg_size);
    valores.resize(int(t->num_cols));
    for (unsigned i = 0; i < t->num_cols; ++i) {
        const MdbField& f = d_->campos[i];
        if (f.colnum < 0 || unsigned(f.colnum) >= t->num_cols)
            return falla(QStringLiteral("la fila está dañada"));
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, f.colnum));
        QVariant& v = valores[f.colnum];
        // A Yes/No value lives in the Null bit itself.
        if (col->col_type == MDB_BOOL) {
            v = f.is_null ? 0 : -1;
            continue;
        }
        if (f.is_null) {
            v = QVariant();
            continue;
        }
        const int fijo = mdb_col_fixed_size(col);
        if (f.start < 0 || f.siz < 0 || f.start + f.siz > pagina || (fijo > 0 && f.siz < fijo))
            return falla(QStringLiteral("el valor de la columna \"%1\" está dañado")
                             .arg(QString::fromUtf8(col->name)));
        unsigned char* pg = mdb->pg_buf;
        switch (col->col_type) {
        case MDB_BYTE:
            v = int(mdb_get_byte(pg, f.start));
            break;
        case MDB_INT:
            v = int(qint16(mdb_get_int16(pg, f.start)));
            break;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            v = int(qint32(mdb_get_int32(pg, f.start)));
            break;
        case MDB_MONEY: {
            // Currency: a 64-bit count of ten-thousandths, little-endian.
            quint64 bruto = 0;
            for (int b = 7; b >= 0; --b)
                bruto = (bruto << 8) | pg[f.start + b];
            v = double(qint64(bruto)) / 10000.0;
            break;
        }
        case MDB_FLOAT:
            v = simpleComoDoble(mdb_get_single(pg, f.start));
            break;
        case MDB_DOUBLE:
            v = mdb_get_double(pg, f.start);
            break;
        case MDB_DATETIME: {
            const double dias = mdb_get_double(pg, f.start);
            const QString fecha = fechaJet(dias);
            if (fecha.isEmpty())
                return falla(QStringLiteral("la fecha de la columna \"%1\" está fuera del "
                                            "rango de Jet (%2)")
                                 .arg(QString::fromUtf8(col->name))
                                 .arg(dias));
            v = fecha;
            break;
        }
        case MDB_TEXT:
            v = texto(mdb_col_to_string(mdb, pg, f.start, MDB_TEXT, f.siz));
            break;
        case MDB_MEMO: {
            if (f.siz < kCabeceraMemo) {
                v = QStringLiteral("");
                break;
            }
            // libmdb writes the text into a buffer of the handle's bind size: make it fit.
            const quint32 bytes = quint32(mdb_get_int32(pg, f.start)) & 0x3fffffffu;
            if (bytes > kMemoMaximo)
                return falla(QStringLiteral("el Memo de la columna \"%1\" está dañado")
                                 .arg(QString::fromUtf8(col->name)));
            const size_t antes = mdb->bind_size;
            mdb_set_bind_size(mdb, std::max<size_t>(antes, size_t(bytes) * 3 + 16));
            v = texto(mdb_col_to_string(mdb, pg, f.start, MDB_MEMO, f.siz));
            mdb_set_bind_size(mdb, antes);
            break;
        }
        case MDB_OLE: {
            size_t n = 0;
            void* datos = mdb_ole_read_full(mdb, col, &n);
            v = QByteArray(static_cast<const char*>(datos), qsizetype(n));
            free(datos);
            break;
        }
        case MDB_BINARY:
            v = QByteArray(reinterpret_cast<const char*>(pg + f.start), f.siz);
            break;
        case MDB_REPID:
            v = texto(mdb_uuid_to_string(pg, f.start));
            break;
        case MDB_NUMERIC:
            v = texto(mdb_numeric_to_string(mdb, f.start, col->col_scale, col->col_prec));
            break;
        }
    }
    Vigilancia::avanza();
    return true;
}

} // namespace ort::importa
