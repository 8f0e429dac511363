#include "reports/ReservationReport.h"

#include <cstdarg>
#include <cstdio>

#include "tables/Calendar.h"
#include "tables/People.h"

namespace quorvane {

namespace {

// printf into a line; report texts are short, and a longer one is cut rather than lost.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buf, std::size_t(n) < sizeof buf ? std::size_t(n) : sizeof buf - 1);
}

int dateNumber(const DayDate& d) {
    return d.year * 10000 + d.month * 100 + d.day;
}

}  // namespace

std::string customerListLine(const std::string& phone, const std::string& ext,
                             const std::string& last, const std::string& first,
                             const std::string& mi, const std::string& org) {
    const std::string cutPhone = phone.substr(0, 15);
    const std::string phoneText =
        ext.empty() ? cutPhone : format("%s x-%s", cutPhone.c_str(), ext.c_str());
    const std::string orgText = org.empty() ? std::string() : "(" + org + ")";
    return format("%-16s \t%s, %s %s  \t%s", phoneText.c_str(), last.c_str(), first.c_str(),
                  mi.c_str(), orgText.c_str());
}

std::vector<CustomerListRow> customerListRows(CPeople& people) {
    std::vector<CustomerListRow> rows;
    for (int r = people.First(); r == 0; r = people.Next()) {
        std::string first, mi, last, phone, ext;
        people.GetName(first, mi, last);
        people.GetPhone(phone, ext);
        rows.push_back({people.GetRecordNumber(),
                        customerListLine(phone, ext, last, first, mi, people.GetOrg())});
    }
    return rows;
}

QString reservationOptionsError(const ReservationOptions& options) {
    if (options.end < options.start)
        return QStringLiteral("The end date must be greater than the start date.");
    return {};
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

    out.append(format("Reservation Report from %02d/%02d/%04d to %02d/%02d/%04d", from.month,
                      from.day, from.year, to.month, to.day, to.year));
    out.append(" ");
    out.append(
        format("%-15s %-10s %-6s %-6s %s", "Item Name", "Date", "Start", "End", "Person Name"));

    int previousKey = 0;
    std::string previousFacility;
    int prevMonth = 0, prevDay = 0, prevYear = 0;
    int count = 0;
    auto totalLine = [&] {
        return format("Total Reservations for %s for %02d/%02d/%04d is %i",
                      previousFacility.c_str(), prevMonth, prevDay, prevYear, count);
    };

    const bool seek = scan == ReportScan::FromRangeStart;
    int r = seek ? cursor.seekDate(dateKey(from)) : cursor.first();
    ReservationRecord rec;
    for (; r == 0; r = cursor.next()) {
        cursor.read(rec);
        ++result.recordsRead;
        const int key = rec.dateNumber();
        // Records come in date order: past the last day nothing more can be selected.
        if (seek && key > endKey) break;
        if (key < startKey || key > endKey) continue;
        if (!anyFacility) {
            bool found = false;
            for (const std::string& name : wanted)
                if (name == rec.facility) found = true;
            if (!found) continue;
        }
        if (!criteria.customers.empty()) {
            bool found = false;
            for (const CPeopleKey& k : criteria.customers)
                if (k.Matches(rec.first, rec.mi, rec.last, rec.phone, rec.ext)) found = true;
            if (!found) continue;
        }

        if (key != previousKey || rec.facility != previousFacility) {
            if (previousKey != 0) out.append(totalLine());
            if (!out.append(" ")) {
                result.outOfMemory = true;
                break;
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
        const std::string phone = rec.phone.empty() ? std::string()
                                  : rec.ext.empty()
                                      ? format("(%s)", rec.phone.c_str())
                                      : format("(%s x-%s)", rec.phone.c_str(), rec.ext.c_str());
        const std::string name = rec.first.empty() ? rec.last
                                                   : format("%s, %s %s", rec.last.c_str(),
                                                            rec.first.c_str(), rec.mi.c_str());
        if (!out.append(format("%-15s %02d/%02d/%04d %02d:%02d%c %02d:%02d%c %s %s",
                               rec.facility.c_str(), rec.month, rec.day, rec.year, start.hour,
                               rec.startMinute, start.pm ? 'p' : 'a', end.hour, rec.endMinute,
                               end.pm ? 'p' : 'a', name.c_str(), phone.c_str()))) {
            result.outOfMemory = true;
            break;
        }
        ++count;
    }
    if (r < 0) result.readError = r;

    // The closing lines are written even after a refused line: the report stays readable.
    if (previousKey != 0) out.appendPastLimit(totalLine());
    out.appendPastLimit("**End of Report**");
    return result;
}

}  // namespace quorvane
