#include "widgets/mtchatentry.h"

#include "widgets/mtchatbaseitem.h"

MtChatEntry::MtChatEntry(const MtChatEntryData& data) : QListWidgetItem(nullptr, kType), m_data(data)
{
}

int MtChatEntry::state() const
{
    return m_widget ? m_widget->state() : m_data.state;
}

QDateTime MtChatEntry::time() const
{
    return m_widget ? m_widget->dateTime() : m_data.time;
}

QString MtChatEntry::messageId() const
{
    return m_widget ? m_widget->messageId() : m_data.messageId;
}

bool MtChatEntry::isDate() const
{
    return m_data.itemType == MtChatBaseItem::ItemType_Date;
}

void MtChatEntry::setHeight(int height, int measuredWidth)
{
    m_measuredWidth = measuredWidth;
    setSizeHint(QSize(0, height));
}
