#include "reservations/AddReservation.h"

#include <QApplication>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupTables.h"
#include "platform/DialogButtons.h"
#include "platform/LineListModel.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reservations/AddPersonDlg.h"
#include "reservations/ReservationDialogs.h"
#include "reservations/TimeField.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/RecordRows.h"
#include "tables/Schedule.h"

namespace quorvane {

DayDate dayDateOf(const QDate& d) {
    return DayDate{d.year(), d.month(), d.day()};
}

QDate qDateOf(const DayDate& d) {
    return QDate(d.year, d.month, d.day);
}

namespace {

const QString kLongDate = QStringLiteral("dddd, MMMM dd, yyyy");

int selectedRow(const QListView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QListView* makeList(QWidget* owner, int id, LineListModel*& model) {
    auto* list = new QListView(owner);
    list->setObjectName(QString::number(id));
    model = new LineListModel(list);
    list->setModel(model);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformItemSizes(true);
    return list;
}

}  // namespace

CAddReservation::CAddReservation(CZUKRecDoc& doc, const std::string& facility, const DayDate& date,
                                 std::uint32_t defaultTime, FacilityDay& openerDay, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      facility_(facility),
      date_(date),
      defaultTime_(defaultTime),
      openerDay_(openerDay) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(facility.empty()
                       ? QStringLiteral("Make Reservation")
                       : QStringLiteral("Make a Reservation for %1").arg(fromCp1252(facility)));
    auto* layout = new QVBoxLayout(this);

    auto* when = new QFormLayout;
    datePicker_ = new QDateEdit(this);
    datePicker_->setObjectName(QString::number(kDate));
    datePicker_->setDisplayFormat(kLongDate);
    datePicker_->setCalendarPopup(true);
    when->addRow(QStringLiteral("Date"), datePicker_);
    auto* times = new QHBoxLayout;
    start_ = new TimeField(this);
    start_->setObjectName(QString::number(kStart));
    end_ = new TimeField(this);
    end_->setObjectName(QString::number(kEnd));
    times->addWidget(new QLabel(QStringLiteral("Start Time"), this));
    times->addWidget(start_);
    times->addSpacing(12);
    times->addWidget(new QLabel(QStringLiteral("End Time"), this));
    times->addWidget(end_);
    times->addStretch(1);
    when->addRow(times);
    notes_ = new QLineEdit(this);
    notes_->setObjectName(QString::number(kNotes));
    notes_->setMaxLength(kMaxNotes);
    refuseUnstorable(notes_, QStringLiteral("Notes"));
    when->addRow(QStringLiteral("Notes, Special Equipment, etc"), notes_);
    layout->addLayout(when);

    auto* who = new QGridLayout;
    customers_ = makeList(this, kCustomers, customerModel_);
    customers_->setItemDelegate(new TabStopDelegate(100, customers_));
    customers_->setMinimumWidth(440);
    maintenance_ = makeList(this, kMaintenance, maintenanceModel_);
    who->addWidget(new QLabel(QStringLiteral("Reserved For"), this), 0, 0);
    who->addWidget(new QLabel(QStringLiteral("Maintenance Tasks"), this), 0, 1);
    who->addWidget(customers_, 1, 0);
    who->addWidget(maintenance_, 1, 1);
    who->setColumnStretch(0, 3);
    who->setColumnStretch(1, 1);
    layout->addLayout(who, 1);

    auto* recurring = new QGroupBox(QStringLiteral("Recurring Reservation"), this);
    auto* rl = new QGridLayout(recurring);
    const int ids[4] = {kNo, kEveryDay, kEveryWeekday, kEveryWeek};
    const int kinds[4] = {kSingle, kDaily, kWeekdays, kWeekly};
    const char* labels[4] = {"No",
                             "Every day through:", "Every weekday through:", "Every week through:"};
    for (int i = 0; i < 4; ++i) {
        kindButtons_[i] = new QRadioButton(QString::fromLatin1(labels[i]), recurring);
        kindButtons_[i]->setObjectName(QString::number(ids[i]));
        rl->addWidget(kindButtons_[i], i, 0);
        const int kind = kinds[i];
        connect(kindButtons_[i], &QRadioButton::toggled, this, [this, kind](bool on) {
            if (on) setKind(kind);
        });
    }
    through_ = new QDateEdit(recurring);
    through_->setObjectName(QString::number(kThrough));
    through_->setDisplayFormat(kLongDate);
    through_->setCalendarPopup(true);
    rl->addWidget(through_, 1, 1, 3, 1, Qt::AlignVCenter);
    auto* check = new QPushButton(QStringLiteral("Check Availability"), recurring);
    check->setObjectName(QString::number(kCheckAvailability));
    check->setAutoDefault(false);
    connect(check, &QPushButton::clicked, this, [this] { checkAvailability(); });
    rl->addWidget(check, 0, 1, Qt::AlignRight);
    layout->addWidget(recurring);
    // OK runs accept(), which is the booking.
    addDialogButtons(this, layout, kDialogId, kHelp);

    // Opening: no recurrence, the pickers on the opener's day, the start at the present time.
    kindButtons_[0]->setChecked(true);
    kind_ = kSingle;
    through_->setEnabled(false);
    datePicker_->setDate(qDateOf(date));
    through_->setDate(qDateOf(date));
    const LocalTime now = appClock().localNow();
    settingEnd_ = true;
    start_->setTime(QTime(now.hour, now.minute));
    end_->setTime(QTime(now.hour, now.minute));
    settingEnd_ = false;
    endEdited_ = false;
    startChanged();
    connect(start_, &TimeField::timeChanged, this, [this] { startChanged(); });
    connect(end_, &TimeField::timeChanged, this, [this] {
        if (!settingEnd_) endEdited_ = true;
    });
    fillCustomers();
    fillMaintenance();

    // At most one of the two lists has a selection; a double click books.
    connect(customers_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (selectedRow(customers_) >= 0) maintenance_->clearSelection();
    });
    connect(maintenance_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (selectedRow(maintenance_) >= 0) customers_->clearSelection();
    });
    connect(customers_, &QListView::doubleClicked, this, [this] {
        maintenance_->clearSelection();
        onOk();
    });
    connect(maintenance_, &QListView::doubleClicked, this, [this] {
        customers_->clearSelection();
        onOk();
    });
}

void CAddReservation::setKind(int kind) {
    through_->setEnabled(kind != kSingle);
    kind_ = kind;
}

void CAddReservation::startChanged() {
    if (defaultTime_ == 0 || endEdited_) return;
    // The end follows the start by the default length, unless that runs into the next day.
    const QTime s = start_->time();
    const long minutes = long(s.hour()) * 60 + s.minute() + long(defaultTime_);
    if (minutes >= 24 * 60) return;
    settingEnd_ = true;
    end_->setTime(QTime(int(minutes / 60), int(minutes % 60)));
    settingEnd_ = false;
}

void CAddReservation::fillCustomers() {
    customerRecords_.clear();
    std::vector<std::string> lines{"<Add a new customer>"};
    int select = -1;
    if (CPeople* people = doc_.tables() ? doc_.tables()->people() : nullptr) {
        // A damaged table lists what was read before the damage, as before.
        std::vector<RecordRow> rows;
        customerRows(*people, rows, CustomerLineStyle::kBooking);
        for (const RecordRow& row : rows) {
            lines.push_back(row.line);
            customerRecords_.push_back(row.record);
            if (preselect_ != 0 && row.record == preselect_) select = int(lines.size()) - 1;
        }
    }
    customerModel_->setLines(std::move(lines));
    if (select >= 0) {
        const QModelIndex i = customerModel_->index(select);
        customers_->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
        customers_->setCurrentIndex(i);
        customers_->scrollTo(i);
    }
}

void CAddReservation::fillMaintenance() {
    maintenanceRecords_.clear();
    std::vector<std::string> lines;
    if (CMaintenance* m = doc_.tables() ? doc_.tables()->maintenance() : nullptr) {
        std::vector<RecordRow> rows;
        maintenanceRows(*m, rows);
        for (const RecordRow& row : rows) {
            lines.push_back(row.line);
            maintenanceRecords_.push_back(row.record);
        }
    }
    maintenanceModel_->setLines(std::move(lines));
}

BookingRequest CAddReservation::requestFromControls() const {
    BookingRequest q;
    q.facility = facility_;
    q.firstDay = dayDateOf(datePicker_->date());
    q.throughDay = dayDateOf(through_->date());
    q.kind = kind_;
    q.startHH = start_->time().hour();
    q.startMM = start_->time().minute();
    q.endHH = end_->time().hour();
    q.endMM = end_->time().minute();
    q.notes = toCp1252(notes_->text());
    return q;
}

bool CAddReservation::commitTimes() {
    for (TimeField* field : {end_, start_}) {
        if (field->commit()) continue;
        showMessage(timeEntryMessage(toCp1252(field->text())));
        field->setFocus();
        return false;
    }
    return true;
}

bool CAddReservation::onOk() {
    if (!commitTimes()) return false;
    GroupTables* tables = doc_.tables();
    CPeople* people = tables ? tables->people() : nullptr;
    CMaintenance* items = tables ? tables->maintenance() : nullptr;
    CSchedule* schedule = tables ? tables->schedule() : nullptr;
    BookingRequest q = requestFromControls();
    const int c = selectedRow(customers_);
    const int m = selectedRow(maintenance_);
    if (c < 0 && m < 0) {
        showMessage({"A customer or maintenance item must be selected for the reservation",
                     "No Customer Selected"});
        return false;
    }
    if (m < 0 && c == 0) {
        // The detour to a new customer; nothing is booked until OK is pressed again.
        if (!people) return false;
        CAddPersonDlg add(*people, CAddPersonDlg::Add, {}, 0, this);
        if (appReservationDialogs().run(add) == QDialog::Accepted) {
            preselect_ = people->GetRecordNumber();
            fillCustomers();
        }
        return false;
    }
    if (m >= 0) {
        if (!items || std::size_t(m) >= maintenanceRecords_.size() ||
            items->GoTo(maintenanceRecords_[std::size_t(m)]) != 0) {
            showMessage({"Could not read maintenance item from database", "Database Error"});
            return false;
        }
        q.maintenance = true;
        q.last = items->GetName();
    } else {
        if (!people || std::size_t(c - 1) >= customerRecords_.size() ||
            people->GoTo(customerRecords_[std::size_t(c - 1)]) != 0) {
            showMessage({"Could not read selected customer from database", "Database Error"});
            return false;
        }
        people->GetName(q.first, q.mi, q.last);
        people->GetPhone(q.phone, q.ext);
        q.org = people->GetOrg();
    }
    const LocalTime now = appClock().localNow();
    q.madeHH = now.hour;
    q.madeMM = now.minute;
    q.madeDate = doc_.currentDate();
    date_ = q.firstDay;
    if (!schedule) {
        showMessage({"Could not make reservation to database", "Database Error"});
        return false;
    }
    BookingHooks hooks;
    hooks.message = showMessage;
    hooks.added = [this](const DayDate& d, int result) {
        if (result == 0) doc_.reservationsChanged(d);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const BookingOutcome out = bookReservation(*schedule, q, openerDay_, hooks);
    QApplication::restoreOverrideCursor();
    if (out.stayOpen) return false;
    // After the messages of the days refused, what the series came to.
    if (const std::optional<Message> summary = seriesSummary(q, out)) showMessage(*summary);
    customerRecords_.clear();
    QDialog::accept();
    return true;
}

void CAddReservation::checkAvailability() {
    CSchedule* schedule = doc_.tables() ? doc_.tables()->schedule() : nullptr;
    if (!schedule || !commitTimes()) return;
    showMessage(availabilityMessage(*schedule, requestFromControls()));
}

void CAddReservation::accept() {
    onOk();
}

void CAddReservation::reject() {
    customerRecords_.clear();
    QDialog::reject();
}

}  // namespace quorvane
