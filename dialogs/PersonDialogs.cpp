#include "dialogs/PersonDialogs.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/GroupTables.h"
#include "app/ZUKRecDoc.h"
#include "dialogs/EditorDialogs.h"
#include "platform/DialogButtons.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

namespace quorvane {

// ----- the chooser -----

CPersonListDlg::CPersonListDlg(CPeople& people, CSchedule& schedule, int mode, QWidget* parent)
    : QDialog(parent), people_(people), schedule_(schedule), mode_(mode) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(fromCp1252(customerChooserTitle(mode)));
    auto* layout = new QVBoxLayout(this);
    list_ = editor::makeList(this, kList, model_, kTabStop);
    list_->setMinimumSize(520, 260);
    layout->addWidget(list_, 1);
    // OK runs accept(), which acts on the selection by mode.
    addDialogButtons(this, layout, kDialogId, kHelp);
    connect(list_, &QListView::doubleClicked, this, [this] { choose(); });
    fill();
}

void CPersonListDlg::fill() {
    std::vector<RecordRow> rows;
    const int r = customerRows(people_, rows);
    model_->setRows(std::move(rows));
    if (r != 0)
        editor::showMessage(
            {tables::format("Could not read the customer list from database (%d)", r),
             "Database Error"});
}

bool CPersonListDlg::choose() {
    const int selected = editor::selectedRow(list_);
    if (selected < 0 && mode_ == kListMode) {
        QDialog::accept();
        return true;
    }
    if (std::optional<EditorMessage> m = pickCustomer(people_, rows(), selected)) {
        editor::showMessage(*m);
        return false;
    }
    const long record = rows()[std::size_t(selected)].record;
    switch (mode_) {
        case kModifyMode: {
            const CustomerCopy before = customerCopyOf(people_);
            CAddPersonDlg editorDlg(people_, CAddPersonDlg::Modify, personFieldsOf(people_), record,
                                    this);
            if (appEditorDialogs().run(editorDlg) == QDialog::Accepted) offerCarry(before, record);
            list_->clearSelection();
            break;
        }
        case kDeleteMode: {
            // The reservations stay, but the person deleting should know there are some.
            long count = 0;
            countCustomerReservations(schedule_, customerCopyOf(people_), editor::today(), count);
            if (appPrompter().askYesNo(fromCp1252(deleteCustomerQuestion(count)),
                                       QStringLiteral("Confirm Delete"))) {
                // The customer's reservations stay: they carry their own copy of the names.
                if (const int r = deleteCustomer(people_, record))
                    editor::showMessage(
                        {tables::format("Could not delete customer from database (%d)", r),
                         "Database Error"});
            }
            break;
        }
        case kReservationsMode: {
            CPersonResDlg list(schedule_, customerNameOf(people_), editor::today(), this);
            appEditorDialogs().run(list);
            break;
        }
        default: {
            // The card leaves the chooser open for the next customer.
            CListPerson card(personFieldsOf(people_), this);
            appEditorDialogs().run(card);
            list_->clearSelection();
            return false;
        }
    }
    QDialog::accept();
    return true;
}

void CPersonListDlg::offerCarry(const CustomerCopy& before, long record) {
    if (people_.GoTo(record) != 0 || people_.IsDeleted()) return;
    const CustomerCopy after = customerCopyOf(people_);
    if (after == before) return;
    const DayDate from = editor::today();
    long count = 0;
    if (countCustomerReservations(schedule_, before, from, count) != 0) return;
    const std::optional<std::string> question = carryQuestion(before, after, count);
    if (!question ||
        !appPrompter().askYesNo(fromCp1252(*question), QStringLiteral("Change Reservations")))
        return;
    const CarryResult r = carryCustomerChange(schedule_, before, after, from);
    if (r.code != 0) {
        editor::showMessage(
            {tables::format("The reservations could not be changed (%d); none of them was "
                            "changed.",
                            r.code),
             "Database Error"});
        return;
    }
    appPrompter().message(
        QStringLiteral("%1 reservation(s) now carry the customer's new details.").arg(r.changed),
        QStringLiteral("Change Reservations"), PromptIcon::Information);
    if (r.changed > 0 && reservationsChanged_) reservationsChanged_();
}

void CPersonListDlg::accept() {
    choose();
}

void CPersonListDlg::reject() {
    model_->setRows({});
    QDialog::reject();
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

// ----- a customer's reservations -----

CPersonResDlg::CPersonResDlg(CSchedule& schedule, const CustomerName& who, const DayDate& from,
                             QWidget* parent)
    : QDialog(parent), schedule_(schedule), who_(who), from_(from) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(fromCp1252(customerReservationsTitle(who)));
    auto* layout = new QVBoxLayout(this);
    list_ = editor::makeList(this, kList, model_, kTabStop);
    // A fixed-pitch font keeps the date and times one width, so every facility name starts at
    // the tab stop.
    QFont fixed(QStringLiteral("Courier"), 10);
    fixed.setStyleHint(QFont::TypeWriter);
    list_->setFont(fixed);
    list_->setMinimumSize(520, 240);
    layout->addWidget(list_, 1);
    DialogButtons buttons = addDialogButtons(this, layout, kDialogId, kHelp);
    auto* show =
        buttons.box->addButton(QStringLiteral("Show Reservation"), QDialogButtonBox::ActionRole);
    show->setObjectName(QString::number(kShow));
    show->setAutoDefault(false);
    // The list has OK and no Cancel (Escape still closes it); hidden after the last button
    // joined the row, which shows them all again.
    buttons.cancel->hide();
    connect(show, &QPushButton::clicked, this, [this] { showReservation(); });
    connect(list_, &QListView::doubleClicked, this, [this] { showReservation(); });
    fill();
}

void CPersonResDlg::fill() {
    std::vector<ReservationRow> rows;
    const int r = customerReservations(schedule_, who_, from_, rows);
    model_->setRows(std::move(rows));
    if (r != 0)
        editor::showMessage(
            {tables::format("Could not read the reservations from database (%d)", r),
             "Database Error"});
}

void CPersonResDlg::showReservation() {
    const int selected = editor::selectedRow(list_);
    if (selected < 0) {
        editor::showMessage({"You must select a reservation to view", "Error"});
        return;
    }
    ListedReservation shown;
    if (std::optional<EditorMessage> m =
            readCustomerReservation(schedule_, rows()[std::size_t(selected)], shown)) {
        editor::showMessage(*m);
        return;
    }
    if (!editor::showListedReservation(schedule_, shown, this)) return;
    // Read again from the date the list began at, so the reservations before the one shown
    // stay listed, and keep the shown one selected.
    fill();
    for (std::size_t i = 0; i < rows().size(); ++i)
        if (rows()[i].record == shown.record) editor::selectRow(list_, int(i));
}

void runCustomerChooser(CZUKRecDoc& doc, int mode, QWidget* parent) {
    GroupTables* tables = doc.tables();
    if (!tables || !tables->people() || !tables->schedule()) return;
    CPersonListDlg chooser(*tables->people(), *tables->schedule(), mode, parent);
    chooser.setReservationsChanged([&doc] { doc.reservationsChanged(doc.currentDate()); });
    appEditorDialogs().run(chooser);
}

}  // namespace quorvane
