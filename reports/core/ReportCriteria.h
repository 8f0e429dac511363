#pragma once
// What the reservation and utilization reports are asked for. The report commands keep the
// last set of each open group for the length of the session (never stored): each OK of an
// options dialog sets it anew, and the utilization options write the same dates and
// facilities.
#include <cstdint>
#include <vector>

#include "tables/People.h"

namespace quorvane {

struct ReportCriteria {
    // First and last instant of the range, local time, as the date controls hold them.
    std::int64_t rangeStart = 0;
    std::int64_t rangeEnd = 0;
    // Positions in the group's facility list, ascending; empty means every facility.
    std::vector<int> facilities;
    // Customers whose reservations are reported; empty means every reservation.
    std::vector<CPeopleKey> customers;

    // The utilization report's hour window: [windowStart, windowEnd] in whole hours, end 24
    // for the midnight that ends the day.
    bool useHourWindow = false;
    int windowStart = 0;
    int windowEnd = 0;
};

}  // namespace quorvane
