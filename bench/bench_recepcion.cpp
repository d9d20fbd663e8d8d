// How fast one receive pass frames and dispatches waiting frames, against a plain framer over the
// same bytes, and how much CPU an idle ORT with 16 open ports uses.
//
//   bench_recepcion [frames] [idle seconds]      (defaults: 100000 frames, 60 s)
//
// The pause after each frame is set to 0 here; the program keeps its 0.1 s.

#include "basedatos/conexion.h"
#include "config/almacen.h"
#include "config/tablas.h"
#include "decoding/logpuertos.h"
#include "decoding/recepcion.h"
#include "decoding/registrolectura.h"
#include "ports/puerto.h"
#include "recording/grabacion.h"
#include "startup/avisosconsola.h"
#include "startup/reloj.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace ort;

namespace {

// Counts values instead of writing them: the pass itself is measured.
class GrabadorNulo : public Grabador {
public:
    ResultadoGrabacion GrabaMTVX(const QString&, const QString&, const QString&, const QString&,
                                 const QString&, const QString&, const QString&, const QString&,
                                 float) override {
        ++valores;
        return ResultadoGrabacion::Grabado;
    }
    long valores = 0;
};

// Received bytes in memory, read one character at a time as from a serial line.
class PuertoMemoria : public PuertoSerie {
public:
    QByteArray datos;
    qsizetype pos = 0;
    bool abierto() const override { return true; }
    int esperando() override { return int(datos.size() - pos); }
    int leeCaracter() override { return pos < datos.size() ? uchar(datos[pos++]) : -1; }
    QByteArray leeTodo() override {
        const QByteArray r = datos.mid(pos);
        pos = datos.size();
        return r;
    }
    bool escribe(const QByteArray&) override { return true; }
    bool esperaDatos(int) override { return esperando() > 0; }
    void cierra() override {}
    Resultado<> fijaNumero(int) override { return {}; }
    Resultado<> fijaSettings(const QString&) override { return {}; }
    Resultado<> fijaBufferEntrada(int) override { return {}; }
    Resultado<> fijaUmbral(int) override { return {}; }
    Resultado<> fijaDtr(bool) override { return {}; }
    Resultado<> fijaRts(bool) override { return {}; }
    Resultado<> abre() override { return {}; }
};

class Fabrica : public FabricaPuertos {
public:
    PuertoMemoria serie1;
    PuertoSerie& serie(int) override { return serie1; }
    PuertoTcp& tcp(int) override { std::abort(); }
};

double tramasPorSegundoOrt(const QByteArray& bytes, int tramas, const QString& dir) {
    Ajustes ajustes;
    ajustes.Ruta = dir + u'/';
    AvisosConsola avisos;
    RelojSistema reloj;
    Entorno e{ajustes, avisos, reloj};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "conf");
        db.setDatabaseName(dir + "/ORTConf2005.mdb");
        db.open();
        QSqlQuery q(db);
        QFile esquema(QStringLiteral(ORT_SQL_DIR "/ortconf.sqlite.sql"));
        esquema.open(QIODevice::ReadOnly);
        QString script;
        for (const QString& l : QString::fromUtf8(esquema.readAll()).split('\n'))
            script += l.section(QStringLiteral("--"), 0, 0) + u'\n';
        for (const QString& s : script.split(';'))
            if (!s.trimmed().isEmpty())
                q.exec(s);
        q.exec("INSERT INTO PUERTOS VALUES (1,'CALIB',-1)");
        q.exec("INSERT INTO CANALES VALUES (1,1,'')");
        for (int s = 1; s <= 5; ++s)
            q.exec(QString("INSERT INTO CONF (Puert,Canal,Secue,Opera,Forma,Maqui,Produ,Carac,DTMP)"
                           " VALUES (1,1,%1,'OP1','F1','M1','P1','C%1',60)")
                       .arg(s));
        db.close();
    }
    QSqlDatabase::removeDatabase("conf");
    AlmacenConfig config(e);
    config.abre(dir + "/ORTConf2005.mdb");
    TablasRuntime t;
    config.IniSecue(t);
    config.IniMux(t);
    t.CarTerm[1] = 13;
    t.puerto(1).TipoCon = QStringLiteral("RS232");
    GrabadorNulo grabador;
    LogPuertos log;
    Registrador reg(e, t, config, grabador, log);
    Fabrica fabrica;
    fabrica.serie1.datos = bytes;
    Receptor rx(e, t, fabrica, reg, log, nullptr);
    rx.pausaEntreTramas = 0;
    QElapsedTimer cronometro;
    cronometro.start();
    rx.ComLee(1);
    const double s = cronometro.nsecsElapsed() / 1e9;
    if (grabador.valores != tramas)
        std::fprintf(stderr, "only %ld of %d frames reached recording\n", grabador.valores, tramas);
    return tramas / s;
}

// The baseline: split the same bytes at CR, dropping control characters, one character at a time.
double tramasPorSegundoBase(const QByteArray& bytes) {
    QElapsedTimer cronometro;
    cronometro.start();
    long n = 0;
    QString trama;
    for (char ch : bytes) {
        if (ch == '\r') {
            if (!trama.isEmpty())
                ++n;
            trama.clear();
        } else if (uchar(ch) >= 32) {
            trama += QChar(uchar(ch));
        }
    }
    const double s = cronometro.nsecsElapsed() / 1e9;
    return n / s;
}

double cpuSegundos(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> c = f.readAll().split(')').last().trimmed().split(' ');
    return (c.value(11).toDouble() + c.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

long memoriaKb(qint64 pid) {
    QFile f(QString("/proc/%1/status").arg(pid));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// An idle ORT: 16 serial ports open on simulated instruments that send nothing.
void mideReposo(int segundos, const QString& dir) {
    const QString bin = QCoreApplication::applicationDirPath() + "/..";
    const QString ort = bin + "/src/ort", ortsim = bin + "/tools/ortsim";
    const QString demo = dir + "/reposo";
    QProcess crea;
    crea.start("bash", {QStringLiteral(ORT_DEMO_SCRIPT), demo});
    crea.waitForFinished(60000);
    QString conf = "DELETE FROM PUERTOS;", mapa;
    for (int p = 1; p <= 16; ++p) {
        conf += QString("INSERT INTO PUERTOS VALUES (%1,'CALIB',-1);").arg(p);
        mapa += QString("%1,%2/dev/port%1\r\n").arg(p).arg(demo);
    }
    QProcess sql;
    sql.start("sqlite3", {demo + "/ORTConf2005.mdb", conf});
    sql.waitForFinished();
    QFile m(demo + "/ORTPuertos.IAU");
    m.open(QIODevice::WriteOnly);
    m.write(mapa.toUtf8());
    m.close();
    std::vector<std::unique_ptr<QProcess>> sims;
    for (int p = 1; p <= 16; ++p) {
        sims.push_back(std::make_unique<QProcess>());
        sims.back()->start(ortsim, {"--link", QString("%1/dev/port%2").arg(demo).arg(p), "--count",
                                    "0", "--hold"});
        sims.back()->waitForStarted();
    }
    QThread::msleep(1000);
    QProcess proc;
    proc.start(ort, {"--headless", "--dir", demo});
    proc.waitForStarted();
    QThread::msleep(3000); // start-up: ports opened, limits loaded
    const double antes = cpuSegundos(proc.processId());
    QElapsedTimer t;
    t.start();
    QThread::msleep(ulong(segundos) * 1000);
    const double cpu = cpuSegundos(proc.processId()) - antes;
    const double pared = t.nsecsElapsed() / 1e9;
    const long rss = memoriaKb(proc.processId());
    ::kill(pid_t(proc.processId()), SIGTERM);
    proc.waitForFinished(10000);
    const QString err = QString::fromUtf8(proc.readAllStandardError()).trimmed();
    for (auto& s : sims) {
        s->kill();
        s->waitForFinished(3000);
    }
    std::printf("idle ORT, 16 open serial ports, %d s: CPU %.3f %% of one core (goal < 1 %%), "
                "resident memory %ld kB%s\n",
                segundos, 100.0 * cpu / pared, rss,
                err.isEmpty() ? "" : qPrintable("; stderr: " + err.left(300)));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int tramas = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int reposo = argc > 2 ? std::atoi(argv[2]) : 60;
    QTemporaryDir dir;
    QByteArray bytes;
    for (int i = 0; i < tramas; ++i)
        bytes += QByteArray::number(10 + (i % 1000) / 100.0, 'f', 3) + '\r';
    const double base = tramasPorSegundoBase(bytes);
    const double ort = tramasPorSegundoOrt(bytes, tramas, dir.path());
    std::printf("one receive pass over %d waiting frames (pause 0): %.0f frames/s; plain framer "
                "%.0f frames/s; ORT/baseline %.3f\n",
                tramas, ort, base, ort / base);
    if (reposo > 0)
        mideReposo(reposo, dir.path());
    return 0;
}
