#pragma once
// The command identifiers of the menus and the toolbar, with their menu texts, status-bar
// prompts and tool tips. Menu 128 is the main window's menu while no group window is active,
// menu 129 the menu while one is.
#include <QString>

namespace quorvane {

namespace cmd {
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileClose = 57602;
constexpr int kFilePrintSetup = 57606;
constexpr int kFilePrint = 57607;
constexpr int kFilePrintPreview = 57609;
constexpr int kFileMru1 = 57616;  // to 57619
constexpr int kWindowNew = 57648;
constexpr int kWindowCascade = 57650;
constexpr int kWindowTile = 57651;
constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kHelpFinder = 57667;
constexpr int kHelp = 57668;  // F1
constexpr int kContextHelp = 57669;
constexpr int kViewToolbar = 59392;
constexpr int kViewStatusBar = 59393;

constexpr int kAddFacility = 32771;
constexpr int kDeleteFacility = 32774;  // right-click menu
constexpr int kAddCustomer = 32775;
constexpr int kDeleteCustomer = 32776;
constexpr int kModifyCustomer = 32777;
constexpr int kDayReservations = 32778;
constexpr int kCustomerReservations = 32779;
constexpr int kDeleteOldReservations = 32782;
constexpr int kModifyFacility = 32794;  // right-click menu
constexpr int kModifyGroup = 32795;
constexpr int kPreferences = 32796;
constexpr int kListCustomers = 32803;
constexpr int kModifyDeleteFacility = 32805;
constexpr int kUtilization = 32806;
constexpr int kAddMaintenance = 32812;
constexpr int kDeleteMaintenance = 32813;
constexpr int kListMaintenance = 32814;
constexpr int kModifyMaintenance = 32815;
constexpr int kShowMaintenance = 32817;
constexpr int kExportText = 32818;
constexpr int kExportAddress = 32819;
constexpr int kExportCalendar = 32820;
constexpr int kAllReservations = 32821;
}  // namespace cmd

constexpr int kMainMenuId = 128;   // no group window active
constexpr int kGroupMenuId = 129;  // a group window active

// The toolbar (resource 128): buttons of 17 x 16 pixels in this order, 0 for a separator.
constexpr int kToolbarButtonWidth = 17;
constexpr int kToolbarButtonHeight = 16;
constexpr int kToolbarLayout[] = {cmd::kFileNew,
                                  cmd::kFileOpen,
                                  0,
                                  cmd::kAddCustomer,
                                  cmd::kAddFacility,
                                  cmd::kDayReservations,
                                  0,
                                  cmd::kFilePrint,
                                  0,
                                  cmd::kAppAbout,
                                  cmd::kContextHelp};

struct CommandInfo {
    int id;
    const char* text;     // menu text; "\t" is followed by the shortcut
    const char* prompt;   // status-bar prompt
    const char* toolTip;  // may be empty
};

// The entry of a command, or nullptr.
const CommandInfo* commandInfo(int id);

// Menu text before the "\t", and the shortcut after it.
QString menuText(const CommandInfo& info);
QString shortcutText(const CommandInfo& info);

}  // namespace quorvane
