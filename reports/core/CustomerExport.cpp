#include "reports/core/CustomerExport.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "engine/file4replace.h"
#include "reports/core/KFSClass.h"
#include "tables/People.h"

namespace quorvane {

std::string csvQuoted(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

bool isGroupFileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    auto endsWith = [&name](std::string_view tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail.data(), tail.size()) == 0;
    };
    for (std::string_view tail : {".dbf", ".cdx", ".idx", ".rec", "update.bin"})
        if (endsWith(tail)) return true;
    return false;
}

std::string csvCell(const std::string& value) {
    const bool formula =
        !value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' ||
                           value[0] == '@' || value[0] == '\t' || value[0] == '\r');
    return csvQuoted(formula ? "'" + value : value);
}

std::string textExportLine(const std::string& first, const std::string& mi, const std::string& last,
                           const std::string& org, const std::string& address,
                           const std::string& city, const std::string& state,
                           const std::string& zip) {
    std::string line;
    for (const std::string* field : {&first, &mi, &last, &org, &address, &city, &state, &zip}) {
        line += csvCell(*field);
        line += ',';
    }
    line += "\"\"";  // the ninth field, always empty
    return line;
}

namespace {

AddressFields readCustomer(const CPeople& people) {
    AddressFields c;
    people.GetName(c.first, c.mi, c.last);
    c.org = people.GetOrg();
    // The state comes as stored, two characters wide.
    people.GetAddress(c.address, c.city, c.state, c.zip);
    return c;
}

}  // namespace

int exportCustomersText(CPeople& people, const std::string& path) {
    // Written beside the target and renamed over it only when complete: a failed export
    // leaves the old file, and a link planted under the name is replaced, not followed.
    File4Replace file;
    if (file.begin(path) != 0) return kTextNotCreated;
    // One write per 64 KiB: the file is written start to end once.
    std::string buffer;
    buffer.reserve(64 * 1024 + 512);
    buffer += kTextExportHeader;
    buffer += "\r\n";
    int r = people.First();
    while (r == 0 && file.error() == 0) {
        const AddressFields c = readCustomer(people);
        buffer += textExportLine(c.first, c.mi, c.last, c.org, c.address, c.city, c.state, c.zip);
        buffer += "\r\n";
        if (buffer.size() >= 64 * 1024) {
            file.write(buffer.data(), buffer.size());
            buffer.clear();
        }
        r = people.Next();
    }
    file.write(buffer.data(), buffer.size());
    // A table that stopped with an error left customers out just as a failed write does.
    if (r < 0) {
        file.abandon();
        return kTextWriteFailed;
    }
    return file.commit() == 0 ? kTextExported : kTextWriteFailed;
}

AddressRecord addressRecord(const AddressFields& c, int duplicateCounter) {
    AddressRecord r{};
    auto put = [&r](int offset, const std::string& text, std::size_t max) {
        std::memcpy(&r[std::size_t(offset)], text.data(), std::min(text.size(), max));
    };
    put(0, c.zip, 11);
    std::string name = c.first + ' ';
    if (!c.mi.empty()) name += c.mi + ' ';
    name += c.last;
    put(12, name, 39);
    const auto counter = static_cast<std::uint32_t>(duplicateCounter);
    for (int i = 0; i < 4; ++i) r[std::size_t(52 + i)] = (counter >> (8 * i)) & 0xFF;
    // A longer organization fills all 28 bytes without a terminator; the rest is lost.
    put(68, c.org, 28);
    put(96, c.address, 79);
    put(176, c.city, 25);
    put(202, c.state, 2);
    return r;
}

int exportCustomersAddress(CPeople& people, const std::string& dataPath, std::string& indexPath) {
    CKFSClass pair;
    const int created =
        pair.Create(dataPath, kAddressRecordSize, kAddressKeyOffset, kAddressKeyLength, 0);
    if (created == CKFSClass::kExists) {
        indexPath = CKFSClass::IndexName(dataPath);
        return kAddressExists;
    }
    if (created != CKFSClass::kOk) return kAddressNotCreated;

    int result = kAddressExported;
    std::unordered_map<std::string, int> counters;
    int r = people.First();
    while (r == 0) {
        const AddressFields c = readCustomer(people);
        // Customers with one name get the counters 0, 1, 2 ... so that their keys differ. Each
        // takes the lowest free counter of its name, so the counters of a name are always
        // 0 .. n-1 and trying from n gives what trying from 0 would, without n failed adds.
        AddressRecord record = addressRecord(c, 0);
        int& counter = counters[std::string(reinterpret_cast<const char*>(&record[12]), 40)];
        int added = CKFSClass::kDuplicateKey;
        for (; counter < kMaxDuplicateCounter; ++counter) {
            added = pair.AddRecord(addressRecord(c, counter).data());
            if (added != CKFSClass::kDuplicateKey) break;
        }
        if (added == CKFSClass::kOk) ++counter;
        if (added != CKFSClass::kOk) {
            result = added == CKFSClass::kDuplicateKey ? kAddressTooManyEqual : kAddressWriteFailed;
            break;
        }
        r = people.Next();
    }
    if (r < 0 && result == kAddressExported) result = kAddressWriteFailed;
    if (pair.Close() != CKFSClass::kOk && result == kAddressExported) result = kAddressWriteFailed;
    return result;
}

}  // namespace quorvane
