// Interchange with independent xBase readers and writers (Debian's python3-dbfread and
// python3-dbf) and with the tables other programs wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

const char* const python = "/usr/bin/python3";

bool hasModule(const char* module) {
    std::string cmd = std::string(python) + " -c 'import " + module + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

std::string run(const std::string& script, const std::string& arg, const ScratchDir& dir) {
    std::string file = dir.file("script.py");
    writeBytes(file, std::vector<unsigned char>(script.begin(), script.end()));
    std::string cmd = std::string(python) + " '" + file + "' '" + arg + "' 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// Lists fields, then every record (deleted ones marked) with the exact field bytes.
const char* const dbfreadDump = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], raw=True, load=True, ignore_missing_memofile=True)
for f in t.fields:
    print('F %s %s %d %d' % (f.name, f.type, f.length, f.decimal_count))
for mark, recs in (('R', t.records), ('D', t.deleted)):
    for r in recs:
        print(mark + ' ' + '|'.join(v.decode('latin-1') for k, v in r.items()))
)";

const char* const dbfDump = R"(
import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
for r in t:
    vals = []
    for name in t.field_names:
        v = r[name]
        vals.append('T' if v is True else 'F' if v is False else '?' if v is None else str(v).rstrip())
    print(('D ' if dbf.is_deleted(r) else 'R ') + '|'.join(vals))
t.close()
)";

// The same listing from the engine.
std::string engineDump(Data4* d, bool withFields) {
    std::ostringstream live, gone, out;
    if (withFields)
        for (int j = 1; j <= d4numFields(d); ++j) {
            Field4* f = d4fieldJ(d, j);
            out << "F " << f4name(f) << ' ' << f4type(f) << ' ' << f4len(f) << ' ' << f4decimals(f)
                << '\n';
        }
    for (int r = d4top(d); r == 0; r = d4skip(d, 1)) {
        std::ostringstream line;
        for (int j = 1; j <= d4numFields(d); ++j)
            line << (j > 1 ? "|" : "") << std::string(f4ptr(d4fieldJ(d, j)), f4len(d4fieldJ(d, j)));
        (d4deleted(d) ? gone : live) << (d4deleted(d) ? "D " : "R ") << line.str() << '\n';
    }
    out << live.str() << gone.str();
    return out.str();
}

TEST(DataInterop, EngineTablesReadByOtherTools) {
    if (!hasModule("dbfread") || !hasModule("dbf")) GTEST_SKIP() << "python3 lacks dbfread or dbf";
    // The second reader knows no character fields wider than 255, so it reads a table
    // without the wide one.
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "with a 300-wide field" : "dBase III widths");
        ScratchDir dir;
        Vask4 c;
        ASSERT_EQ(vask4init(&c), 0);
        const FIELD4INFO f[] = {{"NAME", 'C', 21, 0, 0},
                                {"NOTES", 'C', 80, 0, 0},
                                {"KEPT", 'L', 1, 0, 0},
                                {"HH", 'C', 2, 0, 0},
                                {"WIDE", 'C', static_cast<unsigned short>(wide ? 300 : 20), 0, 0},
                                {nullptr, 0, 0, 0, 0}};
        Data4* d = d4create(&c, dir.file("engine").c_str(), f);
        ASSERT_NE(d, nullptr);
        std::string longText(wide ? 300 : 20, 'x');
        ASSERT_EQ(appendRow(d, {"SMITH", "first note", "T", "09", "w1"}), 0);
        ASSERT_EQ(appendRow(d, {"JONES", "", "F", "10", longText}), 0);
        ASSERT_EQ(appendRow(d, {"BROWN", "gone", "T", "11", "w3"}), 0);
        ASSERT_EQ(d4delete(d), 0);
        ASSERT_EQ(d4flush(d), 0);
        std::string mine = engineDump(d, true);
        ASSERT_EQ(d4close(d), 0);
        EXPECT_EQ(run(dbfreadDump, dir.file("ENGINE.DBF"), dir), mine);
        EXPECT_NE(mine.find(wide ? "F WIDE C 300 0\n" : "F WIDE C 20 0\n"), std::string::npos);
        if (!wide) {
            EXPECT_EQ(run(dbfDump, dir.file("ENGINE.DBF"), dir),
                      "R SMITH|first note|T|09|w1\nR JONES||F|10|" + longText +
                          "\nD BROWN|gone|T|11|w3\n");
        }
    }
}

TEST(DataInterop, OtherToolsTablesOpenedAppendedAndPacked) {
    if (!hasModule("dbfread") || !hasModule("dbf")) GTEST_SKIP() << "python3 lacks dbfread or dbf";
    ScratchDir dir;
    std::string path = dir.file("THEIRS.DBF");
    std::string out = run(R"(
import sys, dbf
t = dbf.Table(sys.argv[1], 'NAME C(20); OK L; CODE C(5)', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('alpha', True, 'a1'))
t.append(('beta', False, 'b2'))
t.append(('gamma', True, 'c3'))
with t[1] as r:
    dbf.delete(r)
t.close()
print('ok')
)",
                          path, dir);
    ASSERT_EQ(out, "ok\n");
    Vask4 c;
    ASSERT_EQ(vask4init(&c), 0);
    Data4* d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(engineDump(d, true), run(dbfreadDump, path, dir));
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(d4deleted(d), 1);
    EXPECT_EQ(fieldText(d, "NAME"), "beta                ");
    EXPECT_EQ(fieldText(d, "OK"), "F");
    ASSERT_EQ(appendRow(d, {"delta", "T", "d4"}), 0);
    ASSERT_EQ(d4pack(d), 0);
    EXPECT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4close(d), 0);
    EXPECT_EQ(run(dbfDump, path, dir), "R alpha|T|a1\nR gamma|T|c3\nR delta|T|d4\n");
    Data4* again = nullptr;
    ASSERT_EQ(vask4init(&c), 0);
    c.accessMode = 1;  // the count now matches the length exactly
    again = d4open(&c, path.c_str());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(engineDump(again, false),
              run(dbfreadDump, path, dir).substr(run(dbfreadDump, path, dir).find("R ")));
}

TEST(DataInterop, FixtureTablesReadLikeAnIndependentReader) {
    if (!hasModule("dbfread")) GTEST_SKIP() << "python3 lacks dbfread";
    const char* tables[] = {"foxpro-rooms/rooms.dbf", "vfp-stale-index/issue115.dbf",
                            "test10k/TEST10K.DBF"};
    for (const char* t : tables) {
        SCOPED_TRACE(t);
        ScratchDir dir;
        std::string src = std::string(QUORVANE_FIXTURES_DIR) + "/xbase/" + t;
        std::string copy = dir.file("COPY.DBF");
        writeBytes(copy, readBytes(src));
        if (readBytes(copy).empty()) GTEST_SKIP() << "fixture missing: " << src;
        Vask4 c;
        ASSERT_EQ(vask4init(&c), 0);
        c.autoOpen = 0;  // the tags are another module's business
        c.readOnly = 1;
        Data4* d = d4open(&c, copy.c_str());
        ASSERT_NE(d, nullptr);
        std::string theirs = run(dbfreadDump, copy, dir);
        // dbfread lists the system field _NullFlags; the engine hides it.
        std::string filtered;
        std::istringstream in(theirs);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("F _NullFlags", 0) == 0) continue;
            if (line[0] != 'F' && std::string(t).find("issue115") != std::string::npos)
                line = line.substr(0, line.rfind('|'));
            filtered += line + '\n';
        }
        EXPECT_EQ(engineDump(d, true), filtered);
        EXPECT_EQ(readBytes(copy), readBytes(src)) << "reading changes nothing";
    }
}

}  // namespace
