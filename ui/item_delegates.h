// How the main window's lists draw their rows: one line per printer at a fixed height, the
// status rows with their progress fill, and white tick boxes on the grey checklist.
#pragma once

#include <QStyledItemDelegate>

// Update lists keep one line per printer at a fixed height, whatever the font's own spacing.
class FixedLineHeightDelegate : public QStyledItemDelegate {
public:
    FixedLineHeightDelegate(int height, QObject *parent);
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    int height_;
};

// A status row with its fill (kStatusFillRole): the share done, from the left, behind the
// unchanged status text. The fill is full only when `done` has reached `total`; short of that,
// at least one pixel stays open, so a nearly finished image never looks finished.
class StatusFillDelegate : public FixedLineHeightDelegate {
public:
    using FixedLineHeightDelegate::FixedLineHeightDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};

// The tick boxes of the printer checklist stay white on the list's grey, as tick boxes do.
class WhiteTickBoxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
