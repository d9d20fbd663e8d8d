#include "ports/tablacampos.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ort;

namespace {

const QString kArchivo = QStringLiteral("/prog/MX8.TID");

// The fields as "label position length characteristic", separated by "|".
QString Texto(const QList<CampoTabla>& campos) {
    QStringList r;
    for (const CampoTabla& c : campos)
        r << QStringLiteral("%1 %2 %3 %4")
                 .arg(c.etiqueta)
                 .arg(c.posicion)
                 .arg(c.longitud)
                 .arg(c.caracteristica);
    return r.join(u'|');
}

} // namespace

class TstTablaCampos : public QObject {
    Q_OBJECT
private slots:
    void interpreta_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("separador");
        QTest::addColumn<QString>("campos");
        // Each problem as "number@line" (line 0: the file as a whole).
        QTest::addColumn<QStringList>("problemas");
        QTest::addColumn<QString>("dice"); // what the first problem's text names

        // clang-format off
        QTest::addRow("title and two records") << "Balanza\nPeso,3,6,PESO\nTara,1,4,TARA\n" << -99 << "Peso 3 6 PESO|Tara 1 4 TARA" << QStringList{} << "";
        QTest::addRow("no final line end") << "Balanza\nPeso,3,6,PESO" << -99 << "Peso 3 6 PESO" << QStringList{} << "";
        QTest::addRow("CR LF lines") << "Balanza\r\nPeso,3,6,PESO\r\n" << -99 << "Peso 3 6 PESO" << QStringList{} << "";
        QTest::addRow("separator upper case") << "SEP=44\nBalanza\n,3,4,DIAM\n" << 44 << " 3 4 DIAM" << QStringList{} << "";
        QTest::addRow("separator lower case skips the next item") << "sep=44\nTitulo\nA,1,2,X\n" << 44 << "A 1 2 X" << QStringList{} << "";
        QTest::addRow("separator mixed case with blank") << "Sep= 9,Titulo\nA,1,2,X\n" << 9 << "A 1 2 X" << QStringList{} << "";
        QTest::addRow("SEP not first is a title") << "Titulo\nSEP=44,1,2,X\n" << -99 << "SEP=44 1 2 X" << QStringList{} << "";
        QTest::addRow("title of several items skips only the first") << "Balanza,Peso,3,6,PESO\n" << -99 << "Peso 3 6 PESO" << QStringList{} << "";
        QTest::addRow("record over several lines") << "T\nPeso\n3\n6\nPESO\n" << -99 << "Peso 3 6 PESO" << QStringList{} << "";
        QTest::addRow("quoted items keep commas") << "\"Tabla, 1\"\n\"P,1\",2,3,\"C 1\"\n" << -99 << "P,1 2 3 C 1" << QStringList{} << "";
        QTest::addRow("numbers with blanks, sign and decimals") << "T\nA, 2 ,-1,X\nB,2.5,3.5,Y\n" << -99 << "A 2 -1 X|B 2 4 Y" << QStringList{} << "";
        QTest::addRow("non-numeric position") << "T\nA,x,2,X\nB,1,2,Y\n" << -99 << "B 1 2 Y" << QStringList{"13@2"} << "";
        QTest::addRow("non-numeric length") << "T\nA,1,2mm,X\n" << -99 << "" << QStringList{"13@2"} << "";
        QTest::addRow("empty position") << "T\nA,,2,X\n" << -99 << "" << QStringList{"13@2"} << "";
        QTest::addRow("position beyond 16 bits") << "T\nA,40000,2,X\n" << -99 << "" << QStringList{"6@2"} << "";
        QTest::addRow("truncated last record") << "T\nA,1,2,X\nB,3\n" << -99 << "A 1 2 X" << QStringList{"62@3"} << "";
        QTest::addRow("trailing empty line") << "T\nA,1,2,X\n\n" << -99 << "A 1 2 X" << QStringList{"62@3"} << "";
        QTest::addRow("several trailing empty and blank lines") << "T\nA,1,2,X\n\n  \n\n\n\n" << -99 << "A 1 2 X" << QStringList{"62@3"} << "";
        QTest::addRow("truncated record and empty lines") << "T\nA,1\n\n" << -99 << "" << QStringList{"62@2", "62@3"} << "";
        QTest::addRow("empty file") << "" << -99 << "" << QStringList{"62@0"} << "";
        QTest::addRow("only a title") << "Balanza\n" << -99 << "" << QStringList{} << "";
        QTest::addRow("separator without title") << "SEP=44" << 44 << "" << QStringList{"62@1"} << "";
        QTest::addRow("separator's leading number") << "SEP=44 coma\nT\nA,1,2,X\n" << 44 << "A 1 2 X" << QStringList{} << "";
        QTest::addRow("separator not a number") << "SEP=coma\nT\nA,1,2,X\n" << -99 << "A 1 2 X" << QStringList{"13@1"} << "";
        QTest::addRow("names the length") << "T\nA,1,2,X\nB,1,dos,Y\n" << -99 << "A 1 2 X" << QStringList{"13@3"} << "la longitud del registro 2 no es un número: \"dos\"";
        QTest::addRow("names the position") << "T\nA,?,2,X\n" << -99 << "" << QStringList{"13@2"} << "la posición del registro 1";
        QTest::addRow("names the characteristic") << "T\nA,1,2" << -99 << "" << QStringList{"62@2"} << "la característica";
        // clang-format on
    }
    void interpreta() {
        QFETCH(QString, texto);
        QFETCH(int, separador);
        QFETCH(QString, campos);
        QFETCH(QStringList, problemas);
        QFETCH(QString, dice);
        const TablaCampos t = InterpretaTablaCampos(texto, kArchivo);
        QCOMPARE(int(t.separador), separador);
        QCOMPARE(Texto(t.campos), campos);
        QStringList vistos;
        for (const Falla& f : t.problemas) {
            QCOMPARE(f.fuente, QStringLiteral("TablaCampos"));
            QVERIFY2(f.descripcion.startsWith(kArchivo), qPrintable(f.descripcion));
            const auto m = QRegularExpression(QStringLiteral("línea (\\d+)")).match(f.descripcion);
            vistos << QStringLiteral("%1@%2").arg(f.numero).arg(m.hasMatch() ? m.captured(1) : "0");
        }
        QCOMPARE(vistos, problemas);
        QVERIFY2(t.problemas.isEmpty() || t.problemas.first().descripcion.contains(dice),
                 qPrintable(t.problemas.value(0).descripcion));
    }

    // The file named by the key, whatever its letter case, in Windows-1252.
    void archivo_data() {
        QTest::addColumn<QString>("nombreEnDisco");
        QTest::addColumn<QString>("conex");
        QTest::addColumn<QString>("campos");
        // clang-format off
        QTest::addRow("exact name") << "MX8.TID" << "MX8  " << "Diámetro 2 5 DIAM";
        QTest::addRow("other letter case") << "mx8.tid" << "MX8" << "Diámetro 2 5 DIAM";
        QTest::addRow("another key's file") << "MX8N.TID" << "MX8" << "";
        // clang-format on
    }
    void archivo() {
        QFETCH(QString, nombreEnDisco);
        QFETCH(QString, conex);
        QFETCH(QString, campos);
        QTemporaryDir dir;
        QFile f(dir.filePath(nombreEnDisco));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("SEP=59\nT\nDi\xe1metro,2,5,DIAM\n") > 0);
        f.close();
        const TablaCampos t = LeeTablaCampos(dir.path(), conex);
        QCOMPARE(Texto(t.campos), campos);
        QCOMPARE(t.separador, campos.isEmpty() ? kSinSeparador : qint16(59));
        QCOMPARE(t.problemas.size(), campos.isEmpty() ? 1 : 0);
        QVERIFY(!campos.isEmpty() || (t.problemas[0].numero == kFallaArchivoNoEncontrado &&
                                      t.problemas[0].descripcion.contains("MX8.TID")));
    }
};

QTEST_GUILESS_MAIN(TstTablaCampos)
#include "tst_tablacampos.moc"
