#pragma once
// The printing of both reports, on paper, in the preview and into PDF files: lines of text in
// 10-point Courier, L = character height + external leading, the left margin one average
// character width, a page ending at the physical page height less 4 L, a heading on the first
// page only, continuation pages from 2 L, no page numbers.
#include <QString>

#include "reports/ReportLines.h"

class QFont;
class QPrinter;
class QWidget;

namespace quorvane {

class PaintSurface;

// Where the heading and the first line stand and how far each line moves on, in line heights.
struct ReportPageStyle {
    int headingRow;
    int firstRow;
    int rowStep;
};
constexpr ReportPageStyle kReservationPageStyle{2, 6, 1};  // single spacing
constexpr ReportPageStyle kUtilizationPageStyle{4, 8, 2};  // double spacing

// A sequence of pages to draw on: the printer, the preview, or a test's recorder.
class ReportPages {
public:
    virtual ~ReportPages() = default;
    virtual PaintSurface& surface() = 0;
    // The physical page height in the surface's units.
    virtual int pageHeight() const = 0;
    // Ends the page and starts the next; false when the device refuses.
    virtual bool newPage() = 0;
};

// Draws the heading and the lines; the number of pages used (0 when a page could not start).
int drawReport(ReportPages& pages, const ReportPageStyle& style, const QString& heading,
               const ReportLines& lines);

// The report on the printer (or its PDF file, or the preview's printer) as document
// `docName`; false when the printer cannot start.
bool printReport(QPrinter& printer, const QString& docName, const ReportPageStyle& style,
                 const QString& heading, const ReportLines& lines);

// The printer font: 10-point Courier (a fixed-pitch face where Courier itself is missing).
QFont reportFont();

}  // namespace quorvane
