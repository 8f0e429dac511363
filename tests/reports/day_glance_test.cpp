// The day at a glance painted, and the dialog's rows, reloads and buttons on a group held in
// memory.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>

#include "../app/shell_fakes.h"
#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "app/GroupPrinting.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "platform/TextCodec.h"
#include "reports/DayGlance.h"
#include "reports/DayResDlg.h"
#include "reports/Install.h"
#include "reports/ReportDialogs.h"

namespace quorvane::testing {
namespace {

_SCHEDITEM item(int position, int sh, int sm, int eh, int em) {
    return {position, sh, sm, eh, em, "Lee", ""};
}

// Where things go is tested in day_glance_core_test.cpp; here, that the surface gets exactly
// those bars and texts, in the occupied colour and as Unicode.
TEST(DayPaint, RowsAndPrintDrawTheLayout) {
    const std::vector<_SCHEDITEM> items = {item(0, 9, 0, 10, 0), item(1, 9, 0, 10, 0),
                                           item(1, 20, 0, 21, 0), item(1, 12, 0, 12, 30)};
    RecordingSurface surface;
    paintDayRow(surface, items, 1, 8, 10, QRect(0, 0, 480, 20), 0x000000FF);
    ASSERT_EQ(surface.fills.size(), 2u);
    EXPECT_EQ(surface.fills[0].rect, QRect(40, 0, 40, 20));
    EXPECT_EQ(surface.fills[1].rect, QRect(160, 0, 20, 20));
    EXPECT_EQ(surface.fills[0].color, 0x000000FFu);

    const DayChart chart{{2026, 12, 8}, {"Court 1", "Caf\xE9 \x80"}, items};
    const DayPrintLayout g = printDayGlance(surface, chart, 8);  // W = 8, L = 16
    EXPECT_EQ(g.texts, dayPrintLayout(16, 8, chart.date, chart.names, chart.items, 8).texts);
    ASSERT_EQ(surface.texts.size(), g.texts.size());
    for (std::size_t i = 0; i < g.texts.size(); ++i) {
        EXPECT_EQ(std::pair(surface.texts[i].x, surface.texts[i].y),
                  std::pair(g.texts[i].x, g.texts[i].y));
        EXPECT_EQ(surface.texts[i].text, fromCp1252(g.texts[i].text));
    }
    EXPECT_NE(surface.find(QStringLiteral("              Caf\u00E9 \u20AC")), nullptr);
}

// The main window enables a command exactly when a handler is registered for it.
TEST(ReportCommands, DayChartAndExportsAreRegistered) {
    clearGroupCommands();
    installReportCommands();
    for (int id :
         {cmd::kDayReservations, cmd::kExportText, cmd::kExportAddress, cmd::kExportCalendar})
        EXPECT_TRUE(bool(groupCommand(id))) << id;
    ASSERT_NE(commandInfo(cmd::kExportCalendar), nullptr);
    EXPECT_EQ(menuText(*commandInfo(cmd::kExportCalendar)),
              QStringLiteral("Export to &Calendar File..."));
    clearGroupCommands();
}

class DayDialogTest : public ShellTest {
protected:
    FixedClock clock{Clock::fromLocal(2026, 12, 8, 9, 30)};
    std::unique_ptr<CZUKRecDoc> doc;
    RecordingPrintDialogs printing;

    void SetUp() override {
        ShellTest::SetUp();
        setAppClock(&clock);
        setAppPrintDialogs(&printing);
    }
    void TearDown() override {
        clearGroupCommands();
        if (doc) doc->OnCloseDocument();
        doc.reset();
        setAppPrintDialogs(nullptr);
        setAppClock(nullptr);
        ShellTest::TearDown();
    }
    void open(int facilities) {
        std::vector<QByteArray> names;
        for (int i = 0; i < facilities; ++i) names.push_back("Court " + QByteArray::number(i + 1));
        const QString file = writeGroup(QStringLiteral("Courts.rec"), "Tennis Courts", "", names);
        doc = std::make_unique<CZUKRecDoc>();
        ASSERT_TRUE(doc->OnOpenDocument(file));
    }
    int loads() const { return static_cast<FakeTables*>(doc->tables())->loads; }
    template <typename W>
    static W* child(QWidget& w, int id) {
        return w.findChild<W*>(QString::number(id));
    }
};

TEST_F(DayDialogTest, RowsAndScalesFollowTheGroup) {
    for (int count : {8, 9, 15}) {
        open(count);
        CDayResDlg dlg(*doc, 8, 0x000000FF);
        for (int i = 0; i < 15; ++i) {
            auto* button = child<QPushButton>(dlg, CDayResDlg::kRowButtonIds[std::size_t(i)]);
            auto* area = child<QWidget>(dlg, CDayResDlg::kRowAreaIds[std::size_t(i)]);
            ASSERT_TRUE(button && area) << i;
            EXPECT_EQ(!button->isHidden(), i < count) << count << " row " << i;
            EXPECT_EQ(!area->isHidden(), i < count) << count << " row " << i;
            if (i < count) {
                EXPECT_EQ(button->text(), QStringLiteral("Court %1").arg(i + 1));
            }
        }
        auto* upper = child<QLabel>(dlg, CDayResDlg::kUpperScaleId);
        auto* lower = child<QLabel>(dlg, CDayResDlg::kLowerScaleId);
        EXPECT_EQ(upper->text(), QString::fromLatin1(dayScaleText(8)));
        EXPECT_FALSE(upper->isHidden());
        EXPECT_EQ(!lower->isHidden(), count > 8) << count;
        doc->OnCloseDocument();
        doc.reset();
    }
}

TEST_F(DayDialogTest, HourRedrawsWithoutReloadAndDateReloads) {
    shellRows = {{"20261208", "Court 2", 10, 0, 11, 0, "Lee", ""},
                 {"20261209", "Court 1", 9, 0, 9, 30, "Kim", ""},
                 {"20261208", "Elsewhere", 10, 0, 11, 0, "Out", ""}};
    open(4);
    const int before = loads();
    CDayResDlg dlg(*doc, 6, 0x000000FF);
    EXPECT_EQ(loads(), before + 1);
    ASSERT_EQ(dlg.items().size(), 1u);  // another group's facility is left out
    EXPECT_EQ(dlg.items()[0].position, 1);

    auto* upDown = child<UpDownControl>(dlg, CDayResDlg::kUpDownId);
    auto* edit = child<QLineEdit>(dlg, CDayResDlg::kStartHourId);
    ASSERT_TRUE(upDown && edit);
    upDown->step(+1);
    EXPECT_EQ(dlg.startHour(), 7);
    EXPECT_EQ(edit->text(), QStringLiteral("7"));
    EXPECT_EQ(child<QLabel>(dlg, CDayResDlg::kUpperScaleId)->text(),
              QString::fromLatin1(dayScaleText(7)));
    EXPECT_EQ(loads(), before + 1);

    // A typed hour out of range is refused when the fields are read; the hour stays.
    edit->setText(QStringLiteral("13"));
    dlg.upDownMoved();
    EXPECT_EQ(dlg.startHour(), 7);
    ASSERT_EQ(promptTexts().size(), 1u);
    EXPECT_EQ(promptTexts()[0], QStringLiteral("Enter an integer between 0 and 12."));
    edit->setText(QStringLiteral("8"));

    dlg.setDate({2026, 12, 9});
    EXPECT_EQ(loads(), before + 2);
    ASSERT_EQ(dlg.items().size(), 1u);
    EXPECT_EQ(dlg.items()[0].position, 0);
    EXPECT_EQ(dlg.startHour(), 8);

    child<QPushButton>(dlg, CDayResDlg::kRefreshId)->click();
    EXPECT_EQ(loads(), before + 3);
    child<QPushButton>(dlg, CDayResDlg::kHelpId)->click();
    EXPECT_EQ(help.requested, std::vector<unsigned>{0x2008b});
}

TEST_F(DayDialogTest, RowButtonOpensTheListAndReloadsOnlyAfterAChange) {
    open(3);
    CDayResDlg dlg(*doc, 8, 0x000000FF);
    const int before = loads();
    child<QPushButton>(dlg, CDayResDlg::kRowButtonIds[2])->click();  // no opener: nothing
    EXPECT_EQ(loads(), before);
    std::vector<std::pair<int, DayDate>> opened;
    bool changed = false;
    setFacilityOpener([&](CZUKRecDoc&, int slot, const DayDate& date, QWidget*) {
        opened.push_back({slot, date});
        return changed;
    });
    child<QPushButton>(dlg, CDayResDlg::kRowButtonIds[2])->click();
    EXPECT_EQ(loads(), before);
    changed = true;
    child<QPushButton>(dlg, CDayResDlg::kRowButtonIds[1])->click();
    EXPECT_EQ(loads(), before + 1);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].first, 2);
    EXPECT_EQ(opened[1].first, 1);
    EXPECT_EQ(opened[1].second, (DayDate{2026, 12, 8}));
}

TEST_F(DayDialogTest, BarsArePaintedInTheirRowAndTheChartPrints) {
    shellRows = {{"20261208", "Court 1", 10, 0, 11, 0, "Lee", ""}};
    open(2);
    CDayResDlg dlg(*doc, 8, 0x0000FF00);  // green
    auto* area = child<QWidget>(dlg, CDayResDlg::kRowAreaIds[0]);
    const int q = dlg.quarterWidth();
    ASSERT_EQ(area->width(), 48 * q);
    const QImage image = area->grab().toImage();
    const int y = image.height() / 2;
    EXPECT_EQ(image.pixelColor(9 * q, y), QColor(0, 255, 0));       // 10:15
    EXPECT_EQ(image.pixelColor(13 * q, y), QColor(255, 255, 255));  // 11:15, free
    EXPECT_EQ(image.pixelColor(7 * q, y), QColor(255, 255, 255));   // 09:45
    const QImage other = child<QWidget>(dlg, CDayResDlg::kRowAreaIds[1])->grab().toImage();
    EXPECT_EQ(other.pixelColor(9 * q, y), QColor(255, 255, 255));

    // Without a printer the chart goes to a PDF file beside the group; the shared printer
    // keeps its own file name.
    ASSERT_FALSE(hasSystemPrinter());
    struct RestorePrinter {
        QString file = appPrinter().outputFileName();
        ~RestorePrinter() { appPrinter().setOutputFileName(file); }
    } restore;
    const QString own = path(QStringLiteral("group.pdf"));
    const QString pdf = path(QStringLiteral("Courts DayGlance.pdf"));
    printToPdf(appPrinter(), own);
    printing.answer = false;
    dlg.printChart();
    EXPECT_FALSE(QFile::exists(pdf));
    printing.answer = true;
    dlg.printChart();
    EXPECT_EQ(printing.askedFiles.size(), 2u);
    EXPECT_EQ(appPrinter().docName(), QStringLiteral("DayGlance"));
    EXPECT_TRUE(readAll(pdf).startsWith("%PDF"));
    EXPECT_EQ(appPrinter().outputFileName(), own);
    EXPECT_FALSE(QFile::exists(own));
}

}  // namespace
}  // namespace quorvane::testing
