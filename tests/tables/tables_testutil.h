// Shared helpers of the table tests: a scratch folder, file bytes, a record's bytes, a
// reservation filled in, a customer added and an empty table made.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tables/People.h"
#include "tables/Schedule.h"
#include "tests/engine/data4_testutil.h"

namespace tables_test {

// The scratch folder and the file bytes are the engine tests' own: the tables sit on its files.
using engine_test::readBytes;
using engine_test::ScratchDir;
using engine_test::writeBytes;

inline bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

inline long fileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// The bytes of record n (1-based) of a data file, deletion flag first.
inline std::string recordBytes(const std::string& path, long n) {
    std::vector<unsigned char> b = readBytes(path);
    if (b.size() < 32) return {};
    unsigned headerLen = b[8] | (b[9] << 8);
    unsigned recLen = b[10] | (b[11] << 8);
    size_t at = headerLen + static_cast<size_t>(n - 1) * recLen;
    if (at + recLen > b.size()) return {};
    return std::string(reinterpret_cast<const char*>(b.data()) + at, recLen);
}

// A reservation of the given day, facility and times for a customer.
inline void fill(CSchedule& s, int y, int m, int d, const std::string& facility, int sh, int sm,
                 int eh, int em, const std::string& last = "Smith") {
    s.Clear();
    s.SetDate(m, d, y);
    s.SetFacility(facility);
    s.SetStart(sh, sm);
    s.SetEnd(eh, em);
    s.SetNames("John", "Q", last, "555-0100", "12", "Parks Club");
    s.SetMade(1, 2, 2026, 9, 30);
    s.SetKept(true);
}

// Appends a customer; 0 or the engine's code.
inline int addCustomer(CPeople& p, const std::string& first, const std::string& mi,
                       const std::string& last, const std::string& phone = "",
                       const std::string& ext = "", const std::string& org = "") {
    p.Clear();
    p.SetName(first, mi, last);
    p.SetPhone(phone, ext);
    p.SetOrg(org);
    return p.Add();
}

// An empty table (CSchedule, CPeople or CMaintenance) of the group at `groupPath`, closed
// again; 0 or the engine's code.
template <class Table>
int createEmpty(const std::string& groupPath) {
    Table t;
    return t.Create(groupPath);
}

}  // namespace tables_test
