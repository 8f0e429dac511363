// The customer exports' commands: what they ask, what they tell the user, and that they never
// replace a group's file, on a real group (the files' bytes are customer_export_core_test.cpp's).
// Test tables name only the fields that matter to each case.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <unistd.h>

#include <QFileInfo>
#include <deque>
#include <fstream>

#include "address_pair_reader.h"
#include "export_fixture.h"
#include "reports/CustomerExportCommand.h"
#include "reports/ExportDialogs.h"
#include "reports/ReportDialogs.h"
#include "reports/core/CustomerExport.h"

namespace quorvane::testing {
namespace {

class ExportCommandTest : public ExportFixture {
protected:
    struct ScriptedExports final : ReportDialogs {
        std::deque<int> exists;
        std::vector<QString> asked;
        int askAddressFileExists(const QString& path, QWidget*) override {
            asked.push_back(path);
            const int answer = exists.empty() ? CAddrFileExists::kCancelId : exists.front();
            if (!exists.empty()) exists.pop_front();
            return answer;
        }
        std::optional<CalendarScope> askCalendarScope(const std::vector<QString>&,
                                                      const std::vector<QString>&,
                                                      QWidget*) override {
            return std::nullopt;
        }
    } exports;
    std::unique_ptr<CZUKRecDoc> doc;

    void openGroup() {
        makeGroup();
        doc = std::make_unique<CZUKRecDoc>();
        ASSERT_TRUE(doc->OnOpenDocument(QString::fromStdString(groupPath)));
        setAppReportDialogs(&exports);
    }
    void TearDown() override {
        if (doc) doc->OnCloseDocument();
        doc.reset();
        setAppReportDialogs(nullptr);
        ExportFixture::TearDown();
    }
};

TEST_F(ExportCommandTest, AddressOutcomesForEveryAnswer) {
    makePeople({{"Ann", "", "Able", "1"}});
    openGroup();
    const QString good = QString::fromStdString(file("mail.adr"));
    std::string at64 = folder + "/";
    at64 += std::string(64 - at64.size() - 4, 'p') + ".adr";
    const QString len64 = QString::fromStdString(at64);
    const QString len65 = QString::fromStdString(folder + "/q" + at64.substr(folder.size() + 1));
    ASSERT_EQ(len65.size(), 65);
    const QString exported = QStringLiteral("Customer file has been exported to %1");
    const QString limit = QStringLiteral(
        "Sorry, but due to a limitation with Postrel, the path and file name cannot be more than "
        "64 characters. The path and name you specified total 65 characters. Please respecify "
        "the name and/or path.");
    const struct {
        const char* name;
        std::vector<QString> files;  // file dialog answers; empty string = Cancel
        std::deque<int> exists;      // CAddrFileExists answers
        std::vector<QString> messages;
    } cases[] = {
        {"cancel", {QString()}, {}, {QStringLiteral("User cancelled export")}},
        {"65 then 64", {len65, len64}, {}, {limit, exported.arg(len64)}},
        {"new", {good}, {}, {exported.arg(good)}},
        {"exists, cancel",
         {good},
         {CAddrFileExists::kCancelId},
         {QStringLiteral("User cancelled export, export terminated")}},
        {"exists, other name",
         {good, QString()},
         {CAddrFileExists::kChangeNameId},
         {QStringLiteral("User cancelled export")}},
        {"exists, delete", {good}, {CAddrFileExists::kDeleteId}, {exported.arg(good)}},
        {"a group's table",
         {QString::fromStdString(file("RECPEOPLE.DBF")), QString()},
         {},
         {QStringLiteral("%1 is a table, group file or change stamp of a group. An export "
                         "cannot replace it; please choose another name.")
              .arg(QString::fromStdString(file("RECPEOPLE.DBF"))),
          QStringLiteral("User cancelled export")}},
        {"missing folder",
         {QString::fromStdString(folder + "/none/x.adr")},
         {},
         {QStringLiteral("Error creating export file, export terminated")}},
    };
    for (const auto& c : cases) {
        prompter.shown.clear();
        dialogs.fileAnswers.assign(c.files.begin(), c.files.end());
        exports.exists = c.exists;
        runAddressExport(*doc, nullptr);
        EXPECT_EQ(texts(), c.messages) << c.name;
        EXPECT_TRUE(dialogs.fileAnswers.empty()) << c.name;
        EXPECT_TRUE(exports.exists.empty()) << c.name;
        for (const Prompt& p : prompter.shown)
            EXPECT_TRUE(p.caption == "Export Status" || p.caption == "Postrel Limitation");
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(file("RECPEOPLE.DBF")))) << c.name;
    }
    EXPECT_EQ(dialogs.fileRequests.back().title,
              QStringLiteral("Select a Path and Name for the New Postrel File"));
    EXPECT_EQ(dialogs.fileRequests.back().defaultSuffix, QStringLiteral("adr"));
    const AddressPair pair = readAddressPair(file("mail.adr"), file("mail.PTR"));
    EXPECT_EQ(pair.error, "");
    EXPECT_EQ(pair.records(), 1u);
}

TEST_F(ExportCommandTest, TextOutcomes) {
    makePeople({{"Ann", "", "Able", "1"}});
    openGroup();
    dialogs.fileAnswers = {QString()};
    runTextExport(*doc, nullptr);
    EXPECT_TRUE(prompter.shown.empty());  // Cancel says nothing
    dialogs.fileAnswers = {QString::fromStdString(file("c.txt")),
                           QString::fromStdString(folder + "/none/c.txt")};
    runTextExport(*doc, nullptr);
    runTextExport(*doc, nullptr);
    EXPECT_EQ(texts(), (std::vector<QString>{
                           QStringLiteral("Customer file exported to text file successfully"),
                           QStringLiteral("Error creating export file, export terminated")}));
    EXPECT_EQ(dialogs.fileRequests.back().title,
              QStringLiteral("Select a Path and Name for the Exported Customer File"));
    // A Save dialog (it asks before replacing a file) that says what is done to formulas.
    EXPECT_TRUE(dialogs.fileRequests.back().save);
    EXPECT_EQ(dialogs.fileRequests.back().note, QString::fromLatin1(kFormulaNote));
}

TEST_F(ExportCommandTest, TextNeverReplacesAGroupFileNorWritesThroughALink) {
    makePeople({{"=cmd", "", "Able", "1"}});
    openGroup();
    const std::string table = file("RECPEOPLE.DBF");
    const std::string tableBytes = slurp(table);
    ASSERT_FALSE(tableBytes.empty());
    std::ofstream(file("victim")) << "keep";
    ASSERT_EQ(::symlink("victim", file("link.txt").c_str()), 0);

    prompter.shown.clear();
    dialogs.fileRequests.clear();
    dialogs.fileAnswers = {QString::fromStdString(table), QString::fromStdString(file("Club.rec")),
                           QString::fromStdString(file("link.txt"))};
    runTextExport(*doc, nullptr);
    ASSERT_EQ(texts().size(), 3u);
    EXPECT_EQ(texts()[0], QStringLiteral("%1 is a table, group file or change stamp of a group. "
                                         "An export cannot replace it; please choose another name.")
                              .arg(QString::fromStdString(table)));
    EXPECT_EQ(texts()[2], QStringLiteral("Customer file exported to text file successfully"));
    EXPECT_EQ(dialogs.fileRequests.size(), 3u);
    EXPECT_EQ(slurp(table), tableBytes);
    EXPECT_EQ(slurp(file("victim")), "keep");
    const std::string exported = slurp(file("link.txt"));
    EXPECT_NE(exported.find("\"'=cmd\""), std::string::npos) << exported;
    EXPECT_FALSE(QFileInfo(QString::fromStdString(file("link.txt"))).isSymLink());
}

}  // namespace
}  // namespace quorvane::testing
