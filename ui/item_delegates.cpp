#include "ui/item_delegates.h"

#include "ui/return_mark.h"
#include "ui/status_row.h"

#include <QApplication>
#include <QPainter>

namespace {

int fillWidth(int width, quint64 done, quint64 total)
{
    if (done >= total)
        return width;
    const auto share = static_cast<int>(double(width) * double(done) / double(total));
    return qBound(0, share, width - 1);
}

QColor fillColour(StatusFill kind, bool selected)
{
    switch (kind) {
    case StatusFill::TransferFailed:
        return selected ? QColor(164, 38, 44) : QColor(255, 199, 206);
    case StatusFill::Wait:
        return selected ? QColor(150, 95, 0) : QColor(255, 235, 156);
    default:
        return selected ? QColor(16, 124, 16) : QColor(198, 239, 206);
    }
}

} // namespace

FixedLineHeightDelegate::FixedLineHeightDelegate(int height, QObject *parent)
    : QStyledItemDelegate(parent)
    , height_(height)
{ }

QSize FixedLineHeightDelegate::sizeHint(
    const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return { QStyledItemDelegate::sizeHint(option, index).width(), height_ };
}

void StatusFillDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto fill = index.data(kStatusFillRole).value<StatusFillValue>();
    const StatusFill kind = fill.kind;
    const quint64 done = fill.done;
    const quint64 total = fill.total;
    if (kind == StatusFill::None || total == 0) {
        FixedLineHeightDelegate::paint(painter, option, index);
        PaintReturnMark(painter, option.rect, index);
        return;
    }
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const bool selected = item.state & QStyle::State_Selected;
    painter->fillRect(
        item.rect, item.palette.color(selected ? QPalette::Highlight : QPalette::Base));
    QRect filled = item.rect;
    filled.setWidth(fillWidth(item.rect.width(), done, total));
    painter->fillRect(filled, fillColour(kind, selected));

    // The text over it, as the row would show it, without a background of its own.
    item.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    item.backgroundBrush = Qt::NoBrush;
    item.palette.setColor(
        QPalette::Text, item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QWidget *view = option.widget;
    QStyle *style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);
    PaintReturnMark(painter, option.rect, index);
}

void WhiteTickBoxDelegate::initStyleOption(
    QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->palette.setColor(QPalette::Base, Qt::white);
}
