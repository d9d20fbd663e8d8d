#include "qualitydb/basecalidad.h"

#include "basedatos/columnas.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace ort {

QVariant Filas::valor(int fila, const QString& columna) const {
    const int i = this->columna(columna);
    if (fila < 0 || fila >= filas.size() || i < 0 || i >= filas[fila].size())
        return {};
    return filas[fila][i];
}

// One statement: the SQL with "?" for values, the product's own wording with "…" for values (for
// messages), and the table each result column comes from (for its defined size).
struct BaseCalidad::Sentencia {
    const char* sql;
    const char* mostrado;
    QList<QPair<const char*, const char*>> origen; // column → table
};

namespace {

using S = QList<QPair<const char*, const char*>>;

const S kColumnasINS = {{"INSCLAVE", "INS"}, {"INSDESCR", "INS"}, {"INSTIPOC", "INS"},
                        {"INSRMTIP", "INS"}, {"INSTCPPR", "INS"}, {"INSBAUDI", "INS"},
                        {"INSPARID", "INS"}, {"INSBDATO", "INS"}, {"INSBPARO", "INS"},
                        {"INSBUFFE", "INS"}, {"INSRCVTH", "INS"}, {"INSINICI", "INS"},
                        {"INSTERMI", "INS"}, {"INSTABLA", "INS"}};

QString muestra(const char* mostrado, const QStringList& valores) {
    QString t = QString::fromUtf8(mostrado);
    for (const QString& v : valores)
        t.replace(t.indexOf(QStringLiteral("…")), 1, v);
    return t;
}

} // namespace

Resultado<Filas> BaseCalidad::ejecuta(const Sentencia& s, const QStringList& valores) {
    sentencia_ = muestra(s.mostrado, valores);
    if (!c_.abierta())
        return Falla{QStringLiteral("ORT"), errbd::kGeneral,
                     QStringLiteral("La base de datos de Metrovax no está abierta.")};
    QSqlQuery q(c_.db());
    q.setForwardOnly(true);
    if (!q.prepare(adaptaSql(QString::fromUtf8(s.sql), c_.motor())))
        return Falla{c_.db().driverName(), errbd::kGeneral, q.lastError().text()};
    for (const QString& v : valores)
        q.addBindValue(v);
    if (!q.exec())
        return Falla{c_.db().driverName(), errbd::kGeneral, q.lastError().text()};
    Filas r;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        r.columnas << rec.fieldName(i).toUpper();
    while (q.next()) {
        QVariantList fila;
        for (int i = 0; i < rec.count(); ++i)
            fila << q.value(i);
        r.filas << fila;
    }
    for (const QString& col : r.columnas) {
        int tam = 0;
        // "*" stands for every column of its table.
        for (const auto& [columna, tabla] : s.origen)
            if (col == QLatin1String(columna) || qstrcmp(columna, "*") == 0)
                tam = tamanoColumna(c_, QLatin1String(tabla), col);
        r.tamanos << tam;
    }
    return r;
}

Resultado<Filas> BaseCalidad::registroINS(const QString& clave) {
    static const Sentencia s{
        "Select INSCLAVE, INSDESCR, INSTIPOC, INSRMTIP, INSTCPPR, INSBAUDI, INSPARID, INSBDATO, "
        "INSBPARO, INSBUFFE, INSRCVTH, INSINICI, INSTERMI, INSTABLA from INS "
        "where UPPER(RTRIM(INSCLAVE)) = UPPER(?) order by INSCLAVE",
        "INSCLAVE = '…'", kColumnasINS};
    return ejecuta(s, {clave});
}

Resultado<Filas> registroINS(Entorno& e, const QString& clave) {
    Conexion c;
    static_cast<void>(OpenDBOK(e.ajustes.StrConexion, c, e));
    return BaseCalidad(c).registroINS(clave);
}

Resultado<Filas> BaseCalidad::todosINS() {
    // Every column, those the product does not name included (the picker shows them all).
    static const Sentencia s{"Select * from INS order by INSCLAVE",
                             "Select * from INS order by INSCLAVE",
                             {{"*", "INS"}}};
    return ejecuta(s, {});
}

Resultado<Filas> BaseCalidad::operadores() {
    static const Sentencia s{"Select USUCLAVE,USUDESCR from USU order by USUCLAVE",
                             "Select USUCLAVE,USUDESCR from USU order by USUCLAVE",
                             {{"USUCLAVE", "USU"}, {"USUDESCR", "USU"}}};
    return ejecuta(s, {});
}

Resultado<Filas> BaseCalidad::estacionesDe(const QString& operador) {
    static const Sentencia s{
        "Select EXUESTAC, ESTDESC1 from EXU inner join EST on EXU.EXUESTAC = EST.ESTCLAVE "
        "where RTRIM(EXUUSUAR) like ? order by EXUESTAC",
        "Select EXUESTAC, ESTDESC1 from EXU inner join EST on EXU.EXUESTAC = EST.ESTCLAVE "
        "where RTRIM(EXUUSUAR) like '…' order by EXUESTAC",
        {{"EXUESTAC", "EXU"}, {"ESTDESC1", "EST"}}};
    return ejecuta(s, {operador});
}

Resultado<Filas> BaseCalidad::maquinasDe(const QString& estacion) {
    static const Sentencia s{
        "Select MXEMAQUI, MAQDESC1 from MXE inner join MAQ on MXE.MXEMAQUI = MAQ.MAQCLAVE "
        "where RTRIM(MXEESTAC) like ? order by MXEMAQUI",
        "Select MXEMAQUI, MAQDESC1 from MXE inner join MAQ on MXE.MXEMAQUI = MAQ.MAQCLAVE "
        "where RTRIM(MXEESTAC) like '…' order by MXEMAQUI",
        {{"MXEMAQUI", "MXE"}, {"MAQDESC1", "MAQ"}}};
    return ejecuta(s, {estacion});
}

Resultado<Filas> BaseCalidad::productosDe(const QString& maquina) {
    static const Sentencia s{
        "Select PXMPRODU, PRODESC1 from PXM inner join PRO on PXM.PXMPRODU = PRO.PROCLAVE "
        "where RTRIM(PXMMAQUI) like ? order by PXMPRODU",
        "Select PXMPRODU, PRODESC1 from PXM inner join PRO on PXM.PXMPRODU = PRO.PROCLAVE "
        "where RTRIM(PXMMAQUI) like '…' order by PXMPRODU",
        {{"PXMPRODU", "PXM"}, {"PRODESC1", "PRO"}}};
    return ejecuta(s, {maquina});
}

Resultado<Filas> BaseCalidad::formatosDe(const QString& producto) {
    static const Sentencia s{
        "Select FXPFORMA, FRMDESC1 from FXP inner join FRM on FXP.FXPFORMA = FRM.FRMCLAVE "
        "where RTRIM(FXPPRODU) like ? order by FXPFORMA",
        "Select FXPFORMA, FRMDESC1 from FXP inner join FRM on FXP.FXPFORMA = FRM.FRMCLAVE "
        "where RTRIM(FXPPRODU) like '…' order by FXPFORMA",
        {{"FXPFORMA", "FXP"}, {"FRMDESC1", "FRM"}}};
    return ejecuta(s, {producto});
}

Resultado<Filas> BaseCalidad::caracteristicasDe(const QString& formato) {
    static const Sentencia s{
        "Select CXFCARAC,CXFPOSIC,CARDESC1 from CXF inner join CAR on CXF.CXFCARAC = CAR.CARCLAVE "
        "where RTRIM(CXFFORMA) like ? order by CXFCARAC",
        "Select CXFCARAC,CXFPOSIC,CARDESC1 from CXF inner join CAR on CXF.CXFCARAC = CAR.CARCLAVE "
        "where RTRIM(CXFFORMA) like '…' order by CXFCARAC",
        {{"CXFCARAC", "CXF"}, {"CXFPOSIC", "CXF"}, {"CARDESC1", "CAR"}}};
    return ejecuta(s, {formato});
}

Resultado<Filas> BaseCalidad::producto(const QString& clave) {
    static const Sentencia s{"Select PROCLAVE, PRODESC1, PRODESC2 from PRO where PROCLAVE = ?",
                             "Select PROCLAVE, PRODESC1, PRODESC2 from PRO where PROCLAVE = '…'",
                             {{"PROCLAVE", "PRO"}, {"PRODESC1", "PRO"}, {"PRODESC2", "PRO"}}};
    return ejecuta(s, {clave});
}

Resultado<Filas> BaseCalidad::operador(const QString& clave) {
    static const Sentencia s{"Select USUCLAVE, USUDESCR from USU where USUCLAVE = ?",
                             "Select USUCLAVE, USUDESCR from USU where USUCLAVE = '…'",
                             {{"USUCLAVE", "USU"}, {"USUDESCR", "USU"}}};
    return ejecuta(s, {clave});
}

Resultado<Filas> BaseCalidad::limites(const QString& maquina, const QString& producto,
                                      const QString& caracteristica) {
    static const Sentencia s{
        // Keys padded with blanks match, on either engine, as the product's engines compared
        // text.
        "Select CXPLINFC,CXPLSUPC from CXP where RTRIM(CXPMAQUI)=RTRIM(?) and "
        "RTRIM(CXPPRODU)=RTRIM(?) and RTRIM(CXPCARAC)=RTRIM(?)",
        "Select CXPLINFC,CXPLSUPC from CXP where CXPMAQUI='…' and CXPPRODU='…' and CXPCARAC='…'",
        {}};
    return ejecuta(s, {maquina, producto, caracteristica});
}

} // namespace ort
