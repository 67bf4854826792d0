#pragma once

#include "store/dbchatroom.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QString>

// What one row of the room list holds: the room, the newest message shown and its time, and the
// unread count. The list keeps it per row, so a row's widget can be made and dropped at will.
struct ChatRoomRowState
{
    DBChatRoom room;
    QString lastText;
    qint64 lastTime = 0; // msg_time of lastText in ms, 0 when no message is shown
    int unread = 0;

    // Takes the room; its joined newest message replaces the shown one unless that is older.
    void setRoom(const DBChatRoom& newRoom);
    // Shows the message unless the shown one is newer (equal times are taken): an older message
    // arriving late never replaces a newer one. Logs and answers false when refused.
    bool takeMessage(const QString& text, qint64 msgTime);
    // The time of the row's newest activity: the shown message's, else the room's update time.
    qint64 shownTime() const { return lastTime > 0 ? lastTime : room.updateDate(); }
};

// The texts one row shows. An empty memberCount or badge means that label is hidden.
struct ChatRoomRow
{
    QString title;
    QString memberCount;
    QString time;
    QString message;
    QString badge;

    bool operator==(const ChatRoomRow& other) const
    {
        return title == other.title && memberCount == other.memberCount && time == other.time &&
               message == other.message && badge == other.badge;
    }
};

// Computes the texts of a room list row, without widgets.
class ChatRoomRowText
{
    Q_DECLARE_TR_FUNCTIONS(ChatRoomRowText)
public:
    static constexpr int kBadgeMax = 999;

    // 0 for a group room or a room without a display name; else the members other than the user
    // plus the user.
    static int memberCount(const DBChatRoom& room);
    // The room's display name; "No member" for a group chat that everybody else has left.
    static QString title(const DBChatRoom& room);
    // The count from 2 on; empty (hidden) below.
    static QString memberCountText(int count);
    // The count up to 999, "+999" above; empty (hidden) below 1.
    static QString badgeText(int unread);
    // The clock today ("ap hh:mm" in Korean, else the locale's short form), else the month and
    // day before it in the translation's date form (the long date-time with weekday and time
    // zone does not fit a row). Empty for a time of 0.
    static QString timeText(qint64 msecs, const QDateTime& now, const QLocale& locale);
    // The locale's long date-time, for the time's tool tip; empty for a time of 0.
    static QString longTimeText(qint64 msecs, const QLocale& locale);

    // The one member other than the user, for a click on the row's picture; 0 when the room has
    // no other member or several, and for a group room, whose members text is the group's id.
    static qint64 singleOtherMember(int roomType, const QString& members, qint64 ownUserId);

    // What a screen reader says for the row: the room, its members, the time and the newest
    // message, then the unread count; the parts the row hides are left out.
    static QString spoken(const ChatRoomRow& row);

    static ChatRoomRow describe(const ChatRoomRowState& state, const QDateTime& now,
                                const QLocale& locale);
};
