#pragma once
// The row most dialogs end with: OK (control id 1, the default button), Cancel (2) and Help,
// whose click shows the dialog's help topic (0x20000 + the dialog's resource id). And the
// showing of the message a dialog's rules return.
#include <QString>

#include "platform/Prompter.h"

class QBoxLayout;
class QDialog;
class QDialogButtonBox;
class QPushButton;

namespace quorvane {

struct DialogButtons {
    QDialogButtonBox* box = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* help = nullptr;
};

// Adds the row to `layout`. OK accepts the dialog when `okAccepts`; otherwise the dialog
// connects OK itself (to check its fields first). Cancel rejects. `helpId` is the Help
// button's control id, `dialogId` the dialog's resource id.
DialogButtons addDialogButtons(QDialog* dialog, QBoxLayout* layout, int dialogId, int helpId,
                               bool okAccepts = true);

// A dialog's rules are free functions on its value struct; they return the message to show
// (or none), and the dialog shows it here, so the rules run without widgets.
void showMessage(const Message& message);

}  // namespace quorvane
