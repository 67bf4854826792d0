#include "main/chatroomfilter.h"

ChatRoomFilter::ChatRoomFilter(const QString& text)
    : m_text(text), m_pattern(text, QRegularExpression::CaseInsensitiveOption |
                                        QRegularExpression::UseUnicodePropertiesOption)
{
    m_expression = m_pattern.isValid();
    if (m_expression)
        m_pattern.optimize();
}

bool ChatRoomFilter::matches(const QString& roomName) const
{
    if (m_text.isEmpty())
        return true;
    if (m_expression)
        return m_pattern.match(roomName).hasMatch();
    return roomName.contains(m_text, Qt::CaseInsensitive);
}
