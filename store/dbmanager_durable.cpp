// Durability of a commit on demand, for a connection whose commits do not sync by themselves
// (WAL with synchronous=NORMAL): the writer shows what it committed at once, and makes it
// durable before it tells anybody outside the process that it has it.
#include "store/dbmanager.h"

#include <QDebug>
#include <QSqlDriver>

#include <sqlite3.h>

bool DBManager::syncWriteAheadLog()
{
    auto* handle =
        m_db.isOpen() ? static_cast<sqlite3*>(m_db.driver()->handle().value<void*>()) : nullptr;
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
