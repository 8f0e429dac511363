#include "dialogs/EditorDialogs.h"

#include <QDialog>
#include <QItemSelectionModel>
#include <QListView>

#include "base/Clock.h"
#include "dialogs/RecordCards.h"
#include "dialogs/RecordLists.h"
#include "platform/DialogButtons.h"
#include "platform/DialogSeam.h"
#include "platform/LineListModel.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reservations/AddPersonDlg.h"
#include "reservations/ShowReservation.h"

namespace quorvane {

void EditorDialogs::choose(CRecordChooserDlg& chooser) {
    run(chooser);
}

bool EditorDialogs::modifyCustomer(CPeople& people, const PersonFields& fields, long record,
                                   QWidget* parent) {
    CAddPersonDlg dialog(people, CAddPersonDlg::Modify, fields, record, parent);
    return run(dialog) == QDialog::Accepted;
}

bool EditorDialogs::editItem(CMaintenance& maintenance, const MaintFields& item, long record,
                             QWidget* parent) {
    CAddMaint dialog(maintenance, record == 0 ? CAddMaint::Add : CAddMaint::Modify, item, record,
                     parent);
    return run(dialog) == QDialog::Accepted;
}

void EditorDialogs::customerCard(const PersonFields& fields, QWidget* parent) {
    CListPerson card(fields, parent);
    run(card);
}

void EditorDialogs::itemCard(const MaintFields& item, QWidget* parent) {
    CListMaint card(item, parent);
    run(card);
}

void EditorDialogs::customerReservations(CSchedule& schedule, const CustomerName& who,
                                         const DayDate& from, QWidget* parent) {
    CPersonResDlg list(schedule, who, from, parent);
    run(list);
}

void EditorDialogs::itemReservations(CSchedule& schedule, CMaintenance& maintenance,
                                     const std::string& item, const DayDate& from,
                                     QWidget* parent) {
    CMaintResDlg list(schedule, maintenance, item, from, parent);
    run(list);
}

int QtEditorDialogs::run(QDialog& dialog) {
    return dialog.exec();
}

EditorDialogs& appEditorDialogs() {
    return DialogSeam<EditorDialogs, QtEditorDialogs>::get();
}

void setAppEditorDialogs(EditorDialogs* dialogs) {
    DialogSeam<EditorDialogs, QtEditorDialogs>::set(dialogs);
}

namespace editor {

QListView* makeList(QWidget* owner, int id, int tabStop) {
    auto* list = new QListView(owner);
    list->setObjectName(QString::number(id));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformItemSizes(true);
    if (tabStop > 0) list->setItemDelegate(new TabStopDelegate(tabStop, list));
    return list;
}

void setListModel(QListView* list, QAbstractItemModel* model) {
    list->setModel(model);
}

int selectedRow(const QListView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void selectRow(QListView* list, int row) {
    if (row < 0) {
        list->clearSelection();
        return;
    }
    const QModelIndex index = list->model()->index(row, 0);
    list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    list->setCurrentIndex(index);
}

DayDate today() {
    return localDate(appClock().now());
}

bool showListedReservation(CSchedule& schedule, const ListedReservation& shown, QWidget* parent) {
    const std::optional<std::string> notes =
        appEditorDialogs().showReservation(shown.detail, parent);
    if (!notes || *notes == shown.detail.notes) return false;
    // While another user holds the record the window says that it waits. A failed write is
    // not a message of its own: the list is read again and shows what the table holds.
    writeNotesWaiting([&] { return writeListedNotesOnce(schedule, shown, *notes); }, parent);
    return true;
}

}  // namespace editor

}  // namespace quorvane
