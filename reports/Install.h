#pragma once

namespace quorvane {

// Registers this layer's menu commands (and, for booking, the view's left click) with the
// application layer (app/GroupCommands.h). The executable calls it before the main window.
void installReportCommands();

}  // namespace quorvane
