#include "reservations/Install.h"

#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "reservations/RoomInfoDlg.h"

namespace quorvane {

void installReservationCommands() {
    setFacilityOpener(&openFacilityList);
    registerGroupCommand(cmd::kAddCustomer,
                         [](CZUKRecDoc& doc, QWidget* parent) { addCustomer(doc, parent); });
}

}  // namespace quorvane
