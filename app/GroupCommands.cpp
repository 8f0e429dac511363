#include "app/GroupCommands.h"

#include <map>

#include "app/ZUKRecView.h"
#include "platform/AppSettings.h"

namespace quorvane {
namespace {
std::map<int, GroupCommandHandler>& handlers() {
    static std::map<int, GroupCommandHandler> table;
    return table;
}
FacilityOpener& opener() {
    static FacilityOpener current;
    return current;
}
}  // namespace

void registerGroupCommand(int commandId, GroupCommandHandler handler) {
    if (handler)
        handlers()[commandId] = std::move(handler);
    else
        handlers().erase(commandId);
}

GroupCommandHandler groupCommand(int commandId) {
    auto it = handlers().find(commandId);
    return it == handlers().end() ? GroupCommandHandler{} : it->second;
}

void setFacilityOpener(FacilityOpener o) {
    opener() = std::move(o);
}
const FacilityOpener& facilityOpener() {
    return opener();
}

ViewPreferences viewPreferencesOf(const QWidget* parent) {
    for (const QWidget* w = parent; w; w = w->parentWidget())
        if (auto* view = qobject_cast<const CZUKRecView*>(w)) return view->preferences();
    return ViewPreferences::load(AppSettings());
}

void clearGroupCommands() {
    handlers().clear();
    opener() = nullptr;
}

}  // namespace quorvane
