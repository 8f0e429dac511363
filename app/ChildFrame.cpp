#include "app/ChildFrame.h"

#include <QCloseEvent>
#include <QScrollArea>

#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"
#include "group/GroupFile.h"

namespace quorvane {

CChildFrame::CChildFrame(CZUKRecDoc* doc, QWidget* parent)
    : QMdiSubWindow(parent), doc_(doc), view_(new CZUKRecView(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    // The view keeps its minimum size at the group's total size; the scroll area scrolls it.
    auto* scroller = new QScrollArea(this);
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidget(view_);
    setWidget(scroller);
    resize(520, 260);
    connect(doc_, &CZUKRecDoc::titleChanged, this, &CChildFrame::updateTitle);
    view_->initialUpdate();
    // The window opens with the size it had when the group was last closed.
    const GroupRect& stored = doc_->group().window;
    if (stored.right != 0 && stored.right > stored.left && stored.bottom > stored.top)
        resize(stored.right - stored.left, stored.bottom - stored.top);
    updateTitle();
}

void CChildFrame::setWindowNumber(int number) {
    number_ = number;
    updateTitle();
}

void CChildFrame::updateTitle() {
    QString title = doc_->title();
    if (number_ > 0) title += QStringLiteral(":%1").arg(number_);
    setWindowTitle(title);
}

GroupRect CChildFrame::outerScreenRect() const {
    QRect r = frameGeometry();
    if (parentWidget()) r.moveTopLeft(parentWidget()->mapToGlobal(r.topLeft()));
    return GroupRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted() && !closed_) {
        closed_ = true;
        view_->stopTimer();
        if (!doc_->groupFilePath().isEmpty()) doc_->saveWindowRect(outerScreenRect());
        emit frameClosed(this);
    }
}

}  // namespace quorvane
