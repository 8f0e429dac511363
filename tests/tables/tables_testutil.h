// Shared helpers of the table tests: a scratch folder and file bytes.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tables/Schedule.h"

namespace tables_test {

class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/quorvane-tables-XXXXXX";
        const char* p = mkdtemp(tmpl);
        if (p) path_ = p;
    }
    ~ScratchDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

inline long fileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

inline std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
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

}  // namespace tables_test
