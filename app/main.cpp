// The quorvane executable: the application object on a Qt event loop.
#include <QApplication>
#include <cstdio>

#include "app/ZUKRecApp.h"

int main(int argc, char** argv) {
    {
        // --help and --version answer without a display.
        QCoreApplication probe(argc, argv);
        const quorvane::CommandLine line = quorvane::parseCommandLine(probe.arguments());
        if (!line.output.isEmpty()) {
            std::fputs(qPrintable(line.output), stdout);
            return 0;
        }
    }
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationName(QStringLiteral("Vendrik"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    quorvane::CZUKRecApp app;
    if (!app.initInstance(QApplication::arguments())) return app.exitCode();
    const int status = QApplication::exec();
    app.exitInstance();
    return status;
}
