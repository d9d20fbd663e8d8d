#include "startup/archivosproducto.h"
#include "support/fakes.h"
#include "support/programa.h"

#include <QTest>

using namespace ort;
using namespace ort::prueba;

namespace {
Entrada E(const QString& tag, const QString& t) {
    return Entrada{tag, {t, t + "-2", t + "-3"}};
}
} // namespace

class TstArchivosProducto : public QObject {
    Q_OBJECT
private slots:
    void instalacionJetCompleta() {
        DirPrograma d;
        d.productoJet();
        AvisosGrabados av;
        const auto a = CargaAjustes(d.ruta() + "  ", av);
        QVERIFY(a);
        QVERIFY2(av.mensajes.isEmpty(), qPrintable(av.textos().join("|")));
        QCOMPARE(a->Ruta, d.ruta());
        QCOMPARE(a->ArchivoAyuda, d.ruta() + "MTVX.HLP");
        QCOMPARE(a->NombreBase, QString("MTVX2005"));
        QCOMPARE(a->TipoBD, QString("[JET4]"));
        QCOMPARE(a->DirBD, d.ruta() + "bd/");
        QCOMPARE(a->DirDatos, d.ruta() + "datos/");
        QCOMPARE(a->ClaveBD, QString());
        // No password file: the string carries an empty password.
        QCOMPARE(a->StrConexion, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + d.ruta() +
                                     "bd/MTVX2005.MDB;Jet OLEDB:Database Password=;");
        QCOMPARE(a->Compania, QString("Planta de prueba"));
        QCOMPARE(a->texto(Textos::PreguntaClave), QString("Clave de la base de datos:"));
        QCOMPARE(a->texto(Textos::PuertoCaption), QString("Puerto "));
        QCOMPARE(a->texto(43, 99), QString()); // out of bounds reads empty
        QCOMPARE(a->texto(-1, 0), QString());
        QCOMPARE(a->NumTurnos, qint16(3));
        QCOMPARE(a->TurnoNombre, QStringList({"", "M", "T", "N"}));
        QCOMPARE(a->TurnoFin, QList<qint16>({0, 1400, 2200, 2400}));
    }

    void servidorYTipoDesconocido_data() {
        QTest::addColumn<QString>("direc");
        QTest::addColumn<QString>("cadena");
        QTest::newRow("server kind")
            << "[SQLSERVER],srv:5433,PLANTA,calidad\r\n"
            << "Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=srv:5433;User "
               "ID=calidad;Password=;Initial Catalog=PLANTA;";
        QTest::newRow("lower case kind is not recognised") << "[jet4],/a/,/b/\r\n"
                                                           << "";
        QTest::newRow("blank inside the kind") << "[JET4 ],/a/,/b/\r\n"
                                               << "";
    }
    void servidorYTipoDesconocido() {
        QFETCH(QString, direc);
        QFETCH(QString, cadena);
        DirPrograma d;
        d.productoJet();
        d.escribe("MVDirec.iau", direc);
        AvisosGrabados av;
        const auto a = CargaAjustes(d.ruta(), av);
        QVERIFY(a);
        QCOMPARE(a->StrConexion, cadena);
        QVERIFY(av.mensajes.isEmpty());
    }

    void clave_data() {
        QTest::addColumn<QString>("cifrada");
        QTest::addColumn<QString>("clave");
        QTest::addColumn<int>("avisos");
        // Position 1 shifts by 2, position 5 by 10; below 33 wraps up by 94 once.
        QTest::newRow("shift by position") << "CCCCM"
                                           << "A?=;C" << 0;
        QTest::newRow("wrap at position 1") << "!"
                                            << "}" << 0;
        // 34 - 2*40 = -46, +94 once = 48 ('0'); a second wrap would give 142.
        QTest::newRow("wraps only once") << QString(39, 'z') + "\"" << QString() << 0;
        QTest::newRow("blank is reported and decoded")
            << "A B" << QString("?") + QChar(32 - 4 + 94) + "<" << 1;
    }
    void clave() {
        QFETCH(QString, cifrada);
        QFETCH(QString, clave);
        QFETCH(int, avisos);
        AvisosGrabados av;
        const auto r = DescifraClave(cifrada, av);
        QVERIFY(r);
        if (!clave.isEmpty())
            QCOMPARE(*r, clave);
        else
            QCOMPARE(r->back(), QChar('0'));
        QCOMPARE(av.mensajes.size(), avisos);
        if (avisos)
            QCOMPARE(av.mensajes[0].texto, QString("El caracter [ ] no es admitido"));
    }

    void archivoDeClave() {
        DirPrograma d;
        d.productoJet();
        d.escribe("mtvxpass.iau", QString("\"CCCCM\"\r\n"));
        AvisosGrabados av;
        const auto a = CargaAjustes(d.ruta(), av);
        QVERIFY(a);
        QCOMPARE(a->ClaveBD, QString("A?=;C"));
        QVERIFY(a->StrConexion.endsWith("Jet OLEDB:Database Password=A?=;C;"));
    }

    void edicionesDelIdioma_data() {
        QTest::addColumn<QString>("edicion");
        QTest::addColumn<QStringList>("grupo0");
        QTest::addColumn<QStringList>("grupo1");
        QTest::newRow("MV edition takes only MV entries")
            << "MV2005" << QStringList{"a", "", ""} << QStringList{"", "", ""};
        // Elsewhere KW replaces the entry before it, and the next entry follows it.
        QTest::newRow("other edition")
            << "KW2005" << QStringList{"b", "c", ""} << QStringList{"", "", ""};
    }
    void edicionesDelIdioma() {
        QFETCH(QString, edicion);
        QFETCH(QStringList, grupo0);
        QFETCH(QStringList, grupo1);
        DirPrograma d;
        d.productoJet(edicion);
        QList<QList<Entrada>> grupos = {{E("MV", "a"), E("KW", "b"), E("  ", "c")}, {E("KW", "x")}};
        if (!edicion.startsWith("MV"))
            grupos[1] = {E("  ", "y")};
        d.escribe("MVLang.IAU", ArchivoIdioma(1, 1, 2, 3, grupos));
        AvisosGrabados av;
        const auto a = CargaAjustes(d.ruta(), av);
        QVERIFY2(a, qPrintable(av.textos().join("|")));
        for (int n = 0; n < 3; ++n)
            QCOMPARE(a->texto(0, n), grupo0[n]);
        if (edicion.startsWith("MV")) {
            for (int n = 0; n < 3; ++n)
                QCOMPARE(a->texto(1, n), grupo1[n]);
        } else {
            QCOMPARE(a->texto(1, 0), QString("y"));
        }
        QCOMPARE(a->Textos.texto(0, 0, 2),
                 edicion.startsWith("MV") ? QString("a-2") : QString("b-2"));
    }

    // Every bad input stops start-up with one report that says where.
    void entradaIncorrecta_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QByteArray>("contenido"); // empty: the file is removed
        QTest::addColumn<QString>("edicion");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("no MVDirec") << "MVDirec.iau" << QByteArray() << "MV"
                                    << "MVDirec.iau";
        QTest::newRow("no MVCompa") << "MVCompa.iau" << QByteArray() << "MV"
                                    << "MVCompa.iau";
        QTest::newRow("no MVLang") << "MVLang.IAU" << QByteArray() << "MV"
                                   << "MVLang.IAU";
        QTest::newRow("no MVTurn") << "MVTurn.IAU" << QByteArray() << "MV"
                                   << "MVTurn.IAU";
        QTest::newRow("truncated MVDirec") << "MVDirec.iau" << QByteArray("[JET4],/a/\r\n") << "MV"
                                           << "MVDirec.iau, línea 1";
        QTest::newRow("non-numeric count") << "MVLang.IAU" << QByteArray("1\r\n2,x,3\r\n") << "MV"
                                           << "MVLang.IAU, línea 2";
        QTest::newRow("wrong group header")
            << "MVLang.IAU"
            << ArchivoIdioma(1, 3, 2, 3, {{E("MV", "a")}, {E("MV", "b")}, {}})
                   .replace("\r\n2\r\n", "\r\n3\r\n")
                   .toUtf8()
            << "MV"
            << "MVLANG.IAU Incorrecto\n\n2 <> 3";
        QTest::newRow("more entries than declared")
            << "MVLang.IAU"
            << ArchivoIdioma(1, 0, 1, 3, {{E("MV", "a"), E("MV", "b"), E("MV", "c")}}).toUtf8()
            << "MV"
            << "MVLang.IAU, línea 10: el grupo 0 tiene más entradas";
        QTest::newRow("absurd table size")
            << "MVLang.IAU" << QByteArray("1\r\n30000,30000,3\r\n0\r\n") << "MV"
            << "MVLang.IAU, línea 2: la tabla de textos";
        QTest::newRow("header without a number")
            << "MVLang.IAU" << QByteArray("x\r\n0,0,3\r\n") << "MV"
            << "MVLang.IAU, línea 1";
        QTest::newRow("KW opens a group")
            << "MVLang.IAU" << ArchivoIdioma(1, 0, 1, 3, {{E("KW", "a")}}).toUtf8() << "KW"
            << "MVLang.IAU, línea 4: una entrada \"KW\"";
        QTest::newRow("shift end not a number")
            << "MVTurn.IAU" << QByteArray("1\r\n\"M\",doce\r\n") << "MV"
            << "MVTurn.IAU, línea 2";
        QTest::newRow("fewer shifts than declared")
            << "MVTurn.IAU" << QByteArray("2\r\n\"M\",1400\r\n") << "MV"
            << "MVTurn.IAU";
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
        QVERIFY(!CargaAjustes(d.ruta(), av));
        QCOMPARE(av.mensajes.size(), 1);
        QVERIFY2(av.mensajes[0].texto.contains(esperado), qPrintable(av.mensajes[0].texto));
        QCOMPARE(av.mensajes[0].icono, Avisos::Icono::Critico);
    }

    // Numbers are the items' leading numbers; what follows the declared groups is not read.
    void numerosYGruposDeMas() {
        DirPrograma d;
        d.productoJet();
        QString idioma =
            ArchivoIdioma(1, 1, 1, 3, {{E("MV", "a")}, {E("MV", "b")}, {E("MV", "c")}});
        idioma.replace("\r\n1\r\n001", "\r\n1.0\r\n001").replace("1\r\n1,1,3", "1 esp\r\n1,1,3");
        d.escribe("MVLang.IAU", idioma);
        d.escribe("MVTurn.IAU", QByteArray("1.0\r\n\"M\",1400 h\r\n"));
        AvisosGrabados av;
        const auto a = CargaAjustes(d.ruta(), av);
        QVERIFY2(a, qPrintable(av.textos().join("|")));
        QVERIFY(av.mensajes.isEmpty());
        QCOMPARE(a->Idioma, qint16(1));
        QCOMPARE(a->texto(1, 0), QString("b"));
        QCOMPARE(a->TurnoFin, QList<qint16>({0, 1400}));
    }

    void nombresEnOtraCajaYTextoWindows() {
        DirPrograma d;
        d.productoJet();
        d.borra("MVCompa.iau");
        d.escribe("MVCOMPA.IAU", QByteArray("\"Compa\xf1ia\",\"MV\",\"x\"\r\n"));
        AvisosGrabados av;
        const auto a = CargaAjustes(d.ruta(), av);
        QVERIFY(a);
        QCOMPARE(a->Compania, QString::fromUtf8("Compañia"));
    }
};

QTEST_GUILESS_MAIN(TstArchivosProducto)
#include "tst_archivosproducto.moc"
