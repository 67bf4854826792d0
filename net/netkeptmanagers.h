#pragma once

#include <QHash>
#include <QMutex>

#include <functional>

class QNetworkAccessManager;
class QThread;

// The network access object of each worker thread of one request engine, made at the thread's
// first request and kept until the thread ends. A network access object keeps its connections
// open between requests (HTTP keep-alive) and its TLS sessions: a thread's requests and picture
// fetches go over the connection its last one left open instead of a new handshake each.
//
// An object lives in the thread that made it and is deleted there when that thread finishes
// (a pool thread that expires, or the pool being deleted). The engine is made anew for every
// session, so nothing a server left in an object (cookies, open connections) passes to the next
// login.
class NetKeptManagers
{
public:
    NetKeptManagers() = default;
    NetKeptManagers(const NetKeptManagers&) = delete;
    NetKeptManagers& operator=(const NetKeptManagers&) = delete;
    // Every thread that used one must have finished: an object can only be deleted in its own
    // thread.
    ~NetKeptManagers();

    // Called with each object made, on its thread, before it is used; set before the first.
    void setMade(std::function<void(QNetworkAccessManager*)> made) { m_made = std::move(made); }
    // The calling thread's object, made now when it has none.
    QNetworkAccessManager* current();
    // Objects alive now.
    int count() const;

private:
    void threadFinished(QThread* thread);

    mutable QMutex m_mutex;
    QHash<QThread*, QNetworkAccessManager*> m_managers;
    std::function<void(QNetworkAccessManager*)> m_made;
};
