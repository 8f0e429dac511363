#include "reservations/LineListModel.h"

#include <QApplication>
#include <QPainter>
#include <QTextOption>

#include "platform/TextCodec.h"

namespace quorvane {

void LineListModel::setLines(std::vector<std::string> lines) {
    beginResetModel();
    lines_ = std::move(lines);
    endResetModel();
}

int LineListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(lines_.size())) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return fromCp1252(lines_[std::size_t(index.row())]);
    return {};
}

TabStopDelegate::TabStopDelegate(int dialogUnits, QObject* parent)
    : QStyledItemDelegate(parent), dialogUnits_(dialogUnits) {}

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    const QFontMetrics fm(opt.font);
    QTextOption to;
    to.setTabStopDistance(qreal(dialogUnits_) * fm.averageCharWidth() / 4.0);
    to.setWrapMode(QTextOption::NoWrap);
    to.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    painter->save();
    painter->setPen(opt.palette.color(QPalette::Normal, (opt.state & QStyle::State_Selected)
                                                            ? QPalette::HighlightedText
                                                            : QPalette::Text));
    painter->drawText(QRectF(opt.rect.adjusted(3, 0, -3, 0)), text, to);
    painter->restore();
}

}  // namespace quorvane
