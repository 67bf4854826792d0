// Durability of a commit on demand, for a connection whose commits do not sync by themselves
// (WAL with synchronous=NORMAL): the writer shows what it committed at once, and makes it
// durable before it tells anybody outside the process that it has it. Such a writer may also
// take the log's checkpoints out of its commits and run them when it is idle.
#include "store/dbmanager.h"

#include <QDebug>
#include <QSqlDriver>

#include <sqlite3.h>

namespace {
sqlite3* handleOf(const QSqlDatabase& db)
{
    return db.isOpen() ? static_cast<sqlite3*>(db.driver()->handle().value<void*>()) : nullptr;
}

// Called by SQLite after each commit of the connection, in place of its automatic checkpoint.
int noteLogFrames(void* frames, sqlite3*, const char*, int count)
{
    *static_cast<int*>(frames) = count;
    return SQLITE_OK;
}
} // namespace

bool DBManager::syncWriteAheadLog()
{
    sqlite3* handle = handleOf(m_db);
    sqlite3_file* log = nullptr;
    // The file object SQLite itself writes the log through: syncing it is what a commit under
    // synchronous=FULL does, and covers every frame any connection wrote before.
    const int rc = handle ? sqlite3_file_control(handle, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log)
                          : SQLITE_MISUSE;
    if (rc != SQLITE_OK || !log || !log->pMethods) {
        qWarning().noquote().nospace()
            << "DBManager::syncWriteAheadLog - no log file, connection:" << m_connectionName
            << " rc:" << rc;
        return false;
    }
    const int synced = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
    if (synced != SQLITE_OK) {
        qWarning().noquote().nospace()
            << "DBManager::syncWriteAheadLog - sync failed, connection:" << m_connectionName
            << " rc:" << synced;
        return false;
    }
    return true;
}

bool DBManager::deferCheckpoints()
{
    sqlite3* handle = handleOf(m_db);
    if (!handle)
        return false;
    sqlite3_wal_hook(handle, &noteLogFrames, &m_logFrames);
    return true;
}

bool DBManager::checkpointWriteAheadLog()
{
    sqlite3* handle = handleOf(m_db);
    int frames = 0;
    int copied = 0;
    const int rc = handle ? sqlite3_wal_checkpoint_v2(handle, "main", SQLITE_CHECKPOINT_PASSIVE,
                                                      &frames, &copied)
                          : SQLITE_MISUSE;
    if (rc != SQLITE_OK) {
        qWarning().noquote().nospace()
            << "DBManager::checkpointWriteAheadLog - failed, connection:" << m_connectionName
            << " rc:" << rc;
        return false;
    }
    m_logFrames = qMax(0, frames - copied);
    return true;
}
