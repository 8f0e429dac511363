// The editors' rules on real tables without widgets: chooser lines and picks, deletions that
// keep reservations, the maintenance editor's stores and renames, the reservation walks of a
// customer and an item, a listed reservation's detail and its notes.
#include <gtest/gtest.h>

#include <filesystem>

#include "editor_fixture.h"

namespace quorvane {
namespace {

using testing::EditorTables;
using testing::Person;

const Person kAnna{"Anna", "B", "Jansen", "555-0101", "12", ""};
const DayDate kToday{2026, 3, 10};

TEST(CustomerLine, PhoneExtensionOrganizationAndInitial) {
    struct Case {
        Person p;
        std::string line;
    } cases[] = {
        {{"John", "Q", "Smith", "555-0100", "", ""}, "555-0100         \tSmith, John Q  \t"},
        {{"John", "", "Smith", "555-0100", "", "Parks Club"},
         "555-0100         \tSmith, John   \t(Parks Club)"},
        {{"Ann", "C", "Lee", "555-0100", "4471", ""}, "555-0100 x-4471  \tLee, Ann C  \t"},
        // A phone of 15 characters and an extension outgrow the column; nothing is cut but
        // the phone itself, to 15.
        {{"Ann", "C", "Lee", "+31 20 5550 1234 99", "123456", ""},
         "+31 20 5550 123 x-123456 \tLee, Ann C  \t"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(customerLine(c.p.phone, c.p.ext, c.p.last, c.p.first, c.p.mi, c.p.org), c.line)
            << c.p.last;
}

TEST(ChooserTitles, EveryMode) {
    const char* customers[] = {"Select Customer to Modify", "Select Customer to Delete",
                               "Select Customer Whose Reservations You Want to See",
                               "List of Customers in this Group"};
    const char* items[] = {"Select Maintenance Item to Modify", "Select Maintenance Item to Delete",
                           "Select Maintenance Item Whose Reservations You Want to See",
                           "List of Maintenance Items in this Group"};
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_EQ(customerChooserTitle(mode), customers[mode]);
        EXPECT_EQ(maintenanceChooserTitle(mode), items[mode]);
    }
}

class EditorCoreTest : public EditorTables {};

TEST_F(EditorCoreTest, CustomersListInKeyOrderAndTheExtensionMakesAKeyUnique) {
    ASSERT_GT(addPerson({"John", "Q", "Smith", "555-0100", "", ""}), 0);
    ASSERT_GT(addPerson({"Anna", "", "Jansen", "555-0101", "", "Club"}), 0);
    // The same five texts are refused; another extension is a customer of its own.
    EXPECT_EQ(addPerson({"John", "Q", "Smith", "555-0100", "", ""}), -20);
    ASSERT_GT(addPerson({"John", "Q", "Smith", "555-0100", "7", ""}), 0);
    std::vector<RecordRow> rows;
    ASSERT_EQ(customerRows(people, rows), 0);
    EXPECT_EQ(lines(rows), (std::vector<std::string>{
                               "555-0101         \tJansen, Anna   \t(Club)",
                               "555-0100         \tSmith, John Q  \t",
                               "555-0100 x-7     \tSmith, John Q  \t",
                           }));
    EXPECT_EQ(rows[0].record, 2);
    EXPECT_EQ(rows[2].record, 3);
}

TEST_F(EditorCoreTest, PickingFindsTheListedRecordOrSaysWhyNot) {
    const long smith = addPerson({"John", "Q", "Smith", "555-0100", "", ""});
    addPerson(kAnna);
    std::vector<RecordRow> rows;
    ASSERT_EQ(customerRows(people, rows), 0);
    EXPECT_EQ(pickCustomer(people, rows, -1),
              (Message{"A customer must be selected", "No Customer Selected"}));
    people.First();  // the table's current customer is elsewhere
    ASSERT_FALSE(pickCustomer(people, rows, 1));
    EXPECT_EQ(people.GetRecordNumber(), smith);
    // Deleted after the list was read (by this user or another).
    ASSERT_EQ(deleteCustomer(people, smith), 0);
    EXPECT_EQ(pickCustomer(people, rows, 1),
              (Message{"Could not read selected customer from database", "Database Error"}));
    EXPECT_EQ(deleteCustomer(people, smith), 0);  // already gone: nothing more happens
    ASSERT_EQ(customerRows(people, rows), 0);
    EXPECT_EQ(rows.size(), 1u);
}

TEST_F(EditorCoreTest, ACustomersListStartsTodayMatchesNameAndPhoneButNotTheExtension) {
    const long a = book({2026, 3, 10}, "Court 2", 9, kAnna);
    const long b = book({2026, 3, 10}, "Court 1", 13, kAnna, "bring balls");
    book({2026, 3, 9}, "Court 1", 9, kAnna);  // yesterday
    Person otherExt = kAnna;
    otherExt.ext = "99";
    const long c = book({2026, 3, 12}, "Court 3", 0, otherExt);
    Person otherPhone = kAnna, otherMi = kAnna;
    otherPhone.phone = "555-0102";
    otherMi.mi = "C";
    book({2026, 3, 11}, "Court 1", 9, otherPhone);
    book({2026, 3, 11}, "Court 2", 9, otherMi);
    bookItem({2026, 3, 11}, "Court 3", 9, "Jansen");

    std::vector<ReservationRow> rows;
    ASSERT_EQ(customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, kToday, rows), 0);
    EXPECT_EQ(rows, (std::vector<ReservationRow>{
                        {"03/10/2026   01:00 PM   02:00 PM \tCourt 1   (Note)", b, "Court 1"},
                        {"03/10/2026   09:00 AM   10:00 AM \tCourt 2   ", a, "Court 2"},
                        {"03/12/2026   00:00 AM   01:00 AM \tCourt 3   ", c, "Court 3"},
                    }));
    // Nothing from a date after the last booking; nothing in an empty table's walk either.
    ASSERT_EQ(
        customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, {2026, 3, 13}, rows),
        0);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(customerReservationsTitle({"Anna", "B", "Jansen", "555-0101"}),
              "List of Reservations for Jansen, Anna B");
}

TEST_F(EditorCoreTest, ADeletedCustomersReservationsStayInTheTable) {
    addPerson(kAnna);
    book({2026, 3, 11}, "Court 1", 9, kAnna);
    std::vector<RecordRow> chooser;
    ASSERT_EQ(customerRows(people, chooser), 0);
    ASSERT_EQ(deleteCustomer(people, chooser[0].record), 0);
    ASSERT_EQ(customerRows(people, chooser), 0);
    EXPECT_TRUE(chooser.empty());
    std::vector<ReservationRow> rows;
    ASSERT_EQ(customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, kToday, rows), 0);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(schedule.GoTo(rows[0].record), 0);
    std::string first, mi, last, phone, ext, org;
    schedule.GetNames(first, mi, last, phone, ext, org);
    EXPECT_EQ(last + ", " + first, "Jansen, Anna");
}

// Who each reservation of the table is booked for: "last/first/mi/phone/ext/org".
std::vector<std::string> bookedFor(CSchedule& schedule) {
    std::vector<std::string> out;
    for (int r = schedule.First(); r == 0; r = schedule.Next()) {
        std::string first, mi, last, phone, ext, org;
        schedule.GetNames(first, mi, last, phone, ext, org);
        out.push_back(last + "/" + first + "/" + mi + "/" + phone + "/" + ext + "/" + org);
    }
    return out;
}

TEST_F(EditorCoreTest, AKeyChangeCarriesToTheCustomersReservationsFromTodayOnOnly) {
    const CustomerCopy anna{"Anna", "B", "Jansen", "555-0101", "12", "Club"};
    const Person annaP{"Anna", "B", "Jansen", "555-0101", "12", "Club"};
    book({2026, 3, 9}, "Court 1", 9, annaP);  // yesterday: what was booked stays
    book(kToday, "Court 1", 9, annaP);
    book({2026, 3, 12}, "Court 2", 9, {"Anna", "B", "Jansen", "555-0101", "12", "Old Club"});
    book({2026, 3, 12}, "Court 1", 9, {"Anna", "B", "Jansen", "555-0101", "7", ""});  // another key
    bookItem({2026, 3, 12}, "Court 3", 9, "Jansen");
    long count = 0;
    ASSERT_EQ(countCustomerReservations(schedule, anna, kToday, count), 0);
    EXPECT_EQ(count, 2);

    CustomerCopy moved = anna;
    moved.phone = "555-0111";
    moved.org = "New Club";
    const CarryResult r = carryCustomerChange(schedule, anna, moved, kToday);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.changed, 2);
    EXPECT_EQ(bookedFor(schedule), (std::vector<std::string>{
                                       "Jansen/Anna/B/555-0101/12/Club",
                                       "Jansen/Anna/B/555-0111/12/New Club",
                                       "Jansen/Anna/B/555-0101/7/",
                                       "Jansen/Anna/B/555-0111/12/New Club",
                                       "Jansen/////",
                                   }));
    std::vector<ReservationRow> rows;
    ASSERT_EQ(customerReservations(schedule, {"Anna", "B", "Jansen", "555-0111"}, kToday, rows), 0);
    EXPECT_EQ(rows.size(), 2u) << "the lists find them under the new phone";
    EXPECT_EQ(carryCustomerChange(schedule, anna, moved, kToday).changed, 0) << "nothing left";

    // The questions.
    EXPECT_FALSE(carryQuestion(anna, anna, 5));
    EXPECT_FALSE(carryQuestion(anna, moved, 0));
    EXPECT_EQ(carryQuestion(anna, moved, 1)->substr(0, 48),
              "This customer has 1 reservation from today on, b");
    EXPECT_EQ(deleteCustomerQuestion(0), "Are you sure you want to delete this customer?");
    EXPECT_EQ(deleteCustomerQuestion(2650),
              "This customer has 2650 reservations from today on. They will stay booked.\n\n"
              "Are you sure you want to delete this customer?");
}

// Refuses the write number `failing` (from 1), as a full disk would for a moment.
struct OneFailingWrite final : Io4 {
    Io4* previous = io4set(this);
    int failing;
    explicit OneFailingWrite(int n) : failing(n) {}
    ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) override {
        if (--failing == 0) {
            errno = ENOSPC;
            return -1;
        }
        return previous->pwrite(fd, buf, n, at);
    }
    ~OneFailingWrite() override { io4set(previous); }
};

TEST_F(EditorCoreTest, ACarryThatFailsPartWayChangesNone) {
    const Person annaP{"Anna", "B", "Jansen", "555-0101", "", ""};
    for (int day = 10; day <= 14; ++day) book({2026, 3, day}, "Court 1", 9, annaP);
    const std::vector<std::string> before = bookedFor(schedule);
    const CustomerCopy anna{"Anna", "B", "Jansen", "555-0101", "", ""};
    CustomerCopy moved = anna;
    moved.last = "Jansen-Smit";
    CarryResult r;
    {
        OneFailingWrite disk(3);
        r = carryCustomerChange(schedule, anna, moved, kToday);
    }
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.changed, 0);
    EXPECT_EQ(bookedFor(schedule), before);
}

TEST_F(EditorCoreTest, AnItemsListHoldsItsNameFromTodayCustomersOfThatNameIncluded) {
    addItem("Mowing");
    const long m1 = bookItem({2026, 3, 11}, "Court 1", 6, "Mowing");
    bookItem({2026, 3, 1}, "Court 1", 6, "Mowing");       // past
    bookItem({2026, 3, 11}, "Court 2", 6, "Mowing Lot");  // another item, same beginning
    const long cust = book({2026, 3, 12}, "Court 1", 9, {"Pat", "", "Mowing", "555", "", ""});
    std::vector<ReservationRow> rows;
    ASSERT_EQ(maintenanceReservations(schedule, "Mowing", kToday, rows), 0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].record, m1);
    EXPECT_EQ(rows[1].record, cust);
    // Only past bookings: an empty list.
    bookItem({2026, 2, 1}, "Court 1", 6, "Paint");
    ASSERT_EQ(maintenanceReservations(schedule, "Paint", kToday, rows), 0);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(maintenanceReservationsTitle("Mowing"), "List of Reservations for Mowing");
}

TEST_F(EditorCoreTest, MaintenanceStoresRefusalsAndRenames) {
    EXPECT_EQ(checkMaintName({"", "x"}),
              (Message{"A name for the maintenance must be specified", "Name Error"}));
    EXPECT_FALSE(storeMaintenance(maintenance, {"Mowing", "front lawn"}, false));
    EXPECT_EQ(storeMaintenance(maintenance, {"Mowing", ""}, false),
              (Message{"A record for this maintenance item already exists in the database",
                       "Add Error"}));
    EXPECT_FALSE(storeMaintenance(maintenance, {"Mow", ""}, false));
    EXPECT_FALSE(storeMaintenance(maintenance, {"Paint", ""}, false));
    std::vector<RecordRow> rows;
    ASSERT_EQ(maintenanceRows(maintenance, rows), 0);
    ASSERT_EQ(lines(rows), (std::vector<std::string>{"Mow", "Mowing", "Paint"}));
    bookItem({2026, 3, 11}, "Court 1", 6, "Mow");

    // Renaming "Mow" leaves "Mowing", whose name merely begins with the old one, alone.
    EXPECT_FALSE(storeMaintenance(maintenance, {"Trim", "edges"}, true, rows[0].record));
    // A rename onto an existing name is refused and changes nothing.
    EXPECT_EQ(storeMaintenance(maintenance, {"Paint", ""}, true, rows[1].record)->text,
              "A record for this maintenance item already exists in the database");
    ASSERT_EQ(maintenanceRows(maintenance, rows), 0);
    EXPECT_EQ(lines(rows), (std::vector<std::string>{"Mowing", "Paint", "Trim"}));
    ASSERT_EQ(maintenance.GoTo(rows[2].record), 0);
    EXPECT_EQ(maintenance.GetNotes(), "edges");

    // The renamed item's bookings keep the old name and leave its list.
    std::vector<ReservationRow> res;
    ASSERT_EQ(maintenanceReservations(schedule, "Trim", kToday, res), 0);
    EXPECT_TRUE(res.empty());
    ASSERT_EQ(maintenanceReservations(schedule, "Mow", kToday, res), 0);
    EXPECT_EQ(res.size(), 1u);

    // An item deleted meanwhile cannot be modified.
    ASSERT_EQ(deleteMaintenance(maintenance, rows[1].record), 0);
    EXPECT_EQ(storeMaintenance(maintenance, {"Paint2", ""}, true, rows[1].record)->text,
              "Could not read selected maintenance item from database");
}

TEST_F(EditorCoreTest, TheLowerCaseItemChosenAmongUpperCaseOnesIsTheOneActedOn) {
    for (const char* name : {"Paint", "mowing", "Aerate", "Zamboni"}) addItem(name);
    std::vector<RecordRow> rows;
    ASSERT_EQ(maintenanceRows(maintenance, rows), 0);
    ASSERT_EQ(lines(rows), (std::vector<std::string>{"Aerate", "Paint", "Zamboni", "mowing"}));
    ASSERT_FALSE(pickMaintenance(maintenance, rows, 3));
    EXPECT_EQ(maintenance.GetName(), "mowing");
    ASSERT_EQ(deleteMaintenance(maintenance, rows[3].record), 0);
    ASSERT_EQ(maintenanceRows(maintenance, rows), 0);
    EXPECT_EQ(lines(rows), (std::vector<std::string>{"Aerate", "Paint", "Zamboni"}));
    EXPECT_EQ(pickMaintenance(maintenance, rows, -1),
              (Message{"A maintenance item must be selected", "No Maintenance Item Selected"}));
}

TEST_F(EditorCoreTest, ADetailIsReadAgainAndItsNotesLandOnTheReservationShown) {
    const long a = book({2026, 3, 11}, "Court 1", 12, kAnna, "old");
    const long other = book({2026, 3, 11}, "Court 2", 13, kAnna, "keep");
    std::vector<ReservationRow> rows;
    ASSERT_EQ(customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, kToday, rows), 0);
    ListedReservation shown;
    ASSERT_FALSE(readCustomerReservation(schedule, rows[0], shown));
    EXPECT_EQ(shown.detail.facility, "Court 1");
    EXPECT_EQ(shown.detail.date, "03/11/2026");
    EXPECT_EQ(shown.detail.start, "12:00 PM");
    EXPECT_EQ(shown.detail.end, "01:00 PM");
    EXPECT_EQ(shown.detail.reservedFor, "Jansen, Anna B");
    EXPECT_EQ(shown.detail.ext, "12");
    EXPECT_EQ(shown.detail.notes, "old");

    // While the detail is open the table moves on (the minute timer reads it).
    ASSERT_EQ(schedule.GoTo(other), 0);
    EXPECT_FALSE(writeListedNotes(schedule, shown, "old"));  // unchanged: nothing written
    EXPECT_TRUE(writeListedNotes(schedule, shown, "new"));
    ASSERT_EQ(schedule.GoTo(a), 0);
    EXPECT_EQ(schedule.GetNotes(), "new");
    ASSERT_EQ(schedule.GoTo(other), 0);
    EXPECT_EQ(schedule.GetNotes(), "keep");

    // Cancelled meanwhile: neither read nor written. The deletion is still only in the record
    // buffer (the next positioning call writes it); a list read now leaves it out all the same.
    ASSERT_EQ(schedule.GoTo(a), 0);
    ASSERT_EQ(schedule.Delete(false), 0);
    std::vector<ReservationRow> after;
    ASSERT_EQ(customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, kToday, after),
              0);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].record, other);
    ASSERT_EQ(schedule.GoTo(other), 0);
    EXPECT_FALSE(writeListedNotes(schedule, shown, "newer"));
    EXPECT_EQ(readCustomerReservation(schedule, rows[0], shown),
              (Message{"Could not read reservation detail", "Database Error"}));
}

TEST_F(EditorCoreTest, AnItemsDetailAndTheItemMissing) {
    addItem("Mowing");
    bookItem({2026, 3, 11}, "Court 1", 6, "Mow");
    bookItem({2026, 3, 11}, "Court 2", 6, "Mowing");
    std::vector<ReservationRow> rows;
    ASSERT_EQ(maintenanceReservations(schedule, "Mow", kToday, rows), 0);
    ListedReservation shown;
    ASSERT_FALSE(readMaintenanceReservation(schedule, rows[0], shown));
    EXPECT_EQ(shown.detail.reservedFor, "Mow");
    EXPECT_EQ(shown.detail.org, "");
    // "Mowing" only begins with "Mow": the item of the booking is missing.
    EXPECT_EQ(checkMaintenanceItem(maintenance, "Mow"),
              (Message{"Could not read maintenance item from database", "Database Error"}));
    EXPECT_FALSE(checkMaintenanceItem(maintenance, "Mowing"));
}

// The lists read the table in blocks; a step-by-step walk in key order is the reference.
TEST_F(EditorCoreTest, TheBlockReadListsEqualAStepByStepWalkAndLeaveTheCurrentRecord) {
    testing::NoSync fast;
    const Person names[] = {kAnna,
                            {"Anna", "B", "Jansen", "555-0101", "9", ""},
                            {"Bo", "", "Jansen", "555-0101", "", ""}};
    // Dates scattered over the record order, so the wanted records lie in short and long runs.
    for (int i = 0; i < 900; ++i) {
        const int day = (i * 37) % 60;
        // Day and court repeat together every 420 bookings; the hour tells those apart.
        book(addDays({2026, 2, 1}, day), "Court " + std::to_string(1 + i % 7), 6 + i / 420,
             names[(i / 3) % 3], i % 11 ? "" : "n");
    }
    const long current = 450;
    ASSERT_EQ(schedule.GoTo(current), 0);
    ASSERT_EQ(schedule.GoTo(current + 1), 0);
    ASSERT_EQ(schedule.Delete(false), 0);  // one live entry gone from the tag
    ASSERT_EQ(schedule.GoTo(current), 0);
    const std::string notesBefore = schedule.GetNotes();
    for (const DayDate& from :
         {DayDate{2026, 1, 1}, DayDate{2026, 2, 20}, DayDate{2026, 3, 31}, DayDate{2026, 4, 30}}) {
        std::vector<ReservationRow> expected;
        for (int r = schedule.Seek(dateKey(from), "", "", ""); r == 0; r = schedule.Next()) {
            std::string first, mi, last, phone, ext, org;
            schedule.GetNames(first, mi, last, phone, ext, org);
            if (first == "Anna" && mi == "B" && last == "Jansen" && phone == "555-0101")
                expected.push_back({listedReservationLine(schedule), schedule.GetRecordNumber(),
                                    schedule.GetFacility()});
        }
        ASSERT_EQ(schedule.GoTo(current), 0);
        std::vector<ReservationRow> rows;
        ASSERT_EQ(customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, from, rows),
                  0);
        EXPECT_EQ(rows, expected) << dateKey(from);
        // The table's current reservation is the one it was before the list was read: a
        // write after the walk lands on it with its own contents.
        EXPECT_EQ(schedule.GetRecordNumber(), current);
        EXPECT_EQ(schedule.GetNotes(), notesBefore);
    }
    schedule.SetNotes("after");
    ASSERT_EQ(schedule.Update(), 0);
    ASSERT_EQ(schedule.GoTo(current), 0);
    int sh, sm;
    schedule.GetStart(sh, sm);
    EXPECT_EQ(schedule.GetNotes(), "after");
    EXPECT_EQ(sh, 6 + int(current - 1) / 420);
}

TEST_F(EditorCoreTest, ACustomerTableCutShortListsWhatItHoldsAndSaysSo) {
    for (int i = 0; i < 20; ++i)
        addPerson({"Ann", "", "Last" + std::to_string(100 + i), "5", "", ""});
    people.Close();
    std::filesystem::path data;
    for (const auto& e : std::filesystem::directory_iterator(dir.path))
        if (e.path().filename() == "RECPEOPLE.DBF") data = e.path();
    ASSERT_FALSE(data.empty());
    // The last eight records gone, the header still counting twenty (a crash, a bad copy).
    std::filesystem::resize_file(data, std::filesystem::file_size(data) - 8 * 299 - 1);
    ASSERT_EQ(people.Open(group), 0);
    std::vector<RecordRow> rows;
    EXPECT_EQ(customerRows(people, rows), -70);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows.back().line, "5                \tLast111, Ann   \t");
}

TEST_F(EditorCoreTest, TenThousandCustomersAndEmptyTables) {
    std::vector<RecordRow> rows;
    ASSERT_EQ(customerRows(people, rows), 0);
    EXPECT_TRUE(rows.empty());
    ASSERT_EQ(maintenanceRows(maintenance, rows), 0);
    EXPECT_TRUE(rows.empty());
    std::vector<ReservationRow> res;
    EXPECT_EQ(customerReservations(schedule, {"A", "", "B", ""}, kToday, res), 0);
    EXPECT_TRUE(res.empty());
    testing::NoSync fast;
    for (int i = 9999; i >= 0; --i)
        ASSERT_GT(addPerson({"First", "", "Last" + std::to_string(100000 + i), "555", "", ""}), 0);
    ASSERT_EQ(customerRows(people, rows), 0);
    ASSERT_EQ(rows.size(), 10000u);
    EXPECT_EQ(rows.front().line, "555              \tLast100000, First   \t");
    EXPECT_EQ(rows.front().record, 10000);
    EXPECT_EQ(rows.back().record, 1);
}

}  // namespace
}  // namespace quorvane
