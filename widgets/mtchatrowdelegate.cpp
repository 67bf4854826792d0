#include "widgets/mtchatrowdelegate.h"

MtChatRowDelegate::MtChatRowDelegate(const QVector<int>& heights, QObject* parent)
    : QStyledItemDelegate(parent), m_heights(heights)
{}

QSize MtChatRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    const int row = index.row();
    if (row >= 0 && row < m_heights.size())
        return QSize(0, m_heights.at(row));
    return QStyledItemDelegate::sizeHint(option, index);
}
