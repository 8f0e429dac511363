// Customers > Export to Calendar File: whose reservations, the file, the outcome.
#include <QFile>
#include <QFileInfo>

#include "app/AppDialogs.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "engine/file4replace.h"
#include "group/GroupFile.h"
#include "group/GroupTables.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reports/CustomerExportCommand.h"
#include "reports/ExportDialogs.h"
#include "reports/ReportDialogs.h"
#include "reports/core/CalendarExport.h"
#include "reports/core/CustomerExport.h"
#include "tables/People.h"

namespace quorvane {

void runCalendarExport(CZUKRecDoc& doc, QWidget* parent) {
    GroupTables* tables = doc.tables();
    CSchedule* schedule = tables ? tables->schedule() : nullptr;
    CPeople* people = tables ? tables->people() : nullptr;

    std::vector<CPeopleKey> keys;
    std::vector<QString> customers;
    for (int r = people ? people->First() : -1; r == 0; r = people->Next()) {
        CPeopleKey key;
        people->GetKey(key);
        std::string label = key.Last() + ", " + key.First();
        if (!key.MI().empty()) label += " " + key.MI();
        if (!key.Phone().empty()) label += "  " + key.Phone();
        customers.push_back(fromCp1252(label));
        keys.push_back(key);
    }
    std::vector<QString> facilities;
    const GroupFile& group = doc.group();
    for (int i = 0; i < doc.facilityCount(); ++i)
        facilities.push_back(fromCp1252(group.rooms[std::size_t(i)].name));

    const std::optional<CalendarScope> scope =
        appReportDialogs().askCalendarScope(customers, facilities, parent);
    if (!scope) return;

    FileDialogRequest request;
    request.title = QStringLiteral("Select a Path and Name for the Calendar File");
    request.filter =
        qtFileFilter(QStringLiteral("Calendar Files (*.ics)|*.ics|All Files (*.*)|*.*||"));
    request.folder = QFileInfo(doc.groupFilePath()).absolutePath();
    request.defaultSuffix = QStringLiteral("ics");
    const QString path = chooseExportFile(request, parent);
    if (path.isEmpty()) return;

    auto keep = [&](const CalendarBooking& b) {
        if (doc.findFacility(b.facility) < 0) return false;
        switch (scope->kind) {
            case CalendarScope::Customer: {
                if (b.maintenance || scope->index < 0 || scope->index >= int(keys.size()))
                    return false;
                return keys[std::size_t(scope->index)].Matches(b.first, b.mi, b.last, b.phone,
                                                               b.ext);
            }
            case CalendarScope::Facility:
                return scope->index >= 0 && scope->index < int(facilities.size()) &&
                       b.facility == group.rooms[std::size_t(scope->index)].name;
            case CalendarScope::All:
                break;
        }
        return true;
    };
    const std::int64_t now = appClock().now();
    const DayDate today = localDate(now);
    std::vector<CalendarBooking> bookings;
    const int read = schedule ? collectBookings(*schedule, today, keep, bookings) : -1;

    const QString caption = QStringLiteral("Export Status");
    if (read < 0) {
        appPrompter().message(
            QStringLiteral("Error during export, all records could not be written"), caption);
        return;
    }
    CalendarHeader header;
    header.name = toCp1252(doc.groupTitle());
    header.groupId = toCp1252(QFileInfo(doc.groupFilePath()).fileName()) + "|" + group.typeName;
    header.stamp = now;
    const DayDate last = bookings.empty() ? today : bookings.back().date;
    const std::string text = calendarText(header, localCalendarZone(today, last), bookings);

    // The file is replaced whole or not at all: a failed write leaves the old one, and a link
    // planted under the name is replaced, not followed.
    File4Replace file;
    if (file.begin(QFile::encodeName(path).toStdString()) != 0) {
        appPrompter().message(QStringLiteral("Error creating export file, export terminated"),
                              caption);
        return;
    }
    file.write(text.data(), text.size());
    if (file.commit() != 0) {
        appPrompter().message(
            QStringLiteral("Error during export, all records could not be written"), caption);
        return;
    }
    appPrompter().message(
        (bookings.size() == 1 ? QStringLiteral("%1 reservation exported to calendar file %2")
                              : QStringLiteral("%1 reservations exported to calendar file %2"))
            .arg(bookings.size())
            .arg(path),
        caption, PromptIcon::Information);
}

}  // namespace quorvane
