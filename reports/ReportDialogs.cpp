#include "reports/ReportDialogs.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/GroupTables.h"
#include "app/ShellDialogs.h"
#include "app/ZUKRecDoc.h"
#include "app/core/Clock.h"
#include "app/core/GroupFile.h"
#include "platform/DialogButtons.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/RowListModel.h"
#include "platform/TextCodec.h"
#include "reservations/LineListModel.h"
#include "tables/Calendar.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace quorvane {

// ----- models -----

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

// ----- shared pieces -----

class DateInstantEdit final : public QDateEdit {
public:
    DateInstantEdit(int id, QWidget* parent) : QDateEdit(parent) {
        setObjectName(QString::number(id));
        setCalendarPopup(true);
        setDisplayFormat(QStringLiteral("dddd, MMMM d, yyyy"));
        setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
        setMinimumWidth(
            fontMetrics().horizontalAdvance(QStringLiteral("Wednesday, September 30, 2026")) + 40);
    }
    void setInstant(std::int64_t t) {
        const LocalTime l = Clock::toLocal(t);
        hour_ = l.hour;
        minute_ = l.minute;
        second_ = l.second;
        setDate(QDate(l.year, l.month, l.day));
    }
    // The shown date at the time of day the control was given.
    std::int64_t instant() const {
        const QDate d = date();
        return Clock::fromLocal(d.year(), d.month(), d.day(), hour_, minute_, second_);
    }

private:
    int hour_ = 0, minute_ = 0, second_ = 0;
};

namespace {

QListView* selectionList(QWidget* owner, int id, const std::vector<QString>& rows, bool multi) {
    auto* view = new QListView(owner);
    view->setObjectName(QString::number(id));
    auto* model = new RowListModel<QString>([](const QString& row) { return row; }, view);
    model->setRows(rows);
    view->setModel(model);
    view->setSelectionMode(multi ? QAbstractItemView::MultiSelection
                                 : QAbstractItemView::SingleSelection);
    view->setUniformItemSizes(true);
    return view;
}

std::vector<int> selectedRows(const QListView* view) {
    std::vector<int> rows;
    for (const QModelIndex& i : view->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void selectRows(QListView* view, const std::vector<int>& rows) {
    view->clearSelection();
    for (int r : rows)
        view->selectionModel()->select(view->model()->index(r, 0), QItemSelectionModel::Select);
}

std::vector<QString> facilityRows(const CZUKRecDoc& doc) {
    std::vector<QString> rows;
    for (int i = 0; i < doc.facilityCount(); ++i)
        rows.push_back(fromCp1252(doc.group().rooms[std::size_t(i)].name));
    return rows;
}

QLabel* label(QWidget* owner, int id, const QString& text) {
    auto* l = new QLabel(text, owner);
    l->setObjectName(QString::number(id));
    return l;
}

void showReadError(int code) {
    appPrompter().message(
        QStringLiteral("The reservation table could not be read to its end (error %1); the "
                       "report shows the reservations read before it.")
            .arg(code),
        QStringLiteral("Database Error"), PromptIcon::Stop);
}

}  // namespace

void showCutShort() {
    appPrompter().message(QString::fromLatin1(kCutShortMessage), QStringLiteral("Database Error"),
                          PromptIcon::Stop);
}

// ----- CResReportDlg -----

CResReportDlg::CResReportDlg(CZUKRecDoc& doc, std::int64_t defaultStart, QWidget* parent)
    : QDialog(parent), doc_(doc) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Reservation Report Options"));
    auto* layout = new QVBoxLayout(this);
    auto* dates = new QHBoxLayout;
    start_ = new DateInstantEdit(kStartDate, this);
    end_ = new DateInstantEdit(kEndDate, this);
    dates->addWidget(new QLabel(QStringLiteral("Start Date"), this));
    dates->addWidget(start_);
    dates->addWidget(new QLabel(QStringLiteral("End Date"), this));
    dates->addWidget(end_);
    layout->addLayout(dates);

    const std::int64_t now = appClock().now();
    end_->setInstant(now);
    start_->setInstant(std::min(defaultStart, now));

    auto* lists = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(label(this, kFacilityLabel,
                          QStringLiteral("Include Only Selected %1(s)").arg(doc.typeName())));
    facilities_ = selectionList(this, kFacilities, facilityRows(doc), true);
    left->addWidget(facilities_);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Include Only Selected Customers"), this));
    CPeople* people = doc.tables() ? doc.tables()->people() : nullptr;
    if (people) customerRows(*people, customerRows_);
    std::vector<QString> customerTexts;
    for (const RecordRow& row : customerRows_) customerTexts.push_back(fromCp1252(row.line));
    customers_ = selectionList(this, kCustomers, customerTexts, true);
    customers_->setFont(printerFont());
    // Tabs at every 100 dialog units, as in the other customer choosers: the names and the
    // organizations line up in columns. The list scrolls sideways rather than cut them.
    customers_->setItemDelegate(new TabStopDelegate(100, customers_));
    customers_->setTextElideMode(Qt::ElideNone);
    customers_->setMinimumWidth(560);
    right->addWidget(customers_);
    lists->addLayout(left, 1);
    lists->addLayout(right, 2);
    layout->addLayout(lists);
    const DialogButtons buttons = addDialogButtons(this, layout, kDialogId, kHelp, false);
    connect(buttons.ok, &QPushButton::clicked, this, &CResReportDlg::accept);
}

ReservationOptions CResReportDlg::options() const {
    ReservationOptions o;
    o.start = start_->instant();
    o.end = end_->instant();
    o.facilities = selectedRows(facilities_);
    for (int row : selectedRows(customers_))
        o.customerRecords.push_back(customerRows_[std::size_t(row)].record);
    return o;
}

void CResReportDlg::setRange(std::int64_t start, std::int64_t end) {
    start_->setInstant(start);
    end_->setInstant(end);
}

void CResReportDlg::selectFacilities(const std::vector<int>& rows) {
    selectRows(facilities_, rows);
}

void CResReportDlg::selectCustomers(const std::vector<int>& rows) {
    selectRows(customers_, rows);
}

bool CResReportDlg::validate() {
    const ReservationOptions o = options();
    if (const auto refusal = checkReservationOptions(o)) {
        showDialogMessage(*refusal);
        return false;
    }
    return true;
}

void CResReportDlg::accept() {
    if (validate()) QDialog::accept();
}

// ----- ReportWindow -----

ReportWindow::ReportWindow(CZUKRecDoc& doc, int dialogId, int listId, int labelId,
                           const QString& title, const QString& labelText, QWidget* parent)
    : QDialog(parent), doc_(doc), dialogId_(dialogId) {
    setObjectName(QString::number(dialogId));
    setModal(true);
    setWindowTitle(title);
    resize(760, 520);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label(this, labelId, labelText));
    list_ = new QListView(this);
    list_->setObjectName(QString::number(listId));
    model_ = new ReportLinesModel(list_);
    list_->setModel(model_);
    // Every row has the same height, so the view never measures the rows it does not draw.
    list_->setUniformItemSizes(true);
    list_->setFont(printerFont());
    layout->addWidget(list_);

    auto* box = new QDialogButtonBox(this);
    QPushButton* ok = box->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* print = box->addButton(QStringLiteral("&Print"), QDialogButtonBox::ActionRole);
    print->setObjectName(QString::number(kPrint));
    connect(print, &QPushButton::clicked, this, &ReportWindow::print);
    QPushButton* preview =
        box->addButton(QStringLiteral("Print Pre&view"), QDialogButtonBox::ActionRole);
    preview->setObjectName(QStringLiteral("preview"));
    connect(preview, &QPushButton::clicked, this, &ReportWindow::printPreview);
    QPushButton* pdf = box->addButton(QStringLiteral("Save as P&DF"), QDialogButtonBox::ActionRole);
    pdf->setObjectName(QStringLiteral("pdf"));
    connect(pdf, &QPushButton::clicked, this, &ReportWindow::saveAsPdf);
    layout->addWidget(box);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [id = dialogId_] { appHelp().showTopic(helpContext(unsigned(id))); });
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

// ----- CResReportData -----

CResReportData::CResReportData(CZUKRecDoc& doc, const ReportCriteria& criteria, QWidget* parent)
    : ReportWindow(doc, kDialogId, kList, kGroupLabel, QStringLiteral("Reservation Report"),
                   doc.description(), parent),
      criteria_(criteria) {
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    ReportLines waiting;
    waiting.append("**** Generating reservation report ****");
    model_->setLines(std::move(waiting));
}

void CResReportData::showEvent(QShowEvent* event) {
    ReportWindow::showEvent(event);
    // The "Generating" line is drawn first; the report replaces it once built.
    if (!generated_) QTimer::singleShot(0, this, &CResReportData::generate);
}

void CResReportData::generate() {
    if (generated_) return;
    generated_ = true;
    ReportJob job;
    CSchedule* schedule = doc_.tables() ? doc_.tables()->schedule() : nullptr;
    if (schedule) {
        ScheduleCursor cursor(*schedule);
        job = runReportJob(ReportKind::Reservations, criteria_, reportGroup(doc_), cursor);
    } else {
        struct NoRows final : ReservationCursor {
            int first() override { return 3; }
            int seekDate(const std::string&) override { return 3; }
            int next() override { return 3; }
            void read(ReservationRecord&) const override {}
        } none;
        job = runReportJob(ReportKind::Reservations, criteria_, reportGroup(doc_), none);
    }
    model_->setLines(std::move(job.lines));
    if (job.outOfMemory)
        appPrompter().message(QStringLiteral("Out of memory, report stopped"), {},
                              PromptIcon::None);
    if (job.readError < 0) showReadError(job.readError);
    if (job.cutShort) showCutShort();
}

QString CResReportData::heading() const {
    return QStringLiteral("Reservation Report for %1").arg(doc_.description());
}

// ----- CUtilizationDlg -----

CUtilizationDlg::CUtilizationDlg(CZUKRecDoc& doc, std::int64_t defaultStart, int defaultHour,
                                 QWidget* parent)
    : QDialog(parent), doc_(doc) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Utilization Report Options"));
    auto* layout = new QVBoxLayout(this);
    auto* dates = new QHBoxLayout;
    start_ = new DateInstantEdit(kStartDate, this);
    end_ = new DateInstantEdit(kEndDate, this);
    dates->addWidget(new QLabel(QStringLiteral("Start Date"), this));
    dates->addWidget(start_);
    dates->addWidget(new QLabel(QStringLiteral("End Date"), this));
    dates->addWidget(end_);
    layout->addLayout(dates);

    useWindow_ = new QCheckBox(QStringLiteral("Calculate Utilization Between"), this);
    useWindow_->setObjectName(QString::number(kUseWindow));
    layout->addWidget(useWindow_);
    auto hourEdit = [this](int id) {
        auto* edit = new QDateTimeEdit(this);
        edit->setObjectName(QString::number(id));
        edit->setDisplayFormat(QStringLiteral("hh AP"));
        return edit;
    };
    startHour_ = hourEdit(kStartHour);
    endHour_ = hourEdit(kEndHour);
    startHourLabel_ = label(this, kStartHourLabel, QStringLiteral("Starting Hour"));
    endHourLabel_ = label(this, kEndHourLabel, QStringLiteral("Ending Hour"));
    auto* hours = new QHBoxLayout;
    hours->addWidget(startHourLabel_);
    hours->addWidget(startHour_);
    hours->addWidget(endHourLabel_);
    hours->addWidget(endHour_);
    layout->addLayout(hours);

    layout->addWidget(new QLabel(QStringLiteral("Facilities"), this));
    facilities_ = selectionList(this, kFacilities, facilityRows(doc), true);
    layout->addWidget(facilities_);
    const DialogButtons buttons = addDialogButtons(this, layout, kDialogId, kHelp, false);
    connect(buttons.ok, &QPushButton::clicked, this, &CUtilizationDlg::accept);

    const int h = ((defaultHour % 24) + 24) % 24;
    setHours(h, (h + 12) % 24);
    const std::int64_t now = appClock().now();
    end_->setInstant(now);
    start_->setInstant(std::min(defaultStart, now));
    connect(useWindow_, &QCheckBox::toggled, this, &CUtilizationDlg::enableHours);
    enableHours();
}

void CUtilizationDlg::enableHours() {
    const bool on = useWindow_->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(startHour_), static_cast<QWidget*>(endHour_),
          static_cast<QWidget*>(startHourLabel_), static_cast<QWidget*>(endHourLabel_)})
        w->setEnabled(on);
}

void CUtilizationDlg::setHours(int startHour, int endHour) {
    // Both controls carry 1 January 1999, so comparing their values compares the hours.
    const QDate carrier(1999, 1, 1);
    startHour_->setDateTime(QDateTime(carrier, QTime(startHour, 0)));
    endHour_->setDateTime(QDateTime(carrier, QTime(endHour, 0)));
}

void CUtilizationDlg::setRange(std::int64_t start, std::int64_t end) {
    start_->setInstant(start);
    end_->setInstant(end);
}

void CUtilizationDlg::setUseWindow(bool on) {
    useWindow_->setChecked(on);
}

void CUtilizationDlg::selectFacilities(const std::vector<int>& rows) {
    selectRows(facilities_, rows);
}

UtilizationOptions CUtilizationDlg::options() const {
    UtilizationOptions o;
    o.start = start_->instant();
    o.end = end_->instant();
    o.useHourWindow = useWindow_->isChecked();
    o.startHour = startHour_->time().hour();
    o.endHour = endHour_->time().hour();
    o.facilities = selectedRows(facilities_);
    return o;
}

bool CUtilizationDlg::validate() {
    const UtilizationOptions o = options();
    if (const auto refusal = checkUtilizationOptions(o)) {
        showDialogMessage(*refusal);
        return false;
    }
    return true;
}

void CUtilizationDlg::accept() {
    if (validate()) QDialog::accept();
}

// ----- CUtilizationReportDlg -----

CUtilizationReportDlg::CUtilizationReportDlg(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent)
    : ReportWindow(doc, kDialogId, kList, kGroupLabel, QStringLiteral("Utilization Report"),
                   doc.groupTitle(), parent) {
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    model_->setLines(job.lines);
}

QString CUtilizationReportDlg::heading() const {
    return QStringLiteral("Utilization Report for %1").arg(doc_.description());
}

// ----- the Qt dialogs -----

std::optional<ReservationOptions> QtReportDialogs::askReservationOptions(CZUKRecDoc& doc,
                                                                         std::int64_t defaultStart,
                                                                         QWidget* parent) {
    CResReportDlg dialog(doc, defaultStart, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
}

void QtReportDialogs::showReservationReport(CZUKRecDoc& doc, const ReportCriteria& criteria,
                                            QWidget* parent) {
    CResReportData window(doc, criteria, parent);
    window.exec();
}

std::optional<UtilizationOptions> QtReportDialogs::askUtilizationOptions(CZUKRecDoc& doc,
                                                                         std::int64_t defaultStart,
                                                                         int defaultHour,
                                                                         QWidget* parent) {
    CUtilizationDlg dialog(doc, defaultStart, defaultHour, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
}

void QtReportDialogs::showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job,
                                            QWidget* parent) {
    CUtilizationReportDlg window(doc, job, parent);
    window.exec();
}

ReportGroup reportGroup(const CZUKRecDoc& doc) {
    ReportGroup group;
    group.description = doc.group().description;
    for (int i = 0; i < kSlots; ++i)
        group.slotNames[std::size_t(i)] = doc.group().rooms[std::size_t(i)].name;
    group.facilityCount = doc.facilityCount();
    return group;
}

namespace {
ReportDialogs* g_reportDialogs = nullptr;
}  // namespace

ReportDialogs& appReportDialogs() {
    static QtReportDialogs qt;
    return g_reportDialogs ? *g_reportDialogs : qt;
}

void setAppReportDialogs(ReportDialogs* dialogs) {
    g_reportDialogs = dialogs;
}

}  // namespace quorvane
