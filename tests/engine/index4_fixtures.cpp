// Index files written by other xBase programs: every tag must walk in the
// order an independent reader gives, and the checker must agree with the
// table about what each tag holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/cdx4.h"
#include "tests/engine/index4_testutil.h"

namespace fs = std::filesystem;
using namespace cdx4;

namespace {

using index_test::TempDir;

// Just enough of a data-file reader to compute keys for the fixtures.
struct Table {
    struct Field {
        std::string name;
        char type;
        unsigned offset, width;
    };
    std::vector<Field> fields;
    std::vector<std::string> records;
    const Field* field(std::string n) const {
        for (auto& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const auto& f : fields)
            if (f.name == n) return &f;
        return nullptr;
    }
};

Table readTable(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
    Table t;
    uint32_t count = u(4) | (u(5) << 8) | (u(6) << 16) | (uint32_t(u(7)) << 24);
    unsigned hl = u(8) | (u(9) << 8), rl = u(10) | (u(11) << 8);
    unsigned off = 1;
    for (size_t i = 32; i + 32 <= hl && u(i) != 0x0D; i += 32) {
        Table::Field f;
        f.name = std::string(b.c_str() + i, strnlen(b.c_str() + i, 11));
        f.type = b[i + 11];
        f.width = u(i + 16);
        if (f.type == 'C') f.width |= u(i + 17) << 8;
        f.offset = off;
        off += f.width;
        t.fields.push_back(f);
    }
    for (uint32_t r = 0; r < count; ++r) t.records.push_back(b.substr(hl + size_t(r) * rl, rl));
    return t;
}

struct TagOrder {
    std::string name, key, filter;
    std::vector<uint32_t> order;
};

std::vector<TagOrder> readOrder(const fs::path& p) {
    std::ifstream in(p);
    std::vector<TagOrder> tags;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("tag ", 0) == 0)
            tags.push_back({line.substr(4), "", "", {}});
        else if (line.rfind("key ", 0) == 0)
            tags.back().key = line.substr(4);
        else if (line.rfind("for", 0) == 0)
            tags.back().filter = line.size() > 4 ? line.substr(4) : "";
        else if (line.rfind("order", 0) == 0) {
            std::istringstream s(line.substr(5));
            uint32_t r;
            while (s >> r) tags.back().order.push_back(r);
        }
    }
    return tags;
}

std::vector<uint8_t> sortableDouble(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if (bits >> 63)
        bits = ~bits;
    else
        bits |= 1ull << 63;
    std::vector<uint8_t> k(8);
    for (int i = 0; i < 8; ++i) k[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    return k;
}

long julianDay(int y, int m, int d) {
    int a = (14 - m) / 12;
    long yy = y + 4800 - a, mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

std::vector<uint8_t> keyOf(const Table::Field& f, const std::string& rec) {
    std::string v = rec.substr(f.offset, f.width);
    if (f.type == 'N') return sortableDouble(std::atof(v.c_str()));
    if (f.type == 'D') {
        if (v.find_first_not_of(' ') == std::string::npos) return sortableDouble(0);
        return sortableDouble(static_cast<double>(julianDay(
            std::stoi(v.substr(0, 4)), std::stoi(v.substr(4, 2)), std::stoi(v.substr(6, 2)))));
    }
    return std::vector<uint8_t>(v.begin(), v.end());
}

std::string trimUpper(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The filters these fixtures use.
bool passes(const Table& t, const std::string& filter, const std::string& rec) {
    if (filter.empty()) return true;
    if (filter == ".NOT.DELETED()") return rec[0] != '*';
    const std::string head = "TRIM(UPPER(facility))==\"";
    if (filter.rfind(head, 0) == 0) {
        std::string want = filter.substr(head.size(), filter.size() - head.size() - 1);
        const auto* f = t.field("facility");
        return trimUpper(rec.substr(f->offset, f->width)) == want;
    }
    ADD_FAILURE() << "filter not understood: " << filter;
    return false;
}

struct Opened {
    TempDir dir;
    Table table;
    std::vector<TagOrder> order;
    std::unique_ptr<Index> ix;
};

std::unique_ptr<Opened> openFixture(const std::string& folder, const std::string& dbf,
                                    const std::string& cdx) {
    auto o = std::make_unique<Opened>();
    fs::path src = fs::path(QUORVANE_FIXTURES_DIR) / "xbase" / folder;
    for (const auto& e : fs::directory_iterator(src)) {
        fs::copy_file(e.path(), o->dir.path / e.path().filename());
        fs::permissions(o->dir.path / e.path().filename(),
                        fs::perms::owner_read | fs::perms::owner_write);
    }
    o->table = readTable(o->dir.path / dbf);
    o->order = readOrder(o->dir.path / "tag-order.txt");
    auto* io = Index4FdIo::openPath(o->dir.path / cdx, false);
    EXPECT_NE(io, nullptr);
    o->ix = std::make_unique<Index>(std::unique_ptr<Index4Io>(io));
    EXPECT_EQ(o->ix->open(), 0) << o->ix->lastText();
    return o;
}

// Walks every tag both ways and compares with the independent order; then
// computes what each tag should hold and lets the checker compare.
CheckReport walkAndCheck(Opened& o, bool current = true) {
    std::map<std::string, std::vector<Entry>> expected;
    EXPECT_EQ(o.ix->tags().size(), o.order.size());
    for (const auto& want : o.order) {
        Tree* t = o.ix->tag(want.name);
        if (!t) {
            ADD_FAILURE() << "tag " << want.name << " missing";
            continue;
        }
        const auto* f = o.table.field(t->keyExpr());
        if (!f) {
            ADD_FAILURE() << "key " << t->keyExpr();
            continue;
        }
        t->setPad(f->type == 'C' ? ' ' : 0);
        EXPECT_EQ(t->filterExpr(), want.filter) << want.name;
        std::vector<uint32_t> fwd, back;
        Pos p;
        int wrc = t->top(p);
        for (; wrc == 0; wrc = t->next(p)) fwd.push_back(p.rec);
        EXPECT_EQ(wrc, kEof) << want.name << ": " << o.ix->lastText();
        for (int rc = t->bottom(p); rc == 0; rc = t->prev(p)) back.push_back(p.rec);
        EXPECT_EQ(fwd, want.order) << want.name;
        for (size_t i = 0; i < fwd.size() && i < want.order.size(); ++i)
            if (fwd[i] != want.order[i]) {
                ADD_FAILURE() << want.name << " first difference at " << i << ": " << fwd[i]
                              << " vs " << want.order[i];
                break;
            }
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(back, want.order) << want.name;
        auto& e = expected[t->name()];
        for (uint32_t r = 1; r <= o.table.records.size(); ++r) {
            const std::string& rec = o.table.records[r - 1];
            if (passes(o.table, t->filterExpr(), rec)) e.push_back({keyOf(*f, rec), r});
        }
        std::sort(e.begin(), e.end(), [&](const Entry& a, const Entry& b) {
            return compareEntry(a.key.data(), a.rec, b.key.data(), b.rec, t->keyLen()) < 0;
        });
        // Seeking each expected key finds a record holding it, where the
        // writer kept machine order (a seek cannot find keys it misplaced).
        std::vector<Entry> walked;
        EXPECT_EQ(t->entries(walked), 0);
        bool machineOrder = walked == e;
        for (size_t i = 0; current && machineOrder && i < e.size(); i += 1 + e.size() / 200) {
            Pos s;
            int rc = t->seek(e[i].key.data(), e[i].key.size(), s);
            EXPECT_EQ(rc, kFound) << want.name;
            if (rc == kFound) {
                EXPECT_EQ(s.key, e[i].key);
            }
        }
    }
    return o.ix->check(o.table.records.size(), &expected);
}

}  // namespace

TEST(Index4Fixtures, RoomsTagsWalkInTheIndependentOrder) {
    auto o = openFixture("foxpro-rooms", "rooms.dbf", "rooms.cdx");
    ASSERT_EQ(o->ix->tags().size(), 5u);
    CheckReport r = walkAndCheck(*o);
    EXPECT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(o->ix->tag("AUDIO")->filterExpr(), "TRIM(UPPER(facility))==\"AUDIO\"");
    Pos p;
    Tree* t = o->ix->tag("ROOMNAME");
    EXPECT_EQ(t->seek(reinterpret_cast<const uint8_t*>("Mi"), 2, p), kFound);
}

TEST(Index4Fixtures, Test10kNumericAndDateKeysUseTheSharedForms) {
    auto o = openFixture("test10k", "TEST10K.DBF", "TEST10K.CDX");
    CheckReport r = walkAndCheck(*o);
    // Its writer ordered a few names by a language-aware compare ("Macedon"
    // before "MacLeod"); the checker reports exactly those as order breaks
    // in the character tags and nothing else.
    for (const auto& p : r.problems) {
        EXPECT_NE(p.find("key order broken"), std::string::npos) << p;
        EXPECT_TRUE(p.find("tag CITY") == 0 || p.find("tag FIRST") == 0 || p.find("tag LAST") == 0)
            << p;
    }
    EXPECT_EQ(r.problems.size(), 5u) << r.text();
    EXPECT_EQ(r.entries, 70000u + 7);
    // Seek an age through the numeric key form.
    Tree* age = o->ix->tag("AGE");
    std::vector<uint8_t> k = sortableDouble(30);
    Pos p;
    ASSERT_EQ(age->seek(k.data(), 8, p), kFound);
    const auto* f = o->table.field("AGE");
    EXPECT_EQ(std::atoi(o->table.records[p.rec - 1].substr(f->offset, f->width).c_str()), 30);
}

TEST(Index4Fixtures, StaleIndexWithTinyLeavesIsReportedByTheChecker) {
    auto o = openFixture("vfp-stale-index", "issue115.dbf", "issue115.cdx");
    Tree* cod = o->ix->tag("COD");
    ASSERT_NE(cod, nullptr);
    EXPECT_TRUE(cod->candidate());
    EXPECT_EQ(cod->options(), 0x6C);
    CheckReport r = walkAndCheck(*o, false);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.text().find("holds 1 keys, the table gives 9"), std::string::npos) << r.text();
}

TEST(Index4Fixtures, ForeignTreesTakeInsertsAndRemovalsAndStayValid) {
    auto o = openFixture("test10k", "TEST10K.DBF", "TEST10K.CDX");
    Tree* last = o->ix->tag("AGE");
    ASSERT_NE(last, nullptr);
    last->setPad(0);
    std::vector<Entry> before;
    ASSERT_EQ(last->entries(before), 0);
    // Foreign leaves (16 record bits here) must widen for large record numbers.
    std::vector<uint8_t> k = sortableDouble(99);
    const auto* key = k.data();
    ASSERT_EQ(last->insert(key, 70000, 70000), 0);
    for (size_t i = 0; i < before.size(); i += 3)
        ASSERT_EQ(last->remove(before[i].key.data(), before[i].rec, 70000), 0);
    ASSERT_EQ(o->ix->flush(), 0);
    CheckReport r = o->ix->check(70000);
    for (const auto& p : r.problems) EXPECT_EQ(p.find("tag AGE"), std::string::npos) << p;
    std::vector<Entry> after;
    ASSERT_EQ(last->entries(after), 0);
    EXPECT_EQ(after.size(), before.size() - (before.size() + 2) / 3 + 1);
    EXPECT_EQ(after.back().rec, 70000u);
}
