#pragma once
// The customer and maintenance commands: each opens its chooser and carries out what the
// chooser's mode asks on the record chosen (the editor, the deletion with its question, the
// reservation list, the card). The chooser only chooses.
#include <functional>
#include <memory>

#include "dialogs/RecordLists.h"

namespace quorvane {

class CZUKRecDoc;

// The chooser of `mode` with its command attached. `reservationsChanged` is called after a
// customer's change was carried to their reservations.
std::unique_ptr<CPersonListDlg> customerChooser(CPeople& people, CSchedule& schedule, int mode,
                                                std::function<void()> reservationsChanged = {},
                                                QWidget* parent = nullptr);
std::unique_ptr<CMaintListDlg> maintenanceChooser(CMaintenance& maintenance, CSchedule& schedule,
                                                  int mode, QWidget* parent = nullptr);

// The commands of the Customers, Maintenance and View menus on the group's tables.
void runCustomerChooser(CZUKRecDoc& doc, int mode, QWidget* parent);
void runMaintenanceChooser(CZUKRecDoc& doc, int mode, QWidget* parent);
void runAddMaintenance(CZUKRecDoc& doc, QWidget* parent);

}  // namespace quorvane
