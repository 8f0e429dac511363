#include "app/GroupPrinting.h"

#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <memory>

#include "app/GroupLayout.h"
#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "platform/AppSettings.h"

namespace quorvane {

QPrinter& appPrinter() {
    static std::unique_ptr<QPrinter> printer;
    if (!printer) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!hasSystemPrinter()) printer->setOutputFormat(QPrinter::PdfFormat);
    }
    return *printer;
}

bool hasSystemPrinter() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

void printToPdf(QPrinter& printer, const QString& pdfPath) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
}

bool printGroup(const CZUKRecDoc& doc, QPrinter& printer) {
    printer.setDocName(doc.title());
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    painter.setFont(QFont(QStringLiteral("Courier"), 10));
    // The window's drawing with the printer's font metrics; the window's hit-test rectangles
    // are not touched.
    QPainterSurface surface(painter);
    CZUKRecView::draw(surface, doc, ViewPreferences::load(AppSettings()), -1);
    return painter.end();
}

}  // namespace quorvane
