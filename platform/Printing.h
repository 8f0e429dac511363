#pragma once
// The one way the program prints: a document (its name and a painter of its pages) onto a
// target: the printer after the print dialog, the printer without asking (the command line),
// the print preview, or a PDF file. With no printer on the machine, printing writes a PDF
// file beside the group instead. A PDF is written as a new file in its folder and renamed
// into place once every byte of it is on disk, so it never writes through a link planted
// under the target's name and never leaves a half-written file behind.
#include <QString>
#include <functional>
#include <vector>

class QFont;
class QPageLayout;
class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace quorvane {

// The pages a document is painted on: the printer, the preview's printer or a PDF file.
class PrintPages {
public:
    virtual ~PrintPages() = default;
    virtual QPainter& painter() = 0;
    // The physical page height in device pixels.
    virtual int pageHeight() const = 0;
    // Ends the page and starts the next; false when the device refuses.
    virtual bool newPage() = 0;
};

struct PrintDocument {
    // The print job's name, the preview's title and the name of the PDF beside the group.
    QString name;
    // Draws every page with the painter set to the printer font.
    std::function<void(PrintPages&)> paint;
};

enum class PrintTarget {
    AskPrinter,  // the print dialog, then the printer (or the PDF file it names)
    Printer,     // the printer without asking: printing from the command line
    Preview,     // the print preview
    PdfFile,     // the PDF file `pdfPath`
};

struct PrintRequest {
    PrintTarget target = PrintTarget::AskPrinter;
    // PdfFile: the file. AskPrinter and Printer: the file written when the machine has no
    // printer (see pdfBeside()).
    QString pdfPath;
    QWidget* parent = nullptr;
};

struct PrintOutcome {
    enum Status { Printed, Cancelled, Failed };
    Status status = Printed;
    QString pdfPath;  // the PDF written, when the output went into one
    QString error;    // Failed: why, naming the file where there is one
    bool printed() const { return status == Printed; }
};

// Prints `document` as `request` asks. The program's printer stays usable whatever happens.
PrintOutcome printDocument(const PrintDocument& document, const PrintRequest& request);

// The PDF a document goes into beside its group when there is no printer:
// "<group path without .rec> <document name>.pdf", or "<group path without .rec>.pdf" for
// the group's own page (an empty name).
QString pdfBeside(const QString& groupBasePath, const QString& documentName);

// The program's printer (shared by Print Setup, the print dialogs and the command line): it
// keeps the page layout and the printer a person picked.
QPrinter& appPrinter();
bool hasSystemPrinter();
// The printer font: 10-point Courier (a fixed-pitch face where Courier itself is missing).
QFont printerFont();

// Paints `document` on `device` directly (a printer already set up); false when it cannot
// start.
bool printOn(QPagedPaintDevice& device, const PrintDocument& document);
// Switches `printer` to PDF output into `pdfPath`.
void printToPdf(QPrinter& printer, const QString& pdfPath);

// Writes `document` into the PDF file `path` on the page layout `layout` at `resolution`
// dots per inch. Empty on success, otherwise why not, naming the path.
QString writePdfFile(const PrintDocument& document, const QString& path, const QPageLayout& layout,
                     int resolution);

// The modal steps of printing, replaceable by tests.
class PrintDialogs {
public:
    virtual ~PrintDialogs() = default;
    // The print dialog on `printer`; false on Cancel. `offerPdf`: the dialog lets the output
    // go into a file (the only way out on a machine without printers).
    virtual bool askPrint(QPrinter& printer, bool offerPdf, QWidget* parent) = 0;
    // The print preview titled "Print Preview: <title>", painting through `paint`.
    virtual void preview(QPrinter& printer, const QString& title,
                         const std::function<void(QPrinter&)>& paint, QWidget* parent) = 0;
};

// The tests' stand-in: answers every print dialog with `answer`, records what was asked and
// shows no window. A preview paints its pages into `previewPdf` when one is named.
class RecordingPrintDialogs final : public PrintDialogs {
public:
    bool answer = false;
    std::vector<QString> askedFiles;  // the printer's output file at each print dialog
    std::vector<QString> previewTitles;
    QString previewPdf;
    bool askPrint(QPrinter& printer, bool offerPdf, QWidget* parent) override;
    void preview(QPrinter& printer, const QString& title,
                 const std::function<void(QPrinter&)>& paint, QWidget* parent) override;
};

PrintDialogs& appPrintDialogs();
void setAppPrintDialogs(PrintDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
