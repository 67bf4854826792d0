#include "main/chatroomlistwidgetitem.h"

#include <QDateTime>
#include <QLocale>

ChatRoomListWidgetItem::ChatRoomListWidgetItem(const ChatRoomRowState& state)
    : QListWidgetItem(nullptr, kItemType), m_state(state)
{
    refreshTime();
}

qint64 ChatRoomListWidgetItem::time() const
{
    return data(Qt::UserRole).toLongLong();
}

void ChatRoomListWidgetItem::refreshTime()
{
    setData(Qt::UserRole, m_state.shownTime());
}

bool ChatRoomListWidgetItem::operator<(const QListWidgetItem& other) const
{
    return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
}

QVariant ChatRoomListWidgetItem::data(int role) const
{
    if (role != Qt::AccessibleTextRole)
        return QListWidgetItem::data(role);
    return ChatRoomRowText::spoken(
        ChatRoomRowText::describe(m_state, QDateTime::currentDateTime(), QLocale()));
}

void ChatRoomListWidgetItem::setPictureSources(const MtRoomPictureSources& sources)
{
    m_sources = sources;
    m_hasSources = true;
}

void ChatRoomListWidgetItem::forgetPicture(bool sourcesToo)
{
    m_picture = QPixmap();
    if (sourcesToo)
        m_hasSources = false;
}
