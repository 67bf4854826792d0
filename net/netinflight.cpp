#include "net/netinflight.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QNetworkReply>

bool NetInflight::add(QNetworkReply* reply)
{
    QMutexLocker lock(&m_mutex);
    if (m_aborting)
        return false;
    m_replies.insert(reply);
    return true;
}

void NetInflight::remove(QNetworkReply* reply)
{
    QMutexLocker lock(&m_mutex);
    m_replies.remove(reply);
}

void NetInflight::abortAll()
{
    QMutexLocker lock(&m_mutex);
    m_aborting = true;
    // A reply belongs to its worker's thread; the worker's local event loop runs the abort. The
    // worker removes a reply under this lock before deleting it, so each one is alive here.
    for (QNetworkReply* reply : qAsConst(m_replies))
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
}

bool NetInflight::isAborting() const
{
    QMutexLocker lock(&m_mutex);
    return m_aborting;
}
