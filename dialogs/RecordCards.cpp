#include "dialogs/RecordCards.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "dialogs/EditorDialogs.h"
#include "platform/DialogButtons.h"
#include "platform/TextCodec.h"

namespace quorvane {

namespace {

QLineEdit* box(QWidget* owner, QFormLayout* form, const QString& label, int id, int maxLength,
               bool readOnly) {
    auto* edit = new QLineEdit(owner);
    edit->setObjectName(QString::number(id));
    edit->setMaxLength(maxLength);
    edit->setReadOnly(readOnly);
    if (!readOnly) refuseUnstorable(edit, label);
    edit->setMinimumWidth(360);
    form->addRow(label, edit);
    return edit;
}

}  // namespace

// ----- the editor -----

CAddMaint::CAddMaint(CMaintenance& maintenance, Mode mode, const MaintFields& initial, long record,
                     QWidget* parent)
    : QDialog(parent), maintenance_(maintenance), mode_(mode), record_(record) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(mode == Modify ? QStringLiteral("Modify a Maintenance Item")
                                  : QStringLiteral("Add a Maintenance Item"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = box(this, form, QStringLiteral("Type of Maintenance"), kName, kMaintNameMax, false);
    notes_ = box(this, form, QStringLiteral("Notes"), kNotes, kMaintNotesMax, false);
    layout->addLayout(form);
    // OK runs accept(), which checks and stores before closing.
    addDialogButtons(this, layout, kDialogId, kHelp);
    setFields(initial);
}

MaintFields CAddMaint::fields() const {
    return {toCp1252(name_->text()), toCp1252(notes_->text())};
}

void CAddMaint::setFields(const MaintFields& f) {
    name_->setText(fromCp1252(f.name));
    notes_->setText(fromCp1252(f.notes));
}

bool CAddMaint::store() {
    const MaintFields f = fields();
    std::optional<Message> m = checkMaintName(f);
    if (!m) m = storeMaintenance(maintenance_, f, mode_ == Modify, record_);
    if (m) {
        showMessage(*m);
        return false;
    }
    return true;
}

void CAddMaint::accept() {
    if (store()) QDialog::accept();
}

// ----- the customer card -----

CListPerson::CListPerson(const PersonFields& fields, QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("List Customer"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < kPersonFields.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(kPersonFields[i].id));
        edit->setText(fromCp1252(fields.*(kPersonFields[i].member)));
        edit->setReadOnly(true);
        form->addRow(QString::fromLatin1(kPersonFields[i].label), edit);
        edits_[i] = edit;
    }
    layout->addLayout(form);
    addDialogButtons(this, layout, kDialogId, kHelp);
}

std::string CListPerson::shown(int id) const {
    for (const QLineEdit* e : edits_)
        if (e->objectName() == QString::number(id)) return toCp1252(e->text());
    return {};
}

// ----- the item card -----

CListMaint::CListMaint(const MaintFields& fields, QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("List Maintenance Items"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = box(this, form, QStringLiteral("Type of Maintenance"), kName, kMaintNameMax, true);
    notes_ = box(this, form, QStringLiteral("Notes"), kNotes, kMaintNotesMax, true);
    name_->setText(fromCp1252(fields.name));
    notes_->setText(fromCp1252(fields.notes));
    layout->addLayout(form);
    addDialogButtons(this, layout, kDialogId, kHelp);
}

MaintFields CListMaint::shown() const {
    return {toCp1252(name_->text()), toCp1252(notes_->text())};
}

}  // namespace quorvane
