// Tables whose tags use the newer orders and layouts, seen from the record layer: builds
// that spool many sorted runs, other processes changing a descending tag with large nodes,
// and the order flags kept through pack and reindex.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/tag4.h"
#include "tests/engine/data4_testutil.h"

#if __has_include("engine/expr4.h")
#include "tests/engine/lock4_fork.h"

using namespace engine_test;

namespace {

const FIELD4INFO* layoutFields() {
    static const FIELD4INFO f[] = {
        {"NAME", 'C', 10, 0, 0}, {"CITY", 'C', 12, 0, 0}, {nullptr, 0, 0, 0, 0}};
    return f;
}

class TagLayouts : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1), 0); }
    void TearDown() override {
        i4sortMemorySet(0);
        vask4initUndo(&c);
    }

    static std::vector<long> walk(Data4* d, bool back = false) {
        std::vector<long> out;
        int r = back ? d4bottom(d) : d4top(d);
        while (r == 0) {
            out.push_back(d4recNo(d));
            r = d4skip(d, back ? -1 : 1);
        }
        return out;
    }
    static std::string check(Data4* d) {
        std::string rep;
        int r = i4check(d, &rep);
        if (r != 0 && rep.empty()) rep = "i4check " + std::to_string(r);
        return rep;
    }

    Vask4 c;
    ScratchDir dir;
};

// Restores the soft limit of open descriptors when it goes out of scope.
struct FileLimit {
    rlimit old{};
    explicit FileLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &old);
        rlimit now = old;
        now.rlim_cur = std::min<rlim_t>(soft, old.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &now);
    }
    ~FileLimit() { ::setrlimit(RLIMIT_NOFILE, &old); }
};

}  // namespace

// A build with very little sort memory makes far more sorted runs than a process may hold
// files open; it must still finish, give the same tag, and leave no run behind.
TEST_F(TagLayouts, ABuildWithManyMoreRunsThanOpenFilesStillSorts) {
    static const TAG4INFO tags[] = {{"NAMES", "NAME", ".NOT. DELETED()", 0, 0},
                                    {"CITYD", "CITY+NAME", nullptr, 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    std::string spool = dir.file("spool");
    ASSERT_EQ(::mkdir(spool.c_str(), 0700), 0);
    const char* oldTmp = std::getenv("TMP");
    const char* oldTemp = std::getenv("TEMP");
    std::string keepTmp = oldTmp ? oldTmp : "", keepTemp = oldTemp ? oldTemp : "";
    ::unsetenv("TEMP");
    ::setenv("TMP", spool.c_str(), 1);
    Data4* d = d4create(&c, dir.file("runs").c_str(), layoutFields(), tags);
    ASSERT_NE(d, nullptr);
    std::mt19937 rng(5);
    std::vector<std::pair<std::string, long>> model;
    for (long r = 1; r <= 4000; ++r) {
        std::string n = "N" + std::to_string(rng() % 100000);
        ASSERT_EQ(appendRow(d, {n, "C" + std::to_string(rng() % 30)}), 0);
        n.resize(10, ' ');
        model.emplace_back(n, r);
    }
    std::sort(model.begin(), model.end());
    std::vector<long> want;
    for (auto& m : model) want.push_back(m.second);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "CITYD")), 0);
    std::vector<long> cityOrder = walk(d);
    i4sortMemorySet(1);  // a handful of keys a run: about a thousand runs a tag
    {
        FileLimit limit(128);
        ASSERT_EQ(d4reindex(d), 0);
    }
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMES")), 0);
    EXPECT_EQ(walk(d), want);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "CITYD")), 0);
    EXPECT_EQ(walk(d), cityOrder);
    EXPECT_EQ(check(d), "");
    i4sortMemorySet(0);
    ASSERT_EQ(d4close(d), 0);
    EXPECT_EQ(::rmdir(spool.c_str()), 0);  // empty: every run is gone
    if (keepTemp.empty())
        ::unsetenv("TEMP");
    else
        ::setenv("TEMP", keepTemp.c_str(), 1);
    if (keepTmp.empty())
        ::unsetenv("TMP");
    else
        ::setenv("TMP", keepTmp.c_str(), 1);
}

#endif
