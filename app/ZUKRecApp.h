#pragma once
// The application object: start-up, the commands that need no open group, and exit.
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "app/ReportRequest.h"

namespace quorvane {

class CMainFrame;
class DocumentManager;

// The command line: `quorvane [GROUP.rec]`, `quorvane --print GROUP.rec [--print-to FILE.pdf]`,
// `quorvane --print-report KIND [options] GROUP.rec` (app/ReportRequest.h).
struct CommandLine {
    QString groupPath;  // empty: start with no group open
    bool print = false;
    QString printTo;  // PDF output for --print; empty: the printer, or GROUP.pdf without one
    std::optional<ReportRequest> report;  // --print-report
    QString error;                        // set when the arguments cannot be used
    QString usage;                        // with an error: the usage line to print after it
    QString output;                       // --help or --version: print this and end
    // Runs without showing a window (--print, --print-report).
    bool unattended() const { return print || report.has_value(); }
};
CommandLine parseCommandLine(const QStringList& arguments);

class CZUKRecApp : public QObject {
    Q_OBJECT
public:
    CZUKRecApp();
    ~CZUKRecApp() override;

    // The start-up sequence. False ends the program; exitCode() then tells with what status.
    bool initInstance(const QStringList& arguments);
    // Writes the recent-file list; called once the event loop has ended.
    void exitInstance();
    int exitCode() const { return exitCode_; }

    DocumentManager& documents() { return *documents_; }
    CMainFrame* mainFrame() const { return mainFrame_.get(); }

    void onFileNew();
    void onFileOpen();
    void onFilePrintSetup();
    void onAppAbout();
    void onAppExit();

    // The Open dialog's fixed texts.
    static QString openDialogTitle() {
        return QStringLiteral("Select a Path and Name for the Group File");
    }
    static QString groupFileFilter() {
        return QStringLiteral("Recreation Files (*.rec)|*.rec|All Files (*.*)|*.*||");
    }

private:
    void onCommand(int id);
    bool printFromCommandLine(const CommandLine& line);

    std::unique_ptr<DocumentManager> documents_;
    std::unique_ptr<CMainFrame> mainFrame_;
    int exitCode_ = 0;
    bool exited_ = false;
};

}  // namespace quorvane
