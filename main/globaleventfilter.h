#pragma once

#include <QObject>
#include <QTimer>

// The idle lock: installed on the application object, it sees the input of every window and
// restarts its lock timer with each mouse or key event. When the timer runs out it asks for the
// lock (lockMode), unless the lock is suppressed or a modal dialog is up: locking under a modal
// box would leave the box usable over the lock page, and closing the windows under a running
// nested event loop deletes them under their own slots. The timer then keeps running and asks
// again one period later.
class GlobalEventFilter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMsecPerMinute = 60000;

    explicit GlobalEventFilter(QObject* parent = nullptr);

    // The idle time in minutes (minutes x 60,000 ms).
    void setLockTime(int minutes);
    void setLockTimeout(int msec);
    int lockTimeout() const { return m_timeout; }
    // Starts the count when the time-out is above 0 (stops it otherwise).
    void startLockMode();
    void stopLockMode();
    bool isRunning() const { return m_lockTimer.isActive(); }
    // Milliseconds until the lock is asked for; -1 while stopped.
    int msecUntilLock() const { return m_lockTimer.remainingTime(); }
    // Set while the settings dialog is open.
    void setSuppressed(bool suppressed) { m_suppressed = suppressed; }
    bool isSuppressed() const { return m_suppressed; }

signals:
    void lockMode();
    // A time-out passed while the lock was suppressed or a modal dialog was up.
    void lockDeferred();

public slots:
    void lockModeTimeout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer m_lockTimer;
    int m_timeout = kMsecPerMinute;
    bool m_suppressed = false;
};
