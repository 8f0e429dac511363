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
#include "platform/DialogSeam.h"
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

CAddRoomDlg::CAddRoomDlg(const CZUKRecDoc& doc, bool modify, const QString& name,
                         const QString& description, std::uint32_t defaultTime, QWidget* parent)
    : QDialog(parent), doc_(doc), modify_(modify) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle((modify ? QStringLiteral("Modify %1") : QStringLiteral("Add %1 to Group"))
                       .arg(doc.typeName()));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    nameEdit_ = addEdit(this, form, QStringLiteral("Name"), 1001, int(CRoom::kMaxName));
    timeEdit_ = addEdit(this, form, QStringLiteral("Default Reservation Time"), 1183, 5);
    descriptionEdit_ = addEdit(this, form, QStringLiteral("Description and Special Equipment"),
                               1003, int(CRoom::kMaxDescription));
    layout->addLayout(form);
    addDialogButtons(this, layout, kDialogId, 1086);

    if (modify) {
        nameEdit_->setText(name);
        nameEdit_->setEnabled(false);
        descriptionEdit_->setText(description);
        timeEdit_->setText(QString::fromLatin1(formatDefaultTime(defaultTime)));
    }
}

void CAddRoomDlg::setName(const QString& text) {
    nameEdit_->setText(text);
}
void CAddRoomDlg::setDefaultTimeText(const QString& text) {
    timeEdit_->setText(text);
}
void CAddRoomDlg::setDescription(const QString& text) {
    descriptionEdit_->setText(text);
}
QString CAddRoomDlg::defaultTimeText() const {
    return timeEdit_->text();
}

bool CAddRoomDlg::validate() {
    const std::optional<std::uint32_t> time = parseDefaultTime(timeEdit_->text().toStdString());
    if (!time) {
        appPrompter().message(QStringLiteral("Invalid default reservation time"),
                              QStringLiteral("Invalid Reservation Time"), PromptIcon::None);
        return false;
    }
    // The name as the reservations will store it: "Court 5 " is "Court 5", so it is taken
    // when "Court 5" exists, and the facility is listed under the name its bookings carry.
    const QString name =
        modify_ ? nameEdit_->text() : fromCp1252(storedFacilityName(toCp1252(nameEdit_->text())));
    if (!modify_ && doc_.findFacility(toCp1252(name)) >= 0) {
        appPrompter().message(
            QStringLiteral("A %1 with this name already exists").arg(doc_.typeName()),
            QStringLiteral("Error"), PromptIcon::Stop);
        return false;
    }
    name_ = name;
    description_ = descriptionEdit_->text();
    defaultTime_ = *time;
    return true;
}

void CAddRoomDlg::accept() {
    if (validate()) QDialog::accept();
}

// ----- CModifyGroupDlg -----

CModifyGroupDlg::CModifyGroupDlg(const QString& typeName, const QString& description,
                                 QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Modify Group Information"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    type_ = addEdit(this, form, QStringLiteral("Type of facilities being managed"), 1111, 40);
    description_ = addEdit(this, form, QStringLiteral("Group Description"), 1000, 40);
    layout->addLayout(form);
    addDialogButtons(this, layout, kDialogId, 1095);
    type_->setText(typeName);
    description_->setText(description);
}

void CModifyGroupDlg::setTypeName(const QString& text) {
    type_->setText(text);
}
void CModifyGroupDlg::setDescription(const QString& text) {
    description_->setText(text);
}
QString CModifyGroupDlg::typeName() const {
    return type_->text();
}
QString CModifyGroupDlg::description() const {
    return description_->text();
}

// ----- CDeleteRes -----

CDeleteRes::CDeleteRes(std::int64_t date, QWidget* parent)
    : QDialog(parent), todayMidnight_(localMidnight(appClock().now())) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Delete Old Reservations"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("All reservations before the following date will be deleted :"), this));
    picker_ = new QDateEdit(this);
    picker_->setObjectName(QStringLiteral("1081"));
    picker_->setCalendarPopup(true);
    picker_->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    layout->addWidget(picker_);
    addDialogButtons(this, layout, kDialogId, 1086);
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
    if (localMidnight(date()) > todayMidnight_) {
        appPrompter().message(QStringLiteral("The deletion date cannot be in the future"),
                              QStringLiteral("Invalid Deletion Date"), PromptIcon::None);
        return false;
    }
    return true;
}

void CDeleteRes::accept() {
    if (validate()) QDialog::accept();
}

// ----- the Qt dialogs -----

std::optional<FacilityAnswer> QtGroupDialogs::askFacility(const CZUKRecDoc& doc, bool modify,
                                                          const FacilityAnswer& initial,
                                                          QWidget* parent) {
    CAddRoomDlg dialog(doc, modify, initial.name, initial.description, initial.defaultTime, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return FacilityAnswer{dialog.name(), dialog.description(), dialog.defaultTime()};
}

std::optional<GroupAnswer> QtGroupDialogs::askGroup(const GroupAnswer& initial, QWidget* parent) {
    CModifyGroupDlg dialog(initial.typeName, initial.description, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return GroupAnswer{dialog.typeName(), dialog.description()};
}

std::optional<std::int64_t> QtGroupDialogs::askDeletionDate(std::int64_t proposed,
                                                            QWidget* parent) {
    CDeleteRes dialog(proposed, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.date();
}

GroupDialogs& appGroupDialogs() {
    return DialogSeam<GroupDialogs, QtGroupDialogs>::get();
}

void setAppGroupDialogs(GroupDialogs* dialogs) {
    DialogSeam<GroupDialogs, QtGroupDialogs>::set(dialogs);
}

}  // namespace quorvane
