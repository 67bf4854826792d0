#include "store/dbsparestore.h"

#include "store/dbmanager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace {

// Held while a spare is made or taken.
std::mutex g_mutex;
// The spare this process made and nobody has taken; empty when none.
QString g_ready;

void removeSpare(const QString& file)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(file + QLatin1String(suffix));
}

} // namespace

QString DBSpareStore::path()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return dir + QStringLiteral("/.veltri_spare.db");
}

bool DBSpareStore::prepare(const QString& passphrase, int dbVersion)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    const QString file = path();
    if (g_ready == file && QFileInfo::exists(file))
        return true;
    g_ready.clear();
    QDir().mkpath(QFileInfo(file).absolutePath());
    removeSpare(file);
    bool made = false;
    {
        DBManager db(file, QStringLiteral("Veltri_spare"), passphrase, dbVersion);
        made = db.isOpen();
    }
    // Closed: the log is written back and removed, so the file alone is the whole store.
    if (!made || QFileInfo::exists(file + QLatin1String("-wal"))) {
        qWarning().noquote().nospace() << "DBSpareStore::prepare - no spare store at " << file;
        removeSpare(file);
        return false;
    }
    g_ready = file;
    return true;
}

bool DBSpareStore::isReady()
{
    const std::unique_lock<std::mutex> lock(g_mutex, std::try_to_lock);
    return lock.owns_lock() && g_ready == path();
}

bool DBSpareStore::take(const QString& target)
{
    const std::unique_lock<std::mutex> lock(g_mutex, std::try_to_lock);
    if (!lock.owns_lock() || g_ready.isEmpty() || g_ready != path() || QFileInfo::exists(target))
        return false;
    const QString file = std::exchange(g_ready, QString());
    if (!QFile::rename(file, target)) {
        qWarning().noquote().nospace()
            << "DBSpareStore::take - cannot rename " << file << " to " << target;
        removeSpare(file);
        return false;
    }
    return true;
}
