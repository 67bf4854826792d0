#include "widgets/mtchatorder.h"

#include "widgets/mtchatitemstate.h"

int MtChatOrder::insertRow(const QVector<Row>& rows, const Row& item)
{
    const bool itemSettled = MtChatItemState::isSettled(item.state);
    for (int i = rows.size() - 1; i >= 0; --i) {
        const bool rowSettled = MtChatItemState::isSettled(rows.at(i).state);
        if (rowSettled && !itemSettled)
            return i + 1;
        if (rowSettled == itemSettled && !(item.time < rows.at(i).time))
            return i + 1;
    }
    return 0;
}
