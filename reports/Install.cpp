#include "reports/Install.h"

#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "reports/CustomerExportCommand.h"
#include "reports/DayResDlg.h"
#include "reports/ReportCommands.h"
#include "reports/ReportDialogs.h"
#include "reports/UnattendedReport.h"
#include "reports/core/CalendarExport.h"
#include "reports/core/CustomerExport.h"

namespace quorvane {

namespace {

void showDayAtAGlance(CZUKRecDoc& doc, QWidget* parent) {
    // The window's own copies of the start hour and the occupied colour, as it draws with them.
    const ViewPreferences prefs = viewPreferencesOf(parent);
    appReportDialogs().showDayChart(doc, prefs.startHour, std::uint32_t(prefs.occupiedColor),
                                    parent);
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
    setReportPrinter(printReportRequest);  // quorvane --print-report
}

}  // namespace quorvane
