#pragma once

#include "session/chatwindowregistry.h"
#include "session/mtsession.h"

#include <QSet>
#include <QtTest>

// The chat windows the session asks about, as the main window would answer: a set of open
// topics and the active one.
class OpenWindows : public ChatWindowRegistry
{
public:
    bool isChatWindowOpen(const QString& topic) const override { return open.contains(topic); }
    bool isChatWindowActive(const QString& topic) const override { return topic == active; }
    QSet<QString> open;
    QString active;
};

// One signal of the session as a receiver hears it: its name and what it carried, reduced to
// the text a test compares.
struct SessionEvent
{
    SessionEvent(const QString& s = {}, const QString& t = {}, int c = 0, const QString& x = {})
        : signal(s), topic(t), code(c), text(x)
    {}
    QString signal;
    QString topic;
    int code = 0;
    QString text;
    bool operator==(const SessionEvent& o) const
    {
        return signal == o.signal && topic == o.topic && code == o.code && text == o.text;
    }
};
Q_DECLARE_METATYPE(SessionEvent)
namespace QTest {
template <>
inline char* toString(const SessionEvent& e)
{
    return qstrdup(qPrintable(QStringLiteral("%1(topic=%2 code=%3 text=%4)")
                                  .arg(e.signal, e.topic)
                                  .arg(e.code)
                                  .arg(e.text)));
}
} // namespace QTest

class SessionRecorder : public QObject
{
public:
    explicit SessionRecorder(MtSession* s)
    {
        using M = MtSession;
        connect(s, &M::loginSucceeded, this, [this] { add("loginSucceeded"); });
        connect(s, &M::loginFailed, this,
                [this](int code, const QString&) { add("loginFailed", {}, code); });
        connect(s, &M::loginTakenOver, this, [this] { add("loginTakenOver"); });
        connect(s, &M::unlocked, this, [this] { add("unlocked"); });
        connect(s, &M::unlockFailed, this,
                [this](int code, const QString&) { add("unlockFailed", {}, code); });
        connect(s, &M::locked, this, [this] { add("locked"); });
        connect(s, &M::versionRefused, this, [this](const QString& link) {
            add("versionRefused", {}, 0, link.isEmpty() ? "no link" : "link");
        });
        connect(s, &M::roomsReady, this,
                [this](bool show) { add("roomsReady", {}, show ? 1 : 0); });
        connect(s, &M::requestFailed, this, [this](int req, int code, const QString&) {
            add("requestFailed", {}, code, QString::number(req));
        });
        connect(s, &M::loggedOff, this, [this] { add("loggedOff"); });
        connect(s, &M::accountRemoved, this,
                [this](bool ok, const QString&) { add("accountRemoved", {}, ok ? 1 : 0); });
        connect(s, &M::sessionEnded, this,
                [this](int code, const QString&) { add("sessionEnded", {}, code); });
        connect(s, &M::messagingConnected, this, [this] { add("messagingConnected"); });
        connect(s, &M::remoteLogout, this, [this](const QString& topic, int type, QDateTime) {
            add("remoteLogout", topic, type);
        });
        connect(s, &M::chatForWindow, this,
                [this](const QString& topic, const DBChat& c, bool own) {
                    add("chatForWindow", topic, own ? 1 : 0, c.content());
                });
        connect(s, &M::roomListChats, this, [this](const QList<DBChat>& chats) {
            for (const DBChat& c : chats)
                add("roomListChat", c.topic(), 0, c.content());
        });
        connect(s, &M::notify, this, [this](const NotifyRequest& r) {
            add("notify", r.topic, 0, r.notice.toString() + QStringLiteral(" ") + r.text);
        });
        connect(s, &M::roomRequested, this, [this](const QString& t) { add("roomRequested", t); });
        connect(s, &M::roomAdded, this,
                [this](const DBChatRoom& r) { add("roomAdded", r.topic(), r.type()); });
        connect(s, &M::roomChanged, this,
                [this](const DBChatRoom& r, const DBChat&, const RoomRouting::Action& a) {
                    add("roomChanged", r.topic(), r.type(), a.toString());
                });
        connect(s, &M::roomRemoved, this, [this](const QString& t) { add("roomRemoved", t); });
        connect(s, &M::unreadChanged, this,
                [this](const QString& t, int unread) { add("unread", t, unread); });
        connect(s, &M::readCountsForWindow, this,
                [this](const QString& t, const QVariantMap& m) { add("readCounts", t, m.size()); });
    }

    QList<SessionEvent> events;
    // The events of one signal, in order.
    QList<SessionEvent> of(const QString& signal) const
    {
        QList<SessionEvent> out;
        for (const SessionEvent& e : events)
            out += e.signal == signal ? QList<SessionEvent>{e} : QList<SessionEvent>{};
        return out;
    }
    // Waits until the signal has come `count` times.
    bool waitFor(const QString& signal, int count = 1, int timeoutMs = 30000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (of(signal).size() < count && !deadline.hasExpired())
            QTest::qWait(10);
        return of(signal).size() >= count;
    }
    // The events of one signal for one topic, in order.
    QList<SessionEvent> of(const QString& signal, const QString& topic) const
    {
        QList<SessionEvent> out;
        for (const SessionEvent& e : of(signal))
            out += e.topic == topic ? QList<SessionEvent>{e} : QList<SessionEvent>{};
        return out;
    }
    // Waits until the signal has come `count` times for the topic.
    bool waitFor(const QString& signal, const QString& topic, int count = 1, int timeoutMs = 30000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (of(signal, topic).size() < count && !deadline.hasExpired())
            QTest::qWait(10);
        return of(signal, topic).size() >= count;
    }
    void clear() { events.clear(); }

private:
    void add(const QString& signal, const QString& topic = {}, int code = 0,
             const QString& text = {})
    {
        events.append({signal, topic, code, text});
    }
};
