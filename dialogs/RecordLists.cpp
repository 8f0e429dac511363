#include "dialogs/RecordLists.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/DialogButtons.h"
#include "platform/TextCodec.h"
#include "tables/TableCore.h"

namespace quorvane {

// ----- the chooser -----

CRecordChooserDlg::CRecordChooserDlg(Kind kind, int mode, const std::string& title, QWidget* parent)
    : QDialog(parent), kind_(std::move(kind)), mode_(mode) {
    setObjectName(QString::number(kind_.dialogId));
    setModal(true);
    setWindowTitle(fromCp1252(title));
    auto* layout = new QVBoxLayout(this);
    list_ = editor::makeList(this, kind_.listId, model_, kind_.tabStop);
    list_->setMinimumSize(kind_.minimum);
    layout->addWidget(list_, 1);
    // OK runs accept(), which hands the selection to the command.
    addDialogButtons(this, layout, kind_.dialogId, kind_.helpId);
    connect(list_, &QListView::doubleClicked, this, [this] { choose(); });
    fill();
}

void CRecordChooserDlg::fill() {
    std::vector<RecordRow> rows;
    const int r = kind_.read(rows);
    model_->setRows(std::move(rows));
    if (r != 0)
        showMessage(
            {std::string(kind_.readError) + " (" + std::to_string(r) + ")", "Database Error"});
}

bool CRecordChooserDlg::choose() {
    const int selected = editor::selectedRow(list_);
    if (selected < 0 && mode_ == kListMode) {
        QDialog::accept();
        return true;
    }
    if (std::optional<Message> m = kind_.pick(rows(), selected)) {
        showMessage(*m);
        return false;
    }
    const long record = rows()[std::size_t(selected)].record;
    if (chosen_ && !chosen_(record, this)) {
        list_->clearSelection();
        return false;
    }
    QDialog::accept();
    return true;
}

void CRecordChooserDlg::accept() {
    choose();
}

void CRecordChooserDlg::reject() {
    model_->setRows({});
    QDialog::reject();
}

CPersonListDlg::CPersonListDlg(CPeople& people, int mode, QWidget* parent)
    : CRecordChooserDlg(
          {kDialogId, kList, kHelp, kTabStop, QSize(520, 260),
           "Could not read the customer list from database",
           [&people](std::vector<RecordRow>& rows) { return customerRows(people, rows); },
           [&people](const std::vector<RecordRow>& rows, int selected) {
               return pickCustomer(people, rows, selected);
           }},
          mode, customerChooserTitle(mode), parent) {}

// Lines stay in the order read, the table's key order: a line's position is its index in the
// record array, whatever the case of its first letter.
CMaintListDlg::CMaintListDlg(CMaintenance& maintenance, int mode, QWidget* parent)
    : CRecordChooserDlg({kDialogId, kList, kHelp, 0, QSize(320, 240),
                         "Could not read the maintenance items from database",
                         [&maintenance](std::vector<RecordRow>& rows) {
                             return maintenanceRows(maintenance, rows);
                         },
                         [&maintenance](const std::vector<RecordRow>& rows, int selected) {
                             return pickMaintenance(maintenance, rows, selected);
                         }},
                        mode, maintenanceChooserTitle(mode), parent) {}

// ----- a record's reservations -----

CRecordResDlg::CRecordResDlg(Kind kind, CSchedule& schedule, const DayDate& from,
                             const std::string& title, QWidget* parent)
    : QDialog(parent), kind_(std::move(kind)), schedule_(schedule), from_(from) {
    setObjectName(QString::number(kind_.dialogId));
    setModal(true);
    setWindowTitle(fromCp1252(title));
    auto* layout = new QVBoxLayout(this);
    list_ = editor::makeList(this, kind_.listId, model_, kind_.tabStop);
    // A fixed-pitch font keeps the date and times one width, so every facility name starts at
    // the tab stop.
    QFont fixed(QStringLiteral("Courier"), 10);
    fixed.setStyleHint(QFont::TypeWriter);
    list_->setFont(fixed);
    list_->setMinimumSize(520, 240);
    layout->addWidget(list_, 1);
    DialogButtons buttons = addDialogButtons(this, layout, kind_.dialogId, kind_.helpId);
    auto* show =
        buttons.box->addButton(QStringLiteral("Show Reservation"), QDialogButtonBox::ActionRole);
    show->setObjectName(QString::number(kind_.showId));
    show->setAutoDefault(false);
    // The list has OK and no Cancel (Escape still closes it); hidden after the last button
    // joined the row, which shows them all again.
    buttons.cancel->hide();
    connect(show, &QPushButton::clicked, this, [this] { showReservation(); });
    connect(list_, &QListView::doubleClicked, this, [this] { showReservation(); });
    fill();
}

void CRecordResDlg::fill() {
    std::vector<ReservationRow> rows;
    const int r = kind_.walk(schedule_, from_, rows);
    model_->setRows(std::move(rows));
    if (r != 0)
        showMessage({tables::format("Could not read the reservations from database (%d)", r),
                     "Database Error"});
}

void CRecordResDlg::showReservation() {
    const int selected = editor::selectedRow(list_);
    if (selected < 0) {
        showMessage({"You must select a reservation to view", "Error"});
        return;
    }
    ListedReservation shown;
    if (std::optional<Message> m = kind_.read(schedule_, rows()[std::size_t(selected)], shown)) {
        showMessage(*m);
        return;
    }
    if (kind_.remark)
        if (std::optional<Message> m = kind_.remark(shown)) showMessage(*m);
    if (!editor::showListedReservation(schedule_, shown, this)) return;
    // Read again from the date the list began at, so the reservations before the one shown
    // stay listed, and keep the shown one selected.
    fill();
    for (std::size_t i = 0; i < rows().size(); ++i)
        if (rows()[i].record == shown.record) editor::selectRow(list_, int(i));
}

CPersonResDlg::CPersonResDlg(CSchedule& schedule, const CustomerName& who, const DayDate& from,
                             QWidget* parent)
    : CRecordResDlg({kDialogId,
                     kList,
                     kShow,
                     kHelp,
                     kTabStop,
                     [who](CSchedule& t, const DayDate& d, std::vector<ReservationRow>& rows) {
                         return customerReservations(t, who, d, rows);
                     },
                     &readCustomerReservation,
                     {}},
                    schedule, from, customerReservationsTitle(who), parent) {}

CMaintResDlg::CMaintResDlg(CSchedule& schedule, CMaintenance& maintenance, const std::string& item,
                           const DayDate& from, QWidget* parent)
    : CRecordResDlg({kDialogId, kList, kShow, kHelp, kTabStop,
                     [item](CSchedule& t, const DayDate& d, std::vector<ReservationRow>& rows) {
                         return maintenanceReservations(t, item, d, rows);
                     },
                     &readMaintenanceReservation,
                     [&maintenance](const ListedReservation& shown) {
                         return checkMaintenanceItem(maintenance, shown.last);
                     }},
                    schedule, from, maintenanceReservationsTitle(item), parent) {}

}  // namespace quorvane
