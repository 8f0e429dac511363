// The quorvane executable: the application object on a Qt event loop.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#include "app/DocumentManager.h"
#include "app/InstanceChannel.h"
#include "app/MainFrame.h"
#include "app/ZUKRecApp.h"
#include "dialogs/Install.h"
#include "platform/TerminationSignals.h"
#include "reports/Install.h"
#include "reservations/Install.h"

namespace {

// The stand-in runtime folder of a scheduled print, removed when the program ends.
QByteArray runtimeFolder;

struct RemoveRuntimeFolder {
    ~RemoveRuntimeFolder() {
        if (!runtimeFolder.isEmpty()) ::rmdir(runtimeFolder.constData());
    }
};

}  // namespace

int main(int argc, char** argv) {
    const RemoveRuntimeFolder removeRuntimeFolder;
    QString channelName;
    {
        // --help and --version answer without a display; a group named while the program
        // already runs opens in the running program.
        QCoreApplication probe(argc, argv);
        const quorvane::CommandLine line = quorvane::parseCommandLine(probe.arguments());
        if (!line.output.isEmpty()) {
            std::fputs(qPrintable(line.output), stdout);
            return 0;
        }
        // Wrong arguments end here, before any window or display connection.
        if (!line.error.isEmpty()) {
            std::fprintf(stderr, "quorvane: %s\n", qPrintable(line.error));
            if (!line.usage.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(line.usage));
            return 2;
        }
        // Printing from a scheduled job: there may be no display at all, and none is needed.
        if (line.unattended() && qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // A scheduled job has no session and so no XDG_RUNTIME_DIR; Qt would warn about that on
        // every run (cron mails it). Printing needs nothing there: a private folder of its own,
        // removed at the end, stands in for it.
        if (line.unattended() && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/quorvane-run-XXXXXX";
            if (::mkdtemp(folder.data())) {
                runtimeFolder = folder;
                qputenv("XDG_RUNTIME_DIR", folder);
            }
        }
        // Without a channel folder this user alone controls, groups open in this process and
        // later starts do the same: better than handing paths to whoever made the folder.
        // Printing without a window shares nothing with other starts, so a scheduled job
        // without a session (no XDG_RUNTIME_DIR) has nothing to warn about.
        if (!line.unattended()) {
            QString refusal;
            channelName = quorvane::InstanceChannel::defaultName(&refusal);
            if (channelName.isEmpty())
                std::fprintf(stderr, "quorvane: not sharing one program between starts: %s\n",
                             qPrintable(refusal));
            if (!line.groupPath.isEmpty() &&
                quorvane::InstanceChannel::forward({line.groupPath}, channelName))
                return 0;
        }
    }
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationName(QStringLiteral("Vendrik"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    // The booking, report and editor layers register their commands before the main window
    // is built, so it enables exactly the commands that have a handler.
    quorvane::installReservationCommands();
    quorvane::installReportCommands();
    quorvane::installDialogCommands();
    quorvane::CZUKRecApp app;
    if (!app.initInstance(QApplication::arguments())) return app.exitCode();

    quorvane::InstanceChannel channel(channelName);
    channel.setReady([&app] {
        const quorvane::CMainFrame* frame = app.mainFrame();
        return frame && frame->isVisible();
    });
    QObject::connect(&channel, &quorvane::InstanceChannel::openRequested, &app,
                     [&app](const QString& path) {
                         app.documents().openDocument(path);
                         if (quorvane::CMainFrame* frame = app.mainFrame()) {
                             frame->raise();
                             frame->activateWindow();
                         }
                     });
    // A logout or kill leaves every event loop (a dialog may be open), then the groups are
    // closed and the recent-file list written below, as after File > Exit.
    quorvane::TerminationSignals terminate;
    QObject::connect(&terminate, &quorvane::TerminationSignals::terminationRequested, &app,
                     [](int) { QCoreApplication::exit(0); });
    channel.listen();

    const int status = QApplication::exec();
    app.exitInstance();
    return status;
}
