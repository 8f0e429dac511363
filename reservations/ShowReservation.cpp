#include "reservations/ShowReservation.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTimer>
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

int notesWidth(const QLineEdit& edit) {
    // Average characters undercount capitals and wide letters; 80 of "M" and "a" mixed fit
    // any notes a person types, plus the frame and the text margins.
    const QFontMetrics fm(edit.font());
    const QString sample = QString(40, QLatin1Char('M')) + QString(40, QLatin1Char('a'));
    return fm.horizontalAdvance(sample) + 16;
}

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
    // The notes on a line of their own, wide enough for all 80 characters.
    layout->addWidget(new QLabel(QStringLiteral("Notes, Special Equipment, etc"), this));
    notes_ = new QLineEdit(this);
    notes_->setObjectName(QString::number(kNotes));
    notes_->setMaxLength(kMaxNotes);
    notes_->setText(fromCp1252(d.notes));
    notes_->setMinimumWidth(notesWidth(*notes_));
    refuseUnstorable(notes_, QStringLiteral("Notes"));
    layout->addWidget(notes_);
    addDialogButtons(this, layout, kDialogId, kHelp);
    notes_->setFocus();
}

std::string CShowReservation::notes() const {
    return toCp1252(notes_->text());
}

NotesWrite writeNotesWaiting(const std::function<NotesWrite()>& attempt, QWidget* parent) {
    NotesWrite result = attempt();
    if (result != NotesWrite::kLocked) return result;
    QProgressDialog wait(QStringLiteral("Another user is changing this reservation.\nThe notes "
                                        "will be saved as soon as they are done."),
                         QStringLiteral("Give Up"), 0, 0, parent);
    wait.setObjectName(QStringLiteral("notes-wait"));
    wait.setWindowTitle(QStringLiteral("Saving Notes"));
    wait.setWindowModality(Qt::WindowModal);
    wait.setMinimumDuration(0);
    wait.setAutoClose(false);
    wait.setAutoReset(false);
    wait.show();
    QEventLoop loop;
    QTimer retry;
    retry.setInterval(250);
    QObject::connect(&retry, &QTimer::timeout, &loop, [&] {
        // Closing the window gives up as its button does.
        if (wait.wasCanceled()) return loop.quit();
        result = attempt();
        if (result != NotesWrite::kLocked) loop.quit();
    });
    QObject::connect(&wait, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    retry.start();
    loop.exec();
    return result;
}

}  // namespace quorvane
