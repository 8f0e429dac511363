#include "reservations/AddPersonDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/DialogButtons.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"

namespace quorvane {

CAddPersonDlg::CAddPersonDlg(CPeople& people, Mode mode, const PersonFields& initial, long record,
                             QWidget* parent)
    : QDialog(parent), people_(people), mode_(mode), record_(record) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(mode == Modify ? QStringLiteral("Modify a Customer")
                                  : QStringLiteral("Add a New Customer"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < kPersonFields.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(kPersonFields[i].id));
        edit->setMaxLength(kPersonFields[i].maxLength);
        refuseUnstorable(edit, QString::fromLatin1(kPersonFields[i].label));
        form->addRow(QString::fromLatin1(kPersonFields[i].label), edit);
        edits_[i] = edit;
    }
    layout->addLayout(form);
    DialogButtons buttons = addDialogButtons(this, layout, kDialogId, kHelp, false);
    buttons.ok->setText(mode == Modify ? QStringLiteral("OK") : QStringLiteral("Add and Close"));
    connect(buttons.ok, &QPushButton::clicked, this, [this] { addAndClose(); });
    auto* addNew =
        buttons.box->addButton(QStringLiteral("Add and New"), QDialogButtonBox::ActionRole);
    addNew->setObjectName(QString::number(kAddAndNew));
    addNew->setAutoDefault(false);
    connect(addNew, &QPushButton::clicked, this, [this] { addAndNew(); });
    if (mode == Modify) {
        addNew->hide();
        setFields(initial);
    }
}

PersonFields CAddPersonDlg::fields() const {
    PersonFields f;
    for (std::size_t i = 0; i < kPersonFields.size(); ++i)
        f.*(kPersonFields[i].member) = toCp1252(edits_[i]->text());
    return f;
}

void CAddPersonDlg::setFields(const PersonFields& f) {
    for (std::size_t i = 0; i < kPersonFields.size(); ++i)
        edits_[i]->setText(fromCp1252(f.*(kPersonFields[i].member)));
}

bool CAddPersonDlg::store() {
    const PersonFields f = fields();
    std::optional<Message> m = checkPersonName(f);
    if (!m) m = storePerson(people_, f, mode_ == Modify, record_);
    if (m) {
        showMessage(*m);
        return false;
    }
    ++stored_;
    return true;
}

bool CAddPersonDlg::addAndNew() {
    if (!store()) return false;
    setFields({});
    edits_[0]->setFocus();
    return true;
}

bool CAddPersonDlg::addAndClose() {
    if (!store()) return false;
    QDialog::accept();
    return true;
}

void CAddPersonDlg::accept() {
    addAndClose();
}

}  // namespace quorvane
