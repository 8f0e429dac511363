#pragma once
// The program's printer (shared by Print Setup, Print and the command line's --print) and the
// printing of a group window's content.
#include <QString>

class QPrinter;

namespace quorvane {

class CZUKRecDoc;

// The printer the program prints on; on a machine without printers it writes PDF files.
QPrinter& appPrinter();
bool hasSystemPrinter();
// Switches the printer to PDF output into `pdfPath`.
void printToPdf(QPrinter& printer, const QString& pdfPath);
// Prints the group's window content on one page; false when the printer cannot start.
bool printGroup(const CZUKRecDoc& doc, QPrinter& printer);

}  // namespace quorvane
