#pragma once
// One trip per report: the command asks for the options, this job turns the kind, the
// criteria and the group into the finished report (its lines, heading, job name and page
// style), and the report window, the printer or the command line shows or prints what it
// made. Free of widgets: tests run it on reservations held in memory.
#include <array>
#include <string>

#include "reports/core/ReportCriteria.h"
#include "reports/core/ReportKind.h"
#include "reports/core/ReportLines.h"
#include "reports/core/ReportSource.h"
#include "reports/core/UtilizationReport.h"

namespace quorvane {

// Where the heading and the first line stand and how far each line moves on, in line heights.
struct ReportPageStyle {
    int headingRow;
    int firstRow;
    int rowStep;
};
constexpr ReportPageStyle kReservationPageStyle{2, 6, 1};  // single spacing
constexpr ReportPageStyle kUtilizationPageStyle{4, 8, 2};  // double spacing

// What a report needs of its group.
struct ReportGroup {
    std::string description;                    // Windows-1252
    std::array<std::string, kSlots> slotNames;  // the 15 facility slots, empty past the count
    int facilityCount = 0;
};

struct ReportJob {
    ReportKind kind = ReportKind::Reservations;
    std::string heading;  // Windows-1252: "Reservation Report for <description>"
    std::string docName;  // the print job's name, and the PDF's name beside the group
    ReportPageStyle style{};
    ReportLines lines;
    bool outOfMemory = false;   // the reservation report stopped at a refused line
    int readError = 0;          // the table's negative code when a step failed
    bool cutShort = false;      // the table ended before its last record: incomplete
    UtilizationResult figures;  // the utilization report's figures
};

// The reservation or utilization report (not the day chart, which is a drawing).
ReportJob runReportJob(ReportKind kind, const ReportCriteria& criteria, const ReportGroup& group,
                       ReservationCursor& cursor);

}  // namespace quorvane
