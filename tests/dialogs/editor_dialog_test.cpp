// The editor dialogs on the offscreen platform, on real tables in a temporary folder: the
// customer chooser in its four modes with the dialogs it opens, a customer's reservation list
// with the detail and its notes, the maintenance editor, chooser and lists, long and
// unrepresentable input, Help, and the menu commands.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <deque>
#include <filesystem>
#include <functional>

#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "base/Clock.h"
#include "dialogs/EditorCommands.h"
#include "dialogs/EditorDialogs.h"
#include "dialogs/Install.h"
#include "dialogs/RecordCards.h"
#include "editor_fixture.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "reservations/ShowReservation.h"
#include "tests/dialog_script.h"

namespace quorvane {
namespace {

using testing::Person;
using ScriptedRuns = testing::ScriptedRuns<EditorDialogs>;
using testing::control;

QString editText(QWidget& w, int id) {
    QLineEdit* e = control<QLineEdit>(w, id);
    return e ? e->text() : QStringLiteral("<missing %1>").arg(id);
}

class EditorDialogTest : public testing::EditorTables {
protected:
    ScriptedRuns runs;
    RecordingPrompter prompter;
    RecordingHelpService help;
    FixedClock clock{Clock::fromLocal(2026, 3, 10, 9, 30)};

    void SetUp() override {
        EditorTables::SetUp();
        setAppEditorDialogs(&runs);
        setAppPrompter(&prompter);
        setAppHelp(&help);
        setAppClock(&clock);
    }
    void TearDown() override {
        setAppClock(nullptr);
        setAppHelp(nullptr);
        setAppPrompter(nullptr);
        setAppEditorDialogs(nullptr);
        EditorTables::TearDown();
    }
    std::vector<std::string> shownTexts() const {
        std::vector<std::string> out;
        for (const Prompt& p : prompter.shown) out.push_back(p.text.toStdString());
        return out;
    }
    static void pick(QListView* list, int row) { editor::selectRow(list, row); }
    std::vector<std::string> customerLastNames() {
        std::vector<std::string> out;
        for (int r = people.First(); r == 0; r = people.Next()) {
            std::string f, m, l;
            people.GetName(f, m, l);
            out.push_back(l);
        }
        return out;
    }
};

TEST_F(EditorDialogTest, ListModeShowsSeveralCustomersInTurnAndClosesWithNothingSelected) {
    addPerson({"John", "Q", "Smith", "555-0100", "", "Parks"}, "left-handed");
    addPerson({"Anna", "B", "Jansen", "555-0101", "12", ""});
    const auto chooser = customerChooser(people, schedule, kListMode);
    EXPECT_EQ(chooser->windowTitle(), "List of Customers in this Group");
    ASSERT_EQ(chooser->list()->model()->rowCount(), 2);
    std::vector<std::string> seen;
    auto card = [&](QDialog& d) {
        auto& c = dynamic_cast<CListPerson&>(d);
        EXPECT_EQ(c.windowTitle(), "List Customer");
        seen.push_back(c.shown(1025) + "/" + c.shown(1174) + "/" + c.shown(1029));
        EXPECT_TRUE(control<QLineEdit>(c, 1023)->isReadOnly());
        return int(QDialog::Accepted);
    };
    runs.script = {card, card};
    pick(chooser->list(), 1);
    EXPECT_FALSE(chooser->choose());
    EXPECT_EQ(chooser->list()->selectionModel()->selectedIndexes().size(), 0);
    pick(chooser->list(), 0);
    EXPECT_FALSE(chooser->choose());
    EXPECT_EQ(seen, (std::vector<std::string>{"Smith//left-handed", "Jansen/12/"}));
    EXPECT_EQ(chooser->result(), 0);
    EXPECT_TRUE(chooser->choose());  // nothing selected in list mode: close
    EXPECT_EQ(chooser->result(), int(QDialog::Accepted));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(EditorDialogTest, DeleteAsksAndKeepsTheReservations) {
    addPerson({"John", "Q", "Smith", "555-0100", "", ""});
    addPerson({"Anna", "B", "Jansen", "555-0101", "", ""});
    book({2026, 3, 11}, "Court 1", 9, {"Anna", "B", "Jansen", "555-0101", "", ""});
    prompter.answers = {PromptResult::No, PromptResult::Yes};
    {
        const auto chooser = customerChooser(people, schedule, kDeleteMode);
        EXPECT_EQ(chooser->windowTitle(), "Select Customer to Delete");
        EXPECT_FALSE(chooser->choose());  // nothing selected
        pick(chooser->list(), 0);
        EXPECT_TRUE(chooser->choose());  // No: closes all the same
    }
    EXPECT_EQ(customerLastNames(), (std::vector<std::string>{"Jansen", "Smith"}));
    {
        const auto chooser = customerChooser(people, schedule, kDeleteMode);
        pick(chooser->list(), 0);
        EXPECT_TRUE(chooser->choose());
    }
    EXPECT_EQ(customerLastNames(), (std::vector<std::string>{"Smith"}));
    const std::string withOne = deleteCustomerQuestion(1);
    EXPECT_EQ(shownTexts(),
              (std::vector<std::string>{"A customer must be selected", withOne, withOne}));
    EXPECT_EQ(withOne.substr(0, 50), "This customer has 1 reservation from today on. It ");
    EXPECT_EQ(prompter.shown[1].caption, "Confirm Delete");
    std::vector<ReservationRow> rows;
    ASSERT_EQ(
        customerReservations(schedule, {"Anna", "B", "Jansen", "555-0101"}, {2026, 3, 10}, rows),
        0);
    EXPECT_EQ(rows.size(), 1u);
}

TEST_F(EditorDialogTest, ModifyGoesThroughTheCustomerEditorAndCancelEmptiesTheRows) {
    addPerson({"John", "Q", "Smith", "555-0100", "", ""});
    addPerson({"Anna", "B", "Jansen", "555-0101", "", ""});
    book({2026, 3, 9}, "Court 1", 9, {"John", "Q", "Smith", "555-0100", "", ""});
    book({2026, 3, 12}, "Court 1", 9, {"John", "Q", "Smith", "555-0100", "", ""});
    int carried = 0;
    runs.script = {[](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Modify a Customer");
        EXPECT_EQ(editText(d, 1025), "Smith");
        EXPECT_FALSE(control<QPushButton>(d, CAddPersonDlg::kAddAndNew)->isVisibleTo(&d));
        control<QLineEdit>(d, 1174)->setText("42");
        control<QPushButton>(d, 1)->click();
        return d.result();
    }};
    {
        const auto chooser = customerChooser(people, schedule, kModifyMode, [&] { ++carried; });
        EXPECT_EQ(chooser->windowTitle(), "Select Customer to Modify");
        pick(chooser->list(), 1);
        EXPECT_TRUE(chooser->choose());
    }
    // Asked (Yes) whether the new extension goes to the booking from today on; the one of
    // yesterday keeps what was booked.
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].caption, "Change Reservations");
    EXPECT_EQ(shownTexts()[1], "1 reservation(s) now carry the customer's new details.");
    EXPECT_EQ(carried, 1);
    long count = 0;
    ASSERT_EQ(countCustomerReservations(schedule, {"John", "Q", "Smith", "555-0100", "42", ""},
                                        {2026, 3, 1}, count),
              0);
    EXPECT_EQ(count, 1);
    std::vector<RecordRow> rows;
    ASSERT_EQ(customerRows(people, rows), 0);
    EXPECT_EQ(lines(rows), (std::vector<std::string>{"555-0101         \tJansen, Anna B  \t",
                                                     "555-0100 x-42    \tSmith, John Q  \t"}));
    const auto chooser = customerChooser(people, schedule, kModifyMode);
    chooser->reject();
    EXPECT_TRUE(chooser->rows().empty());
}

TEST_F(EditorDialogTest, AddAndNewClearsAfterSuccessAndKeepsAfterTheCode20Refusal) {
    CAddPersonDlg dlg(people, CAddPersonDlg::Add);
    auto type = [&](const char* first, const char* last, const char* ext) {
        control<QLineEdit>(dlg, 1023)->setText(first);
        control<QLineEdit>(dlg, 1025)->setText(last);
        control<QLineEdit>(dlg, 1028)->setText("555-0100");
        control<QLineEdit>(dlg, 1174)->setText(ext);
    };
    type("John", "Smith", "");
    EXPECT_TRUE(dlg.addAndNew());
    EXPECT_EQ(editText(dlg, 1025), "");
    type("John", "Smith", "");
    EXPECT_FALSE(dlg.addAndNew());
    EXPECT_EQ(editText(dlg, 1025), "Smith");
    EXPECT_EQ(
        shownTexts(),
        (std::vector<std::string>{"A record for this customer already exists in the database"}));
    control<QLineEdit>(dlg, 1174)->setText("2");  // another extension: a customer of its own
    EXPECT_TRUE(dlg.addAndNew());
    EXPECT_EQ(customerLastNames(), (std::vector<std::string>{"Smith", "Smith"}));
}

TEST_F(EditorDialogTest, ACustomersReservationsShowTheDetailAndKeepEarlierLinesAfterANote) {
    addPerson({"Anna", "B", "Jansen", "555-0101", "12", "Club"});
    book({2026, 3, 9}, "Court 1", 9, {"Anna", "B", "Jansen", "555-0101", "12", "Club"});
    const long first =
        book({2026, 3, 10}, "Court 1", 13, {"Anna", "B", "Jansen", "555-0101", "12", "Club"});
    const long later =
        book({2026, 3, 17}, "Court 2", 8, {"Anna", "B", "Jansen", "555-0101", "3", "Club"});
    runs.script = {[&](QDialog& d) {
        auto& list = dynamic_cast<CPersonResDlg&>(d);
        EXPECT_EQ(list.windowTitle(), "List of Reservations for Jansen, Anna B");
        EXPECT_EQ(list.rows().size(), 2u);
        list.showReservation();  // nothing selected
        pick(list.list(), 1);
        runs.script.push_back([](QDialog& detail) {
            EXPECT_EQ(detail.objectName().toInt(), CShowReservation::kDialogId);
            EXPECT_EQ(editText(detail, CShowReservation::kDate), "03/17/2026");
            EXPECT_EQ(editText(detail, CShowReservation::kStart), "08:00 AM");
            EXPECT_EQ(editText(detail, CShowReservation::kReservedFor), "Jansen, Anna B");
            EXPECT_EQ(editText(detail, CShowReservation::kExt), "3");
            control<QLineEdit>(detail, CShowReservation::kNotes)->setText("nets");
            return int(QDialog::Accepted);
        });
        control<QPushButton>(list, CPersonResDlg::kShow)->click();
        // The earlier reservation stays listed; the shown one carries its note.
        EXPECT_EQ(list.rows().size(), 2u);
        EXPECT_EQ(list.rows()[0].record, first);
        EXPECT_EQ(list.rows()[1].line, "03/17/2026   08:00 AM   09:00 AM \tCourt 2   (Note)");
        EXPECT_EQ(editor::selectedRow(list.list()), 1);
        return int(QDialog::Accepted);
    }};
    const auto chooser = customerChooser(people, schedule, kReservationsMode);
    EXPECT_EQ(chooser->windowTitle(), "Select Customer Whose Reservations You Want to See");
    pick(chooser->list(), 0);
    EXPECT_TRUE(chooser->choose());
    EXPECT_EQ(runs.opened, (std::vector<int>{138, 136}));
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"You must select a reservation to view"}));
    ASSERT_EQ(schedule.GoTo(later), 0);
    EXPECT_EQ(schedule.GetNotes(), "nets");
}

TEST_F(EditorDialogTest, MaintenanceEditorChooserAndTheLowerCaseItem) {
    CAddMaint add(maintenance);
    EXPECT_EQ(add.windowTitle(), "Add a Maintenance Item");
    control<QPushButton>(add, 1)->click();
    EXPECT_EQ(add.result(), 0);  // no name: stays open
    // A character without a Windows-1252 byte is refused where it is typed or pasted (the box
    // keeps its text); pasted text longer than the box takes is cut.
    auto* name = control<QLineEdit>(add, CAddMaint::kName);
    auto* notes = control<QLineEdit>(add, CAddMaint::kNotes);
    name->insert(QStringLiteral("Resurface \u03a9 courts 1 to 15"));
    notes->setText(QStringLiteral("\u20ac 40 \u2192 clay"));
    EXPECT_EQ(name->text(), "");
    EXPECT_EQ(notes->text(), "");
    name->insert(QStringLiteral("Resurface \u00e9 courts 1 to 15"));
    notes->setText(QStringLiteral("\u20ac 40 clay"));
    control<QPushButton>(add, 1)->click();
    EXPECT_EQ(add.result(), int(QDialog::Accepted));
    addItem("Aerate");
    addItem("Zamboni");

    const auto chooser = maintenanceChooser(maintenance, schedule, kModifyMode);
    EXPECT_EQ(chooser->windowTitle(), "Select Maintenance Item to Modify");
    ASSERT_EQ(chooser->list()->model()->rowCount(), 3);
    // Cut to the box's 21 characters; the stored name reads back without its trailing blank.
    EXPECT_EQ(chooser->rows()[1].line, "Resurface \xE9 courts 1");
    runs.script = {[](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Modify a Maintenance Item");
        EXPECT_EQ(editText(d, CAddMaint::kNotes), QStringLiteral("\u20ac 40 clay"));
        control<QLineEdit>(d, CAddMaint::kName)->setText("resurface");
        control<QPushButton>(d, 1)->click();
        return d.result();
    }};
    pick(chooser->list(), 1);
    EXPECT_TRUE(chooser->choose());

    // Now lower-case, the item sorts after the upper-case ones and is still the one acted on.
    const auto lister = maintenanceChooser(maintenance, schedule, kListMode);
    ASSERT_EQ(lister->rows()[2].line, "resurface");
    runs.script = {[](QDialog& d) {
        auto& card = dynamic_cast<CListMaint&>(d);
        EXPECT_EQ(card.windowTitle(), "List Maintenance Items");
        EXPECT_EQ(card.shown(), (MaintFields{"resurface", "\x80 40 clay"}));
        return int(QDialog::Accepted);
    }};
    pick(lister->list(), 2);
    EXPECT_FALSE(lister->choose());
    EXPECT_EQ(runs.opened.back(), CListMaint::kDialogId);

    prompter.answers = {PromptResult::Yes};
    const auto deleter = maintenanceChooser(maintenance, schedule, kDeleteMode);
    pick(deleter->list(), 2);
    EXPECT_TRUE(deleter->choose());
    std::vector<RecordRow> rows;
    ASSERT_EQ(maintenanceRows(maintenance, rows), 0);
    EXPECT_EQ(lines(rows), (std::vector<std::string>{"Aerate", "Zamboni"}));
    const std::vector<std::string> shown = shownTexts();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "A name for the maintenance must be specified");
    EXPECT_EQ(shown[1].substr(0, 67),
              "The character \"\xCE\xA9\" (U+03A9) cannot be stored in Type of Maintenance");
    EXPECT_EQ(shown[2].substr(0, 45), "The character \"\xE2\x86\x92\" (U+2192) cannot be stored");
    EXPECT_EQ(shown[3], "Are you sure you want to delete this maintenance item?");
}

TEST_F(EditorDialogTest, AnItemsListSaysWhenTheItemIsGoneAndStillShowsTheDetail) {
    const long rec = addItem("Mowing");
    bookItem({2026, 3, 12}, "Court 4", 6, "Mowing");
    runs.script = {[&](QDialog& d) {
        auto& list = dynamic_cast<CMaintResDlg&>(d);
        EXPECT_EQ(list.windowTitle(), "List of Reservations for Mowing");
        EXPECT_EQ(list.rows().size(), 1u);
        EXPECT_EQ(deleteMaintenance(maintenance, rec), 0);  // meanwhile
        pick(list.list(), 0);
        runs.script.push_back([](QDialog& detail) {
            EXPECT_EQ(editText(detail, CShowReservation::kReservedFor), "Mowing");
            return int(QDialog::Rejected);
        });
        list.showReservation();
        return int(QDialog::Accepted);
    }};
    const auto chooser = maintenanceChooser(maintenance, schedule, kReservationsMode);
    pick(chooser->list(), 0);
    EXPECT_TRUE(chooser->choose());
    EXPECT_EQ(runs.opened, (std::vector<int>{157, 136}));
    EXPECT_EQ(shownTexts(),
              (std::vector<std::string>{"Could not read maintenance item from database"}));
}

TEST_F(EditorDialogTest, ADamagedCustomerTableShowsWhatItHoldsAndSaysSo) {
    for (const char* last : {"Adams", "Baker", "Clark"}) addPerson({"Ann", "", last, "5", "", ""});
    people.Close();
    for (const auto& e : std::filesystem::directory_iterator(dir.path))
        if (e.path().filename() == "RECPEOPLE.DBF")
            std::filesystem::resize_file(e.path(), std::filesystem::file_size(e.path()) - 300);
    ASSERT_EQ(people.Open(group), 0);
    const auto chooser = customerChooser(people, schedule, kListMode);
    EXPECT_EQ(chooser->rows().size(), 2u);
    EXPECT_EQ(shownTexts(),
              (std::vector<std::string>{"Could not read the customer list from database (-70)"}));
}

TEST_F(EditorDialogTest, HelpButtonsNameTheirTopics) {
    const PersonFields none;
    const auto chooser = customerChooser(people, schedule, kListMode);
    CListPerson card(none);
    CPersonResDlg res(schedule, {"A", "", "B", ""}, {2026, 3, 10});
    CAddMaint add(maintenance);
    const auto mchooser = maintenanceChooser(maintenance, schedule, kListMode);
    CListMaint mcard({"x", ""});
    CMaintResDlg mres(schedule, maintenance, "x", {2026, 3, 10});
    const std::pair<QDialog*, int> buttons[] = {
        {chooser.get(), 1090},  {&card, 1118},  {&res, 1091}, {&add, 1171},
        {mchooser.get(), 1173}, {&mcard, 1172}, {&mres, 1170}};
    for (const auto& [d, id] : buttons) control<QPushButton>(*d, id)->click();
    EXPECT_EQ(help.requested, (std::vector<unsigned>{0x20089, 0x20097, 0x2008a, 0x2009b, 0x2009c,
                                                     0x2009e, 0x2009d}));
    for (unsigned id : {135u, 137u, 138u, 151u, 155u, 156u, 157u, 158u})
        EXPECT_TRUE(HelpService::topicHtml(helpContext(id)).contains("<h2>")) << id;
}

TEST(EditorCommands, TheCustomerMaintenanceAndViewCommandsAreRegistered) {
    clearGroupCommands();
    const int ids[] = {cmd::kModifyCustomer,       cmd::kDeleteCustomer,    cmd::kListCustomers,
                       cmd::kCustomerReservations, cmd::kAddMaintenance,    cmd::kDeleteMaintenance,
                       cmd::kListMaintenance,      cmd::kModifyMaintenance, cmd::kShowMaintenance};
    for (int id : ids) EXPECT_FALSE(groupCommand(id)) << id;
    installDialogCommands();
    for (int id : ids) EXPECT_TRUE(groupCommand(id)) << id;
    clearGroupCommands();
}

}  // namespace
}  // namespace quorvane
