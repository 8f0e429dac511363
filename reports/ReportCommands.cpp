#include "reports/ReportCommands.h"

#include <array>
#include <string>

#include "app/GroupTables.h"
#include "app/ZUKRecDoc.h"
#include "app/core/Clock.h"
#include "app/core/GroupFile.h"
#include "platform/AppSettings.h"
#include "platform/Prompter.h"
#include "reports/ReportCriteria.h"
#include "reports/ReportDialogs.h"
#include "tables/Calendar.h"
#include "tables/Schedule.h"

namespace quorvane {

namespace {

CSchedule* scheduleOf(CZUKRecDoc& doc) {
    return doc.tables() ? doc.tables()->schedule() : nullptr;
}

}  // namespace

void runAllReservations(CZUKRecDoc& doc, QWidget* parent) {
    CSchedule* schedule = scheduleOf(doc);
    if (!schedule || schedule->First() != 0) {
        appPrompter().message(QStringLiteral("No reservations for this group"),
                              QStringLiteral("No Reservations"), PromptIcon::Information);
        return;
    }
    const LocalTime now = appClock().localNow();
    const std::int64_t monthStart = Clock::fromLocal(now.year, now.month, 1);
    ReportDialogs& dialogs = appReportDialogs();
    if (dialogs.askReservationOptions(doc, monthStart, parent))
        dialogs.showReservationReport(doc, parent);
}

void runUtilization(CZUKRecDoc& doc, QWidget* parent) {
    CSchedule* schedule = scheduleOf(doc);
    if (!schedule || schedule->First() != 0) {
        appPrompter().message(QStringLiteral("No reservations for this group, utilization is 0"),
                              QStringLiteral("No Reservations"), PromptIcon::None);
        return;
    }
    DayDate first;
    schedule->GetDate(first.month, first.day, first.year);
    // A damaged first date proposes today instead.
    const std::int64_t defaultStart = isValidDate(first) ? localTimeValue(first) : appClock().now();
    ReportDialogs& dialogs = appReportDialogs();
    if (!dialogs.askUtilizationOptions(doc, defaultStart, AppSettings().startHour(), parent))
        return;

    std::array<std::string, kSlots> names;
    for (int i = 0; i < kSlots; ++i) names[std::size_t(i)] = doc.group().rooms[std::size_t(i)].name;
    ScheduleCursor cursor(*schedule);
    const UtilizationResult result =
        computeUtilization(reportCriteria(doc), names, doc.facilityCount(), cursor);
    // The facilities keep their figures until the next computation.
    for (int i = 0; i < kSlots; ++i) {
        CRoom& room = doc.group().rooms[std::size_t(i)];
        room.utilizationSelected = result.rooms[std::size_t(i)].selected ? 1 : 0;
        room.utilization = result.rooms[std::size_t(i)].share;
    }
    if (result.readError < 0)
        appPrompter().message(
            QStringLiteral("The reservation table could not be read to its end (error %1); the "
                           "figures count the reservations read before it.")
                .arg(result.readError),
            QStringLiteral("Database Error"), PromptIcon::Stop);
    dialogs.showUtilizationReport(doc, result, parent);
}

}  // namespace quorvane
