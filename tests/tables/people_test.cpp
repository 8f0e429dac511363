// The customer and maintenance tables: keys, uniqueness, stored forms, sharing in a folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/data4.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables_testutil.h"

using tables_test::ScratchDir;

namespace {

void person(CPeople& p, const std::string& first, const std::string& last,
            const std::string& phone) {
    p.Clear();
    p.SetName(first, "", last);
    p.SetPhone(phone, "");
}

std::vector<std::string> names(CMaintenance& m) {
    std::vector<std::string> out;
    if (m.First() != 0) return out;
    do out.push_back(m.GetName());
    while (m.Next() == 0);
    return out;
}

}  // namespace

TEST(People, SameNameDifferentPhonesBothStoredIdenticalRefused) {
    ScratchDir dir;
    CPeople p;
    ASSERT_EQ(p.Create(dir.file("Courts.rec")), 0);
    EXPECT_TRUE(tables_test::exists(dir.file("RECPEOPLE.DBF")));
    person(p, "John", "Smith", "555-0100");
    ASSERT_EQ(p.Add(), 0);
    person(p, "John", "Smith", "555-0199");
    ASSERT_EQ(p.Add(), 0);
    person(p, "John", "Smith", "555-0100");
    p.SetOrg("another club");  // not part of the key
    EXPECT_EQ(p.Add(), 20);
    EXPECT_EQ(tables_test::fileSize(dir.file("RECPEOPLE.DBF")), 32 * 14 + 33 + 2 * 299 + 1);

    // Seek by the exact five texts; a different phone misses and leaves the customer alone.
    ASSERT_EQ(p.Seek("John", "", "Smith", "555-0199", ""), 0);
    std::string phone, ext;
    p.GetPhone(phone, ext);
    EXPECT_EQ(phone, "555-0199");
    EXPECT_NE(p.Seek("John", "", "Smith", "555-0150", ""), 0);
    p.GetPhone(phone, ext);
    EXPECT_EQ(phone, "555-0199");
    // A shorter last name is not a prefix match: the key is padded field by field.
    EXPECT_NE(p.Seek("John", "", "Smit", "555-0199", ""), 0);

    CPeopleKey key;
    p.GetKey(key);
    EXPECT_TRUE(key.Matches("John", "", "Smith", "555-0199", ""));
    EXPECT_FALSE(key.Matches("John", "", "Smith", "555-0199", " "));
}

TEST(People, StateAndMoreInfoReadAsStoredOthersTrimmed) {
    ScratchDir dir;
    {
        CPeople p;
        ASSERT_EQ(p.Create(dir.file("Courts.rec")), 0);
        person(p, "Ann", "Lee", "555-0101");
        p.SetAddress("12 Elm St", "Fargo", "N", "58102");
        p.SetAltPhone("555-0102", "9");
        p.SetNotes("prefers mornings");
        ASSERT_EQ(p.Add(), 0);
        p.Close();
    }
    CPeople p;
    ASSERT_EQ(p.Open(dir.file("Other.rec")), 0);
    ASSERT_EQ(p.First(), 0);
    std::string address, city, state, zip, alt, altExt;
    p.GetAddress(address, city, state, zip);
    EXPECT_EQ(address, "12 Elm St");
    EXPECT_EQ(city, "Fargo");
    EXPECT_EQ(state, "N ");
    EXPECT_EQ(zip, "58102");
    p.GetAltPhone(alt, altExt);
    EXPECT_EQ(alt + "/" + altExt, "555-0102/9");
    EXPECT_EQ(p.GetMoreInfo(), std::string(20, ' '));
    EXPECT_EQ(p.GetNotes(), "prefers mornings");
    // A rewrite keeps the stored state as it was read.
    p.SetOrg("Lee Family");
    ASSERT_EQ(p.Update(), 0);
    std::string r = tables_test::recordBytes(dir.file("RECPEOPLE.DBF"), 1);
    EXPECT_EQ(r.substr(1 + 21 + 16 + 2 + 15 + 6 + 15 + 6, 10), "Lee Family");
    EXPECT_EQ(r.substr(1 + 21 + 16 + 2 + 15 + 6 + 15 + 6 + 39 + 39 + 25, 2), "N ");
}

TEST(People, DeleteWritesAtOnceAndPacksOnClose) {
    ScratchDir dir;
    const std::string group = dir.file("Courts.rec");
    CPeople p;
    ASSERT_EQ(p.Create(group), 0);
    person(p, "A", "Able", "1");
    ASSERT_EQ(p.Add(), 0);
    person(p, "B", "Baker", "2");
    ASSERT_EQ(p.Add(), 0);
    ASSERT_EQ(p.Seek("A", "", "Able", "1", ""), 0);
    ASSERT_EQ(p.Delete(true), 0);
    // Another user sees the deletion before anything else happens here.
    {
        CPeople other;
        ASSERT_EQ(other.Open(group), 0);
        ASSERT_EQ(other.First(), 0);
        std::string f, mi, last;
        other.GetName(f, mi, last);
        EXPECT_EQ(last, "Baker");
        EXPECT_EQ(tables_test::recordBytes(dir.file("RECPEOPLE.DBF"), 1)[0], '*');
    }
    p.Close();
    EXPECT_EQ(tables_test::fileSize(dir.file("RECPEOPLE.DBF")), 32 * 14 + 33 + 299 + 1);
}

TEST(People, WholeTableLockKeepsOtherUsersOut) {
    ScratchDir dir;
    const std::string group = dir.file("Courts.rec");
    CPeople mine;
    ASSERT_EQ(mine.Create(group), 0);
    Vask4 c;
    vask4init(&c);
    c.lockAttempts = 1;  // the other user asks once and does not wait
    Data4* theirs = d4open(&c, dir.file("RECPEOPLE").c_str());
    ASSERT_NE(theirs, nullptr);
    ASSERT_EQ(mine.LockAll(), 0);
    EXPECT_EQ(d4lockAll(theirs), 50);
    EXPECT_EQ(d4lockAppend(theirs), 50);
    ASSERT_EQ(mine.Unlock(), 0);
    EXPECT_EQ(d4lockAll(theirs), 0);
    d4unlock(theirs);
    d4close(theirs);
    vask4initUndo(&c);
}

TEST(Maintenance, PrefixSeekUniqueNamesZeroTimesAndNameOrder) {
    ScratchDir dir;
    CMaintenance m;
    ASSERT_EQ(m.Create(dir.file("Courts.rec")), 0);
    for (const char* n : {"Resurfacing", "Mowing", "Lining"}) {
        m.Clear();
        m.SetName(n);
        m.SetNotes(std::string("about ") + n);
        ASSERT_EQ(m.Add(), 0);
    }
    m.Clear();
    m.SetName("Mowing");
    EXPECT_EQ(m.Add(), 20);
    EXPECT_EQ(names(m), (std::vector<std::string>{"Lining", "Mowing", "Resurfacing"}));

    ASSERT_EQ(m.Seek("Mow"), 0);
    EXPECT_EQ(m.GetName(), "Mowing");
    EXPECT_EQ(m.GetNotes(), "about Mowing");
    EXPECT_EQ(m.Seek("Mox"), 2);
    EXPECT_EQ(m.GetName(), "Mowing");  // unchanged by the miss

    std::string r = tables_test::recordBytes(dir.file("RECMAINTENANCE.DBF"), 2);
    ASSERT_EQ(r.size(), 106u);
    EXPECT_EQ(r.substr(1 + 21 + 80, 4), "0000");
}

TEST(Maintenance, HourAndMinuteCarriedThroughRewrites) {
    ScratchDir dir;
    CMaintenance m;
    ASSERT_EQ(m.Create(dir.file("Courts.rec")), 0);
    m.Clear();
    m.SetName("Mowing");
    ASSERT_EQ(m.Add(), 0);
    m.Close();
    // Another program left 07:45 in the item.
    std::string path = dir.file("RECMAINTENANCE.DBF");
    std::vector<unsigned char> b = tables_test::readBytes(path);
    unsigned headerLen = b[8] | (b[9] << 8);
    const char hhmm[] = "0745";
    for (int i = 0; i < 4; ++i)
        b[headerLen + 1 + 21 + 80 + i] = static_cast<unsigned char>(hhmm[i]);
    tables_test::writeBytes(path, b);

    ASSERT_EQ(m.Open(dir.file("Courts.rec")), 0);
    ASSERT_EQ(m.Seek("Mowing"), 0);
    EXPECT_EQ(m.GetHour(), 7);
    EXPECT_EQ(m.GetMinute(), 45);
    m.SetNotes("twice a week");
    ASSERT_EQ(m.Update(), 0);
    EXPECT_EQ(tables_test::recordBytes(path, 1).substr(1 + 21 + 80, 4), "0745");
}

TEST(SharedFolder, TwoGroupsShareCustomersAndMaintenanceItems) {
    ScratchDir dir;
    CPeople p1, p2;
    CMaintenance m1, m2;
    ASSERT_EQ(p1.Create(dir.file("Tennis Courts.rec")), 0);
    ASSERT_EQ(m1.Create(dir.file("Tennis Courts.rec")), 0);
    ASSERT_EQ(p2.Open(dir.file("Pools.rec")), 0);
    ASSERT_EQ(m2.Open(dir.file("Pools.rec")), 0);
    // Creating them again for the second group fails: they exist already.
    CPeople p3;
    EXPECT_NE(p3.Create(dir.file("Fields.rec")), 0);

    person(p1, "Rosa", "Diaz", "555-0110");
    ASSERT_EQ(p1.Add(), 0);
    ASSERT_EQ(p2.Seek("Rosa", "", "Diaz", "555-0110", ""), 0);
    person(p2, "Rosa", "Diaz", "555-0110");
    EXPECT_EQ(p2.Add(), 20);  // the other group's copy sees the first one's customer

    m2.Clear();
    m2.SetName("Chlorine check");
    ASSERT_EQ(m2.Add(), 0);
    ASSERT_EQ(m1.Seek("Chlorine"), 0);
    EXPECT_EQ(m1.GetName(), "Chlorine check");
}

TEST(SharedFolder, LayoutChecksRefuseTheWrongTable) {
    ScratchDir dir;
    // A maintenance-shaped table under the customer name.
    {
        CMaintenance m;
        ASSERT_EQ(m.Create(dir.file("x.rec")), 0);
        m.Close();
    }
    ASSERT_EQ(::rename(dir.file("RECMAINTENANCE.DBF").c_str(), dir.file("RECPEOPLE.DBF").c_str()),
              0);
    ASSERT_EQ(::rename(dir.file("RECMAINTENANCE.CDX").c_str(), dir.file("RECPEOPLE.CDX").c_str()),
              0);
    CPeople p;
    EXPECT_NE(p.Open(dir.file("x.rec")), 0);
    EXPECT_FALSE(p.IsOpen());
    EXPECT_NE(p.First(), 0);
    // No table at all.
    CMaintenance m;
    EXPECT_NE(m.Open(dir.file("x.rec")), 0);
    EXPECT_FALSE(m.IsOpen());
}
