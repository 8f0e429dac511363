#include "app/GroupPrinting.h"

#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <memory>

#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"

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
    CZUKRecView::drawHeader(painter, doc);
    return painter.end();
}

}  // namespace quorvane
