#pragma once
// The main window: an MDI frame with the menus, the toolbar and the status bar. While no group
// window is open it shows menu 128; while one is, menu 129.
#include <QHash>
#include <QList>
#include <QMainWindow>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

namespace quorvane {

class CChildFrame;
class CZUKRecDoc;
class DocumentManager;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kResourceId = 128;

    explicit CMainFrame(DocumentManager& documents, QWidget* parent = nullptr);
    ~CMainFrame() override;

    QAction* action(int id) const { return actions_.value(id); }
    // 128 or 129: the menu now shown.
    int currentMenuId() const { return menuId_; }
    QToolBar* toolBar() const { return toolBar_; }
    QMdiArea* mdiArea() const { return mdi_; }

    QList<CChildFrame*> frames() const;
    QList<CChildFrame*> framesOf(const CZUKRecDoc* doc) const;
    CChildFrame* activeFrame() const;
    CZUKRecDoc* activeDocument() const;

    // Opens another window on the group ("New Window").
    CChildFrame* createFrame(CZUKRecDoc* doc);

    // Opens the dropped files that are group files; the others are ignored.
    void openDroppedFiles(const QStringList& paths);

signals:
    // Commands the application object carries out: new, open, print setup, about, exit.
    void commandTriggered(int id);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* makeAction(int id);
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void updateMenus();
    void updateTitle();
    void refreshRecentMenu();
    void renumberFrames(const CZUKRecDoc* doc);
    void frameClosed(CChildFrame* frame);
    void printActive(bool preview);
    void showHelpForActive();
    // The Window menu lists the open windows after its commands.
    void fillWindowMenu(QMenu* menu);

    DocumentManager& documents_;
    QMdiArea* mdi_;
    QToolBar* toolBar_ = nullptr;
    QHash<int, QAction*> actions_;
    QList<QMenu*> mainMenus_;   // menu 128
    QList<QMenu*> groupMenus_;  // menu 129
    QList<QAction*> recentSeparators_;
    QList<QAction*> windowListActions_;
    int menuId_ = 0;
};

}  // namespace quorvane
