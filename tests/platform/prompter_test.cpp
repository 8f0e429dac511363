#include "platform/Prompter.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

using namespace quorvane;

namespace {

TEST(Prompter, EmptyCaptionBecomesTheProgramTitleAndEveryPromptIsLogged) {
    RecordingPrompter p;
    p.answers = {PromptResult::No};
    ::testing::internal::CaptureStderr();
    p.message("You must specify a group type", "No Group Type");
    p.message("Line one\nline two");
    const bool first =
        p.askYesNo("Are you sure you want to delete Tennis Courts Court 1?", "Confirm Delete");
    const bool second = p.askYesNo("Cancel?", "Confirm Cancel");  // queue empty: Yes
    const std::string log = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    ASSERT_EQ(p.shown.size(), 4u);
    EXPECT_EQ(p.shown[1].caption, "Quorvane");
    EXPECT_EQ(p.shown[1].icon, PromptIcon::Warning);
    EXPECT_EQ(p.shown[1].buttons, PromptButtons::Ok);
    EXPECT_EQ(p.shown[2].buttons, PromptButtons::YesNo);
    EXPECT_EQ(p.shown[2].icon, PromptIcon::Question);
    EXPECT_EQ(log,
              "No Group Type: You must specify a group type\n"
              "Quorvane: Line one\\nline two\n"
              "Confirm Delete: Are you sure you want to delete Tennis Courts Court 1?\n"
              "Confirm Cancel: Cancel?\n");
}

// Answers the message box that is about to open, after checking what it shows.
struct BoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

void answerNextBox(BoxSeen& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return answerNextBox(seen, press);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        if (press == QMessageBox::NoButton)
            box->reject();
        else
            box->button(press)->click();
    });
}

TEST(QtPrompter, ShowsTextCaptionIconAndButtons) {
    QtPrompter p;
    BoxSeen seen;
    ::testing::internal::CaptureStderr();

    answerNextBox(seen, QMessageBox::Ok);
    p.message("Maximum number of Tennis Courtss exist for this group", "Group Full",
              PromptIcon::Stop);
    EXPECT_EQ(seen.title, "Group Full");
    EXPECT_EQ(seen.text, "Maximum number of Tennis Courtss exist for this group");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    answerNextBox(seen, QMessageBox::No);
    EXPECT_FALSE(p.askYesNo("Delete?", "Confirm Delete"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    answerNextBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(p.askYesNo("Delete?", "Confirm Delete", PromptIcon::Warning));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);

    answerNextBox(seen, QMessageBox::NoButton);  // Escape
    EXPECT_FALSE(p.askYesNo("Delete?", "Confirm Delete"));

    answerNextBox(seen, QMessageBox::Ok);
    p.message("To modify or delete a facility, right click on the facility");
    EXPECT_EQ(seen.title, "Quorvane");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    ::testing::internal::GetCapturedStderr();
}

TEST(QtPrompter, AppPrompterCanBeReplaced) {
    RecordingPrompter rec;
    setAppPrompter(&rec);
    ::testing::internal::CaptureStderr();
    appPrompter().message("x");
    ::testing::internal::GetCapturedStderr();
    setAppPrompter(nullptr);
    EXPECT_EQ(rec.shown.size(), 1u);
    EXPECT_EQ(dynamic_cast<QtPrompter*>(&appPrompter()) != nullptr, true);
}

}  // namespace
