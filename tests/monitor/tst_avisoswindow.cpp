#include "ventanas/avisoswindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

using namespace ort;

namespace {
QList<QMessageBox*> Cajas() {
    QList<QMessageBox*> r;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible())
            r << m;
    return r;
}
} // namespace

class TstAvisosWindow : public QObject {
    Q_OBJECT
private slots:
    // A fault that lasts raises the same message again and again: one box, its repeats counted.
    void unaCajaPorFallaDistinta() {
        AvisosVentana av;
        av.fijaEspera(false);
        av.mensaje("DAM. GrabaMTVX.\nfalla A", Avisos::Icono::Critico);
        for (int i = 0; i < 5; ++i)
            av.mensaje("DAM. GrabaMTVX.\nfalla A", Avisos::Icono::Critico);
        QCOMPARE(Cajas().size(), 1);
        QCOMPARE(av.repeticiones("DAM. GrabaMTVX.\nfalla A"), 5);
        QVERIFY(Cajas()[0]->informativeText().contains("5 veces"));

        av.mensaje("DAM. GrabaMTVX.\nfalla B", Avisos::Icono::Critico);
        QVERIFY(Cajas().size() == 2 && av.abiertos() == 2);

        // Once the user closed it, the same fault shows again.
        for (QMessageBox* m : Cajas())
            if (m->text().endsWith("falla A"))
                m->close();
        QTRY_COMPARE(av.abiertos(), 1);
        av.mensaje("DAM. GrabaMTVX.\nfalla A", Avisos::Icono::Critico);
        QVERIFY(av.abiertos() == 2 && av.repeticiones("DAM. GrabaMTVX.\nfalla A") == 0);
        for (QMessageBox* m : Cajas())
            m->close();
        QTRY_COMPARE(av.abiertos(), 0);
    }
};

QTEST_MAIN(TstAvisosWindow)
#include "tst_avisoswindow.moc"
