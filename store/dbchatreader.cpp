#include "store/dbchatreader.h"

#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QSqlQuery>

DBChatReader::DBChatReader(DBManager* dbManager) : Content(dbManager) {}

DBChatReader::DBChatReader(DBManager* dbManager, const QString& topic, const QString& msgId,
                           qint64 readerId, qint64 msgTime)
    : Content(dbManager), m_topic(topic), m_msg_id(msgId), m_reader_id(readerId),
      m_msg_time(msgTime)
{}

DBChatReader::~DBChatReader() = default;

bool DBChatReader::insertOrUpdate()
{
    QSqlQuery* query =
        DBSql::prepared(m_dbManager,
                        QStringLiteral("INSERT OR REPLACE INTO TTT_CHATT_READER (topic, msg_id, "
                                       "reader_id, msg_time) VALUES (?, ?, ?, ?)"),
                        "DBChatReader::insertOrUpdate");
    if (!query)
        return false;
    query->addBindValue(DBSql::text(m_topic));
    query->addBindValue(DBSql::text(m_msg_id));
    query->addBindValue(m_reader_id);
    query->addBindValue(m_msg_time);
    return DBSql::execInsert(*query, "DBChatReader::insertOrUpdate", &m_id);
}
