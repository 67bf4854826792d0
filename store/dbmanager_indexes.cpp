// Indexes beyond the schema's own three. The room list, the history pages, the search and the
// read operations would otherwise read every chat of a room (or of the file) on each call; these
// let them read only the rows they return. Every statement they serve keeps its rows: the
// indexes change how SQLite finds the rows, never which.
#include "store/dbmanager.h"

#include <QDebug>
#include <QSqlQuery>

namespace {

const char* const kWorkingIndexes[] = {
    // Newest chat of a room (room list), history pages (skipped along the index alone), export,
    // counts, reads from a time.
    "CREATE INDEX IF NOT EXISTS TTT_CHATT_TOPIC_MSGTIME ON TTT_CHATT (topic, msg_time)",
    // The few unsettled chats that head every history page, without a scan of the room; the
    // confirmed part of a page is every other chat.
    "CREATE INDEX IF NOT EXISTS TTT_CHATT_TOPIC_UNSETTLED ON TTT_CHATT (topic, msg_time) WHERE "
    "msg_state IS NOT 1",
    // Unread chats: unread counts at login, the first unread time, marking a room read.
    "CREATE INDEX IF NOT EXISTS TTT_CHATT_TOPIC_UNREAD ON TTT_CHATT (topic, msg_time) WHERE "
    "msg_read=0",
    // Search: the chats of a room and msg_type in time order with their content, so that a
    // search reads this index alone instead of every page that holds one of the room's chats.
    "CREATE INDEX IF NOT EXISTS TTT_CHATT_TOPIC_SEARCH ON TTT_CHATT (topic, msg_type, msg_time, "
    "content)",
    // Readers of a message: read-receipt counts join the reader rows by msg_id.
    "CREATE INDEX IF NOT EXISTS TTT_CHATT_READER_MSGID ON TTT_CHATT_READER (msg_id)",
};

} // namespace

bool DBManager::createWorkingIndexes()
{
    bool ok = true;
    for (const char* sql : kWorkingIndexes) {
        QSqlQuery query(m_db);
        if (!query.exec(QString::fromLatin1(sql))) {
            qWarning().noquote().nospace() << "DBManager::createWorkingIndexes failed sql:" << sql
                                           << " error:" << query.lastError().text();
            ok = false;
        }
    }
    return ok;
}

void DBManager::ensureWorkingIndexes()
{
    // Once per connection: after the first run every statement finds its index in place. A
    // failure (another connection held the write lock past the busy time-out) is not retried on
    // every call; the operations stay correct without the indexes, only slower.
    if (m_workingIndexesTried || !m_db.isOpen())
        return;
    m_workingIndexesTried = true;
    createWorkingIndexes();
}
