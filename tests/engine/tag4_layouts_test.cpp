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

class TagLayouts : public ContextTest {
protected:
    void TearDown() override {
        i4sortMemorySet(0);
        ContextTest::TearDown();
    }
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
    Data4* d = d4create(&c, dir.file("runs").c_str(), nameCityFields(), tags);
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

// Another process with the same large nodes grows, shrinks and reorders a descending tag under
// the general collation while we hold its nodes cached; our walks, seeks and unique refusals
// follow what it wrote.
TEST_F(TagLayouts, AnotherProcessChangesADescendingTagWithLargeNodes) {
    static const TAG4INFO tags[] = {{"NAMED", "NAME", ".NOT. DELETED()", 20, 10},
                                    {"CITYA", "CITY", nullptr, 0, 0},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    c.indexBlockSize = 2048;
    c.indexBlockMultiplier = 1;
    c.collateCodePage = 1252;
    std::string path = dir.file("shared");
    Data4* d = d4create(&c, path.c_str(), nameCityFields(), tags);
    ASSERT_NE(d, nullptr);
    // Names "N" + four digits: distinct for every record, in mixed case halves.
    auto nameOf = [](long r, bool lower) {
        std::string n = (lower ? "n" : "N") + std::to_string(10000 + (r * 7919) % 9000);
        return n;
    };
    for (long r = 1; r <= 40; ++r) ASSERT_EQ(appendRow(d, {nameOf(r, false), "A"}), 0);
    ASSERT_EQ(d4unlock(d), 0);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMED")), 0);
    ASSERT_EQ(walk(d).size(), 40u);  // nodes cached here
    lock4test::Child child([&](const lock4test::Channel& ch) {
        Vask4 c2;
        if (vask4init(&c2, VASK4_VERSION, VASK4_STRUCT_SIZE, 1) != 0) return 2;
        Data4* e = d4open(&c2, path.c_str());
        if (!e) return 3;
        for (long r = 41; r <= 900; ++r) {
            if (appendRow(e, {nameOf(r, r % 2 == 0), "B"}) != 0) return 4;
            if (d4unlock(e) != 0) return 5;
        }
        // Every third record leaves the tag, every fifth gets a new name.
        for (long r = 3; r <= 900; r += 3) {
            if (d4go(e, r) != 0 || d4delete(e) != 0 || d4flush(e) != 0) return 6;
            d4unlock(e);
        }
        for (long r = 5; r <= 900; r += 15) {
            if (d4go(e, r) != 0) return 7;
            d4field(e, "NAME")->assign(("M" + std::to_string(r)).c_str());
            if (d4flush(e) != 0) return 8;
            d4unlock(e);
        }
        ch.send(1);
        if (ch.recv() != 2) return 9;
        d4close(e);
        vask4initUndo(&c2);
        return 0;
    });
    ASSERT_EQ(child.ch().recv(), 1);
    // The model: live records by folded name, greatest first, ties by record descending.
    std::vector<std::pair<std::string, long>> live;
    for (long r = 1; r <= 900; ++r) {
        if (r % 3 == 0) continue;
        std::string n = r % 15 == 5 ? "M" + std::to_string(r) : nameOf(r, false);
        live.emplace_back(n, r);
    }
    std::sort(live.rbegin(), live.rend());
    std::vector<long> want;
    for (auto& l : live) want.push_back(l.second);
    EXPECT_EQ(walk(d), want);
    EXPECT_EQ(walk(d, true), std::vector<long>(want.rbegin(), want.rend()));
    // A lower-case seek stands on the greatest matching name; a prefix of many stands on
    // the greatest of them.
    ASSERT_EQ(d4seek(d, nameOf(44, true).c_str()), 0);
    EXPECT_EQ(d4recNo(d), 44);
    const size_t firstM = static_cast<size_t>(
        std::find_if(live.begin(), live.end(), [](auto& l) { return l.first[0] == 'M'; }) -
        live.begin());
    ASSERT_GT(firstM, 0u);
    ASSERT_EQ(d4seek(d, "m"), 0);
    EXPECT_EQ(d4recNo(d), want[firstM]);
    ASSERT_EQ(d4skip(d, -1), 0);  // back to the least of the N names
    EXPECT_EQ(d4recNo(d), want[firstM - 1]);
    ASSERT_EQ(d4skip(d, 2), 0);
    EXPECT_EQ(d4recNo(d), want[firstM + 1]);
    // A name the other process stored in the other case is the same key: refused.
    c.errOff = 1;
    EXPECT_EQ(appendRow(d, {nameOf(44, false), "C"}), r4unique);
    ASSERT_EQ(d4unlock(d), 0);
    EXPECT_EQ(check(d), "");
    child.ch().send(2);
    EXPECT_EQ(child.wait(), 0);
    // Pack and reindex keep the order and the node size.
    ASSERT_EQ(d4pack(d), 0);
    EXPECT_EQ(walk(d).size(), want.size());
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
    auto cdx = readBytes(dir.file("SHARED.CDX"));
    EXPECT_EQ(le32(cdx, 20), 2048u);
    EXPECT_EQ(le16(cdx, 1024 + 502), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cdx.data()) + 1024 + 494, 7), "GENERAL");
    EXPECT_EQ(le16(cdx, 2048 + 502), 0u);
}

// Null-marked keys under the general collation, walked both ways: a null sorts before every
// value, a sought text (however long) is a value, and assigning a value to a null field
// moves its entry among the values, in both tags.
TEST_F(TagLayouts, NullMarkedGeneralKeysSeekAndMoveWhenAssigned) {
    static const FIELD4INFO fields[] = {
        {"NAME", 'C', 10, 0, r4null}, {"CITY", 'C', 12, 0, 0}, {nullptr, 0, 0, 0, 0}};
    static const TAG4INFO tags[] = {{"NAMEA", "NAME", ".NOT. DELETED()", 0, 0},
                                    {"NAMED", "NAME", ".NOT. DELETED()", 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    c.compatibility = 30;
    c.collateCodePage = 1252;
    c.indexBlockSize = 1024;
    Data4* d = d4create(&c, dir.file("nullgen").c_str(), fields, tags);
    ASSERT_NE(d, nullptr);
    Field4* name = d4field(d, "NAME");
    const int nullByte = 1 + 10 + 12;  // deletion flag, NAME, CITY, then _NullFlags
    // 300 records: every fourth null, the rest "Ab" + number in alternating case.
    std::vector<std::pair<std::string, long>> model;  // ("" for null, else folded)
    for (long r = 1; r <= 300; ++r) {
        bool null = r % 4 == 0;
        std::string v = (r % 2 ? "ab" : "AB") + std::to_string(r % 50);
        ASSERT_EQ(d4appendStart(d, 0), 0);
        ASSERT_EQ(d4blank(d), 0);
        if (null)
            d4record(d)[nullByte] = 1;  // left blank, as a blank record's null field is
        else
            name->assign(v.c_str());
        d4field(d, "CITY")->assign("X");
        ASSERT_EQ(d4append(d), 0);
        std::string folded = "AB" + std::to_string(r % 50);
        model.emplace_back(null ? "" : folded, r);
    }
    auto orders = [&] {
        auto m = model;
        std::sort(m.begin(), m.end());
        std::vector<long> up;
        for (auto& e : m) up.push_back(e.second);
        return up;
    };
    Tag4* up = d4tag(d, "NAMEA");
    Tag4* down = d4tag(d, "NAMED");
    auto both = [&] {
        std::vector<long> want = orders();
        ASSERT_EQ(d4tagSelect(d, up), 0);
        EXPECT_EQ(walk(d), want);
        EXPECT_EQ(walk(d, true), std::vector<long>(want.rbegin(), want.rend()));
        ASSERT_EQ(d4tagSelect(d, down), 0);
        EXPECT_EQ(walk(d), std::vector<long>(want.rbegin(), want.rend()));
        EXPECT_EQ(walk(d, true), want);
    };
    both();
    // "ab1" is a prefix of ab1, ab10..ab19: ascending stands on the lowest, descending on
    // the greatest, and a text longer than the field is cut to it.
    ASSERT_EQ(d4tagSelect(d, up), 0);
    ASSERT_EQ(d4seek(d, "aB1"), 0);
    EXPECT_EQ(d4recNo(d), 1);
    ASSERT_EQ(d4seek(d, "AB49      and more"), 0);
    EXPECT_EQ(d4recNo(d), 49);
    ASSERT_EQ(d4tagSelect(d, down), 0);
    ASSERT_EQ(d4seek(d, "aB1"), 0);
    EXPECT_EQ(d4recNo(d), 269);  // AB19 of the highest record: 269 (not a multiple of 4)
    ASSERT_EQ(d4seek(d, "AB49      and more"), 0);
    EXPECT_EQ(d4recNo(d), 299);
    // A null record is never found by a value, even one of its stored text.
    ASSERT_EQ(d4tagSelect(d, up), 0);
    ASSERT_EQ(d4seek(d, "AB4"), 0);
    EXPECT_NE(d4recNo(d) % 4, 0);
    // Assigning values to null fields moves them; a key change of a value too.
    for (long r = 4; r <= 300; r += 8) {
        ASSERT_EQ(d4go(d, r), 0);
        ASSERT_EQ(f4null(name), 1);
        name->assign("zz");
        EXPECT_EQ(f4null(name), 0);
        ASSERT_EQ(d4flush(d), 0);
        model[static_cast<size_t>(r - 1)].first = "ZZ";
    }
    both();
    ASSERT_EQ(d4tagSelect(d, down), 0);
    ASSERT_EQ(d4top(d), 0);
    EXPECT_EQ(d4recNo(d), 300);  // the greatest: ZZ of the highest record
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4reindex(d), 0);
    both();
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
}

// Entries whose records lie beyond the table (here: a header whose record count was cut
// back) are passed in both orders; when nothing else is left, top and bottom end at the end
// of file rather than standing on nothing.
TEST_F(TagLayouts, TopAndBottomPassEntriesBeyondTheTableInBothOrders) {
    static const TAG4INFO tags[] = {{"UP", "NAME", nullptr, 0, 0},
                                    {"DOWN", "NAME", nullptr, 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    std::string path = dir.file("beyond");
    Data4* d = d4create(&c, path.c_str(), nameCityFields(), tags);
    ASSERT_NE(d, nullptr);
    for (const char* n : {"CAT", "AMY", "DAN", "BOB"}) ASSERT_EQ(appendRow(d, {n, "X"}), 0);
    ASSERT_EQ(d4close(d), 0);
    auto dbf = readBytes(dir.file("BEYOND.DBF"));
    for (unsigned long count : {2ul, 0ul}) {
        dbf[4] = static_cast<unsigned char>(count);
        writeBytes(dir.file("BEYOND.DBF"), dbf);
        d = d4open(&c, path.c_str());
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d4recCount(d), static_cast<long>(count));
        for (const char* tag : {"UP", "DOWN"}) {
            SCOPED_TRACE(std::string(tag) + " " + std::to_string(count));
            ASSERT_EQ(d4tagSelect(d, d4tag(d, tag)), 0);
            bool up = tag[0] == 'U';
            std::vector<long> both = up ? std::vector<long>{2, 1} : std::vector<long>{1, 2};
            if (count == 0) both.clear();
            EXPECT_EQ(walk(d), both);
            EXPECT_EQ(walk(d, true), std::vector<long>(both.rbegin(), both.rend()));
            int top = d4top(d);
            int bottom = d4bottom(d);
            if (count == 0) {
                EXPECT_EQ(top, r4eof);
                EXPECT_EQ(bottom, r4eof);
                EXPECT_EQ(d4eof(d), 1);
            } else {
                EXPECT_EQ(top, 0);
                EXPECT_EQ(bottom, 0);
                // Stepping past the first record in the walk, over an entry beyond the
                // table, stops on the first record.
                const long first = both[0];
                ASSERT_EQ(d4bottom(d), 0);
                ASSERT_EQ(d4skip(d, -1), 0);
                EXPECT_EQ(d4recNo(d), first);
                EXPECT_EQ(d4skip(d, -1), r4bof);
                EXPECT_EQ(d4recNo(d), first);
                EXPECT_EQ(d4bof(d), 1);
                ASSERT_EQ(d4skip(d, 1), 0);
                EXPECT_EQ(d4recNo(d), both[1]);
                EXPECT_EQ(d4skip(d, 1), r4eof);
                EXPECT_EQ(d4eof(d), 1);
            }
        }
        ASSERT_EQ(d4close(d), 0);
    }
}

// Under the general collation texts that differ only in case or accents are one key: a unique
// tag built over such records refuses the build with 20 and leaves no index behind, and once
// one of them is gone the build succeeds and the other is refused at append.
TEST_F(TagLayouts, GeneralUniqueBuildRefusesTextsThatDifferOnlyInCase) {
    static const TAG4INFO tags[] = {{"NAMEU", "NAME", ".NOT. DELETED()", 20, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    c.collateCodePage = 1252;
    Data4* d = d4create(&c, dir.file("people").c_str(), nameCityFields(), nullptr);
    ASSERT_NE(d, nullptr);
    for (const char* n : {"Smith", "Jones", "SM\xCFTH"}) ASSERT_EQ(appendRow(d, {n, "X"}), 0);
    c.errOff = 1;
    EXPECT_EQ(i4create(d, nullptr, tags), nullptr);
    EXPECT_EQ(c.errorCode, r4unique);
    error4set(&c, 0);
    EXPECT_EQ(d4tag(d, "NAMEU"), nullptr);
    error4set(&c, 0);
    auto dbf = readBytes(dir.file("PEOPLE.DBF"));
    EXPECT_EQ(dbf[28] & 1, 0);  // the table is not marked as having an index
    ASSERT_EQ(d4go(d, 3), 0);
    ASSERT_EQ(d4delete(d), 0);
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_NE(i4create(d, nullptr, tags), nullptr);
    EXPECT_EQ(appendRow(d, {"smith", "Y"}), r4unique);
    EXPECT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMEU")), 0);
    EXPECT_EQ(walk(d), (std::vector<long>{1, 2}));  // descending: SMITH before JONES
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
}

#endif
