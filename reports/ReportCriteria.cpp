#include "reports/ReportCriteria.h"

#include <QObject>
#include <map>

#include "app/ZUKRecDoc.h"

namespace quorvane {

ReportCriteria& reportCriteria(CZUKRecDoc& doc) {
    static std::map<const CZUKRecDoc*, ReportCriteria> all;
    auto [it, added] = all.try_emplace(&doc);
    if (added) {
        const CZUKRecDoc* key = &doc;
        QObject::connect(&doc, &QObject::destroyed, [key] { all.erase(key); });
    }
    return it->second;
}

}  // namespace quorvane
