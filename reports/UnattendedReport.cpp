#include "reports/UnattendedReport.h"

#include <QFileInfo>
#include <QPrinter>
#include <algorithm>
#include <array>
#include <cstdio>

#include "app/GroupPrinting.h"
#include "app/GroupTables.h"
#include "app/ZUKRecDoc.h"
#include "app/core/GroupFile.h"
#include "platform/AppSettings.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reports/DayGlance.h"
#include "reports/DayResDlg.h"
#include "reports/ReportSource.h"
#include "reports/ReservationReport.h"
#include "reports/UtilizationReport.h"
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

    UnattendedReport report;
    if (request.kind == ReportKind::Reservations) {
        if (!schedule || schedule->First() != 0)
            return refuse(QStringLiteral("No reservations for this group"), 1);
        // The options dialog starts on the first day of this month.
        criteria.rangeStart =
            rangeStartOf(request.from.value_or(DayDate{today.year, today.month, 1}));
        ScheduleCursor cursor(*schedule);
        std::vector<std::string> names;
        for (int i = 0; i < doc.facilityCount(); ++i)
            names.push_back(doc.group().rooms[std::size_t(i)].name);
        const ReservationReportResult built =
            buildReservationReport(criteria, names, cursor, report.lines);
        if (built.readError < 0)
            return refuse(QStringLiteral("Could not read schedule record from database"), 1);
        report.heading = QStringLiteral("Reservation Report for %1").arg(doc.description());
        report.docName = QStringLiteral("Reservation Report");
        report.style = kReservationPageStyle;
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
        std::array<std::string, kSlots> slotNames;
        for (int i = 0; i < kSlots; ++i)
            slotNames[std::size_t(i)] = doc.group().rooms[std::size_t(i)].name;
        ScheduleCursor cursor(*schedule);
        const UtilizationResult computed =
            computeUtilization(criteria, slotNames, doc.facilityCount(), cursor);
        if (computed.readError < 0)
            return refuse(QStringLiteral("Could not read schedule record from database"), 1);
        utilizationLines(criteria, computed, slotNames, report.lines);
        report.heading = QStringLiteral("Utilization Report for %1").arg(doc.description());
        report.docName = QStringLiteral("Utilization");
        report.style = kUtilizationPageStyle;
    } else {
        return refuse(QStringLiteral("the day chart prints itself (printReportRequest)"), 2);
    }
    if (criteria.rangeEnd < criteria.rangeStart)
        return refuse(QStringLiteral("--to must not be before --from"), 2);
    result.report = std::move(report);
    return result;
}

namespace {

// The day chart prints itself: the window's own print routine, on a window never shown.
int printDayChart(CZUKRecDoc& doc, const ReportRequest& request) {
    CSchedule* schedule = doc.tables() ? doc.tables()->schedule() : nullptr;
    if (!schedule || schedule->First() != 0) {
        std::fprintf(stderr, "quorvane: No reservations for this group\n");
        return 1;
    }
    const AppSettings settings;
    CDayResDlg chart(doc, request.firstHour.value_or(settings.startHour()),
                     std::uint32_t(settings.occupiedColor()));
    chart.setDate(request.date.value_or(localDate(appClock().now())));
    if (chart.items().empty())
        std::fprintf(stderr, "quorvane: no reservations on %s; the chart is empty\n",
                     longDateText(chart.date()).c_str());
    QPrinter& printer = appPrinter();
    if (!request.printTo.isEmpty())
        printToPdf(printer, QFileInfo(request.printTo).absoluteFilePath());
    else if (!hasSystemPrinter())
        printToPdf(printer, doc.basePath() + QStringLiteral(" DayGlance.pdf"));
    if (!chart.printOn(printer)) {
        std::fprintf(stderr, "quorvane: The chart could not be printed.\n");
        return 1;
    }
    if (printer.outputFormat() == QPrinter::PdfFormat)
        std::fprintf(stderr, "quorvane: printed to %s\n", qPrintable(printer.outputFileName()));
    return 0;
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
        const UnattendedReport& report = *built.report;
        QPrinter& printer = appPrinter();
        if (!request.printTo.isEmpty())
            printToPdf(printer, QFileInfo(request.printTo).absoluteFilePath());
        else if (!hasSystemPrinter())
            printToPdf(printer, doc.basePath() + QStringLiteral(" ") + report.docName +
                                    QStringLiteral(".pdf"));
        if (printReport(printer, report.docName, report.style, report.heading, report.lines)) {
            if (printer.outputFormat() == QPrinter::PdfFormat)
                std::fprintf(stderr, "quorvane: printed to %s\n",
                             qPrintable(printer.outputFileName()));
            status = 0;
        } else {
            std::fprintf(stderr, "quorvane: The report could not be printed.\n");
            status = 1;
        }
    }
    doc.OnCloseDocument();
    return status;
}

}  // namespace quorvane
