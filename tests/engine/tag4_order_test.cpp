// Tag orders and layouts beyond the defaults, on real tables: descending tags, other node
// sizes, null-marked keys, the general collation, and builds that spool to the temp folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <dirent.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/error4.h"
#include "engine/tag4.h"
#include "tests/engine/data4_testutil.h"
#include "tests/engine/index4_testutil.h"

#if __has_include("engine/expr4.h")

using namespace engine_test;

namespace {

class TagOrder : public ContextTest {
protected:
    Data4* table(const char* name, const TAG4INFO* tags,
                 const FIELD4INFO* fields = nameCityFields()) {
        Data4* d = d4create(&c, dir.file(name).c_str(), fields, tags);
        EXPECT_NE(d, nullptr);
        return d;
    }
};

// Keys stored ascending, walked from the end; seeks stand on the first match in that walk.
TEST_F(TagOrder, DescendingTagWalksSeeksAndSkipsInReverse) {
    static const TAG4INFO tags[] = {{"NAMED", "NAME", ".NOT. DELETED()", 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    Data4* d = table("people", tags);
    ASSERT_NE(d, nullptr);
    for (const char* n : {"BOB", "DAN", "AMY", "DAN", "CAT", "DAVE"})
        ASSERT_EQ(appendRow(d, {n, "X"}), 0);
    auto cdx = readBytes(dir.file("PEOPLE.CDX"));
    EXPECT_EQ(le16(cdx, 1024 + 502), 1u);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMED")), 0);
    // Equal keys come in descending record order.
    EXPECT_EQ(walk(d), (std::vector<long>{6, 4, 2, 5, 1, 3}));
    EXPECT_EQ(walk(d, true), (std::vector<long>{3, 1, 5, 2, 4, 6}));
    EXPECT_EQ(d4seek(d, "DAN"), 0);
    EXPECT_EQ(d4recNo(d), 4);
    EXPECT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(d4seek(d, "DA"), 0);
    EXPECT_EQ(d4recNo(d), 6);
    EXPECT_EQ(d4seek(d, "A"), 0);
    EXPECT_EQ(d4recNo(d), 3);
    EXPECT_EQ(d4seek(d, "CZ"), r4after);  // the greatest key below
    EXPECT_EQ(d4recNo(d), 5);
    EXPECT_EQ(d4seek(d, "ZZZ"), r4after);
    EXPECT_EQ(d4recNo(d), 6);
    EXPECT_EQ(d4seek(d, "AA"), r4eof);  // nothing below
    EXPECT_EQ(d4eof(d), 1);

    // A record that left the tag: +1 reaches its follower in tag order, -1 its predecessor.
    ASSERT_EQ(d4seek(d, "DAN"), 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    ASSERT_EQ(d4recNo(d), 2);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(d4recNo(d), 5);
    ASSERT_EQ(d4go(d, 5), 0);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4skip(d, -1), 0);
    EXPECT_EQ(d4recNo(d), 4);
    EXPECT_EQ(walk(d), (std::vector<long>{6, 4, 1, 3}));
    // The first entry in tag order (the greatest stored key) leaves: +1 goes to the next one,
    // -1 stops before the start on the new first record.
    ASSERT_EQ(d4top(d), 0);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(d4recNo(d), 4);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4skip(d, -1), r4bof);
    EXPECT_EQ(d4recNo(d), 1);
    // The last entry in tag order leaves: +1 is the end.
    ASSERT_EQ(d4bottom(d), 0);
    ASSERT_EQ(d4recNo(d), 3);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4skip(d, 1), r4eof);
    EXPECT_EQ(walk(d), (std::vector<long>{1}));
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);

    // Reopened, the flag is read back and the walk is still reversed.
    Data4* e = d4open(&c, dir.file("people").c_str());
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(d4tagSelect(e, d4tag(e, "NAMED")), 0);
    for (const char* n : {"EVE", "ANN"}) ASSERT_EQ(appendRow(e, {n, "Y"}), 0);
    EXPECT_EQ(walk(e), (std::vector<long>{7, 1, 8}));
    EXPECT_EQ(check(e), "");
    ASSERT_EQ(d4close(e), 0);

    // An independent reader still reads the file (it lists the stored order).
    if (::access("/usr/bin/index_dump", X_OK) == 0) {
        std::vector<std::pair<std::string, long>> got;
        ASSERT_NO_FATAL_FAILURE(index_test::dumpedTag(dir.file("PEOPLE.CDX"), "NAMED", got));
        EXPECT_EQ(got,
                  (std::vector<std::pair<std::string, long>>{{"ANN", 8}, {"BOB", 1}, {"EVE", 7}}));
    }
}

// A record whose entry no longer matches it (changed behind the index's back, as another
// user's write in progress) is passed by the seek in the tag's own direction.
TEST_F(TagOrder, SeekPassesAStaleEntryInTheTagsDirection) {
    static const TAG4INFO tags[] = {{"UP", "NAME", nullptr, 0, 0},
                                    {"DOWN", "NAME", nullptr, 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    Data4* d = table("stale", tags);
    ASSERT_NE(d, nullptr);
    for (const char* n : {"a", "c", "e", "g"}) ASSERT_EQ(appendRow(d, {n, "X"}), 0);
    ASSERT_EQ(d4close(d), 0);
    auto dbf = readBytes(dir.file("STALE.DBF"));
    size_t at = le16(dbf, 8) + 2 * le16(dbf, 10) + 1;  // record 3, its NAME
    ASSERT_EQ(dbf[at], 'e');
    dbf[at] = 'x';
    writeBytes(dir.file("STALE.DBF"), dbf);
    d = d4open(&c, dir.file("stale").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "UP")), 0);
    EXPECT_EQ(d4seek(d, "e"), r4after);
    EXPECT_EQ(d4recNo(d), 4);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "DOWN")), 0);
    EXPECT_EQ(d4seek(d, "e"), r4after);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(d4seek(d, "c"), 0);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_NE(check(d), "");  // the checker sees the stale entry
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(check(d), "");
    EXPECT_EQ(walk(d), (std::vector<long>{3, 4, 2, 1}));
    ASSERT_EQ(d4close(d), 0);
}

// Node sizes other than 512 bytes, chosen through the context before a create.
TEST_F(TagOrder, LargerBlocksAreRecordedUsedEverywhereAndBadValuesRefused) {
    static const TAG4INFO tags[] = {{"NAMES", "NAME+CITY", nullptr, 0, 0},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    for (int bs : {1024, 2048}) {
        c.indexBlockSize = bs;
        c.indexBlockMultiplier = bs == 1024 ? 1 : 4;
        std::string name = "blocks" + std::to_string(bs);
        Data4* d = table(name.c_str(), tags);
        ASSERT_NE(d, nullptr);
        std::string upper = "BLOCKS" + std::to_string(bs) + ".CDX";
        auto cdx = readBytes(dir.file(upper));
        EXPECT_EQ(le32(cdx, 16), 0xABCDu);
        EXPECT_EQ(le32(cdx, 20), static_cast<unsigned long>(bs));
        EXPECT_EQ(le32(cdx, 24), static_cast<unsigned long>(c.indexBlockMultiplier));
        unsigned root = static_cast<unsigned>(le32(cdx, 1024));
        EXPECT_EQ(le16(cdx, root + 12), static_cast<unsigned>(bs - 24));  // empty root leaf
        std::mt19937 rng(static_cast<unsigned>(bs));
        std::vector<std::pair<std::string, long>> model;
        for (long r = 1; r <= 1500; ++r) {
            std::string k = "N" + std::to_string(rng() % 100000);
            ASSERT_EQ(appendRow(d, {k, "C" + std::to_string(r % 7)}), 0);
            model.emplace_back(k, r);
        }
        ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMES")), 0);
        for (long r = 3; r <= 1500; r += 3) {  // key changes move entries around
            ASSERT_EQ(d4go(d, r), 0);          // also writes the record changed before
            d4field(d, "NAME")->assign("M");
        }
        ASSERT_EQ(d4flush(d), 0);
        EXPECT_EQ(check(d), "");
        std::vector<long> before = walk(d);
        ASSERT_EQ(before.size(), 1500u);
        ASSERT_EQ(d4reindex(d), 0);
        EXPECT_EQ(check(d), "");
        EXPECT_EQ(walk(d), before);
        ASSERT_EQ(d4close(d), 0);
        // Every node of the rebuilt file has the chosen size: leaves fill past 512 bytes,
        // and the file is the headers plus whole blocks.
        cdx = readBytes(dir.file(upper));
        EXPECT_EQ((cdx.size() - 2048) % static_cast<size_t>(bs), 0u);
        root = static_cast<unsigned>(le32(cdx, 1024));
        EXPECT_EQ(le16(cdx, root) & 2u, 0u);  // a branch over full leaves
        unsigned child = (cdx[root + 12 + 22 + 4] << 24) | (cdx[root + 12 + 22 + 5] << 16) |
                         (cdx[root + 12 + 22 + 6] << 8) | cdx[root + 12 + 22 + 7];
        while (!(le16(cdx, child) & 2u))
            child = (cdx[child + 12 + 22 + 4] << 24) | (cdx[child + 12 + 22 + 5] << 16) |
                    (cdx[child + 12 + 22 + 6] << 8) | cdx[child + 12 + 22 + 7];
        EXPECT_GT(static_cast<unsigned>(bs) - 24 - le16(cdx, child + 12), 512u - 24u);
        // Reopened with the default setting, the file's own size is used.
        c.indexBlockSize = 512;
        c.indexBlockMultiplier = 1;
        Data4* e = d4open(&c, dir.file(name).c_str());
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(d4tagSelect(e, d4tag(e, "NAMES")), 0);
        EXPECT_EQ(walk(e), before);
        for (long r = 1; r <= 1500; r += 2) {  // removals empty and free whole leaves
            ASSERT_EQ(d4go(e, r), 0);
            d4field(e, "NAME")->assign("A");
        }
        ASSERT_EQ(d4flush(e), 0);
        EXPECT_EQ(check(e), "");
        ASSERT_EQ(d4close(e), 0);
    }
    c.errOff = 1;
    for (auto [bs, mult] : {std::pair{1000, 1}, std::pair{1024, 3}, std::pair{2048, 2048},
                            std::pair{0, 1}, std::pair{-512, 1}}) {
        c.indexBlockSize = bs;
        c.indexBlockMultiplier = mult;
        std::string name = "bad" + std::to_string(bs) + "x" + std::to_string(mult);
        EXPECT_EQ(d4create(&c, dir.file(name).c_str(), nameCityFields(), tags), nullptr);
        EXPECT_EQ(c.errorCode, e4index) << bs << " " << mult;
        error4set(&c, 0);
    }
    // A damaged block size in an existing header is refused at open.
    c.indexBlockSize = 1024;
    c.indexBlockMultiplier = 1;
    Data4* d = table("damaged", tags);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4close(d), 0);
    auto cdx = readBytes(dir.file("DAMAGED.CDX"));
    cdx[20] = 0x10;  // 1040: not a multiple of 512
    writeBytes(dir.file("DAMAGED.CDX"), cdx);
    EXPECT_EQ(d4open(&c, dir.file("damaged").c_str()), nullptr);
    EXPECT_EQ(c.errorCode, e4index);
    error4set(&c, 0);
    cdx[20] = 0x00;
    cdx[24] = 0x03;  // multiplier 3 does not divide 1024
    writeBytes(dir.file("DAMAGED.CDX"), cdx);
    EXPECT_EQ(d4open(&c, dir.file("damaged").c_str()), nullptr);
    EXPECT_EQ(c.errorCode, e4index);
    error4set(&c, 0);
}

// Keys of a null-capable field carry a leading marker: nulls first, then the values.
TEST_F(TagOrder, NullCapableKeysCarryAMarkerAndNullsSortFirst) {
    static const FIELD4INFO fields[] = {
        {"NAME", 'C', 10, 0, r4null}, {"CITY", 'C', 12, 0, 0}, {nullptr, 0, 0, 0, 0}};
    static const TAG4INFO tags[] = {{"NAMEN", "NAME", ".NOT. DELETED()", 0, 0},
                                    {"CITYT", "CITY", nullptr, 0, 0},
                                    {"BOTH", "CITY+NAME", nullptr, 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    // Only the level-30 header form admits null-capable fields.
    c.errOff = 1;
    EXPECT_EQ(d4create(&c, dir.file("level25").c_str(), fields, tags), nullptr);
    EXPECT_EQ(c.errorCode, -200);
    error4set(&c, 0);
    c.compatibility = 30;
    Data4* d = table("nulls", tags, fields);
    ASSERT_NE(d, nullptr);
    auto dbf = readBytes(dir.file("NULLS.DBF"));
    EXPECT_EQ(dbf[32 + 18] & 2, 2);  // NAME is flagged null-capable, CITY is not
    EXPECT_EQ(dbf[64 + 18] & 2, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dbf.data()) + 96, 10), "_NullFlags");
    // _NullFlags follows the two fields: deletion flag + 10 + 12 bytes in.
    auto nullFlags = [&] { return d4record(d) + 23; };
    auto add = [&](const char* name, const char* city, bool null) {
        ASSERT_EQ(d4appendStart(d, 0), 0);
        ASSERT_EQ(d4blank(d), 0);
        d4field(d, "NAME")->assign(name);
        d4field(d, "CITY")->assign(city);
        *nullFlags() = static_cast<char>(null ? 1 : 0);
        ASSERT_EQ(f4null(d4field(d, "NAME")), null ? 1 : 0);
        ASSERT_EQ(d4append(d), 0);
    };
    add("BOB", "PARIS", false);
    add("", "LYON", true);
    add("AL", "NICE", false);
    add("ZED", "ARLES", true);
    auto cdx = readBytes(dir.file("NULLS.CDX"));
    EXPECT_EQ(cdx[1024 + 14], 0x6A);  // 0x60 + filter + null marker
    EXPECT_EQ(le16(cdx, 1024 + 12), 11u);
    EXPECT_EQ(cdx[2048 + 14], 0x60);
    EXPECT_EQ(le16(cdx, 2048 + 12), 12u);
    EXPECT_EQ(cdx[3072 + 14], 0x62);
    EXPECT_EQ(le16(cdx, 3072 + 12), 23u);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMEN")), 0);
    EXPECT_EQ(walk(d), (std::vector<long>{2, 4, 3, 1}));
    EXPECT_EQ(d4seek(d, "BOB"), 0);  // a sought value is never null
    EXPECT_EQ(d4recNo(d), 1);
    EXPECT_EQ(d4seek(d, "ZED"), r4eof);  // ZED is null, so not found as a value
    EXPECT_EQ(d4seek(d, "A"), 0);
    EXPECT_EQ(d4recNo(d), 3);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "BOTH")), 0);  // descending: values first, nulls last
    EXPECT_EQ(walk(d), (std::vector<long>{1, 3, 2, 4}));
    // Clearing the null flag by a change moves the record among the values.
    ASSERT_EQ(d4go(d, 4), 0);
    d4field(d, "NAME")->changed();
    EXPECT_EQ(f4null(d4field(d, "NAME")), 0);
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMEN")), 0);
    EXPECT_EQ(walk(d), (std::vector<long>{2, 3, 1, 4}));
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
    Data4* e = d4open(&c, dir.file("nulls").c_str());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(check(e), "");
    ASSERT_EQ(d4tagSelect(e, d4tag(e, "NAMEN")), 0);
    EXPECT_EQ(walk(e), (std::vector<long>{2, 3, 1, 4}));
    ASSERT_EQ(d4close(e), 0);
}

// With a collation code page, character tags order case- and accent-blind.
TEST_F(TagOrder, GeneralCollationIgnoresCaseAndAccents) {
    static const TAG4INFO tags[] = {{"NAMES", "NAME", nullptr, 0, 0},
                                    {"CITYD", "CITY", nullptr, 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    c.collateCodePage = 1252;
    Data4* d = table("fruit", tags);
    ASSERT_NE(d, nullptr);
    const char* names[] = {
        "cherry",    "Banana",  "apple",
        "\311clair",  // É (0xC9) as an octal escape, which ends after three digits
        "APPLE",     "eclairs", "b",     "10", "9 lives"};
    for (const char* n : names) ASSERT_EQ(appendRow(d, {n, n}), 0);
    auto cdx = readBytes(dir.file("FRUIT.CDX"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cdx.data()) + 1024 + 494, 8),
              std::string("GENERAL\0", 8));
    EXPECT_EQ(le16(cdx, 1024 + 12), 10u);  // one weight a character
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMES")), 0);
    // Digits before letters; "apple" and "APPLE" tie and go by record number; "b" is a
    // prefix of "Banana"; E-acute weighs as E.
    EXPECT_EQ(walk(d), (std::vector<long>{8, 9, 3, 5, 7, 2, 1, 4, 6}));
    EXPECT_EQ(d4seek(d, "BANANA"), 0);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(d4seek(d, "eclair"), 0);
    EXPECT_EQ(d4recNo(d), 4);
    EXPECT_EQ(d4seek(d, "CHERRY"), 0);
    EXPECT_EQ(d4recNo(d), 1);
    EXPECT_EQ(d4seek(d, "bz"), r4after);
    EXPECT_EQ(d4recNo(d), 1);
    EXPECT_EQ(d4seek(d,
                     "\xE0"
                     "pple"),
              0);  // a-grave finds apple
    EXPECT_EQ(d4recNo(d), 3);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "CITYD")), 0);
    EXPECT_EQ(d4seek(d, "APPLE"), 0);  // descending: the higher record first
    EXPECT_EQ(d4recNo(d), 5);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
    // Reopened without the setting the tag keeps its collation.
    c.collateCodePage = 0;
    Data4* e = d4open(&c, dir.file("fruit").c_str());
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(d4tagSelect(e, d4tag(e, "NAMES")), 0);
    ASSERT_EQ(appendRow(e, {"Apricot", "x"}), 0);
    EXPECT_EQ(d4seek(e, "apr"), 0);
    EXPECT_EQ(d4recNo(e), 10);
    EXPECT_EQ(check(e), "");
    ASSERT_EQ(d4close(e), 0);
}

// The index file without its change counter, which every rebuild moves on.
std::vector<unsigned char> indexBytes(const std::string& path) {
    auto b = readBytes(path);
    if (b.size() >= 12) std::fill(b.begin() + 8, b.begin() + 12, 0);
    return b;
}

int countFiles(const std::string& folder) {
    int n = 0;
    if (DIR* dp = ::opendir(folder.c_str())) {
        while (dirent* ent = ::readdir(dp))
            if (std::strcmp(ent->d_name, ".") != 0 && std::strcmp(ent->d_name, "..") != 0) ++n;
        ::closedir(dp);
    }
    return n;
}

// A build with little sort memory spools through TEMP/TMP and gives the same file.
TEST_F(TagOrder, SpoolingBuildMatchesTheInMemoryOneAndCleansUp) {
    static const TAG4INFO tags[] = {{"NAMES", "NAME+CITY", ".NOT. DELETED()", 0, 0},
                                    {"CITYD", "CITY", nullptr, 0, 10},
                                    {nullptr, nullptr, nullptr, 0, 0}};
    std::string spool = dir.file("spool");
    ASSERT_EQ(::mkdir(spool.c_str(), 0700), 0);
    const char* oldTemp = std::getenv("TEMP");
    const char* oldTmp = std::getenv("TMP");
    std::string keepTemp = oldTemp ? oldTemp : "", keepTmp = oldTmp ? oldTmp : "";
    ::unsetenv("TEMP");
    ::setenv("TMP", spool.c_str(), 1);
    Data4* d = table("big", nullptr);
    ASSERT_NE(d, nullptr);
    std::mt19937 rng(3);
    for (int r = 1; r <= 6000; ++r)
        ASSERT_EQ(
            appendRow(d, {"N" + std::to_string(rng() % 3000), "C" + std::to_string(rng() % 40)}),
            0);
    const std::string cdxPath = dir.file("BIG.CDX");
    Index4* ix = i4create(d, nullptr, tags);  // in memory
    ASSERT_NE(ix, nullptr);
    auto inMemory = indexBytes(cdxPath);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMES")), 0);
    std::vector<long> order = walk(d);
    ASSERT_EQ(order.size(), 6000u);
    // With the default memory nothing goes to the temporary folder: a missing one is no matter.
    ::setenv("TMP", dir.file("missing").c_str(), 1);
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(indexBytes(cdxPath), inMemory);
    ::setenv("TMP", spool.c_str(), 1);
    i4sortMemorySet(4096);
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(indexBytes(cdxPath), inMemory);
    EXPECT_EQ(countFiles(spool), 0);  // the runs are gone
    EXPECT_EQ(check(d), "");
    // With little memory and the folder missing the build fails with an error and leaves
    // the index as it was.
    ::setenv("TMP", dir.file("missing").c_str(), 1);
    c.errOff = 1;
    EXPECT_LT(d4reindex(d), 0);
    EXPECT_LT(c.errorCode, 0);
    error4set(&c, 0);
    EXPECT_EQ(indexBytes(cdxPath), inMemory);
    EXPECT_EQ(check(d), "");
    EXPECT_EQ(walk(d), order);
    ::setenv("TMP", spool.c_str(), 1);
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(indexBytes(cdxPath), inMemory);
    // A create under the same squeeze gives the same file again.
    ASSERT_EQ(i4close(ix), 0);
    ASSERT_EQ(::remove(cdxPath.c_str()), 0);
    ix = i4create(d, nullptr, tags);
    ASSERT_NE(ix, nullptr);
    EXPECT_EQ(indexBytes(cdxPath), inMemory);
    EXPECT_EQ(countFiles(spool), 0);
    i4sortMemorySet(0);
    ASSERT_EQ(d4close(d), 0);
    EXPECT_EQ(countFiles(spool), 0);
    if (keepTemp.empty())
        ::unsetenv("TEMP");
    else
        ::setenv("TEMP", keepTemp.c_str(), 1);
    if (keepTmp.empty())
        ::unsetenv("TMP");
    else
        ::setenv("TMP", keepTmp.c_str(), 1);
}

}  // namespace

#endif
