#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ort"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORT_VERSION));
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--version"))) {
        out << "ort " << ORT_VERSION << Qt::endl;
        return 0;
    }
    out << "usage: ort [--dir DIR] [--headless]" << Qt::endl;
    return 0;
}
