#include "tables/RecordRows.h"

#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/TableCore.h"

namespace quorvane {

std::string customerLine(const std::string& phone, const std::string& ext, const std::string& last,
                         const std::string& first, const std::string& mi, const std::string& org,
                         CustomerLineStyle style) {
    const bool list = style == CustomerLineStyle::kList;
    const std::string shown = list ? phone.substr(0, 15) : phone;
    const std::string phoneText = ext.empty() ? shown : shown + " x-" + ext;
    const std::string orgText = org.empty() ? std::string() : "(" + org + ")";
    return tables::format(list ? "%-16s \t%s, %s %s  \t%s" : "%-16s \t%s, %s   %s  \t%s",
                          phoneText.c_str(), last.c_str(), first.c_str(), mi.c_str(),
                          orgText.c_str());
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
