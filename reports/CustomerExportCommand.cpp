// The Customers menu's two export commands: the file dialog, the export, the outcome.
#include <QFile>
#include <QFileInfo>

#include "app/AppDialogs.h"
#include "app/ZUKRecDoc.h"
#include "group/GroupTables.h"
#include "platform/Prompter.h"
#include "reports/CustomerExportCommand.h"
#include "reports/ExportDialogs.h"
#include "reports/ReportDialogs.h"
#include "reports/core/CustomerExport.h"
#include "reports/core/KFSClass.h"

namespace quorvane {

namespace {

const QString kStatusCaption = QStringLiteral("Export Status");
const QString kNotCreated = QStringLiteral("Error creating export file, export terminated");
const QString kNotAllWritten =
    QStringLiteral("Error during export, all records could not be written");

void showStatus(const QString& text, bool ok) {
    appPrompter().message(text, kStatusCaption, ok ? PromptIcon::Information : PromptIcon::Warning);
}

QString groupFolder(const CZUKRecDoc& doc) {
    return QFileInfo(doc.groupFilePath()).absolutePath();
}

// Says so and gives true when `path` is one of a group's files.
bool refusedAsGroupFile(const QString& path) {
    if (!isGroupFileName(QFile::encodeName(path).toStdString())) return false;
    Prompt refusal;
    refusal.text = QStringLiteral(
                       "%1 is a table, group file or change stamp of a group. An export cannot "
                       "replace it; please choose another name.")
                       .arg(path);
    refusal.caption = kStatusCaption;
    refusal.icon = PromptIcon::Stop;
    appPrompter().show(refusal);
    return true;
}

}  // namespace

QString chooseExportFile(FileDialogRequest request, QWidget* parent) {
    request.save = true;
    request.mustExist = false;
    for (;;) {
        const QString path = appDialogs().chooseFile(request, parent);
        if (path.isEmpty() || !refusedAsGroupFile(path)) return path;
    }
}

void runTextExport(CZUKRecDoc& doc, QWidget* parent) {
    FileDialogRequest request;
    request.title = QStringLiteral("Select a Path and Name for the Exported Customer File");
    request.filter = qtFileFilter(QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*||"));
    request.folder = groupFolder(doc);
    request.defaultSuffix = QStringLiteral("txt");
    request.note = QString::fromLatin1(kFormulaNote);
    const QString path = chooseExportFile(request, parent);
    if (path.isEmpty()) return;

    CPeople* people = doc.tables() ? doc.tables()->people() : nullptr;
    const int result = people ? exportCustomersText(*people, QFile::encodeName(path).toStdString())
                              : int(kTextNotCreated);
    if (result == kTextExported)
        showStatus(QStringLiteral("Customer file exported to text file successfully"), true);
    else
        showStatus(result == kTextNotCreated ? kNotCreated : kNotAllWritten, false);
}

void runAddressExport(CZUKRecDoc& doc, QWidget* parent) {
    FileDialogRequest request;
    request.title = QStringLiteral("Select a Path and Name for the New Postrel File");
    request.filter =
        qtFileFilter(QStringLiteral("Address Files (*.adr)|*.adr|All Files (*.*)|*.*||"));
    request.folder = groupFolder(doc);
    request.defaultSuffix = QStringLiteral("adr");
    request.mustExist = false;
    CPeople* people = doc.tables() ? doc.tables()->people() : nullptr;

    QString outcome;
    bool ok = false;
    while (outcome.isEmpty()) {
        const QString path = appDialogs().chooseFile(request, parent);
        if (path.isEmpty()) {
            outcome = QStringLiteral("User cancelled export");
            break;
        }
        // "Delete Existing File" must never be offered for a group's own table.
        if (refusedAsGroupFile(path)) continue;
        if (path.size() > CKFSClass::kMaxPathChars) {
            Prompt limit;
            limit.text = QStringLiteral(
                             "Sorry, but due to a limitation with Postrel, the path and file name "
                             "cannot be more than %1 characters. The path and name you specified "
                             "total %2 characters. Please respecify the name and/or path.")
                             .arg(CKFSClass::kMaxPathChars)
                             .arg(path.size());
            limit.caption = QStringLiteral("Postrel Limitation");
            limit.icon = PromptIcon::Stop;
            appPrompter().show(limit);
            continue;
        }
        const std::string dataPath = QFile::encodeName(path).toStdString();
        for (;;) {
            std::string indexPath;
            const int result = people ? exportCustomersAddress(*people, dataPath, indexPath)
                                      : int(kAddressNotCreated);
            if (result == kAddressExported) {
                outcome = QStringLiteral("Customer file has been exported to %1").arg(path);
                ok = true;
            } else if (result == kAddressNotCreated) {
                outcome = kNotCreated;
            } else if (result == kAddressExists) {
                const int choice = appReportDialogs().askAddressFileExists(path, parent);
                if (choice == CAddrFileExists::kDeleteId) {
                    QFile::remove(path);
                    QFile::remove(QFile::decodeName(QByteArray::fromStdString(indexPath)));
                    continue;
                }
                if (choice != CAddrFileExists::kChangeNameId)
                    outcome = QStringLiteral("User cancelled export, export terminated");
            } else {
                outcome = kNotAllWritten;
            }
            break;
        }
    }
    showStatus(outcome, ok);
}

}  // namespace quorvane
