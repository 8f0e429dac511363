// The quorvane executable: the application object on a Qt event loop.
#include <QApplication>

#include "app/ZUKRecApp.h"

int main(int argc, char** argv) {
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
