// The one printing routine: PDFs are new files renamed into place (never written through a
// planted link), a write that fails is reported rather than called printed, and without a
// printer every printing path goes into its own PDF beside the group.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <optional>

#include "platform/Printing.h"

namespace quorvane {
namespace {

// A document of `pages` pages with one line of text each.
PrintDocument lines(const QString& name, int pages) {
    return {name, [pages](PrintPages& p) {
                for (int i = 0; i < pages; ++i) {
                    if (i > 0) p.newPage();
                    p.painter().drawText(100, 200, QStringLiteral("page %1").arg(i + 1));
                }
            }};
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Files may grow only to `bytes` while alive: the write past it fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

class PrintingTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingPrintDialogs dialogs;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setAppPrintDialogs(&dialogs);
    }
    void TearDown() override { setAppPrintDialogs(nullptr); }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
};

TEST_F(PrintingTest, PdfFilesAreNewFilesRenamedIntoPlaceAndFailuresSayWhy) {
    const QString victim = dir.filePath("victim.txt");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    // A link planted under the report's name is replaced, its target left alone.
    const QString report = dir.filePath("Courts Reservation Report.pdf");
    ASSERT_TRUE(QFile::link(victim, report));
    PrintRequest request;
    request.target = PrintTarget::PdfFile;
    request.pdfPath = report;
    PrintOutcome out = printDocument(lines("Reservation Report", 3), request);
    ASSERT_TRUE(out.printed()) << out.error.toStdString();
    EXPECT_EQ(out.pdfPath, report);
    EXPECT_FALSE(QFileInfo(report).isSymLink());
    EXPECT_TRUE(readAll(report).startsWith("%PDF"));
    EXPECT_TRUE(readAll(report).trimmed().endsWith("%%EOF"));
    EXPECT_EQ(readAll(victim), "keep me");

    struct Case {
        const char* name;
        QString path;
        rlim_t limit;  // 0: none
        const char* why;
    };
    const std::vector<Case> cases = {
        {"a full disk", dir.filePath("full.pdf"), 2000, "File too large"},
        {"no such folder", dir.filePath("missing/r.pdf"), 0, "No such file or directory"},
        {"a folder under the name", dir.path() + "/", 0, "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        request.pdfPath = c.path;
        {
            std::optional<FileSizeLimit> limit;
            if (c.limit) limit.emplace(c.limit);
            out = printDocument(lines("Reservation Report", 40), request);
        }
        EXPECT_EQ(out.status, PrintOutcome::Failed);
        EXPECT_TRUE(out.error.contains(QFileInfo(c.path).absoluteFilePath()))
            << out.error.toStdString();
        EXPECT_TRUE(out.error.contains(c.why)) << out.error.toStdString();
    }
    // Nothing half written is left behind: the report, the victim and its link's target.
    EXPECT_EQ(files(), (QStringList{"Courts Reservation Report.pdf", "victim.txt"}));
}

TEST_F(PrintingTest, WithoutAPrinterEveryPathWritesItsOwnPdfAndThePrinterStaysUsable) {
    ASSERT_FALSE(hasSystemPrinter()) << "this test stands for a machine without printers";
    const QString group = dir.filePath("Courts");
    QPrinter& printer = appPrinter();
    const QString own = printer.outputFileName();

    PrintRequest request;
    request.pdfPath = pdfBeside(group, QStringLiteral("RoomReservations"));
    EXPECT_EQ(printDocument(lines("RoomReservations", 1), request).status, PrintOutcome::Cancelled);
    dialogs.answer = true;
    for (const char* name : {"RoomReservations", "DayGlance", ""}) {
        SCOPED_TRACE(name);
        request.pdfPath = pdfBeside(group, QString::fromLatin1(name));
        const PrintOutcome out = printDocument(lines(QString::fromLatin1(name), 1), request);
        ASSERT_TRUE(out.printed()) << out.error.toStdString();
        EXPECT_EQ(out.pdfPath, request.pdfPath);
        EXPECT_TRUE(readAll(out.pdfPath).startsWith("%PDF"));
        EXPECT_EQ(appPrinter().outputFileName(), own) << "the shared printer keeps its file";
        EXPECT_EQ(appPrinter().docName(), QString::fromLatin1(name));
    }
    EXPECT_EQ(dialogs.askedFiles, (std::vector<QString>{dir.filePath("Courts RoomReservations.pdf"),
                                                        dir.filePath("Courts RoomReservations.pdf"),
                                                        dir.filePath("Courts DayGlance.pdf"),
                                                        dir.filePath("Courts.pdf")}));

    // The preview is titled with the document it shows, whatever was printed before.
    dialogs.previewPdf = dir.filePath("preview.pdf");
    request.target = PrintTarget::Preview;
    EXPECT_TRUE(printDocument(lines("Reservation Report", 2), request).printed());
    EXPECT_EQ(dialogs.previewTitles, std::vector<QString>{"Reservation Report"});
    EXPECT_TRUE(readAll(dialogs.previewPdf).startsWith("%PDF"));
}

}  // namespace
}  // namespace quorvane
