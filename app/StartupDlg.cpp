#include "app/StartupDlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quorvane {

const CStartupDlg::TypeChoice CStartupDlg::kTypes[kTypeCount] = {
    {"Softball Fields", "SoftBall Fields"},
    {"Baseball Fields", "Baseball Fields"},
    {"Basketball Courts", "Basketball Courts"},
    {"Football Fields", "Football Fields"},
    {"Tennis Courts", "Tennis Courts"},
    {"Pools", "Pools"},
    {"Recreation Rooms", "Recreation Rooms"},
    {"Soccer Fields", "Soccer Fields"},
    {"Miscellaneous", "Misc"},
    {"Other (Enter type below)", ""},
};

QString newGroupTypeName(const NewGroupForm& form) {
    if (form.position == CStartupDlg::kOtherPosition) return form.otherText;
    if (form.position >= 0 && form.position < CStartupDlg::kTypeCount)
        return QString::fromLatin1(CStartupDlg::kTypes[form.position].storedName);
    return {};
}

std::optional<Message> checkNewGroup(const NewGroupForm& form) {
    if (newGroupTypeName(form).isEmpty())
        return Message{"You must specify a group type", "No Group Type", PromptIcon::None};
    return std::nullopt;
}

CStartupDlg::CStartupDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setWindowTitle(QStringLiteral("New Group Information"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("You are creating a new group of items. Select the type of facilities in "
                       "this group:"),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    // Exclusive, but starting with no button checked: the user must choose.
    types_ = new QButtonGroup(this);
    types_->setExclusive(true);
    auto* grid = new QGridLayout;
    for (int i = 0; i < kTypeCount; ++i) {
        auto* button = new QRadioButton(QString::fromLatin1(kTypes[i].buttonText), this);
        button->setObjectName(QString::number(kFirstTypeButton + i));
        types_->addButton(button, i);
        grid->addWidget(button, i < 5 ? i : i - 5, i < 5 ? 0 : 1);
    }
    layout->addLayout(grid);
    connect(types_, &QButtonGroup::idToggled, this, [this](int, bool) { updateOtherEdit(); });

    other_ = new QLineEdit(this);
    other_->setObjectName(QString::number(kOtherEdit));
    other_->setMaxLength(kMaxText);
    layout->addWidget(other_);

    layout->addWidget(new QLabel(QStringLiteral("Additional Description (optional)"), this));
    description_edit_ = new QLineEdit(this);
    description_edit_->setObjectName(QString::number(kDescriptionEdit));
    description_edit_->setMaxLength(kMaxText);
    layout->addWidget(description_edit_);

    addDialogButtons(this, layout, kDialogId, kHelpButton);

    updateOtherEdit();
}

NewGroupForm CStartupDlg::form() const {
    return {selectedPosition(), other_->text(), description_edit_->text()};
}

void CStartupDlg::setForm(const NewGroupForm& form) {
    if (form.position < 0) {
        // An exclusive group unchecks its button only with exclusivity off.
        types_->setExclusive(false);
        if (QAbstractButton* checked = types_->checkedButton()) checked->setChecked(false);
        types_->setExclusive(true);
    } else if (QAbstractButton* button = types_->button(form.position)) {
        button->setChecked(true);
    }
    other_->setText(form.otherText);
    description_edit_->setText(form.description);
    updateOtherEdit();
}

int CStartupDlg::selectedPosition() const {
    return types_->checkedId();
}

void CStartupDlg::updateOtherEdit() {
    // Leaving "Other" disables the edit but keeps what was typed, for a change of mind.
    other_->setEnabled(selectedPosition() == kOtherPosition);
}

bool CStartupDlg::validate() {
    const NewGroupForm current = form();
    if (const std::optional<Message> message = checkNewGroup(current)) {
        showMessage(*message);
        return false;
    }
    typeName_ = newGroupTypeName(current);
    description_ = current.description;
    return true;
}

void CStartupDlg::accept() {
    if (validate()) QDialog::accept();
}

}  // namespace quorvane
