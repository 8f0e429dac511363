// Reports printed without a window: the program's --print-report on a copy of the sample
// group, read back from its PDF, against the lines the report windows show for the same
// choices made in the options dialogs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include "app/GroupPrinting.h"
#include "group/GroupTables.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "platform/AppSettings.h"
#include "platform/Prompter.h"
#include "platform/SettingsStore.h"
#include "reports/DayGlance.h"
#include "reports/DayResDlg.h"
#include "reports/ReportCommands.h"
#include "reports/ReportDialogs.h"
#include "reports/UnattendedReport.h"
#include "tables/Schedule.h"

#if defined(QUORVANE_EXE) && defined(QUORVANE_SAMPLES)

namespace quorvane {
namespace {

// Answers the options dialogs as a person would, and keeps what the report window shows.
struct Choices final : ReportDialogs {
    DayDate from, to;
    std::vector<int> facilities;
    bool useHours = false;
    int firstHour = 0, lastHour = 0;
    std::vector<std::string> shown;

    std::int64_t start() const { return Clock::fromLocal(from.year, from.month, from.day); }
    std::int64_t end() const { return Clock::fromLocal(to.year, to.month, to.day, 23, 59); }
    std::optional<ReservationOptions> askReservationOptions(CZUKRecDoc& doc,
                                                            std::int64_t defaultStart,
                                                            QWidget*) override {
        CResReportDlg dialog(doc, defaultStart);
        dialog.setRange(start(), end());
        dialog.selectFacilities(facilities);
        if (!dialog.validate()) return std::nullopt;
        return dialog.options();
    }
    void showReservationReport(CZUKRecDoc& doc, const ReportCriteria& c, QWidget*) override {
        CResReportData window(doc, c);
        window.generate();
        shown = window.lines().toVector();
    }
    std::optional<UtilizationOptions> askUtilizationOptions(CZUKRecDoc& doc,
                                                            std::int64_t defaultStart, int hour,
                                                            QWidget*) override {
        CUtilizationDlg dialog(doc, defaultStart, hour);
        dialog.setRange(start(), end());
        dialog.setUseWindow(useHours);
        dialog.setHours(firstHour, lastHour % 24);
        dialog.selectFacilities(facilities);
        if (!dialog.validate()) return std::nullopt;
        return dialog.options();
    }
    void showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job, QWidget*) override {
        CUtilizationReportDlg window(doc, job);
        shown = window.lines().toVector();
    }
    void showDayChart(CZUKRecDoc&, int, std::uint32_t, QWidget*) override {
        ADD_FAILURE() << "the unattended prints open no window";
    }
};

// The text lines of a PDF, blanks collapsed (the layout's columns are spaces either way).
QStringList pdfLines(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {QStringLiteral("pdftotext failed")};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (!line.simplified().isEmpty()) lines << line.simplified();
    return lines;
}

class UnattendedReportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    RecordingPrompter prompter;
    QString group;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<SettingsStore>(dir.filePath("Quorvane.ini"));
        setAppSettings(store.get());
        setAppPrompter(&prompter);
        QDir samples(QStringLiteral(QUORVANE_SAMPLES));
        for (const QString& f : samples.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(samples.filePath(f), dir.filePath(f))) << f.toStdString();
        group = dir.filePath("Tennis Courts.rec");
    }
    void TearDown() override {
        setAppReportDialogs(nullptr);
        setAppPrompter(nullptr);
        setAppSettings(nullptr);
    }
    // Runs the installed way: the program, no display, one report into a PDF. `cron` runs it
    // as a scheduled job does: no session (XDG_RUNTIME_DIR) and standard error not a terminal;
    // `fileLimit` lets no file grow past that many bytes, as a full disk would.
    int run(const QStringList& args, QString* err = nullptr, bool cron = false,
            rlim_t fileLimit = 0) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        if (cron) env.remove("XDG_RUNTIME_DIR");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        p.setProcessEnvironment(env);
        if (fileLimit)
            p.setChildProcessModifier([fileLimit] {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{fileLimit, fileLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            });
        p.start(QStringLiteral(QUORVANE_EXE), args);
        if (!p.waitForFinished(120000)) return -1;
        if (err) *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    }
};

TEST_F(UnattendedReportTest, PrintedReportsHoldTheLinesOfTheirWindows) {
    // The sample group has bookings from a week before it was written to a year after.
    const DayDate today = localDate(appClock().now());
    const DayDate a = addDays(today, -2), b = addDays(today, 3);
    auto iso = [](const DayDate& d) {
        return QString::asprintf("%04d-%02d-%02d", d.year, d.month, d.day);
    };
    struct Case {
        const char* kind;
        QStringList options;
        std::vector<int> facilities;  // the rows picked in the dialog
        bool hours;
        const char* heading;
    };
    const std::vector<Case> cases = {
        {"reservations",
         {"--from", iso(a), "--to", iso(b)},
         {},
         false,
         "Reservation Report for Riverside Park"},
        {"reservations",
         {"--from", iso(b), "--to", iso(b), "--facility", "Court 3", "--facility", "Court 1"},
         {0, 2},
         false,
         "Reservation Report for Riverside Park"},
        {"utilization",
         {"--from", iso(a), "--to", iso(b)},
         {0, 1, 2, 3},
         false,
         "Utilization Report for Riverside Park"},
        {"utilization",
         {"--from", iso(a), "--to", iso(b), "--facility", "Court 2", "--hours", "07-19"},
         {1},
         true,
         "Utilization Report for Riverside Park"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.options.join(' ').toStdString());
        const QString pdf = dir.filePath("out.pdf");
        QFile::remove(pdf);
        QString err;
        ASSERT_EQ(run(QStringList{"--print-report", c.kind} + c.options +
                          QStringList{"--print-to", pdf, group},
                      &err),
                  0)
            << err.toStdString();

        Choices choices;
        const int fromAt = int(c.options.indexOf("--from")) + 1;
        const int toAt = int(c.options.indexOf("--to")) + 1;
        choices.from = *parseIsoDate(c.options[fromAt]);
        choices.to = *parseIsoDate(c.options[toAt]);
        choices.facilities = c.facilities;
        choices.useHours = c.hours;
        choices.firstHour = 7;
        choices.lastHour = 19;
        setAppReportDialogs(&choices);
        CZUKRecDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(group));
        if (QString(c.kind) == "reservations")
            runAllReservations(doc, nullptr);
        else
            runUtilization(doc, nullptr);
        doc.OnCloseDocument();
        ASSERT_GT(choices.shown.size(), 3u);

        QStringList expected{c.heading};
        for (const std::string& line : choices.shown)
            if (!QString::fromStdString(line).simplified().isEmpty())
                expected << QString::fromStdString(line).simplified();
        EXPECT_EQ(pdfLines(pdf), expected);
    }
}

TEST_F(UnattendedReportTest, ThePrintedDayChartIsTheChartWindowsOwnPrint) {
    const DayDate day = addDays(localDate(appClock().now()), 2);
    const QString date = QString::asprintf("%04d-%02d-%02d", day.year, day.month, day.day);
    for (int hour : {0, 8, 12}) {
        SCOPED_TRACE(hour);
        const QString printed = dir.filePath("printed.pdf"), window = dir.filePath("window.pdf");
        QString err;
        ASSERT_EQ(
            run({"--print-report", "day", "--date", date, "--hours",
                 QString::asprintf("%02d-%02d", hour, hour + 12), "--print-to", printed, group},
                &err),
            0)
            << err.toStdString();

        CZUKRecDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(group));
        {
            CDayResDlg chart(doc, hour, 0x000000FF);
            chart.setDate(day);
            ASSERT_FALSE(chart.items().empty());
            // The window's document through the one printing routine, as its Print does.
            PrintRequest request;
            request.target = PrintTarget::PdfFile;
            request.pdfPath = window;
            ASSERT_TRUE(printDocument(chart.document(), request).printed());
        }
        doc.OnCloseDocument();
        const QStringList lines = pdfLines(printed);
        EXPECT_EQ(lines, pdfLines(window));
        ASSERT_GE(lines.size(), 4);
        EXPECT_EQ(lines[0], QString::fromStdString(longDateText(day)));
        EXPECT_EQ(lines[1], "Day at a Glance");
    }
}

TEST_F(UnattendedReportTest, RefusalsEndWithoutAReportAndTheirStatus) {
    struct Case {
        QStringList args;
        int status;
        const char* message;
    };
    const QString empty = dir.filePath("Empty.rec");
    {
        // A group whose reservation table holds nothing: its own file beside the samples.
        ASSERT_TRUE(QFile::copy(group, empty));
        CSchedule s;
        ASSERT_EQ(s.Create(empty.toStdString()), 0);
        s.Close();
    }
    const std::vector<Case> cases = {
        {{"--print-report", "reservations", empty}, 1, "No reservations for this group"},
        {{"--print-report", "utilization", empty}, 1, "utilization is 0"},
        {{"--print-report", "day", empty}, 1, "No reservations for this group"},
        {{"--print-report", "reservations", "--facility", "Court 9", group},
         2,
         "no facility \"Court 9\""},
        {{"--print-report", "utilization", dir.filePath("Missing.rec")}, 1, "cannot be opened"},
        {{"--print-report", "weekly", group}, 2, "usage: quorvane --print-report"},
        {{"--print-report", "reservations", "--print-to", "/nonexistent/dir/r.pdf", group},
         1,
         "could not be printed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QString err;
        EXPECT_EQ(run(c.args, &err), c.status);
        EXPECT_TRUE(err.contains(c.message)) << err.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.pdf"}).isEmpty()) << "no report was written";
}

TEST_F(UnattendedReportTest, ScheduledPrintsAreQuietNeverFollowLinksAndReportFailedWrites) {
    const QString victim = dir.filePath("victim.txt");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    // The README's nightly job: no printer, so the PDF beside the group, where another user
    // planted a link.
    const QString beside = dir.filePath("Tennis Courts Reservation Report.pdf");
    ASSERT_TRUE(QFile::link(victim, beside));
    QString err;
    EXPECT_EQ(run({"--print-report", "reservations", group}, &err, true), 0);
    EXPECT_EQ(err, QString()) << "nothing to say when nothing is wrong";
    EXPECT_FALSE(QFileInfo(beside).isSymLink());
    EXPECT_TRUE(pdfLines(beside).contains("**End of Report**"));
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), "keep me");

    struct Case {
        const char* name;
        QString printTo;
        rlim_t fileLimit;
        QString why;
    };
    const std::vector<Case> cases = {
        {"a full disk", dir.filePath("full.pdf"), 4096,
         dir.filePath("full.pdf") + " could not be written: File too large"},
        {"no such folder", "/nonexistent/dir/r.pdf", 0,
         "/nonexistent/dir/r.pdf could not be written: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* kind : {"reservations", "day"}) {
            EXPECT_EQ(run({"--print-report", kind, "--print-to", c.printTo, group}, &err, true,
                          c.fileLimit),
                      1);
            EXPECT_TRUE(err.contains(c.why)) << err.toStdString();
            EXPECT_FALSE(QFile::exists(c.printTo));
        }
    }
}

// A report job whose table is cut short while it walks it ends with the incomplete line.
TEST_F(UnattendedReportTest, ATableCutShortUnderTheReportIsReportedIncomplete) {
    struct Cutting final : ReservationCursor {
        ScheduleCursor& inner;
        QString file;
        long steps = 0, cutAt = -1;
        Cutting(ScheduleCursor& c, QString f) : inner(c), file(std::move(f)) {}
        int first() override { return inner.first(); }
        int seekDate(const std::string& key) override { return inner.seekDate(key); }
        int next() override {
            if (++steps == cutAt) QFile::resize(file, QFileInfo(file).size() / 2);
            return inner.next();
        }
        void read(ReservationRecord& out) const override { inner.read(out); }
        bool cutShort() override { return inner.cutShort(); }
    };
    ReportCriteria all;
    all.rangeStart = Clock::fromLocal(1990, 1, 1);
    all.rangeEnd = Clock::fromLocal(2100, 1, 1);
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut" : "whole");
        CZUKRecDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(group));
        for (const ReportKind kind : {ReportKind::Reservations, ReportKind::Utilization}) {
            if (kind == ReportKind::Utilization) all.facilities = {0, 1, 2, 3};
            ReportJob job;
            {
                ScheduleCursor schedule(*doc.tables()->schedule());
                Cutting cursor(schedule, dir.filePath("TENNIS COURTS.DBF"));
                cursor.cutAt = cut && kind == ReportKind::Reservations ? 2000 : -1;
                job = runReportJob(kind, all, reportGroup(doc), cursor);
            }
            EXPECT_EQ(job.cutShort, cut);
            EXPECT_EQ(job.readError, 0);
            if (kind == ReportKind::Reservations) {
                EXPECT_EQ(job.lines.line(job.lines.size() - 1),
                          cut ? kReportCutShort : "**End of Report**");
            }
        }
        doc.OnCloseDocument();
    }
}

}  // namespace
}  // namespace quorvane

#endif
