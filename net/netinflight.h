#pragma once

#include <QMutex>
#include <QSet>

class QNetworkReply;

// The replies that worker tasks are waiting for, so that the request engine can end them when
// it is destroyed: a task must not outlive the object whose signals it emits, and a request
// without an answer would otherwise keep the pool (and the program's exit) waiting forever.
class NetInflight
{
public:
    // Registers a reply of the calling worker. False once abortAll() ran: the caller aborts the
    // reply itself.
    bool add(QNetworkReply* reply);
    // Before the worker deletes the reply.
    void remove(QNetworkReply* reply);
    // Asks every registered reply to abort, on its own thread, and refuses new ones.
    void abortAll();
    bool isAborting() const;

private:
    mutable QMutex m_mutex;
    QSet<QNetworkReply*> m_replies;
    bool m_aborting = false;
};
