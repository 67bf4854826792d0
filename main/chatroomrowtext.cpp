#include "main/chatroomrowtext.h"

#include "store/dbtypes.h"

#include <QDebug>

void ChatRoomRowState::setRoom(const DBChatRoom& newRoom)
{
    room = newRoom;
    if (!newRoom.lastMessage().isEmpty() && newRoom.regDatetime() >= lastTime) {
        lastText = newRoom.lastMessage();
        lastTime = newRoom.regDatetime();
    }
}

bool ChatRoomRowState::takeMessage(const QString& text, qint64 msgTime)
{
    if (lastTime > msgTime) {
        qWarning().noquote()
            << "ChatRoomItem::setLastMessage - the msg_time is earlier than here, skipp!!!";
        return false;
    }
    lastText = text;
    lastTime = msgTime;
    return true;
}

int ChatRoomRowText::memberCount(const DBChatRoom& room)
{
    if (room.type() == RoomTypeGroup || room.roomName().isEmpty())
        return 0;
    return int(room.members().split(QLatin1Char(','), Qt::SkipEmptyParts).size()) + 1;
}

QString ChatRoomRowText::title(const DBChatRoom& room)
{
    if (room.type() == RoomType1VSN && memberCount(room) == 0)
        return tr("No member");
    return room.roomName();
}

QString ChatRoomRowText::memberCountText(int count)
{
    return count >= 2 ? QString::number(count) : QString();
}

QString ChatRoomRowText::badgeText(int unread)
{
    if (unread < 1)
        return QString();
    return unread > kBadgeMax ? QStringLiteral("+999") : QString::number(unread);
}

QString ChatRoomRowText::timeText(qint64 msecs, const QDateTime& now, const QLocale& locale)
{
    if (msecs <= 0)
        return QString();
    const QDateTime time =
        QDateTime::fromMSecsSinceEpoch(msecs, now.timeSpec(), now.offsetFromUtc());
    // Korean rows show a two-digit hour after the day period; the locale's short form has one.
    const QString clock = locale.language() == QLocale::Korean
                              ? locale.toString(time.time(), QStringLiteral("ap hh:mm"))
                              : locale.toString(time.time(), QLocale::ShortFormat);
    if (time.date() == now.date())
        return clock;
    // The date's form is the translation's ("M월 d일" in Korean), filled by the locale.
    const QString date = locale.toString(
        time.date(), tr("MMM d", "a room list row's date as a QDate format: month and day"));
    return tr("%1 %2", "a room list row's time on another day: the date, then the clock")
        .arg(date, clock);
}

QString ChatRoomRowText::longTimeText(qint64 msecs, const QLocale& locale)
{
    if (msecs <= 0)
        return QString();
    return locale.toString(QDateTime::fromMSecsSinceEpoch(msecs), QLocale::LongFormat);
}

qint64 ChatRoomRowText::singleOtherMember(int roomType, const QString& members, qint64 ownUserId)
{
    if (roomType == RoomTypeGroup)
        return 0;
    QList<qint64> others;
    for (const QString& part : members.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 id = part.trimmed().toLongLong(&ok);
        if (ok && id != ownUserId)
            others.append(id);
    }
    return others.size() == 1 ? others.first() : 0;
}

QString ChatRoomRowText::spoken(const ChatRoomRow& row)
{
    QString text = row.title;
    if (!row.memberCount.isEmpty())
        text = tr("%1, %2 members", "a room list row read out: the room, its member count")
                   .arg(text, row.memberCount);
    text = tr("%1, %2: %3", "a room list row read out: the room, the time, the newest message")
               .arg(text, row.time, row.message);
    if (row.badge.isEmpty())
        return text;
    return tr("%1, %2 unread", "a room list row read out, then its unread count")
        .arg(text, row.badge);
}

ChatRoomRow ChatRoomRowText::describe(const ChatRoomRowState& state, const QDateTime& now,
                                      const QLocale& locale)
{
    ChatRoomRow row;
    row.title = title(state.room);
    row.memberCount = memberCountText(memberCount(state.room));
    row.time = timeText(state.shownTime(), now, locale);
    row.message = state.lastText;
    row.badge = badgeText(state.unread);
    return row;
}
