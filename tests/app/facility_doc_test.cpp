// The group document on tables held in memory: the create and open orders with their
// messages, the facility commands under the group lock, the window rectangle and the group
// information written over what is on disk, and the minute tick.
#include <gtest/gtest.h>

#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <deque>

#include <QCheckBox>
#include <QTest>
#include "app/ChildFrame.h"
#include "app/DocumentManager.h"
#include "app/GroupPrinting.h"
#include "app/Preferences.h"
#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "shell_fakes.h"
#include "view_fakes.h"

namespace quorvane {
namespace {

using testing::FakeReservation;
using testing::FakeTables;

class GroupDocTest : public testing::ShellTest {
protected:
    std::vector<FakeReservation> rows;
    std::vector<std::string> log;
    std::vector<std::string> failNext;
    FakeTables* last = nullptr;
    testing::ScriptedDialogs& groupDialogs = dialogs;  // the group window's answers
    FixedClock clock{Clock::fromLocal(2024, 3, 15, 9, 30, 0)};

    void SetUp() override {
        ShellTest::SetUp();
        setAppClock(&clock);
        setGroupTablesFactory([this] {
            auto t = std::make_unique<FakeTables>(&rows, &log);
            t->fail = failNext;
            last = t.get();
            return t;
        });
    }
    void TearDown() override {
        setGroupTablesFactory({});
        setAppClock(nullptr);
        ShellTest::TearDown();
    }
    std::unique_ptr<CZUKRecDoc> open(const QString& file) {
        auto doc = std::make_unique<CZUKRecDoc>();
        if (!doc->OnOpenDocument(file)) return nullptr;
        return doc;
    }
    GroupFile onDisk(const QString& file) {
        GroupFile g;
        EXPECT_TRUE(loadGroupFile(file.toStdString(), g).ok());
        return g;
    }
    // Another user's change of the group file.
    void otherUser(const QString& file, const std::function<void(GroupFile&)>& change) {
        GroupFile g = onDisk(file);
        change(g);
        ASSERT_TRUE(saveGroupFile(file.toStdString(), g).ok());
    }
    void otherUserRect(const QString& file, const GroupRect& r) {
        otherUser(file, [r](GroupFile& g) { g.window = r; });
    }
    static std::vector<std::string> names(const GroupFile& g) {
        std::vector<std::string> out;
        for (int i = 0; i < g.count; ++i) out.push_back(g.rooms[std::size_t(i)].name);
        return out;
    }
};

TEST_F(GroupDocTest, OpenRunsTablesInOrderAndEachFailureHasItsMessage) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"Court 1", "Court 2"});
    rows = {{"20240315", "Court 2", 9, 0, 10, 0, "Smith", "Club"},
            {"20240315", "Gone court", 9, 0, 10, 0, "Nobody", ""},
            {"20240314", "Court 1", 9, 0, 10, 0, "Yesterday", ""}};
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"openReservations", "openPeople", "openMaintenance"}));
    ASSERT_EQ(doc->dayList().size(), 1u) << "today only, known facilities only";
    EXPECT_EQ(doc->group().rooms[1].occupant1, "Smith");
    EXPECT_EQ(doc->todayKey(), "20240315");
    EXPECT_EQ(QFileInfo(doc->stampPath()).size(), 60) << "a missing stamp is created";
    doc->OnCloseDocument();
    EXPECT_EQ(
        std::vector<std::string>(log.end() - 3, log.end()),
        (std::vector<std::string>{"close:maintenance", "close:reservations", "close:people"}));

    struct Case {
        const char* fail;
        QString message;
    } cases[] = {
        {"openReservations",
         "The File selected has been damaged, please recover all files from backup"},
        {"openPeople",
         "The files RecPeople.dbf and RecPeople.idx cannot be found or are damaged, please recover "
         "from backup"},
        {"openMaintenance",
         "The files RecMaintenance.dbf and RecMaintenance.idx cannot be found or are damaged, "
         "please recover from backup"},
    };
    for (const Case& c : cases) {
        prompter.shown.clear();
        failNext = {c.fail};
        EXPECT_EQ(open(file), nullptr) << c.fail;
        ASSERT_EQ(promptTexts(), std::vector<QString>{c.message});
        EXPECT_EQ(prompter.shown[0].caption, "Quorvane");
    }
    EXPECT_EQ(log.back(), "close:reservations") << "what was opened is closed again";
    EXPECT_EQ(readAll(file), groupBytes("Tennis Courts", "", {"Court 1", "Court 2"}));
}

TEST_F(GroupDocTest, NewGroupOpensOrCreatesTheFolderTablesAndCleansUpOnFailure) {
    dialogs.newGroupAnswers = {NewGroupChoice{"Pools", ""}, NewGroupChoice{"Pools", ""},
                               NewGroupChoice{"Pools", ""}};
    dialogs.fileAnswers = {path("a.rec"), path("b.rec"), path("c.rec")};
    failNext = {"openPeople"};
    DocumentManager docs;
    CZUKRecDoc* doc = docs.newDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"createReservations", "openPeople", "close:people",
                                             "createPeople", "createMaintenance"}));
    EXPECT_TRUE(QFileInfo::exists(path("aUpdate.bin")));

    log.clear();
    failNext = {"openPeople", "createMaintenance"};
    EXPECT_EQ(docs.newDocument(), nullptr);
    EXPECT_EQ(promptTexts().back(),
              "Error creating people and maintenance files, disk possibly full?");
    EXPECT_FALSE(QFileInfo::exists(path("b.rec"))) << "no group file without its tables";

    failNext = {"openMaintenance"};
    EXPECT_EQ(docs.newDocument(), nullptr);
    EXPECT_EQ(promptTexts().back(),
              "The files RecMaintenance.dbf and RecMaintenance.idx cannot be found or are damaged, "
              "please recover from backup");
    EXPECT_FALSE(QFileInfo::exists(path("c.rec")));
    EXPECT_EQ(docs.documents().size(), 1);
}

TEST_F(GroupDocTest, AddGoesAfterOtherUsersFacilitiesAndRefusesASixteenth) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"Court 1", "Court 2"});
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CZUKRecView view(doc.get());
    log.clear();
    groupDialogs.beforeAnswer = [&] {
        otherUser(file, [](GroupFile& g) { g.rooms[g.count++].name = "Court 5"; });
    };
    groupDialogs.facilities = {FacilityAnswer{"court 1", "clay", 90}};
    view.addFacility();
    EXPECT_EQ(names(onDisk(file)),
              (std::vector<std::string>{"Court 1", "Court 2", "Court 5", "court 1"}));
    EXPECT_EQ(onDisk(file).rooms[3].defaultTime, 90u);
    EXPECT_EQ(log, (std::vector<std::string>{"lock", "unlock"}));

    // The other user fills the group while this one's dialog is open.
    log.clear();
    groupDialogs.beforeAnswer = [&] {
        otherUser(file, [](GroupFile& g) {
            for (; g.count < 15; ++g.count)
                g.rooms[std::size_t(g.count)].name = "X" + std::to_string(g.count);
        });
    };
    groupDialogs.facilities = {FacilityAnswer{"Court 9", "", 0}};
    view.addFacility();
    EXPECT_EQ(promptTexts().back(), "Maximum number of Tennis Courtss exist for this group");
    EXPECT_EQ(prompter.shown.back().caption, "Group Full");
    EXPECT_EQ(log, (std::vector<std::string>{"lock", "unlock"})) << "the lock is released";
    EXPECT_EQ(onDisk(file).count, 15);
    EXPECT_EQ(doc->facilityCount(), 15);

    // With 15 the command refuses before its dialog.
    groupDialogs.beforeAnswer = nullptr;
    groupDialogs.facilityInitial.clear();
    prompter.shown.clear();
    view.addFacility();
    EXPECT_TRUE(groupDialogs.facilityInitial.empty());
    EXPECT_EQ(promptTexts(),
              std::vector<QString>{"Maximum number of Tennis Courtss exist for this group"});
}

TEST_F(GroupDocTest, DeleteMovesTheRestUpAndThenRemovesTheReservations) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"A", "B", "C", "D"});
    rows = {{"20240315", "C", 9, 0, 10, 0, "Smith", ""},
            {"20240320", "B", 9, 0, 10, 0, "Jones", ""},
            {"20240315", "B", 9, 0, 10, 0, "Brown", ""}};
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->group().rooms[2].occupant1, "Smith");
    CZUKRecView view(doc.get());
    view.showFacilityMenu(1, QPoint(10, 10));
    ASSERT_NE(view.popupMenu(), nullptr);
    ASSERT_EQ(view.popupMenu()->actions().size(), 2);
    EXPECT_EQ(view.popupMenu()->actions()[0]->text(), "Delete B");
    EXPECT_EQ(view.popupMenu()->actions()[1]->text(), "Modify B");
    log.clear();
    view.deleteFacility();
    EXPECT_EQ(prompter.shown.back().text, "Are you sure you want to delete Tennis Courts B?");
    EXPECT_EQ(prompter.shown.back().caption, "Confirm Delete");
    const GroupFile g = onDisk(file);
    EXPECT_EQ(names(g), (std::vector<std::string>{"A", "C", "D"}));
    EXPECT_TRUE(doc->group().rooms[3].empty());
    EXPECT_EQ(doc->group().rooms[1].occupant1, "Smith") << "the occupant moved with its facility";
    EXPECT_EQ(log, (std::vector<std::string>{"lock", "unlock", "deleteFacility:B"}));
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(view.rightClickedIcon(), -1);

    // A facility another user deleted: nothing on delete, "Modify Error" on modify.
    view.showFacilityMenu(2, QPoint(10, 10));
    otherUser(file, [](GroupFile& g) {
        g.count = 2;
        g.rooms[2].clear();
    });
    prompter.shown.clear();
    log.clear();
    view.deleteFacility();
    EXPECT_EQ(prompter.shown.size(), 1u) << "only the confirmation";
    EXPECT_EQ(log, (std::vector<std::string>{"lock", "unlock"}));
    view.showFacilityMenu(1, QPoint(10, 10));
    otherUser(file, [](GroupFile& g) {
        g.count = 1;
        g.rooms[1].clear();
    });
    groupDialogs.facilities = {FacilityAnswer{"C", "new", 30}};
    view.modifyFacility();
    EXPECT_EQ(promptTexts().back(),
              "Tennis Courts has been deleted by another user, update cannot be made");
    EXPECT_EQ(prompter.shown.back().caption, "Modify Error");
    EXPECT_EQ(doc->facilityCount(), 1);
}

TEST_F(GroupDocTest, ClosingAndGroupEditsKeepOtherUsersFacilities) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"A"});
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CZUKRecView view(doc.get());
    otherUser(file, [](GroupFile& g) { g.rooms[g.count++].name = "B"; });
    groupDialogs.groups = {GroupAnswer{"pools", "East"}};
    view.modifyGroupInformation();
    GroupFile g = onDisk(file);
    EXPECT_EQ(names(g), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(g.typeName, "Pools");
    EXPECT_EQ(g.description, "East");
    EXPECT_EQ(doc->lowerTypeName(), "pools");

    otherUser(file, [](GroupFile& g) { g.rooms[g.count++].name = "C"; });
    EXPECT_TRUE(doc->saveWindowRect(GroupRect{10, 20, 610, 420}));
    g = onDisk(file);
    EXPECT_EQ(names(g), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(g.window, (GroupRect{10, 20, 610, 420}));
    // A group file damaged meanwhile is not overwritten.
    writeFile("Courts.rec", "junk");
    EXPECT_FALSE(doc->saveWindowRect(GroupRect{1, 2, 3, 4}));
    EXPECT_EQ(readAll(file), "junk");
}

TEST_F(GroupDocTest, MinuteTickReloadsAtMidnightAndOnOtherUsersStamps) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"A"});
    clock.set(Clock::fromLocal(2024, 3, 15, 23, 59, 50));
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CZUKRecView view(doc.get());
    view.preferences().refresh = false;
    view.initialUpdate();
    EXPECT_EQ(view.timerInterval(), 10000);
    EXPECT_TRUE(view.timerActive());
    const int loadsBefore = last->loads;
    rows = {{"20240316", "A", 0, 0, 1, 0, "Night owl", ""}};
    clock.set(Clock::fromLocal(2024, 3, 16, 0, 0, 0));
    view.timerTick();
    EXPECT_EQ(view.timerInterval(), 60000);
    EXPECT_EQ(view.todayKey(), "20240316");
    EXPECT_EQ(last->loads, loadsBefore + 1) << "the new day is loaded with refresh off";
    EXPECT_EQ(doc->group().rooms[0].occupant1, "Night owl");

    // Another process cancels that booking, writes another and the stamp: seen only with
    // refresh on.
    rows = {{"20240316", "A", 0, 0, 0, 2, "Early", ""}};
    ChangeStamp other;
    ASSERT_TRUE(other.open(doc->stampPath().toStdString()));
    clock.advance(60);
    other.write();
    view.timerTick();
    EXPECT_EQ(last->loads, loadsBefore + 1) << "refresh off: no reload";
    view.preferences().refresh = true;
    doc->setRefreshFromNetwork(true);
    view.timerTick();
    EXPECT_EQ(last->loads, loadsBefore + 2);
    EXPECT_EQ(doc->group().rooms[0].occupant1, "Early") << "the cancelled one is cleared";
    view.timerTick();
    EXPECT_EQ(last->loads, loadsBefore + 2) << "an unchanged stamp loads nothing";
}

TEST_F(GroupDocTest, ThePurgeAtCloseAndTheDeleteOldReservationsCommand) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"A"});
    rows = {{"20240214", "A", 9, 0, 10, 0, "Kept", ""},
            {"20240213", "A", 9, 0, 10, 0, "Old", ""},
            {"20240101", "A", 9, 0, 10, 0, "Older", ""},
            {"20240110", "A", 9, 0, 10, 0, "Oldest", ""}};
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CZUKRecView view(doc.get());
    view.preferences().deleteOldRes = -1;
    // Proposed 31 days back; confirmation; the count.
    groupDialogs.dates = {Clock::fromLocal(2024, 2, 1)};
    prompter.answers = {PromptResult::Yes};
    view.deleteOldReservations();
    ASSERT_EQ(groupDialogs.proposed.size(), 1u);
    EXPECT_EQ(groupDialogs.proposed[0], clock.now() - 31 * 86400);
    ASSERT_GE(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].text,
              "Are you sure you want to delete all reservations prior to 02/01/2024");
    EXPECT_EQ(prompter.shown[1].text, "2 schedule items deleted");
    EXPECT_EQ(prompter.shown[1].caption, "Items Deleted");
    prompter.shown.clear();
    groupDialogs.dates = {Clock::fromLocal(2024, 2, 1)};
    view.deleteOldReservations();
    EXPECT_EQ(promptTexts().back(), "No reservations found before 02/01/2024, nothing deleted");

    CDeleteRes dialog(Clock::fromLocal(2024, 3, 16, 8, 0));
    EXPECT_FALSE(dialog.validate()) << "tomorrow";
    EXPECT_EQ(promptTexts().back(), "The deletion date cannot be in the future");
    EXPECT_EQ(prompter.shown.back().caption, "Invalid Deletion Date");
    dialog.setDate(Clock::fromLocal(2024, 3, 15, 22, 0));
    EXPECT_TRUE(dialog.validate()) << "today";
    EXPECT_EQ(dialog.date(), Clock::fromLocal(2024, 3, 15));

    // Closing with 30 days to keep: silently, the booking exactly 30 days back stays.
    prompter.shown.clear();
    doc->setDaysToKeep(30);
    log.clear();
    doc->OnCloseDocument();
    EXPECT_EQ(log.front(), "deleteBefore:20240214");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].last, "Kept");
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(GroupDocTest, FacilityDialogRules) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"Court 1"});
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CAddRoomDlg add(*doc, false);
    EXPECT_EQ(add.windowTitle(), "Add Tennis Courts to Group");
    struct Case {
        const char* text;
        std::optional<std::uint32_t> minutes;
    } cases[] = {{"90", 90},    {"1:30", 90}, {":45", 45}, {"2:", 120},    {"1:60", {}},
                 {"24:00", {}}, {"abc", 0},   {"", 0},     {"1500", 1500}, {"25:00", {}}};
    for (const Case& c : cases) {
        prompter.shown.clear();
        add.setForm({"Court 2", QString::fromLatin1(c.text), ""});
        EXPECT_EQ(add.validate(), c.minutes.has_value()) << c.text;
        if (c.minutes)
            EXPECT_EQ(add.answer().defaultTime, *c.minutes) << c.text;
        else
            EXPECT_EQ(promptTexts(), std::vector<QString>{"Invalid default reservation time"})
                << c.text;
    }
    add.setForm({"Court 1", "", ""});
    EXPECT_FALSE(add.validate());
    EXPECT_EQ(promptTexts().back(), "A Tennis Courts with this name already exists");
    add.setForm({"", "", ""});
    EXPECT_FALSE(add.validate()) << "an empty name is an empty slot's name";
    add.setForm({"court 1", "", ""});
    EXPECT_TRUE(add.validate());

    CAddRoomDlg modify(*doc, true, {"Court 1", "clay", 1500});
    EXPECT_EQ(modify.windowTitle(), "Modify Tennis Courts");
    EXPECT_EQ(modify.form().defaultTime, "25:00");
    EXPECT_FALSE(modify.validate()) << "shown as 25:00, then refused";
    CAddRoomDlg ninety(*doc, true, {"Court 1", "", 90});
    EXPECT_EQ(ninety.form().defaultTime, " 1:30");
    EXPECT_TRUE(ninety.validate()) << "modify keeps its own name";
}

TEST_F(GroupDocTest, HitTestsUseTheWindowsOwnDrawingEvenAfterPrinting) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"A", "B", "C", "D"});
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CZUKRecView view(doc.get());
    view.resize(900, 600);
    view.grab();
    const auto rects = view.iconRects();
    ASSERT_FALSE(rects[3].isNull());
    EXPECT_EQ(view.hitTest(rects[3].center()), 3);
    EXPECT_EQ(view.hitTest(QPoint(rects[0].right() + 3, rects[0].center().y())), -1)
        << "between icons";
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, path("view.pdf"));
    ASSERT_TRUE(printGroup(*doc, printer));
    EXPECT_GT(QFileInfo(path("view.pdf")).size(), 0);
    EXPECT_EQ(view.iconRects(), rects) << "printing leaves the window's rectangles alone";
    EXPECT_EQ(view.hitTest(rects[3].center()), 3);
    // Right clicks: between icons nothing, on an icon its menu, a second one replaces it.
    QTest::mouseClick(&view, Qt::RightButton, {},
                      QPoint(rects[0].right() + 3, rects[0].center().y()));
    EXPECT_EQ(view.popupMenu(), nullptr);
    QTest::mouseClick(&view, Qt::RightButton, {}, rects[2].center());
    ASSERT_NE(view.popupMenu(), nullptr);
    EXPECT_EQ(view.popupMenu()->actions()[0]->text(), "Delete C");
    QTest::mouseClick(&view, Qt::RightButton, {}, rects[3].center());
    ASSERT_NE(view.popupMenu(), nullptr);
    EXPECT_EQ(view.popupMenu()->actions()[1]->text(), "Modify D");
    EXPECT_EQ(view.rightClickedIcon(), 3);
    QTest::mouseClick(&view, Qt::LeftButton, {}, rects[1].center());
    EXPECT_EQ(view.popupMenu(), nullptr) << "a left click drops the menu";
    EXPECT_EQ(promptTexts().back(), "B") << "the left click shows the facility";
    EXPECT_EQ(view.openIcon(), -1);
}

TEST_F(GroupDocTest, ThePreferencesApplyReachesTheDocumentAtOnce) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "", {"A"});
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    CZUKRecView view(doc.get());
    view.initialUpdate();
    EXPECT_EQ(doc->daysToKeep(), -1);
    EXPECT_FALSE(doc->refreshFromNetwork());
    // The Preferences command opens the sheet through the shell's seam.
    bool shown = false;
    dialogs.onPreferences = [&shown](CPreferences& sheet) {
        sheet.findChild<QCheckBox*>("1179")->click();
        ASSERT_TRUE(sheet.setCurrentPage(3));
        sheet.findChild<QCheckBox*>("1105")->click();  // delete old reservations: 30 days
        ASSERT_TRUE(sheet.apply());
        shown = true;
    };
    view.showPreferences();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(doc->refreshFromNetwork());
    EXPECT_EQ(doc->daysToKeep(), 30);
    EXPECT_EQ(store->getInt("Reservations", "DeleteOldRes", 0), 30);
}

TEST_F(GroupDocTest, TheWindowOpensWithTheSizeStoredAtItsLastClose) {
    const QString file = writeGroup("Courts.rec", "Tennis Courts", "North", {"A"});
    otherUserRect(file, GroupRect{100, 50, 740, 530});
    auto doc = open(file);
    ASSERT_NE(doc, nullptr);
    auto* frame = new CChildFrame(doc.get());
    EXPECT_EQ(frame->size(), QSize(640, 480));
    EXPECT_EQ(frame->windowTitle(), "Tennis Courts - North");
    EXPECT_TRUE(frame->view()->timerActive());
    frame->resize(500, 300);
    frame->close();  // stores the outer rectangle before the group closes
    const GroupFile g = onDisk(file);
    EXPECT_EQ(g.window.right - g.window.left, 500);
    EXPECT_EQ(g.window.bottom - g.window.top, 300);
}

}  // namespace
}  // namespace quorvane
