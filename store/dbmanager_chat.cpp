// Chats: history pages, export, look-ups, counts, search and clearing a room.
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbsql.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Every chat statement reads this row layout (DBChat::setFromRow) with the sender joined in.
QString chatSelect()
{
    return QStringLiteral("SELECT ") + QLatin1String(DBChat::kSelectColumns) +
           QStringLiteral(" FROM TTT_CHATT C LEFT OUTER JOIN TTT_USER U ON(C.sender_id=U.user_id) "
                          "WHERE topic=?");
}

// One part of a history page. The rows of the page are picked by row id from the index on
// (topic, msg_time) alone, so that skipping to a deep page steps along index entries instead of
// reading every skipped chat and its sender; only the page's own rows are then read and joined.
// Unsettled chats (msg_state IS NOT 1, NULL included) are the few rows of their partial index;
// confirmed chats (msg_state=1) are exactly the others. Equal times put the newer row first.
// Binds: topic, [topic,] limit, offset.
QString pagePart(bool confirmed)
{
    const QString unsettled =
        QStringLiteral("SELECT _id FROM TTT_CHATT WHERE topic=? AND msg_state IS NOT 1");
    const QString pick =
        confirmed ? QStringLiteral("topic=? AND _id NOT IN (") + unsettled + QLatin1Char(')')
                  : QStringLiteral("topic=? AND msg_state IS NOT 1");
    return QStringLiteral("SELECT ") + QLatin1String(DBChat::kSelectColumns) +
           QStringLiteral(" FROM TTT_CHATT C LEFT OUTER JOIN TTT_USER U ON(C.sender_id=U.user_id) "
                          "WHERE C._id IN (SELECT _id FROM TTT_CHATT WHERE ") +
           pick +
           QStringLiteral(" ORDER BY msg_time DESC, _id DESC LIMIT ? OFFSET ?) ORDER BY msg_time "
                          "DESC, C._id DESC");
}

// A short-lived read transaction: the statements of one operation see the same state of the
// file while other connections write (WAL keeps the snapshot without blocking them). Inside a
// transaction of the caller it nests as a savepoint.
class ReadSnapshot
{
public:
    explicit ReadSnapshot(QSqlDatabase& db) : m_db(db)
    {
        QSqlQuery begin(m_db);
        m_active = begin.exec(QStringLiteral("SAVEPOINT mt_read"));
    }
    ~ReadSnapshot()
    {
        if (m_active) {
            QSqlQuery release(m_db);
            release.exec(QStringLiteral("RELEASE mt_read"));
        }
    }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

private:
    QSqlDatabase& m_db;
    bool m_active = false;
};

// Runs a chat statement and puts each row at the front of the list; the number of rows added.
int prependChats(DBManager* db, QSqlQuery& query, QList<DBChat>& list, const char* where)
{
    if (!DBSql::exec(query, where))
        return 0;
    int added = 0;
    while (query.next()) {
        DBChat chat(db);
        chat.setFromRow(query);
        list.prepend(chat);
        ++added;
    }
    return added;
}

// The first column of the first row as an integer, or `failure`.
qint64 scalar(QSqlQuery* query, const char* where, qint64 failure)
{
    qint64 value = failure;
    if (DBSql::exec(*query, where) && query->next())
        value = query->value(0).toLongLong();
    query->finish();
    return value;
}

} // namespace

bool DBManager::refuseEmptyTopic(const QString& topic, const char* where)
{
    if (!topic.isEmpty())
        return false;
    qWarning().noquote().nospace() << where << " - topic is empty";
    return true;
}

QString DBManager::containsPattern(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

int DBManager::chatList(QList<DBChat>& list, const QString& topic, int limit, int offset)
{
    if (refuseEmptyTopic(topic, "DBManager::chatList"))
        return 0;
    ensureWorkingIndexes();
    if (offset < 0)
        offset = 0;
    // The page of "ORDER BY (CASE msg_state WHEN 1 THEN 1 ELSE 0 END), msg_time DESC LIMIT ?
    // OFFSET ?", read as its two parts so that each part walks an index in order instead of
    // sorting the whole room: first the unsettled chats (msg_state not 1, NULL included), then
    // the confirmed ones. Rows go to the list in the order of that statement.
    ReadSnapshot snapshot(m_db);
    QList<DBChat> page;
    const char* where = "DBManager::chatList";

    QSqlQuery unsettled(m_db);
    unsettled.setForwardOnly(true);
    if (!DBSql::prepare(unsettled, pagePart(false), where))
        return 0;
    unsettled.addBindValue(topic);
    unsettled.addBindValue(limit);
    unsettled.addBindValue(offset);
    if (!DBSql::exec(unsettled, where))
        return 0;
    while (unsettled.next()) {
        DBChat chat(this);
        chat.setFromRow(unsettled);
        page.append(chat);
    }
    unsettled.finish();

    // A negative limit means no limit, as in SQLite.
    if (limit < 0 || page.size() < limit) {
        int confirmedOffset = 0;
        if (page.isEmpty() && offset > 0) {
            QSqlQuery* count = DBSql::prepared(
                this,
                QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE topic=? AND msg_state IS "
                               "NOT 1"),
                where);
            if (!count)
                return 0;
            count->addBindValue(topic);
            const qint64 unsettledTotal = scalar(count, where, -1);
            if (unsettledTotal < 0)
                return 0;
            confirmedOffset = int(qMax<qint64>(0, offset - unsettledTotal));
        }
        QSqlQuery confirmed(m_db);
        confirmed.setForwardOnly(true);
        if (!DBSql::prepare(confirmed, pagePart(true), where))
            return 0;
        confirmed.addBindValue(topic);
        confirmed.addBindValue(topic);
        confirmed.addBindValue(limit < 0 ? -1 : limit - page.size());
        confirmed.addBindValue(confirmedOffset);
        if (!DBSql::exec(confirmed, where))
            return 0;
        while (confirmed.next()) {
            DBChat chat(this);
            chat.setFromRow(confirmed);
            page.append(chat);
        }
    }
    for (const DBChat& chat : qAsConst(page))
        list.prepend(chat);
    return page.size();
}

int DBManager::exportChatList(QList<DBChat>& list, const QString& topic)
{
    if (refuseEmptyTopic(topic, "DBManager::exportChatList"))
        return 0;
    ensureWorkingIndexes();
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!DBSql::prepare(query, chatSelect() + QStringLiteral(" ORDER BY msg_time DESC"),
                        "DBManager::exportChatList"))
        return 0;
    query.addBindValue(topic);
    return prependChats(this, query, list, "DBManager::exportChatList");
}

namespace {

bool readOneChat(DBManager* db, QSqlQuery* query, DBChat& chat, const char* where)
{
    const bool found = DBSql::exec(*query, where) && query->next();
    if (found) {
        chat.setDbManager(db);
        chat.setFromRow(*query);
    }
    query->finish();
    return found;
}

} // namespace

bool DBManager::findChat(const QString& topic, const QString& msgId, DBChat& chat)
{
    if (refuseEmptyTopic(topic, "DBManager::findChat"))
        return false;
    QSqlQuery* query = DBSql::prepared(this, chatSelect() + QStringLiteral(" AND C.msg_id=?"),
                                       "DBManager::findChat");
    if (!query)
        return false;
    query->addBindValue(topic);
    query->addBindValue(DBSql::text(msgId));
    return readOneChat(this, query, chat, "DBManager::findChat");
}

bool DBManager::unsentChats(QList<DBChat>& list, qint64 ownUserId)
{
    ensureWorkingIndexes();
    // "msg_state IS NOT 1" lets SQLite read the partial index of unsettled chats alone.
    QSqlQuery* query = DBSql::prepared(
        this,
        QStringLiteral("SELECT ") + QLatin1String(DBChat::kSelectColumns) +
            QStringLiteral(" FROM TTT_CHATT C LEFT OUTER JOIN TTT_USER U ON(C.sender_id=U.user_id)"
                           " WHERE C.msg_state IS NOT 1 AND C.msg_state IN (0, 4) AND "
                           "C.sender_id=? ORDER BY C.msg_time, C._id"),
        "DBManager::unsentChats");
    if (!query)
        return false;
    query->addBindValue(ownUserId);
    if (!DBSql::exec(*query, "DBManager::unsentChats"))
        return false;
    while (query->next()) {
        DBChat chat(this);
        chat.setFromRow(*query);
        list.append(chat);
    }
    query->finish();
    return true;
}

bool DBManager::chatExists(const QString& topic, const QString& msgId)
{
    if (refuseEmptyTopic(topic, "DBManager::chatExists"))
        return false;
    QSqlQuery* query = DBSql::prepared(
        this, QStringLiteral("SELECT _id FROM TTT_CHATT WHERE topic=? AND msg_id=?"),
        "DBManager::chatExists");
    if (!query)
        return false;
    query->addBindValue(topic);
    query->addBindValue(DBSql::text(msgId));
    const bool found = DBSql::exec(*query, "DBManager::chatExists") && query->next();
    query->finish();
    return found;
}

bool DBManager::lastChat(const QString& topic, DBChat& chat)
{
    if (refuseEmptyTopic(topic, "DBManager::lastChat"))
        return false;
    ensureWorkingIndexes();
    QSqlQuery* query =
        DBSql::prepared(this, chatSelect() + QStringLiteral(" ORDER BY msg_time DESC LIMIT 1"),
                        "DBManager::lastChat");
    if (!query)
        return false;
    query->addBindValue(topic);
    return readOneChat(this, query, chat, "DBManager::lastChat");
}

int DBManager::chatCount(const QString& topic)
{
    if (refuseEmptyTopic(topic, "DBManager::chatCount"))
        return 0;
    ensureWorkingIndexes();
    QSqlQuery* query =
        DBSql::prepared(this, QStringLiteral("SELECT COUNT(topic) FROM TTT_CHATT WHERE topic=?"),
                        "DBManager::chatCount");
    if (!query)
        return 0;
    query->addBindValue(topic);
    return int(scalar(query, "DBManager::chatCount", 0));
}

QString DBManager::firstChatMessageId(const QString& topic)
{
    if (refuseEmptyTopic(topic, "DBManager::firstChatMessageId"))
        return QString();
    ensureWorkingIndexes();
    QSqlQuery* query = DBSql::prepared(
        this,
        QStringLiteral("SELECT msg_id FROM TTT_CHATT WHERE topic=? ORDER BY msg_time ASC LIMIT 1"),
        "DBManager::firstChatMessageId");
    if (!query)
        return QString();
    query->addBindValue(topic);
    QString msgId;
    if (DBSql::exec(*query, "DBManager::firstChatMessageId") && query->next())
        msgId = query->value(0).toString();
    query->finish();
    return msgId;
}

namespace {

// Runs a count or search statement (kept prepared) with its values and gives the first column of
// its row, null when there is none. When the statement cannot run: logs "<where> error:" with the
// driver's text and clears `ok`.
QVariant firstColumn(DBManager* db, const QString& sql, const QVariantList& values,
                     const char* where, bool* ok)
{
    QSqlError error;
    QSqlQuery* query = db->preparedQuery(sql, &error);
    if (query) {
        for (const QVariant& value : values)
            query->addBindValue(value);
        if (query->exec()) {
            const QVariant value = query->next() ? query->value(0) : QVariant();
            query->finish();
            *ok = true;
            return value;
        }
        error = query->lastError();
    }
    qWarning().noquote().nospace() << where << " error:" << error.text();
    *ok = false;
    return QVariant();
}

} // namespace

int DBManager::totalChatCount(const QString& topic, int msgType)
{
    if (refuseEmptyTopic(topic, "DBManager::totalChatCount"))
        return -1;
    ensureWorkingIndexes();
    const QString sql =
        QStringLiteral("SELECT COUNT(_id) FROM TTT_CHATT WHERE topic =? AND msg_type =?;");
    qDebug().noquote().nospace() << "DBManager::totalChatCount sql:" << sql << " topic:" << topic
                                 << " msg_type:" << msgType;
    bool ok = false;
    const QVariant count =
        firstColumn(this, sql, {topic, msgType}, "DBManager::totalChatCount", &ok);
    return ok ? count.toInt() : -1;
}

int DBManager::searchChatTotalCount(const QString& topic, int msgType, const QString& text)
{
    if (refuseEmptyTopic(topic, "DBManager::searchChatTotalCount"))
        return -1;
    ensureWorkingIndexes();
    const QString sql = QStringLiteral("SELECT COUNT(_id) FROM TTT_CHATT WHERE topic =? AND "
                                       "msg_type =? AND content LIKE ? ESCAPE '\\';");
    const QString pattern = containsPattern(text);
    qDebug().noquote().nospace() << "DBManager::searchChatTotalCount sql:" << sql
                                 << " topic:" << topic << " msg_type:" << msgType
                                 << " pattern:" << pattern;
    bool ok = false;
    const QVariant count =
        firstColumn(this, sql, {topic, msgType, pattern}, "DBManager::searchChatTotalCount", &ok);
    return ok ? count.toInt() : -1;
}

QString DBManager::searchChatMessageId(const QString& topic, int msgType, const QString& text,
                                       int offset)
{
    if (refuseEmptyTopic(topic, "DBManager::searchChatMessageId"))
        return QString();
    ensureWorkingIndexes();
    // Equal times are ordered newest row first, so that stepping through the offsets visits
    // every match exactly once.
    // The match is found by row id first: that inner statement needs no column beyond the
    // search index, so it walks the index instead of reading every newer chat of the room.
    const QString sql = QStringLiteral(
        "SELECT msg_id FROM TTT_CHATT WHERE _id = (SELECT _id FROM TTT_CHATT WHERE topic = ? AND "
        "msg_type = ? AND content LIKE ? ESCAPE '\\' ORDER BY msg_time DESC, _id DESC LIMIT 1 "
        "OFFSET ?)");
    const QString pattern = containsPattern(text);
    qDebug().noquote().nospace() << "DBManager::searchChatMessageId sql:" << sql
                                 << " topic:" << topic << " msg_type:" << msgType
                                 << " pattern:" << pattern << " offset:" << offset;
    bool ok = false;
    return firstColumn(this, sql, {topic, msgType, pattern, offset},
                       "DBManager::searchChatMessageId", &ok)
        .toString();
}

int DBManager::searchTextChatCount(const QString& topic, const QString& text)
{
    if (refuseEmptyTopic(topic, "DBManager::searchTextChatCount"))
        return -1;
    ensureWorkingIndexes();
    const QString sql = QStringLiteral(
        "SELECT COUNT(_id) FROM TTT_CHATT WHERE topic =? AND msg_type = 1 AND content_type = 1 "
        "AND content LIKE ? ESCAPE '\\';");
    bool ok = false;
    const QVariant count = firstColumn(this, sql, {topic, containsPattern(text)},
                                       "DBManager::searchTextChatCount", &ok);
    return ok ? count.toInt() : -1;
}

QString DBManager::searchTextChatMessageId(const QString& topic, const QString& text, int offset)
{
    if (refuseEmptyTopic(topic, "DBManager::searchTextChatMessageId"))
        return QString();
    ensureWorkingIndexes();
    const QString sql = QStringLiteral(
        "SELECT msg_id FROM TTT_CHATT WHERE _id = (SELECT _id FROM TTT_CHATT WHERE topic = ? AND "
        "msg_type = 1 AND content_type = 1 AND content LIKE ? ESCAPE '\\' ORDER BY msg_time "
        "DESC, _id DESC LIMIT 1 OFFSET ?)");
    bool ok = false;
    return firstColumn(this, sql, {topic, containsPattern(text), offset},
                       "DBManager::searchTextChatMessageId", &ok)
        .toString();
}

bool DBManager::deleteChatMessage(const QString& topic)
{
    qDebug().noquote().nospace() << "DBManager::deleteChatMessage topic:" << topic;
    DBChat chats(this);
    chats.setTopic(topic);
    const bool removed = chats.removeAllOfTopic();
    if (!removed)
        qWarning().noquote().nospace() << "DBManager::deleteChatMessage failed to remove chat";
    return removed;
}
