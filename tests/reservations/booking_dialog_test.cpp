// The booking dialogs on the offscreen platform, on a real group in a temporary folder: the
// facility list (load, make, cancel with its series questions, show and notes, print
// positions), Make Reservation (opening, automatic end, selection rules, the customer detour,
// messages), the customer editor, and the group window's left click.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

#include "../app/shell_fakes.h"
#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "reservations/AddPersonDlg.h"
#include "reservations/AddReservation.h"
#include "reservations/Install.h"
#include "reservations/ReservationDialogs.h"
#include "reservations/RoomInfoDlg.h"
#include "reservations/ShowReservation.h"
#include "reservations/TimeField.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tests/dialog_script.h"
#include "tests/tables/tables_testutil.h"

namespace quorvane {
namespace {

using testing::RecordingSurface;
using ScriptedRuns = testing::ScriptedRuns<ReservationDialogs>;
using testing::control;

void selectRow(QListView* list, int row) {
    const QModelIndex i = list->model()->index(row, 0);
    list->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
}

int selectedRow(QListView* list) {
    const auto rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

class BookingDialogTest : public testing::ShellTest {
protected:
    FixedClock clock{Clock::fromLocal(2026, 3, 10, 9, 30, 0)};  // a Tuesday
    ScriptedRuns runs;
    RecordingPrintDialogs printing;
    std::unique_ptr<CZUKRecDoc> doc;
    const DayDate today{2026, 3, 10};

    void SetUp() override {
        ShellTest::SetUp();
        setGroupTablesFactory({});
        setAppClock(&clock);
        setAppReservationDialogs(&runs);
        setAppPrintDialogs(&printing);
        const std::string group = path(QStringLiteral("Courts.rec")).toStdString();
        GroupFile g;
        g.typeName = "Tennis Courts";
        g.rooms[0].name = "Court 1";
        g.rooms[0].description = "Clay, lights";
        g.rooms[0].defaultTime = 90;
        g.rooms[1].name = "Court 2";
        g.count = 2;
        ASSERT_TRUE(saveGroupFile(group, g).ok());
        ASSERT_EQ(tables_test::createEmpty<CSchedule>(group), 0);
        CPeople p;
        ASSERT_EQ(p.Create(group), 0);
        for (auto [first, last, org] :
             {std::tuple{"Anna", "Jansen", ""}, std::tuple{"Bo \"B\"", "O'Neil, Jr.", "Club, Inc"}})
            ASSERT_EQ(tables_test::addCustomer(p, first, "Q", last, "555-0101", "12", org), 0);
        p.Close();
        CMaintenance m;
        ASSERT_EQ(m.Create(group), 0);
        m.Clear();
        m.SetName("Resurface");
        ASSERT_EQ(m.Add(), 0);
        m.Close();
        doc = std::make_unique<CZUKRecDoc>();
        ASSERT_TRUE(doc->OnOpenDocument(QString::fromStdString(group)));
    }
    void TearDown() override {
        if (doc) doc->OnCloseDocument();
        doc.reset();
        setAppReservationDialogs(nullptr);
        setAppPrintDialogs(nullptr);
        setAppClock(nullptr);
        clearGroupCommands();
        ShellTest::TearDown();
    }
    CSchedule& schedule() { return *doc->tables()->schedule(); }
    void bookDirect(const DayDate& d, int sh, int eh, int kind = kSingle, DayDate through = {},
                    const char* last = "Jansen") {
        BookingRequest q;
        q.facility = "Court 1";
        q.firstDay = d;
        q.throughDay = through.year ? through : d;
        q.kind = kind;
        q.startHH = sh;
        q.endHH = eh;
        q.first = "Anna";
        q.last = last;
        q.madeDate = today;
        FacilityDay day;
        ASSERT_GT(bookReservation(schedule(), q, day, {}).booked, 0);
    }
    // A Make Reservation step: customer row, times, recurrence, then OK.
    static std::function<int(QDialog&)> makeStep(int customerRow, int sh, int eh, int kindId = 0,
                                                 QDate through = {}, QDate first = {}) {
        return [=](QDialog& d) {
            if (first.isValid()) control<QDateEdit>(d, CAddReservation::kDate)->setDate(first);
            control<TimeField>(d, CAddReservation::kStart)->setTime(QTime(sh, 0));
            control<TimeField>(d, CAddReservation::kEnd)->setTime(QTime(eh, 0));
            if (kindId) {
                control<QRadioButton>(d, kindId)->setChecked(true);
                control<QDateEdit>(d, CAddReservation::kThrough)->setDate(through);
            }
            selectRow(control<QListView>(d, CAddReservation::kCustomers), customerRow);
            control<QPushButton>(d, 1)->click();
            return d.result();
        };
    }
};

TEST_F(BookingDialogTest, ListShowsTheDayAndPrintsEveryLineInPlace) {
    bookDirect(today, 11, 12);
    bookDirect(today, 8, 9, kDaily, {2026, 3, 11}, "Early");
    CRoomInfoDlg list(*doc, 0, 90, today);
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Reservations for Court 1"));
    EXPECT_EQ(control<QLineEdit>(list, CRoomInfoDlg::kDescription)->text(), "Clay, lights");
    ASSERT_EQ(list.day().lines.size(), 2u);
    EXPECT_EQ(list.day().lines[0], "08:00 AM   09:00 AM   Early, Anna      ");
    EXPECT_EQ(list.day().starts, (std::vector<int>{800, 1100}));

    RecordingSurface surface;  // h = 16, W = 8
    list.drawPage(surface);
    ASSERT_EQ(surface.texts.size(), 5u);
    const int ys[] = {32, 64, 96, 144, 160};
    const QString texts[] = {"Tuesday, March 10, 2026", "Reservations for Court 1", "Clay, lights",
                             "08:00 AM   09:00 AM   Early, Anna      ",
                             "11:00 AM   12:00 PM   Jansen, Anna      "};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(surface.texts[std::size_t(i)].x, 8);
        EXPECT_EQ(surface.texts[std::size_t(i)].y, ys[i]);
        EXPECT_EQ(surface.texts[std::size_t(i)].text, texts[i]);
    }
    control<QPushButton>(list, CRoomInfoDlg::kPrint)->click();
    EXPECT_EQ(printing.askedFiles.size(), 1u);

    // The picker moves the list; the far ends of the calendar load empty days.
    for (QDate d : {QDate(1970, 1, 1), QDate(2099, 12, 31), QDate(2026, 3, 11)})
        control<QDateEdit>(list, CRoomInfoDlg::kDate)->setDate(d);
    EXPECT_EQ(list.date(), (DayDate{2026, 3, 11}));
    EXPECT_EQ(list.day().lines.size(), 1u);
}

TEST_F(BookingDialogTest, NothingSelectedAndAReservationAnotherDeskChangedMeanMessages) {
    bookDirect(today, 11, 12);
    CRoomInfoDlg list(*doc, 0, 90, today);
    control<QPushButton>(list, CRoomInfoDlg::kCancel)->click();
    control<QPushButton>(list, CRoomInfoDlg::kShow)->click();
    // Another desk (a table object of its own) cancels the 11:00 booking.
    auto cancelElsewhere = [&] {
        CSchedule other;
        SeriesMember m;
        return other.Open(path(QStringLiteral("Courts.rec")).toStdString()) == 0 &&
               cancelReservation(other, "Court 1", today, 1100, m) == 0;
    };
    // Cancelled between the list and Show: said so, and the list read again.
    list.select(0);
    ASSERT_TRUE(cancelElsewhere());
    control<QPushButton>(list, CRoomInfoDlg::kShow)->click();
    EXPECT_EQ(control<QListView>(list, CRoomInfoDlg::kList)->model()->rowCount(), 0);
    // Listed again, then cancelled there and the same hour booked for someone else: Cancel
    // must not delete the other booking.
    bookDirect(today, 11, 12);
    list.setDate(today);
    list.select(0);
    ASSERT_TRUE(cancelElsewhere());
    bookDirect(today, 11, 12, kSingle, {}, "Smith");
    control<QPushButton>(list, CRoomInfoDlg::kCancel)->click();
    ReservationDetail left;
    ASSERT_EQ(readReservationDetail(schedule(), "Court 1", today, 1100, left), 0);
    EXPECT_EQ(left.reservedFor, "Smith, Anna ");
    const QString changed = QString::fromStdString(reservationChangedMessage().text);
    EXPECT_EQ(promptTexts(),
              (std::vector<QString>{"You must select a reservation to cancel",
                                    "You must select a reservation to view", changed,
                                    "Are you sure you want to cancel this reservation?", changed}));
    EXPECT_EQ(prompter.shown[0].caption, "Error");
    EXPECT_EQ(prompter.shown[2].caption, "Reservation Changed");
    EXPECT_EQ(control<QListView>(list, CRoomInfoDlg::kList)
                  ->model()
                  ->index(0, 0)
                  .data()
                  .toString()
                  .left(27),
              "11:00 AM   12:00 PM   Smith");
    EXPECT_FALSE(list.changed());
}

TEST_F(BookingDialogTest, MakingASeriesMovesTheListAndTodaysIconsFollow) {
    CRoomInfoDlg list(*doc, 0, 90, DayDate{2026, 3, 20});
    runs.script.push_back(
        makeStep(1, 9, 11, CAddReservation::kEveryDay, QDate(2026, 3, 12), QDate(2026, 3, 9)));
    control<QPushButton>(list, CRoomInfoDlg::kMake)->click();
    EXPECT_TRUE(list.changed());
    EXPECT_EQ(list.date(), (DayDate{2026, 3, 9}));
    EXPECT_EQ(control<QDateEdit>(list, CRoomInfoDlg::kDate)->date(), QDate(2026, 3, 9));
    ASSERT_EQ(list.day().lines.size(), 1u);
    // Today (the 10th) was booked: the group's day list and occupants follow at once.
    ASSERT_EQ(doc->dayList().size(), 1u);
    EXPECT_EQ(doc->group().rooms[0].occupant1, "Jansen");
    EXPECT_TRUE(prompter.shown.empty());

    // The same times again on the 11th conflict: a single reservation stays open, and after
    // Cancel the list shows its own day again.
    runs.script.push_back([](QDialog& d) {
        makeStep(2, 10, 12, 0, {}, QDate(2026, 3, 11))(d);
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_TRUE(d.isVisible() || d.result() == 0);
        return int(QDialog::Rejected);
    });
    control<QPushButton>(list, CRoomInfoDlg::kMake)->click();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Reservation conflicts with existing reservation on 03/11/2026");
    EXPECT_EQ(prompter.shown[0].caption, "Reservation Error");
    EXPECT_EQ(list.date(), (DayDate{2026, 3, 9}));
    EXPECT_EQ(list.day().starts, std::vector<int>{900});
}

TEST_F(BookingDialogTest, CancellingTheThirdMemberWithItsRest) {
    bookDirect({2026, 3, 8}, 14, 15, kDaily, {2026, 3, 13});
    doc->reloadDayList();
    CRoomInfoDlg list(*doc, 0, 90, today);  // the third member
    ASSERT_EQ(doc->dayList().size(), 1u);
    list.select(0);
    prompter.answers = {PromptResult::Yes, PromptResult::Yes};
    control<QPushButton>(list, CRoomInfoDlg::kCancel)->click();
    EXPECT_EQ(promptTexts(),
              (std::vector<QString>{"Are you sure you want to cancel this reservation?",
                                    "This is part of a recurring reservation. Do you want to "
                                    "cancel the remaining reservations after this one?"}));
    EXPECT_EQ(prompter.shown[1].caption, "Recurring Reservation");
    EXPECT_TRUE(list.changed());
    EXPECT_TRUE(list.day().lines.empty());
    EXPECT_TRUE(doc->dayList().empty());  // today's list follows
    int kept = 0;
    for (int r = schedule().First(); r == 0; r = schedule().Next()) ++kept;
    EXPECT_EQ(kept, 2);  // the 8th and the 9th
}

TEST_F(BookingDialogTest, ShowReservationWritesChangedNotesOnly) {
    bookDirect(today, 11, 12);
    CRoomInfoDlg list(*doc, 0, 90, today);
    list.select(0);
    runs.script.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Reservation Detail for Court 1");
        EXPECT_EQ(control<QLineEdit>(d, CShowReservation::kDate)->text(),
                  "Tuesday, March 10, 2026");
        EXPECT_EQ(control<QLineEdit>(d, CShowReservation::kEnd)->text(), "12:00 PM");
        EXPECT_TRUE(control<QLineEdit>(d, CShowReservation::kStart)->isReadOnly());
        auto* notes = control<QLineEdit>(d, CShowReservation::kNotes);
        EXPECT_EQ(notes->maxLength(), 80);
        notes->setText(QString(80, QChar(0x00E9)));
        return int(QDialog::Accepted);
    });
    list.showReservation();
    EXPECT_EQ(list.day().lines[0].substr(list.day().lines[0].size() - 6), "(Note)");
    ReservationDetail detail;
    ASSERT_EQ(readReservationDetail(schedule(), "Court 1", today, 1100, detail), 0);
    EXPECT_EQ(detail.notes, std::string(80, '\xE9'));
}

TEST_F(BookingDialogTest, MakeReservationOpeningAutomaticEndAndSelection) {
    FacilityDay day;
    CAddReservation d(*doc, "Court 1", today, 90, day);
    EXPECT_EQ(d.windowTitle(), "Make a Reservation for Court 1");
    EXPECT_TRUE(control<QRadioButton>(d, CAddReservation::kNo)->isChecked());
    EXPECT_FALSE(control<QDateEdit>(d, CAddReservation::kThrough)->isEnabled());
    auto* start = control<TimeField>(d, CAddReservation::kStart);
    auto* end = control<TimeField>(d, CAddReservation::kEnd);
    EXPECT_EQ(start->time(), QTime(9, 30));
    EXPECT_EQ(end->time(), QTime(11, 0));
    start->setTime(QTime(23, 0));  // 90 minutes later is tomorrow: the end stays
    EXPECT_EQ(end->time(), QTime(11, 0));
    start->setTime(QTime(10, 0));
    EXPECT_EQ(end->time(), QTime(11, 30));
    end->setTime(QTime(12, 0));
    start->setTime(QTime(8, 0));
    EXPECT_EQ(end->time(), QTime(12, 0));
    EXPECT_TRUE(d.endEdited());

    auto* customers = control<QListView>(d, CAddReservation::kCustomers);
    auto* items = control<QListView>(d, CAddReservation::kMaintenance);
    ASSERT_EQ(customers->model()->rowCount(), 3);
    EXPECT_EQ(customers->model()->index(0, 0).data().toString(), "<Add a new customer>");
    EXPECT_EQ(customers->model()->index(1, 0).data().toString(),
              "555-0101 x-12    \tJansen, Anna   Q  \t");
    EXPECT_EQ(customers->model()->index(2, 0).data().toString(),
              "555-0101 x-12    \tO'Neil, Jr., Bo \"B\"   Q  \t(Club, Inc)");
    EXPECT_EQ(items->model()->index(0, 0).data().toString(), "Resurface");
    selectRow(customers, 1);
    selectRow(items, 0);
    EXPECT_EQ(d.form().customerRow, -1);
    selectRow(customers, 2);
    EXPECT_EQ(d.form().maintenanceRow, -1);

    control<QRadioButton>(d, CAddReservation::kEveryWeek)->setChecked(true);
    EXPECT_EQ(d.form().kind, kWeekly);
    EXPECT_TRUE(control<QDateEdit>(d, CAddReservation::kThrough)->isEnabled());
    control<QRadioButton>(d, CAddReservation::kNo)->setChecked(true);
    EXPECT_FALSE(control<QDateEdit>(d, CAddReservation::kThrough)->isEnabled());

    customers->clearSelection();
    EXPECT_FALSE(d.onOk());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "A customer or maintenance item must be selected for the reservation");
    EXPECT_EQ(prompter.shown[0].caption, "No Customer Selected");

    // Check Availability looks at a weekly series without booking it.
    bookDirect({2026, 3, 17}, 22, 23);
    start->setTime(QTime(21, 30));
    end->setTime(QTime(0, 0));
    control<QRadioButton>(d, CAddReservation::kEveryWeek)->setChecked(true);
    control<QDateEdit>(d, CAddReservation::kThrough)->setDate(QDate(2026, 3, 31));
    control<QPushButton>(d, CAddReservation::kCheckAvailability)->click();
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[1].text, "These days are taken at that time:\n03/17/2026");
    EXPECT_EQ(prompter.shown[1].caption, "Check Availability");
    start->setTime(QTime(23, 0));  // touches the 22:00-23:00 booking
    control<QPushButton>(d, CAddReservation::kCheckAvailability)->click();
    EXPECT_EQ(prompter.shown.back().text, "All days are free.");
    EXPECT_EQ(prompter.shown.size(), 3u);
    control<QRadioButton>(d, CAddReservation::kNo)->setChecked(true);

    // Maintenance at 12:00 AM ends at 23:59, set as a form.
    ReservationForm maintenance = d.form();
    maintenance.maintenanceRow = 0;
    maintenance.startHH = 23, maintenance.startMM = 0, maintenance.endHH = 0, maintenance.endMM = 0;
    d.setForm(maintenance);
    EXPECT_TRUE(d.onOk());
    FacilityDay stored;
    ASSERT_EQ(loadFacilityDay(schedule(), "Court 1", today, stored), 0);
    EXPECT_EQ(stored.lines, std::vector<std::string>{"11:00 PM   11:59 PM   Resurface    "});
}

TEST_F(BookingDialogTest, ATimeTypedOverTheSelectedBoxIsTheTimeTypedAndTheEndFollowsIt) {
    FacilityDay day;
    CAddReservation d(*doc, "Court 1", today, 90, day);
    auto* start = control<TimeField>(d, CAddReservation::kStart);
    auto* end = control<TimeField>(d, CAddReservation::kEnd);
    const struct {
        const char* typed;
        QTime start, end;  // after Return; an invalid start keeps the times
    } cases[] = {
        {"12:00 PM", {12, 0}, {13, 30}}, {"2:30p", {14, 30}, {16, 0}},
        {"14:45", {14, 45}, {16, 15}},   {"2:30 PM", {14, 30}, {16, 0}},
        {"25:00", {14, 30}, {16, 0}},    {"9:05am", {9, 5}, {10, 35}},
    };
    for (const auto& c : cases) {
        const QTime endBefore = end->time();
        start->selectAll();
        QTest::keyClicks(start, QString::fromLatin1(c.typed));
        EXPECT_EQ(end->time(), endBefore) << c.typed << ": nothing moves while typing";
        QTest::keyClick(start, Qt::Key_Return);
        EXPECT_EQ(start->time(), c.start) << c.typed;
        EXPECT_EQ(end->time(), c.end) << c.typed;
        EXPECT_EQ(start->text(), c.start.toString("hh:mm AP")) << c.typed;
    }
    EXPECT_EQ(promptTexts(),
              (std::vector<QString>{"\"25:00\" is not a time. Type a time such as 2:30 PM, 2:30p "
                                    "or 14:30."}));
    // Typed, and OK pressed without leaving the box: booked at the time typed.
    selectRow(control<QListView>(d, CAddReservation::kCustomers), 1);
    start->selectAll();
    QTest::keyClicks(start, QStringLiteral("2:30p"));
    control<QPushButton>(d, 1)->click();
    ReservationDetail booked;
    ASSERT_EQ(readReservationDetail(schedule(), "Court 1", today, 1430, booked), 0);
    EXPECT_EQ(booked.end, "04:00 PM");
}

TEST_F(BookingDialogTest, SavingNotesUnderAnotherUsersLockSaysItWaitsAndCanBeGivenUp) {
    bookDirect(today, 11, 12);
    ReservationDetail detail;
    long rec = 0;
    ASSERT_EQ(readReservationDetail(schedule(), "Court 1", today, 1100, detail, &rec), 0);
    const std::string group = doc->groupFilePath().toStdString();
    // Another process holds the reservation table for `ms` milliseconds.
    auto holdFor = [&](int ms) {
        int ready[2];
        if (pipe(ready) != 0) return pid_t(-1);
        const pid_t pid = fork();
        if (pid == 0) {
            CSchedule other;
            if (other.Open(group) != 0 || other.LockAll() != 0) _exit(1);
            if (write(ready[1], "x", 1) != 1) _exit(2);
            usleep(useconds_t(ms) * 1000);
            _exit(0);
        }
        char byte;
        const bool up = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
        close(ready[1]);
        return up ? pid : pid_t(-1);
    };
    auto attempt = [&](const std::string& notes) {
        return [&, notes] {
            return storeNotesOnce(schedule(), "Court 1", today, 1100, rec, "", notes);
        };
    };
    struct Case {
        int holdMs;
        bool giveUp;
        NotesWrite result;
        const char* stored;
    } cases[] = {{700, false, NotesWrite::kWritten, "lights"},
                 {5000, true, NotesWrite::kLocked, "lights"}};
    for (const Case& c : cases) {
        const pid_t holder = holdFor(c.holdMs);
        ASSERT_GT(holder, 0);
        bool waitShown = false;
        QTimer::singleShot(300, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* wait = qobject_cast<QProgressDialog*>(w);
                    wait && wait->objectName() == "notes-wait" && wait->isVisible()) {
                    waitShown = true;
                    if (c.giveUp) wait->findChild<QPushButton*>()->click();  // "Give Up"
                }
        });
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(writeNotesWaiting(attempt(c.giveUp ? "never" : "lights"), nullptr), c.result);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
        EXPECT_TRUE(waitShown) << "the window says that it waits";
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
        ASSERT_EQ(readReservationDetail(schedule(), "Court 1", today, 1100, detail), 0);
        EXPECT_EQ(detail.notes, c.stored);
    }
}

TEST_F(BookingDialogTest, TheNewCustomerDetourSelectsTheCustomerAndBooksNothing) {
    FacilityDay day;
    CAddReservation d(*doc, "Court 1", today, 0, day);
    runs.script.push_back([this](QDialog& add) {
        EXPECT_EQ(add.windowTitle(), "Add a New Customer");
        control<QLineEdit>(add, 1023)->setText("Cor");
        control<QLineEdit>(add, 1025)->setText("Aarts");
        control<QPushButton>(add, 1)->click();
        return add.result();
    });
    selectRow(control<QListView>(d, CAddReservation::kCustomers), 0);
    EXPECT_FALSE(d.onOk());
    EXPECT_EQ(runs.opened, std::vector<int>{CAddPersonDlg::kDialogId});
    auto* customers = control<QListView>(d, CAddReservation::kCustomers);
    ASSERT_EQ(customers->model()->rowCount(), 4);
    EXPECT_EQ(selectedRow(customers), 1);  // Aarts sorts first
    FacilityDay stored;
    ASSERT_EQ(loadFacilityDay(schedule(), "Court 1", today, stored), 0);
    EXPECT_TRUE(stored.lines.empty());
}

TEST_F(BookingDialogTest, CustomerEditorRules) {
    CPeople& people = *doc->tables()->people();
    CAddPersonDlg add(people);
    auto* addNew = control<QPushButton>(add, CAddPersonDlg::kAddAndNew);
    ASSERT_NE(addNew, nullptr);
    for (const PersonFieldSpec& f : kPersonFields)
        EXPECT_EQ(control<QLineEdit>(add, f.id)->maxLength(), f.maxLength);
    PersonFields f;
    f.first = "Anna";
    EXPECT_FALSE(add.addAndNew());  // no last name
    f.last = "Jansen";
    f.mi = "Q";
    f.phone = "555-0101";
    f.ext = "12";
    add.setFields(f);
    EXPECT_FALSE(add.addAndNew());  // exists
    EXPECT_EQ(add.fields(), f);     // the typed values stay
    f.ext = "13";
    add.setFields(f);
    EXPECT_TRUE(add.addAndNew());
    EXPECT_EQ(add.fields(), PersonFields{});
    EXPECT_EQ(promptTexts(),
              (std::vector<QString>{"A first and last name must be specified",
                                    "A record for this customer already exists in the database"}));
    EXPECT_EQ(prompter.shown[0].caption, "Name Error");
    EXPECT_EQ(prompter.shown[1].caption, "Add Error");

    // Blanks alone are no name; characters the tables cannot hold are refused where typed,
    // each named, and the box keeps what it had.
    const struct {
        const char *first, *last;
        bool refused;
    } names[] = {{" ", "Jansen", true}, {"Anna", "   ", true}, {" Anna", "Jansen", false}};
    for (const auto& n : names) {
        PersonFields blank;
        blank.first = n.first;
        blank.last = n.last;
        EXPECT_EQ(checkPersonName(blank).has_value(), n.refused) << n.first << "/" << n.last;
    }
    prompter.shown.clear();
    auto* last = control<QLineEdit>(add, 1025);
    auto* notes = control<QLineEdit>(add, 1029);
    last->setText(QStringLiteral("Nowak"));
    last->insert(QStringLiteral("-\u0141ukasz"));
    notes->setText(QStringLiteral("caf\u00e9 \u20ac5"));
    notes->insert(QString::fromUcs4(U"\U0001F3BE", 1));
    EXPECT_EQ(last->text(), "Nowak");
    EXPECT_EQ(notes->text(), QStringLiteral("caf\u00e9 \u20ac5"));
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].caption, "Character Not Allowed");
    EXPECT_TRUE(prompter.shown[0].text.startsWith(
        QStringLiteral("The character \"\u0141\" (U+0141) cannot be stored in Last Name")));
    EXPECT_TRUE(prompter.shown[1].text.startsWith(
        QString::fromUcs4(U"The character \"\U0001F3BE\" (U+1F3BE) cannot be stored in Notes")));
    add.setFields({});
    prompter.shown.clear();

    // Modify mode: a new key replaces the old one; no second record stays behind.
    ASSERT_EQ(people.Seek("Anna", "Q", "Jansen", "555-0101", "13"), 0);
    const long rec = people.GetRecordNumber();
    CAddPersonDlg modify(people, CAddPersonDlg::Modify, personFieldsOf(people), rec);
    EXPECT_EQ(modify.windowTitle(), "Modify a Customer");
    EXPECT_TRUE(control<QPushButton>(modify, CAddPersonDlg::kAddAndNew)->isHidden());
    control<QLineEdit>(modify, 1025)->setText("Jansen-Smit");
    EXPECT_TRUE(modify.addAndClose());
    EXPECT_NE(people.Seek("Anna", "Q", "Jansen", "555-0101", "13"), 0);
    ASSERT_EQ(people.Seek("Anna", "Q", "Jansen-Smit", "555-0101", "13"), 0);
    EXPECT_EQ(people.GetRecordNumber(), rec);
}

// Another user books today in a process of its own, the way Make Reservation's OK does: this
// user's window shows it at its next minute tick when refresh is on.
TEST_F(BookingDialogTest, AnotherUsersBookingOfTodayShowsAtTheNextTick) {
    CZUKRecView view(doc.get());
    view.preferences().refresh = true;
    view.initialUpdate();
    doc->setRefreshFromNetwork(true);
    const QString group = doc->groupFilePath();
    const pid_t pid = fork();
    if (pid == 0) {
        clock.advance(7);
        CZUKRecDoc other;
        bool ok = other.OnOpenDocument(group);
        BookingRequest q;
        q.facility = "Court 2";
        q.firstDay = q.throughDay = today;
        q.startHH = 9;
        q.endHH = 10;
        q.first = "Cor";
        q.last = "Aarts";
        q.madeDate = today;
        BookingHooks hooks;
        hooks.added = [&](const DayDate& d, int r) {
            if (r == 0) other.reservationsChanged(d);
        };
        FacilityDay day;
        ok = ok && bookReservation(*other.tables()->schedule(), q, day, hooks).booked == 1;
        other.OnCloseDocument();
        _exit(ok ? 0 : 1);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_EQ(doc->group().rooms[1].occupant1, "");
    clock.advance(60);
    view.timerTick();
    EXPECT_EQ(doc->group().rooms[1].occupant1, "Aarts");
}

TEST_F(BookingDialogTest, LeftClickOpensTheListAndAddCustomerIsACommand) {
    installReservationCommands();
    ASSERT_TRUE(groupCommand(cmd::kAddCustomer));
    CZUKRecView view(doc.get());
    runs.script.push_back([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Reservations for Court 2");
        EXPECT_EQ(view.openIcon(), 1);
        EXPECT_EQ(static_cast<CRoomInfoDlg&>(d).date(), today);
        return int(QDialog::Accepted);
    });
    view.openFacility(1);
    EXPECT_EQ(view.openIcon(), -1);
    groupCommand(cmd::kAddCustomer)(*doc, &view);
    EXPECT_EQ(runs.opened, (std::vector<int>{CRoomInfoDlg::kDialogId, CAddPersonDlg::kDialogId}));
    for (unsigned id : {0x20085u, 0x20086u, 0x20087u, 0x20088u})
        EXPECT_FALSE(HelpService::topicHtml(id).isEmpty()) << std::hex << id;
}

}  // namespace
}  // namespace quorvane
