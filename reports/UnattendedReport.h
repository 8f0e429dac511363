#pragma once
// Reports printed without a window (quorvane --print-report): the same criteria a person picks
// in the options dialog, the same report job as the report window, on the printer or into a
// PDF file.
#include <QString>
#include <cstdint>
#include <optional>

#include "app/ReportRequest.h"
#include "reports/core/ReportJob.h"

namespace quorvane {

class CZUKRecDoc;

// The reservation or utilization report of `request` on an open group, `now` standing for the
// present moment (the defaults of the options dialogs). Without a report, `refusal` says why and
// `status` is the exit status to end with (1 no reservations or a read error, 2 a wrong argument).
struct UnattendedResult {
    std::optional<ReportJob> report;
    QString refusal;
    int status = 0;
};
UnattendedResult buildUnattendedReport(CZUKRecDoc& doc, const ReportRequest& request,
                                       std::int64_t now);

// Opens the group, builds and prints the report, closes the group. The exit status: 0
// printed, 1 the group, the report or the printer failed, 2 a wrong argument.
int printReportRequest(const ReportRequest& request);

}  // namespace quorvane
