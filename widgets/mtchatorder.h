#pragma once

#include <QDateTime>
#include <QVector>

#include <functional>

// Where a row goes when it is added at the bottom of the conversation: settled rows (and date
// separators and notices) in time order, own messages still in progress or failed below all of
// them, in time order among themselves.
class MtChatOrder
{
public:
    struct Row
    {
        int state;
        QDateTime time;
    };

    // The row index for `item` among `rows` (top to bottom), found by walking up from the
    // bottom; 0 when no row qualifies.
    static int insertRow(const QVector<Row>& rows, const Row& item);
    // The same over `count` rows read by `rowAt`; only the rows below the place are read.
    static int insertRow(int count, const std::function<Row(int)>& rowAt, const Row& item);
};
