// Start-up of the application object, the command line, the Open command and the recent list.
#include <QFileInfo>
#include <QMdiArea>
#include <QTest>
#include <chrono>
#include <future>

#include "app/ChildFrame.h"
#include "app/DocumentManager.h"
#include "app/InstanceChannel.h"
#include "app/MainFrame.h"
#include "app/ZUKRecApp.h"
#include "app/ZUKRecDoc.h"
#include "shell_fakes.h"

using namespace quorvane;
using quorvane::testing::ShellTest;

namespace {

class StartupTest : public ShellTest {};

TEST_F(StartupTest, FirstStartAsksForFirstTimeHelpOnceAndOpensNoGroup) {
    {
        CZUKRecApp app;
        ASSERT_TRUE(app.initInstance({"quorvane"}));
        EXPECT_TRUE(app.documents().documents().isEmpty())
            << "no untitled group on an empty command line";
        EXPECT_EQ(app.mainFrame()->currentMenuId(), 128);
        EXPECT_TRUE(app.mainFrame()->isVisible());
        ASSERT_EQ(dialogs.aboutShown, std::vector<int>{1500})
            << "the splash, closing after 1500 ms";
        EXPECT_EQ(help.requested, std::vector<unsigned>{0x20091});
        EXPECT_EQ(store->getInt("Startup", "StartedBefore", 0), 1);
        app.exitInstance();
    }
    {
        CZUKRecApp app;
        ASSERT_TRUE(app.initInstance({"quorvane"}));
        EXPECT_EQ(help.requested.size(), 1u) << "the second start opens no help";
        EXPECT_EQ(dialogs.aboutShown.size(), 2u);
        EXPECT_EQ(store->getInt("Startup", "StartedBefore", 0), 1);
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(StartupTest, NamedGroupOpensBeforeTheSplashAndSwitchesToTheGroupMenu) {
    store->setInt("Startup", "StartedBefore", 1);
    const QString group =
        writeGroup("parks/Tennis Courts.rec", "Tennis Courts", "North Park", {"Court 1"});
    CZUKRecApp app;
    int openAtSplash = -1;
    bool shownAtSplash = true;
    dialogs.onAbout = [&] {
        openAtSplash = int(app.documents().documents().size());
        shownAtSplash = app.mainFrame()->isVisible();
    };
    ASSERT_TRUE(app.initInstance({"quorvane", group}));
    EXPECT_EQ(openAtSplash, 1);
    EXPECT_FALSE(shownAtSplash) << "the main window shows after the splash";
    EXPECT_TRUE(app.mainFrame()->isVisible());
    EXPECT_TRUE(help.requested.empty());
    ASSERT_EQ(app.documents().documents().size(), 1);
    CZUKRecDoc* doc = app.documents().documents().front();
    EXPECT_EQ(doc->title(), "Tennis Courts - North Park");
    EXPECT_EQ(doc->facilityCount(), 1);
    EXPECT_EQ(app.mainFrame()->currentMenuId(), 129);
    EXPECT_EQ(app.mainFrame()->frames().size(), 1);
    EXPECT_EQ(app.mainFrame()->windowTitle(), "Quorvane - Tennis Courts - North Park");
    EXPECT_EQ(app.documents().recentFiles().entries(),
              QStringList{QFileInfo(group).absoluteFilePath()});
}

TEST_F(StartupTest, UnopenableGroupOnTheCommandLineEndsStartUp) {
    const QString missing = path("nowhere/Pools.rec");
    const QString damaged = writeFile("Short.rec", QByteArray("\x01\x00\x00\x01\x05", 5));
    for (const QString& group : {missing, damaged}) {
        prompter.shown.clear();
        CZUKRecApp app;
        EXPECT_FALSE(app.initInstance({"quorvane", group})) << group.toStdString();
        EXPECT_NE(app.exitCode(), 0);
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_TRUE(prompter.shown[0].text.contains(group)) << prompter.shown[0].text.toStdString();
        EXPECT_TRUE(dialogs.aboutShown.empty()) << "start-up ends before the splash";
    }
}

TEST_F(StartupTest, CommandLineForms) {
    CommandLine plain = parseCommandLine({"quorvane"});
    EXPECT_TRUE(plain.error.isEmpty());
    EXPECT_TRUE(plain.groupPath.isEmpty());
    EXPECT_FALSE(plain.print);

    CommandLine one = parseCommandLine({"quorvane", "/srv/Tennis Courts.rec"});
    EXPECT_EQ(one.groupPath, "/srv/Tennis Courts.rec");
    EXPECT_FALSE(one.print);

    CommandLine print = parseCommandLine({"quorvane", "--print", "a.rec"});
    EXPECT_TRUE(print.print);
    EXPECT_EQ(print.groupPath, "a.rec");

    EXPECT_TRUE(parseCommandLine({"quorvane", "--help"}).output.contains("--print"));
    EXPECT_TRUE(parseCommandLine({"quorvane", "--version"}).output.contains("Version 1.00"));
    EXPECT_FALSE(parseCommandLine({"quorvane", "--print"}).error.isEmpty());
    EXPECT_FALSE(parseCommandLine({"quorvane", "a.rec", "b.rec"}).error.isEmpty());
    EXPECT_FALSE(parseCommandLine({"quorvane", "--bogus"}).error.isEmpty());
}

TEST_F(StartupTest, PrintOnTheCommandLineWritesThePageAndEnds) {
    const QString group = writeGroup("Pools.rec", "Pools", "", {"Main Pool", "Kiddie Pool"});
    const QString pdf = path("out/pools.pdf");
    QDir().mkpath(path("out"));
    CZUKRecApp app;
    EXPECT_FALSE(app.initInstance({"quorvane", "--print", group, "--print-to", pdf}));
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(readAll(pdf).startsWith("%PDF"));
    EXPECT_TRUE(app.documents().documents().isEmpty());
    EXPECT_TRUE(dialogs.aboutShown.empty());
}

TEST_F(StartupTest, OpenDialogStartsInTheFolderOfFile1) {
    store->setInt("Startup", "StartedBefore", 1);
    CZUKRecApp app;
    ASSERT_TRUE(app.initInstance({"quorvane"}));

    app.onFileOpen();  // no File1: the dialog's own folder; Cancel opens nothing
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& first = dialogs.fileRequests[0];
    EXPECT_EQ(first.title, "Select a Path and Name for the Group File");
    EXPECT_EQ(first.filter, "Recreation Files (*.rec);;All Files (*)");
    EXPECT_EQ(first.defaultSuffix, "rec");
    EXPECT_TRUE(first.mustExist);
    EXPECT_TRUE(first.fileName.isEmpty());
    EXPECT_TRUE(first.folder.isEmpty());
    EXPECT_TRUE(app.documents().documents().isEmpty());

    store->setString("Recent File List", "File1", "/srv/Parks/Tennis Courts.rec");
    const QString group = writeGroup("Pools.rec", "Pools");
    dialogs.fileAnswers.push_back(group);
    app.onFileOpen();
    ASSERT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(dialogs.fileRequests[1].folder, "/srv/Parks/");
    ASSERT_EQ(app.documents().documents().size(), 1);
    EXPECT_EQ(app.documents().documents().front()->title(), "Pools.rec");
}

TEST_F(StartupTest, RecentListIsNewestFirstOfFourAndWrittenAtExit) {
    store->setInt("Startup", "StartedBefore", 1);
    store->setString("Recent File List", "File1", path("gone.rec"));
    QStringList groups;
    for (int i = 1; i <= 5; ++i) groups << writeGroup(QStringLiteral("g%1.rec").arg(i));
    {
        CZUKRecApp app;
        ASSERT_TRUE(app.initInstance({"quorvane"}));
        EXPECT_EQ(app.documents().recentFiles().entries(), QStringList{path("gone.rec")});
        // A recent entry that no longer opens leaves the list.
        EXPECT_EQ(app.documents().openRecent(0), nullptr);
        EXPECT_TRUE(app.documents().recentFiles().entries().isEmpty());
        for (const QString& g : groups) ASSERT_NE(app.documents().openDocument(g), nullptr);
        EXPECT_EQ(app.documents().recentFiles().entries(),
                  (QStringList{groups[4], groups[3], groups[2], groups[1]}));
        // Nothing is written before exit.
        EXPECT_EQ(store->getString("Recent File List", "File1"), path("gone.rec"));
        app.exitInstance();
    }
    EXPECT_EQ(store->getString("Recent File List", "File1"), groups[4]);
    EXPECT_EQ(store->getString("Recent File List", "File2"), groups[3]);
    EXPECT_EQ(store->getString("Recent File List", "File3"), groups[2]);
    EXPECT_EQ(store->getString("Recent File List", "File4"), groups[1]);

    CZUKRecApp again;
    ASSERT_TRUE(again.initInstance({"quorvane"}));
    EXPECT_EQ(again.documents().recentFiles().entries().front(), groups[4]);
    EXPECT_TRUE(again.mainFrame()->action(57616)->isVisible());
    EXPECT_TRUE(again.mainFrame()->action(57616)->text().endsWith(groups[4]));
    ASSERT_NE(again.documents().openRecent(3), nullptr);
    EXPECT_EQ(again.documents().recentFiles().entries().front(), groups[1]);
}

TEST_F(StartupTest, AnOpenGroupIsOnlyActivatedWhenOpenedAgain) {
    store->setInt("Startup", "StartedBefore", 1);
    const QString group = writeGroup("parks/Tennis Courts.rec");
    QDir().mkpath(path("other"));
    const QString roundabout = path("other/../parks/Tennis Courts.rec");
    ASSERT_TRUE(QFile::link(path("parks"), path("link")));
    CZUKRecApp app;
    ASSERT_TRUE(app.initInstance({"quorvane", group}));
    CZUKRecDoc* doc = app.documents().documents().front();
    int activations = 0;
    QObject::connect(&app.documents(), &DocumentManager::activateRequested, [&] { ++activations; });
    EXPECT_EQ(app.documents().openDocument(roundabout), doc);
    EXPECT_EQ(app.documents().openDocument(path("link/Tennis Courts.rec")), doc);
    EXPECT_EQ(activations, 2);
    EXPECT_EQ(app.documents().documents().size(), 1);
    EXPECT_EQ(app.mainFrame()->frames().size(), 1);
}

}  // namespace

namespace {

TEST(InstanceChannelTest, ASecondStartHandsItsGroupToTheRunningProgram) {
    const QString name = QStringLiteral("quorvane-test-%1").arg(QCoreApplication::applicationPid());
    EXPECT_FALSE(InstanceChannel::forward({"/tmp/a.rec"}, name, 200)) << "nobody listens yet";
    {
        InstanceChannel channel(name);
        ASSERT_TRUE(channel.listen());
        QStringList opened;
        QObject::connect(&channel, &InstanceChannel::openRequested,
                         [&](const QString& p) { opened << p; });
        // The start waits for the running program's answer, which this thread's event loop
        // gives: it runs on a thread of its own.
        auto sent = std::async(std::launch::async, [&] {
            return InstanceChannel::forward({"/srv/Parks/Tennis Courts.rec", "relative.rec"}, name);
        });
        while (sent.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QCoreApplication::processEvents();
        ASSERT_TRUE(sent.get());
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, 3000);
        EXPECT_EQ(opened[0], "/srv/Parks/Tennis Courts.rec");
        EXPECT_EQ(opened[1], QFileInfo("relative.rec").absoluteFilePath())
            << "sent as an absolute path";
    }
    // A socket file left behind by a program that was killed is taken over.
    const QString socketFile = QDir::temp().filePath(name);
    {
        QFile stale(socketFile);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(InstanceChannel::forward({"/tmp/a.rec"}, name, 200));
    InstanceChannel next(name);
    EXPECT_TRUE(next.listen());
}

}  // namespace
