#pragma once
// The printing of a group window's content: one page, the window's own drawing in the
// printer font. The printer and the routine that prints live in platform/Printing.h.
#include "platform/Printing.h"

namespace quorvane {

class CZUKRecDoc;

// The group's page as a document named after the group's title.
PrintDocument groupDocument(const CZUKRecDoc& doc);
// Prints the group's window content on `printer` as it is set up; false when it cannot start.
bool printGroup(const CZUKRecDoc& doc, QPrinter& printer);

}  // namespace quorvane
