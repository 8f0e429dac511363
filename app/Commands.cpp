#include "app/Commands.h"

namespace quorvane {

namespace {
const CommandInfo kCommands[] = {
    {cmd::kFileNew, "&New Group\tCtrl+N", "Create a new group", "New"},
    {cmd::kFileOpen, "&Open Group...\tCtrl+O", "Open an existing group", "Open"},
    {cmd::kFileClose, "&Close Group", "Close the active group", ""},
    {cmd::kFilePrint, "&Print...\tCtrl+P", "Print the active document", "Print"},
    {cmd::kFilePrintPreview, "Print Pre&view", "Display full pages", ""},
    {cmd::kFilePrintSetup, "P&rint Setup...", "Change the printer and printing options", ""},
    {cmd::kAppExit, "E&xit", "Quit the application", ""},
    {cmd::kDeleteOldReservations, "Delete &Old Reservations", "Delete old reservations", ""},
    {cmd::kModifyGroup, "Modify &Group Information", "Change the description of a group", ""},
    {cmd::kAddFacility, "Add F&acility", "Add a new facility to the group", "Add Facility"},
    {cmd::kModifyDeleteFacility, "&Modify/Delete Facility",
     "To modify or delete..right click on facility icon", ""},
    {cmd::kDeleteFacility, "Delete %s", "Delete an object from the group", ""},
    {cmd::kModifyFacility, "Modify %s", "Modify an object's description", ""},
    {cmd::kAddCustomer, "&Add Customer", "Add a new customer to database", "Add Customer"},
    {cmd::kDeleteCustomer, "&Delete Customer", "Delete a customer from the database", ""},
    {cmd::kListCustomers, "&List Customers",
     "List the customers who can reserve items in this group", ""},
    {cmd::kModifyCustomer, "&Modify Customer", "Modify information about a customer", ""},
    {cmd::kExportText, "E&xport to Text File", "Export customers to a comma delimited text file",
     ""},
    {cmd::kExportAddress, "&Export to Address File", "Export to an Postrel address file", ""},
    {cmd::kExportCalendar, "Export to &Calendar File...",
     "Export the coming reservations to a calendar file", ""},
    {cmd::kAddMaintenance, "&Add Maintenace", "Add a maintenance item", ""},
    {cmd::kDeleteMaintenance, "&Delete Maintenance", "Delete a maintenance item", ""},
    {cmd::kListMaintenance, "&List Maintenance", "List maintenance items", ""},
    {cmd::kModifyMaintenance, "&Modify Maintenance", "Modify a maintenance item", ""},
    {cmd::kDayReservations, "A &Day's Reservations", "Show a day's reservations",
     "Day at a Glance"},
    {cmd::kCustomerReservations, "A &Customer's Reservations",
     "Show all reservations for a customer", ""},
    {cmd::kShowMaintenance, "&Maintenance", "Show all blocks reserved for a maintenance type", ""},
    {cmd::kAllReservations, "&All Reservations",
     "Show some or all reservations for the current group", ""},
    {cmd::kUtilization, "&Utilization", "Calculate utilization of items", ""},
    {cmd::kViewToolbar, "&Toolbar", "Show or hide the toolbar", ""},
    {cmd::kViewStatusBar, "&Status Bar", "Show or hide the status bar", ""},
    {cmd::kPreferences, "P&references...", "View preferences", ""},
    {cmd::kWindowNew, "&New Window", "Open another window for the active group", ""},
    {cmd::kWindowCascade, "&Cascade", "Arrange windows so they overlap", ""},
    {cmd::kWindowTile, "&Tile", "Arrange windows as non-overlapping tiles", ""},
    {cmd::kHelpFinder, "&Help Topics", "List Help topics", ""},
    {cmd::kHelp, "Help\tF1", "Display help for the current task", ""},
    {cmd::kAppAbout, "&About ZUKRec...",
     "Display program information, version number and copyright", "About"},
    {cmd::kContextHelp, "What's &This?\tShift+F1",
     "Display help for clicked on buttons, menus and windows", "Help"},
};
}  // namespace

const CommandInfo* commandInfo(int id) {
    for (const CommandInfo& info : kCommands)
        if (info.id == id) return &info;
    return nullptr;
}

QString menuText(const CommandInfo& info) {
    const QString text = QString::fromLatin1(info.text);
    const int tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? text : text.left(tab);
}

QString shortcutText(const CommandInfo& info) {
    const QString text = QString::fromLatin1(info.text);
    const int tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? QString() : text.mid(tab + 1);
}

}  // namespace quorvane
