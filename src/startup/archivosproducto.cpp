#include "startup/archivosproducto.h"

#include "startup/avisos.h"
#include "startup/cadenaconexion.h"
#include "startup/lectoritems.h"
#include "startup/textfuncs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ort {

namespace {

bool cabe(const QFileInfo& f, ClaseEntrada que) {
    return que == ClaseEntrada::Archivo ? f.isFile() && !f.isHidden() : f.exists();
}

} // namespace

std::optional<QString> buscaEntrada(const QString& dir, const QString& nombre, ClaseEntrada que) {
    const QString exacto = dir + nombre;
    if (cabe(QFileInfo(exacto), que))
        return exacto;
    // "Image/CARATULA.JPG": each part may differ in case. A folder given without its closing
    // slash names the start of the first part, as the joined path does.
    const qsizetype corte = dir.lastIndexOf(u'/') + 1;
    QString actual = dir.left(corte);
    const QStringList partes = (dir.mid(corte) + nombre).split(u'/');
    for (int i = 0; i < partes.size(); ++i) {
        const bool ultima = i + 1 == partes.size();
        const QDir d(actual.isEmpty() ? QStringLiteral(".") : actual);
        const auto filtro = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        QString hallado;
        for (const QFileInfo& e : d.entryInfoList(filtro))
            if (e.fileName().compare(partes[i], Qt::CaseInsensitive) == 0 &&
                (!ultima || cabe(e, que))) {
                hallado = e.fileName();
                break;
            }
        if (hallado.isEmpty())
            return std::nullopt;
        actual += hallado;
        if (!ultima)
            actual += u'/';
    }
    return actual;
}

QString buscaArchivo(const QString& dir, const QString& nombre) {
    return buscaEntrada(dir, nombre).value_or(dir + nombre);
}

Resultado<LineasArchivo> leeLineasOpcional(const QString& directorioPrograma,
                                           const QString& nombre) {
    LineasArchivo r{buscaArchivo(RutaConBarra(directorioPrograma), nombre), {}};
    if (!QFileInfo::exists(r.ruta))
        return r;
    const auto texto = leeArchivoTexto(r.ruta);
    if (!texto)
        return Falla{QStringLiteral("ORT"), 75, QStringLiteral("No se puede leer %1.").arg(r.ruta)};
    r.lineas = texto->split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    return r;
}

Resultado<QString> leeArchivoTexto(const QString& ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        // File not found, path/file access error.
        return QFile::exists(ruta)
                   ? Falla{ruta, 75, QStringLiteral("No se puede leer el archivo %1.").arg(ruta)}
                   : Falla{ruta, 53, QStringLiteral("No se encuentra el archivo %1.").arg(ruta)};
    return decodificaTexto(f.readAll());
}

Resultado<QString> descifraClave(const QString& s, Avisos& avisos) {
    QString clave;
    for (int i = 1; i <= s.size(); ++i) {
        const QChar ch = s[i - 1];
        int c = codigoWin1252(ch);
        if (c < 0)
            c = ch.unicode();
        if (c < 33 || c > 126)
            avisos.mensaje(QStringLiteral("El caracter [") + ch +
                               QStringLiteral("] no es admitido"),
                           Avisos::Icono::Ninguno);
        c -= 2 * i;
        if (c < 33)
            c += 94;
        if (c < 0) // the product's Chr refused it: invalid procedure call
            return Falla{QStringLiteral("ORT"), 5,
                         QStringLiteral("la clave es demasiado larga para descifrarla")};
        clave += c < 256 ? desdeWin1252(static_cast<unsigned char>(c)) : QChar(char16_t(c));
    }
    return clave;
}

namespace {

// The most texts a language table may hold: the product's file has a few thousand.
constexpr qint64 kMaxTextosIdioma = 1000000;

// One product file being read, for reports that name the file and the line.
class Lectura {
public:
    Lectura(const QString& ruta, const QString& nombre, Avisos& avisos)
        : ruta_(ruta)
        , nombre_(nombre)
        , avisos_(avisos) {}

    bool abre() {
        const auto texto = leeArchivoTexto(buscaArchivo(ruta_, nombre_));
        if (!texto) {
            avisos_.mensaje(ruta_ + nombre_ +
                                QStringLiteral("\n\nNo se puede leer el archivo; "
                                               "ORT no puede iniciar."),
                            Avisos::Icono::Critico);
            return false;
        }
        lector_.emplace(*texto);
        return true;
    }

    std::optional<QString> item(const char* que) {
        auto v = lector_->item();
        if (!v)
            falla(QStringLiteral("falta %1 (el archivo termina antes)").arg(QLatin1String(que)));
        return v;
    }

    std::optional<QString> linea() {
        auto v = lector_->linea();
        if (!v)
            falla(QStringLiteral("falta una línea (el archivo termina antes)"));
        return v;
    }

    std::optional<int> entero(const char* que) {
        const auto v = item(que);
        if (!v)
            return std::nullopt;
        // The item's leading number, rounded as the product's 16-bit conversions are ("2.0"
        // is 2); an item that does not start with a number is a fault of the file.
        const auto n = numeroInicial(*v);
        if (!n || *n < -32768.5 || *n > 32767.5) {
            falla(QStringLiteral("%1 no es un número entero: \"%2\"").arg(QLatin1String(que), *v));
            return std::nullopt;
        }
        return aEntero16(*n);
    }

    void falla(const QString& que) {
        avisos_.mensaje(ruta_ + nombre_ + QStringLiteral(", línea %1: ").arg(lineaActual()) + que +
                            QStringLiteral("\n\nORT no puede iniciar."),
                        Avisos::Icono::Critico);
    }

    int lineaActual() const { return lector_->lineaUltima(); }
    LectorItems& lector() { return *lector_; }

private:
    QString ruta_, nombre_;
    Avisos& avisos_;
    std::optional<LectorItems> lector_;
};

bool cargaDirectorio(Ajustes& a, Avisos& avisos) {
    Lectura f(a.Ruta, QStringLiteral("MVDirec.iau"), avisos);
    if (!f.abre())
        return false;
    const auto tipo = f.item("el tipo de base de datos");
    if (!tipo)
        return false;
    a.TipoBD = *tipo;
    if (a.TipoBD == kJet4) {
        const auto dirBD = f.item("el directorio de la base de datos");
        const auto dirDatos = dirBD ? f.item("el directorio de los datos") : std::nullopt;
        if (!dirDatos)
            return false;
        a.DirBD = *dirBD;
        a.DirDatos = *dirDatos;
        a.StrConexion = CadenaConexion(a, a.DirBD + a.NombreBase + QStringLiteral(".MDB"));
    } else if (a.TipoBD == kSqlServer) {
        const auto servidor = f.item("el servidor");
        const auto catalogo = servidor ? f.item("el catálogo") : std::nullopt;
        const auto usuario = catalogo ? f.item("el usuario") : std::nullopt;
        if (!usuario)
            return false;
        a.ServidorBD = *servidor;
        a.CatalogoBD = *catalogo;
        a.UsuarioBD = *usuario;
        a.StrConexion = CadenaConexion(a, a.CatalogoBD);
    }
    return true;
}

bool cargaCompania(Ajustes& a, Avisos& avisos) {
    Lectura f(a.Ruta, QStringLiteral("MVCompa.iau"), avisos);
    if (!f.abre())
        return false;
    const auto compania = f.item("la compañía");
    const auto edicion = compania ? f.item("la edición") : std::nullopt;
    if (!edicion || !f.item("el tercer dato"))
        return false;
    a.Compania = *compania;
    a.Edicion = *edicion;
    return true;
}

bool cargaIdioma(Ajustes& a, Avisos& avisos) {
    const QString nombre = QStringLiteral("MVLang.IAU");
    Lectura f(a.Ruta, nombre, avisos);
    if (!f.abre())
        return false;
    const auto idioma = f.entero("el idioma");
    const auto G = idioma ? f.entero("el número de grupos") : std::nullopt;
    const auto N = G ? f.entero("el número de entradas") : std::nullopt;
    const auto L = N ? f.entero("el número de idiomas") : std::nullopt;
    if (!L)
        return false;
    if (*G < 0 || *N < 0 || *L < 0) {
        f.falla(QStringLiteral("los límites de la tabla de textos no pueden ser negativos"));
        return false;
    }
    // A header that would make a table of millions of texts is a damaged file, not a language.
    const qint64 celdas = qint64(*G + 1) * (*N + 1) * (*L + 1);
    if (celdas > kMaxTextosIdioma) {
        f.falla(QStringLiteral("la tabla de textos de %1 × %2 × %3 entradas es demasiado grande "
                               "(más de %4 textos)")
                    .arg(*G + 1)
                    .arg(*N + 1)
                    .arg(*L + 1)
                    .arg(kMaxTextosIdioma));
        return false;
    }
    TablaTextos textos(*G, *N, *L);
    const bool ediccionMV = a.Edicion.startsWith(QStringLiteral("MV"));
    for (int g = 0; g <= *G; ++g) {
        const auto cabecera = f.item("la cabecera del grupo");
        if (!cabecera)
            return false;
        if (numeroDe(*cabecera) != g) {
            avisos.mensaje(a.Ruta + QStringLiteral("MVLANG.IAU Incorrecto") +
                               QStringLiteral("\n\n") + QString::number(g) +
                               QStringLiteral(" <> ") + *cabecera,
                           Avisos::Icono::Critico);
            return false;
        }
        int j = 0;
        for (;;) {
            const auto l1 = f.linea();
            if (!l1)
                return false;
            if (l1->left(3) == QStringLiteral("FIN"))
                break;
            const int lineaEntrada = f.lineaActual();
            const auto l2 = f.linea();
            const auto l3 = l2 ? f.linea() : std::nullopt;
            if (!l3)
                return false;
            const QString etiqueta = l1->mid(3, 2);
            if (ediccionMV && etiqueta != QStringLiteral("MV"))
                continue;
            if (!ediccionMV && etiqueta == QStringLiteral("KW")) {
                if (j == 0) {
                    avisos.mensaje(
                        a.Ruta + nombre +
                            QStringLiteral(
                                ", línea %1: una entrada \"KW\" no puede abrir el grupo %2"
                                "\n\nORT no puede iniciar.")
                                .arg(lineaEntrada)
                                .arg(g),
                        Avisos::Icono::Critico);
                    return false;
                }
                --j;
            }
            if (j > *N) {
                avisos.mensaje(a.Ruta + nombre +
                                   QStringLiteral(", línea %1: el grupo %2 tiene más entradas que "
                                                  "las %3 declaradas\n\nORT no puede iniciar.")
                                       .arg(lineaEntrada)
                                       .arg(g)
                                       .arg(*N + 1),
                               Avisos::Icono::Critico);
                return false;
            }
            const QString* lineas[] = {&*l1, &*l2, &*l3};
            for (int idioma = 1; idioma <= 3; ++idioma)
                textos.fija(g, j, idioma, lineas[idioma - 1]->mid(8));
            ++j;
        }
    }
    // What follows the last declared group is not read.
    a.Idioma = static_cast<qint16>(*idioma);
    a.Textos = std::move(textos);
    return true;
}

bool cargaTurnos(Ajustes& a, Avisos& avisos) {
    Lectura f(a.Ruta, QStringLiteral("MVTurn.IAU"), avisos);
    if (!f.abre())
        return false;
    const auto n = f.entero("el número de turnos");
    if (!n)
        return false;
    if (*n < 0) {
        f.falla(QStringLiteral("el número de turnos no puede ser negativo"));
        return false;
    }
    QStringList nombres(*n + 1);
    QList<qint16> fines(*n + 1, 0);
    for (int i = 1; i <= *n; ++i) {
        const auto nombre = f.item("el nombre del turno");
        const auto fin = nombre ? f.entero("el fin del turno") : std::nullopt;
        if (!fin)
            return false;
        nombres[i] = *nombre;
        fines[i] = static_cast<qint16>(*fin);
    }
    a.NumTurnos = static_cast<qint16>(*n);
    a.TurnoNombre = nombres;
    a.TurnoFin = fines;
    return true;
}

} // namespace

std::optional<Ajustes> cargaAjustes(const QString& directorioPrograma, Avisos& avisos) {
    Ajustes a;
    a.Ruta = RutaConBarra(directorioPrograma);
    a.ArchivoAyuda = a.Ruta + QStringLiteral("MTVX.HLP");

    const QString archivoClave = buscaArchivo(a.Ruta, QStringLiteral("MTVXPASS.IAU"));
    if (QFileInfo::exists(archivoClave)) {
        Lectura f(a.Ruta, QStringLiteral("MTVXPASS.IAU"), avisos);
        if (!f.abre())
            return std::nullopt;
        const QString cifrada = f.lector().item().value_or(QString());
        const auto clave = descifraClave(cifrada, avisos);
        if (!clave) {
            f.falla(clave.falla().descripcion);
            return std::nullopt;
        }
        a.ClaveBD = *clave;
    }
    if (!cargaDirectorio(a, avisos) || !cargaCompania(a, avisos) || !cargaIdioma(a, avisos) ||
        !cargaTurnos(a, avisos))
        return std::nullopt;
    return a;
}

} // namespace ort
