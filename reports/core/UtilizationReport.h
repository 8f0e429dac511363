#pragma once
// The utilization report: for each chosen facility and each day of the week, the share of
// the available time (whole days, or a window of hours) that was reserved over a date range,
// with a weekly and a Monday-to-Friday average. Free of widgets, like the reservation report.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Message.h"
#include "reports/core/ReportCriteria.h"
#include "reports/core/ReportLines.h"
#include "reports/core/ReportSource.h"
#include "reports/core/ReservationReport.h"

namespace quorvane {

constexpr int kSlots = 15;

// ----- the options (dialog 152) -----

struct UtilizationOptions {
    std::int64_t start = 0, end = 0;
    bool useHourWindow = false;
    int startHour = 0;  // 0-23, as the hour controls give them
    int endHour = 0;
    std::vector<int> facilities;  // selected lines, ascending
};

// The window's end hour: the ending hour, or 24 when it is midnight after a later start.
int utilizationWindowEnd(int startHour, int endHour);
// The OK step's checks in their order: the hour window (only while it is used), the dates,
// at least one facility.
std::optional<Message> checkUtilizationOptions(const UtilizationOptions& options);
void storeUtilizationOptions(const UtilizationOptions& options, ReportCriteria& criteria);

// ----- the computation -----

// Available seconds per weekday (Sunday first) over the range, and how many weekdays and
// Monday-to-Friday days have any.
struct Availability {
    std::array<double, 7> seconds{};
    double weekdaysPresent = 0;
    double workingDaysPresent = 0;
};
// The range's days are counted on the calendar, so a range across a change of the clocks
// has as many days as its dates say.
Availability availableTime(std::int64_t rangeStart, std::int64_t rangeEnd, bool useHourWindow,
                           int windowStart, int windowEnd);

// A reservation's times clipped to the window [w1, w2] of whole hours; false when nothing of
// it is counted.
bool clipToWindow(int w1, int w2, int& startHour, int& startMinute, int& endHour, int& endMinute);

struct FacilityUse {
    bool selected = false;
    std::array<double, 7> share{};  // reserved / available per weekday, Sunday first
};

struct UtilizationResult {
    Availability available;
    std::array<FacilityUse, kSlots> rooms{};  // by slot
    int readError = 0;                        // the table's negative code when a step failed
    long recordsRead = 0;
};

// `slotNames` are the group's 15 facility slots (empty past its count); `facilityCount`
// bounds the selected positions.
UtilizationResult computeUtilization(const ReportCriteria& criteria,
                                     const std::array<std::string, kSlots>& slotNames,
                                     int facilityCount, ReservationCursor& cursor,
                                     ReportScan scan = ReportScan::FromRangeStart);

// ----- the report lines -----

// "for the hours of 08am to 08pm", or empty without a window.
std::string utilizationHoursText(const ReportCriteria& criteria);
void utilizationLines(const ReportCriteria& criteria, const UtilizationResult& result,
                      const std::array<std::string, kSlots>& slotNames, ReportLines& out);

}  // namespace quorvane
