#include "platform/LineListModel.h"

#include <QApplication>
#include <QPainter>
#include <QTextOption>

#include "platform/TextCodec.h"

namespace quorvane {

LineListModel::LineListModel(QObject* parent)
    : RowListModel<std::string>([](const std::string& line) { return fromCp1252(line); }, parent) {}

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
