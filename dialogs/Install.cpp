#include "dialogs/Install.h"

#include "app/GroupCommands.h"

namespace quorvane {

void installDialogCommands() {}

}  // namespace quorvane
