#include "app/ZUKRecView.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "app/AppDialogs.h"
#include "app/Commands.h"
#include "app/GroupCommands.h"
#include "app/Preferences.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "platform/AppSettings.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"

namespace quorvane {

CZUKRecView::CZUKRecView(CZUKRecDoc* doc, QWidget* parent)
    : QWidget(parent), doc_(doc), prefs_(ViewPreferences::load(AppSettings())) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setMinimumSize(totalSize_);
    // The drawing shows the facilities and their occupants; the day list itself is not drawn.
    connect(doc_, &CZUKRecDoc::facilitiesChanged, this, &CZUKRecView::updateView);
    connect(doc_, &CZUKRecDoc::occupancyChanged, this, qOverload<>(&CZUKRecView::update));
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &CZUKRecView::timerTick);
}

CZUKRecView::~CZUKRecView() {
    timer_.stop();
}

void CZUKRecView::initialUpdate() {
    const int second = appClock().localNow().second;
    updateView();
    doc_->setDaysToKeep(prefs_.deleteOldRes);
    doc_->setRefreshFromNetwork(prefs_.refresh);
    doc_->setForceNetworkFlush(prefs_.forceNetworkFlush);
    todayKey_ = doc_->todayKey();
    if (firstUpdate_) {
        firstUpdate_ = false;
        if (!doc_->description().isEmpty()) doc_->setTitle(doc_->groupTitle());
    }
    timerInterval_ = firstTimerInterval(second);
    timer_.start(timerInterval_);
}

void CZUKRecView::timerTick() {
    if (timerInterval_ < kMinuteMs) {
        timerInterval_ = kMinuteMs;
        timer_.start(timerInterval_);
    }
    doc_->minuteTick(prefs_.refresh);
    todayKey_ = doc_->todayKey();
}

void CZUKRecView::updateView() {
    totalSize_ = groupTotalSize(metrics_, doc_->facilityCount());
    setMinimumSize(totalSize_);
    update();
}

int CZUKRecView::hitTest(const QPoint& p) const {
    const int count = std::min(doc_->facilityCount(), kMaxFacilities);
    for (int i = 0; i < count; ++i)
        if (icons_[std::size_t(i)].contains(p)) return i;
    return -1;
}

GroupDrawing CZUKRecView::draw(PaintSurface& surface, const CZUKRecDoc& doc,
                               const ViewPreferences& prefs, int openIcon) {
    GroupDrawOptions options;
    options.openIcon = openIcon;
    options.highlight = kHighlightColor;
    options.background = std::uint32_t(prefs.unoccupiedColor);
    options.occupied = std::uint32_t(prefs.occupiedColor);
    return drawGroup(surface, doc.group(), options);
}

void CZUKRecView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPainterSurface surface(painter);
    const GroupDrawing drawing = draw(surface, *doc_, prefs_, openIcon_);
    // Only the window's own screen drawing feeds the hit-tests; printing never does.
    icons_ = drawing.icons;
    metrics_ = drawing.metrics;
    if (drawing.totalSize != totalSize_) {
        totalSize_ = drawing.totalSize;
        QMetaObject::invokeMethod(
            this, [this] { setMinimumSize(totalSize_); }, Qt::QueuedConnection);
    }
}

void CZUKRecView::destroyPopup() {
    if (popup_) popup_->close();
    popup_.reset();
}

void CZUKRecView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        destroyPopup();
        const int slot = hitTest(p);
        if (slot >= 0) openFacility(slot);
    } else if (event->button() == Qt::RightButton) {
        destroyPopup();
        const int slot = hitTest(p);
        if (slot >= 0) showFacilityMenu(slot, event->globalPosition().toPoint());
    }
}

void CZUKRecView::openFacility(int slot) {
    if (slot < 0 || slot >= doc_->facilityCount()) return;
    openIcon_ = slot;
    repaint();
    if (const FacilityOpener& open = facilityOpener()) {
        // The list keeps the document's day list current itself; only the drawing is left.
        open(*doc_, slot, doc_->currentDate(), this);
        openIcon_ = -1;
        update();
        return;
    }
    // Without the booking layer (tests of this layer): the name and description.
    const CRoom& room = doc_->group().rooms[std::size_t(slot)];
    QString text = fromCp1252(room.name);
    if (!room.description.empty()) text += QStringLiteral("\n\n") + fromCp1252(room.description);
    appPrompter().message(text, doc_->typeName(), PromptIcon::Information);
    openIcon_ = -1;
    update();
}

void CZUKRecView::showFacilityMenu(int slot, const QPoint& globalPos) {
    destroyPopup();
    if (slot < 0 || slot >= doc_->facilityCount()) return;
    rightClicked_ = slot;
    const QString name = fromCp1252(doc_->group().rooms[std::size_t(slot)].name);
    popup_ = std::make_unique<QMenu>();
    QAction* del = popup_->addAction(QStringLiteral("Delete %1").arg(name));
    del->setObjectName(QString::number(cmd::kDeleteFacility));
    del->setStatusTip(QStringLiteral("Delete an object from the group"));
    QAction* mod = popup_->addAction(QStringLiteral("Modify %1").arg(name));
    mod->setObjectName(QString::number(cmd::kModifyFacility));
    mod->setStatusTip(QStringLiteral("Modify an object's description"));
    // Queued, so the menu has closed before a modal dialog opens.
    connect(del, &QAction::triggered, this, &CZUKRecView::deleteFacility, Qt::QueuedConnection);
    connect(mod, &QAction::triggered, this, &CZUKRecView::modifyFacility, Qt::QueuedConnection);
    popup_->popup(globalPos);
}

void CZUKRecView::addFacility() {
    if (doc_->facilityCount() >= kMaxFacilities) {
        appPrompter().message(
            QStringLiteral("Maximum number of %1s exist for this group").arg(doc_->typeName()),
            QStringLiteral("Group Full"), PromptIcon::Stop);
        return;
    }
    const std::optional<FacilityAnswer> answer =
        appDialogs().askFacility(*doc_, false, FacilityAnswer{}, this);
    if (!answer) return;
    doc_->addFacility(toCp1252(answer->name), toCp1252(answer->description), answer->defaultTime);
    updateView();
}

void CZUKRecView::modifyDeleteFacilityHint() {
    appPrompter().message(
        QStringLiteral("To modify or delete a facility, right click on the facility and select "
                       "modify or delete"),
        {}, PromptIcon::None);
}

void CZUKRecView::modifyFacility() {
    const int slot = rightClicked_;
    if (slot < 0 || slot >= doc_->facilityCount()) return;
    const CRoom room = doc_->group().rooms[std::size_t(slot)];
    FacilityAnswer initial{fromCp1252(room.name), fromCp1252(room.description), room.defaultTime};
    const std::optional<FacilityAnswer> answer =
        appDialogs().askFacility(*doc_, true, initial, this);
    if (!answer) return;
    rightClicked_ = -1;
    doc_->modifyFacility(room.name, toCp1252(answer->description), answer->defaultTime);
    updateView();
}

void CZUKRecView::deleteFacility() {
    const int slot = rightClicked_;
    if (slot < 0 || slot >= doc_->facilityCount()) return;
    const std::string name = doc_->group().rooms[std::size_t(slot)].name;
    if (!appPrompter().askYesNo(QStringLiteral("Are you sure you want to delete %1 %2?")
                                    .arg(doc_->typeName(), fromCp1252(name)),
                                QStringLiteral("Confirm Delete")))
        return;
    rightClicked_ = -1;
    doc_->deleteFacility(name);
    updateView();
}

void CZUKRecView::modifyGroupInformation() {
    const std::optional<GroupAnswer> answer =
        appDialogs().askGroup(GroupAnswer{doc_->typeName(), doc_->description()}, this);
    if (!answer) return;
    doc_->modifyGroup(toCp1252(answer->typeName), toCp1252(answer->description));
    updateView();
}

void CZUKRecView::deleteOldReservations() {
    const std::int64_t proposed = proposedDeletionDate(appClock().now(), prefs_.deleteOldRes);
    const std::optional<std::int64_t> picked = appDialogs().askDeletionDate(proposed, this);
    if (!picked) return;
    const LocalTime d = Clock::toLocal(*picked);
    const QString shown = QString::asprintf("%02d/%02d/%04d", d.month, d.day, d.year);
    if (!appPrompter().askYesNo(
            QStringLiteral("Are you sure you want to delete all reservations prior to ") + shown,
            QStringLiteral("Confirm Delete")))
        return;
    const int n = doc_->deleteReservationsBefore(dateKey(d.year, d.month, d.day));
    const QString report =
        n > 0 ? QStringLiteral("%1 schedule items deleted").arg(n)
              : QStringLiteral("No reservations found before %1, nothing deleted").arg(shown);
    appPrompter().message(report, QStringLiteral("Items Deleted"), PromptIcon::None);
}

void CZUKRecView::applyStored(bool refreshChanged, bool flushChanged, bool daysChanged) {
    if (refreshChanged) doc_->setRefreshFromNetwork(prefs_.refresh);
    if (flushChanged) doc_->setForceNetworkFlush(prefs_.forceNetworkFlush);
    if (daysChanged) doc_->setDaysToKeep(prefs_.deleteOldRes);
}

void CZUKRecView::attachPreferences(CPreferences& sheet) {
    connect(&sheet, &CPreferences::stored, this, [this](const PreferencesStoreResult& result) {
        applyStored(result.refreshChanged, result.forceFlushChanged, result.daysChanged);
        if (result.anyWritten) update();
    });
}

void CZUKRecView::showPreferences() {
    CPreferences sheet(prefs_, this);
    attachPreferences(sheet);
    appDialogs().showPreferences(sheet);
}

}  // namespace quorvane
