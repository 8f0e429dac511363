#pragma once
// The reservation report: the reservations of a group between two dates, optionally only of
// some facilities and some customers, grouped by day and facility with a count per group.
// Everything here is free of widgets: the options' rules and the builder take values and
// tables and give texts and lines.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Message.h"
#include "reports/core/ReportCriteria.h"
#include "reports/core/ReportLines.h"
#include "reports/core/ReportSource.h"

class CPeople;

namespace quorvane {

// ----- the options (dialog 165) -----

// The customer list of the options is customerRows (tables/RecordRows.h).

struct ReservationOptions {
    std::int64_t start = 0, end = 0;
    std::vector<int> facilities;        // selected lines, ascending
    std::vector<long> customerRecords;  // record numbers of the selected customer lines
};

// The OK step's refusal: "The end date must be greater than the start date." ("Date Error")
// when the end is earlier than the start (equal instants pass); none when the options stand.
std::optional<Message> checkReservationOptions(const ReservationOptions& options);
// Stores accepted options as the criteria. Each selected customer is read back by its record
// number; one that cannot be read leaves an empty key in its place.
void storeReservationOptions(const ReservationOptions& options, CPeople* people,
                             ReportCriteria& criteria);

// ----- the builder -----

struct ReservationReportResult {
    bool outOfMemory = false;  // a line was refused and the scan stopped
    int readError = 0;         // the table's negative code when a step failed, else 0
    bool cutShort = false;     // the table ended before its last record: the report is incomplete
    long recordsRead = 0;
};

// The closing line of a report whose table ended before its last record.
inline constexpr char kReportCutShort[] =
    "**Report incomplete: the reservation table ended before its last record**";

// Appends the report to `out`. `facilityNames` are the group's facilities by position.
ReservationReportResult buildReservationReport(const ReportCriteria& criteria,
                                               const std::vector<std::string>& facilityNames,
                                               ReservationCursor& cursor, ReportLines& out,
                                               ReportScan scan = ReportScan::FromRangeStart);

}  // namespace quorvane
