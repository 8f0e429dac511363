#include "reports/ReportWindow.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "app/AppDialogs.h"
#include "app/ZUKRecDoc.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reports/ReportWidgets.h"

namespace quorvane {

void ReportLinesModel::setLines(ReportLines lines) {
    beginResetModel();
    lines_ = std::move(lines);
    endResetModel();
}

int ReportLinesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(std::min<std::size_t>(lines_.size(), INT32_MAX));
}

QVariant ReportLinesModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || std::size_t(index.row()) >= lines_.size())
        return {};
    return fromCp1252(lines_.line(std::size_t(index.row())));
}

ReportWindow::ReportWindow(CZUKRecDoc& doc, const Kind& kind, const QString& labelText,
                           QWidget* parent)
    : QDialog(parent), doc_(doc), kind_(kind) {
    setObjectName(QString::number(kind_.dialogId));
    setModal(true);
    setWindowTitle(QString::fromLatin1(kind_.title));
    resize(760, 520);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label(this, kind_.labelId, labelText));
    list_ = new QListView(this);
    list_->setObjectName(QString::number(kind_.listId));
    model_ = new ReportLinesModel(list_);
    list_->setModel(model_);
    // Every row has the same height, so the view never measures the rows it does not draw.
    list_->setUniformItemSizes(true);
    list_->setFont(printerFont());
    layout->addWidget(list_);

    auto* box = new QDialogButtonBox(this);
    QPushButton* ok = box->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QString::number(kOk));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* print = box->addButton(QStringLiteral("&Print"), QDialogButtonBox::ActionRole);
    print->setObjectName(QString::number(kPrint));
    connect(print, &QPushButton::clicked, this, &ReportWindow::print);
    QPushButton* preview =
        box->addButton(QStringLiteral("Print Pre&view"), QDialogButtonBox::ActionRole);
    preview->setObjectName(QString::fromLatin1(kPreviewName));
    connect(preview, &QPushButton::clicked, this, &ReportWindow::printPreview);
    QPushButton* pdf = box->addButton(QStringLiteral("Save as P&DF"), QDialogButtonBox::ActionRole);
    pdf->setObjectName(QString::fromLatin1(kPdfName));
    connect(pdf, &QPushButton::clicked, this, &ReportWindow::saveAsPdf);
    layout->addWidget(box);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [id = kind_.dialogId] { appHelp().showTopic(helpContext(unsigned(id))); });
}

QString ReportWindow::heading() const {
    return QStringLiteral("%1 for %2").arg(QString::fromLatin1(kind_.report), doc_.description());
}

PrintRequest ReportWindow::printRequest(PrintTarget target) {
    PrintRequest request;
    request.target = target;
    request.pdfPath = pdfBeside(doc_.basePath(), docName());
    request.parent = this;
    return request;
}

void ReportWindow::print() {
    const PrintOutcome outcome =
        printDocument(reportDocument(docName(), pageStyle(), heading(), lines()),
                      printRequest(PrintTarget::AskPrinter));
    if (outcome.status == PrintOutcome::Failed)
        appPrompter().message(
            QStringLiteral("The report could not be printed: %1").arg(outcome.error),
            QStringLiteral("Print Error"), PromptIcon::Stop);
}

void ReportWindow::printPreview() {
    printDocument(reportDocument(docName(), pageStyle(), heading(), lines()),
                  printRequest(PrintTarget::Preview));
}

void ReportWindow::saveAsPdf() {
    FileDialogRequest request;
    request.title = QStringLiteral("Save as PDF");
    request.filter = QStringLiteral("PDF Files (*.pdf);;All Files (*)");
    request.folder = QFileInfo(doc_.groupFilePath()).absolutePath();
    request.fileName = QFileInfo(pdfBeside(doc_.basePath(), docName())).fileName();
    request.defaultSuffix = QStringLiteral("pdf");
    request.mustExist = false;
    const QString path = appDialogs().chooseFile(request, this);
    if (path.isEmpty()) return;
    QString error;
    if (!writePdf(path, &error))
        appPrompter().message(QStringLiteral("Could not write the file %1\n%2").arg(path, error),
                              QStringLiteral("Save as PDF"), PromptIcon::Stop);
}

bool ReportWindow::writePdf(const QString& path, QString* error) {
    PrintRequest request = printRequest(PrintTarget::PdfFile);
    request.pdfPath = path;
    const PrintOutcome outcome =
        printDocument(reportDocument(docName(), pageStyle(), heading(), lines()), request);
    if (error) *error = outcome.error;
    return outcome.printed();
}

}  // namespace quorvane
