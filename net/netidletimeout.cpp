#include "net/netidletimeout.h"

#include <QDebug>
#include <QNetworkReply>

namespace {
const char* const kTimedOut = "mtIdleTimedOut";
} // namespace

void NetIdleTimeout::watch(QNetworkReply* reply, int intervalMs)
{
    if (!reply->isFinished())
        new NetIdleTimeout(reply, intervalMs);
}

bool NetIdleTimeout::hasTimedOut(const QNetworkReply* reply)
{
    return reply->property(kTimedOut).toBool();
}

NetIdleTimeout::NetIdleTimeout(QNetworkReply* reply, int intervalMs)
    : QObject(reply), m_reply(reply)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(intervalMs);
    auto restart = [this] { m_timer.start(); };
    connect(reply, &QNetworkReply::uploadProgress, this, restart);
    connect(reply, &QNetworkReply::downloadProgress, this, restart);
    connect(reply, &QNetworkReply::metaDataChanged, this, restart);
    connect(reply, &QIODevice::readyRead, this, restart);
    connect(reply, &QNetworkReply::finished, &m_timer, &QTimer::stop);
    connect(&m_timer, &QTimer::timeout, this, &NetIdleTimeout::expire);
    m_timer.start();
}

void NetIdleTimeout::expire()
{
    qWarning().noquote().nospace() << "NetIdleTimeout - no byte for " << m_timer.interval()
                                   << " ms, aborting url:" << m_reply->url().toString();
    m_reply->setProperty(kTimedOut, true);
    m_reply->abort();
}
