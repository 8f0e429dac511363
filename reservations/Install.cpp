#include "reservations/Install.h"

#include "app/GroupCommands.h"

namespace quorvane {

void installReservationCommands() {}

}  // namespace quorvane
