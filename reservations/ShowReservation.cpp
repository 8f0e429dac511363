#include "reservations/ShowReservation.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/DialogButtons.h"
#include "platform/TextCodec.h"
#include "reservations/ReservationDialogs.h"

namespace quorvane {

namespace {

QLineEdit* shown(QWidget* owner, QFormLayout* form, const QString& label, int id,
                 const std::string& text, int maxLength = 32767) {
    auto* edit = new QLineEdit(owner);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(maxLength);
    edit->setText(fromCp1252(text));
    edit->setReadOnly(true);
    form->addRow(label, edit);
    return edit;
}

}  // namespace

CShowReservation::CShowReservation(const ReservationDetail& d, QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Reservation Detail for %1").arg(fromCp1252(d.facility)));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    shown(this, form, QStringLiteral("Date"), kDate, d.date);
    shown(this, form, QStringLiteral("Start Time"), kStart, d.start);
    shown(this, form, QStringLiteral("End Time"), kEnd, d.end);
    shown(this, form, QStringLiteral("Reserved For"), kReservedFor, d.reservedFor);
    shown(this, form, QStringLiteral("Phone"), kPhone, d.phone);
    shown(this, form, QStringLiteral("Ext"), kExt, d.ext, 6);
    shown(this, form, QStringLiteral("Organization"), kOrg, d.org);
    layout->addLayout(form);
    auto* series = new QLabel(
        d.recurring ? QStringLiteral("This reservation is part of a recurring reservation")
                    : QString(),
        this);
    series->setObjectName(QString::number(kSeries));
    layout->addWidget(series);
    auto* notesForm = new QFormLayout;
    notes_ = new QLineEdit(this);
    notes_->setObjectName(QString::number(kNotes));
    notes_->setMaxLength(kMaxNotes);
    notes_->setText(fromCp1252(d.notes));
    notesForm->addRow(QStringLiteral("Notes, Special Equipment, etc"), notes_);
    layout->addLayout(notesForm);
    addDialogButtons(this, layout, kDialogId, kHelp);
    notes_->setFocus();
}

std::string CShowReservation::notes() const {
    return toCp1252(notes_->text());
}

std::optional<std::string> CShowReservation::ask(const ReservationDetail& detail, QWidget* parent) {
    CShowReservation dialog(detail, parent);
    if (appReservationDialogs().run(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.notes();
}

}  // namespace quorvane
