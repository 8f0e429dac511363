#include "reports/ReportCommands.h"

#include <QObject>
#include <optional>

#include "app/ZUKRecDoc.h"
#include "base/Calendar.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "group/GroupTables.h"
#include "platform/AppSettings.h"
#include "platform/Prompter.h"
#include "reports/ReportDialogs.h"
#include "reports/core/ReportJob.h"
#include "reports/core/ReportSource.h"
#include "tables/Schedule.h"

namespace quorvane {

namespace {

CSchedule* scheduleOf(CZUKRecDoc& doc) {
    return doc.tables() ? doc.tables()->schedule() : nullptr;
}

// The last criteria of a group, kept for the length of the session: a child of the document,
// so they go with it. The utilization options write their dates and facilities over the
// reservation report's, as one set.
class RememberedCriteria final : public QObject {
public:
    explicit RememberedCriteria(QObject* doc) : QObject(doc) {}
    ReportCriteria criteria;
};

ReportCriteria& remembered(CZUKRecDoc& doc) {
    auto* memory = doc.findChild<RememberedCriteria*>(QString(), Qt::FindDirectChildrenOnly);
    if (!memory) memory = new RememberedCriteria(&doc);
    return memory->criteria;
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
    const std::optional<ReservationOptions> options =
        dialogs.askReservationOptions(doc, monthStart, parent);
    if (!options) return;
    ReportCriteria& criteria = remembered(doc);
    storeReservationOptions(*options, doc.tables() ? doc.tables()->people() : nullptr, criteria);
    dialogs.showReservationReport(doc, criteria, parent);
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
    const std::optional<UtilizationOptions> options =
        dialogs.askUtilizationOptions(doc, defaultStart, AppSettings().startHour(), parent);
    if (!options) return;
    ReportCriteria& criteria = remembered(doc);
    storeUtilizationOptions(*options, criteria);

    ReportJob job = [&] {
        ScheduleCursor cursor(*schedule);
        return runReportJob(ReportKind::Utilization, criteria, reportGroup(doc), cursor);
    }();
    // The facilities keep their figures until the next computation.
    for (int i = 0; i < kSlots; ++i) {
        CRoom& room = doc.group().rooms[std::size_t(i)];
        room.utilizationSelected = job.figures.rooms[std::size_t(i)].selected ? 1 : 0;
        room.utilization = job.figures.rooms[std::size_t(i)].share;
    }
    if (job.readError < 0)
        appPrompter().message(
            QStringLiteral("The reservation table could not be read to its end (error %1); the "
                           "figures count the reservations read before it.")
                .arg(job.readError),
            QStringLiteral("Database Error"), PromptIcon::Stop);
    if (job.cutShort) showCutShort();
    dialogs.showUtilizationReport(doc, job, parent);
}

ReportJob reservationReportJob(CZUKRecDoc& doc, const ReportCriteria& criteria) {
    if (CSchedule* schedule = scheduleOf(doc)) {
        ScheduleCursor cursor(*schedule);
        return runReportJob(ReportKind::Reservations, criteria, reportGroup(doc), cursor);
    }
    struct NoRows final : ReservationCursor {
        int first() override { return 3; }
        int seekDate(const std::string&) override { return 3; }
        int next() override { return 3; }
        void read(ReservationRecord&) const override {}
    } none;
    return runReportJob(ReportKind::Reservations, criteria, reportGroup(doc), none);
}

}  // namespace quorvane
