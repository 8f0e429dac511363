#pragma once
// Every modal dialog the customer and maintenance editors open (the choosers, the editors, the
// read-only cards, the reservation lists and the reservation detail) goes through one
// replaceable object whose calls return the dialog's answer. These dialogs do their work in
// their own OK step (a stored customer, a deletion, written notes), so what a test replaces is
// only the running of the built dialog: it gets the dialog itself and works its controls by id,
// without a modal event loop. Also the small widget pieces the editors share.
#include <QListView>
#include <optional>
#include <string>

#include "dialogs/core/CustomerFields.h"
#include "dialogs/core/EditorCore.h"
#include "platform/RowListModel.h"
#include "platform/TextCodec.h"
#include "reservations/ReservationDialogs.h"

class QAbstractItemModel;
class QDialog;
class QWidget;

namespace quorvane {

class CRecordChooserDlg;

// The booking folder's dialogs (the reservation detail among them) are the editors' too.
class EditorDialogs : public ReservationDialogs {
public:
    // A chooser built by customerChooser() or maintenanceChooser() (EditorCommands.h).
    void choose(CRecordChooserDlg& chooser);
    // The customer editor on the customer at `record`; true when it stored the change.
    bool modifyCustomer(CPeople& people, const PersonFields& fields, long record, QWidget* parent);
    // The maintenance editor, in add mode when `record` is 0; true when it stored the item.
    bool editItem(CMaintenance& maintenance, const MaintFields& item, long record, QWidget* parent);
    // The read-only cards.
    void customerCard(const PersonFields& fields, QWidget* parent);
    void itemCard(const MaintFields& item, QWidget* parent);
    // A customer's and an item's reservations from `from` on.
    void customerReservations(CSchedule& schedule, const CustomerName& who, const DayDate& from,
                              QWidget* parent);
    void itemReservations(CSchedule& schedule, CMaintenance& maintenance, const std::string& item,
                          const DayDate& from, QWidget* parent);
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
