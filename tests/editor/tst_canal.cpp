#include "bancoeditor.h"
#include "monitor/adquisicion.h"
#include "support/grabadorfalso.h"
#include "support/puertofalso.h"
#include "ventanas/editor/canal.h"
#include "ventanas/editor/enlace.h"
#include "ventanas/monitorwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
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

QStringList Contexto(const Canal& v) {
    return {v.txtOpera->text(),    v.txtEstac->text(),    v.txtMaqui->text(),
            v.txtProdu->text(),    v.txtForma->text(),    v.txtCarac->text(),
            v.txtEAdic[1]->text(), v.txtEAVal[1]->text(), v.txtEAdic[2]->text(),
            v.txtEAVal[2]->text()};
}

void Escribe(QLineEdit* campo, const QString& texto) {
    campo->clear();
    QTest::keyClicks(campo, texto);
}

} // namespace

class TstCanal : public QObject {
    Q_OBJECT
private slots:
    // Titled after its port; every caption fits its place whatever the default font's width;
    // the tab order goes through the fields, then the buttons, the list last.
    void ventana() {
        BancoEditor b(kFilas, 3);
        QVERIFY(b.listo);
        Canal v(b.e, b.config, b.t);
        QCOMPARE(v.windowTitle(), QString("Configuración de la Conexión 3"));
        for (const QLabel* e : v.Label1)
            QVERIFY2(e->fontMetrics().horizontalAdvance(e->text()) <= e->width(),
                     qPrintable(e->text()));
        const QList<QWidget*> orden = v.ordenTab();
        QCOMPARE(orden.size(), 31);
        QCOMPARE(orden[0], v.txtConex);
        QCOMPARE(orden[13], v.txtEAVal[2]);
        QCOMPARE(orden[16], v.cmdCancelar);
        QCOMPARE(orden[30], v.DBGrid1);
        QCOMPARE(v.txtConex->nextInFocusChain(), v.txtCanal);
        QCOMPARE(v.txtEAVal[2]->nextInFocusChain(), v.cmdAceptar);
        QCOMPARE(v.txtCanal->maxLength(), 2);
        QCOMPARE(v.txtSecue->maxLength(), 2);
    }

    void abreSinFilasYGrabaLasTres() {
        BancoEditor b(kFilas, 2);
        Canal v(b.e, b.config, b.t);
        QCOMPARE(v.txtCanal->text(), QString("1"));
        QCOMPARE(v.txtSecue->text(), QString("1"));
        QCOMPARE(v.txtConex->text(), QString());
        QCOMPARE(v.txtDescr->text(), QString());
        QCOMPARE(Contexto(v), QStringList(10));
        QCOMPARE(v.Label2->text(), QString("/ 0"));

        v.txtConex->setText("TIMER: Puerto de prueba por reloj");
        Escribe(v.txtDescr, "Canal nuevo");
        v.txtOpera->setText("ANA");
        v.txtCarac->setText("DIAM");
        QSignalSpy aceptado(&v, &QDialog::accepted);
        v.cmdAceptar->click();
        QCOMPARE(aceptado.count(), 1);
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(b.valor("select Conex from PUERTOS where Puert=2"), QString("TIMER"));
        QCOMPARE(b.valor("select Descr from CANALES where Puert=2 and Canal=1"),
                 QString("Canal nuevo"));
        QCOMPARE(b.valor("select Opera||'/'||Carac||'/'||Estac from CONF where Puert=2 and "
                         "Canal=1 and Secue=1"),
                 QString("ANA/DIAM/"));
        // The port's key is in effect at once, its connection type is found again on opening.
        QCOMPARE(b.t.puerto(2).Conex, QString("TIMER"));
        QCOMPARE(b.t.puerto(2).TipoCon, QString());
    }

    void cargaYNavega() {
        BancoEditor b(kFilas, 1);
        Canal v(b.e, b.config, b.t);
        QCOMPARE(v.txtConex->text(), QString("CALIB"));
        QCOMPARE(v.txtDescr->text(), QString("Diámetro exterior"));
        QCOMPARE(v.Label2->text(), QString("/ 2"));
        const QStringList primera = {"OP1",  "E1",   "TORNO1", "EJE20", "F1",
                                     "DIAM", "LOTE", "L-0042", "TEMP",  "21"};
        QCOMPARE(Contexto(v), primera);
        Escribe(v.txtSecue, "2");
        QCOMPARE(v.txtCarac->text(), QString("LARGO"));
        QCOMPARE(v.txtEAdic[1]->text(), QString());
        // Clearing the channel or typing 0 loads nothing; what is shown stays.
        v.txtCanal->clear();
        QCOMPARE(v.txtCarac->text(), QString("LARGO"));
        QTest::keyClicks(v.txtCanal, "0");
        QCOMPARE(v.txtDescr->text(), QString("Diámetro exterior"));
        Escribe(v.txtCanal, "7");
        QCOMPARE(v.txtDescr->text(), QString("Largo"));
        QCOMPARE(v.Label2->text(), QString("/ 1")); // the channel's count, whatever the sequence
        QCOMPARE(Contexto(v), QStringList(10));     // no sequence 2 on channel 7
        Escribe(v.txtSecue, "1");
        QCOMPARE(v.txtOpera->text(), QString("ANA"));
        // "12" typed into an empty channel loads channel 1 after the first key, 12 after the
        // second; unsaved edits are lost on a reload.
        v.txtOpera->setText("editado");
        v.txtCanal->clear();
        QTest::keyClick(v.txtCanal, '1');
        QCOMPARE(v.txtOpera->text(), QString("OP1"));
        QTest::keyClick(v.txtCanal, '2');
        QCOMPARE(v.txtDescr->text(), QString());
        QCOMPARE(v.txtOpera->text(), QString());
        // A text with a number in front loads that number.
        Escribe(v.txtCanal, "7x");
        QCOMPARE(v.txtCanal->text(), QString("7x"));
        QCOMPARE(v.txtDescr->text(), QString("Largo"));
    }

    void clavesElegidasYTextosEnteros() {
        BancoEditor b(kFilas, 1);
        Canal v(b.e, b.config, b.t);
        v.txtConex->setText("XRITE: Espectrofotómetro X-Rite");
        v.txtOpera->setText("ANA     : Ana Muñoz");
        v.txtEstac->setText("E2  : Rectificado");
        v.txtMaqui->setText("RECT1"); // typed bare, shorter than its column
        v.txtProdu->setText("BUJE8           : Buje 8 mm");
        v.txtForma->setText("F2      : Plan de rectificado");
        v.txtCarac->setText("DIAM      : Diámetro");
        v.txtEAdic[2]->setText("LOTE      ");
        // A description of 30 characters is kept whole; the field takes no more.
        Escribe(v.txtDescr, QString(31, u'x'));
        QCOMPARE(v.txtDescr->text(), QString(30, u'x'));
        Escribe(v.txtEAVal[1], "12345678901234567");
        QCOMPARE(v.txtEAVal[1]->text(), QString("12345678901234"));
        Escribe(v.txtEAdic[1], "ABCDEFGHIJ");
        QCOMPARE(v.txtEAdic[1]->text(), QString("ABCDEFGH"));
        v.cmdAceptar->click();
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(b.valor("select Conex from PUERTOS where Puert=1"), QString("XRITE"));
        QCOMPARE(b.valor("select Descr from CANALES where Puert=1 and Canal=1"), QString(30, u'x'));
        QCOMPARE(b.valor("select Opera||'|'||Estac||'|'||Maqui||'|'||Produ||'|'||Forma||'|'||"
                         "Carac||'|'||EAdic1||'|'||EAVal1||'|'||EAdic2 from CONF "
                         "where Puert=1 and Canal=1 and Secue=1"),
                 QString("ANA|E2|RECT1|BUJE8|F2|DIAM|ABCDEFGH|12345678901234|LOTE"));
        QCOMPARE(b.t.puerto(1).Conex, QString("XRITE"));
    }

    void valoresGuardadosMasLargosQueLoTecleable() {
        // Stored values longer than what may be typed are shown and saved back whole.
        BancoEditor b("INSERT INTO CANALES VALUES (1,1,'" + QString(40, u'd') +
                          "');"
                          "INSERT INTO CONF (Puert,Canal,Secue,EAdic1,EAVal1) VALUES "
                          "(1,1,1,'CARACT10XY','VALOR-DE-20-CARACTER');",
                      1);
        Canal v(b.e, b.config, b.t);
        QCOMPARE(v.txtDescr->text(), QString(40, u'd'));
        QCOMPARE(v.txtEAdic[1]->text(), QString("CARACT10XY"));
        QCOMPARE(v.txtEAVal[1]->text(), QString("VALOR-DE-20-CARACTER"));
        QTest::keyClick(v.txtEAVal[1], 'Z'); // still no longer than it was
        QCOMPARE(v.txtEAVal[1]->text(), QString("VALOR-DE-20-CARACTER"));
        v.cmdAceptar->click();
        QCOMPARE(b.valor("select EAdic1||'|'||EAVal1 from CONF"),
                 QString("CARACT10XY|VALOR-DE-20-CARACTER"));
        QCOMPARE(b.valor("select Descr from CANALES"), QString(40, u'd'));
        // Another channel's short value gives the field its usual limit back.
        Canal w(b.e, b.config, b.t);
        Escribe(w.txtCanal, "2");
        QCOMPARE(w.txtEAVal[1]->maxLength(), 14);
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
        BancoEditor b(QString(), 1);
        Canal v(b.e, b.config, b.t);
        Escribe(v.txtCanal, canal);
        Escribe(v.txtSecue, secuencia);
        QSignalSpy aceptado(&v, &QDialog::accepted);
        v.cmdAceptar->click();
        QCOMPARE(aceptado.count(), 0);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        QVERIFY(b.avisos.mensajes[0].texto.startsWith("Canal. CmdAceptar.\n\n"));
        QVERIFY(b.avisos.mensajes[0].texto.contains("1 al 99"));
        for (const char* tabla : {"PUERTOS", "CANALES", "CONF"})
            QCOMPARE(b.valor(QString("select count(*) from ") + tabla), QString("0"));
    }

    // A save or a deletion that the database refuses: said with the window's name (a save with
    // the database's too) and the error; the window stays open and the port's key is not changed.
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
        BancoEditor b(kFilas, 1);
        QVERIFY(EjecutaSentencia(b.archivoConf, "CREATE TRIGGER falla " + disparador));
        Canal v(b.e, b.config, b.t);
        v.txtConex->setText("XRITE");
        Escribe(v.txtDescr, "otra");
        b.avisos.respuestasSiNo = {true};
        QSignalSpy aceptado(&v, &QDialog::accepted);
        (elimina ? v.bEliminar : v.cmdAceptar)->click();
        QCOMPARE(aceptado.count(), 0);
        QCOMPARE(b.avisos.mensajes.size(), 1);
        const QString m = b.avisos.mensajes[0].texto;
        QVERIFY2(m.startsWith(titulo.replace("@", b.archivoConf)) && m.contains(".- ") &&
                     m.contains(error),
                 qPrintable(m));
        QCOMPARE(b.avisos.mensajes[0].icono, Avisos::Icono::Exclamacion);
        // Nothing half-written, in the database nor in the runtime entry.
        QCOMPARE(b.valor("select Conex || '/' || (select Descr from CANALES where Puert=1 and "
                         "Canal=1) from PUERTOS where Puert=1"),
                 QString("CALIB/Diámetro exterior"));
        QCOMPARE(b.t.puerto(1).Conex, QString("CALIB"));
    }
    void tipoDeConexionDeUnPuertoAbierto_data() {
        QTest::addColumn<bool>("activo");
        QTest::addRow("closed port: cleared") << false;
        QTest::addRow("open port: kept for closing") << true;
    }
    void tipoDeConexionDeUnPuertoAbierto() {
        QFETCH(bool, activo);
        BancoEditor b(kFilas, 1);
        b.t.puerto(1).TipoCon = "TCP/IP";
        b.t.puerto(1).Activo = activo;
        Canal v(b.e, b.config, b.t);
        v.txtConex->setText("GSE01");
        v.cmdAceptar->click();
        QCOMPARE(b.t.puerto(1).Conex, QString("GSE01"));
        QCOMPARE(b.t.puerto(1).TipoCon, activo ? QString("TCP/IP") : QString());
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
        BancoEditor b(kFilas, 1);
        Canal v(b.e, b.config, b.t);
        Escribe(v.txtCanal, canal);
        Escribe(v.txtSecue, secuencia);
        b.avisos.respuestasSiNo = {respuesta};
        QSignalSpy aceptado(&v, &QDialog::accepted);
        v.bEliminar->click();
        QCOMPARE(b.avisos.preguntas, QStringList{"¿Está seguro que desea eliminar la secuencia " +
                                                 secuencia + " del canal " + canal + "?"});
        QVERIFY(b.avisos.mensajes.isEmpty());
        QCOMPARE(aceptado.count(), cierra ? 1 : 0);
        QCOMPARE(b.valor("select group_concat(Canal||'/'||Secue) from (select * from CONF "
                         "order by Canal, Secue)"),
                 quedan);
        // The channels and the port keep their rows.
        QCOMPARE(b.valor("select count(*) from CANALES"), QString("2"));
        QCOMPARE(b.valor("select count(*) from PUERTOS"), QString("1"));
        QCOMPARE(b.config.buscaConf(1, canal.toInt(), secuencia.toInt()) != nullptr,
                 !cierra && secuencia != "3");
    }

    void cancela() {
        BancoEditor b(kFilas, 1);
        {
            Canal v(b.e, b.config, b.t);
            Escribe(v.txtDescr, "no se guarda");
            QSignalSpy rechazado(&v, &QDialog::rejected);
            v.cmdCancelar->click();
            QCOMPARE(rechazado.count(), 1);
        }
        {
            Canal v(b.e, b.config, b.t);
            v.show();
            QVERIFY(QTest::qWaitForWindowExposed(&v));
            Escribe(v.txtDescr, "tampoco");
            QSignalSpy rechazado(&v, &QDialog::rejected);
            v.close(); // the close box
            QCOMPARE(rechazado.count(), 1);
        }
        QCOMPARE(b.valor("select Descr from CANALES where Puert=1 and Canal=1"),
                 QString("Diámetro exterior"));
        QVERIFY(b.avisos.preguntas.isEmpty() && b.avisos.mensajes.isEmpty());
    }

    // The monitor opens the editor modally for the selected tab's port; acquisition goes on
    // while it is open, and the sequences are counted again once it closes.
    void desdeElMonitor() {
        BancoEditor b(QString(kFilas) + "INSERT INTO PUERTOS VALUES (4,'TIMER',-1);", 1);
        FabricaPuertosFalsa puertos(&b.reloj);
        GrabadorFalso grabador;
        Adquisicion a(b.e, puertos, grabador);
        a.Reinicia();
        QVERIFY(a.activo(4));
        DAM monitor(a);
        EnlazaConfiguracion(monitor, a);
        monitor.SSTab1->setCurrentIndex(0);
        QString titulo;
        int lineasDuranteElEditor = 0;
        QTimer::singleShot(0, &monitor, [&] {
            auto* v = qobject_cast<Canal*>(QApplication::activeModalWidget());
            if (!v)
                return;
            titulo = v->windowTitle();
            // The port of code TIMER is served by the polling timer while the editor waits.
            const int antes = static_cast<int>(a.log().lineas(4).size());
            a.temporizador().start(1);
            for (int i = 0; i < 500 && a.log().lineas(4).size() == antes; ++i)
                QTest::qWait(2);
            a.temporizador().stop();
            lineasDuranteElEditor = static_cast<int>(a.log().lineas(4).size()) - antes;
            // Sequence 9 of channel 7, which has one: counted as its second once closed.
            v->txtCanal->setText("7");
            v->txtSecue->setText("9");
            v->cmdAceptar->click();
        });
        QTimer::singleShot(10000, &monitor, [] {
            if (auto* w = QApplication::activeModalWidget())
                w->close();
        });
        monitor.cmdConf->click();
        QCOMPARE(titulo, QString("Configuración de la Conexión 1"));
        QVERIFY(lineasDuranteElEditor > 0);
        QCOMPARE(b.valor("select group_concat(Secue) from CONF where Puert=1 and Canal=7"),
                 QString("1,2"));
        QCOMPARE(int(a.tablas().canal(1, 7).SecTotal), 2);
    }
};

QTEST_MAIN(TstCanal)
#include "tst_canal.moc"
