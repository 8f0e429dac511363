// The reservation table: file naming, seek rules, older layouts, uniqueness, walks, packing.
#include <gtest/gtest.h>

#include <string>

#include "engine/data4.h"
#include "engine/tag4.h"
#include "tables/Schedule.h"
#include "tables_testutil.h"

using tables_test::fill;
using tables_test::ScratchDir;

namespace {

// Offsets of some fields inside a reservation record (byte 0 is the deletion flag).
constexpr size_t kRoomName = 9, kStartHH = 29, kEndHH = 33, kEndMM = 35, kTimeMade = 185,
                 kRecurDays = 189, kRecurDate = 192, kTypeFlag = 200, kResKept = 201, kOrg = 203;

std::string dbf(const ScratchDir& dir, const std::string& stem) {
    return dir.file(stem + ".DBF");
}

}  // namespace

TEST(ScheduleFiles, TableNamedAfterGroupFileWithoutItsExtension) {
    ScratchDir dir;
    {
        CSchedule s;
        ASSERT_EQ(s.Create(dir.file("a.b.rec")), 0);
        EXPECT_EQ(s.GetPath(), dir.file("a.b"));
        s.Close();
    }
    EXPECT_TRUE(tables_test::exists(dir.file("A.B.DBF")));
    EXPECT_TRUE(tables_test::exists(dir.file("A.B.CDX")));
    {
        CSchedule s;
        ASSERT_EQ(s.Create(dir.file("Tennis")), 0);  // no "." at all: used unchanged
        EXPECT_EQ(s.GetPath(), dir.file("Tennis"));
        s.Close();
    }
    EXPECT_TRUE(tables_test::exists(dir.file("TENNIS.DBF")));
    // A "." in a folder name is not an extension: the table stays in that folder.
    ASSERT_EQ(::mkdir(dir.file("club.data").c_str(), 0755), 0);
    {
        CSchedule s;
        ASSERT_EQ(s.Create(dir.file("club.data/Pools")), 0);
        s.Close();
    }
    EXPECT_TRUE(tables_test::exists(dir.file("club.data/POOLS.DBF")));
    // Creating over an existing table fails and leaves it alone.
    long before = tables_test::fileSize(dir.file("A.B.DBF"));
    CSchedule again;
    EXPECT_NE(again.Create(dir.file("a.b.rec")), 0);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(tables_test::fileSize(dir.file("A.B.DBF")), before);
}

TEST(ScheduleRecord, WritesEveryFieldInItsFormAndReadsItBack) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    fill(s, 2026, 3, 7, "Court 1", 22, 0, 23, 59);
    s.SetRecurDays(7);
    s.SetRecurDate(4, 25, 2026);
    s.SetTypeFlag(1);
    s.SetNotes("bring nets");
    ASSERT_EQ(s.Add(), 0);
    long rec = s.GetRecordNumber();
    EXPECT_EQ(rec, 1);
    s.Close();

    std::string r = tables_test::recordBytes(dbf(dir, "COURTS"), 1);
    ASSERT_EQ(r.size(), 242u);
    EXPECT_EQ(r.substr(1, 8), "20260307");
    EXPECT_EQ(r.substr(kRoomName, 20), "Court 1             ");
    EXPECT_EQ(r.substr(kStartHH, 4), "2200");
    EXPECT_EQ(r.substr(kEndHH, 2), "23");
    EXPECT_EQ(r.substr(kEndMM, 2), "59");
    EXPECT_EQ(r.substr(kTimeMade, 4), "0930");
    EXPECT_EQ(r.substr(kRecurDays, 3), "007");
    EXPECT_EQ(r.substr(kRecurDate, 8), "20260425");
    EXPECT_EQ(r.substr(kTypeFlag, 3), "1T0");
    EXPECT_EQ(r.substr(kOrg, 10), "Parks Club");

    CSchedule t;
    ASSERT_EQ(t.Open(dir.file("Courts.rec")), 0);
    EXPECT_FALSE(t.HasNoOrg());
    ASSERT_EQ(t.GoTo(rec), 0);
    int m, d, y, h, mi;
    t.GetDate(m, d, y);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20260307);
    t.GetEnd(h, mi);
    EXPECT_EQ(h * 100 + mi, 2359);
    t.GetMade(m, d, y, h, mi);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20260102);
    EXPECT_EQ(h * 100 + mi, 930);
    EXPECT_TRUE(t.IsRecurring());
    EXPECT_TRUE(t.IsMaintenance());
    EXPECT_TRUE(t.HasNotes());
    EXPECT_EQ(t.GetRecurDays(), 7);
    EXPECT_TRUE(t.GetKept());
    std::string first, mid, last, phone, ext, org;
    t.GetNames(first, mid, last, phone, ext, org);
    EXPECT_EQ(first + "|" + mid + "|" + last + "|" + phone + "|" + ext + "|" + org,
              "John|Q|Smith|555-0100|12|Parks Club");
}

TEST(ScheduleRecord, LongTextsAreCutAtTheirFieldAndDamagedNumbersReadAsZero) {
    ScratchDir dir;
    {
        CSchedule s;
        ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
        fill(s, 2026, 3, 7, "A facility name far longer than twenty", 9, 5, 10, 0);
        ASSERT_EQ(s.Add(), 0);
        s.Close();
    }
    std::string path = dbf(dir, "COURTS");
    std::string r = tables_test::recordBytes(path, 1);
    EXPECT_EQ(r.substr(kRoomName, 20), "A facility name far ");
    EXPECT_EQ(r.substr(kStartHH, 4), "0905");  // the next field is untouched

    // Blank and garbage in the number fields of the stored record.
    std::vector<unsigned char> b = tables_test::readBytes(path);
    unsigned headerLen = b[8] | (b[9] << 8);
    const char damage[] =
        "  \xff"
        "x";  // STARTHH blank, STARTMM garbage
    for (int i = 0; i < 4; ++i) b[headerLen + kStartHH + i] = static_cast<unsigned char>(damage[i]);
    b[headerLen + kTimeMade] = '?';
    b[headerLen + kResKept] = ' ';
    tables_test::writeBytes(path, b);

    CSchedule t;
    ASSERT_EQ(t.Open(dir.file("Courts.rec")), 0);
    ASSERT_EQ(t.GoTo(1), 0);
    int h, m, mo, d, y;
    t.GetStart(h, m);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(m, 0);
    t.GetMade(mo, d, y, h, m);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(m, 30);
    EXPECT_FALSE(t.GetKept());
}

TEST(ScheduleSeek, EmptyHourReadsTheNextRecordFullKeyMissLeavesItCleared) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    fill(s, 2026, 5, 4, "Court 2", 10, 0, 11, 0, "Jones");
    ASSERT_EQ(s.Add(), 0);
    fill(s, 2026, 5, 5, "Court 1", 9, 30, 10, 30, "Brown");
    ASSERT_EQ(s.Add(), 0);

    // The 4th has only a Court 2 booking: the seek reads it and the caller's check sees it.
    ASSERT_EQ(s.Seek("20260504", "Court 1", "", ""), 0);
    EXPECT_TRUE(s.IsOnDate("20260505") || s.GetFacility() != "Court 1");
    EXPECT_EQ(s.GetFacility(), "Court 2");
    EXPECT_TRUE(s.IsOnDate("20260504"));

    // A day before every booking reads the first booking of a later day.
    ASSERT_EQ(s.Seek("20260501", "", "", ""), 0);
    EXPECT_FALSE(s.IsOnDate("20260501"));
    EXPECT_TRUE(s.IsOnDate("20260504"));

    // Full key that misses: 2, and nothing of the record it landed on is kept.
    EXPECT_EQ(s.Seek("20260505", "Court 1", "09", "00"), 2);
    int m, d, y;
    s.GetDate(m, d, y);
    EXPECT_EQ(y + m + d, 0);
    EXPECT_EQ(s.GetFacility(), "");
    std::string f, mi, last, ph, ext, org;
    s.GetNames(f, mi, last, ph, ext, org);
    EXPECT_EQ(last, "");

    ASSERT_EQ(s.Seek("20260505", "Court 1", "09", "30"), 0);
    EXPECT_EQ(s.GetFacility(), "Court 1");
    // Past the last key: end of file, cleared as well.
    EXPECT_EQ(s.Seek("20260506", "Court 1", "09", "30"), 3);
    EXPECT_EQ(s.GetFacility(), "");
    // The walk cannot be continued from the end.
    EXPECT_EQ(s.Next(), 3);
}

TEST(ScheduleKeys, IsOnDateAndIsBeforeWantEightCharacters) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    s.Clear();
    s.SetDate(6, 9, 2026);
    EXPECT_TRUE(s.IsOnDate("20260609"));
    EXPECT_FALSE(s.IsOnDate("2026069"));
    EXPECT_FALSE(s.IsOnDate("202606090"));
    EXPECT_FALSE(s.IsOnDate(""));
    EXPECT_TRUE(s.IsBefore("20260610"));
    EXPECT_FALSE(s.IsBefore("20260609"));
    EXPECT_FALSE(s.IsBefore("2026061"));  // would sort after, but is no date key
    EXPECT_FALSE(s.IsBefore("202606100"));
    EXPECT_EQ(CSchedule::FormatDateKey(6, 9, 2026), "20260609");
    EXPECT_EQ(CSchedule::FormatDateKey(0, 0, 0), "00000000");
}

TEST(ScheduleUnique, SecondLiveBookingOfTheSameStartIsRefused) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    fill(s, 2026, 5, 5, "Court 1", 9, 0, 10, 0, "First");
    ASSERT_EQ(s.Add(), 0);
    fill(s, 2026, 5, 5, "Court 1", 9, 0, 9, 30, "Second");
    EXPECT_EQ(s.Add(), 20);
    long size = tables_test::fileSize(dbf(dir, "COURTS"));
    EXPECT_EQ(size, 32 * 20 + 33 + 242 + 1);  // header and the first record only
    // Same start on another facility and another start on the same facility are fine.
    fill(s, 2026, 5, 5, "Court 2", 9, 0, 10, 0, "Third");
    EXPECT_EQ(s.Add(), 0);
    fill(s, 2026, 5, 5, "Court 1", 10, 0, 11, 0, "Fourth");
    EXPECT_EQ(s.Add(), 0);

    // Moving a booking onto a taken start is refused too, and the walk goes on unharmed.
    ASSERT_EQ(s.Seek("20260505", "Court 1", "10", "00"), 0);
    s.SetStart(9, 0);
    EXPECT_EQ(s.Update(), 20);
    ASSERT_EQ(s.First(), 0);
    std::string seen;
    do {
        std::string f, mi, last, ph, ext, org;
        s.GetNames(f, mi, last, ph, ext, org);
        seen += last + " ";
    } while (s.Next() == 0);
    EXPECT_EQ(seen, "First Fourth Third ");

    // A cancelled booking frees its start.
    ASSERT_EQ(s.Seek("20260505", "Court 1", "09", "00"), 0);
    ASSERT_EQ(s.Delete(false), 0);
    fill(s, 2026, 5, 5, "Court 1", 9, 0, 9, 45, "Fifth");
    EXPECT_EQ(s.Add(), 0);
}

TEST(ScheduleWalk, DeleteThenNextContinuesWithTheFollowingRecord) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    for (int h = 8; h <= 12; ++h) {
        fill(s, 2026, 7, 1, "Court 1", h, 0, h, 45, "H" + std::to_string(h));
        ASSERT_EQ(s.Add(), 0);
    }
    // Cancel 09:00 and 10:00 while walking the day.
    std::string visited;
    ASSERT_EQ(s.Seek("20260701", "Court 1", "", ""), 0);
    for (;;) {
        int h, m;
        s.GetStart(h, m);
        visited += std::to_string(h) + " ";
        if (h == 9 || h == 10) {
            ASSERT_EQ(s.Delete(false), 0);
        }
        if (s.Next() != 0) break;
    }
    EXPECT_EQ(visited, "8 9 10 11 12 ");
    std::string left;
    ASSERT_EQ(s.First(), 0);
    do {
        int h, m;
        s.GetStart(h, m);
        left += std::to_string(h) + " ";
    } while (s.Next() == 0);
    EXPECT_EQ(left, "8 11 12 ");
}

TEST(ScheduleClose, PacksOnlyWhenADeletionAskedForIt) {
    ScratchDir dir;
    const std::string group = dir.file("Courts.rec");
    const std::string path = dbf(dir, "COURTS");
    {
        CSchedule s;
        ASSERT_EQ(s.Create(group), 0);
        for (int d = 1; d <= 6; ++d) {
            fill(s, 2026, 1, d, "Court 1", 9, 0, 10, 0);
            ASSERT_EQ(s.Add(), 0);
        }
        s.Close();
    }
    long full = tables_test::fileSize(path);
    {
        // Cancellations: marked, left in the file.
        CSchedule s;
        ASSERT_EQ(s.Open(group), 0);
        ASSERT_EQ(s.Seek("20260102", "Court 1", "09", "00"), 0);
        ASSERT_EQ(s.Delete(false), 0);
        ASSERT_EQ(s.Seek("20260103", "Court 1", "09", "00"), 0);
        ASSERT_EQ(s.Delete(false), 0);
        s.Close();
    }
    EXPECT_EQ(tables_test::fileSize(path), full);
    EXPECT_EQ(tables_test::recordBytes(path, 2)[0], '*');
    {
        // A purge: the records go, the file shrinks and the tag is rebuilt.
        CSchedule s;
        ASSERT_EQ(s.Open(group), 0);
        ASSERT_EQ(s.First(), 0);
        ASSERT_EQ(s.Delete(true), 0);  // January 1st
        s.Close();
    }
    EXPECT_EQ(tables_test::fileSize(path), full - 3 * 242);
    Vask4 c;
    vask4init(&c);
    Data4* d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 3);
    std::string report;
    EXPECT_EQ(i4check(d, &report), 0) << report;
    d4close(d);
    vask4initUndo(&c);
    CSchedule s;
    ASSERT_EQ(s.Open(group), 0);
    std::string days;
    ASSERT_EQ(s.First(), 0);
    do {
        int m, dd, y;
        s.GetDate(m, dd, y);
        days += std::to_string(dd) + " ";
    } while (s.Next() == 0);
    EXPECT_EQ(days, "4 5 6 ");
}

TEST(ScheduleClose, PackWaitsWhileAnotherUserHasTheTableOpen) {
    ScratchDir dir;
    const std::string group = dir.file("Courts.rec");
    CSchedule mine, theirs;
    ASSERT_EQ(mine.Create(group), 0);
    for (int d = 1; d <= 3; ++d) {
        fill(mine, 2026, 1, d, "Court 1", 9, 0, 10, 0);
        ASSERT_EQ(mine.Add(), 0);
    }
    ASSERT_EQ(theirs.Open(group), 0);
    ASSERT_EQ(mine.First(), 0);
    ASSERT_EQ(mine.Delete(true), 0);
    long size = tables_test::fileSize(dbf(dir, "COURTS"));
    mine.Close();  // the exclusive reopen is refused: nothing is packed, nothing is lost
    EXPECT_EQ(tables_test::fileSize(dbf(dir, "COURTS")), size);
    ASSERT_EQ(theirs.First(), 0);
    int m, d, y;
    theirs.GetDate(m, d, y);
    EXPECT_EQ(d, 2);
    theirs.Close();
    // A later close with a pack request does it.
    ASSERT_EQ(mine.Open(group), 0);
    ASSERT_EQ(mine.First(), 0);
    ASSERT_EQ(mine.Delete(true), 0);
    mine.Close();
    EXPECT_EQ(tables_test::fileSize(dbf(dir, "COURTS")), size - 2 * 242);
}

TEST(ScheduleLayout, NineteenFieldTableOpensWithoutOrganization) {
    ScratchDir dir;
    const std::string path = dir.file("OLD");
    {
        Vask4 c;
        vask4init(&c);
        Field4info f(c);
        const char* names[] = {"DATE",      "ROOMNAME", "STARTHH",   "STARTMM",  "ENDHH",
                               "ENDMM",     "LASTNAME", "FIRSTNAME", "MI",       "PHONE",
                               "EXT",       "NOTES",    "DATEMADE",  "TIMEMADE", "RECURDAYS",
                               "RECURDATE", "TYPEFLAG", "RESKEPT",   "FLAG1"};
        const int widths[] = {8, 20, 2, 2, 2, 2, 21, 16, 2, 15, 6, 80, 8, 4, 3, 8, 1, 1, 1};
        for (int i = 0; i < 19; ++i) f.add(names[i], i == 17 ? 'L' : 'C', widths[i]);
        Tag4info t(c);
        t.add("SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 20, 0);
        Data4* d = d4create(&c, path.c_str(), f.fields(), t.tags());
        ASSERT_NE(d, nullptr);
        d4appendStart(d, 0);
        d4blank(d);
        d4field(d, "DATE")->assign("20251224");
        d4field(d, "ROOMNAME")->assign("Rink");
        d4field(d, "STARTHH")->assign("18");
        d4field(d, "STARTMM")->assign("00");
        d4field(d, "LASTNAME")->assign("Frost");
        ASSERT_EQ(d4append(d), 0);
        d4close(d);
        vask4initUndo(&c);
    }
    CSchedule s;
    ASSERT_EQ(s.Open(dir.file("Old.rec")), 0) << "the stem is upper-cased by the engine";
    EXPECT_TRUE(s.HasNoOrg());
    ASSERT_EQ(s.Seek("20251224", "Rink", "18", "00"), 0);
    std::string f, mi, last, ph, ext, org;
    s.GetNames(f, mi, last, ph, ext, org);
    EXPECT_EQ(last, "Frost");
    EXPECT_EQ(org, "");
    fill(s, 2025, 12, 25, "Rink", 18, 0, 19, 0, "Snow");  // with an organization in memory
    ASSERT_EQ(s.Add(), 0);
    s.Close();
    std::string r = tables_test::recordBytes(dir.file("OLD.DBF"), 2);
    EXPECT_EQ(r.size(), 203u);
    EXPECT_EQ(r.substr(1, 8), "20251225");
    EXPECT_EQ(r.substr(200, 3), "0T0");  // TYPEFLAG, RESKEPT, FLAG1: nothing after them
}

TEST(ScheduleLayout, OtherLayoutsAreRefusedAtOpen) {
    struct Case {
        const char* what;
        int skipField;    // index of a field left out, -1 none
        int widenField;   // index of a field made one wider, -1 none
        const char* tag;  // tag name created
    };
    const Case cases[] = {
        {"missing LASTNAME", 6, -1, "SCHEDTAG"},
        {"ROOMNAME 21 wide", -1, 1, "SCHEDTAG"},
        {"no SCHEDTAG", -1, -1, "OTHERTAG"},
        {"twenty fields without ORG", -2, -1, "SCHEDTAG"},
    };
    const char* names[] = {"DATE",      "ROOMNAME", "STARTHH",   "STARTMM",  "ENDHH",
                           "ENDMM",     "LASTNAME", "FIRSTNAME", "MI",       "PHONE",
                           "EXT",       "NOTES",    "DATEMADE",  "TIMEMADE", "RECURDAYS",
                           "RECURDATE", "TYPEFLAG", "RESKEPT",   "FLAG1",    "ORG"};
    const int widths[] = {8, 20, 2, 2, 2, 2, 21, 16, 2, 15, 6, 80, 8, 4, 3, 8, 1, 1, 1, 39};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ScratchDir dir;
        {
            Vask4 c;
            vask4init(&c);
            Field4info f(c);
            for (int i = 0; i < 20; ++i) {
                if (i == k.skipField) continue;
                if (k.skipField == -2 && i == 19) {
                    f.add("SPARE", 'C', 39);
                    continue;
                }
                f.add(names[i], i == 17 ? 'L' : 'C', widths[i] + (i == k.widenField ? 1 : 0));
            }
            Tag4info t(c);
            t.add(k.tag, "DATE+STARTHH", ".NOT. DELETED()", 20, 0);
            Data4* d = d4create(&c, dir.file("G").c_str(), f.fields(), t.tags());
            ASSERT_NE(d, nullptr);
            d4close(d);
            vask4initUndo(&c);
        }
        CSchedule s;
        EXPECT_NE(s.Open(dir.file("G.rec")), 0);
        EXPECT_FALSE(s.IsOpen());
        EXPECT_NE(s.First(), 0);
        // The context starts over: a good table opens with the same object afterwards.
        CSchedule good;
        ASSERT_EQ(good.Create(dir.file("Good.rec")), 0);
        good.Close();
        EXPECT_EQ(s.Open(dir.file("Good.rec")), 0);
    }
}

TEST(ScheduleWalk, NextWithoutACurrentRecordEndsTheWalk) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    EXPECT_EQ(s.Next(), 3);  // nothing read yet
    EXPECT_EQ(s.First(), 3);
    fill(s, 2026, 1, 1, "Court 1", 9, 0, 10, 0);
    ASSERT_EQ(s.Add(), 0);
    fill(s, 2026, 1, 1, "Court 1", 9, 0, 10, 0);
    EXPECT_EQ(s.Add(), 20);
    EXPECT_EQ(s.Next(), 3);  // after a refused append
    ASSERT_EQ(s.First(), 0);
    EXPECT_EQ(s.Next(), 3);
}

TEST(ScheduleWalk, GoToARecordThatIsGoneLeavesTheTableUsable) {
    ScratchDir dir;
    CSchedule s;
    ASSERT_EQ(s.Create(dir.file("Courts.rec")), 0);
    fill(s, 2026, 1, 1, "Court 1", 9, 0, 10, 0, "Kept");
    ASSERT_EQ(s.Add(), 0);
    ASSERT_EQ(s.First(), 0);
    // A list coming back to a row another user's pack took away.
    EXPECT_NE(s.GoTo(40), 0);
    std::string f, mi, last, ph, ext, org;
    s.GetNames(f, mi, last, ph, ext, org);
    EXPECT_EQ(last, "Kept");  // the current reservation is as it was
    EXPECT_EQ(s.First(), 0);
    fill(s, 2026, 1, 2, "Court 1", 9, 0, 10, 0, "Next");
    EXPECT_EQ(s.Add(), 0);
}
