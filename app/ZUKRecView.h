#pragma once
// The window content of an open group: the header line and one icon per facility in rows of
// three, each showing who occupies the facility this minute. The view runs the minute timer
// that keeps the occupancy current, offers modify and delete on a right click, and routes the
// group commands of its window.
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

#include "app/GroupCommands.h"
#include "app/GroupLayout.h"
#include "app/PreferencesModel.h"

class QMenu;
class QPainter;

namespace quorvane {

class CPreferences;
class CZUKRecDoc;

class CZUKRecView : public QWidget, public PreferencesHolder {
    Q_OBJECT
public:
    static constexpr int kTimerId = 1;
    static constexpr std::uint32_t kHighlightColor = 0x00C0C0C0;

    explicit CZUKRecView(CZUKRecDoc* doc, QWidget* parent = nullptr);
    ~CZUKRecView() override;

    CZUKRecDoc* document() const { return doc_; }
    // The preference values this window read when it was created; only its own Preferences
    // sheet changes them.
    const ViewPreferences& preferences() const override { return prefs_; }
    ViewPreferences& preferences() { return prefs_; }

    // The first showing: the document's copies of the settings, the title, the first timer
    // interval (aligned to the next minute).
    void initialUpdate();
    // One tick of the minute timer: midnight, the change stamp, the occupancy.
    void timerTick();
    int timerInterval() const { return timerInterval_; }
    bool timerActive() const { return timer_.isActive(); }
    void stopTimer() { timer_.stop(); }
    const std::string& todayKey() const { return todayKey_; }

    // Recomputes the scrolling extent and redraws.
    void updateView();
    const GroupMetrics& metrics() const { return metrics_; }
    QSize totalSize() const { return totalSize_; }
    // The icons as this window last drew them on screen; hit-tests use only these.
    const std::array<QRect, 15>& iconRects() const { return icons_; }
    // The first facility slot whose icon contains the point (view coordinates), or -1.
    int hitTest(const QPoint& p) const;
    int openIcon() const { return openIcon_; }
    int rightClickedIcon() const { return rightClicked_; }
    QMenu* popupMenu() const { return popup_.get(); }

    // Draws the group on any surface; `openIcon` is highlighted.
    static GroupDrawing draw(PaintSurface& surface, const CZUKRecDoc& doc,
                             const ViewPreferences& prefs, int openIcon);

    // Commands of the group window.
    void addFacility();
    void modifyDeleteFacilityHint();
    void modifyFacility();  // the right-clicked facility
    void deleteFacility();  // the right-clicked facility
    void modifyGroupInformation();
    void deleteOldReservations();
    void showPreferences();
    // Wires a Preferences sheet on this view's copies: OK and the Delete Reservations page's
    // Apply hand the changed values to the document and redraw.
    void attachPreferences(CPreferences& sheet);
    // Left click on a facility: its reservation list (for now its name and description).
    void openFacility(int slot);
    // Right click on a facility: the "Delete %s" / "Modify %s" menu at `globalPos`.
    void showFacilityMenu(int slot, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QSize sizeHint() const override { return totalSize_; }

private:
    void applyStored(bool refreshChanged, bool flushChanged, bool daysChanged);
    void destroyPopup();

    CZUKRecDoc* doc_;
    ViewPreferences prefs_;
    int openIcon_ = -1;
    int rightClicked_ = -1;
    std::unique_ptr<QMenu> popup_;
    std::string todayKey_;
    int timerInterval_ = 0;
    bool firstUpdate_ = true;
    GroupMetrics metrics_;
    QSize totalSize_{100, 100};
    std::array<QRect, 15> icons_{};
    QTimer timer_;
};

}  // namespace quorvane
