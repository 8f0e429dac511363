#pragma once
// Every modal dialog the customer and maintenance editors open (the editors, the read-only
// cards, the reservation lists and the reservation detail) goes through one replaceable
// object, so tests answer them without a modal event loop: they get the dialog itself and
// work its controls by id. Also the small widget pieces the editors share.
#include <QListView>
#include <string>

#include "dialogs/core/EditorCore.h"
#include "platform/RowListModel.h"
#include "platform/TextCodec.h"

class QAbstractItemModel;
class QDialog;
class QWidget;

namespace quorvane {

class EditorDialogs {
public:
    virtual ~EditorDialogs() = default;
    // Runs the dialog modally; QDialog::Accepted or QDialog::Rejected.
    virtual int run(QDialog& dialog) = 0;
};

class QtEditorDialogs final : public EditorDialogs {
public:
    int run(QDialog& dialog) override;
};

EditorDialogs& appEditorDialogs();
void setAppEditorDialogs(EditorDialogs* dialogs);  // nullptr restores the Qt dialogs

using ChooserModel = RowListModel<RecordRow>;
using ReservationModel = RowListModel<ReservationRow>;

namespace editor {

// A single-selection list box with the control id; `tabStop` in dialog units (0: none).
QListView* makeList(QWidget* owner, int id, int tabStop = 0);
void setListModel(QListView* list, QAbstractItemModel* model);
// The same over a model of the rows, each shown as its line.
template <class Row>
QListView* makeList(QWidget* owner, int id, RowListModel<Row>*& model, int tabStop = 0) {
    QListView* list = makeList(owner, id, tabStop);
    model = new RowListModel<Row>([](const Row& r) { return fromCp1252(r.line); }, list);
    setListModel(list, model);
    return list;
}
// The selected row, -1 for none.
int selectedRow(const QListView* list);
void selectRow(QListView* list, int row);
// Today as the clock says.
DayDate today();
// Shows a listed reservation in the reservation detail (dialog 136) and, on OK, writes its
// notes when they were changed. True when the list should be read again.
bool showListedReservation(CSchedule& schedule, const ListedReservation& shown, QWidget* parent);

}  // namespace editor

}  // namespace quorvane
