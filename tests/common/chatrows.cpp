#include "common/chatrows.h"

#include "common/wait.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatwidget.h"

#include <QScrollBar>

#include <utility>

int rowOf(const MtChatWidget& view, const QString& id)
{
    for (int row = 0; row < view.count(); ++row) {
        if (view.rowData(row).messageId == id)
            return row;
    }
    return -1;
}

QString chatIdFrom(const MtChatWidget& view, int row, int step)
{
    for (; row >= 0 && row < view.count(); row += step) {
        const MtChatEntryData data = view.rowData(row);
        const bool chat = data.itemType != MtChatBaseItem::ItemType_Date &&
                          data.itemType != MtChatBaseItem::ItemType_Alarm;
        if (chat && !data.messageId.isEmpty())
            return data.messageId;
    }
    return QString();
}

bool wholeInView(const MtChatWidget& view, int row)
{
    const QListWidgetItem* item = view.item(row);
    return item && view.viewport()->rect().contains(view.visualItemRect(item));
}

Placed placedOf(const MtChatWidget& view, int row)
{
    return {wholeInView(view, row), chatIdFrom(view, row - 1, -1), chatIdFrom(view, row + 1, 1)};
}

int itemsFarFrom(const MtChatWidget& view, int row, int distance, const QString& prefix)
{
    int far = 0;
    for (int other = 0; other < view.count(); ++other) {
        const auto* entry = static_cast<const MtChatEntry*>(view.item(other));
        far += entry->data().messageId.startsWith(prefix) && entry->widget() &&
               qAbs(other - row) > distance;
    }
    return far;
}

QList<int> rowHeights(const MtChatWidget& view)
{
    QList<int> heights;
    for (int row = 0; row < view.count(); ++row)
        heights << view.visualItemRect(view.item(row)).height();
    return heights;
}

bool settled(const MtChatWidget& view)
{
    std::pair<int, int> last{-1, -1};
    return waitUntil([&] {
        const std::pair<int, int> now{view.layoutCount(), view.verticalScrollBar()->maximum()};
        return std::exchange(last, now) == now;
    });
}
