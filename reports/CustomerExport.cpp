#include "reports/CustomerExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "reports/KFSClass.h"
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

std::string textExportLine(const std::string& first, const std::string& mi, const std::string& last,
                           const std::string& org, const std::string& address,
                           const std::string& city, const std::string& state,
                           const std::string& zip) {
    std::string line;
    for (const std::string* field : {&first, &mi, &last, &org, &address, &city, &state, &zip}) {
        line += csvQuoted(*field);
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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return kTextNotCreated;
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        return kTextNotCreated;
    }
    // One write per 64 KiB instead of per 4 KiB: the file is written start to end once.
    std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
    bool ok = std::fputs(kTextExportHeader, f) >= 0 && std::fputs("\r\n", f) >= 0;
    int r = people.First();
    while (ok && r == 0) {
        const AddressFields c = readCustomer(people);
        const std::string line =
            textExportLine(c.first, c.mi, c.last, c.org, c.address, c.city, c.state, c.zip);
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size() &&
             std::fputs("\r\n", f) >= 0;
        r = people.Next();
    }
    // A table that stopped with an error left customers out just as a failed write does.
    if (r < 0) ok = false;
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    return ok ? kTextExported : kTextWriteFailed;
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
