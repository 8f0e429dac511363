#include "reports/Install.h"

#include "app/GroupCommands.h"

namespace quorvane {

void installReportCommands() {}

}  // namespace quorvane
