#pragma once

#include "messaging/mqttmanager.h"
#include "store/dbuser.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class DBManager;
class UnreadCounts;

// What the messaging session's handlers leave behind while a batch of received messages is
// handled inside one store transaction: the message items, the changes to the unread counts and
// the forced-logout notices. They are held back until the transaction has committed, because the
// GUI thread must never see an item whose row is not committed, and because a batch whose commit
// fails is handled again message by message: nothing of the failed attempt may have escaped by
// then (an unread count raised twice, an item queued twice).
//
// It also remembers the look-ups that every chat repeats (does the room exist, who is the
// sender) for the length of the transaction. Inside the transaction no other connection's change
// becomes visible, so a remembered answer stays what the store would say, as long as the batch's
// own writes to rooms and users forget them (forgetLookUps()).
//
// Used by the delivery thread only.
class MqttReceiveBatch
{
public:
    struct Logout
    {
        QString topic;
        unsigned char messageType;
        QDateTime time;
    };

    explicit MqttReceiveBatch(UnreadCounts& counts);
    MqttReceiveBatch(const MqttReceiveBatch&) = delete;
    MqttReceiveBatch& operator=(const MqttReceiveBatch&) = delete;

    // The unread count of the topic as it will be once the batch is applied (UnreadCounts::get).
    int unreadCount(const QString& topic) const;
    // Records a change of the topic's count and returns the count it leads to (UnreadCounts::add).
    int addUnread(const QString& topic, int delta);
    void queue(std::unique_ptr<MqttManager::MessageItem> item);
    void logout(const QString& topic, unsigned char messageType, const QDateTime& time);

    // DBManager::chatRoomExists and DBManager::findUser, each asked once per topic or user; the
    // user is null when the directory has none (valid until the next look-up).
    bool roomExists(DBManager* db, const QString& topic);
    const DBUser* findUser(DBManager* db, qint64 userId);
    // After the batch wrote rooms or users.
    void forgetLookUps();

    // A write of the batch failed: the batch must be rolled back and handled again later.
    void markFailed() { m_failed = true; }
    bool failed() const { return m_failed; }

    // After the commit: applies the unread changes to the table, in the order they were made.
    void applyUnreadChanges();
    std::vector<std::unique_ptr<MqttManager::MessageItem>> takeItems();
    const std::vector<Logout>& logouts() const { return m_logouts; }

private:
    UnreadCounts& m_counts;
    bool m_failed = false;
    std::vector<std::pair<QString, int>> m_unreadChanges;
    // The counts the changes lead to, for the topics they touched.
    QHash<QString, int> m_unread;
    std::vector<std::unique_ptr<MqttManager::MessageItem>> m_items;
    std::vector<Logout> m_logouts;

    QHash<QString, bool> m_rooms;
    // A user id to the user, or to a user with user_id 0 when the directory has no such user.
    QHash<qint64, DBUser> m_users;
};
