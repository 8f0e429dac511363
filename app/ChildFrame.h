#pragma once
// The MDI child window of one group; a group may have several ("New Window").
#include <QMdiSubWindow>

namespace quorvane {

class CZUKRecDoc;
class CZUKRecView;
struct GroupRect;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CZUKRecDoc* doc, QWidget* parent = nullptr);

    CZUKRecDoc* document() const { return doc_; }
    CZUKRecView* view() const { return view_; }
    // The window number among several windows of one group (":1", ":2"); 0 when alone.
    void setWindowNumber(int number);
    // The window's outer rectangle in screen coordinates, as the group file keeps it.
    GroupRect outerScreenRect() const;

signals:
    void frameClosed(quorvane::CChildFrame* frame);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void updateTitle();

    CZUKRecDoc* doc_;
    CZUKRecView* view_;
    int number_ = 0;
    bool closed_ = false;
};

}  // namespace quorvane
