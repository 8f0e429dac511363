#pragma once
// What both report windows share: the lines in a list view with uniform rows, the group label,
// OK, Print, Print Preview and Save as PDF, each handing reportDocument() to printDocument(),
// the one printing routine. The windows only show and print lines the report job made.
#include <QAbstractListModel>
#include <QDialog>
#include <QString>

#include "platform/Printing.h"
#include "reports/ReportPrinting.h"
#include "reports/core/ReportLines.h"

class QListView;

namespace quorvane {

class CZUKRecDoc;

// The lines of a report for a list view with uniform rows: a million lines show at once,
// because the view asks only for the rows it draws. The lines stay in their compact store
// (one buffer, one offset per line) rather than as a vector of rows.
class ReportLinesModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void setLines(ReportLines lines);
    const ReportLines& lines() const { return lines_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    ReportLines lines_;
};

// What both report windows share: the list, the group label, OK, Print, Print Preview and
// Save as PDF, all drawing through drawReport().
class ReportWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOk = 1, kPrint = 1108;
    // Print Preview and Save as PDF were added to the windows and have no control id.
    static constexpr const char* kPreviewName = "preview";
    static constexpr const char* kPdfName = "pdf";
    const ReportLines& lines() const { return model_->lines(); }
    QListView* list() const { return list_; }
    // The printed heading ("<report> for <group description>"), the print job's name and the
    // page style.
    QString heading() const;
    QString docName() const { return QString::fromLatin1(kind_.docName); }
    ReportPageStyle pageStyle() const { return kind_.style; }

    void print();
    void printPreview();
    void saveAsPdf();
    // The report into a PDF file; false when it cannot be written (`error` says why).
    bool writePdf(const QString& path, QString* error = nullptr);

protected:
    // The window's document goes to `target`; without a printer, into its PDF beside the group.
    PrintRequest printRequest(PrintTarget target);
    // What tells the two windows apart.
    struct Kind {
        int dialogId, listId, labelId;
        const char* title;    // of the window
        const char* docName;  // the print job's name, and the PDF's beside the group
        const char* report;   // the heading's first words
        ReportPageStyle style;
    };
    ReportWindow(CZUKRecDoc& doc, const Kind& kind, const QString& label, QWidget* parent);
    CZUKRecDoc& doc_;
    ReportLinesModel* model_;
    QListView* list_;

private:
    Kind kind_;
};

}  // namespace quorvane
