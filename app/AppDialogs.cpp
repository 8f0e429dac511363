#include "app/AppDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPageSetupDialog>
#include <QStringList>

#include "app/AboutDlg.h"
#include "app/Preferences.h"
#include "app/StartupDlg.h"
#include "platform/DialogSeam.h"

namespace quorvane {

QString QtAppDialogs::chooseFile(const FileDialogRequest& request, QWidget* parent) {
    QFileDialog dialog(parent, request.title, request.folder, request.filter);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.note.isEmpty()) {
        // The desktop's own dialog has no room for it; Qt's has a grid to add a row to.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* note = new QLabel(request.note, &dialog);
            note->setObjectName(QStringLiteral("note"));
            note->setWordWrap(true);
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

std::optional<NewGroupChoice> QtAppDialogs::askNewGroup(QWidget* parent) {
    CStartupDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return NewGroupChoice{dialog.typeName(), dialog.description()};
}

void QtAppDialogs::showAbout(int splashMs, QWidget* parent) {
    CAboutDlg dialog(parent, splashMs);
    dialog.exec();
}

std::optional<QColor> QtAppDialogs::chooseColor(const QColor& initial, QWidget* parent) {
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
}

bool QtAppDialogs::pageSetup(QPrinter& printer, QWidget* parent) {
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

void QtAppDialogs::showPreferences(CPreferences& sheet) {
    sheet.exec();
}

std::optional<FacilityAnswer> QtAppDialogs::askFacility(const CZUKRecDoc& doc, bool modify,
                                                        const FacilityAnswer& initial,
                                                        QWidget* parent) {
    CAddRoomDlg dialog(doc, modify, initial, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.answer();
}

std::optional<GroupAnswer> QtAppDialogs::askGroup(const GroupAnswer& initial, QWidget* parent) {
    CModifyGroupDlg dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.form();
}

std::optional<std::int64_t> QtAppDialogs::askDeletionDate(std::int64_t proposed, QWidget* parent) {
    CDeleteRes dialog(proposed, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.date();
}

AppDialogs& appDialogs() {
    return DialogSeam<AppDialogs, QtAppDialogs>::get();
}

void setAppDialogs(AppDialogs* dialogs) {
    DialogSeam<AppDialogs, QtAppDialogs>::set(dialogs);
}

QString qtFileFilter(const QString& pairFilter) {
    QStringList parts = pairFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (description.isEmpty()) break;  // the "||" that ends the list
        const int paren = description.indexOf(QLatin1Char('('));
        if (paren >= 0) description = description.left(paren).trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace quorvane
