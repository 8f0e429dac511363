#pragma once
// The lines of the customer and maintenance lists, with the record each was read from: the
// customer chooser, Make Reservation's two lists and the report's customer selection all
// walk the tables here, so they show one customer the same way. Texts are Windows-1252 bytes.
#include <string>
#include <vector>

class CPeople;
class CMaintenance;

namespace quorvane {

// One listed line and the record number it was read from.
struct RecordRow {
    std::string line;
    long record = 0;
    bool operator==(const RecordRow&) const = default;
};

// The two looks a customer line has. kList (the choosers and the report's selection):
// "%-16s \t%s, %s %s  \t%s" with the phone cut to 15 characters. kBooking (Make Reservation):
// "%-16s \t%s, %s   %s  \t%s" with the phone whole.
enum class CustomerLineStyle { kList, kBooking };

// The line of one customer: the phone text (" x-" and the extension when there is one), last
// name, first name, middle initial, "(organization)" or nothing.
std::string customerLine(const std::string& phone, const std::string& ext, const std::string& last,
                         const std::string& first, const std::string& mi, const std::string& org,
                         CustomerLineStyle style = CustomerLineStyle::kList);

// Every live customer (item) in key order. 0, or the engine's code when the walk stopped on
// an error; `rows` then holds what was read before it.
int customerRows(CPeople& people, std::vector<RecordRow>& rows,
                 CustomerLineStyle style = CustomerLineStyle::kList);
int maintenanceRows(CMaintenance& maintenance, std::vector<RecordRow>& rows);

}  // namespace quorvane
