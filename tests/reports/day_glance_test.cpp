// The day at a glance: the scale, which reservations show and where their bars go, the
// printed grid, and the dialog's rows, reloads and buttons on a group held in memory.
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
#include "reports/DayGlance.h"
#include "reports/DayResDlg.h"
#include "reports/Install.h"
#include "reports/ReportDialogs.h"

namespace quorvane::testing {
namespace {

_SCHEDITEM item(int position, int sh, int sm, int eh, int em) {
    return {position, sh, sm, eh, em, "Lee", ""};
}

TEST(DayScale, FiftyCharactersFromTheStartHour) {
    const std::string full = kDayScale;
    ASSERT_EQ(full.size(), 98u);
    EXPECT_EQ(dayScaleText(0), full.substr(0, 50));
    EXPECT_EQ(dayScaleText(0).back(), 'N');
    EXPECT_EQ(dayScaleText(8), " 8...9..10..11...N...1...2...3...4...5...6...7...8");
    const std::string at12 = dayScaleText(12);
    EXPECT_EQ(at12, " " + full.substr(49));
    EXPECT_EQ(at12.substr(0, 2), " N");
    EXPECT_EQ(at12.back(), 'M');
    EXPECT_FALSE(lowerScaleShown(8));
    EXPECT_TRUE(lowerScaleShown(9));
}

TEST(DayBars, ShownItemsCoverEveryQuarterTheyTouch) {
    const QRect area(0, 0, 480, 20);  // quarter width 10
    const struct {
        _SCHEDITEM in;
        int start;
        bool shown;
        int left, right;  // x of the first pixel and one past the last
    } cases[] = {
        {item(0, 7, 30, 8, 20), 8, false, 0, 0},
        {item(0, 7, 30, 9, 0), 8, true, 0, 40},  // to the end of the 08:45 quarter
        {item(0, 19, 50, 21, 0), 8, true, 470, 480},
        {item(0, 20, 0, 21, 0), 8, false, 0, 0},
        {item(0, 6, 0, 21, 0), 8, true, 0, 480},
        {item(0, 8, 5, 8, 10), 8, true, 0, 10},
        {item(0, 10, 10, 10, 50), 8, true, 80, 120},
        {item(0, 23, 0, 23, 59), 12, true, 440, 480},
        {item(0, 0, 0, 0, 15), 0, true, 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.in.startHH) + ":" + std::to_string(c.in.startMM) + "-" +
                     std::to_string(c.in.endHH) + ":" + std::to_string(c.in.endMM));
        EXPECT_EQ(dayItemShown(c.in, c.start), c.shown);
        if (!c.shown) continue;
        const QRect bar = dayBarRect(c.in, c.start, 10, area);
        EXPECT_EQ(bar.left(), c.left);
        EXPECT_EQ(bar.left() + bar.width(), c.right);
        EXPECT_EQ(bar.top(), 0);
        EXPECT_EQ(bar.bottom(), 19);
    }
    // A row paints only its own facility's shown items, in the occupied colour.
    RecordingSurface surface;
    paintDayRow(
        surface,
        {item(0, 9, 0, 10, 0), item(1, 9, 0, 10, 0), item(1, 20, 0, 21, 0), item(1, 12, 0, 12, 30)},
        1, 8, 10, area, 0x000000FF);
    ASSERT_EQ(surface.fills.size(), 2u);
    EXPECT_EQ(surface.fills[0].rect, QRect(40, 0, 40, 20));
    EXPECT_EQ(surface.fills[1].rect, QRect(160, 0, 20, 20));
    EXPECT_EQ(surface.fills[0].color, 0x000000FFu);
}

TEST(DayPrint, CharacterGridPositions) {
    RecordingSurface surface;  // W = 8, L = 16
    const std::vector<QString> names = {QStringLiteral("Court 1"), QStringLiteral("Court 2")};
    const DayPrintLayout g = printDayGlance(
        surface, {2026, 12, 8}, names,
        {item(0, 7, 30, 9, 0), item(1, 19, 50, 21, 0), item(1, 7, 30, 8, 20), item(5, 9, 0, 10, 0)},
        8);
    EXPECT_EQ(g.x0, 184);
    EXPECT_EQ(g.xMax, 568);
    auto at = [&](const QString& text) -> std::pair<int, int> {
        const RecordingSurface::Text* t = surface.find(text);
        return t ? std::pair{t->x, t->y} : std::pair{-1, -1};
    };
    EXPECT_EQ(at(QStringLiteral("Tuesday, December 08, 2026")), std::pair(8, 32));
    EXPECT_EQ(at(QStringLiteral("Day at a Glance")), std::pair(8, 64));
    EXPECT_EQ(at(QStringLiteral("             Court 2")), std::pair(8, 144));
    std::vector<std::pair<int, int>> scales, xs;
    for (const auto& t : surface.texts) {
        if (t.text == QString::fromLatin1(dayScaleText(8))) scales.push_back({t.x, t.y});
        if (t.text == QStringLiteral("X")) xs.push_back({t.x, t.y});
    }
    EXPECT_EQ(scales, (std::vector<std::pair<int, int>>{{176, 112}, {176, 160}}));
    EXPECT_EQ(xs, (std::vector<std::pair<int, int>>{
                      {184, 128}, {192, 128}, {200, 128}, {208, 128}, {560, 144}}));
}

TEST(DayFields, StartHourRange) {
    const std::pair<const char*, int> cases[] = {{"0", 0},   {"12", 12}, {" 7 ", 7}, {"13", -1},
                                                 {"-1", -1}, {"", -1},   {"8a", -1}};
    for (auto [text, want] : cases) {
        int hour = 99;
        const QString message = readStartHour(QString::fromLatin1(text), hour);
        EXPECT_EQ(message.isEmpty(), want >= 0) << text;
        EXPECT_EQ(hour, want >= 0 ? want : 99) << text;
        if (want < 0) {
            EXPECT_EQ(message, QStringLiteral("Enter an integer between 0 and 12."));
        }
    }
    EXPECT_EQ(longDateText({2024, 2, 29}), "Thursday, February 29, 2024");
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
