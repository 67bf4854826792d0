#pragma once

#include "store/content.h"

#include <QString>

// A row of TTT_CHATT_READER: reader_id has read message msg_id of the room topic. msg_time is
// the message's own time, not the time of reading.
class DBChatReader : public Content
{
public:
    explicit DBChatReader(DBManager* dbManager = nullptr);
    DBChatReader(DBManager* dbManager, const QString& topic, const QString& msgId, qint64 readerId,
                 qint64 msgTime);
    ~DBChatReader() override;
    DBChatReader(const DBChatReader&) = default;
    DBChatReader& operator=(const DBChatReader&) = default;
    DBChatReader(DBChatReader&&) = default;
    DBChatReader& operator=(DBChatReader&&) = default;

    bool insertOrUpdate();

    QString topic() const { return m_topic; }
    void setTopic(const QString& topic) { m_topic = topic; }
    QString msgId() const { return m_msg_id; }
    void setMsgId(const QString& id) { m_msg_id = id; }
    qint64 readerId() const { return m_reader_id; }
    void setReaderId(qint64 id) { m_reader_id = id; }
    qint64 msgTime() const { return m_msg_time; }
    void setMsgTime(qint64 time) { m_msg_time = time; }

private:
    QString m_topic;
    QString m_msg_id;
    qint64 m_reader_id = 0;
    qint64 m_msg_time = 0;
};
