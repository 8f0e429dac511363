#include "app/GroupCommands.h"

#include <QWidget>
#include <map>

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
        if (auto* holder = dynamic_cast<const PreferencesHolder*>(w)) return holder->preferences();
    return ViewPreferences::load(AppSettings());
}

void clearGroupCommands() {
    handlers().clear();
    opener() = nullptr;
}

}  // namespace quorvane
