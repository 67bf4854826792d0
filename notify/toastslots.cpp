#include "notify/toastslots.h"

QPoint ToastSlots::place(const QRect& available, const QSize& size, const QList<QRect>& occupied)
{
    QPoint candidate(available.x() + available.width() - size.width(),
                     available.y() + available.height() - size.height());
    for (;;) {
        const QRect wanted(candidate, size);
        const QRect* blocker = nullptr;
        for (const QRect& rect : occupied) {
            if (rect.intersects(wanted) && (!blocker || rect.top() < blocker->top()))
                blocker = &rect;
        }
        if (!blocker)
            return candidate;
        candidate.setY(blocker->top() - size.height());
        if (candidate.y() < available.top()) {
            candidate.setY(available.top());
            return candidate;
        }
    }
}
