#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where a new toast goes: the bottom-right corner of the screen's available area, moved up past
// every visible toast in its way until the place is free. Toasts close in any order, so the
// free place may be a gap between others; every toast is checked again after each move, never
// in one pass over a list whose order no longer matches the screen.
class ToastSlots
{
public:
    // The top-left corner for a toast of `size`. At the top of `available` the walk ends and
    // the toast overlaps rather than leaving the screen.
    static QPoint place(const QRect& available, const QSize& size, const QList<QRect>& occupied);
};
