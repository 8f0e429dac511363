// A scan lists the tag's records from a key in key order, however the records lie in the file:
// in key order, out of order only within short stretches, or scattered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tables/TableCore.h"
#include "tables_testutil.h"

namespace tables {
namespace {

const FieldSpec kFields[] = {{"KEY", 'C', 6}, {"PAD", 'C', 100}};
const TableSpec kSpec{kFields, 2, "KEYTAG", "KEY", ".NOT. DELETED()"};
constexpr int kRecords = 240;
constexpr std::size_t kWidth = 1 + 6 + 100;

std::string keyText(int k) {
    char b[16];
    std::snprintf(b, sizeof b, "K%05d", k);
    return b;
}

TEST(TableScan, KeyOrderFromAKeyWhereverTheRecordsLie) {
    std::vector<int> scattered(kRecords);
    for (int i = 0; i < kRecords; ++i) scattered[std::size_t(i)] = i;
    std::shuffle(scattered.begin(), scattered.end(), std::mt19937(7));
    const struct Case {
        const char* name;
        std::function<int(int)> keyOf;  // record index (from 0) -> its key number
    } cases[] = {
        {"in key order", [](int i) { return i; }},
        // Each run of six records added in reverse: read in stretches.
        {"out of order in stretches", [](int i) { return i / 6 * 6 + 5 - i % 6; }},
        {"scattered", [&](int i) { return scattered[std::size_t(i)]; }},
    };
    for (const Case& c : cases) {
        for (const std::size_t records : {std::size_t(8), std::size_t(1000)}) {
            tables_test::ScratchDir dir;
            TableCore t(kSpec);
            ASSERT_EQ(t.create(dir.file("SCAN")), 0) << c.name;
            for (int i = 0; i < kRecords; ++i)
                ASSERT_EQ(t.addRecord([&] { t.assign(0, keyText(c.keyOf(i))); }), 0);
            // A deleted record is passed by the tag and by the scan.
            ASSERT_EQ(t.go(8), 0);
            ASSERT_EQ(t.remove(true), 0);
            // Reads of a few records each, or all in one.
            t.setScanRead(records * kWidth);
            for (const int from : {0, 100}) {
                const std::string key = from ? keyText(from) : "";
                std::vector<std::pair<long, std::string>> want, got;
                for (int r = from ? t.seek(key) : t.top(); r == 0; r = t.next())
                    want.push_back({t.recNo(), t.text(0)});
                ASSERT_EQ(t.scan(
                              key, [] { return true; },
                              [&] {
                                  got.push_back({t.recNo(), t.text(0)});
                              }),
                          0);
                EXPECT_EQ(got, want) << c.name << ", reads of " << records << ", from " << from;
                int listed = 0;
                for (int i = 0; i < kRecords; ++i) listed += i != 7 && c.keyOf(i) >= from;
                EXPECT_EQ(want.size(), std::size_t(listed));
            }
        }
    }
}

// The comparison a walk makes of every record it passes: equal to the text as read.
TEST(TableScan, TextIsComparesWithTheTextAsRead) {
    tables_test::ScratchDir dir;
    TableCore t(kSpec);
    ASSERT_EQ(t.create(dir.file("TEXT")), 0);
    const struct Case {
        std::string stored, want;
        bool same;
    } cases[] = {
        {"Mowing", "Mowing", true},
        {"Mowing", "Mow", false},
        {"Mowing", "Mowing ", false},
        {"Mowing", "Mowings", false},
        {"", "", true},
        {"Ab\\0cd", "Ab", true},
        {"Mowing", std::string(101, 'M'), false},
    };
    int key = 0;
    for (const Case& c : cases) {
        std::string stored = c.stored;
        if (auto at = stored.find("\\0"); at != std::string::npos) stored.replace(at, 2, 1, '\0');
        ASSERT_EQ(t.addRecord([&] {
            t.assign(0, keyText(++key));
            t.assign(1, stored);
        }),
                  0);
        EXPECT_EQ(t.textIs(1, c.want), c.same) << c.stored << " / " << c.want;
        EXPECT_EQ(t.text(1) == c.want, c.same) << c.stored << " / " << c.want;
    }
}

}  // namespace
}  // namespace tables
