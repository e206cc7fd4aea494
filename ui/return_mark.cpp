#include "ui/return_mark.h"

#include "ui/status_row.h"

#include <QPainter>
#include <QPainterPath>

void PaintReturnMark(QPainter *painter, const QRect &row, const QModelIndex &index)
{
    const auto mark = ReturnMark(index.data(kReturnMarkRole).toInt());
    if (mark == ReturnMark::None)
        return;
    // A disc of the row's height less a margin, its colour and glyph telling the outcome apart
    // even for an operator who cannot tell red from green.
    const int size = qMax(8, row.height() - 6);
    const QRectF disc(row.right() - size - 4, row.top() + (row.height() - size) / 2.0, size, size);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor fill;
    switch (mark) {
    case ReturnMark::NewFirmware:
        fill = QColor(16, 124, 16);
        break;
    case ReturnMark::OtherFirmware:
        fill = QColor(196, 43, 28);
        break;
    case ReturnMark::Unjudged:
        fill = QColor(202, 128, 0);
        break;
    default:
        fill = QColor(120, 120, 120);
        break;
    }
    QPen glyph(Qt::white, qMax(1.5, size / 7.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (mark == ReturnMark::NotBackYet) {
        // Hollow: nothing came back to judge.
        painter->setPen(QPen(fill, qMax(1.5, size / 8.0)));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(disc.adjusted(1, 1, -1, -1));
        glyph.setColor(fill);
    } else {
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawEllipse(disc);
    }
    painter->setPen(glyph);
    const double x = disc.left(), y = disc.top(), s = disc.width();
    QPainterPath path;
    switch (mark) {
    case ReturnMark::NewFirmware: // a tick
        path.moveTo(x + 0.27 * s, y + 0.52 * s);
        path.lineTo(x + 0.44 * s, y + 0.69 * s);
        path.lineTo(x + 0.74 * s, y + 0.34 * s);
        break;
    case ReturnMark::OtherFirmware: // a cross
        path.moveTo(x + 0.32 * s, y + 0.32 * s);
        path.lineTo(x + 0.68 * s, y + 0.68 * s);
        path.moveTo(x + 0.68 * s, y + 0.32 * s);
        path.lineTo(x + 0.32 * s, y + 0.68 * s);
        break;
    case ReturnMark::Unjudged: // a question left open: a bar
    case ReturnMark::NotBackYet:
        path.moveTo(x + 0.3 * s, y + 0.5 * s);
        path.lineTo(x + 0.7 * s, y + 0.5 * s);
        break;
    default:
        break;
    }
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(path);
    painter->restore();
}
