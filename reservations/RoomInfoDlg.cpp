#include "reservations/RoomInfoDlg.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "app/GroupLayout.h"
#include "app/GroupPrinting.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "group/GroupTables.h"
#include "platform/DialogButtons.h"
#include "platform/Help.h"
#include "platform/LineListModel.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reservations/AddPersonDlg.h"
#include "reservations/AddReservation.h"
#include "reservations/ReservationDialogs.h"
#include "reservations/ShowReservation.h"
#include "tables/Schedule.h"

namespace quorvane {

namespace {

void stop(const char* text, const char* title) {
    appPrompter().message(QString::fromLatin1(text), QString::fromLatin1(title), PromptIcon::Stop);
}

CSchedule* scheduleOf(CZUKRecDoc& doc) {
    return doc.tables() ? doc.tables()->schedule() : nullptr;
}

}  // namespace

CRoomInfoDlg::CRoomInfoDlg(CZUKRecDoc& doc, int slot, std::uint32_t defaultTime,
                           const DayDate& date, QWidget* parent)
    : QDialog(parent), doc_(doc), defaultTime_(defaultTime) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    if (slot >= 0 && slot < int(doc.group().rooms.size())) {
        facility_ = doc.group().rooms[std::size_t(slot)].name;
        description_ = doc.group().rooms[std::size_t(slot)].description;
    }
    setWindowTitle(QStringLiteral("Reservations for %1").arg(fromCp1252(facility_)));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    picker_ = new QDateEdit(this);
    picker_->setObjectName(QString::number(kDate));
    picker_->setDisplayFormat(QStringLiteral("dddd, MMMM dd, yyyy"));
    picker_->setCalendarPopup(true);
    top->addRow(QStringLiteral("Date"), picker_);
    auto* description = new QLineEdit(fromCp1252(description_), this);
    description->setObjectName(QString::number(kDescription));
    description->setReadOnly(true);
    top->addRow(QStringLiteral("Description"), description);
    layout->addLayout(top);

    list_ = new QListView(this);
    list_->setObjectName(QString::number(kList));
    model_ = new LineListModel(list_);
    list_->setModel(model_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFont(QFont(QStringLiteral("Courier"), 10));
    list_->setMinimumSize(560, 240);
    layout->addWidget(list_, 1);

    auto* actions = new QHBoxLayout;
    auto button = [&](int id, const char* text, void (CRoomInfoDlg::*slotFn)()) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slotFn);
        actions->addWidget(b);
    };
    button(kMake, "Make Reservation", &CRoomInfoDlg::makeReservation);
    button(kCancel, "Cancel Reservation", &CRoomInfoDlg::cancelReservation);
    button(kShow, "Show Reservation", &CRoomInfoDlg::showReservation);
    button(kPrint, "Print", &CRoomInfoDlg::print);
    layout->addLayout(actions);
    auto* box = new QDialogButtonBox(this);
    QPushButton* ok = box->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QString::number(kOk));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* help = box->addButton(QDialogButtonBox::Help);
    help->setObjectName(QString::number(kHelp));
    connect(help, &QPushButton::clicked, this,
            [] { appHelp().showTopic(helpContext(unsigned(kDialogId))); });
    layout->addWidget(box);

    connect(list_, &QListView::doubleClicked, this, [this] { showReservation(); });
    connect(picker_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        if (!settingPicker_) setDate(dayDateOf(d));
    });

    date_ = date.year == 0 ? localDate(appClock().now()) : date;
    openingDate_ = date_;
    LoadDay(date_.month, date_.day, date_.year);
}

void CRoomInfoDlg::LoadDay(int month, int day, int year) {
    const DayDate d{year, month, day};
    CSchedule* schedule = scheduleOf(doc_);
    int r = schedule ? loadFacilityDay(*schedule, facility_, d, day_) : (day_.clear(), 0);
    showDay();
    // A walk the engine broke off (a damaged index) lists what it read so far.
    if (r < 0) stop("Could not read schedule record from database", "Database Error");
}

void CRoomInfoDlg::showDay() {
    model_->setLines(day_.lines);
    settingPicker_ = true;
    picker_->setDate(qDateOf(date_));
    settingPicker_ = false;
}

void CRoomInfoDlg::setDate(const DayDate& date) {
    if (!isValidDate(date)) return;
    date_ = date;
    LoadDay(date.month, date.day, date.year);
}

int CRoomInfoDlg::selected() const {
    const QModelIndexList rows = list_->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CRoomInfoDlg::select(int row) {
    const QModelIndex i = model_->index(row);
    list_->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
    list_->setCurrentIndex(i);
}

void CRoomInfoDlg::makeReservation() {
    date_ = dayDateOf(picker_->date());
    if (const std::optional<DayDate> booked = appReservationDialogs().makeReservation(
            doc_, facility_, date_, defaultTime_, day_, this)) {
        changed_ = true;
        date_ = *booked;
    }
    // The booking loop reloads the arrays for every day it checks: the list must show the
    // shown day again, whatever the dialog's end.
    LoadDay(date_.month, date_.day, date_.year);
}

void CRoomInfoDlg::cancelReservation() {
    const int sel = selected();
    if (sel < 0 || std::size_t(sel) >= day_.starts.size()) {
        stop("You must select a reservation to cancel", "Error");
        return;
    }
    if (!appPrompter().askYesNo(QStringLiteral("Are you sure you want to cancel this reservation?"),
                                QStringLiteral("Confirm Cancel")))
        return;
    CSchedule* schedule = scheduleOf(doc_);
    SeriesMember member;
    const long listed = sel < int(day_.records.size()) ? day_.records[std::size_t(sel)] : 0;
    const int r = schedule
                      ? quorvane::cancelReservation(*schedule, facility_, date_,
                                                    day_.starts[std::size_t(sel)], member, listed)
                      : -1;
    if (r > 0) {
        // Not found as listed: another desk cancelled or moved it since the list was read.
        listChanged();
        return;
    }
    if (r != 0) {
        stop("Could not delete record from database", "Database Error");
        return;
    }
    changed_ = true;
    dropListed(day_, std::size_t(sel));
    model_->setLines(day_.lines);
    if (member.kind != kSingle &&
        appPrompter().askYesNo(QStringLiteral("This is part of a recurring reservation. Do you "
                                              "want to cancel the remaining reservations after "
                                              "this one?"),
                               QStringLiteral("Recurring Reservation"))) {
        const int n = cancelRest(*schedule, member, [](const std::string& text) {
            std::fprintf(stderr, "Quorvane: %s\n", text.c_str());
        });
        // A deletion that could not be written: the later members from it on are still booked.
        if (n < 0) stop("Could not delete record from database", "Database Error");
        if (n > 0 && restHeldToday(member, date_, doc_.currentDate()))
            doc_.reservationsChanged(doc_.currentDate());
    }
    LoadDay(date_.month, date_.day, date_.year);
    doc_.reservationsChanged(date_);
}

void CRoomInfoDlg::showReservation() {
    const int sel = selected();
    if (sel < 0 || std::size_t(sel) >= day_.starts.size()) {
        stop("You must select a reservation to view", "Error");
        return;
    }
    const int start = day_.starts[std::size_t(sel)];
    CSchedule* schedule = scheduleOf(doc_);
    ReservationDetail detail;
    long record = 0;
    if (!schedule) {
        stop("Could not read schedule record from database", "Database Error");
        return;
    }
    const long listed = sel < int(day_.records.size()) ? day_.records[std::size_t(sel)] : 0;
    const int r = readReservationDetail(*schedule, facility_, date_, start, detail, &record);
    if (r > 0 || (r == 0 && listed != 0 && record != listed)) {
        listChanged();
        return;
    }
    if (r != 0) {
        stop("Could not read schedule record from database", "Database Error");
        return;
    }
    detail.facility = facility_;
    const std::optional<std::string> notes = appReservationDialogs().showReservation(detail, this);
    if (notes && *notes != detail.notes) {
        const NotesWrite written = writeNotesWaiting(
            [&] {
                return storeNotesOnce(*schedule, facility_, date_, start, record, detail.notes,
                                      *notes);
            },
            this);
        if (written == NotesWrite::kGone) return listChanged();
        LoadDay(date_.month, date_.day, date_.year);
    }
}

void CRoomInfoDlg::listChanged() {
    showMessage(reservationChangedMessage());
    LoadDay(date_.month, date_.day, date_.year);
}

void CRoomInfoDlg::print() {
    PrintRequest request;
    request.pdfPath = pdfBeside(doc_.basePath(), document().name);
    request.parent = this;
    const PrintOutcome outcome = printDocument(document(), request);
    if (outcome.status == PrintOutcome::Failed)
        appPrompter().message(
            QStringLiteral("The list could not be printed: %1").arg(outcome.error),
            QStringLiteral("Print Error"), PromptIcon::Stop);
}

PrintDocument CRoomInfoDlg::document() const {
    return {QStringLiteral("RoomReservations"), [this](PrintPages& pages) {
                QPainterSurface surface(pages.painter());
                drawPage(surface);
            }};
}

void CRoomInfoDlg::drawPage(PaintSurface& s) const {
    const int h = s.charHeight() + s.externalLeading();
    const int x = s.averageCharWidth();
    s.drawText(x, 2 * h, fromCp1252(longDateText(date_)));
    s.drawText(x, 4 * h, windowTitle());
    s.drawText(x, 6 * h, fromCp1252(description_));
    int y = 9 * h;
    for (const std::string& line : day_.lines) {
        s.drawText(x, y, fromCp1252(line));
        y += h;
    }
}

bool openFacilityList(CZUKRecDoc& doc, int slot, const DayDate& date, QWidget* parent) {
    if (slot < 0 || slot >= doc.facilityCount()) return false;
    return appReservationDialogs().facilityDay(
        doc, slot, doc.group().rooms[std::size_t(slot)].defaultTime, date, parent);
}

void addCustomer(CZUKRecDoc& doc, QWidget* parent) {
    CPeople* people = doc.tables() ? doc.tables()->people() : nullptr;
    if (!people) return;
    appReservationDialogs().addCustomer(*people, parent);
}

}  // namespace quorvane
