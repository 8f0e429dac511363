// The menus, toolbar, accelerators and context help of the main window, against the command
// table the program is documented with.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/ContextHelp.h"
#include "app/DocumentManager.h"
#include "app/GroupCommands.h"
#include "app/MainFrame.h"
#include "app/ToolbarIcons.h"
#include "app/ZUKRecView.h"
#include "platform/AppSettings.h"
#include "platform/DialogButtons.h"
#include "platform/Help.h"
#include "shell_fakes.h"

using namespace quorvane;
using namespace quorvane::testing;

namespace {

struct Item {
    int id;
    const char* text;  // with "\t" and the shortcut
    const char* prompt;
};
struct MenuSpec {
    const char* title;
    std::vector<Item> items;
};

const Item kNew{57600, "&New Group\tCtrl+N", "Create a new group"};
const Item kOpen{57601, "&Open Group...\tCtrl+O", "Open an existing group"};
const Item kSetup{57606, "P&rint Setup...", "Change the printer and printing options"};
const Item kExit{57665, "E&xit", "Quit the application"};
const Item kToolbar{59392, "&Toolbar", "Show or hide the toolbar"};
const Item kStatus{59393, "&Status Bar", "Show or hide the status bar"};
const Item kTopics{57667, "&Help Topics", "List Help topics"};
const Item kAbout{57664, "&About ZUKRec...",
                  "Display program information, version number and copyright"};

const std::vector<MenuSpec> kMenu128 = {
    {"&File", {kNew, kOpen, kSetup, kExit}},
    {"&View", {kToolbar, kStatus}},
    {"&Help", {kTopics, kAbout}},
};

const std::vector<MenuSpec> kMenu129 = {
    {"&File",
     {kNew,
      kOpen,
      {57602, "&Close Group", "Close the active group"},
      {57607, "&Print...\tCtrl+P", "Print the active document"},
      {57609, "Print Pre&view", "Display full pages"},
      kSetup,
      kExit}},
    {"&Edit",
     {{32782, "Delete &Old Reservations", "Delete old reservations"},
      {32795, "Modify &Group Information", "Change the description of a group"}}},
    {"&Facilities",
     {{32771, "Add F&acility", "Add a new facility to the group"},
      {32805, "&Modify/Delete Facility", "To modify or delete..right click on facility icon"}}},
    {"&Customers",
     {{32775, "&Add Customer", "Add a new customer to database"},
      {32776, "&Delete Customer", "Delete a customer from the database"},
      {32803, "&List Customers", "List the customers who can reserve items in this group"},
      {32777, "&Modify Customer", "Modify information about a customer"},
      {32818, "E&xport to Text File", "Export customers to a comma delimited text file"},
      {32819, "&Export to Address File", "Export to an Postrel address file"},
      // Our one addition to the documented menus: the calendar export, after the other two.
      {32820, "Export to &Calendar File...", "Export the coming reservations to a calendar file"}}},
    {"Maintenance",
     {{32812, "&Add Maintenace", "Add a maintenance item"},
      {32813, "&Delete Maintenance", "Delete a maintenance item"},
      {32814, "&List Maintenance", "List maintenance items"},
      {32815, "&Modify Maintenance", "Modify a maintenance item"}}},
    {"&View",
     {{32778, "A &Day's Reservations", "Show a day's reservations"},
      {32779, "A &Customer's Reservations", "Show all reservations for a customer"},
      {32817, "&Maintenance", "Show all blocks reserved for a maintenance type"},
      {32821, "&All Reservations", "Show some or all reservations for the current group"},
      {32806, "&Utilization", "Calculate utilization of items"},
      kToolbar,
      kStatus,
      {32796, "P&references...", "View preferences"}}},
    {"&Window",
     {{57648, "&New Window", "Open another window for the active group"},
      {57650, "&Cascade", "Arrange windows so they overlap"},
      {57651, "&Tile", "Arrange windows as non-overlapping tiles"}}},
    {"&Help", {kTopics, kAbout}},
};

class CommandsTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        QApplication::setActiveWindow(frame.get());
    }
    void TearDown() override {
        ContextHelpMode::leave();
        FrameTest::TearDown();
    }
    // Every menu's title and its visible commands in order (separators and the unused
    // recent-file entries left out), each as its text with the shortcut after a tab.
    void expectMenus(const std::vector<MenuSpec>& expected) {
        const QList<QAction*> menus = frame->menuBar()->actions();
        ASSERT_EQ(menus.size(), qsizetype(expected.size()));
        for (size_t m = 0; m < expected.size(); ++m) {
            SCOPED_TRACE(expected[m].title);
            EXPECT_EQ(menus[m]->text(), expected[m].title);
            std::vector<QAction*> shown;
            for (QAction* a : menus[m]->menu()->actions()) {
                const int id = a->objectName().toInt();
                const bool recent = id >= cmd::kFileMru1 && id < cmd::kFileMru1 + 4;
                if (!a->isSeparator() && !recent) shown.push_back(a);
            }
            ASSERT_EQ(shown.size(), expected[m].items.size());
            for (size_t i = 0; i < shown.size(); ++i) {
                const Item& item = expected[m].items[i];
                QString text = shown[i]->text();
                if (!shown[i]->shortcut().isEmpty()) text += "\t" + shown[i]->shortcut().toString();
                EXPECT_EQ(shown[i]->objectName(), QString::number(item.id));
                EXPECT_EQ(text, item.text);
                EXPECT_EQ(shown[i]->statusTip(), item.prompt) << item.id;
            }
        }
    }
};

TEST_F(CommandsTest, BothMenusListTheirCommandsWithTextsIdsAndPromptsInOrder) {
    expectMenus(kMenu128);
    ASSERT_NE(docs.openDocument(writeGroup("Pools.rec", "Pools")), nullptr);
    expectMenus(kMenu129);
}

TEST_F(CommandsTest, ToolbarHasItsButtonsInOrderWithTipsAndSharpIcons) {
    struct Button {
        int id;
        const char* tip;
    };
    const std::vector<Button> expected = {
        {57600, "New"},
        {57601, "Open"},
        {0, nullptr},
        {32775, "Add Customer"},
        {32771, "Add Facility"},
        {32778, "Day at a Glance"},
        {0, nullptr},
        {57607, "Print"},
        {0, nullptr},
        {57664, "About"},
        {57669, "Help"},
    };
    const QList<QAction*> actions = frame->toolBar()->actions();
    ASSERT_EQ(actions.size(), qsizetype(expected.size()));
    EXPECT_EQ(frame->toolBar()->iconSize(), QSize(17, 16));
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].id == 0) {
            EXPECT_TRUE(actions[i]->isSeparator()) << i;
            continue;
        }
        const int id = expected[i].id;
        EXPECT_EQ(actions[i]->objectName(), QString::number(id));
        EXPECT_EQ(actions[i]->toolTip(), expected[i].tip);
        // Drawn, not blank, at the button size and at twice it for high-density screens.
        for (qreal ratio : {1.0, 2.0}) {
            const QImage image = actions[i]->icon().pixmap(QSize(17, 16), ratio).toImage();
            ASSERT_EQ(image.size(), QSize(int(17 * ratio), int(16 * ratio))) << id;
            int painted = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) painted += qAlpha(image.pixel(x, y)) > 0;
            EXPECT_GT(painted, image.width() * image.height() / 5) << id << " at " << ratio;
        }
    }
    // The Day at a Glance button is the View menu's "A &Day's Reservations".
    EXPECT_EQ(actions[5], frame->action(cmd::kDayReservations));
    EXPECT_TRUE(toolbarIcon(cmd::kExportText).isNull());
}

TEST_F(CommandsTest, AcceleratorsReachTheirCommands) {
    EXPECT_EQ(frame->action(57600)->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(frame->action(57601)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(frame->action(57607)->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_EQ(frame->action(57668)->shortcut(), QKeySequence("F1"));
    EXPECT_EQ(frame->action(57669)->shortcut(), QKeySequence("Shift+F1"));

    // F1: the main window's topic (the contents), then the group window's.
    QTest::keyClick(frame.get(), Qt::Key_F1);
    ASSERT_NE(docs.openDocument(writeGroup("Pools.rec", "Pools")), nullptr);
    QTest::keyClick(frame.get(), Qt::Key_F1);
    EXPECT_EQ(help.requested, (std::vector<unsigned>{0x20080, 0x20081}));
    // Shift+F1 works with the toolbar hidden too.
    frame->action(cmd::kViewToolbar)->setChecked(false);
    QTest::keyClick(frame.get(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(ContextHelpMode::active());
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    EXPECT_FALSE(ContextHelpMode::active());
    EXPECT_EQ(help.requested.size(), 2u) << "Escape leaves context help without a topic";

    frame->action(cmd::kHelpFinder)->trigger();
    EXPECT_EQ(help.requested.back(), kHelpContents);
    // "&Modify/Delete Facility" only explains where the work is done.
    frame->action(cmd::kModifyDeleteFacility)->trigger();
    EXPECT_EQ(promptTexts(), (std::vector<QString>{"To modify or delete a facility, right click "
                                                   "on the facility and select modify or delete"}));
}

TEST_F(CommandsTest, TheDayChartCommandGetsTheWindowsOwnStartHourAndColour) {
    // The window keeps the copies it read when it opened; the store may say otherwise since.
    AppSettings(*store).setStartHour(8);
    std::vector<std::pair<int, int>> seen;
    registerGroupCommand(cmd::kDayReservations, [&](CZUKRecDoc&, QWidget* parent) {
        const ViewPreferences p = viewPreferencesOf(parent);
        seen.emplace_back(p.startHour, p.occupiedColor);
    });
    DocumentManager documents;
    CMainFrame withChart(documents);
    // No group window: the toolbar's group buttons are disabled as the menu does not offer
    // them; a handler or the window's own command enables them with a group open.
    const int toolbarGroupButtons[] = {cmd::kDayReservations, cmd::kAddCustomer, cmd::kAddFacility};
    for (int id : toolbarGroupButtons) EXPECT_FALSE(withChart.action(id)->isEnabled()) << id;
    ASSERT_NE(documents.openDocument(writeGroup("Pools.rec", "Pools")), nullptr);
    ASSERT_TRUE(withChart.action(cmd::kDayReservations)->isEnabled()) << "a handler: enabled";
    EXPECT_TRUE(withChart.action(cmd::kAddFacility)->isEnabled());
    EXPECT_FALSE(withChart.action(cmd::kAddCustomer)->isEnabled()) << "no handler registered";
    CZUKRecView* view = withChart.activeFrame()->view();
    view->preferences().startHour = 10;
    view->preferences().occupiedColor = 0x00123456;
    withChart.action(cmd::kDayReservations)->trigger();
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{10, 0x00123456}}));
    EXPECT_EQ(viewPreferencesOf(nullptr).startHour, 8) << "no window: the stored settings";
    clearGroupCommands();
    documents.closeAll();
}

TEST_F(CommandsTest, HelpWindowsCloseWithEscapeAndWithTheMainWindow) {
    // A help window left open kept the program running after Exit, with no window to see.
    QtHelpService qtHelp;
    setAppHelp(&qtHelp);
    auto helpWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "help" && w->isVisible()) return w;
        return static_cast<QWidget*>(nullptr);
    };
    qtHelp.showTopic(kHelpContents);
    QWidget* shown = helpWindow();
    ASSERT_NE(shown, nullptr);
    QTest::keyClick(shown, Qt::Key_Escape);
    EXPECT_EQ(helpWindow(), nullptr) << "Escape closes it";
    qtHelp.showTopic(kHelpGroupWindow);
    ASSERT_NE(helpWindow(), nullptr);
    frame->close();
    EXPECT_EQ(helpWindow(), nullptr) << "closed with the main window";
    setAppHelp(&help);
}

TEST_F(CommandsTest, ContextHelpFindsTheTopicOfWhatIsClicked) {
    struct Case {
        int command;
        unsigned topic;
    };
    // Commands whose dialog has a page answer with it; the others with their window's.
    for (const Case& c : std::vector<Case>{{57600, 0x20082},
                                           {32771, 0x20083},
                                           {32795, 0x2008d},
                                           {32782, 0x2008c},
                                           {32796, 0x2006b},
                                           {57664, 0x20064},
                                           {57607, 0x20081},
                                           {32805, 0x20081},
                                           {57648, 0x20081},
                                           {57601, 0x20080},
                                           {59392, 0x20080},
                                           {57667, 0x20080}})
        EXPECT_EQ(commandHelpTopic(c.command), c.topic) << c.command;
    // Commands of the layers above the window reach their dialog's page once it is bundled,
    // the group window's until then.
    for (const Case& c : std::vector<Case>{{32775, 0x20087},
                                           {32776, 0x20089},
                                           {32779, 0x20089},
                                           {32812, 0x2009b},
                                           {32817, 0x2009c},
                                           {32778, 0x2008b},
                                           {32821, 0x200a5},
                                           {32806, 0x20098}}) {
        const bool bundled = !HelpService::topicHtml(c.topic).isEmpty();
        EXPECT_EQ(commandHelpTopic(c.command), bundled ? c.topic : kHelpGroupWindow) << c.command;
    }

    // A control inside a dialog gives the dialog's topic.
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName("1111");
    layout->addWidget(edit);
    addDialogButtons(&dialog, layout, 141, 1095, true);
    EXPECT_EQ(widgetHelpTopic(edit), 0x2008du);
    EXPECT_EQ(widgetHelpTopic(frame.get()), kHelpContents);
    EXPECT_EQ(widgetHelpTopic(nullptr), kHelpContents);

    // The group window, and a menu command under the pointer.
    ASSERT_NE(docs.openDocument(writeGroup("Pools.rec", "Pools")), nullptr);
    EXPECT_EQ(widgetHelpTopic(frame->activeFrame()->view()), kHelpGroupWindow);
    QMenu* edits = frame->menuBar()->actions()[1]->menu();
    edits->popup(QPoint(0, 0));
    const QRect modifyGroup = edits->actionGeometry(frame->action(cmd::kModifyGroup));
    EXPECT_EQ(widgetHelpTopic(edits, modifyGroup.center()), 0x2008du);
    edits->close();

    // The mode: Shift+F1's button, then a click on a toolbar button shows that button's topic
    // and does not run its command.
    int commandsRun = 0;
    QObject::connect(frame.get(), &CMainFrame::commandTriggered, [&](int) { ++commandsRun; });
    frame->action(cmd::kContextHelp)->trigger();
    ASSERT_TRUE(ContextHelpMode::active());
    QToolButton* about = nullptr;
    for (QToolButton* b : frame->toolBar()->findChildren<QToolButton*>())
        if (b->defaultAction() == frame->action(cmd::kAppAbout)) about = b;
    ASSERT_NE(about, nullptr);
    QTest::mouseClick(about, Qt::LeftButton);
    EXPECT_FALSE(ContextHelpMode::active());
    EXPECT_EQ(help.requested, std::vector<unsigned>{0x20064});
    EXPECT_EQ(commandsRun, 0) << "the About box itself did not open";
    about->defaultAction()->trigger();
    EXPECT_EQ(commandsRun, 1);
}

}  // namespace
