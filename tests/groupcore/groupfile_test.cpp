#include "group/GroupFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <fstream>
#include <iterator>

#include "engine/io4.h"
#include "tests/groupcore/core_testutil.h"

using namespace quorvane;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes str(std::string_view s) {
    Bytes b(s.size() + 1);
    b[0] = std::uint8_t(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) b[i + 1] = std::uint8_t(s[i]);
    return b;
}
void append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}
void appendU32(Bytes& to, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) to.push_back(std::uint8_t(v >> (8 * i)));
}

GroupFile sampleGroup() {
    GroupFile g;
    g.typeName = "Tennis Courts";
    g.description = "North Park";
    g.count = 3;
    const char* names[] = {"Court 1", "Court 2", "court 1"};
    for (int i = 0; i < 3; ++i) {
        g.rooms[i].name = names[i];
        g.rooms[i].description = "lights";
        g.rooms[i].defaultTime = 60u * std::uint32_t(i + 1);
    }
    g.reserved = {7, -8};
    g.window = {10, 20, 630, 470};
    return g;
}

TEST(GroupFileBytes, HeaderCarriesTheBitAndEmptyDescriptionIsOneZeroByte) {
    GroupFile g = sampleGroup();
    g.description.clear();
    const Bytes b = writeGroupBytes(g);
    ASSERT_GE(b.size(), 5u);
    EXPECT_EQ((Bytes{b.begin(), b.begin() + 5}), (Bytes{0x03, 0x00, 0x00, 0x01, 0x00}));

    // The whole layout for one facility, byte for byte.
    GroupFile one;
    one.count = 1;
    one.description = "D";
    one.rooms[0].name = "A";
    one.rooms[0].description = "";
    one.rooms[0].defaultTime = 90;
    one.typeName = "Pools";
    one.reserved = {1, 2};
    one.window = {-1, 0, 300, 200};
    Bytes expected{0x01, 0x00, 0x00, 0x01};
    append(expected, str("D"));
    append(expected, str("A"));
    append(expected, str(""));
    appendU32(expected, 90);
    append(expected, str("Pools"));
    for (std::uint32_t v : {1u, 2u, 0xFFFFFFFFu, 0u, 300u, 200u}) appendU32(expected, v);
    EXPECT_EQ(writeGroupBytes(one), expected);
}

TEST(GroupFileBytes, RoundTripKeepsEverythingAndEmptiesTheOtherSlots) {
    const GroupFile g = sampleGroup();
    GroupFile back;
    back.count = 9;
    back.rooms[10].name = "stale";
    back.rooms[0].occupant1 = "Smith";
    ASSERT_TRUE(readGroupBytes(writeGroupBytes(g), back).ok());
    EXPECT_EQ(back.count, 3);
    EXPECT_EQ(back.description, "North Park");
    EXPECT_EQ(back.typeName, "Tennis Courts");
    EXPECT_EQ(back.reserved, g.reserved);
    EXPECT_EQ(back.window, g.window);
    EXPECT_TRUE(back.carriesDefaultTime);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back.rooms[i].name, g.rooms[i].name);
        EXPECT_EQ(back.rooms[i].defaultTime, g.rooms[i].defaultTime);
    }
    EXPECT_EQ(back.rooms[0].occupant1, "");
    for (int i = 3; i < kMaxFacilities; ++i) EXPECT_TRUE(back.rooms[i].empty()) << i;
    EXPECT_EQ(back.find("court 1"), 2);  // case counts
    EXPECT_EQ(back.find("Court 3"), -1);
    EXPECT_EQ(back.find(""), 3);  // an empty name meets the first empty slot
}

TEST(GroupFileBytes, FileWithoutTheBitReadsDefaultTimeZeroAndIsRewrittenWithIt) {
    Bytes old{0x02, 0x00, 0x00, 0x00};
    append(old, str("Old"));
    append(old, str("Field A"));
    append(old, str("grass"));
    append(old, str("Field B"));
    append(old, str(""));
    append(old, str("Soccer Fields"));
    for (int i = 0; i < 6; ++i) appendU32(old, 0);

    GroupFile g;
    ASSERT_TRUE(readGroupBytes(old, g).ok());
    EXPECT_FALSE(g.carriesDefaultTime);
    EXPECT_EQ(g.count, 2);
    EXPECT_EQ(g.rooms[0].description, "grass");
    EXPECT_EQ(g.rooms[1].name, "Field B");
    EXPECT_EQ(g.rooms[0].defaultTime, 0u);
    EXPECT_EQ(g.typeName, "Soccer Fields");

    const Bytes rewritten = writeGroupBytes(g);
    EXPECT_EQ(rewritten[3], 0x01);
    EXPECT_EQ(rewritten.size(), old.size() + 2 * 4);  // one default-time field per facility
    GroupFile again;
    ASSERT_TRUE(readGroupBytes(rewritten, again).ok());
    EXPECT_TRUE(again.carriesDefaultTime);
    EXPECT_EQ(again.rooms[1].name, "Field B");
}

TEST(GroupFileBytes, CountAboveFifteenIsRefusedAndFifteenIsRead) {
    GroupFile full;
    full.count = 15;
    for (int i = 0; i < 15; ++i) full.rooms[i].name = "F" + std::to_string(i);
    Bytes b = writeGroupBytes(full);
    GroupFile g;
    ASSERT_TRUE(readGroupBytes(b, g).ok());
    EXPECT_EQ(g.rooms[14].name, "F14");

    g.typeName = "untouched";
    for (std::uint32_t count : {16u, 255u, 0x00FFFFFFu}) {
        b[0] = std::uint8_t(count);
        b[1] = std::uint8_t(count >> 8);
        b[2] = std::uint8_t(count >> 16);
        const GroupFileResult r = readGroupBytes(b, g);
        EXPECT_EQ(r.status, GroupFileStatus::TooManyFacilities) << count;
        EXPECT_EQ(r.count, count);
        EXPECT_EQ(g.typeName, "untouched");
        EXPECT_NE(groupFileMessage(r, "/p/x.rec").find("at most 15"), std::string::npos);
    }
}

TEST(GroupFileBytes, EveryTruncationIsAShortFile) {
    const Bytes full = writeGroupBytes(sampleGroup());
    for (std::size_t n = 0; n < full.size(); ++n) {
        GroupFile g;
        g.description = "kept";
        const GroupFileResult r = readGroupBytes(std::span<const std::uint8_t>(full.data(), n), g);
        EXPECT_EQ(r.status, GroupFileStatus::ShortFile) << "length " << n;
        EXPECT_EQ(g.description, "kept");
    }
    // Bytes after the window rectangle: not read whole, so refused (a save would drop them).
    Bytes longer = full;
    longer.push_back(0x42);
    GroupFile g;
    const GroupFileResult r = readGroupBytes(longer, g);
    EXPECT_EQ(r.status, GroupFileStatus::Leftover);
    EXPECT_EQ(r.count, 1u);
}

TEST(Archive, LongStringsUseTheWiderLengthForms) {
    for (std::size_t n : {254u, 255u, 65533u, 65534u, 65535u, 70000u}) {
        const std::string s(n, 'x');
        ArchiveWriter w;
        w.writeString(s);
        const Bytes& b = w.bytes();
        if (n < 255) {
            EXPECT_EQ(b.size(), 1 + n);
        } else if (n < 65534) {
            ASSERT_EQ(b.size(), 3 + n);
            EXPECT_EQ(b[0], 0xFF);
            EXPECT_EQ(b[1] | (b[2] << 8), int(n));
        } else {
            ASSERT_EQ(b.size(), 7 + n);
            EXPECT_EQ((Bytes{b.begin(), b.begin() + 3}), (Bytes{0xFF, 0xFF, 0xFF}));
            EXPECT_EQ(std::size_t(b[3] | (b[4] << 8) | (b[5] << 16) | (b[6] << 24)), n);
        }
        ArchiveReader r(b);
        std::string back;
        ASSERT_TRUE(r.readString(back)) << n;
        EXPECT_EQ(back, s);
        EXPECT_EQ(r.remaining(), 0u);
    }

    // A group whose description is 65534 characters survives a round trip.
    GroupFile g = sampleGroup();
    g.description = std::string(65534, 'd');
    g.rooms[1].description = std::string(255, 'e');
    GroupFile back;
    ASSERT_TRUE(readGroupBytes(writeGroupBytes(g), back).ok());
    EXPECT_EQ(back.description, g.description);
    EXPECT_EQ(back.rooms[1].description, g.rooms[1].description);
}

TEST(Archive, Utf16StringsAreReadAsWindows1252) {
    // "Café €" + U+4E2D (no Windows-1252 byte) + a surrogate pair (one character).
    const std::vector<char16_t> units{u'C',   u'a',   u'f',   0x00E9, u' ',
                                      0x20AC, 0x4E2D, 0xD83D, 0xDE00};
    Bytes b{0xFF, 0xFE, 0xFF, std::uint8_t(units.size())};
    for (char16_t u : units) {
        b.push_back(std::uint8_t(u & 0xFF));
        b.push_back(std::uint8_t(u >> 8));
    }
    b.push_back(0x01);
    b.push_back('z');
    ArchiveReader r(b);
    std::string s;
    ASSERT_TRUE(r.readString(s));
    EXPECT_EQ(s, "Caf\xE9 \x80??");
    ASSERT_TRUE(r.readString(s));
    EXPECT_EQ(s, "z");

    // The long form after the marker, and a unit count running past the end.
    Bytes wide{0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01};  // 256 units follow ...
    for (int i = 0; i < 256; ++i) {
        wide.push_back('a');
        wide.push_back(0);
    }
    ArchiveReader rw(wide);
    ASSERT_TRUE(rw.readString(s));
    EXPECT_EQ(s, std::string(256, 'a'));
    wide.pop_back();  // ... but one byte is missing now
    ArchiveReader shortR(wide);
    EXPECT_FALSE(shortR.readString(s));
    EXPECT_FALSE(shortR.ok());

    // A huge claimed length fails before allocating anything.
    const Bytes huge{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'};
    ArchiveReader rh(huge);
    EXPECT_FALSE(rh.readString(s));
}

TEST(TypeNames, FirstLetterOnly) {
    TypeNames t = normaliseTypeName("tennis Courts");
    EXPECT_EQ(t.typeName, "Tennis Courts");
    EXPECT_EQ(t.lowerInitial, "tennis Courts");
    t = normaliseTypeName("Pools");
    EXPECT_EQ(t.typeName, "Pools");
    EXPECT_EQ(t.lowerInitial, "pools");
    for (const char* unchanged : {"9 Hole Greens", " courts", "", "\xE9tangs"}) {
        t = normaliseTypeName(unchanged);
        EXPECT_EQ(t.typeName, unchanged);
        EXPECT_EQ(t.lowerInitial, unchanged);
    }
    EXPECT_EQ(groupTitle("Pools", ""), "Pools");
    EXPECT_EQ(groupTitle("Pools", "Indoor"), "Pools - Indoor");
}

TEST(DefaultTime, TextBothWays) {
    EXPECT_EQ(formatDefaultTime(90), " 1:30");
    EXPECT_EQ(formatDefaultTime(45), "45");
    EXPECT_EQ(formatDefaultTime(5), " 5");
    EXPECT_EQ(formatDefaultTime(1500), "25:00");
    EXPECT_EQ(formatDefaultTime(60), " 1:00");

    EXPECT_EQ(parseDefaultTime("90"), 90u);
    EXPECT_EQ(parseDefaultTime("1:30"), 90u);
    EXPECT_EQ(parseDefaultTime(" 1:30"), 90u);
    EXPECT_EQ(parseDefaultTime(":45"), 45u);
    EXPECT_EQ(parseDefaultTime("2:"), 120u);
    EXPECT_EQ(parseDefaultTime("abc"), 0u);
    EXPECT_EQ(parseDefaultTime(""), 0u);
    EXPECT_EQ(parseDefaultTime("1500"), 1500u);
    EXPECT_EQ(parseDefaultTime("23:59"), 23u * 60 + 59);
    EXPECT_EQ(parseDefaultTime("45min"), 45u);
    EXPECT_EQ(parseDefaultTime("-5"), 0u);       // a sign is not a digit
    EXPECT_EQ(parseDefaultTime("1:2:30"), 90u);  // hours before the last ':' read up to a non-digit
    EXPECT_FALSE(parseDefaultTime("1:60"));
    EXPECT_FALSE(parseDefaultTime("24:00"));
    EXPECT_FALSE(parseDefaultTime(formatDefaultTime(1500)));  // shown, then refused
    EXPECT_FALSE(parseDefaultTime("99999999999999999999"));
}

TEST(FacilityEdits, AddModifyAndRemoveOnTheGroupAsRead) {
    auto names = [](const GroupFile& g) {
        std::vector<std::string> out;
        for (int i = 0; i < g.count; ++i) out.push_back(g.rooms[std::size_t(i)].name);
        return out;
    };
    GroupFile g;
    for (const char* n : {"A", "B", "C"}) ASSERT_EQ(g.addFacility(n, "", 0), GroupFile::Edit::Done);
    g.rooms[2].occupant1 = "Smith";

    using E = GroupFile::Edit;
    EXPECT_EQ(g.addFacility("B", "again", 5), E::NameTaken);
    EXPECT_EQ(g.modifyFacility("B", "lit", 90), E::Done);
    EXPECT_EQ(g.rooms[1].description, "lit");
    EXPECT_EQ(g.rooms[1].defaultTime, 90u);
    EXPECT_EQ(g.modifyFacility("Z", "x", 1), E::NotFound);
    EXPECT_EQ(g.removeFacility("Z"), E::NotFound);

    EXPECT_EQ(g.removeFacility("A"), E::Done);
    EXPECT_EQ(names(g), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(g.rooms[1].occupant1, "Smith") << "the occupant moves with its facility";
    EXPECT_TRUE(g.rooms[2].empty());
    EXPECT_EQ(g.rooms[2].occupant1, "") << "the freed slot keeps nothing";

    while (g.count < kMaxFacilities)
        ASSERT_EQ(g.addFacility("F" + std::to_string(g.count), "", 0), E::Done);
    EXPECT_EQ(g.addFacility("New", "", 0), E::GroupFull);
    EXPECT_EQ(g.count, kMaxFacilities);
}

class GroupFileDisk : public ::testing::Test {
protected:
    groupcore_test::ScratchDir dir;
    std::string path(const char* name) const { return dir.filePath(name); }
    static Bytes readAll(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    static void writeRaw(const std::string& p, const Bytes& b) {
        std::ofstream f(p, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
};

TEST_F(GroupFileDisk, SaveReplacesWholeAndKeepsPermissions) {
    const std::string p = path("Tennis Courts.rec");
    ASSERT_TRUE(saveGroupFile(p, sampleGroup()).ok());
    EXPECT_EQ(readAll(p), writeGroupBytes(sampleGroup()));
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);

    GroupFile smaller;
    smaller.typeName = "Pools";
    ASSERT_TRUE(saveGroupFile(p, smaller).ok());
    EXPECT_EQ(readAll(p), writeGroupBytes(smaller));
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    GroupFile loaded;
    ASSERT_TRUE(loadGroupFile(p, loaded).ok());
    EXPECT_EQ(loaded.typeName, "Pools");
    // No temporary file is left beside the group.
    EXPECT_EQ(dir.files().size(), 1u);
}

TEST_F(GroupFileDisk, DamagedFilesGiveAMessageAndStayUnchanged) {
    const std::string p = path("bad.rec");
    const Bytes full = writeGroupBytes(sampleGroup());
    const Bytes bad(full.begin(), full.end() - 3);
    writeRaw(p, bad);
    GroupFile g;
    GroupFileResult r = loadGroupFile(p, g);
    EXPECT_EQ(r.status, GroupFileStatus::ShortFile);
    EXPECT_EQ(
        groupFileMessage(r, p),
        "The group file \"" + p + "\" ends unexpectedly. It is damaged or is not a group file.");
    EXPECT_EQ(readAll(p), bad);

    r = loadGroupFile(path("missing.rec"), g);
    EXPECT_EQ(r.status, GroupFileStatus::OpenFailed);
    EXPECT_NE(groupFileMessage(r, "m").find("No such file"), std::string::npos);
    EXPECT_EQ(loadGroupFile(dir.path(), g).status, GroupFileStatus::OpenFailed);

    const std::string big = path("big.rec");
    {
        std::ofstream f(big, std::ios::binary);
        f.seekp(std::streamoff(kMaxGroupFileSize) + 1);
        f.put('\0');
    }
    EXPECT_EQ(loadGroupFile(big, g).status, GroupFileStatus::TooLarge);
    EXPECT_TRUE(g.rooms[0].name.empty());

    // A count one too small reads the last facility as the rest of the group: the bytes left
    // over say the file is damaged.
    Bytes counted = full;
    counted[0] = std::uint8_t(counted[0] - 1);
    writeRaw(p, counted);
    r = loadGroupFile(p, g);
    EXPECT_EQ(r.status, GroupFileStatus::Leftover);
    EXPECT_NE(groupFileMessage(r, p).find("is damaged"), std::string::npos);
    EXPECT_TRUE(g.rooms[0].name.empty());

    // Not a regular file: refused at once, a FIFO without waiting for a writer.
    const std::string fifo = path("fifo.rec");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(loadGroupFile(fifo, g).status, GroupFileStatus::OpenFailed);

    // A read the disk fails is said as such and leaves the group as it was.
    struct FailingReads final : Io4 {
        ssize_t pread(int, void*, size_t, off_t) override {
            errno = EIO;
            return -1;
        }
    } failing;
    ASSERT_TRUE(saveGroupFile(p, sampleGroup()).ok());
    g = GroupFile{};
    Io4* previous = io4set(&failing);
    r = loadGroupFile(p, g);
    io4set(previous);
    EXPECT_EQ(r.status, GroupFileStatus::ReadFailed);
    EXPECT_EQ(r.error, EIO);
    EXPECT_TRUE(g.rooms[0].name.empty());
}

// A facility is known by its name as the reservations store it (blanks at the end dropped,
// cut to the field's 20 characters): two names that agree there are one facility.
TEST(GroupFileBytes, FacilityNamesAreKeptAsReservationsStoreThem) {
    GroupFile g;
    using E = GroupFile::Edit;
    ASSERT_EQ(g.addFacility("Court 5 ", "", 0), E::Done);
    EXPECT_EQ(g.rooms[0].name, "Court 5");
    EXPECT_EQ(g.addFacility("Court 5", "", 0), E::NameTaken);
    ASSERT_EQ(g.addFacility("Championship Court Number 1", "", 0), E::Done);
    EXPECT_EQ(g.rooms[1].name, "Championship Court N");
    EXPECT_EQ(g.addFacility("Championship Court Number 2", "", 0), E::NameTaken);
    EXPECT_EQ(g.find("Court 5  "), 0);
    EXPECT_EQ(storedFacilityName(std::string("Court\0 9", 7)), "Court");
    EXPECT_EQ(storedFacilityName("Championship Court  X"), "Championship Court");

    // Read from a file written by another program: trimmed, and two that become one refused.
    GroupFile raw = sampleGroup();
    raw.rooms[0].name = "Court 1   ";
    GroupFile read;
    ASSERT_TRUE(readGroupBytes(writeGroupBytes(raw), read).ok());
    EXPECT_EQ(read.rooms[0].name, "Court 1");
    raw.rooms[1].name = "Court 1";
    EXPECT_EQ(readGroupBytes(writeGroupBytes(raw), read).status, GroupFileStatus::SameNames);
}

TEST_F(GroupFileDisk, FailedSaveLeavesTheOldFile) {
    const std::string p = path("g.rec");
    ASSERT_TRUE(saveGroupFile(p, sampleGroup()).ok());
    const Bytes before = readAll(p);

    // A child process whose file-size limit stops the write half way (works as root too).
    GroupFile bigger = sampleGroup();
    bigger.description = std::string(5000, 'x');
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit lim { 100, 100 };
        ::setrlimit(RLIMIT_FSIZE, &lim);
        const GroupFileResult r = saveGroupFile(p, bigger);
        ::_exit(r.status == GroupFileStatus::WriteFailed && r.error == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not report the failed write";
    EXPECT_EQ(readAll(p), before);
    EXPECT_EQ(dir.files(), std::vector<std::string>{"g.rec"});

    GroupFileResult r;
    r.status = GroupFileStatus::WriteFailed;
    r.error = EFBIG;
    EXPECT_NE(groupFileMessage(r, p).find("keeps its previous content"), std::string::npos);
}

}  // namespace
