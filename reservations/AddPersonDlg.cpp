#include "reservations/AddPersonDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/error4.h"
#include "platform/DialogButtons.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "tables/TableCore.h"

namespace quorvane {

const std::array<PersonFieldSpec, 13> kPersonFields = {{
    {1023, 16, "First Name", &PersonFields::first},
    {1024, 1, "MI", &PersonFields::mi},
    {1025, 21, "Last Name", &PersonFields::last},
    {1028, 15, "Phone", &PersonFields::phone},
    {1174, 6, "Ext", &PersonFields::ext},
    {1032, 15, "Alternate Phone", &PersonFields::altPhone},
    {1175, 6, "Alt Ext", &PersonFields::altExt},
    {1027, 39, "Organization", &PersonFields::org},
    {1030, 39, "Street Address", &PersonFields::address},
    {1031, 39, "City", &PersonFields::city},
    {1145, 2, "State", &PersonFields::state},
    {1146, 11, "Zip", &PersonFields::zip},
    {1029, 39, "Notes", &PersonFields::notes},
}};

PersonFields personFieldsOf(const CPeople& p) {
    PersonFields f;
    p.GetName(f.first, f.mi, f.last);
    p.GetPhone(f.phone, f.ext);
    p.GetAltPhone(f.altPhone, f.altExt);
    f.org = p.GetOrg();
    p.GetAddress(f.address, f.city, f.state, f.zip);
    f.notes = p.GetNotes();
    return f;
}

void assignPerson(CPeople& p, const PersonFields& f) {
    p.SetName(f.first, f.mi, f.last);
    p.SetPhone(f.phone, f.ext);
    p.SetAltPhone(f.altPhone, f.altExt);
    p.SetOrg(f.org);
    p.SetAddress(f.address, f.city, f.state, f.zip);
    p.SetNotes(f.notes);
}

std::optional<Message> checkPersonName(const PersonFields& f) {
    // The table keeps no trailing blanks: a name of blanks alone would be stored empty.
    auto blank = [](const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; };
    if (blank(f.first) || blank(f.last))
        return Message{"A first and last name must be specified", "Name Error"};
    return std::nullopt;
}

std::optional<Message> storePerson(CPeople& people, const PersonFields& f, bool modify,
                                   long record) {
    int r;
    if (modify) {
        // Written over the customer chosen, found again by its record number: the table's
        // current record may have moved since the chooser read it. A customer another user
        // deleted meanwhile is not brought back by writing over the deleted record.
        r = people.GoTo(record);
        if (r != 0 || people.IsDeleted())
            return Message{"Could not read selected customer from database", "Database Error"};
        assignPerson(people, f);
        r = people.Update();
    } else {
        people.Clear();
        assignPerson(people, f);
        r = people.Add();
    }
    if (r != 0) {
        if (r == r4unique)
            return Message{"A record for this customer already exists in the database",
                           "Add Error"};
        return Message{tables::format("Error adding customer to database, already exist? (%d)", r),
                       "Add Error"};
    }
    // A changed key needs no clean-up: the rewrite moved this record to its new key. A live
    // record still under the old key is another one, added after the key was freed (by this
    // change or another user's), and stays.
    return std::nullopt;
}

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
