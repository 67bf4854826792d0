#include "main/mtdata.h"

#include <QDebug>

#include <atomic>

namespace {
std::atomic<MTData*> g_instance{nullptr};
} // namespace

MTData::MTData(DBManager* dbManager) : DBMTData(dbManager)
{
    if (dbManager && !isLoaded())
        qWarning().noquote().nospace() << "MTData - initMTData is false";
    g_instance.store(this);
}

MTData::~MTData()
{
    MTData* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
}

MTData* MTData::instance()
{
    return g_instance.load();
}
