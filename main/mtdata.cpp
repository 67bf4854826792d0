#include "main/mtdata.h"

#include <QDebug>

#include <QMutex>
#include <QVector>

#include <atomic>

namespace {
std::atomic<MTData*> g_instance{nullptr};
// Every live instance in order of creation. When the newest goes while an older one lives on
// (a login attempt's memory-only object, say), the pointer falls back to the older one instead of
// leaving readers with no session at all.
QMutex g_liveMutex;
QVector<MTData*> g_live;
} // namespace

MTData::MTData(DBManager* dbManager) : DBMTData(dbManager)
{
    if (dbManager && !isLoaded())
        qWarning().noquote().nospace() << "MTData - initMTData is false";
    QMutexLocker lock(&g_liveMutex);
    g_live.append(this);
    g_instance.store(this);
}

MTData::~MTData()
{
    QMutexLocker lock(&g_liveMutex);
    g_live.removeOne(this);
    g_instance.store(g_live.isEmpty() ? nullptr : g_live.constLast());
}

MTData* MTData::instance()
{
    return g_instance.load();
}
