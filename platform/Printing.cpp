#include "platform/Printing.h"

#include <QFileInfo>
#include <QFont>
#include <QIODevice>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/file4replace.h"
#include "platform/DialogSeam.h"

namespace quorvane {

namespace {

// PDF files are drawn at the resolution the high-resolution printer gives them.
constexpr int kPdfResolution = 1200;

class DevicePages final : public PrintPages {
public:
    DevicePages(QPagedPaintDevice& device, QPainter& painter)
        : device_(device), painter_(painter) {}
    QPainter& painter() override { return painter_; }
    int pageHeight() const override {
        return device_.pageLayout().fullRectPixels(device_.logicalDpiY()).height();
    }
    bool newPage() override { return device_.newPage(); }

private:
    QPagedPaintDevice& device_;
    QPainter& painter_;
};

QString errnoText(int e) {
    return QString::fromLocal8Bit(std::strerror(e));
}

// The PDF writer's output: the replacement file the PDF goes into. Every write is checked; the
// first failure sticks, so a full disk or a short write is reported instead of a truncated file.
class ReplacementDevice final : public QIODevice {
public:
    explicit ReplacementDevice(File4Replace& file) : file_(file) {}

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        return file_.write(data, std::size_t(size)) == 0 ? size : -1;
    }

private:
    File4Replace& file_;
};

// After a job the printer may be left refusing changes ("printer is active") or in its error
// state; a fresh printer with the same choices takes its place.
void recoverPrinter(std::unique_ptr<QPrinter>& printer) {
    if (!printer) return;
    const QPrinter::PrinterState state = printer->printerState();
    if (state != QPrinter::Error && state != QPrinter::Active) return;
    auto fresh = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (printer->outputFormat() == QPrinter::NativeFormat && !printer->printerName().isEmpty())
        fresh->setPrinterName(printer->printerName());
    else
        fresh->setOutputFormat(QPrinter::PdfFormat);
    fresh->setOutputFileName(printer->outputFileName());
    fresh->setPageLayout(printer->pageLayout());
    fresh->setCopyCount(printer->copyCount());
    printer = std::move(fresh);
}

std::unique_ptr<QPrinter>& printerSlot() {
    static std::unique_ptr<QPrinter> printer;
    return printer;
}

class QtPrintDialogs final : public PrintDialogs {
public:
    bool askPrint(QPrinter& printer, bool offerPdf, QWidget* parent) override {
        QPrintDialog dialog(&printer, parent);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, offerPdf);
        return dialog.exec() == QDialog::Accepted;
    }
    void preview(QPrinter& printer, const QString& title,
                 const std::function<void(QPrinter&)>& paint, QWidget* parent) override {
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("Print Preview: %1").arg(title));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                         [&paint](QPrinter* p) { paint(*p); });
        dialog.exec();
    }
};

}  // namespace

QPrinter& appPrinter() {
    std::unique_ptr<QPrinter>& printer = printerSlot();
    if (!printer) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!hasSystemPrinter()) printer->setOutputFormat(QPrinter::PdfFormat);
    }
    return *printer;
}

bool hasSystemPrinter() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

QFont printerFont() {
    QFont font(QStringLiteral("Courier"));
    font.setPointSize(10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

bool printOn(QPagedPaintDevice& device, const PrintDocument& document) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    painter.setFont(printerFont());
    DevicePages pages(device, painter);
    if (document.paint) document.paint(pages);
    return painter.end();
}

void printToPdf(QPrinter& printer, const QString& pdfPath) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
}

QString pdfBeside(const QString& groupBasePath, const QString& documentName) {
    return documentName.isEmpty()
               ? groupBasePath + QStringLiteral(".pdf")
               : groupBasePath + QStringLiteral(" ") + documentName + QStringLiteral(".pdf");
}

QString writePdfFile(const PrintDocument& document, const QString& path, const QPageLayout& layout,
                     int resolution) {
    const QFileInfo info(path);
    const QString target = info.absoluteFilePath();
    auto failed = [&target](int e) {
        return QStringLiteral("%1 could not be written: %2").arg(target, errnoText(e));
    };
    if (info.fileName().isEmpty()) return failed(EISDIR);
    // A new file beside the target, renamed over it once whole: a link planted under the
    // target's name is replaced, never followed, and a failure leaves the target as it was.
    File4Replace file;
    if (int e = file.begin(QFile::encodeName(target).toStdString())) return failed(e);
    bool painted = false;
    {
        ReplacementDevice device(file);
        device.open(QIODevice::WriteOnly);
        QPdfWriter writer(&device);
        writer.setPageLayout(layout);
        writer.setResolution(resolution);
        writer.setTitle(document.name);
        painted = printOn(writer, document);
    }
    if (file.error() != 0) return failed(file.error());
    if (!painted) return failed(EIO);
    if (int e = file.commit()) return failed(e);
    return {};
}

PrintOutcome printDocument(const PrintDocument& document, const PrintRequest& request) {
    PrintOutcome outcome;
    auto fail = [&outcome](const QString& why) {
        outcome.status = PrintOutcome::Failed;
        outcome.error = why;
        return outcome;
    };
    if (request.target == PrintTarget::PdfFile) {
        outcome.pdfPath = QFileInfo(request.pdfPath).absoluteFilePath();
        const QString error =
            writePdfFile(document, request.pdfPath, appPrinter().pageLayout(), kPdfResolution);
        return error.isEmpty() ? outcome : fail(error);
    }

    QPrinter& printer = appPrinter();
    printer.setDocName(document.name);
    if (request.target == PrintTarget::Preview) {
        appPrintDialogs().preview(
            printer, document.name, [&document](QPrinter& p) { printOn(p, document); },
            request.parent);
        recoverPrinter(printerSlot());
        return outcome;
    }

    // Without a printer the output goes into the document's own PDF beside the group; the
    // shared printer gets its own file name back afterwards.
    const bool noPrinter = !hasSystemPrinter();
    const QString previousFile = printer.outputFileName();
    if (noPrinter) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(request.pdfPath);
    }
    const bool go = request.target == PrintTarget::Printer ||
                    appPrintDialogs().askPrint(printer, noPrinter, request.parent);
    if (!go) {
        outcome.status = PrintOutcome::Cancelled;
    } else if (printer.outputFormat() == QPrinter::PdfFormat) {
        const QString path = printer.outputFileName();
        if (path.isEmpty()) {
            fail(QStringLiteral("No printer is installed and no PDF file was named."));
        } else {
            outcome.pdfPath = QFileInfo(path).absoluteFilePath();
            const QString error =
                writePdfFile(document, path, printer.pageLayout(), kPdfResolution);
            if (!error.isEmpty()) fail(error);
        }
    } else if (!printOn(printer, document)) {
        fail(printer.printerName().isEmpty()
                 ? QStringLiteral("No printer was chosen.")
                 : QStringLiteral("The printer %1 could not start.").arg(printer.printerName()));
    }
    recoverPrinter(printerSlot());
    if (noPrinter) appPrinter().setOutputFileName(previousFile);
    return outcome;
}

bool RecordingPrintDialogs::askPrint(QPrinter& printer, bool, QWidget*) {
    askedFiles.push_back(printer.outputFileName());
    return answer;
}

void RecordingPrintDialogs::preview(QPrinter& printer, const QString& title,
                                    const std::function<void(QPrinter&)>& paint, QWidget*) {
    previewTitles.push_back(title);
    if (previewPdf.isEmpty()) return;
    QPrinter pages(QPrinter::HighResolution);
    pages.setDocName(printer.docName());
    pages.setPageLayout(printer.pageLayout());
    printToPdf(pages, previewPdf);
    paint(pages);
}

PrintDialogs& appPrintDialogs() {
    return DialogSeam<PrintDialogs, QtPrintDialogs>::get();
}

void setAppPrintDialogs(PrintDialogs* dialogs) {
    DialogSeam<PrintDialogs, QtPrintDialogs>::set(dialogs);
}

}  // namespace quorvane
