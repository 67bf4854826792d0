#pragma once

#include <QList>
#include <QMetaType>
#include <QSqlQuery>
#include <QString>
#include <QtTest>

// Rows of the store as the messaging tests compare them: one struct per table, so that a failure
// names the column that differs.

// A room row: type and members.
struct RoomRow
{
    int type;
    QString members;
    bool operator==(const RoomRow& o) const { return type == o.type && members == o.members; }
};
inline char* toString(const RoomRow& r)
{
    return QTest::toString(QStringLiteral("{type %1, members \"%2\"}").arg(r.type).arg(r.members));
}

// A chat row: time relative to the test's base time, text (the content type for other
// content than text).
struct ChatRow
{
    QString msgId;
    int msgType;
    bool read;
    int state;
    qint64 time;
    int count;
    QString text;
    bool operator==(const ChatRow& o) const
    {
        return msgId == o.msgId && msgType == o.msgType && read == o.read && state == o.state &&
               time == o.time && count == o.count && text == o.text;
    }
};
inline char* toString(const ChatRow& c)
{
    return QTest::toString(QStringLiteral("{msg_id %1, msg_type %2, msg_read %3, msg_state %4, "
                                          "msg_time %5, count %6, text \"%7\"}")
                               .arg(c.msgId)
                               .arg(c.msgType)
                               .arg(c.read)
                               .arg(c.state)
                               .arg(c.time)
                               .arg(c.count)
                               .arg(c.text));
}

// A chat put into the store before a case: id, sender, msg_state, time relative to the base.
struct SeedChat
{
    QString msgId;
    qint64 sender;
    int state;
    qint64 time;
};

Q_DECLARE_METATYPE(RoomRow)
Q_DECLARE_METATYPE(ChatRow)
Q_DECLARE_METATYPE(SeedChat)

inline QList<RoomRow> roomRows(const QSqlDatabase& db, const QString& topic)
{
    QList<RoomRow> out;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT type, members FROM TTT_CHATT_ROOM WHERE topic=?"));
    q.addBindValue(topic);
    q.exec();
    while (q.next())
        out << RoomRow{q.value(0).toInt(), q.value(1).toString()};
    return out;
}

// The chats of a topic in time order, times relative to `base`.
inline QList<ChatRow> chatRows(const QSqlDatabase& db, const QString& topic, qint64 base)
{
    QList<ChatRow> out;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT msg_id, msg_type, msg_read, msg_state, msg_time - ?, count, "
                             "CASE content_type WHEN 1 THEN content ELSE content_type END "
                             "FROM TTT_CHATT WHERE topic=? ORDER BY msg_time, msg_id"));
    q.addBindValue(base);
    q.addBindValue(topic);
    q.exec();
    while (q.next())
        out << ChatRow{q.value(0).toString(), q.value(1).toInt(),      q.value(2).toBool(),
                       q.value(3).toInt(),    q.value(4).toLongLong(), q.value(5).toInt(),
                       q.value(6).toString()};
    return out;
}
