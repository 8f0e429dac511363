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
// The recurrence of each button, top to bottom.
constexpr int kKinds[4] = {kSingle, kDaily, kWeekdays, kWeekly};

int selectedRow(const QListView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// Selects the line and shows it; a row of no line (-1 among them) selects none.
void selectRow(QListView* list, int row) {
    const QModelIndex i = list->model()->index(row, 0);
    if (!i.isValid()) {
        list->clearSelection();
        return;
    }
    list->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
    list->setCurrentIndex(i);
    list->scrollTo(i);
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
    const char* labels[4] = {"No",
                             "Every day through:", "Every weekday through:", "Every week through:"};
    for (int i = 0; i < 4; ++i) {
        kindButtons_[i] = new QRadioButton(QString::fromLatin1(labels[i]), recurring);
        kindButtons_[i]->setObjectName(QString::number(ids[i]));
        rl->addWidget(kindButtons_[i], i, 0);
        const int kind = kKinds[i];
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

ReservationForm CAddReservation::form() const {
    ReservationForm f;
    f.firstDay = dayDateOf(datePicker_->date());
    f.throughDay = dayDateOf(through_->date());
    f.kind = kind_;
    f.startHH = start_->time().hour();
    f.startMM = start_->time().minute();
    f.endHH = end_->time().hour();
    f.endMM = end_->time().minute();
    f.notes = toCp1252(notes_->text());
    f.customerRow = selectedRow(customers_);
    f.maintenanceRow = selectedRow(maintenance_);
    return f;
}

void CAddReservation::setForm(const ReservationForm& f) {
    datePicker_->setDate(qDateOf(f.firstDay));
    through_->setDate(qDateOf(f.throughDay));
    // Checking a recurrence button sets the kind and enables the through date.
    for (int i = 0; i < 4; ++i)
        if (kKinds[i] == f.kind) kindButtons_[i]->setChecked(true);
    // The start first: its automatic end must not replace the end the form holds.
    start_->setTime(QTime(f.startHH, f.startMM));
    end_->setTime(QTime(f.endHH, f.endMM));
    notes_->setText(fromCp1252(f.notes));
    selectRow(customers_, f.customerRow);
    selectRow(maintenance_, f.maintenanceRow);
}

void CAddReservation::fillCustomers() {
    records_.customers.clear();
    std::vector<std::string> lines{"<Add a new customer>"};
    int select = -1;
    if (CPeople* people = doc_.tables() ? doc_.tables()->people() : nullptr) {
        // A damaged table lists what was read before the damage, as before.
        std::vector<RecordRow> rows;
        customerRows(*people, rows, CustomerLineStyle::kBooking);
        for (const RecordRow& row : rows) {
            lines.push_back(row.line);
            records_.customers.push_back(row.record);
            if (preselect_ != 0 && row.record == preselect_) select = int(lines.size()) - 1;
        }
    }
    customerModel_->setLines(std::move(lines));
    if (select >= 0) selectRow(customers_, select);
}

void CAddReservation::fillMaintenance() {
    records_.items.clear();
    std::vector<std::string> lines;
    if (CMaintenance* m = doc_.tables() ? doc_.tables()->maintenance() : nullptr) {
        std::vector<RecordRow> rows;
        maintenanceRows(*m, rows);
        for (const RecordRow& row : rows) {
            lines.push_back(row.line);
            records_.items.push_back(row.record);
        }
    }
    maintenanceModel_->setLines(std::move(lines));
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
    const ReservationForm f = form();
    if (const std::optional<Message> message = checkSelection(f)) {
        showMessage(*message);
        return false;
    }
    if (reservedFor(f) == ReservedFor::kNewCustomer) {
        // The detour to a new customer; nothing is booked until OK is pressed again.
        if (!people) return false;
        if (const std::optional<long> added = appReservationDialogs().addCustomer(*people, this)) {
            preselect_ = *added;
            fillCustomers();
        }
        return false;
    }
    BookingRequest q = bookingRequest(facility_, f);
    if (const std::optional<Message> message = readReservedFor(f, records_, people, items, q)) {
        showMessage(*message);
        return false;
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
    records_.customers.clear();
    QDialog::accept();
    return true;
}

void CAddReservation::checkAvailability() {
    CSchedule* schedule = doc_.tables() ? doc_.tables()->schedule() : nullptr;
    if (!schedule || !commitTimes()) return;
    showMessage(availabilityMessage(*schedule, bookingRequest(facility_, form())));
}

void CAddReservation::accept() {
    onOk();
}

void CAddReservation::reject() {
    records_.customers.clear();
    QDialog::reject();
}

}  // namespace quorvane
