#include "reports/Install.h"

#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "reports/ReportCommands.h"
#include "reports/UnattendedReport.h"

namespace quorvane {

void installReportCommands() {
    registerGroupCommand(cmd::kAllReservations, runAllReservations);
    registerGroupCommand(cmd::kUtilization, runUtilization);
    setReportPrinter(printReportRequest);  // quorvane --print-report
}

}  // namespace quorvane
