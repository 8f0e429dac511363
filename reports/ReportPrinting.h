#pragma once
// The printing of both reports, on paper, in the preview and into PDF files: lines of text in
// 10-point Courier, L = character height + external leading, the left margin one average
// character width, a page ending at the physical page height less 4 L, a heading on the first
// page only, continuation pages from 2 L, no page numbers.
#include <QString>
#include <vector>

#include "base/Calendar.h"
#include "group/DayState.h"
#include "platform/Printing.h"
#include "reports/core/DayChart.h"
#include "reports/core/ReportJob.h"
#include "reports/core/ReportLines.h"

namespace quorvane {

class PaintSurface;

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

// The report as a document to print, named `docName`. The lines are read when the pages are
// painted: they must outlive the printing.
PrintDocument reportDocument(const QString& docName, const ReportPageStyle& style,
                             const QString& heading, const ReportLines& lines);

// The day at a glance of a loaded chart (the window's and the command line's) as a document to
// print ("DayGlance"): the character grid of printDayGlance() from the first hour.
PrintDocument dayChartDocument(const DayChart& chart, int startHour);

}  // namespace quorvane
