#include "ortimporta/jet.h"
#include "support/bases.h"
#include "support/programa.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace ort::importa;
using namespace ort::prueba;

namespace {

struct Corrida {
    int codigo = -1;
    QString salida, errores;
};

Corrida corre(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ORTIMPORTA_PATH), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray huella(const QString& archivo) {
    QFile f(archivo);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool copia(const QString& de, const QString& a) {
    QDir().mkpath(QFileInfo(a).absolutePath());
    return QFile::copy(de, a) &&
           QFile::setPermissions(a, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

// Files left in a directory tree, temporary ones included.
QStringList archivos(const QString& dir) {
    QStringList r;
    for (QDirIterator i(dir, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
         i.hasNext();)
        r << i.next();
    return r;
}

} // namespace

class TstOrtimporta : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString jet_, nwind_, fechas_; // the sample Jet files, and their conversions

    QString muestra(const QString& nombre) const { return jet_ + u'/' + nombre; }

private slots:
    void initTestCase() {
        jet_ = qEnvironmentVariableIsSet("ORT_SHARED")
                   ? qEnvironmentVariable("ORT_SHARED") + QStringLiteral("/testdata/jet")
                   : QStringLiteral(ORT_JET_DIR);
        if (!QFileInfo::exists(muestra("nwind.mdb"))) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL(qPrintable("sample Jet files missing in " + jet_));
            QSKIP(qPrintable("sample Jet files missing in " + jet_ + " (set ORT_SHARED)"));
        }
        nwind_ = tmp_.filePath("nwind.sqlite"), fechas_ = tmp_.filePath("fechas.sqlite");
        const Corrida n = corre({muestra("nwind.mdb"), nwind_}),
                      c = corre({muestra("DateTestDatabase.mdb"), fechas_});
        QVERIFY2(n.codigo == 0 && c.codigo == 0, qPrintable(n.errores + c.errores));
        const QString& o = n.salida; // progress of big tables only, and a summary
        QVERIFY2(o.contains("  Order Details: 50 % (1078 de 2155 filas)\n") &&
                     !o.contains("Orders: 50 %") && o.contains("  Umsätze: 830 filas\n") &&
                     o.contains("Resumen: 9 tablas, 4032 filas y 33 índices") &&
                     n.errores.isEmpty(),
                 qPrintable(o));
    }

    // What the samples hold, as Access shows it, read back from the SQLite files.
    void valores_data() {
        QTest::addColumn<QString>("archivo");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::addRow("Yes/No true") << "nwind" << "select Discontinued from Products where ProductID=5" << "-1";
        QTest::addRow("single as typed") << "nwind" << "select Discount from \"Order Details\" where OrderID=10250 and ProductID=51" << "0.15";
        QTest::addRow("date") << "nwind" << "select OrderDate from Orders where OrderID=10248" << "1994-08-04 00:00:00";
        QTest::addRow("accents") << "nwind" << "select Address from Customers where CustomerID='ANATR'" << "Avda. de la Constitución 2222";
        QTest::addRow("OLE object") << "nwind" << "select length(Photo) || ' ' || hex(substr(Photo, 1, 4)) from Employees where EmployeeID=1" << "21626 151C2F00";
        QTest::addRow("types") << "nwind" << "select group_concat(type, ' ') from (select type from pragma_table_info('Products') where name in ('ProductName','Discontinued','UnitPrice') union all select type from pragma_table_info('Order Details') where name='Discount' union all select type from pragma_table_info('Employees') where name in ('BirthDate','Photo'))" << "VARCHAR(40) CURRENCY INTEGER REAL TEXT BLOB";
        QTest::addRow("Jet 4 date") << "fechas" << "select DateTimeCol from DateTest where IDCol=1" << "2021-12-02 00:00:00";
        QTest::addRow("before 1900") << "fechas" << "select DateTimeCol || ' ' || DateCol from DateTest where IDCol=3" << "1898-01-01 00:00:00 1899-01-01 00:00:00";
        QTest::addRow("Jet 4 memo line break") << "fechas" << "select hex(LongTextCol) from DateTest where IDCol=6" << QString::fromLatin1(QByteArray("New line\r\nin field").toHex().toUpper());
        // clang-format on
    }
    void valores() {
        QFETCH(QString, archivo);
        QFETCH(QString, sql);
        QFETCH(QString, esperado);
        QCOMPARE(valorSqlite(archivo == "nwind" ? nwind_ : fechas_, sql), esperado);
    }

    // Bad input or an existing destination: named, nothing written, status 1; --force replaces.
    void entradaMala() {
        for (const auto& [t, mensaje] :
             {std::pair{"texto", "entrada.mdb: no es un archivo Jet"},
              {"cero", "tabla \"Customers\": se leyeron 76 filas de las 91"},
              {"destino", "salida.sqlite: ya existe; no se reemplaza sin --force"}}) {
            const QString tipo = QString::fromLatin1(t);
            QTemporaryDir d;
            const QString archivo = d.filePath("entrada.mdb"),
                          destino = d.filePath("salida.sqlite");
            QVERIFY(copia(muestra("nwind.mdb"), archivo));
            QFile f(tipo == "destino" ? destino : archivo);
            if (tipo != "cero")
                QVERIFY(f.open(QIODevice::WriteOnly) &&
                        f.write(QByteArray("Standard Jet DB? no: una lista\n").repeated(200)));
            else
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(79 * 2048) &&
                        f.write(QByteArray(2048, '\0')));
            f.close();
            const QStringList antes = archivos(d.path());
            const QByteArray huellaAntes = huella(destino);
            Corrida c = corre({archivo, destino});
            // The library's own English reports stay out of the user's way.
            QVERIFY2(c.codigo == 1 && c.errores.contains("ortimporta: ") &&
                         c.errores.contains(mensaje) && !c.errores.contains("EOF") &&
                         !c.errores.contains("Warning"),
                     qPrintable(c.errores));
            QVERIFY(archivos(d.path()) == antes && huella(destino) == huellaAntes);
            if (tipo == "destino") {
                c = corre({archivo, destino, "--force"});
                QVERIFY2(c.codigo == 0 && archivos(d.path()).size() == 2, qPrintable(c.errores));
                QCOMPARE(valorSqlite(destino, "select CompanyName from Shippers where ShipperID=3"),
                         QString("Federal Shipping"));
            }
        }
    }

    // --dir converts the files ORT would open, keeping each original beside it.
    void directorio() {
        DirPrograma p;
        p.productoJet(); // MVDirec.iau: databases in bd/, data files in datos/
        const QString r = p.ruta(), mtvx = r + "bd/MTVX2005.MDB", conf = r + "conf/Planta.mdb";
        const QString datos = r + "datos/F1/TORNO1/EJE20.MDB",
                      yaSqlite = r + "datos/F1/TORNO1/eje21.mdb";
        const QString malo = r + "datos/F1/TORNO2/MALO.MDB", sinUso = r + "ORTConf2005.mdb";
        const QString fechas = muestra("DateTestDatabase.mdb");
        QVERIFY(copia(muestra("nwind.mdb"), mtvx) && copia(fechas, conf) && copia(fechas, datos) &&
                copia(fechas_, yaSqlite) && copia(fechas, sinUso));
        p.escribe("datos/F1/TORNO2/MALO.MDB", QByteArray("no es una base"));
        p.escribe("ORTDirec.IAU", conf + "\r\n\r\n"); // the configuration in use
        const QByteArray huellaJet = huella(mtvx), huellaSqlite = huella(yaSqlite);
        Corrida c = corre({"--dir", r});
        QVERIFY2(c.codigo == 1 &&
                     c.errores.contains("ortimporta: " + malo + ": no es un archivo Jet") &&
                     c.salida.contains("3 archivos convertidos (4044 filas), 1 ya estaban en "
                                       "SQLite, 0 no existen, 1 con errores."),
                 qPrintable(c.salida + c.errores));
        for (const QString& f : {mtvx, conf, datos})
            QVERIFY(clasifica(f) == ClaseArchivo::Sqlite &&
                    clasifica(f + ".jet") == (f == mtvx ? ClaseArchivo::Jet3 : ClaseArchivo::Jet4));
        QVERIFY(huella(mtvx + ".jet") == huellaJet && !QFileInfo::exists(sinUso + ".jet"));
        QVERIFY(huella(yaSqlite) == huellaSqlite && huella(malo) == "no es una base");
        p.borra("datos/F1/TORNO2/MALO.MDB"); // once converted, nothing is left to do
        c = corre({"--dir", r});
        QVERIFY2(c.codigo == 0 &&
                     c.salida.contains("0 archivos convertidos (0 filas), 4 ya estaban en SQLite"),
                 qPrintable(c.salida + c.errores));
    }
};

QTEST_GUILESS_MAIN(TstOrtimporta)
#include "tst_ortimporta.moc"
