#include "dialogs/Install.h"

#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "dialogs/EditorCommands.h"

namespace quorvane {

void installDialogCommands() {
    const struct {
        int command;
        int mode;
    } customers[] = {{cmd::kModifyCustomer, kModifyMode},
                     {cmd::kDeleteCustomer, kDeleteMode},
                     {cmd::kCustomerReservations, kReservationsMode},
                     {cmd::kListCustomers, kListMode}},
      maintenance[] = {{cmd::kModifyMaintenance, kModifyMode},
                       {cmd::kDeleteMaintenance, kDeleteMode},
                       {cmd::kShowMaintenance, kReservationsMode},
                       {cmd::kListMaintenance, kListMode}};
    for (const auto& c : customers)
        registerGroupCommand(c.command, [mode = c.mode](CZUKRecDoc& doc, QWidget* parent) {
            runCustomerChooser(doc, mode, parent);
        });
    for (const auto& c : maintenance)
        registerGroupCommand(c.command, [mode = c.mode](CZUKRecDoc& doc, QWidget* parent) {
            runMaintenanceChooser(doc, mode, parent);
        });
    registerGroupCommand(cmd::kAddMaintenance, &runAddMaintenance);
}

}  // namespace quorvane
