// The comma-delimited customer file and the address pair: bytes, order and keys, on a real
// customer table, without Qt (the commands are customer_export_test.cpp's).
// Test tables name only the fields that matter to each case.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "address_pair_reader.h"
#include "export_core_fixture.h"
#include "reports/core/CustomerExport.h"
#include "reports/core/KFSClass.h"

namespace quorvane::testing {
namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string python() {
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

// Runs a Python snippet on `arg`; its standard output, or nullopt when Python is missing.
std::optional<std::string> runPython(const std::string& code, const std::string& arg,
                                     const std::string& scratch) {
    const std::string script = scratch + "/check.py";
    std::ofstream(script) << code;
    const std::string cmd = python() + " '" + script + "' '" + arg + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return std::nullopt;
    std::string out;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    if (pclose(p) != 0) return std::nullopt;
    return out;
}

// Every entry of the folder, hidden ones and folders too, sorted.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CustomerExportTest : public ExportCoreFixture {
protected:
    CPeople people;
    void openPeople() { ASSERT_EQ(people.Open(groupPath), 0); }
    void TearDown() override {
        if (people.IsOpen()) people.Close();
        ExportCoreFixture::TearDown();
    }
    AddressPair exportPair(const std::string& name, int expected = kAddressExported) {
        std::string indexPath;
        EXPECT_EQ(exportCustomersAddress(people, file(name), indexPath), expected);
        return readAddressPair(file(name), CKFSClass::IndexName(file(name)));
    }
};

TEST(CsvQuoting, DoublesEmbeddedQuotesOnly) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"Smith", "\"Smith\""},
        {"", "\"\""},
        {"Bob \"Bud\"", "\"Bob \"\"Bud\"\"\""},
        {"\"", "\"\"\"\""},
        {"A, B & Co", "\"A, B & Co\""},
        {"M\xFCller", "\"M\xFCller\""},
    };
    for (const auto& c : cases) EXPECT_EQ(csvQuoted(c.in), c.out) << c.in;
}

TEST(CsvQuoting, FormulaStartsGetAnApostropheAndGroupFilesAreRecognised) {
    const std::pair<std::string, std::string> cells[] = {
        {"=HYPERLINK(\"http://x\",\"x\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"x\"\")\""},
        {"+1+2", "\"'+1+2\""},
        {"-2+3", "\"'-2+3\""},
        {"@SUM(A1:A9)", "\"'@SUM(A1:A9)\""},
        {"\tx", "\"'\tx\""},
        {"\rx", "\"'\rx\""},
        {"a=b", "\"a=b\""},  // only the first character matters
        {"'quoted", "\"'quoted\""},
        {"", "\"\""},
    };
    for (const auto& [in, out] : cells) EXPECT_EQ(csvCell(in), out) << in;
    EXPECT_EQ(textExportLine("=1", "", "Lee", "", "", "", "", "-5"),
              "\"'=1\",\"\",\"Lee\",\"\",\"\",\"\",\"\",\"'-5\",\"\"");

    const std::pair<const char*, bool> names[] = {
        {"/g/RecPeople.dbf", true},     {"/g/RECPEOPLE.DBF", true},
        {"/g/Tennis Courts.CDX", true}, {"/g/x.idx", true},
        {"/g/Tennis Courts.rec", true}, {"/g/Tennis CourtsUpdate.bin", true},
        {"/g/customers.txt", false},    {"/g/dbf", false},
        {"/g.rec/list.txt", false},     {"/g/update.binary", false},
    };
    for (const auto& [path, refused] : names) EXPECT_EQ(isGroupFileName(path), refused) << path;
}

TEST_F(CustomerExportTest, TextFileReadsBackFieldForFieldWithPythonCsv) {
    const std::vector<TestCustomer> customers = {
        {"Bob \"Bud\"", "", "O\"Neil", "555-1", "Smith, Jones & Co", "1 Main St", "Springfield",
         "N", "12345"},
        {"Ann", "Q", "Able", "555-2", "", "", "M\xFCnchen", "IL", ""},
        {"\"", "", "Zed", "555-3", "\"\"", "x\"y", "", "", "1"},
    };
    makePeople(customers);
    openPeople();
    const std::string out = file("customers.txt");
    ASSERT_EQ(exportCustomersText(people, out), kTextExported);

    const std::string bytes = slurp(out);
    EXPECT_EQ(bytes.rfind(std::string(kTextExportHeader) + "\r\n", 0), 0u);
    std::size_t lines = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') continue;
        EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
        ++lines;
    }
    EXPECT_EQ(lines, 4u);
    EXPECT_EQ(bytes.back(), '\n');

    // Latin-1 hands every byte through unchanged, so the hex below is the stored bytes.
    const auto read = runPython(
        "import csv, sys\n"
        "for row in csv.reader(open(sys.argv[1], newline='', encoding='latin-1')):\n"
        "    print('|'.join(f.encode('latin-1').hex() for f in row))\n",
        out, folder);
    ASSERT_TRUE(read) << "python3 is needed";
    // Key order: Able, O"Neil, Zed. State is stored two wide ("N ").
    const std::vector<std::vector<std::string>> expected = {
        {"firstname", "initial", "lastname", "organization", "address", "city", "state", "zip"},
        {"Ann", "Q", "Able", "", "", "M\xFCnchen", "IL", "", ""},
        {"Bob \"Bud\"", "", "O\"Neil", "Smith, Jones & Co", "1 Main St", "Springfield", "N ",
         "12345", ""},
        {"\"", "", "Zed", "\"\"", "x\"y", "", "  ", "1", ""},
    };
    std::string want;
    for (const auto& row : expected) {
        for (std::size_t i = 0; i < row.size(); ++i) want += (i ? "|" : "") + hex(row[i]);
        want += "\n";
    }
    EXPECT_EQ(*read, want);
}

TEST_F(CustomerExportTest, EmptyTableGivesHeaderOnlyAndAnEmptyPair) {
    makePeople({});
    openPeople();
    ASSERT_EQ(exportCustomersText(people, file("empty.txt")), kTextExported);
    EXPECT_EQ(slurp(file("empty.txt")), std::string(kTextExportHeader) + "\r\n");

    const AddressPair pair = exportPair("empty.adr");
    EXPECT_EQ(pair.error, "");
    EXPECT_EQ(pair.data.size(), 0u);
    ASSERT_EQ(pair.index.size(), 8576u);
    // The path stands in the header, zero-padded (the temporary folder is short enough).
    const std::string path = file("empty.adr");
    ASSERT_LT(path.size(), 63u);
    EXPECT_EQ(pair.index.substr(36, path.size()), path);
    EXPECT_EQ(pair.index[36 + path.size()], '\0');
    // Every bucket node empty: prefixes 0, offsets -1, link -1.
    for (int block = 1; block <= 66; ++block) {
        const std::size_t at = std::size_t(block) * 128;
        EXPECT_EQ(pair.index.substr(at, 68), std::string(68, '\0')) << block;
        EXPECT_EQ(pair.index.substr(at + 68, 60), std::string(60, '\xFF')) << block;
    }
}

TEST(AddressRecordLayout, NameOrganizationAndLimits) {
    const struct {
        AddressFields in;
        int counter;
        std::size_t at;
        std::string expect;  // bytes at `at`
    } cases[] = {
        {{"John", "", "Smith"}, 0, 12, std::string("John Smith\0", 11)},
        {{"John", "Q", "Smith"}, 0, 12, std::string("John Q Smith\0", 13)},
        {{std::string(16, 'F'), "M", std::string(21, 'L')},
         0,
         12,
         std::string(16, 'F') + " M " + std::string(20, 'L') + '\0'},
        {{"A", "", "B"}, 258, 52, std::string("\x02\x01\0\0", 4)},
        {{"A", "", "B", std::string(30, 'o'), "12 Elm"},
         0,
         68,
         std::string(28, 'o') + "12 Elm" + '\0'},
        {{"A", "", "B", "Org", "x", std::string(25, 'c')}, 0, 176, std::string(25, 'c') + '\0'},
        {{"A", "", "B", "", "", "", "N ", "123456789012"},
         0,
         0,
         "12345678901" + std::string(1, '\0')},
        {{"A", "", "B", "", "", "", "N ", ""}, 0, 202, std::string("N \0", 3)},
    };
    for (const auto& c : cases) {
        const AddressRecord r = addressRecord(c.in, c.counter);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[c.at]), c.expect.size()), c.expect)
            << c.in.first << '/' << c.in.last << " at " << c.at;
    }
}

TEST(KFSClassRules, BucketsAndIndexNames) {
    const std::pair<unsigned char, int> buckets[] = {
        {0, 1},    {'/', 1},  {'0', 2},  {'9', 11}, {':', 12}, {'@', 12},  {'A', 13}, {'Z', 38},
        {'[', 39}, {'`', 39}, {'a', 40}, {'z', 65}, {'{', 66}, {0x7F, 66}, {0x80, 1}, {0xFC, 1},
    };
    for (auto [byte, block] : buckets) EXPECT_EQ(CKFSClass::BucketOf(byte), block) << int(byte);
    const std::pair<std::string, std::string> names[] = {
        {"/m/club.adr", "/m/club.PTR"},
        {"/m/list.2026.adr", "/m/list.2026.PTR"},
        {"/m.old/club", "/m.old/club.PTR"},
        {"club", "club.PTR"},
    };
    for (const auto& [data, index] : names) EXPECT_EQ(CKFSClass::IndexName(data), index);
}

TEST_F(CustomerExportTest, CreateRefusesLongPathsExistingFilesAndShortRecords) {
    CKFSClass pair;
    std::string at64 = folder + "/";
    at64 += std::string(64 - at64.size() - 4, 'p') + ".adr";
    ASSERT_EQ(at64.size(), 64u);
    EXPECT_EQ(pair.Create(at64 + "x", 260, 12, 44, 0), CKFSClass::kPathTooLong);
    EXPECT_EQ(pair.Create(file("a.adr"), 50, 12, 44, 0), CKFSClass::kRecordTooSmall);
    EXPECT_EQ(pair.Create(folder + "/missing/a.adr", 260, 12, 44, 0), CKFSClass::kIndexNotCreated);
    EXPECT_EQ(pair.Create("/proc/quorvane.adr", 260, 12, 44, 0), CKFSClass::kIndexNotCreated);
    ASSERT_EQ(pair.Create(at64, 260, 12, 44, 0), CKFSClass::kOk);
    ASSERT_EQ(pair.Close(), CKFSClass::kOk);
    // Either file of the pair present refuses the pair, and nothing is overwritten.
    EXPECT_EQ(pair.Create(at64, 260, 12, 44, 0), CKFSClass::kExists);
    std::ofstream(file("only.PTR")) << "keep";
    EXPECT_EQ(pair.Create(file("only.adr"), 260, 12, 44, 0), CKFSClass::kExists);
    EXPECT_EQ(slurp(file("only.PTR")), "keep");
    EXPECT_FALSE(std::filesystem::exists(file("only.adr")));
    // The pair's own index without its data file (a crash between Close's renames) is replaced;
    // the same index beside another pair's name is not.
    std::filesystem::remove(at64);
    std::filesystem::copy_file(CKFSClass::IndexName(at64), file("other.PTR"));
    EXPECT_EQ(pair.Create(file("other.adr"), 260, 12, 44, 0), CKFSClass::kExists);
    ASSERT_EQ(pair.Create(at64, 260, 12, 44, 0), CKFSClass::kOk);
    EXPECT_EQ(pair.Close(), CKFSClass::kOk);
    EXPECT_TRUE(std::filesystem::exists(at64));
}

TEST_F(CustomerExportTest, EqualNamesGetCountersAndLowerCaseNamesTheirOwnBuckets) {
    makePeople({
        {"John", "", "Smith", "555-1"},
        {"John", "", "Smith", "555-2"},
        {"john", "", "Smith", "555-3"},
        {"Ann", "B", "Smith", "555-4"},
    });
    openPeople();
    const AddressPair pair = exportPair("dups.adr");
    ASSERT_EQ(pair.error, "");
    ASSERT_EQ(pair.records(), 4u);
    // Export order is key order: Ann B, John (555-1), John (555-2), john.
    const std::string name = "John Smith" + std::string(30, '\0');
    EXPECT_EQ(pair.record(1).substr(12, 44), name + std::string("\0\0\0\0", 4));
    EXPECT_EQ(pair.record(2).substr(12, 44), name + std::string("\x01\0\0\0", 4));
    EXPECT_EQ(pair.keys[std::size_t(CKFSClass::BucketOf('J'))].size(), 2u);
    EXPECT_EQ(pair.keys[std::size_t(CKFSClass::BucketOf('j'))].size(), 1u);
    EXPECT_EQ(CKFSClass::BucketOf('j'), 49);
}

TEST_F(CustomerExportTest, FifteenthEntrySplitsAndChainsStayOrdered) {
    // Twenty customers in one bucket, inserted in key order (each goes past the last entry),
    // and a handful elsewhere.
    std::vector<TestCustomer> customers;
    for (int i = 0; i < 20; ++i)
        customers.push_back({"Al" + std::string(1, char('a' + i)), "", "Zed", "555"});
    for (const char* first : {"Bea", "bea", "9th", "\xC9mile"})
        customers.push_back({first, "", "Young", "555"});
    makePeople(customers);
    openPeople();

    // Fourteen keys fill the bucket node; the fifteenth splits it. Slots 7-13 move to the new
    // node, and the new key joins the node that holds its position.
    auto name = [](int n) {
        char text[8];
        std::snprintf(text, sizeof text, "Al%03d", n);
        return std::string(text);
    };
    const struct {
        int fifteenth;
        std::vector<int> fill;
    } splits[] = {{5, {8, 7}}, {65, {8, 7}}, {75, {7, 8}}, {150, {7, 8}}};
    for (const auto& split : splits) {
        SCOPED_TRACE(split.fifteenth);
        const std::string path = file("split" + std::to_string(split.fifteenth) + ".adr");
        CKFSClass pair;
        ASSERT_EQ(pair.Create(path, 260, 12, 44, 0), CKFSClass::kOk);
        for (int i = 14; i >= 1; --i) {
            AddressFields c{name(10 * i), "", "Zed"};
            ASSERT_EQ(pair.AddRecord(addressRecord(c, 0).data()), CKFSClass::kOk) << i;
        }
        AddressFields again{name(70), "", "Zed"};
        EXPECT_EQ(pair.AddRecord(addressRecord(again, 0).data()), CKFSClass::kDuplicateKey);
        AddressFields last{name(split.fifteenth), "", "Zed"};
        ASSERT_EQ(pair.AddRecord(addressRecord(last, 0).data()), CKFSClass::kOk);
        ASSERT_EQ(pair.Close(), CKFSClass::kOk);
        const AddressPair read = readAddressPair(path, CKFSClass::IndexName(path));
        ASSERT_EQ(read.error, "");
        EXPECT_EQ(read.index.size(), 68u * 128);  // one node appended
        EXPECT_EQ(read.records(), 15u);
        EXPECT_EQ(read.nodeFill[std::size_t(CKFSClass::BucketOf('A'))], split.fill);
    }
    // The whole table through the export: every chain walks in order, every record indexed.
    const AddressPair pair = exportPair("all.adr");
    ASSERT_EQ(pair.error, "");
    EXPECT_EQ(pair.records(), customers.size());
    EXPECT_EQ(pair.keys[13].size(), 20u);
    EXPECT_EQ(pair.keys[1].size(), 1u);  // the byte 0xC9 counts as below 48
}

TEST_F(CustomerExportTest, ThousandAndOneEqualNamesStopAndSaySo) {
    std::vector<TestCustomer> customers;
    for (int i = 0; i < 1001; ++i)
        customers.push_back({"Pat", "", "Lee", std::to_string(10000 + i)});
    customers.push_back({"Zoe", "", "Zimmer", "1"});
    makePeople(customers);
    openPeople();
    const AddressPair pair = exportPair("many.adr", kAddressTooManyEqual);
    ASSERT_EQ(pair.error, "");
    EXPECT_EQ(pair.records(), 1000u);
    std::set<std::int32_t> counters;
    for (std::size_t i = 0; i < pair.records(); ++i) counters.insert(le32(pair.record(i), 52));
    EXPECT_EQ(counters.size(), 1000u);
    EXPECT_EQ(*counters.rbegin(), 999);
}

// A write that fails mid-export: the file-size limit makes the kernel refuse the write
// (EFBIG) as a full disk would (ENOSPC). Runs in a child process so the limit stays there.
TEST_F(CustomerExportTest, FailedWritesAreReportedNotClaimedAsDone) {
    std::vector<TestCustomer> customers;
    for (int i = 0; i < 200; ++i)
        customers.push_back({"Kim", "", "Lo" + std::to_string(i), "1", "Org", "Street 1", "City"});
    makePeople(customers);
    auto inChild = [&](rlim_t bytes, auto&& body) {
        const pid_t pid = fork();
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            CPeople own;
            if (own.Open(groupPath) != 0) _exit(90);
            rlimit limit{bytes, bytes};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(body(own));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::ofstream(file("full.txt")) << "old";
    const std::vector<std::string> before = entries(folder);
    EXPECT_EQ(inChild(4000, [&](CPeople& p) { return exportCustomersText(p, file("full.txt")); }),
              kTextWriteFailed);
    EXPECT_EQ(inChild(12000,
                      [&](CPeople& p) {
                          std::string index;
                          return exportCustomersAddress(p, file("full.adr"), index);
                      }),
              kAddressWriteFailed);
    // The old text file stays whole; of the pair nothing is left, and no temporary file.
    EXPECT_EQ(slurp(file("full.txt")), "old");
    EXPECT_EQ(entries(folder), before);
}

}  // namespace
}  // namespace quorvane::testing
