#include "reports/core/ReservationReport.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "base/Calendar.h"
#include "tables/People.h"
#include "tables/TableCore.h"

namespace quorvane {

namespace {

int dateNumber(const DayDate& d) {
    return d.year * 10000 + d.month * 100 + d.day;
}

// The detail and total lines are most of a report; they are put together by hand, with the
// same result as their printf formats, because formatting is a good part of the report's time.
class Line {
public:
    void clear() { s_.clear(); }
    Line& text(std::string_view t) {
        s_.append(t);
        return *this;
    }
    Line& ch(char c) {
        s_.push_back(c);
        return *this;
    }
    // "%-Ns": left-justified, never cut.
    Line& padded(std::string_view t, std::size_t width) {
        s_.append(t);
        if (t.size() < width) s_.append(width - t.size(), ' ');
        return *this;
    }
    // "%0Nd".
    Line& zeroPadded(int v, int width) {
        char digits[16];
        const long long magnitude = v < 0 ? -static_cast<long long>(v) : v;
        const auto r = std::to_chars(digits, digits + sizeof digits, magnitude);
        const int count = int(r.ptr - digits);
        if (v < 0) {
            s_.push_back('-');
            --width;
        }
        if (count < width) s_.append(std::size_t(width - count), '0');
        s_.append(digits, r.ptr);
        return *this;
    }
    // "%02d/%02d/%04d".
    Line& date(int month, int day, int year) {
        return zeroPadded(month, 2).ch('/').zeroPadded(day, 2).ch('/').zeroPadded(year, 4);
    }
    std::string_view view() const { return s_; }

private:
    std::string s_;
};

}  // namespace

std::optional<Message> checkReservationOptions(const ReservationOptions& options) {
    if (options.end < options.start)
        return Message{"The end date must be greater than the start date.", "Date Error",
                       PromptIcon::None};
    return std::nullopt;
}

void storeReservationOptions(const ReservationOptions& options, CPeople* people,
                             ReportCriteria& criteria) {
    criteria.rangeStart = options.start;
    criteria.rangeEnd = options.end;
    criteria.customers.assign(options.customerRecords.size(), CPeopleKey());
    for (std::size_t i = 0; i < options.customerRecords.size(); ++i) {
        if (people && people->GoTo(options.customerRecords[i]) == 0)
            people->GetKey(criteria.customers[i]);
    }
    criteria.facilities = options.facilities;
}

ReservationReportResult buildReservationReport(const ReportCriteria& criteria,
                                               const std::vector<std::string>& facilityNames,
                                               ReservationCursor& cursor, ReportLines& out,
                                               ReportScan scan) {
    ReservationReportResult result;
    const DayDate from = localDate(criteria.rangeStart);
    const DayDate to = localDate(criteria.rangeEnd);
    const int startKey = dateNumber(from);
    const int endKey = dateNumber(to);

    // The selected facilities by name, as the records name them. A position the group no
    // longer has (another user removed the facility) selects nothing.
    std::vector<std::string> wanted;
    for (int position : criteria.facilities)
        if (position >= 0 && std::size_t(position) < facilityNames.size())
            wanted.push_back(facilityNames[std::size_t(position)]);
    const bool anyFacility = criteria.facilities.empty();

    out.append(tables::format("Reservation Report from %02d/%02d/%04d to %02d/%02d/%04d",
                              from.month, from.day, from.year, to.month, to.day, to.year));
    out.append(" ");
    out.append(tables::format("%-15s %-10s %-6s %-6s %s", "Item Name", "Date", "Start", "End",
                              "Person Name"));

    int previousKey = 0;
    std::string previousFacility;
    int prevMonth = 0, prevDay = 0, prevYear = 0;
    int count = 0;
    Line line;
    auto totalLine = [&]() -> std::string_view {
        line.clear();
        line.text("Total Reservations for ").text(previousFacility).text(" for ");
        line.date(prevMonth, prevDay, prevYear).text(" is ").zeroPadded(count, 1);
        return line.view();
    };

    ReservationRecord rec;
    const int r = scanDateRange(cursor, scan, dateKey(from), endKey, rec, result.recordsRead, [&] {
        const int key = rec.dateNumber();
        if (key < startKey || key > endKey) return true;
        if (!anyFacility) {
            bool found = false;
            for (const std::string& name : wanted)
                if (name == rec.facility) found = true;
            if (!found) return true;
        }
        if (!criteria.customers.empty()) {
            bool found = false;
            for (const CPeopleKey& k : criteria.customers)
                if (k.Matches(rec.first, rec.mi, rec.last, rec.phone, rec.ext)) found = true;
            if (!found) return true;
        }

        if (key != previousKey || rec.facility != previousFacility) {
            if (previousKey != 0) out.append(totalLine());
            if (!out.append(" ")) {
                result.outOfMemory = true;
                return false;
            }
            count = 0;
            prevMonth = rec.month;
            prevDay = rec.day;
            prevYear = rec.year;
            previousKey = key;
            previousFacility = rec.facility;
        }
        const TwelveHour start = twelveHour(rec.startHour);
        const TwelveHour end = twelveHour(rec.endHour);
        line.clear();
        line.padded(rec.facility, 15).ch(' ').date(rec.month, rec.day, rec.year).ch(' ');
        line.zeroPadded(start.hour, 2).ch(':').zeroPadded(rec.startMinute, 2);
        line.ch(start.pm ? 'p' : 'a').ch(' ');
        line.zeroPadded(end.hour, 2).ch(':').zeroPadded(rec.endMinute, 2);
        line.ch(end.pm ? 'p' : 'a').ch(' ');
        // The name: the last name alone when there is no first name (maintenance).
        line.text(rec.last);
        if (!rec.first.empty()) line.text(", ").text(rec.first).ch(' ').text(rec.mi);
        line.ch(' ');
        if (!rec.phone.empty()) {
            line.ch('(').text(rec.phone);
            if (!rec.ext.empty()) line.text(" x-").text(rec.ext);
            line.ch(')');
        }
        if (!out.append(line.view())) {
            result.outOfMemory = true;
            return false;
        }
        ++count;
        return true;
    });
    if (r < 0) result.readError = r;
    result.cutShort = r > 0 && cursor.cutShort();

    // The closing lines are written even after a refused line: the report stays readable.
    if (previousKey != 0) out.appendPastLimit(totalLine());
    out.appendPastLimit(result.cutShort ? kReportCutShort : "**End of Report**");
    return result;
}

}  // namespace quorvane
