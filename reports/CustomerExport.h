#pragma once
// The customer list exported for other programs: a comma-delimited text file and the
// mailing-list address pair. Both walk the folder's customer table in key order (last name,
// first name, middle initial, phone, extension). Texts stay the stored Windows-1252 bytes.
#include <array>
#include <string>

class CPeople;
class QWidget;

namespace quorvane {

class CZUKRecDoc;

// ----- comma-delimited file -----
inline constexpr const char* kTextExportHeader =
    "firstname,initial,lastname,organization,address,city,state,zip";
// A value in double quotes, each quote inside it doubled, so every reader gets the value back.
std::string csvQuoted(const std::string& value);
// The line of one customer without its line end: nine quoted fields, the last always empty.
std::string textExportLine(const std::string& first, const std::string& mi, const std::string& last,
                           const std::string& org, const std::string& address,
                           const std::string& city, const std::string& state,
                           const std::string& zip);

enum TextExportResult { kTextExported = 0, kTextNotCreated = 1, kTextWriteFailed = 2 };
// Writes (replacing) `path`: the header line, then one line per customer, CRLF line ends.
int exportCustomersText(CPeople& people, const std::string& path);

// ----- address pair -----
inline constexpr int kAddressRecordSize = 260;
inline constexpr int kAddressKeyOffset = 12;
inline constexpr int kAddressKeyLength = 44;
inline constexpr int kMaxDuplicateCounter = 1000;
using AddressRecord = std::array<unsigned char, kAddressRecordSize>;

struct AddressFields {
    std::string first, mi, last, org, address, city, state, zip;
};
// The 260-byte record of a customer with its duplicate counter.
AddressRecord addressRecord(const AddressFields& c, int duplicateCounter);

enum AddressExportResult {
    kAddressExported = 0,
    kAddressNotCreated = 1,
    kAddressWriteFailed = 2,   // a write failed: not every customer is in the pair
    kAddressExists = 3,        // `indexPath` names the index file
    kAddressTooManyEqual = 4,  // 1000 customers with one name already: the rest is left out
};
// Creates the pair at `dataPath` and adds every customer.
int exportCustomersAddress(CPeople& people, const std::string& dataPath, std::string& indexPath);

// ----- the commands (file dialogs, messages) -----
void runTextExport(CZUKRecDoc& doc, QWidget* parent);
void runAddressExport(CZUKRecDoc& doc, QWidget* parent);

}  // namespace quorvane
