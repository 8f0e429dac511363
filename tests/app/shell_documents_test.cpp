// Creating and opening groups through the document layer, and the main frame's windows.
#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/ChildFrame.h"
#include "app/DocumentManager.h"
#include "app/MainFrame.h"
#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "shell_fakes.h"

using namespace quorvane;
using quorvane::testing::FrameTest;
using quorvane::testing::ShellTest;

namespace {

class DocumentTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        CZUKRecDoc::resetUntitledCounter();
    }
};

TEST_F(DocumentTest, NewGroupWritesAnEmptyGroupFileWithTheNormalisedType) {
    store->setString("Recent File List", "File1", path("parks/Pools.rec"));
    dialogs.newGroupAnswers.push_back(NewGroupChoice{"tennis Courts", "North Park"});
    const QString target = path("parks/Courts.rec");
    QDir().mkpath(path("parks"));
    dialogs.fileAnswers.push_back(target);

    DocumentManager docs;
    CZUKRecDoc* doc = docs.newDocument();
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.title, "Select a Path and Name for the New Group File");
    EXPECT_EQ(request.filter, "Recreation Files (*.rec);;All Files (*)");
    EXPECT_EQ(request.fileName, "Tennis Courts.rec");
    EXPECT_EQ(request.folder, path("parks") + "/");
    EXPECT_FALSE(request.mustExist);

    EXPECT_EQ(doc->typeName(), "Tennis Courts");
    EXPECT_EQ(doc->lowerTypeName(), "tennis Courts");
    EXPECT_EQ(doc->title(), "Tennis Courts - North Park");
    EXPECT_EQ(doc->groupFilePath(), target);
    EXPECT_EQ(doc->basePath(), path("parks/Courts"));
    EXPECT_EQ(doc->stampPath(), path("parks/CourtsUpdate.bin"));
    EXPECT_EQ(readAll(target), groupBytes("Tennis Courts", "North Park"));
    ASSERT_EQ(docs.recentFiles().entries().size(), 1) << "a created group is a recent file";
    EXPECT_EQ(docs.recentFiles().entries().front(), target);
    EXPECT_TRUE(QFileInfo::exists(doc->stampPath())) << "the change stamp is created with it";
    EXPECT_EQ(QFileInfo(doc->stampPath()).size(), 60);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(DocumentTest, NewGroupWithoutDescriptionIsTitledByRunningNumber) {
    QDir().mkpath(path("a"));
    DocumentManager docs;
    for (const char* name : {"a/one.rec", "a/two.rec"}) {
        dialogs.newGroupAnswers.push_back(NewGroupChoice{"Misc", ""});
        dialogs.fileAnswers.push_back(path(name));
    }
    EXPECT_EQ(docs.newDocument()->title(), "ZUKRec1");
    EXPECT_EQ(docs.newDocument()->title(), "ZUKRec2");
    EXPECT_TRUE(dialogs.fileRequests[0].folder.isEmpty()) << "no File1: no initial folder";
}

TEST_F(DocumentTest, NewGroupRefusesAnyExistingFileAndCancelsQuietly) {
    const QString existing = writeFile("notes.rec", "not a group at all");
    DocumentManager docs;

    dialogs.newGroupAnswers.push_back(NewGroupChoice{"Pools", ""});
    dialogs.fileAnswers.push_back(existing);
    EXPECT_EQ(docs.newDocument(), nullptr);
    EXPECT_EQ(promptTexts(),
              std::vector<QString>{"A group already exists with this name, try again."});
    EXPECT_EQ(readAll(existing), "not a group at all");

    prompter.shown.clear();
    EXPECT_EQ(docs.newDocument(), nullptr) << "Cancel of the New Group dialog";
    EXPECT_EQ(dialogs.fileRequests.size(), 1u) << "no file dialog after a cancelled New Group";
    dialogs.newGroupAnswers.push_back(NewGroupChoice{"Pools", ""});
    EXPECT_EQ(docs.newDocument(), nullptr) << "Cancel of the file dialog";
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(docs.documents().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("Pools.rec")));

    // A folder that cannot take the file: the write's message, and no group.
    dialogs.newGroupAnswers.push_back(NewGroupChoice{"Pools", ""});
    dialogs.fileAnswers.push_back(path("no/such/folder/Pools.rec"));
    EXPECT_EQ(docs.newDocument(), nullptr);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_TRUE(prompter.shown[0].text.contains("Pools.rec"));
    EXPECT_TRUE(docs.documents().isEmpty());
}

TEST_F(DocumentTest, DamagedGroupFilesAreRefusedWithAMessage) {
    QByteArray tooMany = groupBytes("Pools", "");
    tooMany[0] = char(16);
    const QString files[] = {
        writeFile("short.rec", QByteArray("\x00\x00\x00\x01\x00\x05Pools", 11)),
        writeFile("many.rec", tooMany), writeFile("empty.rec", ""), path("missing.rec")};
    DocumentManager docs;
    for (const QString& file : files) {
        prompter.shown.clear();
        EXPECT_EQ(docs.openDocument(file), nullptr) << file.toStdString();
        ASSERT_EQ(prompter.shown.size(), 1u) << file.toStdString();
        EXPECT_TRUE(prompter.shown[0].text.contains(QFileInfo(file).fileName()));
    }
    EXPECT_TRUE(docs.documents().isEmpty());
    EXPECT_TRUE(docs.recentFiles().entries().isEmpty());
}

TEST_F(DocumentTest, HeaderLineFollowsCountTypeAndDescription) {
    EXPECT_EQ(groupHeaderText(0, "Tennis Courts", ""),
              "0 Tennis Courts  (click icon for reservations)");
    EXPECT_EQ(groupHeaderText(1, "Tennis Courts", "North Park"),
              "1 Tennis Court - North Park  (click icon for reservations)");
    EXPECT_EQ(groupHeaderText(1, "Glass", ""), "1 Gla  (click icon for reservations)");
    EXPECT_EQ(groupHeaderText(4, "Pools", ""), "4 Pools  (click icon for reservations)");
    EXPECT_EQ(groupHeaderX(0, 300, 7), 21);
    EXPECT_EQ(groupHeaderX(2, 100, 7), 160);
    EXPECT_EQ(groupHeaderX(3, 100, 7), 237);
    EXPECT_EQ(groupHeaderX(3, 1000, 7), 7) << "never left of one character";
}

class MainFrameTest : public FrameTest {
protected:
    QStringList menuTitles() const {
        QStringList titles;
        for (QAction* a : frame->menuBar()->actions()) titles << a->text();
        return titles;
    }
};

TEST_F(MainFrameTest, MenusSwitchBetweenTheMainAndTheGroupMenu) {
    EXPECT_EQ(frame->currentMenuId(), 128);
    EXPECT_EQ(menuTitles(), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(frame->windowTitle(), "Quorvane");

    CZUKRecDoc* doc = docs.openDocument(writeGroup("Pools.rec", "Pools"));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(frame->currentMenuId(), 129);
    EXPECT_EQ(menuTitles(), (QStringList{"&File", "&Edit", "&Facilities", "&Customers",
                                         "Maintenance", "&View", "&Window", "&Help"}));
    EXPECT_EQ(frame->windowTitle(), "Quorvane - Pools.rec");
    // Later commands are present but cannot be chosen yet.
    EXPECT_FALSE(frame->action(32775)->isEnabled());
    EXPECT_FALSE(frame->action(32778)->isEnabled());
    EXPECT_TRUE(frame->action(57607)->isEnabled());
    EXPECT_TRUE(frame->action(32796)->isEnabled());

    frame->action(57602)->trigger();  // Close Group
    EXPECT_TRUE(docs.documents().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frame->currentMenuId(), 128);
    EXPECT_EQ(frame->windowTitle(), "Quorvane");
}

TEST_F(MainFrameTest, NewWindowShowsTheGroupTwiceAndTheGroupClosesWithItsLastWindow) {
    CZUKRecDoc* doc = docs.openDocument(writeGroup("Pools.rec", "Pools"));
    ASSERT_NE(doc, nullptr);
    frame->action(57648)->trigger();
    QList<CChildFrame*> windows = frame->framesOf(doc);
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(windows[0]->windowTitle(), "Pools.rec:1");
    EXPECT_EQ(windows[1]->windowTitle(), "Pools.rec:2");
    frame->action(57650)->trigger();  // Cascade
    frame->action(57651)->trigger();  // Tile

    // The Window menu lists both windows, the active one checked; choosing one activates it.
    QMenu* windowMenu = nullptr;
    for (QAction* a : frame->menuBar()->actions())
        if (a->text() == "&Window") windowMenu = a->menu();
    ASSERT_NE(windowMenu, nullptr);
    emit windowMenu->aboutToShow();
    QStringList entries;
    for (QAction* a : windowMenu->actions())
        if (a->isCheckable()) entries << a->text() + (a->isChecked() ? "*" : "");
    EXPECT_EQ(entries, (QStringList{"&1 Pools.rec:1", "&2 Pools.rec:2*"}));
    windowMenu->actions().constLast()->trigger();
    windowMenu->actions()[windowMenu->actions().size() - 2]->trigger();
    EXPECT_EQ(frame->activeFrame(), windows[0]);

    // Help Topics: the contents page; F1: the group window's topic.
    frame->action(57667)->trigger();
    frame->action(57668)->trigger();
    EXPECT_EQ(help.requested, (std::vector<unsigned>{0x20080u, 0x20081u}));

    windows[1]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(docs.documents().size(), 1) << "one window of the group is still open";
    ASSERT_EQ(frame->frames().size(), 1);
    EXPECT_EQ(frame->frames()[0]->windowTitle(), "Pools.rec");
    EXPECT_EQ(frame->currentMenuId(), 129);

    frame->frames()[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(docs.documents().isEmpty());
    EXPECT_EQ(frame->currentMenuId(), 128);
}

TEST_F(MainFrameTest, ToolbarButtonsPromptsAndTips) {
    QStringList ids;
    for (QAction* a : frame->toolBar()->actions())
        ids << (a->isSeparator() ? QString("|") : a->objectName());
    EXPECT_EQ(ids, (QStringList{"57600", "57601", "|", "32775", "32771", "32778", "|", "57607", "|",
                                "57664", "57669"}));
    EXPECT_EQ(frame->action(32775)->toolTip(), "Add Customer");
    EXPECT_EQ(frame->action(32771)->toolTip(), "Add Facility");
    EXPECT_EQ(frame->action(32778)->toolTip(), "Day at a Glance");
    EXPECT_EQ(frame->action(57600)->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(frame->action(57601)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(frame->action(57607)->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_EQ(frame->action(32805)->statusTip(),
              "To modify or delete..right click on facility icon");
    EXPECT_EQ(frame->action(32819)->statusTip(), "Export to an Postrel address file");
    EXPECT_EQ(frame->action(32812)->text(), "&Add Maintenace");

    // Hovering shows the prompt in the status bar's message pane.
    frame->action(57601)->showStatusText(frame.get());
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Open an existing group");
    frame->action(57606)->showStatusText(frame.get());
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Change the printer and printing options");
    for (const char* id : {"59137", "59138", "59139"})
        EXPECT_NE(frame->findChild<QLabel*>(id), nullptr);
}

TEST_F(MainFrameTest, DroppedGroupFilesOpenAndOtherFilesAreIgnored) {
    const QString a = writeGroup("a.rec", "Pools");
    const QString b = writeGroup("b.REC", "Pools");
    const QString text = writeFile("c.txt", "hello");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(text), QUrl::fromLocalFile(b)});
    const QPoint centre = frame->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frame.get(), &drop);
    ASSERT_EQ(docs.documents().size(), 2);
    EXPECT_TRUE(prompter.shown.empty());

    QMimeData onlyText;
    onlyText.setUrls({QUrl::fromLocalFile(text)});
    QDragEnterEvent refused(centre, Qt::CopyAction, &onlyText, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QCoreApplication::sendEvent(frame.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
