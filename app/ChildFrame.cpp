#include "app/ChildFrame.h"

#include <QCloseEvent>

#include "app/ZUKRecDoc.h"
#include "app/ZUKRecView.h"

namespace quorvane {

CChildFrame::CChildFrame(CZUKRecDoc* doc, QWidget* parent)
    : QMdiSubWindow(parent), doc_(doc), view_(new CZUKRecView(doc, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view_);
    resize(520, 260);
    connect(doc_, &CZUKRecDoc::titleChanged, this, &CChildFrame::updateTitle);
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

void CChildFrame::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted() && !closed_) {
        closed_ = true;
        emit frameClosed(this);
    }
}

}  // namespace quorvane
