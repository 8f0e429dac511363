#pragma once
// Context help: after Shift+F1 (or the toolbar's help button) the next click on a control,
// a toolbar button or a menu command shows that thing's help topic instead of acting.
#include <QObject>
#include <QPoint>

class QWidget;

namespace quorvane {

// The topic of a command: the topic of the dialog it opens, or of the window it acts on.
unsigned commandHelpTopic(int commandId);

// The topic of a widget: a menu command or toolbar button gives its command's topic;
// otherwise the nearest enclosing dialog, property page or window that names its resource id
// (setHelpDialogId, or a window's numeric objectName). `pos` is in the widget's
// coordinates and picks the menu command under it.
unsigned widgetHelpTopic(const QWidget* widget, const QPoint& pos = {});

class ContextHelpMode final : public QObject {
    Q_OBJECT
public:
    // Starts the mode: the cursor turns into the help cursor, and the next mouse press on a
    // widget of this program asks appHelp() for its topic; Escape ends it without help.
    static void enter();
    static bool active();
    // Ends the mode, as Escape does.
    static void leave();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ContextHelpMode() = default;
};

}  // namespace quorvane
