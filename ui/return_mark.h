// The mark at the right end of a status row that tells what became of its printer after the
// run (ReturnMark in status_row.h); drawn over the row by the status list's delegate.
#pragma once

#include <QModelIndex>
#include <QRect>

class QPainter;

void PaintReturnMark(QPainter *painter, const QRect &row, const QModelIndex &index);
