// The channel editor: loading and saving a sequence's three rows, refusals, deletion, and the
// pickers that list each field's keys under the fields before it.
#include "support/banco.h"
#include "ventanas/editor/canal.h"
#include "ventanas/editor/enlace.h"
#include "ventanas/monitorwindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace ort;
using namespace ort::prueba;

namespace {

// Port 1: channel 1 with two sequences, channel 7 with one; port 2 without rows.
const char* kFilas =
    "INSERT INTO PUERTOS VALUES (1,'CALIB',0);"
    "INSERT INTO CANALES VALUES (1,1,'Diámetro exterior'),(1,7,'Largo');"
    "INSERT INTO CONF (Puert,Canal,Secue,Opera,Estac,Maqui,Produ,Forma,Carac,EAdic1,EAVal1,"
    "EAdic2,EAVal2) VALUES (1,1,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','LOTE','L-0042',"
    "'TEMP','21'),(1,1,2,'OP1','E1','TORNO1','EJE20','F1','LARGO','','','',''),"
    "(1,7,1,'ANA','E2','RECT1','BUJE8','F2','DIAM','','','','');";

// The configuration database with these rows and the fixture plant as the Metrovax database,
// loaded as the monitor leaves them; the editor of this port.
struct Editor : Banco {
    bool listo;
    Canal v;

    explicit Editor(const QString& filas = kFilas, int puerto = 1)
        : listo(prepara(filas, puerto))
        , v(e, config, t) {}
    bool prepara(const QString& filas, int puerto) {
        for (int k = 1; k <= 14; ++k)
            texto(61, k, QStringLiteral("T61.%1").arg(k));
        archivoConf = dir.ruta() + "ORTConf2005.mdb";
        archivoMtvx = dir.ruta() + "bd/MTVX2005.MDB";
        dir.escribe("bd/.keep", QByteArray());
        t.PuertoActual = puerto;
        const bool ok = mtvx() && conf(filas);
        config.IniMux(t);
        return ok;
    }
    QString valor(const QString& sql) const { return ValorSqlite(archivoConf, sql); }
    QStringList contexto() const {
        return {v.txtOpera->text(),    v.txtEstac->text(),    v.txtMaqui->text(),
                v.txtProdu->text(),    v.txtForma->text(),    v.txtCarac->text(),
                v.txtEAdic[1]->text(), v.txtEAVal[1]->text(), v.txtEAdic[2]->text(),
                v.txtEAVal[2]->text()};
    }
    QStringList columna(int c) const {
        QStringList r;
        for (int f = 0; f < v.DBGrid1->model()->rowCount(); ++f)
            r << v.DBGrid1->model()->index(f, c).data().toString();
        return r;
    }
    int fila() const {
        return v.DBGrid1->currentIndex().isValid() ? v.DBGrid1->currentIndex().row() : -1;
    }
    bool abre() {
        v.show();
        v.activateWindow(); // a display without a window manager activates nothing by itself
        return QTest::qWaitForWindowActive(&v);
    }
    // The user moves into a field by the keyboard.
    static bool entra(QLineEdit* campo) {
        campo->setFocus(Qt::TabFocusReason);
        return QTest::qWaitFor([campo] { return campo->hasFocus(); }, 2000);
    }
    void clic(int fila, int col) {
        QTest::mouseClick(v.DBGrid1->viewport(), Qt::LeftButton, {},
                          v.DBGrid1->visualRect(v.DBGrid1->model()->index(fila, col)).center());
    }
};

void Escribe(QLineEdit* campo, const QString& texto) {
    campo->clear();
    QTest::keyClicks(campo, texto);
}

} // namespace

class TstCanal : public QObject {
    Q_OBJECT
private slots:
    // A port without rows: titled after it, fields empty; a save writes the three rows and the
    // port's key is in effect at once.
    void abreSinFilasYGrabaLasTres() {
        Editor b(kFilas, 2);
        Canal& v = b.v;
        QVERIFY(b.listo);
        QCOMPARE(v.windowTitle(), QString("Configuración de la Conexión 2"));
        QCOMPARE(QStringList({v.txtCanal->text(), v.txtSecue->text(), v.txtConex->text(),
                              v.txtDescr->text(), v.Label2->text()}),
                 QStringList({"1", "1", "", "", "/ 0"}));
        QCOMPARE(b.contexto(), QStringList(10));
        v.txtConex->setText("TIMER: Puerto de prueba por reloj");
        Escribe(v.txtDescr, "Canal nuevo");
        v.txtOpera->setText("ANA");
        v.txtCarac->setText("DIAM");
        QSignalSpy aceptado(&v, &QDialog::accepted);
        v.cmdAceptar->click();
        QVERIFY(aceptado.count() == 1 && b.avisos.mensajes.isEmpty());
        QCOMPARE(b.valor("select (select Conex from PUERTOS where Puert=2) || '/' || Descr from "
                         "CANALES where Puert=2 and Canal=1"),
                 QString("TIMER/Canal nuevo"));
        QCOMPARE(b.valor("select Opera||'/'||Carac||'/'||Estac from CONF where Puert=2 and Canal=1 "
                         "and Secue=1"),
                 QString("ANA/DIAM/"));
        QCOMPARE(b.t.puerto(2).Conex, QString("TIMER"));
    }

    void cargaYNavega() {
        Editor b;
        Canal& v = b.v;
        QCOMPARE(QStringList({v.txtConex->text(), v.txtDescr->text(), v.Label2->text()}),
                 QStringList({"CALIB", "Diámetro exterior", "/ 2"}));
        QCOMPARE(b.contexto(), QStringList({"OP1", "E1", "TORNO1", "EJE20", "F1", "DIAM", "LOTE",
                                            "L-0042", "TEMP", "21"}));
        Escribe(v.txtSecue, "2");
        QCOMPARE(v.txtCarac->text() + v.txtEAdic[1]->text(), QString("LARGO"));
        // Clearing the channel or typing 0 loads nothing; what is shown stays.
        v.txtCanal->clear();
        QTest::keyClicks(v.txtCanal, "0");
        QCOMPARE(v.txtCarac->text() + v.txtDescr->text(), QString("LARGODiámetro exterior"));
        Escribe(v.txtCanal, "7");
        QCOMPARE(v.txtDescr->text() + v.Label2->text(), QString("Largo/ 1")); // the channel's count
        QCOMPARE(b.contexto(), QStringList(10)); // no sequence 2 on channel 7
        Escribe(v.txtSecue, "1");
        QCOMPARE(v.txtOpera->text(), QString("ANA"));
        // "12" typed into an empty channel loads channel 1, then 12; unsaved edits are lost.
        v.txtOpera->setText("editado");
        v.txtCanal->clear();
        QTest::keyClick(v.txtCanal, '1');
        QCOMPARE(v.txtOpera->text(), QString("OP1"));
        QTest::keyClick(v.txtCanal, '2');
        QCOMPARE(v.txtDescr->text() + v.txtOpera->text(), QString());
        Escribe(v.txtCanal, "7x"); // a number in front loads that number
        QCOMPARE(v.txtCanal->text() + v.txtDescr->text(), QString("7xLargo"));
    }

    // Picked keys are saved bare, cut to their columns; typed texts keep to the fields' sizes,
    // but stored values longer than those are shown and saved back whole.
    void clavesElegidasYTextosEnteros() {
        Editor b;
        Canal& v = b.v;
        v.txtConex->setText("XRITE: Espectrofotómetro X-Rite");
        v.txtOpera->setText("ANA     : Ana Muñoz");
        v.txtEstac->setText("E2  : Rectificado");
        v.txtMaqui->setText("RECT1");
        v.txtProdu->setText("BUJE8           : Buje 8 mm");
        v.txtForma->setText("F2      : Plan de rectificado");
        v.txtCarac->setText("DIAM      : Diámetro");
        v.txtEAdic[2]->setText("LOTE      ");
        Escribe(v.txtDescr, QString(31, u'x'));
        Escribe(v.txtEAVal[1], "12345678901234567");
        Escribe(v.txtEAdic[1], "ABCDEFGHIJ");
        v.cmdAceptar->click();
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(
            b.valor("select (select Conex from PUERTOS where Puert=1)||'|'||(select Descr from "
                    "CANALES where Puert=1 and "
                    "Canal=1)||'|'||Opera||'|'||Estac||'|'||Maqui||'|'||Produ||'|'||Forma||'|'||"
                    "Carac||'|'||EAdic1||'|'||EAVal1||'|'||EAdic2 from CONF where Puert=1 and "
                    "Canal=1 and Secue=1"),
            "XRITE|" + QString(30, u'x') +
                "|ANA|E2|RECT1|BUJE8|F2|DIAM|ABCDEFGH|12345678901234|LOTE");
        QCOMPARE(b.t.puerto(1).Conex, QString("XRITE"));

        Editor l("INSERT INTO CANALES VALUES (1,1,'" + QString(40, u'd') +
                 "'); INSERT INTO CONF (Puert,Canal,Secue,EAdic1,EAVal1) VALUES "
                 "(1,1,1,'CARACT10XY','VALOR-DE-20-CARACTER');");
        QTest::keyClick(l.v.txtEAVal[1], 'Z'); // still no longer than it was
        l.v.cmdAceptar->click();
        QCOMPARE(l.valor("select EAdic1||'|'||EAVal1||'|'||(select Descr from CANALES) from CONF"),
                 "CARACT10XY|VALOR-DE-20-CARACTER|" + QString(40, u'd'));
        Escribe(l.v.txtCanal, "2"); // another channel's short value gives the usual limit back
        QCOMPARE(l.v.txtEAVal[1]->maxLength(), 14);
    }

    void grabacionRechazada_data() {
        QTest::addColumn<QString>("canal");
        QTest::addColumn<QString>("secuencia");
        // clang-format off
        QTest::addRow("empty channel") << "" << "1";
        QTest::addRow("channel 0") << "0" << "1";
        QTest::addRow("non-numeric channel") << "ab" << "1";
        QTest::addRow("sequence 0") << "1" << "0";
        QTest::addRow("non-numeric sequence") << "1" << "-";
        QTest::addRow("negative") << "-1" << "1";
        // clang-format on
    }
    void grabacionRechazada() {
        QFETCH(QString, canal);
        QFETCH(QString, secuencia);
        Editor b(QString(), 1);
        Escribe(b.v.txtCanal, canal);
        Escribe(b.v.txtSecue, secuencia);
        QSignalSpy aceptado(&b.v, &QDialog::accepted);
        b.v.cmdAceptar->click();
        QCOMPARE(aceptado.count(), 0);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.startsWith("Canal. CmdAceptar.\n\n") &&
                b.avisos.mensajes[0].texto.contains("1 al 99"));
        QCOMPARE(b.valor("select (select count(*) from PUERTOS) + (select count(*) from CANALES) + "
                         "(select count(*) from CONF)"),
                 QString("0"));
    }

    // A save or a deletion that the database refuses: said with the window's name (a save with
    // the database's too) and the error; the window stays open, nothing is half-written.
    void fallaDeLaBase_data() {
        QTest::addColumn<QString>("disparador");
        QTest::addColumn<bool>("elimina");
        QTest::addColumn<QString>("titulo");
        QTest::addColumn<QString>("error");
        // clang-format off
        QTest::addRow("save") << "BEFORE UPDATE ON CONF BEGIN SELECT RAISE(ABORT, 'CONF bloqueada'); END" << false << "Canal. CmdAceptar.\n\n@\n" << "CONF bloqueada";
        QTest::addRow("delete") << "BEFORE DELETE ON CONF BEGIN SELECT RAISE(ABORT, 'no se borra'); END" << true << "Canal. bEliminar.\n\n" << "no se borra";
        // clang-format on
    }
    void fallaDeLaBase() {
        QFETCH(QString, disparador);
        QFETCH(bool, elimina);
        QFETCH(QString, titulo);
        QFETCH(QString, error);
        Editor b;
        QVERIFY(EjecutaSentencia(b.archivoConf, "CREATE TRIGGER falla " + disparador));
        b.v.txtConex->setText("XRITE");
        Escribe(b.v.txtDescr, "otra");
        b.avisos.respuestasSiNo = {true};
        QSignalSpy aceptado(&b.v, &QDialog::accepted);
        (elimina ? b.v.bEliminar : b.v.cmdAceptar)->click();
        QCOMPARE(aceptado.count(), 0);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        const QString m = b.avisos.mensajes[0].texto;
        QVERIFY2(m.startsWith(titulo.replace("@", b.archivoConf)) && m.contains(".- ") &&
                     m.contains(error),
                 qPrintable(m));
        QCOMPARE(b.avisos.mensajes[0].icono, Avisos::Icono::Exclamacion);
        QCOMPARE(b.valor("select Conex || '/' || (select Descr from CANALES where Puert=1 and "
                         "Canal=1) from PUERTOS where Puert=1"),
                 QString("CALIB/Diámetro exterior"));
        QCOMPARE(b.t.puerto(1).Conex, QString("CALIB"));
    }

    // The connection type of the port's runtime entry: cleared on a save, kept while the port
    // is open for its closing.
    void tipoDeConexionDeUnPuertoAbierto_data() {
        QTest::addColumn<bool>("activo");
        QTest::addRow("closed port: cleared") << false;
        QTest::addRow("open port: kept") << true;
    }
    void tipoDeConexionDeUnPuertoAbierto() {
        QFETCH(bool, activo);
        Editor b;
        b.t.puerto(1).TipoCon = "TCP/IP";
        b.t.puerto(1).Activo = activo;
        b.v.txtConex->setText("GSE01");
        b.v.cmdAceptar->click();
        QCOMPARE(b.t.puerto(1).Conex + b.t.puerto(1).TipoCon,
                 activo ? QString("GSE01TCP/IP") : QString("GSE01"));
    }

    void elimina_data() {
        QTest::addColumn<QString>("canal");
        QTest::addColumn<QString>("secuencia");
        QTest::addColumn<bool>("respuesta");
        QTest::addColumn<bool>("cierra");
        QTest::addColumn<QString>("quedan"); // CONF rows left, as channel/sequence
        // clang-format off
        QTest::addRow("No keeps everything") << "1" << "2" << false << false << "1/1,1/2,7/1";
        QTest::addRow("Yes on a missing row") << "1" << "3" << true << false << "1/1,1/2,7/1";
        QTest::addRow("Yes deletes") << "1" << "2" << true << true << "1/1,7/1";
        QTest::addRow("a channel's only one") << "7" << "1" << true << true << "1/1,1/2";
        // clang-format on
    }
    void elimina() {
        QFETCH(QString, canal);
        QFETCH(QString, secuencia);
        QFETCH(bool, respuesta);
        QFETCH(bool, cierra);
        QFETCH(QString, quedan);
        Editor b;
        Escribe(b.v.txtCanal, canal);
        Escribe(b.v.txtSecue, secuencia);
        b.avisos.respuestasSiNo = {respuesta};
        QSignalSpy aceptado(&b.v, &QDialog::accepted);
        b.v.bEliminar->click();
        QCOMPARE(b.avisos.preguntas, QStringList{"¿Está seguro que desea eliminar la secuencia " +
                                                 secuencia + " del canal " + canal + "?"});
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(aceptado.count(), cierra ? 1 : 0);
        // The channels and the port keep their rows.
        QCOMPARE(b.valor("select group_concat(Canal||'/'||Secue) || ' ' || (select count(*) from "
                         "CANALES) || (select count(*) from PUERTOS) from (select * from CONF "
                         "order by Canal, Secue)"),
                 quedan + " 21");
        QCOMPARE(b.config.buscaConf(1, canal.toInt(), secuencia.toInt()) != nullptr,
                 !cierra && secuencia != "3");
    }

    void cancela() {
        Editor b;
        for (bool cajaDeCierre : {false, true}) {
            Canal v(b.e, b.config, b.t);
            v.show();
            QVERIFY(QTest::qWaitForWindowExposed(&v));
            Escribe(v.txtDescr, "no se guarda");
            QSignalSpy rechazado(&v, &QDialog::rejected);
            cajaDeCierre ? void(v.close()) : v.cmdCancelar->click();
            QCOMPARE(rechazado.count(), 1);
        }
        QCOMPARE(b.valor("select Descr from CANALES where Puert=1 and Canal=1"),
                 QString("Diámetro exterior"));
        QVERIFY(b.avisos.preguntas.isEmpty() && b.avisos.mensajes.isEmpty());
    }

    // The monitor opens the editor modally for the selected tab's port; acquisition goes on
    // while it is open, and the sequences are counted again once it closes.
    void desdeElMonitor() {
        Editor b(QString(kFilas) + "INSERT INTO PUERTOS VALUES (4,'TIMER',-1);", 1);
        Adquisicion& a = b.adquisicion();
        a.Reinicia();
        QVERIFY(a.activo(4));
        DAM monitor(a);
        EnlazaConfiguracion(monitor, a);
        monitor.SSTab1->setCurrentIndex(0);
        QString titulo;
        qsizetype lineas = -1;
        QTimer::singleShot(0, &monitor, [&] {
            auto* v = qobject_cast<Canal*>(QApplication::activeModalWidget());
            if (!v)
                return;
            titulo = v->windowTitle();
            // The TIMER port is served by the polling timer while the editor waits.
            const qsizetype antes = a.log().lineas(4).size();
            a.temporizador().start(1);
            for (int i = 0; i < 500 && a.log().lineas(4).size() == antes; ++i)
                QTest::qWait(2);
            a.temporizador().stop();
            lineas = a.log().lineas(4).size() - antes;
            v->txtCanal->setText("7"); // sequence 9 of channel 7: counted as its second once closed
            v->txtSecue->setText("9");
            v->cmdAceptar->click();
        });
        QTimer::singleShot(10000, &monitor, [] {
            if (auto* w = QApplication::activeModalWidget())
                w->close();
        });
        monitor.cmdConf->click();
        QCOMPARE(titulo, QString("Configuración de la Conexión 1"));
        QVERIFY(lineas > 0);
        QCOMPARE(b.valor("select group_concat(Secue) from CONF where Puert=1 and Canal=7"),
                 QString("1,2"));
        QCOMPARE(int(a.tablas().canal(1, 7).SecTotal), 2);
    }

    // On opening, the first field has the focus and its picker. Each field's picker lists the
    // keys under the fields before it, positioned on the field's key, written back with its
    // description; the list comes into the tab order after the field, and moving through it
    // fills the field. Captions go by field name; a column the product does not name is listed
    // with its own name and the default width.
    void cascada() {
        Editor b;
        Canal& v = b.v;
        QVERIFY(EjecutaSentencia(b.archivoMtvx, "ALTER TABLE INS ADD COLUMN INSNOTAS VARCHAR(20)"));
        QVERIFY(v.TablaActiva.isEmpty() && b.abre() && v.txtConex->hasFocus());
        QVERIFY(v.DBGrid1->isVisible() && !v.lblFalla->isVisible());
        QStringList cabeceras;
        for (const char* c : {"INSCLAVE", "INSTIPOC", "INSTCPPR", "INSTABLA", "INSNOTAS"})
            cabeceras << v.DBGrid1->model()
                             ->headerData(v.resultado().columna(c), Qt::Horizontal)
                             .toString();
        QCOMPARE(cabeceras, QStringList({"T61.1", "T61.3", "T61.11", "T61.14", "INSNOTAS"}));
        QCOMPARE(v.DBGrid1->columnWidth(v.resultado().columna("INSNOTAS")),
                 v.DBGrid1->horizontalHeader()->defaultSectionSize());
        struct Paso {
            QLineEdit* campo;
            QString tabla, titulo;
            QStringList claves;
            QString cabecera;
            int fila;
            QString texto;
            int orden;
        };
        // clang-format off
        const Paso pasos[] = {
            {v.txtConex, "CNX", "Conexiones:", {"CALIB", "GSE01", "MUX10", "TABLA", "TIMER", "XRITE"}, "", 0, "CALIB: Calibre digital", 2},
            {v.txtOpera, "USU", "Operadores:", {"ANA", "LUIS", "OP1"}, "Clave", 2, "OP1     : JUAN PEREZ", 5},
            {v.txtEstac, "EXU", "Estaciones de OP1: ", {"E1", "E2"}, "", 0, "E1  : Torneado", 7},
            {v.txtMaqui, "MXE", "Máquinas de E1: ", {"TORNO1"}, "Clave", 0, "TORNO1  : Torno CNC 1", -1},
            {v.txtProdu, "PXM", "Productos de TORNO1: ", {"EJE20", "TUBO1"}, "", 0, "EJE20           : Eje 20 mm", -1},
            {v.txtForma, "FXP", "Formatos de EJE20: ", {"F1"}, "", 0, "F1      : Plan dimensional", -1},
            {v.txtCarac, "CXF", "Características de F1:", {"DIAM", "LARGO", "LOTE", "TEMP"}, "Posic.", 0, "DIAM      : Diámetro", 11},
            // The additional fields: positioned, but neither entering nor moving writes.
            {v.txtEAdic[1], "ADI1", "Características de F1:", {"DIAM", "LARGO", "LOTE", "TEMP"}, "Posic.", 2, "LOTE", -1},
        };
        // clang-format on
        for (const Paso& p : pasos) {
            QVERIFY(Editor::entra(p.campo));
            QCOMPARE(v.TablaActiva + v.lblD1->text(), p.tabla + p.titulo);
            QCOMPARE(b.columna(0), p.claves);
            if (!p.cabecera.isEmpty())
                QCOMPARE(v.DBGrid1->model()
                             ->headerData(p.cabecera == "Posic." ? 1 : 0, Qt::Horizontal)
                             .toString(),
                         p.cabecera);
            QCOMPARE(b.fila(), p.fila);
            QCOMPARE(p.campo->text(), p.texto);
            QVERIFY(p.orden < 0 || v.ordenTab().indexOf(v.DBGrid1) == p.orden);
        }
        QCOMPARE(b.columna(1), QStringList({"1", "2", "4", "3"}));
        QVERIFY(Editor::entra(v.txtConex)); // moving through a key's list fills the field
        v.DBGrid1->setCurrentIndex(v.DBGrid1->model()->index(5, 0));
        QCOMPARE(v.txtConex->text(), QString("XRITE: Espectrofotómetro X-Rite"));
        QVERIFY(Editor::entra(v.txtEAdic[1]));
        v.DBGrid1->setCurrentIndex(v.DBGrid1->model()->index(3, 0));
        QCOMPARE(v.txtEAdic[1]->text() + v.txtCarac->text(), QString("LOTEDIAM      : Diámetro"));
        // A value's field leaves the last picker as it was; the channel's own fields hide it.
        QVERIFY(Editor::entra(v.txtEAVal[2]) && v.DBGrid1->isVisible() && v.TablaActiva == "ADI1");
        for (QLineEdit* c : {v.txtCanal, v.txtSecue, v.txtDescr, v.txtEAVal[1]}) {
            QVERIFY(Editor::entra(c));
            QVERIFY(v.TablaActiva == "CANAL" && !v.DBGrid1->isVisible() && !v.lblD1->isVisible());
        }
        v.cmdAceptar->click(); // the whole context saved: keys only
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(
            b.valor("select "
                    "Opera||'|'||Estac||'|'||Maqui||'|'||Produ||'|'||Forma||'|'||Carac||'|'||"
                    "EAdic1||'|'||(select Conex from PUERTOS) from CONF where Canal=1 and Secue=1"),
            QString("OP1|E1|TORNO1|EJE20|F1|DIAM|LOTE|XRITE"));
    }

    // A click in an additional field's list writes the padded key alone; in the
    // characteristic's, a row change fills it and the click adds nothing.
    void clicEnLaLista() {
        Editor b;
        QVERIFY(b.abre() && Editor::entra(b.v.txtEAdic[2]));
        QCOMPARE(b.v.TablaActiva, QString("ADI2"));
        QCOMPARE(b.fila(), 3);
        b.clic(2, 2);
        QCOMPARE(b.v.txtEAdic[2]->text() + b.v.txtCarac->text(), QString("LOTE      DIAM"));
        QVERIFY(Editor::entra(b.v.txtCarac));
        b.clic(1, 0);
        QCOMPARE(b.v.txtCarac->text() + b.v.txtEAdic[2]->text(),
                 QString("LARGO     : Largo totalLOTE      "));
        b.v.cmdAceptar->click();
        QCOMPARE(b.valor("select Carac||'|'||EAdic2 from CONF where Canal=1 and Secue=1"),
                 QString("LARGO|LOTE"));
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
        Editor b(QString(), 1);
        Canal& v = b.v;
        QVERIFY(b.abre());
        auto* campo = v.findChild<QLineEdit*>(campoPadre);
        campo->setText(padre);
        QLineEdit* hijo = campo == v.txtOpera   ? v.txtEstac
                          : campo == v.txtEstac ? v.txtMaqui
                          : campo == v.txtMaqui ? v.txtProdu
                                                : v.txtCarac;
        QVERIFY(Editor::entra(hijo));
        QCOMPARE(v.lblD1->text(), titulo);
        QCOMPARE(b.columna(0), claves);
        QVERIFY(!v.lblFalla->isVisible());
        QCOMPARE(hijo->text(), QString()); // nothing to find, nothing written
        QVERIFY(b.fila() < 0);
    }

    // A list that cannot be read is said on the window, which stays usable; once the database
    // is there, the next picker lists again.
    void consultaFallida() {
        Editor b;
        Canal& v = b.v;
        b.ajustes.StrConexion = CadenaJet(b.dir.ruta() + "bd/NOESTA.MDB", QString());
        QVERIFY(b.abre());
        QCOMPARE(v.TablaActiva + v.lblD1->text(), QString("CNXConexiones:"));
        QCOMPARE(v.DBGrid1->model()->rowCount(), 0);
        QVERIFY2(v.lblFalla->isVisible() &&
                     v.lblFalla->text().startsWith("No se pudo leer la lista: "),
                 qPrintable(v.lblFalla->text()));
        QCOMPARE(v.txtConex->text(), QString("CALIB"));
        QVERIFY(b.avisos.mensajes.isEmpty());
        QVERIFY(Editor::entra(v.txtOpera));
        QVERIFY(v.TablaActiva == "USU" && v.lblFalla->isVisible());
        b.ajustes.StrConexion = CadenaJet(b.archivoMtvx, QString());
        QVERIFY(Editor::entra(v.txtEstac));
        QCOMPARE(v.DBGrid1->model()->rowCount(), 2);
        QVERIFY(!v.lblFalla->isVisible());
        v.txtDescr->setText("nuevo");
        v.cmdAceptar->click();
        QCOMPARE(b.valor("select Descr from CANALES where Canal=1"), QString("nuevo"));
    }
};

QTEST_MAIN(TstCanal)
#include "tst_canal.moc"
