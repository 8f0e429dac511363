#include "platform/Help.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTextBrowser>

using namespace quorvane;

namespace {

QList<QTextBrowser*> helpWindows() {
    QList<QTextBrowser*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QTextBrowser*>(w); b && b->objectName() == "help")
            found.append(b);
    return found;
}

TEST(Help, TopicsAreBundledForTheFirstPageAndTheDialogs) {
    EXPECT_EQ(HelpService::topicPath(kHelpFirstTime), ":/help/0x20091.html");
    EXPECT_EQ(helpContext(145), kHelpFirstTime);
    EXPECT_TRUE(HelpService::topicHtml(kHelpFirstTime).contains("Welcome to Quorvane"));
    for (unsigned id : {100u, 106u, 107u, 130u, 131u, 141u, 142u, 143u, 147u}) {
        const QString html = HelpService::topicHtml(helpContext(id));
        EXPECT_TRUE(html.contains("<h2>")) << id;
    }
    EXPECT_TRUE(HelpService::topicHtml(helpContext(999)).isEmpty());
}

TEST(Help, OneWindowShowsTopicsAndSaysSoWhenOneIsMissing) {
    QtHelpService help;
    help.showTopic(helpContext(130));
    ASSERT_EQ(helpWindows().size(), 1);
    QTextBrowser* w = helpWindows().front();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->toPlainText().contains("New Group Information"));

    help.showTopic(0x20777);
    ASSERT_EQ(helpWindows().size(), 1);  // reused, not a second window
    EXPECT_EQ(helpWindows().front(), w);
    EXPECT_TRUE(w->toPlainText().contains("No help topic 0x20777"));
    w->setSource(QUrl("0x20091.html"));  // the page's link, resolved through the bundle
    EXPECT_TRUE(w->toPlainText().contains("Welcome to Quorvane"));

    help.showTopic(kHelpFirstTime);
    EXPECT_TRUE(w->toPlainText().contains("Welcome to Quorvane"));
    w->close();
}

TEST(Help, AppHelpCanBeReplaced) {
    RecordingHelpService rec;
    setAppHelp(&rec);
    appHelp().showTopic(helpContext(131));
    setAppHelp(nullptr);
    EXPECT_EQ(rec.requested, std::vector<unsigned>{0x20083});
    EXPECT_NE(dynamic_cast<QtHelpService*>(&appHelp()), nullptr);
}

}  // namespace
