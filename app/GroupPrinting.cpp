#include "app/GroupPrinting.h"

#include <QPainter>
#include <QPrinter>

#include "app/GroupLayout.h"
#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "platform/AppSettings.h"

namespace quorvane {

PrintDocument groupDocument(const CZUKRecDoc& doc) {
    return {doc.title(), [&doc](PrintPages& pages) {
                // The window's drawing with the printer's font metrics; the window's hit-test
                // rectangles are not touched.
                QPainterSurface surface(pages.painter());
                CZUKRecView::draw(surface, doc, ViewPreferences::load(AppSettings()), -1);
            }};
}

bool printGroup(const CZUKRecDoc& doc, QPrinter& printer) {
    printer.setDocName(doc.title());
    return printOn(printer, groupDocument(doc));
}

}  // namespace quorvane
