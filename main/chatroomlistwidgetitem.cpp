#include "main/chatroomlistwidgetitem.h"

#include <QCoreApplication>
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
    const ChatRoomRow row =
        ChatRoomRowText::describe(m_state, QDateTime::currentDateTime(), QLocale());
    const QString text = QCoreApplication::translate("ChatRoomListWidgetItem", "%1, %2: %3")
                             .arg(row.title, row.time, row.message);
    if (row.badge.isEmpty())
        return text;
    return QCoreApplication::translate("ChatRoomListWidgetItem", "%1, %2 unread")
        .arg(text, row.badge);
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
