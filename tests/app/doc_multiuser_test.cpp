// The group document on the real tables, with other users as real processes sharing the
// folder: concurrent facility additions, a facility deleted by another user, another user's
// booking of today reaching this window at the next minute tick, and the purge at close that
// packs only when nobody else has the table open. Also damaged and missing tables.
#ifdef QUORVANE_HAVE_TABLES
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <cstring>

#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "group/ChangeStamp.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "engine/io4.h"
#include "shell_fakes.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace quorvane {
namespace {

class MultiUserTest : public testing::ShellTest {
protected:
    FixedClock clock{Clock::fromLocal(2024, 3, 15, 9, 30, 0)};
    void SetUp() override {
        ShellTest::SetUp();
        setGroupTablesFactory({});  // the engine's tables
        setAppClock(&clock);
    }
    void TearDown() override {
        setAppClock(nullptr);
        ShellTest::TearDown();
    }

    // A group as the program creates it: its tables and group file, facilities added.
    QString makeGroup(const QString& name, const std::vector<QByteArray>& facilities) {
        const QString file = writeGroup(name, "Tennis Courts", "", facilities);
        const std::string p = file.toStdString();
        CSchedule s;
        EXPECT_EQ(s.Create(p), 0);
        s.Close();
        CPeople people;
        if (people.Open(p) != 0) {
            EXPECT_EQ(people.Create(p), 0);
            CMaintenance m;
            EXPECT_EQ(m.Create(p), 0);
            m.Close();
        }
        people.Close();
        return file;
    }
    static void book(const QString& group, int y, int mo, int d, const std::string& facility,
                     int sh, int sm, int eh, int em, const std::string& last) {
        CSchedule s;
        ASSERT_EQ(s.Open(group.toStdString()), 0);
        s.Clear();
        s.SetDate(mo, d, y);
        s.SetFacility(facility);
        s.SetStart(sh, sm);
        s.SetEnd(eh, em);
        s.SetNames("", "", last, "", "", "");
        ASSERT_EQ(s.LockAppend(), 0);
        ASSERT_EQ(s.Add(), 0);
        s.Unlock();
        s.Close();
    }
    // The record count in the data file's header, deleted records included.
    long recordsInFile(const QString& stem) const {
        for (const QFileInfo& f : QDir(dir.path()).entryInfoList(QDir::Files)) {
            if (f.fileName().compare(stem + ".dbf", Qt::CaseInsensitive) != 0) continue;
            QByteArray b = readAll(f.absoluteFilePath());
            if (b.size() < 8) return -1;
            std::uint32_t n;
            std::memcpy(&n, b.constData() + 4, 4);
            return long(n);
        }
        return -1;
    }
    static std::vector<std::string> names(const GroupFile& g) {
        std::vector<std::string> out;
        for (int i = 0; i < g.count; ++i) out.push_back(g.rooms[std::size_t(i)].name);
        return out;
    }
    // Runs `body` in a child process; its exit status (0 when the body returned true).
    static pid_t spawn(const std::function<bool()>& body) {
        const pid_t pid = fork();
        if (pid == 0) _exit(body() ? 0 : 1);
        return pid;
    }
    static int waitFor(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    }
};

TEST_F(MultiUserTest, TwoUsersAddingFacilitiesAtOnceLoseNothing) {
    const QString a = makeGroup("A.rec", {});
    const QString b = makeGroup("B.rec", {});
    auto adder = [&](const QString& file, const std::string& prefix) {
        return [file, prefix] {
            CZUKRecDoc doc;
            if (!doc.OnOpenDocument(file)) return false;
            for (int i = 0; i < 6; ++i)
                if (doc.addFacility(prefix + std::to_string(i), "", 0) !=
                    CZUKRecDoc::FacilityResult::Done)
                    return false;
            doc.OnCloseDocument();
            return true;
        };
    };
    const pid_t one = spawn(adder(a, "One "));
    const pid_t two = spawn(adder(a, "Two "));
    const pid_t three = spawn(adder(b, "Three "));
    EXPECT_EQ(waitFor(one), 0);
    EXPECT_EQ(waitFor(two), 0);
    EXPECT_EQ(waitFor(three), 0);
    GroupFile g;
    ASSERT_TRUE(loadGroupFile(a.toStdString(), g).ok());
    EXPECT_EQ(g.count, 12);
    for (int i = 0; i < 6; ++i) {
        EXPECT_GE(g.find("One " + std::to_string(i)), 0) << i;
        EXPECT_GE(g.find("Two " + std::to_string(i)), 0) << i;
    }
    ASSERT_TRUE(loadGroupFile(b.toStdString(), g).ok());
    EXPECT_EQ(g.count, 6);
}

TEST_F(MultiUserTest, AFacilityDeletedByAnotherUser) {
    const QString file = makeGroup("Courts.rec", {"A", "B", "C"});
    book(file, 2024, 3, 20, "B", 9, 0, 10, 0, "Smith");
    CZUKRecDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(file));
    const pid_t other = spawn([&] {
        CZUKRecDoc theirs;
        if (!theirs.OnOpenDocument(file)) return false;
        const bool ok = theirs.deleteFacility("B") == CZUKRecDoc::FacilityResult::Done;
        theirs.OnCloseDocument();
        return ok;
    });
    ASSERT_EQ(waitFor(other), 0);
    EXPECT_EQ(doc.facilityCount(), 3) << "not seen before a reload";
    EXPECT_EQ(doc.modifyFacility("B", "x", 0), CZUKRecDoc::FacilityResult::NotFound);
    EXPECT_EQ(promptTexts(),
              std::vector<QString>{
                  "Tennis Courts has been deleted by another user, update cannot be made"});
    prompter.shown.clear();
    EXPECT_EQ(doc.deleteFacility("B"), CZUKRecDoc::FacilityResult::NotFound);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(names(doc.group()), (std::vector<std::string>{"A", "C"}));
    // The other user's delete took the facility's reservations with it.
    CSchedule s;
    ASSERT_EQ(s.Open(file.toStdString()), 0);
    EXPECT_NE(s.First(), 0) << "no reservation left";
    s.Close();
    doc.OnCloseDocument();
}

TEST_F(MultiUserTest, AnotherProcessesBookingShowsAtTheNextTickOnlyWithRefresh) {
    const QString file = makeGroup("Courts.rec", {"A", "B"});
    CZUKRecDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(file));
    CZUKRecView view(&doc);
    view.preferences().refresh = false;
    view.initialUpdate();
    auto otherBooks = [&](const std::string& last, int sh) {
        const pid_t pid = spawn([&, last, sh] {
            book(file, 2024, 3, 15, "B", sh, 0, 11, 0, last);
            ChangeStamp stamp;
            if (!stamp.open(doc.stampPath().toStdString())) return false;
            clock.advance(7);  // the other user's own moment
            stamp.write();
            return true;
        });
        ASSERT_EQ(waitFor(pid), 0);
    };
    otherBooks("Jansen", 9);
    clock.advance(60);
    view.timerTick();
    EXPECT_EQ(doc.group().rooms[1].occupant1, "") << "refresh off";

    view.preferences().refresh = true;
    doc.setRefreshFromNetwork(true);
    clock.advance(60);
    view.timerTick();
    EXPECT_EQ(doc.group().rooms[1].occupant1, "Jansen") << "the first poll with refresh on";
    clock.advance(60);
    view.timerTick();
    EXPECT_EQ(doc.group().rooms[1].occupant1, "Jansen");
    otherBooks("Okafor", 8);
    clock.advance(60);
    view.timerTick();
    EXPECT_EQ(doc.group().rooms[1].occupant1, "Okafor") << "8:00 sorts before 9:00";
    doc.OnCloseDocument();
}

TEST_F(MultiUserTest, ThePurgeAtClosePacksOnlyWhenNobodyElseHasTheTable) {
    const QString file = makeGroup("Courts.rec", {"A"});
    book(file, 2024, 1, 1, "A", 9, 0, 10, 0, "Old");
    book(file, 2024, 2, 14, "A", 9, 0, 10, 0, "Kept");  // exactly 30 days back
    book(file, 2024, 2, 13, "A", 9, 0, 10, 0, "Older");
    ASSERT_EQ(recordsInFile("Courts"), 3);

    // Another user keeps the table open: the deletions stay in the file, silently.
    int go[2], ready[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = spawn([&] {
        CSchedule s;
        if (s.Open(file.toStdString()) != 0) return false;
        char c = 1;
        if (write(ready[1], &c, 1) != 1) return false;
        if (read(go[0], &c, 1) != 1) return false;
        s.Close();
        return true;
    });
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    {
        CZUKRecDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(file));
        doc.setDaysToKeep(30);
        doc.OnCloseDocument();
    }
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(recordsInFile("Courts"), 3) << "not packed while another user has it open";
    ASSERT_EQ(write(go[1], &c, 1), 1);
    ASSERT_EQ(waitFor(holder), 0);
    CSchedule s;
    ASSERT_EQ(s.Open(file.toStdString()), 0);
    ASSERT_EQ(s.First(), 0);
    std::string first, mi, last, phone, ext, org;
    s.GetNames(first, mi, last, phone, ext, org);
    EXPECT_EQ(last, "Kept");
    EXPECT_NE(s.Next(), 0) << "the purged ones are invisible";
    s.Close();

    // Alone, the next purge packs: a deletion in this opening asks for it.
    book(file, 2024, 1, 2, "A", 9, 0, 10, 0, "Old again");
    {
        CZUKRecDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(file));
        doc.setDaysToKeep(30);
        doc.OnCloseDocument();
    }
    EXPECT_EQ(recordsInFile("Courts"), 1);
}

TEST_F(MultiUserTest, DamagedOrMissingTablesGiveTheirMessagesAndNoGroup) {
    const QString file = makeGroup("Courts.rec", {"A"});
    for (const QFileInfo& f : QDir(dir.path()).entryInfoList(QDir::Files)) {
        if (f.fileName().compare("RecPeople.dbf", Qt::CaseInsensitive) == 0) {
            ASSERT_TRUE(QFile::remove(f.absoluteFilePath()));
        }
    }
    CZUKRecDoc doc;
    EXPECT_FALSE(doc.OnOpenDocument(file));
    EXPECT_EQ(promptTexts(),
              std::vector<QString>{"The files RecPeople.dbf and RecPeople.idx cannot be found or "
                                   "are damaged, please recover from backup"});
    EXPECT_TRUE(doc.groupFilePath().isEmpty());

    const QString other = makeGroup("sub/Pools.rec", {"P"});
    for (const QFileInfo& f : QDir(path("sub")).entryInfoList(QDir::Files))
        if (f.fileName().compare("Pools.dbf", Qt::CaseInsensitive) == 0) {
            QFile out(f.absoluteFilePath());
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write("this is not a table");
        }
    prompter.shown.clear();
    CZUKRecDoc second;
    EXPECT_FALSE(second.OnOpenDocument(other));
    EXPECT_EQ(promptTexts(),
              std::vector<QString>{
                  "The File selected has been damaged, please recover all files from backup"});
    EXPECT_EQ(readAll(other), groupBytes("Tennis Courts", "", {"P"})) << "nothing lost";
}

TEST_F(MultiUserTest, AFullDiskRefusesTheNewGroupAndAnUnreadableStampNeverStopsAnOpen) {
    struct FullDisk final : Io4 {
        ssize_t pwrite(int, const void*, size_t, off_t) override {
            errno = ENOSPC;
            return -1;
        }
    } full;
    dialogs.newGroupAnswers = {NewGroupChoice{"Pools", ""}};
    dialogs.fileAnswers = {path("Pools.rec")};
    Io4* previous = io4set(&full);
    CZUKRecDoc doc;
    const bool created = doc.OnNewDocument();
    io4set(previous);
    EXPECT_FALSE(created);
    EXPECT_FALSE(promptTexts().empty());
    EXPECT_FALSE(QFileInfo::exists(path("Pools.rec")));

    // A stamp that is a folder cannot be opened: the group opens all the same.
    const QString file = makeGroup("Courts.rec", {"A"});
    ASSERT_TRUE(QDir().mkpath(path("CourtsUpdate.bin")));
    prompter.shown.clear();
    CZUKRecDoc open;
    EXPECT_TRUE(open.OnOpenDocument(file));
    EXPECT_FALSE(open.changeStamp().isOpen());
    EXPECT_FALSE(open.checkChangeStamp());
    EXPECT_TRUE(prompter.shown.empty());
    open.OnCloseDocument();
}

TEST_F(MultiUserTest, NewGroupInAReadOnlyFolderIsRefusedWithAMessage) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    QDir().mkpath(path("ro"));
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::ExeOwner);
    dialogs.newGroupAnswers = {NewGroupChoice{"Pools", ""}};
    dialogs.fileAnswers = {path("ro/Pools.rec")};
    CZUKRecDoc doc;
    EXPECT_FALSE(doc.OnNewDocument());
    EXPECT_FALSE(promptTexts().empty());
    EXPECT_FALSE(QFileInfo::exists(path("ro/Pools.rec")));
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace quorvane
#endif
