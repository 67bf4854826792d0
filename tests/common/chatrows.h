#pragma once

// The conversation view read as its reader sees it: rows by message id, what the viewport holds,
// and whether the rows have taken their heights.
#include "common/typed.h"

#include <QList>
#include <QString>

class MtChatWidget;

// The row of a message; -1 without one.
int rowOf(const MtChatWidget& view, const QString& id);
// The message id of the first chat row from `row` on in direction `step`; empty when none.
QString chatIdFrom(const MtChatWidget& view, int row, int step);
bool wholeInView(const MtChatWidget& view, int row);

// A row as shown: whole in the viewport, and the chats next to it.
struct Placed
{
    bool whole = false;
    QString above, below;
    MT_TYPED(Placed, whole, above, below)
};
Placed placedOf(const MtChatWidget& view, int row);

// Rows (those whose message id starts with `prefix`) that carry an item while more than
// `distance` rows from `row`.
int itemsFarFrom(const MtChatWidget& view, int row, int distance, const QString& prefix = {});
QList<int> rowHeights(const MtChatWidget& view);
// The view's layouts and extent are the same on two turns of the event loop.
bool settled(const MtChatWidget& view);
