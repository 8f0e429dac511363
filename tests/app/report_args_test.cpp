// The command line of unattended report printing.
#include <gtest/gtest.h>

#include "app/ZUKRecApp.h"

using namespace quorvane;

namespace {

CommandLine parse(const QStringList& args) {
    return parseCommandLine(QStringList{"quorvane"} + args);
}

TEST(ReportArguments, WellFormedRequestsBecomeTheirCriteria) {
    const CommandLine all = parse({"--print-report", "reservations", "Courts.rec"});
    ASSERT_TRUE(all.error.isEmpty()) << all.error.toStdString();
    ASSERT_TRUE(all.report);
    EXPECT_TRUE(all.unattended());
    EXPECT_EQ(all.report->kind, ReportKind::Reservations);
    EXPECT_EQ(all.report->groupPath, "Courts.rec");
    EXPECT_FALSE(all.report->from);
    EXPECT_TRUE(all.report->facilities.isEmpty()) << "every facility";

    const CommandLine util =
        parse({"--print-report", "utilization", "--from", "2026-02-01", "--to", "2026-02-28",
               "--facility", "Court 1", "--facility", "Court 3", "--facility", "Court 1", "--hours",
               "08-22", "--print-to", "out.pdf", "Courts.rec"});
    ASSERT_TRUE(util.report) << util.error.toStdString();
    EXPECT_EQ(util.report->kind, ReportKind::Utilization);
    EXPECT_EQ(util.report->from, (DayDate{2026, 2, 1}));
    EXPECT_EQ(util.report->to, (DayDate{2026, 2, 28}));
    EXPECT_EQ(util.report->facilities, (QStringList{"Court 1", "Court 3"}));
    EXPECT_EQ(util.report->firstHour, 8);
    EXPECT_EQ(util.report->lastHour, 22);
    EXPECT_EQ(util.report->printTo, "out.pdf");
    // An ending hour of midnight after a later start is the end of the day.
    EXPECT_EQ(
        parse({"--print-report", "utilization", "--hours", "18-00", "a.rec"}).report->lastHour, 24);

    const CommandLine day =
        parse({"--print-report", "day", "--date", "2024-02-29", "--hours", "12-24", "a.rec"});
    ASSERT_TRUE(day.report) << day.error.toStdString();
    EXPECT_EQ(day.report->date, (DayDate{2024, 2, 29}));
    EXPECT_EQ(day.report->firstHour, 12);
    EXPECT_EQ(parse({"--print-report", "reservations", "--from", "2026-03-01", "--to", "2026-03-01",
                     "a.rec"})
                  .error,
              "")
        << "one day: from its 00:00 to its 23:59";
}

TEST(ReportArguments, WrongArgumentsGiveOneClearLineAndTheUsage) {
    struct Case {
        QStringList args;
        const char* error;  // a part of the message
    };
    const std::vector<Case> cases = {
        {{"--print-report", "weekly", "a.rec"}, "\"weekly\" is not a report"},
        {{"--print-report", "day"}, "needs a group file"},
        {{"--print-report", "day", "a.rec", "b.rec"}, "one group file, not 2"},
        {{"--print-report", "day", "notes.txt"}, "is not a group file"},
        {{"--print-report", "reservations", "--from", "2026-02-30", "a.rec"},
         "--from: 2026-02-30 is not a date"},
        {{"--print-report", "reservations", "--to", "1/3/2026", "a.rec"}, "--to: 1/3/2026"},
        {{"--print-report", "reservations", "--from", "2026-03-02", "--to", "2026-03-01", "a.rec"},
         "--to must not be before --from"},
        {{"--print-report", "reservations", "--date", "2026-03-02", "a.rec"},
         "--date applies to the day chart only"},
        {{"--print-report", "day", "--from", "2026-03-02", "a.rec"}, "use --date"},
        {{"--print-report", "day", "--facility", "Court 1", "a.rec"}, "--facility does not apply"},
        {{"--print-report", "utilization", "--facility", " ", "a.rec"}, "--facility needs a name"},
        {{"--print-report", "reservations", "--hours", "08-20", "a.rec"}, "--hours does not apply"},
        {{"--print-report", "utilization", "--hours", "8to20", "a.rec"}, "not an hour range"},
        {{"--print-report", "utilization", "--hours", "20-08", "a.rec"}, "must come before"},
        {{"--print-report", "utilization", "--hours", "00-25", "a.rec"}, "must come before"},
        {{"--print-report", "day", "--hours", "08-18", "a.rec"}, "12 hours"},
        {{"--print-report", "day", "--hours", "13-25", "a.rec"}, "12 hours"},
        {{"--print-report", "day", "--date", "", "a.rec"}, "--date needs a value"},
        {{"--print-report", "day", "--print-to", "out.ps", "a.rec"}, "not a PDF file name"},
        {{"--print-report"}, "Missing value"},
        {{"--print", "--print-report", "day", "a.rec"}, "cannot be combined"},
        {{"--from", "2026-03-01", "a.rec"}, "--from belongs to --print-report"},
        {{"--print-report", "day", "--colour", "red", "a.rec"}, "Unknown option"},
    };
    for (const Case& c : cases) {
        const CommandLine line = parse(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_FALSE(line.report);
        EXPECT_TRUE(line.error.contains(c.error)) << line.error.toStdString();
        EXPECT_FALSE(line.error.contains('\n'));
    }
    // The report's own mistakes come with the usage line.
    EXPECT_TRUE(
        parse({"--print-report", "weekly", "a.rec"})
            .usage.startsWith("usage: quorvane --print-report reservations|utilization|day"));
}

TEST(ReportArguments, HelpListsTheReportOptions) {
    const CommandLine help = parse({"--help"});
    for (const char* option :
         {"--print-report", "--from", "--to", "--facility", "--hours", "--date", "--print-to"})
        EXPECT_TRUE(help.output.contains(option)) << option;
}

}  // namespace
