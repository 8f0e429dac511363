#include "tables/RecordRows.h"

#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/TableCore.h"

namespace quorvane {

std::string customerLine(const std::string& phone, const std::string& ext, const std::string& last,
                         const std::string& first, const std::string& mi, const std::string& org,
                         CustomerLineStyle style) {
    // "%-16s \t%s, %s %s  \t%s" (the picker's "%s   %s"), built by hand: a list makes
    // one line per customer.
    const bool list = style == CustomerLineStyle::kList;
    std::string line(list ? phone.substr(0, 15) : phone);
    line.reserve(48 + last.size() + first.size() + org.size());
    if (!ext.empty()) line.append(" x-").append(ext);
    if (line.size() < 16) line.append(16 - line.size(), ' ');
    line.append(" \t").append(last).append(", ").append(first);
    line.append(list ? " " : "   ").append(mi).append("  \t");
    if (!org.empty()) line.append("(").append(org).append(")");
    return line;
}

int customerRows(CPeople& people, std::vector<RecordRow>& rows, CustomerLineStyle style) {
    rows.clear();
    const int r = people.ScanAll([&rows, style](const CPeople& p) {
        std::string first, mi, last, phone, ext;
        p.GetName(first, mi, last);
        p.GetPhone(phone, ext);
        rows.push_back(
            {customerLine(phone, ext, last, first, mi, p.GetOrg(), style), p.GetRecordNumber()});
    });
    return r < 0 ? r : 0;
}

int maintenanceRows(CMaintenance& maintenance, std::vector<RecordRow>& rows) {
    rows.clear();
    int r = maintenance.First();
    for (; r == 0; r = maintenance.Next())
        rows.push_back({maintenance.GetName(), maintenance.GetRecordNumber()});
    return r < 0 ? r : 0;
}

}  // namespace quorvane
