#pragma once
// The customer list exported for other programs: a comma-delimited text file and the
// mailing-list address pair. Both walk the folder's customer table in key order (last name,
// first name, middle initial, phone, extension). Texts stay the stored Windows-1252 bytes.
// Qt-free: the commands with their dialogs are in CustomerExportCommand.h.
#include <array>
#include <string>

class CPeople;

namespace quorvane {

// Whether `path` names a file a group keeps in its folder: a table or its index (.DBF, .CDX,
// .IDX), a group file (.rec) or a change stamp ("<group>Update.bin"), compared without case.
// No export replaces one: a click on the customer table must not turn it into a text file.
bool isGroupFileName(const std::string& path);

// ----- comma-delimited file -----
inline constexpr const char* kTextExportHeader =
    "firstname,initial,lastname,organization,address,city,state,zip";
// A value in double quotes, each quote inside it doubled, so every reader gets the value back.
std::string csvQuoted(const std::string& value);
// A field as the export writes it: quoted, and with an apostrophe put first when it starts
// with =, +, -, @, a tab or a carriage return, so a spreadsheet shows it as text instead of
// running it as a formula (a customer named "=HYPERLINK(...)" stays a name).
std::string csvCell(const std::string& value);
// The line of one customer without its line end: nine fields (csvCell), the last always empty.
std::string textExportLine(const std::string& first, const std::string& mi, const std::string& last,
                           const std::string& org, const std::string& address,
                           const std::string& city, const std::string& state,
                           const std::string& zip);

enum TextExportResult { kTextExported = 0, kTextNotCreated = 1, kTextWriteFailed = 2 };
// Writes (replacing) `path`: the header line, then one line per customer, CRLF line ends. The
// target changes only when the whole export was written.
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

// The note the text export's Save dialog shows.
inline constexpr const char* kFormulaNote =
    "Texts that start with =, +, -, @, a tab or a carriage return are written with an "
    "apostrophe in front, so a spreadsheet shows them as text instead of running them as "
    "formulas.";

}  // namespace quorvane
