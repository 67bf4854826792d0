#pragma once

#include <QStyledItemDelegate>
#include <QVector>

// Gives the list the rows' heights from one array, in row order. The list asks every row for
// its size at each layout; read from the rows themselves, scattered in memory, that walk costs
// a cache miss per row and grows to milliseconds at ten thousand rows.
class MtChatRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit MtChatRowDelegate(const QVector<int>& heights, QObject* parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const QVector<int>& m_heights;
};
