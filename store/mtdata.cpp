#include "store/mtdata.h"

#include <QDebug>
#include <QVector>

#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace {
std::atomic<MTData*> g_instance{nullptr};
// Taken exclusively while an instance is registered or unregistered, shared while another thread
// reads the newest one: the GUI thread's delete of a session object waits for those reads.
// (A std::shared_mutex, so that ThreadSanitizer sees the ordering it makes.)
std::shared_mutex g_lifeLock;
// Every live instance in order of creation. When the newest goes while an older one lives on
// (a login attempt's memory-only object, say), the pointer falls back to the older one instead of
// leaving readers with no session at all.
QVector<MTData*> g_live;
} // namespace

MTData::MTData(DBManager* dbManager) : DBMTData(dbManager)
{
    if (dbManager && !isLoaded())
        qWarning().noquote().nospace() << "MTData - initMTData is false";
    std::unique_lock<std::shared_mutex> lock(g_lifeLock);
    g_live.append(this);
    g_instance.store(this);
}

MTData::~MTData()
{
    std::unique_lock<std::shared_mutex> lock(g_lifeLock);
    g_live.removeOne(this);
    g_instance.store(g_live.isEmpty() ? nullptr : g_live.constLast());
}

MTData* MTData::instance()
{
    return g_instance.load();
}

void MTData::withInstance(const std::function<void(const MTData*)>& read)
{
    std::shared_lock<std::shared_mutex> lock(g_lifeLock);
    read(g_instance.load());
}
