#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>

class QWidget;

// The picture fetches of one engine: which URLs wait, which are being fetched, and who waits for
// each. A URL asked for again while it waits or is fetched is fetched once, and every request
// is answered. At most kMaxRunning fetches run at once, so a login's hundreds of pictures never
// crowd out the requests and the broker connection the user waits for; pictures somebody shows now
// go first, and prefetched ones (nobody shows them yet) only run while no shown one waits, at
// most kMaxPrefetching at once.
//
// Any thread: the room list's worker queues its prefetch, the windows their pictures.
class NetPictureQueue
{
public:
    static constexpr int kMaxRunning = 6;
    // A login's first pictures are prefetched (the rows are made after the room list is
    // stored), over the connections the login page opened. The server answers a picture in
    // about a millisecond: fewer at once leave it waiting for each one's next request.
    static constexpr int kMaxPrefetching = 5;

    // `waiter` is the widget that shows the picture, or null for a prefetch. True when the URL
    // is new; false when it already waits or is being fetched (the waiter is added to it, and a
    // waiting prefetch asked for by a widget moves ahead).
    bool add(const QString& url, QWidget* waiter);
    // The next URL to fetch (an empty one too: its fetch fails like any other), now counted as
    // running; false when none waits or enough run.
    bool takeNext(QString* url);
    // The fetch of the URL has ended: a waiter per request, in the order they came.
    QList<QWidget*> finish(const QString& url);
    // finish(url) and takeNext(next) in one step: the place of the ended fetch passes straight
    // to the next URL, so the thread that fetched one picture fetches the next over the
    // connection it holds, and no other thread starts one in between.
    QList<QWidget*> finishAndTakeNext(const QString& url, QString* next, bool* taken);
    // Forgets every URL that waits; those being fetched end as usual.
    void clearWaiting();

    int running() const;
    // URLs that wait, shown ones first.
    QStringList waiting() const;

private:
    QList<QWidget*> finishLocked(const QString& url);
    bool takeNextLocked(QString* url);

    struct Entry
    {
        QList<QWidget*> waiters;
        bool shown = false;
        bool running = false;
        // Started while nobody showed it: counted against kMaxPrefetching until it ends.
        bool prefetching = false;
    };

    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    QStringList m_shown;
    QStringList m_prefetch;
    int m_running = 0;
    int m_prefetching = 0;
};
