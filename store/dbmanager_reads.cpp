// Read state: marking rooms read, unread counts, read receipts of the own messages and readers.
#include "store/dbchatreader.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/unreadcounts.h"

#include <QDebug>
#include <QSqlQuery>

int DBManager::updateReadAll(const QString& topic, qint64 time)
{
    if (refuseEmptyTopic(topic, "DBManager::updateReadAll"))
        return 0;
    ensureWorkingIndexes();
    const QString sql = time > 0
                            ? QStringLiteral("UPDATE TTT_CHATT SET msg_read=1 WHERE topic=? AND "
                                             "msg_time >= ?")
                            : QStringLiteral("UPDATE TTT_CHATT SET msg_read=1 WHERE topic=? AND "
                                             "msg_read=0");
    QSqlQuery* query = DBSql::prepared(this, sql, "DBManager::updateReadAll");
    if (!query)
        return 0;
    query->addBindValue(topic);
    if (time > 0)
        query->addBindValue(time);
    if (!DBSql::exec(*query, "DBManager::updateReadAll"))
        return 0;
    return qMax(0, query->numRowsAffected());
}

void DBManager::loadUnreadCounts(qint64 ownUserId)
{
    loadUnreadCounts(ownUserId, unreadCounts());
}

void DBManager::loadUnreadCounts(qint64 ownUserId, UnreadCounts& counts)
{
    ensureWorkingIndexes();
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!DBSql::prepare(query,
                        QStringLiteral("SELECT topic, COUNT(_id) FROM TTT_CHATT WHERE msg_read=0 "
                                       "AND msg_type=? AND sender_id != ? AND topic IN (SELECT "
                                       "topic FROM TTT_CHATT_ROOM) GROUP BY topic"),
                        "DBManager::loadUnreadCounts"))
        return;
    query.addBindValue(QStringLiteral("1"));
    query.addBindValue(ownUserId);
    if (!DBSql::exec(query, "DBManager::loadUnreadCounts"))
        return;
    while (query.next()) {
        const QString topic = query.value(0).toString();
        if (!topic.isEmpty())
            counts.set(topic, query.value(1).toInt());
    }
}

void DBManager::batchChatReads(QMap<QString, int>& readCounts, const QString& topic,
                               qint64 senderId, qint64 readerId, qint64 time)
{
    if (refuseEmptyTopic(topic, "DBManager::batchChatReads"))
        return;
    ensureWorkingIndexes();
    const char* where = "DBManager::batchChatReads";

    // The own confirmed messages from the time on that this reader is not yet recorded for.
    QList<DBChatReader> newReaders;
    {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!DBSql::prepare(query,
                            QStringLiteral("SELECT msg_id, msg_time FROM TTT_CHATT WHERE topic=? "
                                           "AND sender_id=? AND msg_time >= ? AND msg_state=? AND "
                                           "msg_id NOT IN (SELECT msg_id FROM TTT_CHATT_READER "
                                           "WHERE topic=? AND reader_id=? AND msg_time >= ?)"),
                            where))
            return;
        query.addBindValue(topic);
        query.addBindValue(senderId);
        query.addBindValue(time);
        query.addBindValue(QStringLiteral("1"));
        query.addBindValue(topic);
        query.addBindValue(readerId);
        query.addBindValue(time);
        if (DBSql::exec(query, where)) {
            while (query.next()) {
                newReaders.append(DBChatReader(this, topic, query.value(0).toString(), readerId,
                                               query.value(1).toLongLong()));
            }
        }
    }
    if (!newReaders.isEmpty()) {
        const bool transaction = m_db.transaction();
        for (DBChatReader& reader : newReaders) {
            // The list holds copies, which carry no connection.
            reader.setDbManager(this);
            if (!reader.insertOrUpdate())
                qWarning().noquote().nospace()
                    << "DBManager::batchChatReads - insert is failure !!!";
        }
        if (transaction && !m_db.commit()) {
            qWarning().noquote().nospace()
                << "DBManager::batchChatReads commit failed error:" << m_db.lastError().text();
            m_db.rollback();
        }
    }

    // Distinct readers of every message of the room from the time on, whether or not this batch
    // added any: counts of earlier batches are refreshed too.
    QMap<QString, int> counted;
    {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!DBSql::prepare(query,
                            QStringLiteral("SELECT C.msg_id, COUNT(DISTINCT reader_id) FROM "
                                           "TTT_CHATT_READER R INNER JOIN TTT_CHATT C ON "
                                           "(R.msg_id = C.msg_id) WHERE C.topic=? AND C.msg_time "
                                           ">= ? GROUP BY R.msg_id"),
                            where))
            return;
        query.addBindValue(topic);
        query.addBindValue(time);
        if (!DBSql::exec(query, where))
            return;
        while (query.next())
            counted.insert(query.value(0).toString(), query.value(1).toInt());
    }
    for (auto it = counted.cbegin(); it != counted.cend(); ++it)
        readCounts.insert(it.key(), it.value());
    if (counted.isEmpty())
        return;

    const bool transaction = m_db.transaction();
    for (auto it = counted.cbegin(); it != counted.cend(); ++it) {
        qDebug().noquote().nospace()
            << "DBManager::batchChatReads - update readcount, messageId=" << it.key()
            << ", count=" << it.value();
        QSqlQuery* update = DBSql::prepared(
            this, QStringLiteral("UPDATE TTT_CHATT SET count=? WHERE msg_id=?"), where);
        bool updated = false;
        if (update) {
            update->addBindValue(it.value());
            update->addBindValue(it.key());
            updated = DBSql::exec(*update, where);
        }
        if (!updated) {
            qWarning().noquote().nospace()
                << "DBManager::batchChatReads - upate readcount is failure !!!";
        }
    }
    if (transaction && !m_db.commit()) {
        qWarning().noquote().nospace()
            << "DBManager::batchChatReads commit failed error:" << m_db.lastError().text();
        m_db.rollback();
    }
}

void DBManager::readers(QList<DBUser>& list, const QString& topic, const QString& msgId)
{
    if (refuseEmptyTopic(topic, "DBManager::readers"))
        return;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    const QString sql = QStringLiteral(
        "SELECT _id, user_id, user_name, cell_phone, email, dept_name, thumb_url, image_url, "
        "open_cell_phone, chatt_allow, app_install, user_state FROM TTT_USER WHERE user_id IN ( "
        "SELECT reader_id FROM TTT_CHATT_READER WHERE topic=? AND msg_id=? ) ORDER BY user_name "
        "ASC");
    if (!query.prepare(sql)) {
        qWarning().noquote().nospace()
            << "DBManager::readers failed to sql lastError:" << query.lastError().text();
        return;
    }
    query.addBindValue(topic);
    query.addBindValue(DBSql::text(msgId));
    if (!query.exec()) {
        qWarning().noquote().nospace()
            << "DBManager::readers failed to sql lastError:" << query.lastError().text();
        return;
    }
    while (query.next()) {
        DBUser user(this);
        user.setFromRecord(query);
        list.append(user);
    }
}

qint64 DBManager::firstUnreadTime(const DBChatRoom& room, qint64 ownUserId)
{
    if (room.topic().isEmpty())
        return 0;
    ensureWorkingIndexes();
    QSqlQuery* query = DBSql::prepared(this,
                                       QStringLiteral("SELECT MIN(msg_time) FROM TTT_CHATT WHERE "
                                                      "topic=? AND sender_id != ? AND msg_read=0"),
                                       "DBManager::firstUnreadTime");
    if (!query)
        return 0;
    query->addBindValue(room.topic());
    query->addBindValue(ownUserId);
    qint64 time = 0;
    if (DBSql::exec(*query, "DBManager::firstUnreadTime") && query->next())
        time = query->value(0).toLongLong(); // NULL (no unread chat) reads as 0
    query->finish();
    return time;
}
