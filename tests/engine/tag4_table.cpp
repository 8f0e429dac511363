// Tags on tables: creation, key maintenance on every write, seek and tag order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/tag4.h"
#include "tests/engine/data4_testutil.h"

#if __has_include("engine/expr4.h")

using namespace engine_test;

namespace {

const FIELD4INFO* resFields() {
    static const FIELD4INFO f[] = {{"DATE", 'C', 8, 0, 0},      {"ROOMNAME", 'C', 20, 0, 0},
                                   {"STARTHH", 'C', 2, 0, 0},   {"STARTMM", 'C', 2, 0, 0},
                                   {"LASTNAME", 'C', 20, 0, 0}, {nullptr, 0, 0, 0, 0}};
    return f;
}

const TAG4INFO* resTags() {
    static const TAG4INFO t[] = {
        {"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 20, 0},
        {"NAMES", "LASTNAME", nullptr, 0, 0},
        {nullptr, nullptr, nullptr, 0, 0}};
    return t;
}

class TagTable : public ContextTest {
protected:
    Data4* create() {
        Data4* d = d4create(&c, dir.file("courts").c_str(), resFields(), resTags());
        EXPECT_NE(d, nullptr);
        return d;
    }
    static int add(Data4* d, const std::string& date, const std::string& room,
                   const std::string& hh, const std::string& mm, const std::string& last = "") {
        return appendRow(d, {date, room, hh, mm, last});
    }
    static std::string key(Data4* d) {
        std::string k;
        for (const char* f : {"DATE", "ROOMNAME", "STARTHH", "STARTMM"}) k += fieldText(d, f);
        return k;
    }
};

// Record-number bits and bytes per entry of the first leaf of the first tag.
std::pair<int, int> firstLeafGeometry(const std::vector<unsigned char>& b) {
    size_t off = le32(b, 1024);
    for (int depth = 0; depth < 8 && !(le16(b, off) & 2); ++depth) {
        size_t e = off + 12 + 32 + 4;  // first entry's child pointer (32-byte keys)
        off = (size_t(b[e]) << 24) | (b[e + 1] << 16) | (b[e + 2] << 8) | b[e + 3];
    }
    return {b[off + 20], b[off + 23]};
}

}  // namespace

TEST_F(TagTable, CreateWritesTheIndexAndMarksTheTable) {
    Data4* d = create();
    ASSERT_NE(d, nullptr);
    auto dbf = readBytes(dir.file("COURTS.DBF"));
    EXPECT_EQ(dbf[28] & 1, 1);
    auto cdx = readBytes(dir.file("COURTS.CDX"));
    ASSERT_EQ(cdx.size(), 3u * 1024 + 3 * 512);
    EXPECT_EQ(le16(cdx, 1024 + 12), 32u);
    EXPECT_EQ(cdx[1024 + 14], 0x69);
    EXPECT_EQ(le16(cdx, 2048 + 12), 20u);
    EXPECT_EQ(cdx[2048 + 14], 0x60);
    unsigned root = static_cast<unsigned>(le32(cdx, 1024));
    EXPECT_EQ(le16(cdx, root), 3u);
    EXPECT_EQ(le16(cdx, root + 2), 0u);
    EXPECT_EQ(le16(cdx, root + 12), 488u);
    Tag4* t = d4tag(d, "schedtag");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t4alias(t), "SCHEDTAG");
    EXPECT_EQ(t4unique(t), 20);
    EXPECT_EQ(check(d), "");
    c.errOff = 1;
    EXPECT_EQ(d4tag(d, "NOPE"), nullptr);
    EXPECT_EQ(c.errorCode, e4tagName);
    error4set(&c, 0);
    EXPECT_EQ(d4seek(d, "2026"), r4noTag);
    // The same index a second time for this table is refused.
    EXPECT_EQ(i4open(d, nullptr), nullptr);
    EXPECT_EQ(c.errorCode, e4instance);
    error4set(&c, 0);
    ASSERT_EQ(d4close(d), 0);
}

TEST_F(TagTable, SeekFindsPrefixesAndPositionsAfterOrAtTheEnd) {
    Data4* d = create();
    ASSERT_EQ(add(d, "20261208", "Court 2", "10", "00", "SMITHSON"), 0);
    ASSERT_EQ(add(d, "20261208", "Court 1", "09", "30", "SMITH"), 0);
    ASSERT_EQ(add(d, "20261209", "Court 1", "08", "00", "ADAMS"), 0);
    ASSERT_EQ(add(d, "20261207", "Court 1", "08", "00", "SMITH"), 0);
    ASSERT_EQ(add(d, "20261210", "Court 3", "08", "00", "TAYLOR"), 0);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAMES")), 0);
    EXPECT_EQ(d4seek(d, "SMI"), 0);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(d4seek(d, "SMJ"), r4after);
    EXPECT_EQ(d4recNo(d), 5);
    EXPECT_EQ(d4seek(d, "B"), r4after);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(d4seek(d, "ZZ"), r4eof);
    EXPECT_EQ(d4eof(d), 1);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "SCHEDTAG")), 0);
    EXPECT_EQ(d4seek(d, "20261208Court 1"), 0);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(walk(d), (std::vector<long>{4, 2, 1, 3, 5}));
    EXPECT_EQ(walk(d, true), (std::vector<long>{5, 3, 1, 2, 4}));
    ASSERT_EQ(d4tagSelect(d, nullptr), 0);
    EXPECT_EQ(d4seek(d, "2026"), r4noTag);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
}

TEST_F(TagTable, UniqueRefusalWritesNothingAndDeletedKeysMayReturn) {
    Data4* d = create();
    ASSERT_EQ(add(d, "20261208", "Court 1", "10", "00", "A"), 0);
    ASSERT_EQ(add(d, "20261208", "Court 2", "10", "00", "B"), 0);
    auto before = readBytes(dir.file("COURTS.CDX"));
    EXPECT_EQ(add(d, "20261208", "Court 1", "10", "00", "C"), r4unique);
    EXPECT_EQ(d4recCount(d), 2);
    EXPECT_EQ(readBytes(dir.file("COURTS.CDX")), before);  // no tag changed
    EXPECT_EQ(check(d), "");
    // A key change onto an existing key is refused too and leaves the record as it was.
    ASSERT_EQ(d4go(d, 2), 0);
    d4field(d, "ROOMNAME")->assign("Court 1");
    EXPECT_EQ(d4flush(d), r4unique);
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(fieldText(d, "ROOMNAME"), std::string("Court 2") + std::string(13, ' '));
    EXPECT_EQ(check(d), "");
    // Deleting record 1 takes its key out; the same key may then be appended.
    ASSERT_EQ(d4go(d, 1), 0);
    ASSERT_EQ(d4delete(d), 0);
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_EQ(add(d, "20261208", "Court 1", "10", "00", "D"), 0);
    EXPECT_EQ(d4recCount(d), 3);
    EXPECT_EQ(check(d), "");
    // Recalling the deleted one would now collide.
    ASSERT_EQ(d4go(d, 1), 0);
    ASSERT_EQ(d4recall(d), 0);
    EXPECT_EQ(d4flush(d), r4unique);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
}

TEST_F(TagTable, SkipAfterDeleteMovesFromWhereTheRecordStood) {
    Data4* d = create();
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(add(d, "2026120" + std::to_string(5 - i), "Court", "10", "00"), 0);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "SCHEDTAG")), 0);
    EXPECT_EQ(walk(d), (std::vector<long>{5, 4, 3, 2, 1}));
    ASSERT_EQ(d4seek(d, "20261203"), 0);
    ASSERT_EQ(d4recNo(d), 3);
    ASSERT_EQ(d4delete(d), 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(d4recNo(d), 2);
    ASSERT_EQ(d4seek(d, "20261202"), 0);
    ASSERT_EQ(d4delete(d), 0);
    ASSERT_EQ(d4skip(d, -1), 0);
    EXPECT_EQ(d4recNo(d), 5);  // the one before 20261202
    EXPECT_EQ(walk(d), (std::vector<long>{5, 2, 1}));
    ASSERT_EQ(d4top(d), 0);
    EXPECT_EQ(d4skip(d, -1), r4bof);
    EXPECT_EQ(d4recNo(d), 5);
    ASSERT_EQ(d4bottom(d), 0);
    EXPECT_EQ(d4skip(d, 1), r4eof);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
}

TEST_F(TagTable, KeysSurviveReopenPackAndReindex) {
    Data4* d = create();
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(add(d, "20261208", "Court " + std::to_string(i % 15),
                      std::to_string(10 + i / 15 % 14), std::to_string(10 + i / 210)),
                  0);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "SCHEDTAG")), 0);
    std::vector<long> order = walk(d);
    ASSERT_EQ(order.size(), 300u);
    // Rebuilt over 300 records the leaves take 20 record bits, 4 bytes an entry.
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(firstLeafGeometry(readBytes(dir.file("COURTS.CDX"))), std::make_pair(20, 4));
    EXPECT_EQ(walk(d), order);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&c, dir.file("courts").c_str());
    ASSERT_NE(d, nullptr);
    Tag4* t = d4tag(d, "SCHEDTAG");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t4uniqueSet(t, 20), 0);
    c.errOff = 1;
    EXPECT_EQ(t4uniqueSet(d4tag(d, "NAMES"), 20), e4parm);
    error4set(&c, 0);
    EXPECT_EQ(t4uniqueSet(t, 15), e4parm);
    error4set(&c, 0);
    c.errOff = 0;
    ASSERT_EQ(d4tagSelect(d, t), 0);
    EXPECT_EQ(walk(d), order);
    for (long r = 1; r <= 300; r += 2) {
        ASSERT_EQ(d4go(d, r), 0);
        ASSERT_EQ(d4delete(d), 0);
    }
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_EQ(check(d), "");
    EXPECT_EQ(walk(d).size(), 150u);
    ASSERT_EQ(d4close(d), 0);
    c.accessMode = 1;
    d = d4open(&c, dir.file("courts").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "SCHEDTAG")), 0);
    ASSERT_EQ(d4pack(d), 0);
    EXPECT_EQ(d4recCount(d), 150);
    EXPECT_EQ(check(d), "");
    EXPECT_EQ(walk(d).size(), 150u);
    auto packed = readBytes(dir.file("COURTS.CDX"));
    EXPECT_EQ(firstLeafGeometry(packed), std::make_pair(12, 3));  // 150 records
    ASSERT_EQ(d4reindex(d), 0);
    EXPECT_EQ(readBytes(dir.file("COURTS.CDX")), packed);
    ASSERT_EQ(d4close(d), 0);
}

TEST_F(TagTable, DamagedIndexRefusesTheOpen) {
    Data4* d = create();
    ASSERT_EQ(add(d, "20261208", "Court 1", "10", "00"), 0);
    ASSERT_EQ(d4close(d), 0);
    auto good = readBytes(dir.file("COURTS.CDX"));
    c.errOff = 1;
    auto bad = good;
    bad[1024 + 14] = 0x10;  // options below 32
    writeBytes(dir.file("COURTS.CDX"), bad);
    EXPECT_EQ(d4open(&c, dir.file("courts").c_str()), nullptr);
    EXPECT_EQ(c.errorCode, e4index);
    EXPECT_EQ(c.errorLocation, L4_rootInvalid);
    error4set(&c, 0);
    bad = good;
    bad[1024 + 12] = 31;  // key length no longer that of the expression
    writeBytes(dir.file("COURTS.CDX"), bad);
    EXPECT_EQ(d4open(&c, dir.file("courts").c_str()), nullptr);
    EXPECT_EQ(c.errorCode, e4index);
    error4set(&c, 0);
    bad = good;
    const char* notLogical = "DATE";
    std::copy(notLogical, notLogical + 5, bad.begin() + 1024 + 512 + 30);  // filter text
    writeBytes(dir.file("COURTS.CDX"), bad);
    EXPECT_EQ(d4open(&c, dir.file("courts").c_str()), nullptr);
    EXPECT_EQ(c.errorCode, e4index);
    error4set(&c, 0);
    writeBytes(dir.file("COURTS.CDX"), good);
    d = d4open(&c, dir.file("courts").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4close(d), 0);
}

// Random appends, key-changing updates, deletions, recalls and packs against an
// ordered model of the reservation tag, checked after every step.
namespace {

// Case- and accent-blind form of the few characters the model's texts use: under the general
// collation blanks weigh least, then digits, then letters, which is also the order of these
// folded texts in plain byte order.
std::string fold(const std::string& s) {
    std::string o;
    for (unsigned char ch : s) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<unsigned char>(ch - 32);
        if (ch == 0xD4 || ch == 0xF4 || ch == 0xF6 || ch == 0xD6) ch = 'O';
        if (ch == 0xC9 || ch == 0xE9) ch = 'E';
        if (ch == 0xCF || ch == 0xEF) ch = 'I';
        o.push_back(static_cast<char>(ch));
    }
    return o;
}

struct ModelConfig {
    const char* name;
    int blockSize;
    int multiplier;
    bool general;  // character tags take the general collation
    int dates;     // distinct dates and rooms: the key space of the unique tag
    int rooms;
    int steps;
    int packEvery;  // a pack on every such step that draws one
};

}  // namespace

// Appends, key changes, deletes, recalls and packs against an in-memory model, with the
// checker after every step: the plain layout, and one with 2048-byte nodes, the general
// collation on every character tag and a descending tag beside the unique one.
TEST_F(TagTable, RandomWritesKeepTheTagEqualToTheModel) {
    static const TAG4INFO tags[] = {
        {"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 20, 0},
        {"NAMED", "LASTNAME", nullptr, 0, 10},
        {nullptr, nullptr, nullptr, 0, 0}};
    const ModelConfig configs[] = {{"plain", 512, 1, false, 3, 5, 1200, 5},
                                   {"mixed", 2048, 4, true, 10, 8, 1100, 40}};
    const char* lastNames[] = {"Smith", "SMITH", "sm\xEFth", "Jones", "J\xD6NES", "Ng",
                               "ngo",   "Zed",   "zed  a",   "Abel",  "abelard",  "O"};
    for (const ModelConfig& cfg : configs) {
        for (unsigned seed : {21u, 22u}) {
            SCOPED_TRACE(std::string(cfg.name) + " seed " + std::to_string(seed));
            c.indexBlockSize = cfg.blockSize;
            c.indexBlockMultiplier = cfg.multiplier;
            c.collateCodePage = cfg.general ? 1252 : 0;
            ScratchDir local;
            Data4* d = d4create(&c, local.file("model").c_str(), resFields(), tags);
            ASSERT_NE(d, nullptr);
            Tag4* sched = d4tag(d, "SCHEDTAG");
            Tag4* named = d4tag(d, "NAMED");
            ASSERT_EQ(d4tagSelect(d, sched), 0);
            std::mt19937 rng(seed);
            struct Row {
                std::string key;   // SCHEDTAG's key as stored text
                std::string last;  // LASTNAME as stored
                bool deleted;
            };
            std::vector<Row> rows;  // index = record - 1
            // Room names in mixed case (and an accent) under the general collation: texts
            // that differ only so are the same key there.
            auto randomFields = [&] {
                std::string room = "Court " + std::to_string(rng() % cfg.rooms);
                if (cfg.general && rng() % 3 == 0) room = rng() % 2 ? "COURT" : "C\xF4urt";
                if (cfg.general && room.size() < 7) room += " " + std::to_string(rng() % cfg.rooms);
                return std::vector<std::string>{"202612" + std::to_string(10 + rng() % cfg.dates),
                                                room, std::to_string(10 + rng() % 3),
                                                std::to_string(10 + rng() % 4 * 15)};
            };
            auto pad = [](const std::vector<std::string>& f) {
                std::string room = f[1];
                room.resize(20, ' ');
                return f[0] + room + f[2] + f[3];
            };
            auto same = [&](const std::string& a, const std::string& b) {
                return cfg.general ? fold(a) == fold(b) : a == b;
            };
            auto live = [&](const std::string& k, long except) {
                for (size_t i = 0; i < rows.size(); ++i)
                    if (!rows[i].deleted && static_cast<long>(i) + 1 != except &&
                        same(rows[i].key, k))
                        return true;
                return false;
            };
            auto order = [&](const std::string& s) { return cfg.general ? fold(s) : s; };
            size_t mostRecords = 0;
            for (int step = 0; step < cfg.steps; ++step) {
                mostRecords = std::max(mostRecords, rows.size());
                int op = static_cast<int>(rng() % 12);
                if (op < 5 || rows.empty()) {
                    auto f = randomFields();
                    std::string last = lastNames[rng() % std::size(lastNames)];
                    int r = appendRow(d, {f[0], f[1], f[2], f[3], last});
                    if (live(pad(f), 0)) {
                        ASSERT_EQ(r, r4unique) << step;
                    } else {
                        ASSERT_EQ(r, 0) << step;
                        last.resize(20, ' ');
                        rows.push_back({pad(f), last, false});
                    }
                } else if (op < 8) {
                    long rec = static_cast<long>(rng() % rows.size()) + 1;
                    auto f = randomFields();
                    std::string last = lastNames[rng() % std::size(lastNames)];
                    ASSERT_EQ(d4go(d, rec), 0);
                    d4field(d, "DATE")->assign(f[0].c_str());
                    d4field(d, "ROOMNAME")->assign(f[1].c_str());
                    d4field(d, "STARTHH")->assign(f[2].c_str());
                    d4field(d, "STARTMM")->assign(f[3].c_str());
                    d4field(d, "LASTNAME")->assign(last.c_str());
                    int r = d4flush(d);
                    Row& row = rows[rec - 1];
                    bool clash = !row.deleted && live(pad(f), rec);
                    if (clash) {
                        ASSERT_EQ(r, r4unique) << step;
                        // The refused write leaves the buffer changed; read the record again.
                        ASSERT_EQ(d4go(d, rec), 0);
                    } else {
                        ASSERT_EQ(r, 0) << step;
                        row.key = pad(f);
                        last.resize(20, ' ');
                        row.last = last;
                    }
                } else if (op < 10) {
                    long rec = static_cast<long>(rng() % rows.size()) + 1;
                    ASSERT_EQ(d4go(d, rec), 0);
                    ASSERT_EQ(d4delete(d), 0);
                    ASSERT_EQ(d4flush(d), 0);
                    rows[rec - 1].deleted = true;
                } else if (op < 11) {
                    long rec = static_cast<long>(rng() % rows.size()) + 1;
                    ASSERT_EQ(d4go(d, rec), 0);
                    ASSERT_EQ(d4recall(d), 0);
                    int r = d4flush(d);
                    Row& row = rows[rec - 1];
                    if (row.deleted && live(row.key, rec)) {
                        ASSERT_EQ(r, r4unique) << step;
                        ASSERT_EQ(d4go(d, rec), 0);
                    } else {
                        ASSERT_EQ(r, 0) << step;
                        row.deleted = false;
                    }
                } else if (step % cfg.packEvery == 0) {
                    ASSERT_EQ(d4pack(d), 0) << step;
                    std::vector<Row> kept;
                    for (auto& r : rows)
                        if (!r.deleted) kept.push_back(r);
                    rows.swap(kept);
                }
                // The model's orders and seeks: SCHEDTAG ascending over live records, NAMED
                // over every record, walked from the greatest key, ties by record number.
                std::vector<std::pair<std::string, long>> want, names;
                for (size_t i = 0; i < rows.size(); ++i) {
                    long rec = static_cast<long>(i) + 1;
                    if (!rows[i].deleted) want.push_back({order(rows[i].key), rec});
                    names.push_back({order(rows[i].last), rec});
                }
                std::sort(want.begin(), want.end());
                std::sort(names.rbegin(), names.rend());
                std::vector<long> fwd, byName;
                for (auto& w : want) fwd.push_back(w.second);
                for (auto& w : names) byName.push_back(w.second);
                ASSERT_EQ(d4tagSelect(d, sched), 0);
                ASSERT_EQ(walk(d), fwd) << "step " << step;
                std::vector<long> back(fwd.rbegin(), fwd.rend());
                ASSERT_EQ(walk(d, true), back) << step;
                if (!want.empty()) {
                    const auto& w = want[rng() % want.size()];
                    std::string text = rows[w.second - 1].key.substr(0, 8 + rng() % 20);
                    if (cfg.general)  // any case finds it
                        for (auto& ch : text)
                            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
                    ASSERT_EQ(d4seek(d, text.c_str()), 0) << step;
                    ASSERT_EQ(order(key(d)).compare(0, text.size(), order(text)), 0) << step;
                }
                ASSERT_EQ(d4tagSelect(d, named), 0);
                ASSERT_EQ(walk(d), byName) << "step " << step;
                std::vector<long> nameBack(byName.rbegin(), byName.rend());
                ASSERT_EQ(walk(d, true), nameBack) << step;
                if (!names.empty()) {
                    // The seek stands on the first match in the walk: the highest record of
                    // the greatest key with that prefix; a skip either way moves one place.
                    size_t at = rng() % names.size();
                    std::string text = rows[names[at].second - 1].last.substr(0, 1 + rng() % 4);
                    auto first = std::find_if(names.begin(), names.end(), [&](const auto& n) {
                        return n.first.compare(0, text.size(), order(text)) == 0;
                    });
                    ASSERT_NE(first, names.end());
                    ASSERT_EQ(d4seek(d, text.c_str()), 0) << step << " " << text;
                    ASSERT_EQ(d4recNo(d), first->second) << step << " " << text;
                    size_t k = static_cast<size_t>(first - names.begin());
                    int r = d4skip(d, 1);
                    if (k + 1 < names.size()) {
                        ASSERT_EQ(r, 0) << step;
                        ASSERT_EQ(d4recNo(d), names[k + 1].second) << step;
                        ASSERT_EQ(d4skip(d, -1), 0) << step;
                        ASSERT_EQ(d4recNo(d), first->second) << step;
                    } else {
                        ASSERT_EQ(r, r4eof) << step;
                    }
                }
                ASSERT_EQ(d4tagSelect(d, sched), 0);
                ASSERT_EQ(check(d), "") << "step " << step;
            }
            // The run passed 256 records, so leaves were widened and built wide.
            if (cfg.blockSize != 512) {
                EXPECT_GT(mostRecords, 256u);
            }
            ASSERT_EQ(d4close(d), 0);
            // Reopened with the defaults, the file's layout and orders hold.
            c.indexBlockSize = 512;
            c.indexBlockMultiplier = 1;
            c.collateCodePage = 0;
            Data4* e = d4open(&c, local.file("model").c_str());
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(check(e), "");
            ASSERT_EQ(d4reindex(e), 0);
            EXPECT_EQ(check(e), "");
            ASSERT_EQ(d4close(e), 0);
        }
    }
}

#endif

#if __has_include("engine/expr4.h")
#include "tests/engine/lock4_fork.h"

// Another process changes the index: our cached nodes and positions must follow.
TEST_F(TagTable, AnotherProcessesKeysAreSeenAndItsUniqueKeysHold) {
    Data4* d = create();
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(add(d, "20261208", "Court 0", "10", "00"), 0);
    ASSERT_EQ(d4unlock(d), 0);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "SCHEDTAG")), 0);
    ASSERT_EQ(walk(d).size(), 1u);  // nodes now cached here
    std::string path = dir.file("courts");
    lock4test::Child child([path](const lock4test::Channel& ch) {
        Vask4 c2;
        if (vask4init(&c2, VASK4_VERSION, VASK4_STRUCT_SIZE, 1) != 0) return 2;
        Data4* e = d4open(&c2, path.c_str());
        if (!e) return 3;
        for (int i = 1; i <= 400; ++i) {
            if (appendRow(e, {"20261209", "Court " + std::to_string(i), "10", "00", ""}) != 0)
                return 4;
            if (d4unlock(e) != 0) return 5;
        }
        ch.send(1);
        if (ch.recv() != 2) return 6;
        // The parent appended this key meanwhile.
        int r = appendRow(e, {"20261210", "Court X", "10", "00", ""});
        d4unlock(e);
        if (r != r4unique) return 7;
        d4close(e);
        vask4initUndo(&c2);
        return 0;
    });
    ASSERT_EQ(child.ch().recv(), 1);
    EXPECT_EQ(d4recCount(d), 1);  // not yet re-read
    ASSERT_EQ(d4seek(d, "20261209Court 377"), 0);
    EXPECT_EQ(d4recNo(d), 378);
    EXPECT_EQ(walk(d).size(), 401u);
    ASSERT_EQ(add(d, "20261210", "Court X", "10", "00"), 0);
    ASSERT_EQ(d4unlock(d), 0);
    child.ch().send(2);
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(walk(d).size(), 402u);
    EXPECT_EQ(check(d), "");
    ASSERT_EQ(d4close(d), 0);
}
#endif
