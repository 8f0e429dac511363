#include "platform/Help.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QTextDocument>

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

TEST(Help, TheContentsPageLinksEveryTopicAndNoTopicIsAPlaceholder) {
    const QString contents = HelpService::topicHtml(kHelpContents);
    const std::vector<unsigned> topics = HelpService::bundledTopics();
    ASSERT_GE(topics.size(), 12u);
    EXPECT_EQ(topics.front(), 0x20064u) << "ascending";
    const QStringList files = QDir(":/help").entryList(QDir::Files);
    EXPECT_EQ(qsizetype(topics.size()), files.size()) << "every bundled file is a topic";
    for (unsigned context : topics) {
        const QString file = QFileInfo(HelpService::topicPath(context)).fileName();
        SCOPED_TRACE(file.toStdString());
        EXPECT_TRUE(contents.contains("href=\"" + file + "\"")) << "linked from the contents";
        EXPECT_FALSE(HelpService::topicTitle(context).isEmpty());
        QTextDocument page;
        page.setHtml(HelpService::topicHtml(context));
        const QString text = page.toPlainText().simplified();
        EXPECT_GE(text.size(), 150) << "a page with something to say";
        for (const char* filler : {"TODO", "TBD", "Lorem", "placeholder", "to be written"})
            EXPECT_FALSE(text.contains(filler, Qt::CaseInsensitive)) << filler;
    }
    EXPECT_LT(contents.indexOf("0x20091.html"), contents.indexOf("0x20064.html"))
        << "getting started comes first";

    // The help window shows the contents as a page of its own and follows its links.
    QtHelpService help;
    help.showTopic(kHelpContents);
    ASSERT_EQ(helpWindows().size(), 1);
    QTextBrowser* w = helpWindows().front();
    EXPECT_TRUE(w->toPlainText().contains("Quorvane Help Topics"));
    w->setSource(QUrl("0x20083.html"));
    EXPECT_TRUE(w->toPlainText().contains("Facility"));
    w->setSource(QUrl("0x20080.html"));
    EXPECT_TRUE(w->toPlainText().contains("Quorvane Help Topics"));
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
