#include "basedatos/conexion.h"
#include "startup/archivosproducto.h"
#include "support/fakes.h"
#include "support/programa.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {
Entrada e(const QString& tag, const QString& t) {
    return Entrada{tag, {t, t + "-2", t + "-3"}};
}
} // namespace

class TstArchivosProducto : public QObject {
    Q_OBJECT
private slots:
    void carga_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QByteArray>("contenido");
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("valor");
        // clang-format off
        QTest::addRow("directory") << "" << QByteArray() << "Ruta" << "%R";
        QTest::addRow("data directory") << "" << QByteArray() << "DirDatos" << "%Rdatos/";
        QTest::addRow("file string") << "" << QByteArray() << "data source" << "%Rbd/MTVX2005.MDB";
        QTest::addRow("no password file") << "" << QByteArray() << "jet oledb:database password" << "";
        QTest::addRow("company") << "" << QByteArray() << "Compania" << "Planta de prueba";
        QTest::addRow("password prompt") << "" << QByteArray() << "0 81" << "Clave de la base de datos:";
        QTest::addRow("port caption") << "" << QByteArray() << "43 1" << "Puerto ";
        QTest::addRow("out of bounds") << "" << QByteArray() << "43 99" << "";
        QTest::addRow("negative group") << "" << QByteArray() << "-1 0" << "";
        QTest::addRow("shifts") << "" << QByteArray() << "turnos" << "3:,M,T,N:0,1400,2200,2400";
        QTest::addRow("server kind") << "MVDirec.iau" << QByteArray("[SQLSERVER],srv:5433,PLANTA,calidad\r\n") << "initial catalog" << "PLANTA";
        QTest::addRow("lower-case kind unknown") << "MVDirec.iau" << QByteArray("[jet4],/a/,/b/\r\n") << "StrConexion" << "";
        QTest::addRow("blank inside the kind") << "MVDirec.iau" << QByteArray("[JET4 ],/a/,/b/\r\n") << "StrConexion" << "";
        QTest::addRow("password file") << "mtvxpass.iau" << QByteArray("\"CCCCM\"\r\n") << "ClaveBD" << "A?=;C";
        QTest::addRow("password in the string") << "mtvxpass.iau" << QByteArray("\"CCCCM\"\r\n") << "jet oledb:database password" << "A?=;C";
        QTest::addRow("name in upper case, Windows text") << "MVCOMPA.IAU" << QByteArray("\"Compa\xf1ia\",\"MV\",\"x\"\r\n") << "Compania" << "Compañia";
        QTest::addRow("leading numbers, groups beyond") << "MVLang.IAU" << archivoIdioma(1, 1, 1, 3, {{e("MV", "a")}, {e("MV", "b")}, {e("MV", "c")}}).replace("\r\n1\r\n001", "\r\n1.0\r\n001").replace("1\r\n1,1,3", "1 esp\r\n1,1,3").toUtf8() << "1 0" << "b";
        QTest::addRow("leading number of an item") << "MVTurn.IAU" << QByteArray("1.0\r\n\"M\",1400 h\r\n") << "turnos" << "1:,M:0,1400";
        // clang-format on
    }
    void carga() {
        QFETCH(QString, archivo);
        QFETCH(QByteArray, contenido);
        QFETCH(QString, campo);
        QFETCH(QString, valor);
        DirPrograma d;
        d.productoJet();
        if (archivo == "MVCOMPA.IAU")
            d.borra("MVCompa.iau");
        if (!archivo.isEmpty())
            d.escribe(archivo, contenido);
        AvisosGrabados av;
        const auto a = cargaAjustes(d.ruta() + "  ", av);
        QVERIFY(a);
        QVERIFY2(av.mensajes.isEmpty(), qPrintable(av.textos().join("|")));
        QStringList fines;
        for (qint16 f : a->TurnoFin)
            fines << QString::number(f);
        const QStringList c = campo.split(u' ');
        const QString v = campo == "Ruta"          ? a->Ruta
                          : campo == "DirDatos"    ? a->DirDatos
                          : campo == "Compania"    ? a->Compania
                          : campo == "ClaveBD"     ? a->ClaveBD
                          : campo == "StrConexion" ? a->StrConexion
                          : campo == "turnos"      ? QString("%1:%2:%3")
                                                    .arg(a->NumTurnos)
                                                    .arg(a->TurnoNombre.join(','), fines.join(','))
                          : c.size() == 2 && c[1][0].isDigit()
                              ? a->texto(c[0].toInt(), c[1].toInt())
                          : campo.endsWith('=') ? a->StrConexion.section(campo, 1)
                                                : valorCadena(a->StrConexion, campo);
        QCOMPARE(v, QString(valor).replace("%R", d.ruta()));
    }

    void clave_data() {
        QTest::addColumn<QString>("cifrada");
        QTest::addColumn<QString>("clave");
        QTest::addColumn<int>("avisos");
        // clang-format off
        QTest::addRow("shift by position") << "CCCCM" << "A?=;C" << 0;
        QTest::addRow("wrap at position 1") << "!" << "}" << 0;
        QTest::addRow("wraps only once") << QString(39, 'z') + "\"" << QString() << 0;
        QTest::addRow("blank is reported and decoded") << "A B" << QString("?") + QChar(32 - 4 + 94) + "<" << 1;
        // clang-format on
    }
    void clave() {
        QFETCH(QString, cifrada);
        QFETCH(QString, clave);
        QFETCH(int, avisos);
        AvisosGrabados av;
        const auto r = descifraClave(cifrada, av);
        QVERIFY(r);
        QCOMPARE(clave.isEmpty() ? QString(r->back()) : *r, clave.isEmpty() ? "0" : clave);
        QCOMPARE(av.textos(), QStringList(avisos, "El caracter [ ] no es admitido"));
    }

    void entradaIncorrecta_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QByteArray>("contenido"); // empty: the file is removed
        QTest::addColumn<QString>("edicion");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("no MVDirec") << "MVDirec.iau" << QByteArray() << "MV" << "MVDirec.iau";
        QTest::addRow("no MVLang") << "MVLang.IAU" << QByteArray() << "MV" << "MVLang.IAU";
        QTest::addRow("truncated MVDirec") << "MVDirec.iau" << QByteArray("[JET4],/a/\r\n") << "MV" << "MVDirec.iau, línea 1";
        QTest::addRow("non-numeric count") << "MVLang.IAU" << QByteArray("1\r\n2,x,3\r\n") << "MV" << "MVLang.IAU, línea 2";
        QTest::addRow("wrong group header") << "MVLang.IAU" << archivoIdioma(1, 3, 2, 3, {{e("MV", "a")}, {e("MV", "b")}, {}}) .replace("\r\n2\r\n", "\r\n3\r\n") .toUtf8() << "MV" << "MVLANG.IAU Incorrecto\n\n2 <> 3";
        QTest::addRow("more entries than declared") << "MVLang.IAU" << archivoIdioma(1, 0, 1, 3, {{e("MV", "a"), e("MV", "b"), e("MV", "c")}}).toUtf8() << "MV" << "MVLang.IAU, línea 10: el grupo 0 tiene más entradas";
        QTest::addRow("absurd table size") << "MVLang.IAU" << QByteArray("1\r\n30000,30000,3\r\n0\r\n") << "MV" << "MVLang.IAU, línea 2: la tabla de textos";
        QTest::addRow("KW opens a group") << "MVLang.IAU" << archivoIdioma(1, 0, 1, 3, {{e("KW", "a")}}).toUtf8() << "KW" << "MVLang.IAU, línea 4: una entrada \"KW\"";
        QTest::addRow("shift end not a number") << "MVTurn.IAU" << QByteArray("1\r\n\"M\",doce\r\n") << "MV" << "MVTurn.IAU, línea 2";
        QTest::addRow("fewer shifts than declared") << "MVTurn.IAU" << QByteArray("2\r\n\"M\",1400\r\n") << "MV" << "MVTurn.IAU";
        // clang-format on
    }
    void entradaIncorrecta() {
        QFETCH(QString, archivo);
        QFETCH(QByteArray, contenido);
        QFETCH(QString, edicion);
        QFETCH(QString, esperado);
        DirPrograma d;
        d.productoJet(edicion);
        if (contenido.isEmpty())
            d.borra(archivo);
        else
            d.escribe(archivo, contenido);
        AvisosGrabados av;
        QVERIFY(!cargaAjustes(d.ruta(), av));
        QCOMPARE(av.mensajes.size(), 1);
        QVERIFY2(av.mensajes[0].texto.contains(esperado), qPrintable(av.mensajes[0].texto));
        QCOMPARE(av.mensajes[0].icono, Avisos::Icono::Critico);
    }
};

QTEST_GUILESS_MAIN(TstArchivosProducto)
#include "tst_archivosproducto.moc"
