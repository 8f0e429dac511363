#include "dialogs/EditorCommands.h"

#include "app/ZUKRecDoc.h"
#include "dialogs/RecordCards.h"
#include "group/GroupTables.h"
#include "platform/DialogButtons.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

namespace quorvane {

namespace {

// After a change of the customer at `record`: offers to carry it to the reservations from
// today on that carry the old copy, and does it when the answer is yes.
void offerCarry(CPeople& people, CSchedule& schedule, const CustomerCopy& before, long record,
                const std::function<void()>& reservationsChanged) {
    if (people.GoTo(record) != 0 || people.IsDeleted()) return;
    const CustomerCopy after = customerCopyOf(people);
    if (after == before) return;
    const DayDate from = editor::today();
    long count = 0;
    if (countCustomerReservations(schedule, before, from, count) != 0) return;
    const std::optional<std::string> question = carryQuestion(before, after, count);
    if (!question ||
        !appPrompter().askYesNo(fromCp1252(*question), QStringLiteral("Change Reservations")))
        return;
    const CarryResult r = carryCustomerChange(schedule, before, after, from);
    if (r.code != 0) {
        showMessage({tables::format("The reservations could not be changed (%d); none of them was "
                                    "changed.",
                                    r.code),
                     "Database Error"});
        return;
    }
    appPrompter().message(
        QStringLiteral("%1 reservation(s) now carry the customer's new details.").arg(r.changed),
        QStringLiteral("Change Reservations"), PromptIcon::Information);
    if (r.changed > 0 && reservationsChanged) reservationsChanged();
}

// What the customer chooser's mode does with the chosen customer (the table stands on it).
bool onCustomer(CPeople& people, CSchedule& schedule, int mode,
                const std::function<void()>& reservationsChanged, long record, QWidget* parent) {
    switch (mode) {
        case kModifyMode: {
            const CustomerCopy before = customerCopyOf(people);
            if (appEditorDialogs().modifyCustomer(people, personFieldsOf(people), record, parent))
                offerCarry(people, schedule, before, record, reservationsChanged);
            return true;
        }
        case kDeleteMode: {
            // The reservations stay, but the person deleting should know there are some.
            long count = 0;
            countCustomerReservations(schedule, customerCopyOf(people), editor::today(), count);
            if (appPrompter().askYesNo(fromCp1252(deleteCustomerQuestion(count)),
                                       QStringLiteral("Confirm Delete"))) {
                // The customer's reservations stay: they carry their own copy of the names.
                if (const int r = deleteCustomer(people, record))
                    showMessage({tables::format("Could not delete customer from database (%d)", r),
                                 "Database Error"});
            }
            return true;
        }
        case kReservationsMode: {
            appEditorDialogs().customerReservations(schedule, customerNameOf(people),
                                                    editor::today(), parent);
            return true;
        }
        default: {
            // The card leaves the chooser open for the next customer.
            appEditorDialogs().customerCard(personFieldsOf(people), parent);
            return false;
        }
    }
}

bool onItem(CMaintenance& maintenance, CSchedule& schedule, int mode, long record,
            QWidget* parent) {
    const MaintFields item{maintenance.GetName(), maintenance.GetNotes()};
    switch (mode) {
        case kModifyMode: {
            appEditorDialogs().editItem(maintenance, item, record, parent);
            return true;
        }
        case kDeleteMode:
            if (appPrompter().askYesNo(
                    QStringLiteral("Are you sure you want to delete this maintenance item?"),
                    QStringLiteral("Confirm Delete"))) {
                // Reservations made for the item stay; they carry its name.
                if (const int r = deleteMaintenance(maintenance, record))
                    showMessage(
                        {tables::format("Could not delete maintenance item from database (%d)", r),
                         "Database Error"});
            }
            return true;
        case kReservationsMode: {
            appEditorDialogs().itemReservations(schedule, maintenance, item.name, editor::today(),
                                                parent);
            return true;
        }
        default: {
            appEditorDialogs().itemCard(item, parent);
            return false;
        }
    }
}

}  // namespace

std::unique_ptr<CPersonListDlg> customerChooser(CPeople& people, CSchedule& schedule, int mode,
                                                std::function<void()> reservationsChanged,
                                                QWidget* parent) {
    auto chooser = std::make_unique<CPersonListDlg>(people, mode, parent);
    chooser->setChosen([&people, &schedule, mode, changed = std::move(reservationsChanged)](
                           long record, QWidget* owner) {
        return onCustomer(people, schedule, mode, changed, record, owner);
    });
    return chooser;
}

std::unique_ptr<CMaintListDlg> maintenanceChooser(CMaintenance& maintenance, CSchedule& schedule,
                                                  int mode, QWidget* parent) {
    auto chooser = std::make_unique<CMaintListDlg>(maintenance, mode, parent);
    chooser->setChosen([&maintenance, &schedule, mode](long record, QWidget* owner) {
        return onItem(maintenance, schedule, mode, record, owner);
    });
    return chooser;
}

void runCustomerChooser(CZUKRecDoc& doc, int mode, QWidget* parent) {
    GroupTables* tables = doc.tables();
    if (!tables || !tables->people() || !tables->schedule()) return;
    const auto chooser = customerChooser(
        *tables->people(), *tables->schedule(), mode,
        [&doc] { doc.reservationsChanged(doc.currentDate()); }, parent);
    appEditorDialogs().choose(*chooser);
}

void runMaintenanceChooser(CZUKRecDoc& doc, int mode, QWidget* parent) {
    GroupTables* tables = doc.tables();
    if (!tables || !tables->maintenance() || !tables->schedule()) return;
    const auto chooser =
        maintenanceChooser(*tables->maintenance(), *tables->schedule(), mode, parent);
    appEditorDialogs().choose(*chooser);
}

void runAddMaintenance(CZUKRecDoc& doc, QWidget* parent) {
    GroupTables* tables = doc.tables();
    if (!tables || !tables->maintenance()) return;
    appEditorDialogs().editItem(*tables->maintenance(), {}, 0, parent);
}

}  // namespace quorvane
