#pragma once
// The commands of the layers above the group window (booking, reports, record editors). The
// application layer cannot depend on them, so the executable registers their handlers here
// before the main window is built; the main window enables a command of menu 129 exactly when
// a handler is registered for it, and the view's left click goes to the facility opener.
#include <functional>

#include "app/PreferencesModel.h"
#include "group/DayState.h"

class QWidget;

namespace quorvane {

class CZUKRecDoc;

// Runs one command on the active group; `parent` is the group's view.
using GroupCommandHandler = std::function<void(CZUKRecDoc& doc, QWidget* parent)>;
void registerGroupCommand(int commandId, GroupCommandHandler handler);
// The handler registered for the command, or an empty function.
GroupCommandHandler groupCommand(int commandId);

// Opens the reservation list of the facility in `slot` for `date`. True when reservations
// were changed (the caller redraws).
using FacilityOpener =
    std::function<bool(CZUKRecDoc& doc, int slot, const DayDate& date, QWidget* parent)>;
void setFacilityOpener(FacilityOpener opener);
const FacilityOpener& facilityOpener();

// A window that draws with its own copies of the preferences (the group view). Commands find
// it among their parent's ancestors through this interface, not through the view's class, so
// the command registry does not depend on the window that runs the commands.
class PreferencesHolder {
public:
    virtual ~PreferencesHolder() = default;
    virtual const ViewPreferences& preferences() const = 0;
};

// The preference copies of the group window a command runs in (`parent` or one of its
// ancestors): the day chart takes its starting hour and occupied colour from them, as the
// window draws with them. The stored settings when there is no group window.
ViewPreferences viewPreferencesOf(const QWidget* parent);

// Forgets every handler and the opener (tests).
void clearGroupCommands();

}  // namespace quorvane
