#include "app/GroupDialogs.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "platform/DialogButtons.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"

namespace quorvane {

namespace {

QLineEdit* addEdit(QWidget* owner, QFormLayout* form, const QString& label, int id, int maxLength) {
    auto* edit = new QLineEdit(owner);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(maxLength);
    form->addRow(label, edit);
    return edit;
}

}  // namespace

// ----- CAddRoomDlg -----

std::optional<Message> checkFacility(const FacilityForm& form, bool modify, const GroupFile& group,
                                     const std::string& typeName) {
    if (!parseDefaultTime(form.defaultTime.toStdString()))
        return Message{"Invalid default reservation time", "Invalid Reservation Time",
                       PromptIcon::None};
    if (!modify && group.find(toCp1252(facilityAnswer(form, modify).name)) >= 0)
        return Message{"A " + typeName + " with this name already exists", "Error"};
    return std::nullopt;
}

FacilityAnswer facilityAnswer(const FacilityForm& form, bool modify) {
    // The name as the reservations will store it: "Court 5 " is "Court 5", so it is taken
    // when "Court 5" exists, and the facility is listed under the name its bookings carry.
    return {modify ? form.name : fromCp1252(storedFacilityName(toCp1252(form.name))),
            form.description, parseDefaultTime(form.defaultTime.toStdString()).value_or(0)};
}

CAddRoomDlg::CAddRoomDlg(const CZUKRecDoc& doc, bool modify, const FacilityAnswer& initial,
                         QWidget* parent)
    : QDialog(parent), doc_(doc), modify_(modify) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle((modify ? QStringLiteral("Modify %1") : QStringLiteral("Add %1 to Group"))
                       .arg(doc.typeName()));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    nameEdit_ = addEdit(this, form, QStringLiteral("Name"), kNameEdit, int(CRoom::kMaxName));
    timeEdit_ = addEdit(this, form, QStringLiteral("Default Reservation Time"), kTimeEdit, 5);
    descriptionEdit_ = addEdit(this, form, QStringLiteral("Description and Special Equipment"),
                               kDescriptionEdit, int(CRoom::kMaxDescription));
    layout->addLayout(form);
    addDialogButtons(this, layout, kDialogId, kHelp);

    if (modify) {
        setForm({initial.name, QString::fromLatin1(formatDefaultTime(initial.defaultTime)),
                 initial.description});
        nameEdit_->setEnabled(false);
    }
}

FacilityForm CAddRoomDlg::form() const {
    return {nameEdit_->text(), timeEdit_->text(), descriptionEdit_->text()};
}

void CAddRoomDlg::setForm(const FacilityForm& form) {
    nameEdit_->setText(form.name);
    timeEdit_->setText(form.defaultTime);
    descriptionEdit_->setText(form.description);
}

bool CAddRoomDlg::validate() {
    const FacilityForm current = form();
    if (const std::optional<Message> message =
            checkFacility(current, modify_, doc_.group(), toCp1252(doc_.typeName()))) {
        showMessage(*message);
        return false;
    }
    answer_ = facilityAnswer(current, modify_);
    return true;
}

void CAddRoomDlg::accept() {
    if (validate()) QDialog::accept();
}

// ----- CModifyGroupDlg -----

CModifyGroupDlg::CModifyGroupDlg(const GroupAnswer& initial, QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Modify Group Information"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    type_ = addEdit(this, form, QStringLiteral("Type of facilities being managed"), kTypeEdit, 40);
    description_ = addEdit(this, form, QStringLiteral("Group Description"), kDescriptionEdit, 40);
    layout->addLayout(form);
    addDialogButtons(this, layout, kDialogId, kHelp);
    setForm(initial);
}

GroupAnswer CModifyGroupDlg::form() const {
    return {type_->text(), description_->text()};
}

void CModifyGroupDlg::setForm(const GroupAnswer& form) {
    type_->setText(form.typeName);
    description_->setText(form.description);
}

// ----- CDeleteRes -----

std::optional<Message> checkDeletionDate(std::int64_t date, std::int64_t todayMidnight) {
    if (localMidnight(date) > todayMidnight)
        return Message{"The deletion date cannot be in the future", "Invalid Deletion Date",
                       PromptIcon::None};
    return std::nullopt;
}

CDeleteRes::CDeleteRes(std::int64_t date, QWidget* parent)
    : QDialog(parent), todayMidnight_(localMidnight(appClock().now())) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Delete Old Reservations"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("All reservations before the following date will be deleted :"), this));
    picker_ = new QDateEdit(this);
    picker_->setObjectName(QString::number(kDateEdit));
    picker_->setCalendarPopup(true);
    picker_->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    layout->addWidget(picker_);
    addDialogButtons(this, layout, kDialogId, kHelp);
    setDate(date);
}

void CDeleteRes::setDate(std::int64_t date) {
    const LocalTime t = Clock::toLocal(date);
    picker_->setDate(QDate(t.year, t.month, t.day));
}

std::int64_t CDeleteRes::date() const {
    const QDate d = picker_->date();
    return Clock::fromLocal(d.year(), d.month(), d.day());
}

bool CDeleteRes::validate() {
    if (const std::optional<Message> message = checkDeletionDate(date(), todayMidnight_)) {
        showMessage(*message);
        return false;
    }
    return true;
}

void CDeleteRes::accept() {
    if (validate()) QDialog::accept();
}

}  // namespace quorvane
