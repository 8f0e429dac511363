#include "app/ZUKRecApp.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/AppDialogs.h"
#include "app/Commands.h"
#include "app/DocumentManager.h"
#include "app/GroupPrinting.h"
#include "app/MainFrame.h"
#include "app/ZUKRecDoc.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/SettingsStore.h"

namespace quorvane {

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption print(QStringList{QStringLiteral("p"), QStringLiteral("print")},
                                   QStringLiteral("Print the group and end."));
    const QCommandLineOption printTo(QStringLiteral("print-to"),
                                     QStringLiteral("Print into this PDF file."),
                                     QStringLiteral("file"));
    parser.setApplicationDescription(
        QStringLiteral("Quorvane keeps the reservations of courts, fields, pools and rooms."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption report(
        QStringLiteral("print-report"),
        QStringLiteral("Print a report without a window and end: reservations, utilization or "
                       "day (PDF when there is no printer)."),
        QStringLiteral("report"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("Report from 00:00 of this day."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Report up to 23:59 of this day."),
                                QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption facility(
        QStringLiteral("facility"),
        QStringLiteral("Report only this facility (repeat for more; default: all)."),
        QStringLiteral("NAME"));
    const QCommandLineOption hours(
        QStringLiteral("hours"),
        QStringLiteral("Utilization between these hours, or the day chart's 12 hours."),
        QStringLiteral("HH-HH"));
    const QCommandLineOption date(QStringLiteral("date"),
                                  QStringLiteral("The day chart's date (default: today)."),
                                  QStringLiteral("YYYY-MM-DD"));
    parser.addOption(print);
    parser.addOption(printTo);
    for (const QCommandLineOption* o : {&report, &from, &to, &facility, &hours, &date})
        parser.addOption(*o);
    parser.addPositionalArgument(QStringLiteral("group"), QStringLiteral("The group file to open."),
                                 QStringLiteral("[GROUP.rec]"));
    CommandLine line;
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    // --help lists --help-all; Qt alone knows its own options, so it prints that text and ends
    // the process (before any window: main() parses the line first).
    if (parser.isSet(QStringLiteral("help-all"))) parser.process(arguments);
    if (parser.isSet(help)) {
        line.output = parser.helpText();
        if (!line.output.endsWith(QLatin1Char('\n'))) line.output += QLatin1Char('\n');
        return line;
    }
    if (parser.isSet(version)) {
        line.output =
            QStringLiteral("Quorvane ") + CAboutDlg::programVersionText() + QLatin1Char('\n');
        return line;
    }
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(report)) {
        if (parser.isSet(print)) {
            line.error = QStringLiteral("--print and --print-report cannot be combined.");
            line.usage = reportUsage();
            return line;
        }
        ReportArguments args;
        args.kind = parser.value(report);
        args.from = parser.value(from);
        args.to = parser.value(to);
        args.hours = parser.value(hours);
        args.date = parser.value(date);
        args.printTo = parser.value(printTo);
        args.facilities = parser.values(facility);
        args.positional = parser.positionalArguments();
        // An option given with an empty value is still a wrong value, not an absent one.
        for (const QCommandLineOption* o : {&from, &to, &hours, &date, &printTo})
            if (parser.isSet(*o) && parser.value(*o).isEmpty()) {
                line.error = QStringLiteral("--%1 needs a value.").arg(o->names().front());
                line.usage = reportUsage();
                return line;
            }
        line.report = makeReportRequest(args, &line.error);
        if (!line.report)
            line.usage = reportUsage();
        else
            line.groupPath = line.report->groupPath;
        return line;
    }
    for (const QCommandLineOption* o : {&from, &to, &facility, &hours, &date})
        if (parser.isSet(*o)) {
            line.error = QStringLiteral("--%1 belongs to --print-report.").arg(o->names().front());
            line.usage = reportUsage();
            return line;
        }
    if (positional.size() > 1) {
        line.error = QStringLiteral("Only one group file can be named.");
        return line;
    }
    if (!positional.isEmpty()) line.groupPath = positional.front();
    line.print = parser.isSet(print) || parser.isSet(printTo);
    line.printTo = parser.value(printTo);
    if (line.print && line.groupPath.isEmpty())
        line.error = QStringLiteral("--print needs a group file.");
    return line;
}

CZUKRecApp::CZUKRecApp() = default;

CZUKRecApp::~CZUKRecApp() {
    // Frames first: they refer to the documents.
    if (mainFrame_) documents_->closeAll();
    mainFrame_.reset();
    documents_.reset();
}

bool CZUKRecApp::initInstance(const QStringList& arguments) {
    // The settings store (the per-user INI file) and the recent-file list of four entries.
    SettingsStore& settings = appSettings();
    documents_ = std::make_unique<DocumentManager>();
    documents_->recentFiles().load();

    // The main frame; it accepts dropped group files.
    mainFrame_ = std::make_unique<CMainFrame>(*documents_);
    connect(mainFrame_.get(), &CMainFrame::commandTriggered, this, &CZUKRecApp::onCommand);

    // The command line. Without a group named nothing opens: no untitled group is made.
    const CommandLine line = parseCommandLine(arguments);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "quorvane: %s\n", qPrintable(line.error));
        if (!line.usage.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(line.usage));
        exitCode_ = 2;
        return false;
    }
    if (!line.output.isEmpty()) {
        std::fputs(qPrintable(line.output), stdout);
        exitCode_ = 0;
        return false;
    }
    // Unattended printing shows no message box: nobody may be there to close it.
    static LogPrompter logOnly;
    if (line.unattended()) setAppPrompter(&logOnly);
    if (line.print) {
        exitCode_ = printFromCommandLine(line) ? 0 : 1;
        return false;
    }
    if (line.report) {
        if (const ReportPrinter& printReport = reportPrinter()) {
            exitCode_ = printReport(*line.report);
        } else {
            std::fprintf(stderr, "quorvane: this build has no reports to print\n");
            exitCode_ = 1;
        }
        return false;
    }
    if (!line.groupPath.isEmpty() && !documents_->openDocument(line.groupPath)) {
        exitCode_ = 1;
        return false;
    }

    // The About box as the splash, then the main window.
    appDialogs().showAbout(CAboutDlg::kSplashMs, mainFrame_.get());
    mainFrame_->show();

    if (settings.getInt(QStringLiteral("Startup"), QStringLiteral("StartedBefore"), 0) == 0) {
        settings.setInt(QStringLiteral("Startup"), QStringLiteral("StartedBefore"), 1);
        settings.sync();
        appHelp().showTopic(kHelpFirstTime);
    }
    return true;
}

bool CZUKRecApp::printFromCommandLine(const CommandLine& line) {
    CZUKRecDoc doc;
    if (!doc.OnOpenDocument(QFileInfo(line.groupPath).absoluteFilePath())) return false;
    PrintRequest request;
    request.target = line.printTo.isEmpty() ? PrintTarget::Printer : PrintTarget::PdfFile;
    request.pdfPath = line.printTo.isEmpty() ? pdfBeside(doc.basePath(), {}) : line.printTo;
    const PrintOutcome outcome = printDocument(groupDocument(doc), request);
    // Told at a terminal only: a scheduled job that went well says nothing.
    if (outcome.printed() && !outcome.pdfPath.isEmpty() && ::isatty(STDERR_FILENO))
        std::fprintf(stderr, "quorvane: printed to %s\n", qPrintable(outcome.pdfPath));
    if (!outcome.printed())
        appPrompter().message(
            QStringLiteral("The group could not be printed: %1").arg(outcome.error));
    doc.OnCloseDocument();
    return outcome.printed();
}

void CZUKRecApp::exitInstance() {
    if (exited_ || !documents_) return;
    exited_ = true;
    documents_->closeAll();
    documents_->recentFiles().save();
}

void CZUKRecApp::onCommand(int id) {
    switch (id) {
        case cmd::kFileNew:
            onFileNew();
            break;
        case cmd::kFileOpen:
            onFileOpen();
            break;
        case cmd::kFilePrintSetup:
            onFilePrintSetup();
            break;
        case cmd::kAppAbout:
            onAppAbout();
            break;
        case cmd::kAppExit:
            onAppExit();
            break;
        default:
            break;
    }
}

void CZUKRecApp::onFileNew() {
    documents_->newDocument(mainFrame_.get());
}

void CZUKRecApp::onFileOpen() {
    FileDialogRequest request;
    request.title = openDialogTitle();
    request.filter = qtFileFilter(groupFileFilter());
    request.folder = recentFolder();
    request.defaultSuffix = QStringLiteral("rec");
    request.mustExist = true;
    const QString path = appDialogs().chooseFile(request, mainFrame_.get());
    if (!path.isEmpty()) documents_->openDocument(path);
}

void CZUKRecApp::onFilePrintSetup() {
    appDialogs().pageSetup(appPrinter(), mainFrame_.get());
}

void CZUKRecApp::onAppAbout() {
    appDialogs().showAbout(0, mainFrame_.get());
}

void CZUKRecApp::onAppExit() {
    // Exit ends the program, whatever other top-level window is still open.
    if (mainFrame_ && mainFrame_->close() && QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

}  // namespace quorvane
