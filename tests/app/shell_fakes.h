#pragma once
// Test doubles for the shell: a settings store in a temporary folder, recorded prompts and
// help requests, and scripted answers for the modal dialogs.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/AppDialogs.h"
#include "app/DocumentManager.h"
#include "app/MainFrame.h"
#include "group/GroupTables.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/SettingsStore.h"
#include "view_fakes.h"

#include <ostream>

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace quorvane::testing {

class ScriptedDialogs final : public AppDialogs {
public:
    std::vector<FileDialogRequest> fileRequests;
    std::deque<QString> fileAnswers;  // empty string: Cancel
    std::deque<std::optional<NewGroupChoice>> newGroupAnswers;
    std::vector<int> aboutShown;  // splash milliseconds of each About box (0: no splash)
    std::function<void()> onAbout;
    std::deque<std::optional<QColor>> colorAnswers;
    int pageSetups = 0;

    QString chooseFile(const FileDialogRequest& request, QWidget*) override {
        fileRequests.push_back(request);
        if (fileAnswers.empty()) return {};
        QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    std::optional<NewGroupChoice> askNewGroup(QWidget*) override { return next(newGroupAnswers); }
    void showAbout(int splashMs, QWidget*) override {
        aboutShown.push_back(splashMs);
        if (onAbout) onAbout();
    }
    std::optional<QColor> chooseColor(const QColor&, QWidget*) override {
        return next(colorAnswers);
    }
    bool pageSetup(QPrinter&, QWidget*) override {
        ++pageSetups;
        return true;
    }
    // The sheet as it opened; a test presses its buttons from here.
    std::function<void(CPreferences&)> onPreferences;
    void showPreferences(CPreferences& sheet) override {
        if (onPreferences) onPreferences(sheet);
    }

    // The group window's dialogs: the answers in order, and what each was opened with.
    std::deque<std::optional<FacilityAnswer>> facilities;
    std::deque<std::optional<GroupAnswer>> groups;
    std::deque<std::optional<std::int64_t>> dates;
    std::vector<FacilityAnswer> facilityInitial;
    std::vector<std::int64_t> proposed;
    std::function<void()> beforeAnswer;  // another user acts while the dialog is open

    std::optional<FacilityAnswer> askFacility(const CZUKRecDoc&, bool,
                                              const FacilityAnswer& initial, QWidget*) override {
        facilityInitial.push_back(initial);
        if (beforeAnswer) beforeAnswer();
        return next(facilities);
    }
    std::optional<GroupAnswer> askGroup(const GroupAnswer&, QWidget*) override {
        if (beforeAnswer) beforeAnswer();
        return next(groups);
    }
    std::optional<std::int64_t> askDeletionDate(std::int64_t p, QWidget*) override {
        proposed.push_back(p);
        return next(dates);
    }

private:
    template <class T>
    static std::optional<T> next(std::deque<std::optional<T>>& answers) {
        if (answers.empty()) return std::nullopt;
        std::optional<T> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Installs the doubles for one test and removes them afterwards.
class ShellTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    RecordingPrompter prompter;
    RecordingHelpService help;
    ScriptedDialogs dialogs;
    // The shell's tests run on tables held in memory; the tables' own behaviour is tested
    // with the real ones (doc_multiuser_test.cpp).
    std::vector<FakeReservation> shellRows;
    std::vector<std::string> shellLog;

    void SetUp() override {
        setGroupTablesFactory(
            [this] { return std::make_unique<FakeTables>(&shellRows, &shellLog); });
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<SettingsStore>(
            dir.filePath(QStringLiteral("config/Vendrik/Quorvane.ini")));
        setAppSettings(store.get());
        setAppPrompter(&prompter);
        setAppHelp(&help);
        setAppDialogs(&dialogs);
    }
    void TearDown() override {
        setGroupTablesFactory({});
        setAppDialogs(nullptr);
        setAppHelp(nullptr);
        setAppPrompter(nullptr);
        setAppSettings(nullptr);
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    // A group file as the program writes it: count, description, facilities (name,
    // description, default time), type name, reserved pair, window rectangle.
    static QByteArray groupBytes(const QByteArray& type, const QByteArray& description,
                                 const std::vector<QByteArray>& facilities = {}) {
        auto str = [](const QByteArray& s) { return QByteArray(1, char(s.size())) + s; };
        QByteArray bytes;
        const quint32 header = quint32(facilities.size()) | 0x01000000u;
        for (int i = 0; i < 4; ++i) bytes += char((header >> (8 * i)) & 0xFF);
        bytes += str(description);
        for (const QByteArray& name : facilities) {
            bytes += str(name) + str("") + QByteArray("\x3c\0\0\0", 4);
        }
        bytes += str(type);
        bytes += QByteArray(24, '\0');
        return bytes;
    }
    QString writeFile(const QString& name, const QByteArray& bytes) const {
        const QString file = path(name);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return file;
    }
    QString writeGroup(const QString& name, const QByteArray& type = "Tennis Courts",
                       const QByteArray& description = "",
                       const std::vector<QByteArray>& facilities = {}) const {
        return writeFile(name, groupBytes(type, description, facilities));
    }
    static QByteArray readAll(const QString& file) {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    std::vector<QString> promptTexts() const {
        std::vector<QString> texts;
        for (const Prompt& p : prompter.shown) texts.push_back(p.text);
        return texts;
    }
};

// The shell with its main window shown, on the doubles.
class FrameTest : public ShellTest {
protected:
    DocumentManager docs;
    std::unique_ptr<CMainFrame> frame;
    void SetUp() override {
        ShellTest::SetUp();
        frame = std::make_unique<CMainFrame>(docs);
        frame->show();
    }
    void TearDown() override {
        docs.closeAll();
        frame.reset();
        ShellTest::TearDown();
    }
};

}  // namespace quorvane::testing
