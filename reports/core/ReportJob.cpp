#include "reports/core/ReportJob.h"

#include <vector>

#include "reports/core/ReservationReport.h"

namespace quorvane {

ReportJob runReportJob(ReportKind kind, const ReportCriteria& criteria, const ReportGroup& group,
                       ReservationCursor& cursor) {
    ReportJob job;
    job.kind = kind;
    if (kind == ReportKind::Reservations) {
        const std::vector<std::string> names(group.slotNames.begin(),
                                             group.slotNames.begin() + group.facilityCount);
        const ReservationReportResult built =
            buildReservationReport(criteria, names, cursor, job.lines);
        job.outOfMemory = built.outOfMemory;
        job.readError = built.readError;
        job.cutShort = built.cutShort;
        job.heading = "Reservation Report for " + group.description;
        job.docName = "Reservation Report";
        job.style = kReservationPageStyle;
    } else {
        job.figures = computeUtilization(criteria, group.slotNames, group.facilityCount, cursor);
        job.readError = job.figures.readError;
        job.cutShort = cursor.cutShort();
        utilizationLines(criteria, job.figures, group.slotNames, job.lines);
        job.heading = "Utilization Report for " + group.description;
        job.docName = "Utilization";
        job.style = kUtilizationPageStyle;
    }
    return job;
}

}  // namespace quorvane
