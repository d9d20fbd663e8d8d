#include "support/banco.h"
#include "ventanas/editor/editorcanales.h"
#include "ventanas/editor/enlace.h"
#include "ventanas/ventanamonitor.h"

#include <QtTest>
#include <QtWidgets>

using namespace ort;
using namespace ort::prueba;

namespace {

const char* kFilas =
    "INSERT INTO PUERTOS VALUES (1,'CALIB',0);"
    "INSERT INTO CANALES VALUES (1,1,'Diámetro exterior'),(1,7,'Largo');"
    "INSERT INTO CONF (Puert,Canal,Secue,Opera,Estac,Maqui,Produ,Forma,Carac,EAdic1,EAVal1,"
    "EAdic2,EAVal2) VALUES (1,1,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','LOTE','L-0042',"
    "'TEMP','21'),(1,1,2,'OP1','E1','TORNO1','EJE20','F1','LARGO','','','',''),"
    "(1,7,1,'ANA','E2','RECT1','BUJE8','F2','DIAM','','','','');";

struct Editor : Banco {
    bool listo;
    EditorCanales v;

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
    QString valor(const QString& sql) const { return valorSqlite(archivoConf, sql); }
    QStringList contexto() const {
        return {v.campoOpera->text(),     v.campoEstac->text(),     v.campoMaqui->text(),
                v.campoProdu->text(),     v.campoForma->text(),     v.campoCarac->text(),
                v.camposEAdic[1]->text(), v.camposEAVal[1]->text(), v.camposEAdic[2]->text(),
                v.camposEAVal[2]->text()};
    }
    QStringList columna(int c) const {
        QStringList r;
        for (int f = 0; f < v.lista->model()->rowCount(); ++f)
            r << v.lista->model()->index(f, c).data().toString();
        return r;
    }
    // Without a window manager nothing activates a window by itself.
    bool abre() { return v.show(), v.activateWindow(), QTest::qWaitForWindowActive(&v); }
    static bool entra(QLineEdit* c) {
        return c->setFocus(Qt::TabFocusReason),
               QTest::qWaitFor([c] { return c->hasFocus(); }, 2000);
    }
};

const auto escribe = [](QLineEdit* c, const QString& t) { c->clear(), QTest::keyClicks(c, t); };

} // namespace

class TstEditorCanales : public QObject {
    Q_OBJECT
private slots:
    // No rows: empty fields; a save without channel or sequence refused, a right one in effect.
    void abreSinFilasYGrabaLasTres() {
        Editor b(kFilas, 2);
        EditorCanales& v = b.v;
        b.t.puerto(2).TipoCon = "TCP/IP"; // a closed port's: cleared by the save
        QVERIFY(b.listo);
        QVERIFY(v.campoConex->text().isEmpty() && v.totalSecuencias->text() == "/ 0" &&
                b.contexto() == QStringList(10));
        QSignalSpy aceptado(&v, &QDialog::accepted);
        for (const auto& [canal, secuencia] : {std::pair{"", "1"}, {"0", "1"}, {"1", "-"}})
            escribe(v.campoCanal, canal), escribe(v.campoSecue, secuencia), v.cmdAceptar->click();
        const QString filas = "select (select count(*) from PUERTOS where Puert=2)+(select "
                              "count(*) from CANALES where "
                              "Puert=2)+(select count(*) from CONF where Puert=2)";
        QVERIFY(aceptado.isEmpty() && b.avisos.textos().filter("1 al 99").size() == 3 &&
                b.valor(filas) == "0");
        escribe(v.campoCanal, "1"), escribe(v.campoSecue, "1");
        v.campoConex->setText("TIMER: Puerto de prueba por reloj");
        escribe(v.campoDescr, "Canal nuevo");
        v.campoOpera->setText("ANA");
        v.campoCarac->setText("DIAM");
        v.cmdAceptar->click();
        QVERIFY(aceptado.count() == 1 && b.avisos.mensajes.size() == 3);
        QCOMPARE(
            b.valor("select (select Conex from PUERTOS where Puert=2)||'/'||Descr||'/'||(select "
                    "Opera||'/'||Carac||'/'||Estac from CONF where Puert=2) from CANALES where "
                    "Puert=2"),
            QString("TIMER/Canal nuevo/ANA/DIAM/"));
        QCOMPARE(b.t.puerto(2).Conex + b.t.puerto(2).TipoCon, QString("TIMER"));
    }

    // Loads as typed; picked keys saved bare and cut; longer stored values kept whole.
    void cargaYGraba() {
        Editor b;
        EditorCanales& v = b.v;
        QCOMPARE(
            QStringList({v.campoConex->text(), v.campoDescr->text(), v.totalSecuencias->text()}) +
                b.contexto(),
            QStringList({"CALIB", "Diámetro exterior", "/ 2", "OP1", "E1", "TORNO1", "EJE20", "F1",
                         "DIAM", "LOTE", "L-0042", "TEMP", "21"}));
        escribe(v.campoSecue, "2");
        QCOMPARE(v.campoCarac->text() + v.camposEAdic[1]->text(), QString("LARGO"));
        // Clearing the channel or typing 0 loads nothing; what is shown stays.
        v.campoCanal->clear();
        QTest::keyClicks(v.campoCanal, "0");
        QCOMPARE(v.campoCarac->text() + v.campoDescr->text(), QString("LARGODiámetro exterior"));
        escribe(v.campoCanal, "7");
        QCOMPARE(v.campoDescr->text() + v.totalSecuencias->text(),
                 QString("Largo/ 1"));           // the channel's count
        QCOMPARE(b.contexto(), QStringList(10)); // no sequence 2 on channel 7
        escribe(v.campoSecue, "1");
        QCOMPARE(v.campoOpera->text(), QString("ANA"));
        escribe(v.campoCanal, "12x"); // a number in front loads that number
        QCOMPARE(v.campoDescr->text() + v.campoOpera->text(), QString());
        escribe(v.campoCanal, "1"), escribe(v.campoSecue, "1");
        v.campoConex->setText("XRITE: Espectrofotómetro X-Rite");
        v.campoOpera->setText("ANA     : Ana Muñoz");
        v.campoEstac->setText("E2  : Rectificado");
        v.campoMaqui->setText("RECT1");
        v.campoProdu->setText("BUJE8           : Buje 8 mm");
        v.campoForma->setText("F2      : Plan de rectificado");
        v.campoCarac->setText("DIAM      : Diámetro");
        v.camposEAdic[2]->setText("LOTE      ");
        escribe(v.campoDescr, QString(31, u'x'));
        escribe(v.camposEAVal[1], "12345678901234567");
        escribe(v.camposEAdic[1], "ABCDEFGHIJ");
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
        QTest::keyClick(l.v.camposEAVal[1], 'Z'); // still no longer than it was
        l.v.cmdAceptar->click();
        QCOMPARE(l.valor("select EAdic1||'|'||EAVal1||'|'||(select Descr from CANALES) from CONF"),
                 "CARACT10XY|VALOR-DE-20-CARACTER|" + QString(40, u'd'));
        escribe(l.v.campoCanal, "2"); // another channel's short value gives the usual limit back
        QCOMPARE(l.v.camposEAVal[1]->maxLength(), 14);
    }

    // A refused save or deletion: said, nothing half-written, no transaction left open.
    void fallaDeLaBase_data() {
        QTest::addColumn<QString>("disparador");
        QTest::addColumn<bool>("elimina");
        // clang-format off
        QTest::addRow("save") << "BEFORE UPDATE ON CONF BEGIN SELECT RAISE(ABORT, 'bloqueada'); END" << false;
        QTest::addRow("delete") << "BEFORE DELETE ON CONF BEGIN SELECT RAISE(ABORT, 'bloqueada'); END" << true;
        // clang-format on
    }
    void fallaDeLaBase() {
        QFETCH(QString, disparador);
        QFETCH(bool, elimina);
        Editor b;
        QVERIFY(ejecutaSentencia(b.archivoConf, "CREATE TRIGGER falla " + disparador));
        b.v.campoConex->setText("XRITE");
        escribe(b.v.campoDescr, "otra");
        b.avisos.respuestasSiNo = {true};
        QSignalSpy aceptado(&b.v, &QDialog::accepted);
        (elimina ? b.v.bEliminar : b.v.cmdAceptar)->click();
        QVERIFY(aceptado.isEmpty() && b.avisos.textos().filter("bloqueada").size() == 1);
        QCOMPARE(b.valor("select Conex || '/' || (select Descr from CANALES where Puert=1 and "
                         "Canal=1) from PUERTOS where Puert=1"),
                 QString("CALIB/Diámetro exterior"));
        QCOMPARE(b.t.puerto(1).Conex, QString("CALIB"));
        QVERIFY(ejecutaSentencia(b.archivoConf, "DROP TRIGGER falla"));
        b.avisos.respuestasSiNo = {true};
        (elimina ? b.v.bEliminar : b.v.cmdAceptar)->click();
        QCOMPARE(aceptado.count(), 1);
        QCOMPARE(b.valor("select group_concat(Canal||'/'||Secue) from CONF"),
                 elimina ? "1/2,7/1" : "1/1,1/2,7/1");
        QCOMPARE(b.avisos.preguntas.size(), elimina ? 2 : 0);
    }

    // Opened modally from the monitor, acquisition going on; sequences recounted when it closes.
    void desdeElMonitor() {
        Editor b(QString(kFilas) + "INSERT INTO PUERTOS VALUES (4,'TIMER',-1);", 1);
        Adquisicion& a = b.adquisicion();
        a.Reinicia();
        QVERIFY(a.activo(4));
        VentanaMonitor monitor(a);
        enlazaConfiguracion(monitor, a);
        monitor.pestanas->setCurrentIndex(0);
        QString titulo;
        qsizetype lineas = -1;
        QTimer::singleShot(0, &monitor, [&] {
            auto* v = qobject_cast<EditorCanales*>(QApplication::activeModalWidget());
            titulo = v ? v->windowTitle() : QString();
            const qsizetype antes = a.log().lineas(4).size(); // the TIMER port goes on meanwhile
            a.temporizador().start(1);
            (void)QTest::qWaitFor([&] { return a.log().lineas(4).size() > antes; }, 1000);
            lineas = a.log().lineas(4).size() - antes;
            if (v) // sequence 9 of channel 7: counted as its second once closed
                v->campoCanal->setText("7"), v->campoSecue->setText("9"), v->cmdAceptar->click();
        });
        QTimer::singleShot(10000, &monitor, [] {
            if (auto* w = QApplication::activeModalWidget())
                w->close();
        });
        monitor.cmdConf->click();
        QVERIFY(titulo == "Configuración de la Conexión 1" && lineas > 0);
        QCOMPARE(b.valor("select group_concat(Secue) from CONF where Canal=7") +
                     QString::number(a.tablas().canal(1, 7).SecTotal),
                 QString("1,22"));
    }

    // Each picker lists the keys under the fields before it; an unreadable list is said.
    void cascada() {
        Editor b;
        EditorCanales& v = b.v;
        b.ajustes.StrConexion = cadenaJet(b.dir.ruta() + "bd/NOESTA.MDB", QString());
        QVERIFY(b.abre() && v.campoConex->hasFocus() && v.TablaActiva == "CNX" &&
                v.lista->model()->rowCount() == 0);
        QVERIFY2(v.lblFalla->isVisible() &&
                     v.lblFalla->text().startsWith("No se pudo leer la lista: "),
                 qPrintable(v.lblFalla->text()));
        QVERIFY(v.campoConex->text() == "CALIB" && b.avisos.mensajes.isEmpty());
        b.ajustes.StrConexion = cadenaJet(b.archivoMtvx, QString());
        QVERIFY(Editor::entra(v.campoCanal));
        auto cabecera = [&](const char* c) {
            return v.lista->model()
                ->headerData(v.resultado().columna(c), Qt::Horizontal)
                .toString();
        };
        // clang-format off
        struct Paso { QLineEdit* campo; QString tabla, titulo; QStringList claves; int fila; QString texto; int orden; };
        const Paso pasos[] = {
            {v.campoConex, "CNX", "Conexiones:", {"CALIB", "GSE01", "MUX10", "TABLA", "TIMER", "XRITE"}, 0, "CALIB: Calibre digital", 2},
            {v.campoOpera, "USU", "Operadores:", {"ANA", "LUIS", "OP1"}, 2, "OP1     : JUAN PEREZ", 5},
            {v.campoEstac, "EXU", "Estaciones de OP1: ", {"E1", "E2"}, 0, "E1  : Torneado", 7},
            {v.campoMaqui, "MXE", "Máquinas de E1: ", {"TORNO1"}, 0, "TORNO1  : Torno CNC 1", -1},
            {v.campoProdu, "PXM", "Productos de TORNO1: ", {"EJE20", "TUBO1"}, 0, "EJE20           : Eje 20 mm", -1},
            {v.campoForma, "FXP", "Formatos de EJE20: ", {"F1"}, 0, "F1      : Plan dimensional", -1},
            {v.campoCarac, "CXF", "Características de F1:", {"DIAM", "LARGO", "LOTE", "TEMP"}, 0, "DIAM      : Diámetro", 11},
            // The additional fields: positioned, but neither entering nor moving writes.
            {v.camposEAdic[1], "ADI1", "Características de F1:", {"DIAM", "LARGO", "LOTE", "TEMP"}, 2, "LOTE", -1},
        };
        // clang-format on
        for (const Paso& p : pasos) {
            QVERIFY(Editor::entra(p.campo));
            QCOMPARE(v.TablaActiva + v.tituloSelector->text(), p.tabla + p.titulo);
            QCOMPARE(b.columna(0), p.claves);
            QCOMPARE(v.lista->currentIndex().row(), p.fila);
            QCOMPARE(p.campo->text(), p.texto);
            QVERIFY(p.orden < 0 || v.ordenTab().indexOf(v.lista) == p.orden);
            QVERIFY(!v.lblFalla->isVisible());
        }
        QCOMPARE(b.columna(1), QStringList({"1", "2", "4", "3"}));
        QVERIFY(Editor::entra(v.campoConex)); // moving through a key's list fills the field
        QCOMPARE(cabecera("INSCLAVE") + cabecera("INSTIPOC") + cabecera("INSTABLA"),
                 QString("T61.1T61.3T61.14"));
        v.lista->setCurrentIndex(v.lista->model()->index(5, 0));
        QCOMPARE(v.campoConex->text(), QString("XRITE: Espectrofotómetro X-Rite"));
        QVERIFY(Editor::entra(v.camposEAdic[1]));
        v.lista->setCurrentIndex(v.lista->model()->index(3, 0));
        QCOMPARE(v.camposEAdic[1]->text() + v.campoCarac->text(),
                 QString("LOTEDIAM      : Diámetro"));
        // A value's field leaves the last picker as it was; the channel's own fields hide it.
        QVERIFY(Editor::entra(v.camposEAVal[2]) && v.lista->isVisible() && v.TablaActiva == "ADI1");
        QVERIFY(Editor::entra(v.campoCanal) && v.TablaActiva == "CANAL" && !v.lista->isVisible());
        v.cmdAceptar->click(); // the whole context saved: keys only
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(
            b.valor("select "
                    "Opera||'|'||Estac||'|'||Maqui||'|'||Produ||'|'||Forma||'|'||Carac||'|'||"
                    "EAdic1||'|'||(select Conex from PUERTOS) from CONF where Canal=1 and Secue=1"),
            QString("OP1|E1|TORNO1|EJE20|F1|DIAM|LOTE|XRITE"));
    }
};

QTEST_MAIN(TstEditorCanales)
#include "tst_editorcanales.moc"
