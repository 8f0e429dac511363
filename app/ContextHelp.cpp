#include "app/ContextHelp.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolButton>

#include "app/Commands.h"
#include "platform/Help.h"

namespace quorvane {

namespace {

bool numericName(const QObject* object, int* id) {
    bool ok = false;
    const int value = object->objectName().toInt(&ok);
    if (ok && id) *id = value;
    return ok;
}

// The commands that open a dialog answer with that dialog's topic; those acting on a window
// with the window's.
struct CommandTopic {
    int command;
    int dialogId;
};
constexpr CommandTopic kCommandTopics[] = {
    {cmd::kFileNew, 130},         // New Group Information
    {cmd::kAppAbout, 100},        // About Quorvane
    {cmd::kAddFacility, 131},     // the facility dialog
    {cmd::kModifyFacility, 131},  //
    {cmd::kModifyGroup, 141},     // Modify Group Information
    {cmd::kDeleteOldReservations, 140},
    {cmd::kPreferences, 107},  // the sheet's first page
    {cmd::kAddCustomer, 135},
    {cmd::kDeleteCustomer, 137},
    {cmd::kListCustomers, 137},
    {cmd::kModifyCustomer, 137},
    {cmd::kCustomerReservations, 137},
    {cmd::kAddMaintenance, 155},
    {cmd::kDeleteMaintenance, 156},
    {cmd::kListMaintenance, 156},
    {cmd::kModifyMaintenance, 156},
    {cmd::kShowMaintenance, 156},
    {cmd::kDayReservations, 139},  // Day at a Glance
    {cmd::kAllReservations, 165},  // Reservation Report Options
    {cmd::kUtilization, 152},      // Utilization Report Options
};

// Commands that work on the group window, or that only exist while one is open.
constexpr int kGroupWindowCommands[] = {
    cmd::kFileClose,
    cmd::kFilePrint,
    cmd::kFilePrintPreview,
    cmd::kDeleteFacility,
    cmd::kModifyDeleteFacility,
    cmd::kExportText,
    cmd::kExportAddress,
    cmd::kWindowNew,
    cmd::kWindowCascade,
    cmd::kWindowTile,
};

ContextHelpMode*& instance() {
    static ContextHelpMode* mode = nullptr;
    return mode;
}

}  // namespace

unsigned commandHelpTopic(int commandId) {
    for (const CommandTopic& t : kCommandTopics)
        if (t.command == commandId) {
            const unsigned topic = helpContext(unsigned(t.dialogId));
            // A dialog whose page is not bundled falls back on the window it is opened from.
            return HelpService::topicHtml(topic).isEmpty() ? kHelpGroupWindow : topic;
        }
    for (int id : kGroupWindowCommands)
        if (id == commandId) return kHelpGroupWindow;
    return kHelpContents;
}

unsigned widgetHelpTopic(const QWidget* widget, const QPoint& pos) {
    if (!widget) return kHelpContents;
    int id = 0;
    if (auto* menu = qobject_cast<const QMenu*>(widget)) {
        if (QAction* action = menu->actionAt(pos); action && numericName(action, &id))
            return commandHelpTopic(id);
    }
    if (auto* button = qobject_cast<const QToolButton*>(widget)) {
        if (QAction* action = button->defaultAction(); action && numericName(action, &id))
            return commandHelpTopic(id);
    }
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (const int marked = helpDialogId(w); marked >= 0) return helpContext(unsigned(marked));
        if (w->isWindow() && numericName(w, &id) && id > 0) return helpContext(unsigned(id));
    }
    return kHelpContents;
}

void ContextHelpMode::enter() {
    if (instance()) return;
    instance() = new ContextHelpMode;
    qApp->installEventFilter(instance());
    QApplication::setOverrideCursor(Qt::WhatsThisCursor);
}

bool ContextHelpMode::active() {
    return instance() != nullptr;
}

void ContextHelpMode::leave() {
    ContextHelpMode* mode = instance();
    if (!mode) return;
    instance() = nullptr;
    qApp->removeEventFilter(mode);
    QApplication::restoreOverrideCursor();
    mode->deleteLater();
}

bool ContextHelpMode::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                leave();
                return true;
            }
            return false;
        case QEvent::MouseButtonPress: {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget) return false;
            // The menu bar only opens its menus, so a command can be picked from them.
            if (qobject_cast<QMenuBar*>(widget)) return false;
            const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
            const unsigned topic = widgetHelpTopic(widget, pos);
            leave();
            while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            appHelp().showTopic(topic);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace quorvane
