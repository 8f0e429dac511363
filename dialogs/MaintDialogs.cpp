#include "dialogs/MaintDialogs.h"

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
#include "tables/Maintenance.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

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
    std::optional<EditorMessage> m = checkMaintName(f);
    if (!m) m = storeMaintenance(maintenance_, f, mode_ == Modify, record_);
    if (m) {
        editor::showMessage(*m);
        return false;
    }
    return true;
}

void CAddMaint::accept() {
    if (store()) QDialog::accept();
}

// ----- the chooser -----

CMaintListDlg::CMaintListDlg(CMaintenance& maintenance, CSchedule& schedule, int mode,
                             QWidget* parent)
    : QDialog(parent), maintenance_(maintenance), schedule_(schedule), mode_(mode) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(fromCp1252(maintenanceChooserTitle(mode)));
    auto* layout = new QVBoxLayout(this);
    // Lines stay in the order read, the table's key order: a line's position is its index in
    // the record array, whatever the case of its first letter.
    list_ = editor::makeList(this, kList, model_);
    list_->setMinimumSize(320, 240);
    layout->addWidget(list_, 1);
    addDialogButtons(this, layout, kDialogId, kHelp);
    connect(list_, &QListView::doubleClicked, this, [this] { choose(); });
    fill();
}

void CMaintListDlg::fill() {
    std::vector<RecordRow> rows;
    const int r = maintenanceRows(maintenance_, rows);
    model_->setRows(std::move(rows));
    if (r != 0)
        editor::showMessage(
            {tables::format("Could not read the maintenance items from database (%d)", r),
             "Database Error"});
}

bool CMaintListDlg::choose() {
    const int selected = editor::selectedRow(list_);
    if (selected < 0 && mode_ == kListMode) {
        QDialog::accept();
        return true;
    }
    if (std::optional<EditorMessage> m = pickMaintenance(maintenance_, rows(), selected)) {
        editor::showMessage(*m);
        return false;
    }
    const long record = rows()[std::size_t(selected)].record;
    const MaintFields item{maintenance_.GetName(), maintenance_.GetNotes()};
    switch (mode_) {
        case kModifyMode: {
            CAddMaint editorDlg(maintenance_, CAddMaint::Modify, item, record, this);
            appEditorDialogs().run(editorDlg);
            break;
        }
        case kDeleteMode:
            if (appPrompter().askYesNo(
                    QStringLiteral("Are you sure you want to delete this maintenance item?"),
                    QStringLiteral("Confirm Delete"))) {
                // Reservations made for the item stay; they carry its name.
                if (const int r = deleteMaintenance(maintenance_, record))
                    editor::showMessage(
                        {tables::format("Could not delete maintenance item from database (%d)", r),
                         "Database Error"});
            }
            break;
        case kReservationsMode: {
            CMaintResDlg list(schedule_, maintenance_, item.name, editor::today(), this);
            appEditorDialogs().run(list);
            break;
        }
        default: {
            CListMaint card(item, this);
            appEditorDialogs().run(card);
            return false;
        }
    }
    QDialog::accept();
    return true;
}

void CMaintListDlg::accept() {
    choose();
}

void CMaintListDlg::reject() {
    model_->setRows({});
    QDialog::reject();
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

// ----- an item's reservations -----

CMaintResDlg::CMaintResDlg(CSchedule& schedule, CMaintenance& maintenance, const std::string& item,
                           const DayDate& from, QWidget* parent)
    : QDialog(parent), schedule_(schedule), maintenance_(maintenance), item_(item), from_(from) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(fromCp1252(maintenanceReservationsTitle(item)));
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

void CMaintResDlg::fill() {
    std::vector<ReservationRow> rows;
    const int r = maintenanceReservations(schedule_, item_, from_, rows);
    model_->setRows(std::move(rows));
    if (r != 0)
        editor::showMessage(
            {tables::format("Could not read the reservations from database (%d)", r),
             "Database Error"});
}

void CMaintResDlg::showReservation() {
    const int selected = editor::selectedRow(list_);
    if (selected < 0) {
        editor::showMessage({"You must select a reservation to view", "Error"});
        return;
    }
    ListedReservation shown;
    if (std::optional<EditorMessage> m =
            readMaintenanceReservation(schedule_, rows()[std::size_t(selected)], shown)) {
        editor::showMessage(*m);
        return;
    }
    // An item renamed or deleted since the booking is said, and the detail still shown.
    if (std::optional<EditorMessage> m = checkMaintenanceItem(maintenance_, shown.last))
        editor::showMessage(*m);
    if (!editor::showListedReservation(schedule_, shown, this)) return;
    fill();
    for (std::size_t i = 0; i < rows().size(); ++i)
        if (rows()[i].record == shown.record) editor::selectRow(list_, int(i));
}

void runAddMaintenance(CZUKRecDoc& doc, QWidget* parent) {
    GroupTables* tables = doc.tables();
    if (!tables || !tables->maintenance()) return;
    CAddMaint editorDlg(*tables->maintenance(), CAddMaint::Add, {}, 0, parent);
    appEditorDialogs().run(editorDlg);
}

void runMaintenanceChooser(CZUKRecDoc& doc, int mode, QWidget* parent) {
    GroupTables* tables = doc.tables();
    if (!tables || !tables->maintenance() || !tables->schedule()) return;
    CMaintListDlg chooser(*tables->maintenance(), *tables->schedule(), mode, parent);
    appEditorDialogs().run(chooser);
}

}  // namespace quorvane
