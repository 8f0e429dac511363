// The administration tool run as the administrator runs it: as a program on a folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables_testutil.h"

#ifdef QUORVANE_TABLES_TOOL

using tables_test::fill;
using tables_test::ScratchDir;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun tool(const std::string& args) {
    ToolRun r;
    std::string cmd = std::string("'") + QUORVANE_TABLES_TOOL + "' " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string q(const std::string& s) {
    return "'" + s + "'";
}

// A group folder with a few reservations, customers and maintenance items.
void makeFolder(const ScratchDir& dir) {
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    for (int d = 1; d <= 4; ++d) {
        fill(s, 2026, 2, d, d % 2 ? "Court 2" : "Court 1", 9, 0, 10, 0,
             "Player" + std::to_string(d));
        ASSERT_EQ(s.Add(), 0);
    }
    ASSERT_EQ(s.Seek("20260203", "Court 2", "09", "00"), 0);
    ASSERT_EQ(s.Delete(false), 0);
    s.Close();
    CPeople p;
    ASSERT_EQ(p.Create(dir.file("Courts.rec")), 0);
    p.Clear();
    p.SetName("Ann", "", "Lee");
    ASSERT_EQ(p.Add(), 0);
    p.Close();
    CMaintenance m;
    ASSERT_EQ(m.Create(dir.file("Courts.rec")), 0);
    m.Clear();
    m.SetName("Mowing");
    ASSERT_EQ(m.Add(), 0);
    m.Close();
}

// Changes the facility of record 1 behind the index's back.
void damageIndex(const ScratchDir& dir) {
    std::string path = dir.file("COURTS.DBF");
    std::vector<unsigned char> b = tables_test::readBytes(path);
    unsigned headerLen = b[8] | (b[9] << 8);
    b[headerLen + 9] = 'X';
    tables_test::writeBytes(path, b);
}

}  // namespace

TEST(AdminTool, SoundFolderChecksCleanAndDumpsInTagOrder) {
    ScratchDir dir;
    makeFolder(dir);
    ToolRun r = tool("check " + q(dir.path()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("COURTS.DBF: records 4, live 3, tags SCHEDTAG: sound"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("RECPEOPLE.DBF: records 1, live 1, tags PEOPLETAG: sound"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("RECMAINTENANCE.DBF: records 1, live 1, tags MAINTENANC: sound"),
              std::string::npos)
        << r.out;

    // Tag order: date, then facility; the deleted record is not in the tag.
    r = tool("dump " + q(dir.file("COURTS.DBF")));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "RECNO,DELETED,DATE,ROOMNAME,STARTHH,STARTMM,ENDHH,ENDMM,LASTNAME,FIRSTNAME,MI,"
              "PHONE,EXT,NOTES,DATEMADE,TIMEMADE,RECURDAYS,RECURDATE,TYPEFLAG,RESKEPT,FLAG1,ORG");
    EXPECT_NE(r.out.find("\n1,0,20260201,\"Court 2             \",09,00,10,00,\"Player1"),
              std::string::npos)
        << r.out;
    size_t second = r.out.find("\n2,0,20260202");
    size_t fourth = r.out.find("\n4,0,20260204");
    EXPECT_NE(second, std::string::npos);
    EXPECT_LT(second, fourth);
    EXPECT_EQ(r.out.find("\n3,"), std::string::npos);
    // Record order shows the deleted record too.
    r = tool("dump --tag '' " + q(dir.file("COURTS.DBF")));
    EXPECT_NE(r.out.find("\n3,1,20260203"), std::string::npos) << r.out;
    r = tool("dump --tag NOSUCH " + q(dir.file("COURTS.DBF")));
    EXPECT_NE(r.status, 0);
}

// The tables hold Windows-1252; the dump is read in a UTF-8 terminal unless --raw asks for the
// bytes. 0xE9 is one byte of Latin-1's range, 0x80 (the euro sign) one of the table's own, 0x81
// one the code page leaves undefined (kept as the control of the same number).
TEST(AdminTool, DumpWritesUtf8OrWithRawTheTablesBytes) {
    ScratchDir dir;
    CPeople p;
    ASSERT_EQ(p.Create(dir.file("Courts.rec")), 0);
    p.Clear();
    p.SetName("Ren\xE9", "", "M\xFCller");
    p.SetOrg("\x80 Club \x81");
    ASSERT_EQ(p.Add(), 0);
    p.Close();
    const std::string file = q(dir.file("RECPEOPLE.DBF"));
    for (const char* opts :
         {"", "--tag '' ", "--raw ", "--raw --tag PEOPLETAG ", "--tag PEOPLETAG --raw "}) {
        const bool raw = std::string(opts).find("--raw") != std::string::npos;
        ToolRun r = tool(std::string("dump ") + opts + file);
        ASSERT_EQ(r.status, 0) << opts << r.out;
        const char* name = raw ? "Ren\xE9" : "Ren\xC3\xA9";
        const char* last = raw ? "M\xFCller" : "M\xC3\xBCller";
        const char* org = raw ? "\x80 Club \x81" : "\xE2\x82\xAC Club \xC2\x81";
        EXPECT_NE(r.out.find(name), std::string::npos) << opts << r.out;
        EXPECT_NE(r.out.find(last), std::string::npos) << opts << r.out;
        EXPECT_NE(r.out.find(org), std::string::npos) << opts << r.out;
    }
    EXPECT_EQ(tool("dump --raw --raw " + file).status, 2);
}

TEST(AdminTool, DamagedIndexIsDetectedAndRepairedByReindex) {
    ScratchDir dir;
    makeFolder(dir);
    damageIndex(dir);
    ToolRun r = tool("check " + q(dir.path()));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("COURTS.DBF: records 4, live 3, tags SCHEDTAG: DAMAGED"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("RECPEOPLE.DBF: records 1, live 1, tags PEOPLETAG: sound"),
              std::string::npos)
        << r.out;

    // Not while another user has it open.
    {
        CSchedule other;
        ASSERT_EQ(other.Open(dir.file("Courts.rec")), 0);
        r = tool("reindex " + q(dir.file("COURTS.DBF")));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("cannot be opened exclusively"), std::string::npos) << r.out;
    }
    r = tool("reindex " + q(dir.file("COURTS.DBF")));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("index rebuilt"), std::string::npos) << r.out;
    r = tool("check " + q(dir.path()));
    EXPECT_EQ(r.status, 0) << r.out;
    CSchedule s;
    ASSERT_EQ(s.Open(dir.file("Courts.rec")), 0);
    EXPECT_EQ(s.Seek("20260201", "Xourt 2", "09", "00"), 0);
}

TEST(AdminTool, UnreadableIndexIsCreatedAnewFromItsTagDefinitions) {
    ScratchDir dir;
    makeFolder(dir);
    // Wreck the tag's tree (the blocks after the headers and the tag directory's leaf): the
    // headers and the directory keep the definitions.
    std::string cdx = dir.file("COURTS.CDX");
    std::vector<unsigned char> b = tables_test::readBytes(cdx);
    ASSERT_GT(b.size(), 2560u);
    for (size_t i = 2560; i < b.size(); ++i) b[i] = 0xEE;
    tables_test::writeBytes(cdx, b);
    ToolRun r = tool("check " + q(dir.file("COURTS.DBF")));
    EXPECT_EQ(r.status, 1) << r.out;
    r = tool("reindex " + q(dir.file("COURTS.DBF")));
    EXPECT_EQ(r.status, 0) << r.out;
    r = tool("check " + q(dir.path()));
    EXPECT_EQ(r.status, 0) << r.out;
    CSchedule s;
    ASSERT_EQ(s.Open(dir.file("Courts.rec")), 0);
    ASSERT_EQ(s.Seek("20260204", "Court 1", "09", "00"), 0);
    fill(s, 2026, 2, 4, "Court 1", 9, 0, 9, 30);
    EXPECT_EQ(s.Add(), 20);  // the rebuilt tag is unique again
}

TEST(AdminTool, RepairSetsTheCountAndKeepsAPartialRecord) {
    ScratchDir dir;
    makeFolder(dir);
    std::string path = dir.file("COURTS.DBF");
    std::vector<unsigned char> b = tables_test::readBytes(path);
    // A crash: one whole record written behind the count, then half of another.
    ASSERT_EQ(b.back(), 0x1A);
    b.pop_back();
    std::string extra = tables_test::recordBytes(path, 1);
    extra[1 + 7] = '9';  // 20260209
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), extra.begin(), extra.begin() + 100);
    tables_test::writeBytes(path, b);
    long damagedSize = tables_test::fileSize(path);

    ToolRun r = tool("check " + q(path));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("run repair"), std::string::npos) << r.out;
    r = tool("repair " + q(path));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("100 bytes of a partial record after record 5 are left as they are"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("record count 4 set to 5"), std::string::npos) << r.out;
    EXPECT_EQ(tables_test::fileSize(path), damagedSize);  // a repair never shortens a file
    EXPECT_EQ(tool("check " + q(path)).status, 0);
    CSchedule s;
    ASSERT_EQ(s.Open(dir.file("Courts.rec")), 0);
    EXPECT_EQ(s.Seek("20260209", "Court 2", "09", "00"), 0);
}

// One flipped bit in a header or a record: check finds what the program refuses, repair
// brings every record back from the field descriptors, and a repair that cannot be sure
// changes nothing.
TEST(AdminTool, DamagedHeadersAreFoundAndRepairedWithoutLosingRecords) {
    struct Case {
        const char* what;
        const char* file;
        size_t offset;
        unsigned char bit;  // XORed in
        bool programOpens;  // the table still opens in the program
        const char* found;  // in check's report
        int repair;         // repair's exit status
    };
    const Case cases[] = {
        {"header length + 256", "COURTS.DBF", 9, 0x01, false, "DAMAGED", 0},
        {"record length + 256", "COURTS.DBF", 11, 0x01, false, "DAMAGED", 0},
        {"record length + 1", "COURTS.DBF", 10, 0x01, false, "DAMAGED", 0},
        {"index flag cleared", "COURTS.DBF", 28, 0x01, false, "does not mark the production", 0},
        {"a deletion flag", "COURTS.DBF", 0, 0x58 ^ 0x20, true, "deletion flag 0x58", -1},
        // The first field's width: the records no longer line up with the descriptors.
        {"a field width", "COURTS.DBF", 32 + 16, 0x04, false, "DAMAGED", 1},
        {"tag options lose unique", "COURTS.CDX", 1024 + 14, 0x01, false, "not unique", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        makeFolder(dir);
        const std::string dbf = dir.file("COURTS.DBF"), damaged = dir.file(c.file);
        std::vector<unsigned char> b = tables_test::readBytes(damaged);
        const size_t at = c.offset == 0 ? (b[8] | (b[9] << 8)) + (b[10] | (b[11] << 8))
                                        : c.offset;  // record 2's flag
        b[at] ^= c.bit;
        tables_test::writeBytes(damaged, b);
        {
            CSchedule s;
            EXPECT_EQ(s.Open(dir.file("Courts.rec")) == 0, c.programOpens);
        }
        ToolRun r = tool("check " + q(dbf));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find(c.found), std::string::npos) << r.out;
        if (c.repair < 0) continue;
        r = tool("repair " + q(dbf));
        EXPECT_EQ(r.status, c.repair) << r.out;
        if (c.repair != 0) {
            EXPECT_NE(r.out.find("nothing was changed"), std::string::npos) << r.out;
            EXPECT_EQ(tables_test::readBytes(damaged), b);
            continue;
        }
        if (damaged == dbf) {
            EXPECT_EQ(tables_test::fileSize(dbf), long(b.size()));
        }
        r = tool("check " + q(dbf));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("records 4, live 3"), std::string::npos) << r.out;
        CSchedule s;
        EXPECT_EQ(s.Open(dir.file("Courts.rec")), 0);
    }
}

// Others working with the table hold it open for shared use: check reads it as they do.
TEST(AdminTool, CheckReadsATableOthersHaveOpen) {
    ScratchDir dir;
    makeFolder(dir);
    CSchedule other;
    ASSERT_EQ(other.Open(dir.file("Courts.rec")), 0);
    ToolRun r = tool("check " + q(dir.path()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("COURTS.DBF: records 4, live 3, tags SCHEDTAG: sound"), std::string::npos)
        << r.out;
    damageIndex(dir);
    r = tool("check " + q(dir.file("COURTS.DBF")));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("DAMAGED"), std::string::npos) << r.out;
}

TEST(AdminTool, PackRemovesDeletedRecordsAndForeignNamesWork) {
    ScratchDir dir;
    makeFolder(dir);
    // Another program's lower-case file names.
    ASSERT_EQ(::rename(dir.file("COURTS.DBF").c_str(), dir.file("courts.dbf").c_str()), 0);
    ASSERT_EQ(::rename(dir.file("COURTS.CDX").c_str(), dir.file("courts.cdx").c_str()), 0);
    ToolRun r = tool("pack " + q(dir.file("courts.dbf")));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("packed, 3 of 4 records kept"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("courts.dbf: records 3, live 3, tags SCHEDTAG: sound"), std::string::npos)
        << r.out;
    EXPECT_FALSE(tables_test::exists(dir.file("COURTS.DBF")));
    r = tool("check " + q(dir.file("courts")));
    EXPECT_EQ(r.status, 0) << r.out;
    // Usage errors and missing tables.
    EXPECT_EQ(tool("").status, 2);
    EXPECT_EQ(tool("frobnicate x").status, 2);
    EXPECT_EQ(tool("check " + q(dir.file("nothing"))).status, 1);
    EXPECT_EQ(tool("check " + q(dir.file("Courts.rec"))).status, 1);  // not a data file
}

// Tables of other programs that this engine does not take are reported as such, not as
// damage: no reindex or repair is advised, and a reindex leaves them untouched.
TEST(AdminTool, TablesOfAnotherLayoutAreUnsupportedNotDamaged) {
    struct Case {
        const char* what;
        size_t offset;       // byte of COURTS.DBF to change (from the first field descriptor)
        unsigned char byte;  // its new value
        const char* reason;
    };
    const Case cases[] = {
        // The tag's key names DATE; renamed, the field is the container's, not the table's.
        {"a field the tag names is missing", 0, 'Q', "tag SCHEDTAG: key \"DATE+ROOMNAME"},
        {"a field type the engine does not read", 11, 'K', "field types K C L"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        makeFolder(dir);
        const std::string dbf = dir.file("COURTS.DBF");
        std::vector<unsigned char> b = tables_test::readBytes(dbf);
        b[32 + c.offset] = c.byte;
        tables_test::writeBytes(dbf, b);
        const std::vector<unsigned char> dataBefore = tables_test::readBytes(dbf);
        const std::vector<unsigned char> indexBefore =
            tables_test::readBytes(dir.file("COURTS.CDX"));

        ToolRun r = tool("check " + q(dir.path()));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("COURTS.DBF: records 4, tags SCHEDTAG: UNSUPPORTED"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("run reindex"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("run repair"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("DAMAGED"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("RECPEOPLE.DBF: records 1, live 1, tags PEOPLETAG: sound"),
                  std::string::npos)
            << "the other tables are still checked\n"
            << r.out;

        r = tool("reindex " + q(dbf));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("COURTS.DBF: UNSUPPORTED, not rebuilt"), std::string::npos) << r.out;
        EXPECT_EQ(tables_test::readBytes(dbf), dataBefore);
        EXPECT_EQ(tables_test::readBytes(dir.file("COURTS.CDX")), indexBefore) << r.out;
    }
}

#endif

// A record rewrite's journal left behind (here a torn one): check names it and writes
// nothing; repair settles it (a torn journal is dropped, the record was not touched).
TEST(AdminTool, AJournalLeftBehindIsNamedAndSettledByRepair) {
    ScratchDir dir;
    makeFolder(dir);
    const std::string path = dir.file("COURTS.DBF"), journal = dir.file(".COURTS.DBF.2~j");
    tables_test::writeBytes(journal, {'Q', 'V', 'J', '1'});
    ToolRun r = tool("check " + q(dir.path()));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("(.COURTS.DBF.2~j); run repair"), std::string::npos) << r.out;
    EXPECT_EQ(tables_test::fileSize(journal), 4);
    EXPECT_EQ(tool("repair " + q(path)).status, 0);
    EXPECT_EQ(tables_test::fileSize(journal), -1);
    EXPECT_EQ(tool("check " + q(dir.path())).status, 0);
}
