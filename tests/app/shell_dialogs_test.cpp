// The About box, the New Group dialog, the Preferences sheet and the small shell helpers.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/AboutDlg.h"
#include "app/AppDialogs.h"
#include "app/LockIndicators.h"
#include "app/Preferences.h"
#include "app/RecentFileList.h"
#include "app/StartupDlg.h"
#include "platform/AppSettings.h"
#include "shell_fakes.h"

using namespace quorvane;
using quorvane::testing::ShellTest;

namespace {

class AboutTest : public ShellTest {};

TEST_F(AboutTest, VersionAndSamplesLines) {
    EXPECT_EQ(CAboutDlg::versionText(2, 7), "Version 2.07");
    EXPECT_EQ(CAboutDlg::versionText(1, 0), "Version 1.00");
    EXPECT_EQ(CAboutDlg::versionText(3, 12), "Version 3.12");
    EXPECT_EQ(CAboutDlg::samplesText("", ""), "Samples not installed");
    EXPECT_EQ(CAboutDlg::samplesText("/opt/quorvane", ""), "/opt/quorvane/Samples/");
    EXPECT_EQ(CAboutDlg::samplesText("/opt/quorvane/", "/usr/share/quorvane/samples"),
              "/opt/quorvane/Samples/");
    EXPECT_EQ(CAboutDlg::samplesText("", "/usr/share/quorvane/samples"),
              "/usr/share/quorvane/samples/");

    CAboutDlg box;
    EXPECT_EQ(box.windowTitle(), "About Quorvane");
    EXPECT_EQ(box.findChild<QLabel*>("1182")->text(),
              CAboutDlg::versionText(QUORVANE_VERSION_MAJOR, QUORVANE_VERSION_MINOR));
    auto* samples = box.findChild<QLineEdit*>("1194");
    ASSERT_NE(samples, nullptr);
    EXPECT_TRUE(samples->isReadOnly());
    EXPECT_EQ(samples->text(), "Samples not installed");  // nothing installed beside the tests
    EXPECT_FALSE(box.splashTimerActive());

    store->setString("Data", "DataDir", "/srv/rec");
    CAboutDlg withData;
    EXPECT_EQ(withData.findChild<QLineEdit*>("1194")->text(), "/srv/rec/Samples/");
}

TEST_F(AboutTest, SplashClosesItselfAndOkStopsItsTimer) {
    CAboutDlg splash(nullptr, 40);
    EXPECT_TRUE(splash.splashTimerActive());
    splash.show();
    QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 3000);
    EXPECT_FALSE(splash.splashTimerActive());
    EXPECT_EQ(splash.result(), QDialog::Accepted);

    CAboutDlg pressed(nullptr, 60000);
    pressed.show();
    QTest::mouseClick(pressed.findChild<QPushButton*>("1"), Qt::LeftButton);
    EXPECT_FALSE(pressed.isVisible());
    EXPECT_FALSE(pressed.splashTimerActive());
}

class NewGroupDialogTest : public ShellTest {
protected:
    CStartupDlg dlg;
    QRadioButton* type(int position) {
        return dlg.findChild<QRadioButton*>(
            QString::number(CStartupDlg::kFirstTypeButton + position));
    }
    QLineEdit* other() {
        return dlg.findChild<QLineEdit*>(QString::number(CStartupDlg::kOtherEdit));
    }
};

TEST(NewGroupRules, TypeNameAndTheMessageWithoutOne) {
    struct Case {
        NewGroupForm form;
        const char* typeName;  // empty: refused
    };
    const Case cases[] = {
        {{-1, "Ice Rinks", ""}, ""},
        {{0, "", ""}, "SoftBall Fields"},
        {{8, "Ice Rinks", ""}, "Misc"},
        {{9, "", "West Side"}, ""},
        {{9, "Ice Rinks", "West Side"}, "Ice Rinks"},
        {{10, "Ice Rinks", ""}, ""},
    };
    const Message refusal{"You must specify a group type", "No Group Type", PromptIcon::None};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form.position);
        EXPECT_EQ(newGroupTypeName(c.form), c.typeName);
        const std::optional<Message> message = checkNewGroup(c.form);
        if (*c.typeName)
            EXPECT_FALSE(message);
        else
            EXPECT_EQ(message, refusal);
    }
}

TEST_F(NewGroupDialogTest, RefusesOkWithoutAType) {
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "New Group Information");
    EXPECT_EQ(dlg.form().position, -1);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(type(i)->isChecked());

    QTest::mouseClick(dlg.findChild<QPushButton*>("1"), Qt::LeftButton);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "You must specify a group type");
    EXPECT_EQ(prompter.shown[0].caption, "No Group Type");
    EXPECT_TRUE(dlg.isVisible()) << "the dialog stays open";

    // "Other" with an empty text is no type either.
    type(9)->click();
    EXPECT_TRUE(other()->isEnabled());
    EXPECT_FALSE(dlg.validate());
    EXPECT_EQ(prompter.shown.size(), 2u);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(NewGroupDialogTest, OtherEditFollowsTheOtherButtonAndKeepsItsText) {
    EXPECT_FALSE(other()->isEnabled());
    EXPECT_EQ(other()->maxLength(), 40);
    EXPECT_EQ(
        dlg.findChild<QLineEdit*>(QString::number(CStartupDlg::kDescriptionEdit))->maxLength(), 40);
    type(9)->click();
    EXPECT_TRUE(other()->isEnabled());
    QTest::keyClicks(other(), "Ice Rinks");
    type(4)->click();
    EXPECT_FALSE(other()->isEnabled());
    EXPECT_EQ(other()->text(), "Ice Rinks");
    ASSERT_TRUE(dlg.validate());
    EXPECT_EQ(dlg.typeName(), "Tennis Courts") << "a chosen type ignores the Other text";
    type(9)->click();
    NewGroupForm described = dlg.form();
    described.description = "West Side";
    dlg.setForm(described);
    ASSERT_TRUE(dlg.validate());
    EXPECT_EQ(dlg.typeName(), "Ice Rinks");
    EXPECT_EQ(dlg.description(), "West Side");
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(NewGroupDialogTest, FormGoesInAndOutOfTheControls) {
    const NewGroupForm typed{CStartupDlg::kOtherPosition, "Ice Rinks", "West Side"};
    dlg.setForm(typed);
    EXPECT_EQ(dlg.form(), typed);
    EXPECT_TRUE(other()->isEnabled());
    const NewGroupForm none{-1, "Ice Rinks", ""};
    dlg.setForm(none);
    EXPECT_EQ(dlg.form(), none);
    EXPECT_FALSE(other()->isEnabled());
    EXPECT_FALSE(dlg.validate()) << "no button checked after the form said none";
}

TEST_F(NewGroupDialogTest, StoredTypeNamesAndHelp) {
    const char* stored[] = {"SoftBall Fields",  "Baseball Fields", "Basketball Courts",
                            "Football Fields",  "Tennis Courts",   "Pools",
                            "Recreation Rooms", "Soccer Fields",   "Misc"};
    for (int i = 0; i < 9; ++i) {
        type(i)->click();
        ASSERT_TRUE(dlg.validate());
        EXPECT_EQ(dlg.typeName(), stored[i]);
    }
    EXPECT_EQ(type(0)->text(), "Softball Fields");
    EXPECT_EQ(type(8)->text(), "Miscellaneous");
    EXPECT_EQ(type(9)->text(), "Other (Enter type below)");
    dlg.show();
    QTest::mouseClick(dlg.findChild<QPushButton*>("1"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    QTest::mouseClick(dlg.findChild<QPushButton*>(QString::number(CStartupDlg::kHelpButton)),
                      Qt::LeftButton);
    EXPECT_EQ(help.requested, std::vector<unsigned>{0x20000 + 130});
}

class PreferencesSheetTest : public ShellTest {};

TEST_F(PreferencesSheetTest, StoredZeroDaysOpensCheckedAndOkWritesMinusOne) {
    store->setInt("Reservations", "DeleteOldRes", 0);
    ViewPreferences copies = ViewPreferences::load(AppSettings(*store));
    CPreferences sheet(copies);
    EXPECT_EQ(sheet.windowTitle(), "Preferences");
    auto* days = sheet.findChild<QLineEdit*>("1104");
    auto* never = sheet.findChild<QCheckBox*>("1105");
    EXPECT_EQ(days->text(), "30");
    EXPECT_TRUE(never->isChecked());
    EXPECT_FALSE(days->isEnabled());
    EXPECT_FALSE(sheet.findChild<QLabel*>("1103")->isEnabled());
    ASSERT_TRUE(sheet.setCurrentPage(3));
    never->click();
    EXPECT_TRUE(days->isEnabled());
    never->click();
    ASSERT_TRUE(sheet.store());
    EXPECT_EQ(store->getInt("Reservations", "DeleteOldRes", 99), -1);
    EXPECT_EQ(copies.deleteOldRes, -1);
}

TEST_F(PreferencesSheetTest, BadValuesKeepTheirPage) {
    ViewPreferences copies = ViewPreferences::load(AppSettings(*store));
    CPreferences sheet(copies);
    ASSERT_TRUE(sheet.setCurrentPage(2));
    auto* hour = sheet.findChild<QLineEdit*>("1077");
    EXPECT_EQ(hour->text(), "6");
    hour->setText("13");
    EXPECT_FALSE(sheet.setCurrentPage(4));
    EXPECT_EQ(sheet.currentPage(), 2);
    ASSERT_EQ(promptTexts(), std::vector<QString>{"Enter an integer between 0 and 12."});
    EXPECT_FALSE(sheet.store());
    EXPECT_EQ(store->getInt("DayRes", "StartHour", -7), -7) << "nothing written";

    hour->setText("8");
    ASSERT_TRUE(sheet.setCurrentPage(3));
    auto* days = sheet.findChild<QLineEdit*>("1104");
    EXPECT_FALSE(days->isEnabled()) << "nothing stored: never delete";
    sheet.findChild<QCheckBox*>("1105")->click();
    EXPECT_TRUE(days->isEnabled());
    days->setText("-4");
    prompter.shown.clear();
    EXPECT_FALSE(sheet.store());
    EXPECT_EQ(promptTexts(), std::vector<QString>{"Enter a positive integer."});
    EXPECT_EQ(sheet.currentPage(), 3);
    days->setText("0");
    ASSERT_TRUE(sheet.store());
    EXPECT_EQ(store->getInt("DayRes", "StartHour", -7), 8);
    EXPECT_EQ(store->getInt("Reservations", "DeleteOldRes", -7), 0);
}

TEST_F(PreferencesSheetTest, SelectColorWritesAtOnceAndResetWaitsForOk) {
    ViewPreferences copies = ViewPreferences::load(AppSettings(*store));
    {
        CPreferences sheet(copies);
        ASSERT_TRUE(sheet.setCurrentPage(4));
        dialogs.colorAnswers.push_back(QColor(0, 128, 0));
        sheet.page(4)->findChild<QPushButton*>("1101")->click();
        sheet.reject();  // Cancel
    }
    EXPECT_EQ(store->getInt("Colors", "Occupied", -1), 0x00008000);
    EXPECT_EQ(copies.occupiedColor, 0x000000FF) << "the open view keeps its colour";

    CPreferences sheet(copies);
    ASSERT_TRUE(sheet.setCurrentPage(5));
    sheet.page(5)->findChild<QPushButton*>("1102")->click();
    EXPECT_EQ(sheet.model().unoccupiedColor, 0x0000FF80);
    EXPECT_EQ(store->getInt("Colors", "Unoccupied", -1), -1);
    ASSERT_TRUE(sheet.store());
    EXPECT_EQ(store->getInt("Colors", "Unoccupied", -1), 0x0000FF80);
    EXPECT_EQ(copies.unoccupiedColor, 0x0000FF80);
}

TEST_F(PreferencesSheetTest, ApplyStoresOnlyOnceTheDeletePageWasShown) {
    ViewPreferences copies = ViewPreferences::load(AppSettings(*store));
    CPreferences sheet(copies);
    sheet.findChild<QCheckBox*>("1179")->click();
    auto* apply = sheet.findChild<QPushButton*>("12321");
    EXPECT_TRUE(apply->isEnabled());
    ASSERT_TRUE(sheet.apply());
    EXPECT_EQ(store->getInt("Network", "Refresh", -1), -1);
    ASSERT_TRUE(sheet.setCurrentPage(3));
    ASSERT_TRUE(sheet.apply());
    EXPECT_EQ(store->getInt("Network", "Refresh", -1), 1);
    EXPECT_TRUE(copies.refresh);
    EXPECT_FALSE(apply->isEnabled());
}

TEST(ShellHelpers, FileFilterFolderAndLockLeds) {
    EXPECT_EQ(qtFileFilter("Recreation Files (*.rec)|*.rec|All Files (*.*)|*.*||"),
              "Recreation Files (*.rec);;All Files (*)");
    EXPECT_EQ(qtFileFilter("Text (*.txt;*.csv)|*.txt;*.csv||"), "Text (*.txt *.csv)");
    EXPECT_EQ(folderOfPath("/srv/Parks/Tennis Courts.rec"), "/srv/Parks/");
    EXPECT_EQ(folderOfPath("Tennis Courts.rec"), "");

    QTemporaryDir leds;
    auto led = [&](const QString& name, const QByteArray& value) {
        QDir().mkpath(leds.filePath(name));
        QFile f(leds.filePath(name + "/brightness"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(value);
    };
    led("input3::capslock", "0\n");
    led("input7::capslock", "1\n");
    led("input3::numlock", "0\n");
    EXPECT_EQ(readLockLed(leds.path(), LockKey::Caps), std::optional<bool>(true));
    EXPECT_EQ(readLockLed(leds.path(), LockKey::Num), std::optional<bool>(false));
    EXPECT_EQ(readLockLed(leds.path(), LockKey::Scroll), std::nullopt);
    LockIndicator caps(LockKey::Caps, nullptr, leds.path());
    EXPECT_EQ(caps.text(), "CAP");
    LockIndicator num(LockKey::Num, nullptr, leds.path());
    EXPECT_EQ(num.text(), "");
}

// The export's file dialog: a Save dialog that asks before replacing a file, with its note.
// QUORVANE_SCREENSHOT_DIR=<folder> keeps a picture of it.
TEST(ShellHelpers, SaveDialogAsksBeforeReplacingAndShowsItsNote) {
    QTemporaryDir folder;
    FileDialogRequest request;
    request.title = QStringLiteral("Select a Path and Name for the Exported Customer File");
    request.filter = qtFileFilter(QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*||"));
    request.folder = folder.path();
    request.mustExist = false;
    request.save = true;
    // The text export's note (reports/ sits above this folder, so it is spelled out here).
    request.note = QStringLiteral(
        "Texts that start with =, +, -, @, a tab or a carriage return are written with an "
        "apostrophe in front, so a spreadsheet shows them as text instead of running them as "
        "formulas.");
    bool looked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll.stop();
        looked = true;
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        auto* note = dialog->findChild<QLabel*>(QStringLiteral("note"));
        EXPECT_TRUE(note && note->isVisible() && note->text() == request.note);
        const QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty()) dialog->grab().save(shots + QStringLiteral("/export-dialog.png"));
        dialog->reject();
    });
    poll.start(20);
    QtAppDialogs qt;
    EXPECT_EQ(qt.chooseFile(request, nullptr), QString());
    EXPECT_TRUE(looked);
}

}  // namespace
