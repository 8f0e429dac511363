#include "reports/Install.h"

#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "platform/AppSettings.h"
#include "reports/CalendarExport.h"
#include "reports/CustomerExport.h"
#include "reports/DayResDlg.h"
#include "reports/ReportCommands.h"

namespace quorvane {

namespace {

void showDayAtAGlance(CZUKRecDoc& doc, QWidget* parent) {
    const AppSettings settings;
    CDayResDlg dlg(doc, settings.startHour(), std::uint32_t(settings.occupiedColor()), parent);
    dlg.exec();
    // The main window redraws the group's view after every command, however it closed.
}

}  // namespace

void installReportCommands() {
    registerGroupCommand(cmd::kAllReservations, runAllReservations);
    registerGroupCommand(cmd::kUtilization, runUtilization);
    registerGroupCommand(cmd::kDayReservations, showDayAtAGlance);
    registerGroupCommand(cmd::kExportText, runTextExport);
    registerGroupCommand(cmd::kExportAddress, runAddressExport);
    registerGroupCommand(cmd::kExportCalendar, runCalendarExport);
}

}  // namespace quorvane
