// Where the printed report's texts stand: heading, first line, spacing, page breaks and
// continuation pages, on a recording surface (W = 8, L = 16).
#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "report_fakes.h"
#include "reports/ReportPrinting.h"

namespace quorvane {
namespace {

using testing::DrawnText;
using testing::RecordingPages;

ReportLines numbered(int n) {
    ReportLines lines;
    for (int i = 0; i < n; ++i) lines.append("line " + std::to_string(i));
    return lines;
}

TEST(ReportPrinting, PositionsAndPageBreaks) {
    struct Case {
        const char* name;
        ReportPageStyle style;
        int pageHeight, lines;
        int pages;
        // The (page, y) of chosen texts: index -1 is the heading, others the line index.
        std::vector<std::pair<int, DrawnText>> where;
    };
    // L = 16; a page of 400 ends at 400 - 64 = 336.
    const std::vector<Case> cases = {
        {"single spacing: heading 2L, first line 6L, continuation from 2L",
         kReservationPageStyle,
         400,
         30,
         2,
         {{-1, {1, 8, 32, "Heading"}},
          {0, {1, 8, 96, "line 0"}},
          {14, {1, 8, 320, "line 14"}},  // 96 + 14 * 16 = 320, the last below 336
          {15, {2, 8, 32, "line 15"}},
          {29, {2, 8, 256, "line 29"}}}},
        {"double spacing: heading 4L, first line 8L, steps of 2L",
         kUtilizationPageStyle,
         400,
         10,
         2,
         {{-1, {1, 8, 64, "Heading"}},
          {0, {1, 8, 128, "line 0"}},
          {6, {1, 8, 320, "line 6"}},
          {7, {2, 8, 32, "line 7"}},
          {9, {2, 8, 96, "line 9"}}}},
        {"a report ending at the limit leaves no empty page",
         kReservationPageStyle,
         400,
         15,
         1,
         {{14, {1, 8, 320, "line 14"}}}},
        {"an empty report is the heading alone",
         kReservationPageStyle,
         400,
         0,
         1,
         {{-1, {1, 8, 32, "Heading"}}}},
    };
    for (const Case& c : cases) {
        RecordingPages pages(c.pageHeight);
        EXPECT_EQ(drawReport(pages, c.style, QStringLiteral("Heading"), numbered(c.lines)), c.pages)
            << c.name;
        ASSERT_EQ(pages.drawn.size(), std::size_t(c.lines + 1)) << c.name;
        for (const auto& [index, expected] : c.where) {
            const DrawnText& got = pages.drawn[std::size_t(index + 1)];
            EXPECT_EQ(got.page, expected.page) << c.name << " #" << index;
            EXPECT_EQ(got.x, expected.x) << c.name << " #" << index;
            EXPECT_EQ(got.y, expected.y) << c.name << " #" << index;
            EXPECT_EQ(got.text, expected.text) << c.name << " #" << index;
        }
    }
}

TEST(ReportPrinting, LinesAreShownFromTheirStoredBytes) {
    RecordingPages pages(1000);
    ReportLines lines;
    lines.append("Caf\xe9 \x80");
    drawReport(pages, kReservationPageStyle, {}, lines);
    EXPECT_EQ(pages.drawn.back().text, QString::fromUtf8("Café €"));
}

TEST(ReportPrinting, LongReportFillsSeveralPdfPages) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("r.pdf"));
    const ReportLines lines = numbered(200);
    // Through the one printing routine, as the report windows' Save as PDF.
    PrintRequest request;
    request.target = PrintTarget::PdfFile;
    request.pdfPath = path;
    ASSERT_TRUE(
        printDocument(reportDocument(QStringLiteral("Reservation Report"), kReservationPageStyle,
                                     QStringLiteral("Reservation Report for test"), lines),
                      request)
            .printed());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    // Ten-point lines on a letter or A4 page: 200 lines need three or four pages.
    const int pages = int(
        QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
    EXPECT_GE(pages, 3);
    EXPECT_LE(pages, 4);
}

}  // namespace
}  // namespace quorvane
