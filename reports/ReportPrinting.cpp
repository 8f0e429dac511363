#include "reports/ReportPrinting.h"

#include <QFont>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include "app/GroupLayout.h"
#include "platform/TextCodec.h"

namespace quorvane {

QFont reportFont() {
    QFont font(QStringLiteral("Courier"));
    font.setPointSize(10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

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

class PrinterPages final : public ReportPages {
public:
    PrinterPages(QPrinter& printer, QPainter& painter) : printer_(printer), surface_(painter) {}
    PaintSurface& surface() override { return surface_; }
    int pageHeight() const override {
        return printer_.pageLayout().fullRectPixels(printer_.resolution()).height();
    }
    bool newPage() override { return printer_.newPage(); }

private:
    QPrinter& printer_;
    QPainterSurface surface_;
};

}  // namespace

bool printReport(QPrinter& printer, const QString& docName, const ReportPageStyle& style,
                 const QString& heading, const ReportLines& lines) {
    printer.setDocName(docName);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    painter.setFont(reportFont());
    PrinterPages pages(printer, painter);
    drawReport(pages, style, heading, lines);
    return painter.end();
}

}  // namespace quorvane
