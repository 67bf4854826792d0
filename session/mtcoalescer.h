#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Folds a burst of pokes into one fired() once the burst pauses for `delayMs`, as the room list
// and the notifications want it; but a stream that never pauses still fires at the latest
// `maxWaitMs` after the first poke of the run, so a busy organisation never starves them.
class MtCoalescer : public QObject
{
    Q_OBJECT
public:
    MtCoalescer(int delayMs, int maxWaitMs, QObject* parent = nullptr);

    void poke();
    // Forgets a pending run without firing (log off).
    void cancel();
    bool isPending() const { return m_timer.isActive(); }

signals:
    void fired();

private:
    void onTimeout();

    const int m_delayMs;
    const int m_maxWaitMs;
    QTimer m_timer;
    QElapsedTimer m_runStart;
};
