// The report commands and dialogs on a real group (its tables in a temporary folder): the
// empty-table messages, the defaults the options open with, the OK rules, the criteria they
// store, and the report windows' lines.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/Commands.h"
#include "app/DocumentManager.h"
#include "app/GroupCommands.h"
#include "app/GroupPrinting.h"
#include "app/MainFrame.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "engine/io4.h"
#include "group/GroupFile.h"
#include "group/GroupTables.h"
#include "platform/AppSettings.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/SettingsStore.h"
#include "report_fakes.h"
#include "reports/Install.h"
#include "reports/ReportCommands.h"
#include "reports/ReportDialogs.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tests/tables/tables_testutil.h"

namespace quorvane {
namespace {

// Runs the options dialogs without exec(): the script sets the controls, then OK is pressed.
struct ScriptedReports final : ReportDialogs {
    std::vector<std::int64_t> defaults;
    std::vector<int> defaultHours;
    std::function<void(CResReportDlg&)> onReservation;
    std::function<void(CUtilizationDlg&)> onUtilization;
    std::vector<std::vector<std::string>> shown;

    std::optional<ReservationOptions> askReservationOptions(CZUKRecDoc& doc, std::int64_t start,
                                                            QWidget*) override {
        defaults.push_back(start);
        CResReportDlg dialog(doc, start);
        if (onReservation) onReservation(dialog);
        if (!dialog.validate()) return std::nullopt;
        return dialog.options();
    }
    void showReservationReport(CZUKRecDoc& doc, const ReportCriteria& c, QWidget*) override {
        CResReportData window(doc, c);
        window.generate();
        shown.push_back(window.lines().toVector());
    }
    std::optional<UtilizationOptions> askUtilizationOptions(CZUKRecDoc& doc, std::int64_t start,
                                                            int hour, QWidget*) override {
        defaults.push_back(start);
        defaultHours.push_back(hour);
        CUtilizationDlg dialog(doc, start, hour);
        if (onUtilization) onUtilization(dialog);
        if (!dialog.validate()) return std::nullopt;
        return dialog.options();
    }
    void showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job, QWidget*) override {
        CUtilizationReportDlg window(doc, job);
        shown.push_back(window.lines().toVector());
    }
    std::vector<std::pair<int, std::uint32_t>> dayCharts;  // start hour and colour asked for
    void showDayChart(CZUKRecDoc&, int startHour, std::uint32_t color, QWidget*) override {
        dayCharts.emplace_back(startHour, color);
    }
};

struct NoSync final : Io4 {
    int fdatasync(int) override { return 0; }
};

class ReportCommandTest : public ::testing::Test {
protected:
    testing::TimeZone zone{"Europe/Amsterdam"};
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    RecordingPrompter prompter;
    RecordingHelpService help;
    FixedClock clock{Clock::fromLocal(2026, 3, 18, 10, 30)};
    ScriptedReports reports;
    RecordingPrintDialogs printing;
    QString file;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("Quorvane.ini")));
        setAppSettings(store.get());
        setAppPrompter(&prompter);
        setAppHelp(&help);
        setAppClock(&clock);
        setAppReportDialogs(&reports);
        setAppPrintDialogs(&printing);
        setGroupTablesFactory({});
        file = dir.filePath(QStringLiteral("Courts.rec"));
        GroupFile g;
        g.typeName = "Tennis Courts";
        g.description = "Riverside";
        for (const char* name : {"Court 1", "Court 2", "Court 3"})
            g.rooms[std::size_t(g.count++)].name = name;
        ASSERT_TRUE(saveGroupFile(file.toStdString(), g).ok());
        const std::string p = file.toStdString();
        ASSERT_EQ(tables_test::createEmpty<CSchedule>(p), 0);
        ASSERT_EQ(tables_test::createEmpty<CMaintenance>(p), 0);
        CPeople people;
        ASSERT_EQ(people.Create(p), 0);
        for (const char* last : {"Smith", "Jansen"})
            ASSERT_EQ(tables_test::addCustomer(people, "Anna", "", last, "555-0101"), 0);
    }
    void TearDown() override {
        setAppReportDialogs(nullptr);
        setAppPrintDialogs(nullptr);
        setAppClock(nullptr);
        setAppHelp(nullptr);
        setAppPrompter(nullptr);
        setAppSettings(nullptr);
    }

    void book(int y, int mo, int d, const char* facility, int sh, int eh, const char* last) {
        NoSync noSync;
        Io4* previous = io4set(&noSync);
        CSchedule s;
        ASSERT_EQ(s.Open(file.toStdString()), 0);
        s.SetDate(mo, d, y);
        s.SetFacility(facility);
        s.SetStart(sh, 0);
        s.SetEnd(eh, 0);
        s.SetNames("Anna", "", last, "555-0101", "", "");
        ASSERT_EQ(s.Add(), 0);
        s.Close();
        io4set(previous);
    }
    std::unique_ptr<CZUKRecDoc> open() {
        auto doc = std::make_unique<CZUKRecDoc>();
        if (!doc->OnOpenDocument(file)) return nullptr;
        return doc;
    }
};

TEST_F(ReportCommandTest, EmptyTableStopsBothCommands) {
    auto doc = open();
    ASSERT_TRUE(doc);
    runAllReservations(*doc, nullptr);
    runUtilization(*doc, nullptr);
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].text, QStringLiteral("No reservations for this group"));
    EXPECT_EQ(prompter.shown[0].caption, QStringLiteral("No Reservations"));
    EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
    EXPECT_EQ(prompter.shown[1].text,
              QStringLiteral("No reservations for this group, utilization is 0"));
    EXPECT_TRUE(reports.defaults.empty());
    doc->OnCloseDocument();
}

TEST_F(ReportCommandTest, DayAtAGlanceOpensThroughTheSeamWithTheStoredPreferences) {
    auto doc = open();
    ASSERT_TRUE(doc);
    AppSettings().setStartHour(9);
    clearGroupCommands();
    installReportCommands();
    const GroupCommandHandler& dayChart = groupCommand(cmd::kDayReservations);
    ASSERT_TRUE(dayChart);
    dayChart(*doc, nullptr);
    ASSERT_EQ(reports.dayCharts.size(), 1u);
    EXPECT_EQ(reports.dayCharts[0].first, 9);
    EXPECT_EQ(reports.dayCharts[0].second, 0x000000FFu);  // the occupied colour's default
    clearGroupCommands();
}

TEST_F(ReportCommandTest, AllReservationsFromDefaultsToReport) {
    book(2026, 3, 18, "Court 2", 9, 10, "Smith");
    book(2026, 3, 18, "Court 1", 13, 14, "Jansen");
    book(2026, 3, 1, "Court 1", 13, 14, "Jansen");
    book(2026, 4, 1, "Court 1", 13, 14, "Jansen");
    auto doc = open();
    ASSERT_TRUE(doc);
    // The defaults: this month's first day to now; the same day in both controls passes.
    reports.onReservation = [&](CResReportDlg& d) {
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("1258"))->text(),
                  QStringLiteral("Include Only Selected Tennis Courts(s)"));
        const ReservationOptions o = d.options();
        EXPECT_EQ(o.start, Clock::fromLocal(2026, 3, 1));
        EXPECT_EQ(o.end, clock.now());
        d.setRange(Clock::fromLocal(2026, 3, 18), clock.now());
    };
    runAllReservations(*doc, nullptr);
    ASSERT_EQ(reports.shown.size(), 1u);
    EXPECT_EQ(reports.shown[0],
              (std::vector<std::string>{
                  "Reservation Report from 03/18/2026 to 03/18/2026", " ",
                  "Item Name       Date       Start  End    Person Name", " ",
                  "Court 1         03/18/2026 01:00p 02:00p Jansen, Anna  (555-0101)",
                  "Total Reservations for Court 1 for 03/18/2026 is 1", " ",
                  "Court 2         03/18/2026 09:00a 10:00a Smith, Anna  (555-0101)",
                  "Total Reservations for Court 2 for 03/18/2026 is 1", "**End of Report**"}));

    // A customer chosen in the list selects by the customer's key; the list is in key order.
    reports.onReservation = [&](CResReportDlg& d) {
        d.setRange(Clock::fromLocal(2026, 3, 1), clock.now());
        d.selectCustomers({1});  // Smith, after Jansen
    };
    runAllReservations(*doc, nullptr);
    ASSERT_EQ(reports.shown.size(), 2u);
    EXPECT_EQ(reports.shown[1].size(), 7u);
    EXPECT_EQ(reports.shown[1][4].substr(0, 7), "Court 2");
    doc->OnCloseDocument();
}

TEST_F(ReportCommandTest, OptionRefusalsKeepTheDialogOpen) {
    book(2026, 3, 2, "Court 1", 9, 10, "Smith");
    auto doc = open();
    ASSERT_TRUE(doc);
    {
        CResReportDlg d(*doc, Clock::fromLocal(2026, 3, 1));
        d.setRange(Clock::fromLocal(2026, 3, 10), Clock::fromLocal(2026, 3, 9));
        EXPECT_FALSE(d.validate());
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].caption, QStringLiteral("Date Error"));
        EXPECT_EQ(prompter.shown[0].text,
                  QStringLiteral("The end date must be greater than the start date."));
        d.findChild<QPushButton*>(QStringLiteral("1260"))->click();
        EXPECT_EQ(help.requested, std::vector<unsigned>{0x200a5});
    }
    // Utilization: default hour 12 opens the end at midnight and OK takes 12-24; the hour
    // controls follow the box.
    CUtilizationDlg u(*doc, Clock::fromLocal(2026, 3, 2), 12);
    auto* end = u.findChild<QDateTimeEdit*>(QStringLiteral("1133"));
    EXPECT_EQ(end->dateTime(), QDateTime(QDate(1999, 1, 1), QTime(0, 0)));
    EXPECT_FALSE(end->isEnabled());
    u.setUseWindow(true);
    EXPECT_TRUE(end->isEnabled());
    EXPECT_TRUE(u.findChild<QLabel*>(QStringLiteral("1131"))->isEnabled());
    EXPECT_FALSE(u.validate());
    EXPECT_EQ(prompter.shown.back().caption, QStringLiteral("No Facility Selected"));
    u.selectFacilities({0, 2});
    EXPECT_TRUE(u.validate());
    ReportCriteria c;
    storeUtilizationOptions(u.options(), c);
    EXPECT_EQ(c.windowStart, 12);
    EXPECT_EQ(c.windowEnd, 24);
    EXPECT_EQ(c.facilities, (std::vector<int>{0, 2}));
    u.setHours(14, 9);
    EXPECT_FALSE(u.validate());
    EXPECT_EQ(prompter.shown.back().caption, QStringLiteral("Time Window Error"));
    doc->OnCloseDocument();
}

TEST_F(ReportCommandTest, UtilizationFromTheFirstReservation) {
    book(2026, 3, 2, "Court 1", 8, 20, "Smith");   // Monday, 12 of 24 hours
    book(2026, 3, 3, "Court 3", 10, 16, "Smith");  // Tuesday, 6 hours
    auto doc = open();
    ASSERT_TRUE(doc);
    reports.onUtilization = [&](CUtilizationDlg& d) {
        EXPECT_EQ(d.options().start, Clock::fromLocal(2026, 3, 2));
        d.setRange(Clock::fromLocal(2026, 3, 2), Clock::fromLocal(2026, 3, 8, 12));
        d.selectFacilities({0, 2});
    };
    runUtilization(*doc, nullptr);
    EXPECT_EQ(reports.defaultHours, std::vector<int>{6});
    ASSERT_EQ(reports.shown.size(), 1u);
    const auto& lines = reports.shown[0];
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Utilization from 03/02/2026 to 03/08/2026 ");
    EXPECT_EQ(
        lines[3],
        "Court 1             0.00  0.50  0.00  0.00  0.00  0.00  0.00      0.07         0.10");
    EXPECT_EQ(
        lines[4],
        "Court 3             0.00  0.00  0.25  0.00  0.00  0.00  0.00      0.04         0.05");
    EXPECT_EQ(doc->group().rooms[0].utilizationSelected, 1);
    EXPECT_EQ(doc->group().rooms[1].utilizationSelected, 0);
    EXPECT_DOUBLE_EQ(doc->group().rooms[0].utilization[1], 0.5);
    doc->OnCloseDocument();
}

TEST_F(ReportCommandTest, ReportWindowWritesPdf) {
    for (int d = 1; d <= 28; ++d) book(2026, 2, d, "Court 1", 9, 10, "Smith");
    auto doc = open();
    ASSERT_TRUE(doc);
    ReportCriteria c;
    c.rangeStart = Clock::fromLocal(2026, 2, 1);
    c.rangeEnd = Clock::fromLocal(2026, 2, 28);
    CResReportData window(*doc, c);
    EXPECT_EQ(window.lines().toVector(),
              std::vector<std::string>{"**** Generating reservation report ****"});
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("1185"))->text(),
              QStringLiteral("Riverside"));
    window.generate();
    EXPECT_EQ(window.lines().size(), 3u + 28 * 3 + 1);
    EXPECT_EQ(window.list()->model()->rowCount(), int(window.lines().size()));
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    EXPECT_TRUE(window.writePdf(pdf));
    EXPECT_GT(QFile(pdf).size(), 1000);

    // Print on a machine without a printer writes the report's own file beside the group.
    if (!hasSystemPrinter()) {
        printing.answer = true;
        window.print();
        const QString printed = dir.filePath(QStringLiteral("Courts Reservation Report.pdf"));
        EXPECT_EQ(printing.askedFiles, std::vector<QString>{printed});
        EXPECT_GT(QFile(printed).size(), 1000);
        EXPECT_EQ(appPrinter().outputFileName(), QString());  // the group's print is unchanged
    }
    doc->OnCloseDocument();
}

TEST_F(ReportCommandTest, MenuCommandsRunThroughTheMainWindow) {
    book(2026, 3, 2, "Court 1", 9, 10, "Smith");
    installReportCommands();
    {
        DocumentManager docs;
        CMainFrame frame(docs);
        frame.show();
        ASSERT_NE(docs.openDocument(file), nullptr);
        QAction* all = frame.action(cmd::kAllReservations);
        QAction* use = frame.action(cmd::kUtilization);
        ASSERT_TRUE(all && use);
        EXPECT_TRUE(all->isEnabled());
        EXPECT_TRUE(use->isEnabled());
        reports.onUtilization = [](CUtilizationDlg& d) { d.selectFacilities({0}); };
        all->trigger();
        use->trigger();
        EXPECT_EQ(reports.shown.size(), 2u);
        EXPECT_EQ(reports.defaults, (std::vector<std::int64_t>{Clock::fromLocal(2026, 3, 1),
                                                               Clock::fromLocal(2026, 3, 2)}));
        docs.closeAll();
    }
    clearGroupCommands();
}

}  // namespace
}  // namespace quorvane
