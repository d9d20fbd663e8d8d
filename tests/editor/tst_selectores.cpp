#include "bancoeditor.h"
#include "ventanas/editor/canal.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 1, channel 1, sequence 1 configured along the fixture plant.
const char* kFilas =
    "INSERT INTO PUERTOS VALUES (1,'CALIB',0);"
    "INSERT INTO CANALES VALUES (1,1,'Diámetro');"
    "INSERT INTO CONF (Puert,Canal,Secue,Opera,Estac,Maqui,Produ,Forma,Carac,EAdic1,EAVal1,"
    "EAdic2,EAVal2) VALUES (1,1,1,'OP1','E1','TORNO1','EJE20','F1','LARGO','LOTE','L-7','','');";

QStringList Columna(const Canal& v, int c) {
    QStringList r;
    const QAbstractItemModel* m = v.DBGrid1->model();
    for (int f = 0; f < m->rowCount(); ++f)
        r << m->index(f, c).data().toString();
    return r;
}

QStringList Cabeceras(const Canal& v) {
    QStringList r;
    const QAbstractItemModel* m = v.DBGrid1->model();
    for (int c = 0; c < m->columnCount(); ++c)
        r << m->headerData(c, Qt::Horizontal).toString();
    return r;
}

int FilaActual(const Canal& v) {
    const QModelIndex i = v.DBGrid1->currentIndex();
    return i.isValid() ? i.row() : -1;
}

// The user moves into a field, by the keyboard.
bool Entra(QLineEdit* campo) {
    campo->setFocus(Qt::TabFocusReason);
    return QTest::qWaitFor([campo] { return campo->hasFocus(); }, 2000);
}

bool Abre(Canal& v) {
    v.show();
    v.activateWindow(); // a display without a window manager activates nothing by itself
    return QTest::qWaitForWindowActive(&v);
}

} // namespace

class TstSelectores : public QObject {
    Q_OBJECT
private slots:
    void conexionesAlAbrir() {
        BancoEditor b(kFilas, 1);
        // A column of INS that the product does not name is listed too.
        QVERIFY(EjecutaSentencia(b.archivoMtvx, "ALTER TABLE INS ADD COLUMN INSNOTAS VARCHAR(20)"));
        Canal v(b.e, b.config, b.t);
        QCOMPARE(v.TablaActiva, QString());
        QVERIFY(Abre(v));
        // The first field in tab order gets the focus and shows its picker.
        QVERIFY(v.txtConex->hasFocus());
        QCOMPARE(v.TablaActiva, QString("CNX"));
        QCOMPARE(v.lblD1->text(), QString("Conexiones:"));
        QVERIFY(v.lblD1->isVisible() && v.DBGrid1->isVisible());
        QVERIFY(!v.lblFalla->isVisible());
        QCOMPARE(Columna(v, 0),
                 QStringList({"CALIB", "GSE01", "MUX10", "TABLA", "TIMER", "XRITE"}));
        // Captions go by field name, whatever the column's place; a column the product does not
        // name keeps its own name and the default width.
        QCOMPARE(v.DBGrid1->model()->columnCount(), 15);
        const int notas = v.resultado().columna("INSNOTAS");
        QVERIFY(notas >= 0);
        QCOMPARE(v.DBGrid1->model()->headerData(notas, Qt::Horizontal).toString(),
                 QString("INSNOTAS"));
        QCOMPARE(v.DBGrid1->columnWidth(notas),
                 v.DBGrid1->horizontalHeader()->defaultSectionSize());
        for (const auto& [campo, k] :
             {std::pair{"INSCLAVE", 1}, {"INSTIPOC", 3}, {"INSTCPPR", 11}, {"INSTABLA", 14}})
            QCOMPARE(v.DBGrid1->model()
                         ->headerData(v.resultado().columna(campo), Qt::Horizontal)
                         .toString(),
                     QString("T61.%1").arg(k));
        QVERIFY(v.DBGrid1->columnWidth(v.resultado().columna("INSDESCR")) >
                v.DBGrid1->columnWidth(v.resultado().columna("INSCLAVE")));
        // Positioned on the port's key, written back with its description.
        QCOMPARE(FilaActual(v), 0);
        QCOMPARE(v.txtConex->text(), QString("CALIB: Calibre digital"));
        QCOMPARE(v.ordenTab().indexOf(v.DBGrid1), 2);
        QCOMPARE(v.txtCanal->nextInFocusChain(), v.DBGrid1);
        // Moving through the list fills the field.
        v.DBGrid1->setCurrentIndex(v.DBGrid1->model()->index(5, 0));
        QCOMPARE(v.txtConex->text(), QString("XRITE: Espectrofotómetro X-Rite"));
    }

    // Each field's picker lists the keys under the fields before it, positioned on the field's
    // key, written back with its description; the list comes into the tab order after the field.
    void cascada() {
        BancoEditor b(kFilas, 1);
        Canal v(b.e, b.config, b.t);
        QVERIFY(Abre(v));
        struct Paso {
            QLineEdit* campo;
            QString tabla, titulo;
            QStringList claves, cabeceras;
            int fila;
            QString texto;
            int orden;
        };
        // clang-format off
        const Paso pasos[] = {
            {v.txtOpera, "USU", "Operadores:", {"ANA", "LUIS", "OP1"}, {"Clave", "Nombre"}, 2, "OP1     : JUAN PEREZ", 5},
            {v.txtEstac, "EXU", "Estaciones de OP1: ", {"E1", "E2"}, {"", "Estación"}, 0, "E1  : Torneado", 7},
            {v.txtMaqui, "MXE", "Máquinas de E1: ", {"TORNO1"}, {"Clave", "Máquina"}, 0, "TORNO1  : Torno CNC 1", -1},
            {v.txtProdu, "PXM", "Productos de TORNO1: ", {"EJE20", "TUBO1"}, {}, 0, "EJE20           : Eje 20 mm", -1},
            {v.txtForma, "FXP", "Formatos de EJE20: ", {"F1"}, {}, 0, "F1      : Plan dimensional", -1},
            {v.txtCarac, "CXF", "Características de F1:", {"DIAM", "LARGO", "LOTE", "TEMP"}, {"Clave", "Posic.", "Característica"}, 1, "LARGO     : Largo total", 11},
            // The additional fields: positioned, but neither entering nor moving writes.
            {v.txtEAdic[1], "ADI1", "Características de F1:", {"DIAM", "LARGO", "LOTE", "TEMP"}, {"Clave", "Posic.", "Característica"}, 2, "LOTE", -1},
        };
        // clang-format on
        for (const Paso& p : pasos) {
            QVERIFY(Entra(p.campo));
            QCOMPARE(v.TablaActiva, p.tabla);
            QCOMPARE(v.lblD1->text(), p.titulo);
            QCOMPARE(Columna(v, 0), p.claves);
            QCOMPARE(Cabeceras(v).mid(0, p.cabeceras.size()), p.cabeceras);
            QCOMPARE(FilaActual(v), p.fila);
            QCOMPARE(p.campo->text(), p.texto);
            if (p.orden >= 0)
                QCOMPARE(v.ordenTab().indexOf(v.DBGrid1), p.orden);
        }
        QCOMPARE(Columna(v, 1), QStringList({"1", "2", "4", "3"}));
        v.DBGrid1->setCurrentIndex(v.DBGrid1->model()->index(3, 0));
        QCOMPARE(v.txtEAdic[1]->text(), QString("LOTE"));
        QCOMPARE(v.txtCarac->text(), QString("LARGO     : Largo total"));
        // The whole context saved: keys only.
        v.cmdAceptar->click();
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(b.valor("select "
                         "Opera||'|'||Estac||'|'||Maqui||'|'||Produ||'|'||Forma||'|'||Carac||'|'||"
                         "EAdic1 from CONF"),
                 QString("OP1|E1|TORNO1|EJE20|F1|LARGO|LOTE"));
        QCOMPARE(b.valor("select Conex from PUERTOS"), QString("CALIB"));
    }
    void clicEnLaListaDeUnCampoAdicional() {
        BancoEditor b(kFilas, 1);
        Canal v(b.e, b.config, b.t);
        QVERIFY(Abre(v));
        QVERIFY(Entra(v.txtEAdic[2]));
        QCOMPARE(v.TablaActiva, QString("ADI2"));
        QCOMPARE(FilaActual(v), -1); // an empty field is found nowhere
        const QModelIndex temp = v.DBGrid1->model()->index(3, 2);
        QTest::mouseClick(v.DBGrid1->viewport(), Qt::LeftButton, {},
                          v.DBGrid1->visualRect(temp).center());
        QCOMPARE(v.txtEAdic[2]->text(), QString("TEMP      ")); // padded key, no description
        QCOMPARE(v.txtCarac->text(), QString("LARGO"));
        // Back in the characteristic field, a row change fills it and a click adds nothing.
        QVERIFY(Entra(v.txtCarac));
        QCOMPARE(v.txtCarac->text(), QString("LARGO     : Largo total"));
        const QModelIndex diam = v.DBGrid1->model()->index(0, 0);
        QTest::mouseClick(v.DBGrid1->viewport(), Qt::LeftButton, {},
                          v.DBGrid1->visualRect(diam).center());
        QCOMPARE(v.txtCarac->text(), QString("DIAM      : Diámetro"));
        QCOMPARE(v.txtEAdic[2]->text(), QString("TEMP      "));
        v.cmdAceptar->click();
        QCOMPARE(b.valor("select Carac||'|'||EAdic2 from CONF"), QString("DIAM|TEMP"));
    }

    void elCanalEscondeLaLista() {
        BancoEditor b(kFilas, 1);
        Canal v(b.e, b.config, b.t);
        QVERIFY(Abre(v));
        QVERIFY(Entra(v.txtOpera));
        QVERIFY(v.DBGrid1->isVisible());
        QVERIFY(Entra(v.txtCanal));
        QCOMPARE(v.TablaActiva, QString("CANAL"));
        QVERIFY(!v.DBGrid1->isVisible() && !v.lblD1->isVisible());
        for (QLineEdit* c : {v.txtSecue, v.txtDescr, v.txtEAVal[1]}) {
            QVERIFY(Entra(c));
            QCOMPARE(v.TablaActiva, QString("CANAL"));
            QVERIFY(!v.DBGrid1->isVisible());
        }
        // Those fields leave the last picker as it was.
        QVERIFY(Entra(v.txtForma));
        QVERIFY(Entra(v.txtEAVal[2]));
        QCOMPARE(v.TablaActiva, QString("FXP"));
        QVERIFY(v.DBGrid1->isVisible());
        QCOMPARE(v.lblD1->text(), QString("Formatos de EJE20: "));
    }

    void clavesPadre_data() {
        QTest::addColumn<QString>("campoPadre");
        QTest::addColumn<QString>("padre");
        QTest::addColumn<QString>("titulo");
        QTest::addColumn<QStringList>("claves");
        // clang-format off
        QTest::addRow("padded, described") << "txtOpera" << "OP1     : JUAN PEREZ" << "Estaciones de OP1: " << QStringList{"E1", "E2"};
        QTest::addRow("blanks around") << "txtOpera" << "  ANA " << "Estaciones de ANA: " << QStringList{"E2"};
        QTest::addRow("station cut at 4") << "txtEstac" << "E1XXXX" << "Máquinas de E1XX: " << QStringList{};
        QTest::addRow("station described") << "txtEstac" << "E2  : Rectificado" << "Máquinas de E2: " << QStringList{"RECT1"};
        QTest::addRow("quote is a value") << "txtOpera" << "O'P" << "Estaciones de O'P: " << QStringList{};
        QTest::addRow("empty parent") << "txtMaqui" << "" << "Productos de : " << QStringList{};
        QTest::addRow("format") << "txtForma" << "F2      : Plan de rectificado" << "Características de F2:" << QStringList{"DIAM"};
        // clang-format on
    }
    void clavesPadre() {
        QFETCH(QString, campoPadre);
        QFETCH(QString, padre);
        QFETCH(QString, titulo);
        QFETCH(QStringList, claves);
        BancoEditor b(QString(), 1);
        Canal v(b.e, b.config, b.t);
        QVERIFY(Abre(v));
        auto* campo = v.findChild<QLineEdit*>(campoPadre);
        QVERIFY(campo);
        campo->setText(padre);
        QLineEdit* hijo = campo == v.txtOpera   ? v.txtEstac
                          : campo == v.txtEstac ? v.txtMaqui
                          : campo == v.txtMaqui ? v.txtProdu
                                                : v.txtCarac;
        QVERIFY(Entra(hijo));
        QCOMPARE(v.lblD1->text(), titulo);
        QCOMPARE(Columna(v, 0), claves);
        QVERIFY(!v.lblFalla->isVisible());
        QCOMPARE(hijo->text(), QString()); // nothing to find, nothing written
    }

    void consultaFallida() {
        BancoEditor b(kFilas, 1);
        b.ajustes.StrConexion = CadenaJet(b.dir.ruta() + "bd/NOESTA.MDB", QString());
        Canal v(b.e, b.config, b.t);
        QVERIFY(Abre(v));
        QCOMPARE(v.TablaActiva, QString("CNX"));
        QCOMPARE(v.lblD1->text(), QString("Conexiones:"));
        QCOMPARE(v.DBGrid1->model()->rowCount(), 0);
        QVERIFY(v.lblFalla->isVisible());
        QVERIFY2(v.lblFalla->text().startsWith("No se pudo leer la lista: "),
                 qPrintable(v.lblFalla->text()));
        QCOMPARE(v.txtConex->text(), QString("CALIB"));
        QVERIFY(b.avisos.mensajes.isEmpty());
        // The window stays usable: other pickers, then a save.
        QVERIFY(Entra(v.txtOpera));
        QCOMPARE(v.TablaActiva, QString("USU"));
        QVERIFY(v.lblFalla->isVisible());
        // Once the database is there, the next picker lists again.
        b.ajustes.StrConexion = CadenaJet(b.archivoMtvx, QString());
        QVERIFY(Entra(v.txtEstac));
        QCOMPARE(Columna(v, 0), QStringList({"E1", "E2"}));
        QVERIFY(!v.lblFalla->isVisible());
        Escribe(v);
        QCOMPARE(b.valor("select Descr from CANALES"), QString("nuevo"));
    }

private:
    static void Escribe(Canal& v) {
        v.txtDescr->setText("nuevo");
        v.cmdAceptar->click();
    }
};

QTEST_MAIN(TstSelectores)
#include "tst_selectores.moc"
