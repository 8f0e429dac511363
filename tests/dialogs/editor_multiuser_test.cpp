// Customers changed by several users at once, each a real process on the shared folder: the
// same customer added twice at the same moment, a customer deleted between another user's
// chooser and OK, and a modify racing another user's change of the same customer's key.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "dialogs/EditorCommands.h"
#include "dialogs/EditorDialogs.h"
#include "editor_fixture.h"
#include "platform/Prompter.h"
#include "reservations/AddPersonDlg.h"

namespace quorvane {
namespace {

// Runs `work` in a child process with its own tables on `group`; its exit status.
template <class Work>
pid_t spawn(Work work) {
    const pid_t pid = fork();
    if (pid == 0) _exit(work());
    return pid;
}

int waitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The record count in the data file's header, deleted records included.
long recordsInFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[8] = {};
    if (!in.read(header, 8)) return -1;
    std::uint32_t n;
    std::memcpy(&n, header + 4, 4);
    return long(n);
}

PersonFields smith(const char* ext = "") {
    PersonFields f;
    f.first = "John";
    f.mi = "Q";
    f.last = "Smith";
    f.phone = "555-0100";
    f.ext = ext;
    return f;
}

class EditorMultiUserTest : public testing::EditorTables {
protected:
    RecordingPrompter prompter;
    void SetUp() override {
        EditorTables::SetUp();
        setAppPrompter(&prompter);
    }
    void TearDown() override {
        setAppPrompter(nullptr);
        EditorTables::TearDown();
    }
    // The customers' data file, whatever case the engine gave its name.
    std::string peopleFile() const {
        for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
            std::string name = e.path().filename().string();
            for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (name == "recpeople.dbf") return e.path().string();
        }
        return {};
    }
    std::vector<std::string> customers() {
        std::vector<RecordRow> rows;
        EXPECT_EQ(customerRows(people, rows), 0);
        return lines(rows);
    }
};

TEST_F(EditorMultiUserTest, TwoUsersAddingTheSameCustomerAtOnceStoreItOnce) {
    for (int round = 0; round < 6; ++round) {
        const PersonFields f = smith(std::to_string(round).c_str());
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        std::vector<pid_t> users;
        for (int u = 0; u < 2; ++u)
            users.push_back(spawn([&] {
                CPeople mine;
                if (mine.Open(group) != 0) return 90;
                char c;
                if (read(go[0], &c, 1) != 1) return 91;  // both start on the same signal
                const std::optional<Message> m = storePerson(mine, f, false);
                mine.Close();
                if (!m) return 0;
                return m->text == "A record for this customer already exists in the database" ? 20
                                                                                              : 92;
            }));
        close(go[0]);
        ASSERT_EQ(write(go[1], "ab", 2), 2);
        close(go[1]);
        std::vector<int> results{waitExit(users[0]), waitExit(users[1])};
        std::sort(results.begin(), results.end());
        EXPECT_EQ(results, (std::vector<int>{0, 20})) << "round " << round;
    }
    // Six customers, and no refused append left a record or a key behind.
    EXPECT_EQ(customers().size(), 6u);
    EXPECT_EQ(recordsInFile(peopleFile()), 6);
}

TEST_F(EditorMultiUserTest, ACustomerDeletedByAnotherUserBeforeOkCannotBeActedOn) {
    addPerson({"John", "Q", "Smith", "555-0100", "", ""});
    addPerson({"Anna", "B", "Jansen", "555-0101", "", ""});
    for (int mode : {kModifyMode, kDeleteMode, kListMode}) {
        const auto chooser = customerChooser(people, schedule, mode);
        ASSERT_EQ(chooser->rows().size(), 2u);
        const long victim = chooser->rows()[1].record;
        EXPECT_EQ(waitExit(spawn([&] {
                      CPeople other;
                      if (other.Open(group) != 0) return 90;
                      const int r = deleteCustomer(other, victim);
                      other.Close();
                      return r == 0 ? 0 : 91;
                  })),
                  0);
        prompter.shown.clear();
        editor::selectRow(chooser->list(), 1);
        EXPECT_FALSE(chooser->choose()) << mode;
        ASSERT_EQ(prompter.shown.size(), 1u) << mode;
        EXPECT_EQ(prompter.shown[0].text, "Could not read selected customer from database");
        EXPECT_EQ(prompter.shown[0].caption, "Database Error");
        addPerson({"John", "Q", "Smith", "555-0100", "", ""});  // back for the next mode
    }
    // The customer editor, opened before the deletion, does not bring the customer back.
    std::vector<RecordRow> rows;
    ASSERT_EQ(customerRows(people, rows), 0);
    const long rec = rows[1].record;
    ASSERT_EQ(deleteCustomer(people, rec), 0);
    EXPECT_EQ(storePerson(people, smith("7"), true, rec)->text,
              "Could not read selected customer from database");
    EXPECT_EQ(customers(), (std::vector<std::string>{"555-0101         \tJansen, Anna B  \t"}));
}

TEST_F(EditorMultiUserTest, AModifyRacingAnotherUsersKeyChangeLosesNobody) {
    const long rec = addPerson({"John", "Q", "Smith", "555-0100", "", ""});
    // This user opened Smith in the editor. Meanwhile another user moved Smith to a new
    // phone, and a third added a new customer under the key Smith had.
    const int other = waitExit(spawn([&] {
        CPeople mine;
        if (mine.Open(group) != 0) return 90;
        PersonFields moved = smith();
        moved.phone = "555-0199";
        if (storePerson(mine, moved, true, rec)) return 91;
        if (storePerson(mine, smith(), false)) return 92;
        mine.Close();
        return 0;
    }));
    ASSERT_EQ(other, 0);
    // This user now stores Smith with an extension. The record chosen takes it; the new
    // customer under the old key stays.
    ASSERT_FALSE(storePerson(people, smith("9"), true, rec));
    EXPECT_EQ(customers(), (std::vector<std::string>{"555-0100         \tSmith, John Q  \t",
                                                     "555-0100 x-9     \tSmith, John Q  \t"}));
    ASSERT_EQ(people.GoTo(rec), 0);
    std::string phone, ext;
    people.GetPhone(phone, ext);
    EXPECT_EQ(phone + "/" + ext, "555-0100/9");
}

TEST_F(EditorMultiUserTest, ACarriedChangeTakesTheBookingAnotherUserMadeMeanwhile) {
    // Another desk is booking for Anna under her old phone when this user carries the change:
    // the carry waits for its lock, finds that booking under it, and changes it too.
    const testing::Person anna{"Anna", "B", "Jansen", "555-0101", "", ""};
    book({2026, 3, 10}, "Court 1", 9, anna);
    book({2026, 3, 11}, "Court 1", 9, anna);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t other = spawn([&] {
        CSchedule theirs;
        if (theirs.Open(group) != 0 || theirs.LockAppend() != 0) return 90;
        if (write(ready[1], "x", 1) != 1) return 91;
        usleep(300 * 1000);  // the carry below is waiting for the lock by now
        theirs.Clear();
        theirs.SetDate(3, 12, 2026);
        theirs.SetFacility("Court 2");
        theirs.SetStart(9, 0);
        theirs.SetEnd(10, 0);
        theirs.SetNames("Anna", "B", "Jansen", "555-0101", "", "");
        if (theirs.Add() != 0) return 92;
        theirs.Unlock();
        return 0;
    });
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const CustomerCopy before{"Anna", "B", "Jansen", "555-0101", "", ""};
    CustomerCopy after = before;
    after.phone = "555-0111";
    const CarryResult r = carryCustomerChange(schedule, before, after, {2026, 3, 10});
    EXPECT_EQ(waitExit(other), 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.changed, 3);
    long left = -1;
    ASSERT_EQ(countCustomerReservations(schedule, before, {2026, 3, 10}, left), 0);
    EXPECT_EQ(left, 0);
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
}  // namespace quorvane
