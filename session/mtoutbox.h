#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

class DBChat;
class DBManager;
class MqttManager;

// The user's own chats on their way out, kept for the session rather than for a chat window:
// every own chat still sending (msg_state 0) or uploaded and not yet confirmed (4) is published
// again with its own message id each time the messaging session connects (after login, unlock,
// a reconnect or a restart), oldest first, whether its window is open or not, until its echo
// confirms it. Failure rules: a chat not confirmed within kConfirmWaitMs of a publish on a live
// connection, or composed more than kMaxAgeMs before a connect, is stored failed (msg_state 2)
// and offers its resend; a chat waiting for a connection never fails for that alone.
//
// Lives on the GUI thread and writes through the session's store connection of that thread.
class MtOutbox : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kConfirmWaitMs = 60 * 1000;
    static constexpr qint64 kMaxAgeMs = 24 * 60 * 60 * 1000;

    explicit MtOutbox(QObject* parent = nullptr);

    // Takes up what the store holds unsent for the user; null detaches (log off).
    void attach(DBManager* db, qint64 ownUserId);
    void setMessaging(MqttManager* mqtt) { m_mqtt = mqtt; }
    // How long a publish on a live connection waits for its echo (kConfirmWaitMs).
    void setConfirmWaitMs(qint64 ms) { m_confirmWaitMs = ms; }

    // A chat the window has just stored as sending (or uploaded): published now when connected,
    // and again at every connect until confirmed.
    void send(const DBChat& chat);
    bool holds(const QString& msgId) const { return m_held.contains(msgId); }

    void connected();
    void disconnected();
    // The echo of an own chat arrived (it is stored confirmed).
    void confirmed(const QString& msgId);

signals:
    // Stored failed (msg_state 2): the window offers the resend.
    void failed(const QString& topic, const QString& msgId);

private:
    struct Entry
    {
        QString topic;
        int contentType = 0;
        QString contents;
        qint64 composedMs = 0;
        qint64 deadlineMs = 0; // 0: not published on the current connection
    };

    void hold(const DBChat& chat);
    void publish(const QString& msgId, Entry& entry, qint64 nowMs);
    void fail(const QString& msgId);
    void checkDeadlines();
    void armTimer();

    DBManager* m_db = nullptr;
    MqttManager* m_mqtt = nullptr;
    qint64 m_ownUserId = 0;
    bool m_connected = false;
    qint64 m_confirmWaitMs = kConfirmWaitMs;
    QHash<QString, Entry> m_held;
    QTimer m_timer;
};
