#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/ContextHelp.h"
#include "app/DocumentManager.h"
#include "app/GroupCommands.h"
#include "app/GroupPrinting.h"
#include "app/LockIndicators.h"
#include "app/ToolbarIcons.h"
#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "platform/Help.h"
#include "platform/Prompter.h"

namespace quorvane {

namespace {

bool isGroupFile(const QString& path) {
    return path.endsWith(QStringLiteral(".rec"), Qt::CaseInsensitive) && QFileInfo(path).isFile();
}

}  // namespace

CMainFrame::CMainFrame(DocumentManager& documents, QWidget* parent)
    : QMainWindow(parent), documents_(documents), mdi_(new QMdiArea(this)) {
    setObjectName(QString::number(kResourceId));
    setCentralWidget(mdi_);
    setAcceptDrops(true);
    resize(860, 600);

    createActions();
    createMenus();
    createToolBar();
    createStatusBar();

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
        updateMenus();
        updateTitle();
    });
    connect(&documents_, &DocumentManager::documentAdded, this,
            [this](CZUKRecDoc* doc) { createFrame(doc); });
    connect(&documents_, &DocumentManager::activateRequested, this, [this](CZUKRecDoc* doc) {
        const QList<CChildFrame*> list = framesOf(doc);
        if (!list.isEmpty()) mdi_->setActiveSubWindow(list.front());
    });
    connect(&documents_, &DocumentManager::documentClosing, this, [this](CZUKRecDoc* doc) {
        for (CChildFrame* frame : framesOf(doc)) frame->close();
    });
    connect(&documents_, &DocumentManager::recentFilesChanged, this,
            &CMainFrame::refreshRecentMenu);

    refreshRecentMenu();
    updateMenus();
    updateTitle();
}

CMainFrame::~CMainFrame() {
    // The child windows go with the MDI area after this; their signals must not reach a frame
    // whose actions are gone.
    mdi_->disconnect(this);
    for (CChildFrame* frame : findChildren<CChildFrame*>()) frame->disconnect(this);
}

QAction* CMainFrame::makeAction(int id) {
    const CommandInfo* info = commandInfo(id);
    auto* action = new QAction(this);
    action->setObjectName(QString::number(id));
    if (info) {
        action->setText(menuText(*info));
        action->setStatusTip(QString::fromLatin1(info->prompt));
        const QString tip = QString::fromLatin1(info->toolTip);
        action->setToolTip(tip.isEmpty() ? menuText(*info).remove(QLatin1Char('&')) : tip);
        const QString keys = shortcutText(*info);
        if (!keys.isEmpty()) action->setShortcut(QKeySequence(keys));
    }
    actions_.insert(id, action);
    return action;
}

namespace {
// The commands of the booking, report and editor layers.
constexpr int kLayerCommands[] = {
    cmd::kAddCustomer,       cmd::kDeleteCustomer,    cmd::kListCustomers,
    cmd::kModifyCustomer,    cmd::kExportText,        cmd::kExportAddress,
    cmd::kAddMaintenance,    cmd::kDeleteMaintenance, cmd::kListMaintenance,
    cmd::kModifyMaintenance, cmd::kDayReservations,   cmd::kCustomerReservations,
    cmd::kShowMaintenance,   cmd::kAllReservations,   cmd::kUtilization,
    cmd::kExportCalendar};
// The group window's own commands.
constexpr int kViewCommands[] = {cmd::kAddFacility, cmd::kModifyDeleteFacility, cmd::kModifyGroup,
                                 cmd::kDeleteOldReservations, cmd::kPreferences};
}  // namespace

void CMainFrame::createActions() {
    // Commands of the application object.
    for (int id :
         {cmd::kFileNew, cmd::kFileOpen, cmd::kFilePrintSetup, cmd::kAppAbout, cmd::kAppExit})
        connect(makeAction(id), &QAction::triggered, this,
                [this, id] { emit commandTriggered(id); });
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        QAction* recent = makeAction(cmd::kFileMru1 + i);
        recent->setStatusTip(QStringLiteral("Open this group"));
        connect(recent, &QAction::triggered, this, [this, i] { documents_.openRecent(i); });
    }

    // Frame and window commands.
    connect(makeAction(cmd::kFileClose), &QAction::triggered, this, [this] {
        if (CZUKRecDoc* doc = activeDocument()) documents_.closeDocument(doc);
    });
    connect(makeAction(cmd::kFilePrint), &QAction::triggered, this, [this] { printActive(false); });
    connect(makeAction(cmd::kFilePrintPreview), &QAction::triggered, this,
            [this] { printActive(true); });
    connect(makeAction(cmd::kWindowNew), &QAction::triggered, this, [this] {
        if (CZUKRecDoc* doc = activeDocument()) createFrame(doc);
    });
    connect(makeAction(cmd::kWindowCascade), &QAction::triggered, mdi_,
            &QMdiArea::cascadeSubWindows);
    connect(makeAction(cmd::kWindowTile), &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);

    QAction* toolbar = makeAction(cmd::kViewToolbar);
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    connect(toolbar, &QAction::toggled, this, [this](bool on) { toolBar_->setVisible(on); });
    QAction* status = makeAction(cmd::kViewStatusBar);
    status->setCheckable(true);
    status->setChecked(true);
    connect(status, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

    connect(makeAction(cmd::kHelpFinder), &QAction::triggered, this,
            [] { appHelp().showTopic(kHelpContents); });
    QAction* help = makeAction(cmd::kHelp);
    addAction(help);  // F1 works without a menu entry
    connect(help, &QAction::triggered, this, &CMainFrame::showHelpForActive);
    QAction* contextHelp = makeAction(cmd::kContextHelp);
    addAction(contextHelp);  // Shift+F1 works with the toolbar hidden too
    connect(contextHelp, &QAction::triggered, this, [] { ContextHelpMode::enter(); });

    // Group commands whose dialogs are not part of this program yet: offered, but disabled.
    // The group window's own commands go to the active window's view.
    auto toView = [this](int id, void (CZUKRecView::*handler)()) {
        connect(makeAction(id), &QAction::triggered, this, [this, handler] {
            if (CChildFrame* frame = activeFrame()) (frame->view()->*handler)();
        });
    };
    toView(cmd::kAddFacility, &CZUKRecView::addFacility);
    toView(cmd::kModifyDeleteFacility, &CZUKRecView::modifyDeleteFacilityHint);
    toView(cmd::kModifyGroup, &CZUKRecView::modifyGroupInformation);
    toView(cmd::kDeleteOldReservations, &CZUKRecView::deleteOldReservations);
    // The commands of the booking, report and editor layers run the handler the executable
    // registered (GroupCommands.h); without one they are offered, but disabled.
    for (int id : kLayerCommands) {
        QAction* action = makeAction(id);
        action->setEnabled(false);  // until a group window opens (updateMenus)
        connect(action, &QAction::triggered, this, [this, id] {
            CChildFrame* frame = activeFrame();
            const GroupCommandHandler handler = groupCommand(id);
            if (!frame || !handler) return;
            handler(*frame->view()->document(), frame->view());
            frame->view()->update();
        });
    }

    connect(makeAction(cmd::kPreferences), &QAction::triggered, this, [this] {
        if (CChildFrame* frame = activeFrame()) frame->view()->showPreferences();
    });
}

void CMainFrame::createMenus() {
    auto menu = [this](const QString& title, std::initializer_list<int> ids) {
        auto* m = new QMenu(title, this);
        for (int id : ids) {
            if (id == 0)
                m->addSeparator();
            else
                m->addAction(action(id));
        }
        return m;
    };
    auto fileMenu = [this](std::initializer_list<int> ids) {
        auto* m = new QMenu(QStringLiteral("&File"), this);
        for (int id : ids) {
            if (id == 0)
                m->addSeparator();
            else
                m->addAction(action(id));
        }
        recentSeparators_ << m->addSeparator();
        for (int i = 0; i < RecentFileList::kSize; ++i) m->addAction(action(cmd::kFileMru1 + i));
        m->addSeparator();
        m->addAction(action(cmd::kAppExit));
        return m;
    };

    mainMenus_ << fileMenu({cmd::kFileNew, cmd::kFileOpen, 0, cmd::kFilePrintSetup})
               << menu(QStringLiteral("&View"), {cmd::kViewToolbar, cmd::kViewStatusBar})
               << menu(QStringLiteral("&Help"), {cmd::kHelpFinder, 0, cmd::kAppAbout});

    QMenu* windowMenu =
        menu(QStringLiteral("&Window"), {cmd::kWindowNew, cmd::kWindowCascade, cmd::kWindowTile});
    connect(windowMenu, &QMenu::aboutToShow, this,
            [this, windowMenu] { fillWindowMenu(windowMenu); });
    groupMenus_
        << fileMenu({cmd::kFileNew, cmd::kFileOpen, cmd::kFileClose, 0, cmd::kFilePrint,
                     cmd::kFilePrintPreview, cmd::kFilePrintSetup})
        << menu(QStringLiteral("&Edit"), {cmd::kDeleteOldReservations, cmd::kModifyGroup})
        << menu(QStringLiteral("&Facilities"), {cmd::kAddFacility, cmd::kModifyDeleteFacility})
        << menu(QStringLiteral("&Customers"),
                {cmd::kAddCustomer, cmd::kDeleteCustomer, cmd::kListCustomers, cmd::kModifyCustomer,
                 0, cmd::kExportText, cmd::kExportAddress, cmd::kExportCalendar})
        << menu(QStringLiteral("Maintenance"), {cmd::kAddMaintenance, cmd::kDeleteMaintenance,
                                                cmd::kListMaintenance, cmd::kModifyMaintenance})
        << menu(QStringLiteral("&View"),
                {cmd::kDayReservations, cmd::kCustomerReservations, cmd::kShowMaintenance,
                 cmd::kAllReservations, cmd::kUtilization, 0, cmd::kViewToolbar,
                 cmd::kViewStatusBar, 0, cmd::kPreferences})
        << windowMenu << menu(QStringLiteral("&Help"), {cmd::kHelpFinder, 0, cmd::kAppAbout});
}

void CMainFrame::createToolBar() {
    toolBar_ = addToolBar(QStringLiteral("Toolbar"));
    toolBar_->setObjectName(QString::number(kResourceId) + QStringLiteral("-toolbar"));
    toolBar_->setIconSize(QSize(kToolbarButtonWidth, kToolbarButtonHeight));
    for (int id : kToolbarLayout) {
        if (id == 0) {
            toolBar_->addSeparator();
        } else {
            action(id)->setIcon(toolbarIcon(id));
            toolBar_->addAction(action(id));
        }
    }
}

void CMainFrame::createStatusBar() {
    auto* ready = new QLabel(QStringLiteral("Ready"), this);
    ready->setObjectName(QStringLiteral("59136"));  // the message pane while no prompt shows
    statusBar()->addWidget(ready, 1);
    for (LockKey key : {LockKey::Caps, LockKey::Num, LockKey::Scroll})
        statusBar()->addPermanentWidget(new LockIndicator(key, this));
}

QList<CChildFrame*> CMainFrame::frames() const {
    QList<CChildFrame*> list;
    for (QMdiSubWindow* window : mdi_->subWindowList())
        if (auto* frame = qobject_cast<CChildFrame*>(window)) list << frame;
    return list;
}

QList<CChildFrame*> CMainFrame::framesOf(const CZUKRecDoc* doc) const {
    QList<CChildFrame*> list;
    for (CChildFrame* frame : frames())
        if (frame->document() == doc) list << frame;
    return list;
}

CChildFrame* CMainFrame::activeFrame() const {
    if (auto* frame = qobject_cast<CChildFrame*>(mdi_->currentSubWindow())) return frame;
    const QList<CChildFrame*> list = frames();
    return list.isEmpty() ? nullptr : list.back();
}

CZUKRecDoc* CMainFrame::activeDocument() const {
    CChildFrame* frame = activeFrame();
    return frame ? frame->document() : nullptr;
}

CChildFrame* CMainFrame::createFrame(CZUKRecDoc* doc) {
    auto* frame = new CChildFrame(doc);
    setHelpDialogId(frame, kGroupMenuId);  // context help inside the window: its own topic
    mdi_->addSubWindow(frame);
    connect(frame, &CChildFrame::frameClosed, this, &CMainFrame::frameClosed);
    connect(frame, &QObject::destroyed, this, [this] {
        updateMenus();
        updateTitle();
    });
    renumberFrames(doc);
    frame->show();
    mdi_->setActiveSubWindow(frame);
    updateMenus();
    updateTitle();
    return frame;
}

void CMainFrame::frameClosed(CChildFrame* frame) {
    CZUKRecDoc* doc = frame->document();
    QList<CChildFrame*> rest = framesOf(doc);
    rest.removeAll(frame);
    if (rest.isEmpty()) {
        documents_.closeDocument(doc);  // the group's last window: the group closes
    } else {
        // Renumber the windows that stay; the closing one is still listed until it is deleted.
        for (int i = 0; i < rest.size(); ++i) rest[i]->setWindowNumber(rest.size() > 1 ? i + 1 : 0);
    }
}

void CMainFrame::renumberFrames(const CZUKRecDoc* doc) {
    const QList<CChildFrame*> list = framesOf(doc);
    for (int i = 0; i < list.size(); ++i) list[i]->setWindowNumber(list.size() > 1 ? i + 1 : 0);
}

void CMainFrame::updateMenus() {
    const bool group = !frames().isEmpty();
    const int wanted = group ? kGroupMenuId : kMainMenuId;
    if (wanted != menuId_) {
        menuId_ = wanted;
        menuBar()->clear();
        for (QMenu* m : group ? groupMenus_ : mainMenus_) menuBar()->addMenu(m);
    }
    action(cmd::kFilePrint)->setEnabled(group);
    // Every group command acts on the active group window: with none open the toolbar's
    // buttons are disabled, as the menu then does not offer them.
    for (int id : kLayerCommands) action(id)->setEnabled(group && bool(groupCommand(id)));
    for (int id : kViewCommands) action(id)->setEnabled(group);
}

void CMainFrame::updateTitle() {
    CZUKRecDoc* doc = activeDocument();
    setWindowTitle(doc ? QStringLiteral("Quorvane - ") + doc->title() : QStringLiteral("Quorvane"));
}

void CMainFrame::refreshRecentMenu() {
    const QStringList& entries = documents_.recentFiles().entries();
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        QAction* recent = action(cmd::kFileMru1 + i);
        const bool used = i < entries.size();
        recent->setVisible(used);
        if (used) {
            QString shown = entries[i];
            shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
            recent->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        }
    }
    for (QAction* separator : recentSeparators_) separator->setVisible(!entries.isEmpty());
}

void CMainFrame::openDroppedFiles(const QStringList& paths) {
    for (const QString& path : paths)
        if (isGroupFile(path)) documents_.openDocument(path);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && isGroupFile(url.toLocalFile())) {
            event->acceptProposedAction();
            return;
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    activateWindow();
    openDroppedFiles(paths);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    documents_.closeAll();
    // A help window left open would keep the program running with no main window, and later
    // starts would hand their groups to it.
    appHelp().closeWindows();
    event->accept();
}

void CMainFrame::printActive(bool preview) {
    CZUKRecDoc* doc = activeDocument();
    if (!doc) return;
    PrintRequest request;
    request.target = preview ? PrintTarget::Preview : PrintTarget::AskPrinter;
    request.pdfPath = pdfBeside(doc->basePath(), {});
    request.parent = this;
    const PrintOutcome outcome = printDocument(groupDocument(*doc), request);
    if (outcome.status == PrintOutcome::Failed)
        appPrompter().message(
            QStringLiteral("The group could not be printed: %1").arg(outcome.error),
            QStringLiteral("Print Error"), PromptIcon::Stop);
}

void CMainFrame::showHelpForActive() {
    // The main window's topic (the contents), or the group window's when one is open.
    appHelp().showTopic(frames().isEmpty() ? kHelpContents : kHelpGroupWindow);
}

void CMainFrame::fillWindowMenu(QMenu* menu) {
    for (QAction* old : windowListActions_) {
        menu->removeAction(old);
        delete old;
    }
    windowListActions_.clear();
    const QList<CChildFrame*> list = frames();
    if (list.isEmpty()) return;
    windowListActions_ << menu->addSeparator();
    CChildFrame* active = activeFrame();
    for (int i = 0; i < list.size(); ++i) {
        CChildFrame* frame = list[i];
        QString title = frame->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title));
        entry->setCheckable(true);
        entry->setChecked(frame == active);
        entry->setStatusTip(QStringLiteral("Activate this window"));
        connect(entry, &QAction::triggered, this, [this, frame] {
            if (frames().contains(frame)) mdi_->setActiveSubWindow(frame);
        });
        windowListActions_ << entry;
    }
}

}  // namespace quorvane
