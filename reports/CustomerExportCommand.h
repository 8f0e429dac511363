#pragma once
// The customer export commands (CustomerExportCommand.cpp): the Save dialog, the messages, and
// the exports of CustomerExport.h run on the group's customer table.
#include <QString>

#include "reports/core/CustomerExport.h"

class QWidget;

namespace quorvane {

class CZUKRecDoc;
struct FileDialogRequest;

// The Save dialog of an export: asks again while the choice is a group's file (saying why).
// Empty on Cancel.
QString chooseExportFile(FileDialogRequest request, QWidget* parent);
void runTextExport(CZUKRecDoc& doc, QWidget* parent);
void runAddressExport(CZUKRecDoc& doc, QWidget* parent);

}  // namespace quorvane
