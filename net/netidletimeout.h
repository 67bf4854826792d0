#pragma once

#include <QObject>
#include <QTimer>

class QNetworkReply;

// Ends a request that has gone silent: no byte sent or received for the interval. The network
// layer has no time-out of its own, so a server that takes a connection and then says nothing
// would keep the caller (and a pool thread) waiting for good. Silence is measured, not the whole
// duration: a long upload or download that keeps moving is never cut.
class NetIdleTimeout : public QObject
{
    Q_OBJECT
public:
    // Watches the reply from now on, on the reply's thread; the watcher is the reply's child.
    static void watch(QNetworkReply* reply, int intervalMs);
    // Whether the reply was ended by its watcher (it then reports OperationCanceledError).
    static bool hasTimedOut(const QNetworkReply* reply);

private:
    NetIdleTimeout(QNetworkReply* reply, int intervalMs);
    void expire();

    QNetworkReply* m_reply;
    QTimer m_timer;
};
