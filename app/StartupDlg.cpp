#include "app/StartupDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/Help.h"
#include "platform/Prompter.h"

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
    other_->setObjectName(QStringLiteral("1111"));
    other_->setMaxLength(kMaxText);
    layout->addWidget(other_);

    layout->addWidget(new QLabel(QStringLiteral("Additional Description (optional)"), this));
    description_edit_ = new QLineEdit(this);
    description_edit_->setObjectName(QStringLiteral("1000"));
    description_edit_->setMaxLength(kMaxText);
    layout->addWidget(description_edit_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("2"));
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setObjectName(QStringLiteral("1094"));
    connect(ok, &QPushButton::clicked, this, &CStartupDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CStartupDlg::reject);
    connect(help, &QPushButton::clicked, this, [] { appHelp().showTopic(helpContext(kDialogId)); });
    layout->addWidget(buttons);

    updateOtherEdit();
}

int CStartupDlg::selectedPosition() const {
    return types_->checkedId();
}

void CStartupDlg::selectPosition(int position) {
    if (QAbstractButton* button = types_->button(position)) button->setChecked(true);
}

void CStartupDlg::setOtherText(const QString& text) {
    other_->setText(text);
}
void CStartupDlg::setDescription(const QString& text) {
    description_edit_->setText(text);
}

void CStartupDlg::updateOtherEdit() {
    // Leaving "Other" disables the edit but keeps what was typed, for a change of mind.
    other_->setEnabled(selectedPosition() == kOtherPosition);
}

bool CStartupDlg::validate() {
    const int position = selectedPosition();
    QString type;
    if (position == kOtherPosition)
        type = other_->text();
    else if (position >= 0 && position < kTypeCount)
        type = QString::fromLatin1(kTypes[position].storedName);
    if (type.isEmpty()) {
        appPrompter().message(QStringLiteral("You must specify a group type"),
                              QStringLiteral("No Group Type"), PromptIcon::None);
        return false;
    }
    typeName_ = type;
    description_ = description_edit_->text();
    return true;
}

void CStartupDlg::accept() {
    if (validate()) QDialog::accept();
}

}  // namespace quorvane
