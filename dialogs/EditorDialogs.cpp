#include "dialogs/EditorDialogs.h"

#include <QDialog>
#include <QItemSelectionModel>
#include <QListView>

#include "base/Clock.h"
#include "platform/DialogButtons.h"
#include "platform/DialogSeam.h"
#include "platform/LineListModel.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reservations/ShowReservation.h"

namespace quorvane {

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
    CShowReservation detail(shown.detail, parent);
    if (appEditorDialogs().run(detail) != QDialog::Accepted) return false;
    const std::string notes = detail.notes();
    if (notes == shown.detail.notes) return false;
    // While another user holds the record the window says that it waits. A failed write is
    // not a message of its own: the list is read again and shows what the table holds.
    writeNotesWaiting([&] { return writeListedNotesOnce(schedule, shown, notes); }, parent);
    return true;
}

}  // namespace editor

}  // namespace quorvane
