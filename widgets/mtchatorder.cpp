#include "widgets/mtchatorder.h"

#include "widgets/mtchatitemstate.h"

int MtChatOrder::insertRow(const QVector<Row>& rows, const Row& item)
{
    return insertRow(
        rows.size(), [&rows](int i) { return rows.at(i); }, item);
}

int MtChatOrder::insertRow(int count, const std::function<Row(int)>& rowAt, const Row& item)
{
    const bool itemSettled = MtChatItemState::isSettled(item.state);
    for (int i = count - 1; i >= 0; --i) {
        const Row row = rowAt(i);
        const bool rowSettled = MtChatItemState::isSettled(row.state);
        if (rowSettled && !itemSettled)
            return i + 1;
        if (rowSettled == itemSettled && !(item.time < row.time))
            return i + 1;
    }
    return 0;
}
