#include "net/netkeptmanagers.h"

#include <QDebug>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QThread>

NetKeptManagers::~NetKeptManagers()
{
    QMutexLocker lock(&m_mutex);
    if (!m_managers.isEmpty())
        qWarning().noquote().nospace() << "NetKeptManagers - " << m_managers.size()
                                       << " network access objects left in running threads";
}

QNetworkAccessManager* NetKeptManagers::current()
{
    QThread* thread = QThread::currentThread();
    QMutexLocker lock(&m_mutex);
    QNetworkAccessManager*& manager = m_managers[thread];
    if (!manager) {
        manager = new QNetworkAccessManager;
        // Direct: `finished` is emitted by the ending thread itself, the one the object lives in.
        QObject::connect(
            thread, &QThread::finished, thread, [this, thread] { threadFinished(thread); },
            Qt::DirectConnection);
        if (m_made)
            m_made(manager);
    }
    return manager;
}

int NetKeptManagers::count() const
{
    QMutexLocker lock(&m_mutex);
    return m_managers.size();
}

void NetKeptManagers::threadFinished(QThread* thread)
{
    QNetworkAccessManager* manager = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        manager = m_managers.take(thread);
    }
    delete manager;
}
