#include "reports/ReportPrinting.h"

#include "app/GroupLayout.h"
#include "platform/TextCodec.h"
#include "reports/DayGlance.h"

namespace quorvane {

int drawReport(ReportPages& pages, const ReportPageStyle& style, const QString& heading,
               const ReportLines& lines) {
    PaintSurface& surface = pages.surface();
    const int L = surface.charHeight() + surface.externalLeading();
    const int x = surface.averageCharWidth();
    const int limit = pages.pageHeight() - 4 * L;
    int pageCount = 1;
    surface.drawText(x, style.headingRow * L, heading);
    int y = style.firstRow * L;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // A page is started only for a line that needs it: a report that ends exactly at
        // the limit leaves no empty page behind.
        if (y >= limit) {
            if (!pages.newPage()) return pageCount;
            ++pageCount;
            y = 2 * L;
        }
        surface.drawText(x, y, fromCp1252(lines.line(i)));
        y += style.rowStep * L;
    }
    return pageCount;
}

namespace {

class PrintedReportPages final : public ReportPages {
public:
    explicit PrintedReportPages(PrintPages& pages) : pages_(pages), surface_(pages.painter()) {}
    PaintSurface& surface() override { return surface_; }
    int pageHeight() const override { return pages_.pageHeight(); }
    bool newPage() override { return pages_.newPage(); }

private:
    PrintPages& pages_;
    QPainterSurface surface_;
};

}  // namespace

PrintDocument reportDocument(const QString& docName, const ReportPageStyle& style,
                             const QString& heading, const ReportLines& lines) {
    return {docName, [style, heading, &lines](PrintPages& pages) {
                PrintedReportPages report(pages);
                drawReport(report, style, heading, lines);
            }};
}

PrintDocument dayChartDocument(const DayChart& chart, int startHour) {
    return {QStringLiteral("DayGlance"), [chart, startHour](PrintPages& pages) {
                QPainterSurface surface(pages.painter());
                printDayGlance(surface, chart, startHour);
            }};
}

}  // namespace quorvane
