#include "reports/UnattendedReport.h"

#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include "group/GroupTables.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "platform/AppSettings.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reports/DayGlance.h"
#include "reports/ReportDialogs.h"
#include "reports/ReportPrinting.h"
#include "reports/core/ReportSource.h"
#include "tables/Schedule.h"

namespace quorvane {

namespace {

// The positions of the named facilities, ascending; a name the group does not have is a
// wrong argument.
bool facilityPositions(const CZUKRecDoc& doc, const QStringList& names, std::vector<int>& out,
                       QString& refusal) {
    out.clear();
    for (const QString& name : names) {
        const std::string wanted = toCp1252(name);
        int found = -1;
        for (int i = 0; i < doc.facilityCount(); ++i) {
            std::string have = doc.group().rooms[std::size_t(i)].name;
            while (!have.empty() && have.back() == ' ') have.pop_back();
            if (have == wanted) found = i;
        }
        if (found < 0) {
            refusal = QStringLiteral("--facility: this group has no facility \"%1\"").arg(name);
            return false;
        }
        out.push_back(found);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

std::int64_t rangeStartOf(const DayDate& d) {
    return localTimeValue(d, 0, 0, 0);
}
std::int64_t rangeEndOf(const DayDate& d) {
    return localTimeValue(d, 23, 59, 0);
}

}  // namespace

UnattendedResult buildUnattendedReport(CZUKRecDoc& doc, const ReportRequest& request,
                                       std::int64_t now) {
    UnattendedResult result;
    auto refuse = [&result](const QString& why, int status) {
        result.refusal = why;
        result.status = status;
        return result;
    };
    CSchedule* schedule = doc.tables() ? doc.tables()->schedule() : nullptr;
    const DayDate today = localDate(now);

    ReportCriteria criteria;
    if (!facilityPositions(doc, request.facilities, criteria.facilities, result.refusal))
        return refuse(result.refusal, 2);
    criteria.rangeEnd = rangeEndOf(request.to.value_or(today));

    if (request.kind == ReportKind::Reservations) {
        if (!schedule || schedule->First() != 0)
            return refuse(QStringLiteral("No reservations for this group"), 1);
        // The options dialog starts on the first day of this month.
        criteria.rangeStart =
            rangeStartOf(request.from.value_or(DayDate{today.year, today.month, 1}));
    } else if (request.kind == ReportKind::Utilization) {
        if (!schedule || schedule->First() != 0)
            return refuse(QStringLiteral("No reservations for this group, utilization is 0"), 1);
        // The options dialog starts on the day of the first reservation.
        DayDate first;
        schedule->GetDate(first.month, first.day, first.year);
        criteria.rangeStart =
            rangeStartOf(request.from.value_or(isValidDate(first) ? first : today));
        if (criteria.facilities.empty())
            for (int i = 0; i < doc.facilityCount(); ++i) criteria.facilities.push_back(i);
        if (criteria.facilities.empty())
            return refuse(QStringLiteral("This group has no facilities"), 1);
        criteria.useHourWindow = request.firstHour.has_value();
        criteria.windowStart = request.firstHour.value_or(0);
        criteria.windowEnd = request.lastHour.value_or(0);
    } else {
        return refuse(QStringLiteral("the day chart prints itself (printReportRequest)"), 2);
    }
    if (criteria.rangeEnd < criteria.rangeStart)
        return refuse(QStringLiteral("--to must not be before --from"), 2);
    ReportJob job = [&] {
        ScheduleCursor cursor(*schedule);
        return runReportJob(request.kind, criteria, reportGroup(doc), cursor);
    }();
    if (job.readError < 0)
        return refuse(QStringLiteral("Could not read schedule record from database"), 1);
    if (job.cutShort) return refuse(QString::fromLatin1(kCutShortMessage), 1);
    result.report = std::move(job);
    return result;
}

namespace {

// The report's document on the printer, or into the PDF of --print-to, or into its PDF beside
// the group when the machine has no printer. The exit status: 0 printed, 1 not.
int printUnattended(const CZUKRecDoc& doc, const ReportRequest& request,
                    const PrintDocument& document, const char* what) {
    PrintRequest target;
    target.target = request.printTo.isEmpty() ? PrintTarget::Printer : PrintTarget::PdfFile;
    target.pdfPath =
        request.printTo.isEmpty() ? pdfBeside(doc.basePath(), document.name) : request.printTo;
    const PrintOutcome outcome = printDocument(document, target);
    if (!outcome.printed()) {
        std::fprintf(stderr, "quorvane: The %s could not be printed: %s\n", what,
                     qPrintable(outcome.error));
        return 1;
    }
    // Where the PDF went is told to a person at a terminal; a scheduled job that went well
    // says nothing (cron mails every line).
    if (!outcome.pdfPath.isEmpty() && ::isatty(STDERR_FILENO))
        std::fprintf(stderr, "quorvane: printed to %s\n", qPrintable(outcome.pdfPath));
    return 0;
}

// The day chart: the day's items as the chart window loads them, printed as it prints them.
int printDayChart(CZUKRecDoc& doc, const ReportRequest& request) {
    CSchedule* schedule = doc.tables() ? doc.tables()->schedule() : nullptr;
    if (!schedule || schedule->First() != 0) {
        std::fprintf(stderr, "quorvane: No reservations for this group\n");
        return 1;
    }
    const AppSettings settings;
    const int startHour =
        std::clamp(request.firstHour.value_or(settings.startHour()), 0, kMaxStartHour);
    const DayDate date = request.date.value_or(localDate(appClock().now()));
    const DayChart chart = loadDayChart(
        doc.group(),
        [&doc](const std::string& key, std::vector<_SCHEDITEM>& out) {
            return doc.dayItems(key, out);
        },
        date);
    if (chart.items.empty())
        std::fprintf(stderr, "quorvane: no reservations on %s; the chart is empty\n",
                     longDateText(date).c_str());
    return printUnattended(doc, request, dayChartDocument(chart, startHour), "chart");
}

}  // namespace

int printReportRequest(const ReportRequest& request) {
    CZUKRecDoc doc;
    if (!doc.OnOpenDocument(QFileInfo(request.groupPath).absoluteFilePath())) return 1;
    if (request.kind == ReportKind::Day) {
        const int status = printDayChart(doc, request);
        doc.OnCloseDocument();
        return status;
    }
    UnattendedResult built = buildUnattendedReport(doc, request, appClock().now());
    int status = built.status;
    if (!built.report) {
        std::fprintf(stderr, "quorvane: %s\n", qPrintable(built.refusal));
    } else {
        const ReportJob& report = *built.report;
        status =
            printUnattended(doc, request,
                            reportDocument(QString::fromStdString(report.docName), report.style,
                                           fromCp1252(report.heading), report.lines),
                            "report");
    }
    doc.OnCloseDocument();
    return status;
}

}  // namespace quorvane
