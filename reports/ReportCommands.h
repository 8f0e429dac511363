#pragma once
// The group window's report commands: "&All Reservations" and "&Utilization".
#include "reports/core/ReportCriteria.h"
#include "reports/core/ReportJob.h"

class QWidget;

namespace quorvane {

class CZUKRecDoc;

// "No reservations for this group" on an empty table; otherwise the options from the first
// day of this month, then the report window.
void runAllReservations(CZUKRecDoc& doc, QWidget* parent);
// "No reservations for this group, utilization is 0" on an empty table; otherwise the options
// from the first reservation's day, the computation and the report window.
void runUtilization(CZUKRecDoc& doc, QWidget* parent);
// The reservation report job on the group's table for `criteria` (no lines but the closing
// ones when the group has no table open), for the report window to show.
ReportJob reservationReportJob(CZUKRecDoc& doc, const ReportCriteria& criteria);

}  // namespace quorvane
