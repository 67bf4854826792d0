#pragma once

#include "common/typed.h"
#include "common/wait.h"
#include "session/mtsession.h"

#include <QtTest>

// One signal of the session as a receiver hears it, reduced to what a test compares.
struct SessionEvent
{
    QString signal;
    QString topic = {};
    int code = 0;
    QString text = {};
    MT_TYPED(SessionEvent, signal, topic, code, text)
};

class SessionRecorder : public QObject
{
public:
    explicit SessionRecorder(MtSession* s)
    {
        using M = MtSession;
        connect(s, &M::loginSucceeded, this, [this] { add("loginSucceeded"); });
        connect(s, &M::loginFailed, this, [this](int code) { add("loginFailed", {}, code); });
        connect(s, &M::unlockFailed, this, [this](int code) { add("unlockFailed", {}, code); });
        connect(s, &M::versionRefused, this, [this](const QString& link) {
            add("versionRefused", {}, 0, link.isEmpty() ? "no link" : "link");
        });
        connect(s, &M::roomsReady, this, [this](bool show, bool listShown) {
            add("roomsReady", {}, show, listShown ? QStringLiteral("list shown") : QString());
        });
        connect(s, &M::requestFailed, this, [this](int req, int code) {
            add("requestFailed", {}, code, QString::number(req));
        });
        connect(s, &M::messagingConnected, this, [this] { add("messagingConnected"); });
        connect(s, &M::chatForWindow, this,
                [this](const QString& topic, const DBChat& c, bool own) {
                    add("chatForWindow", topic, own, c.content());
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
        connect(s, &M::unreadChanged, this,
                [this](const QString& t, int unread) { add("unread", t, unread); });
    }

    QList<SessionEvent> events;
    // The events of one signal, of one topic when given, in order.
    QList<SessionEvent> of(const QString& signal, const QString& topic = QString()) const
    {
        QList<SessionEvent> out;
        for (const SessionEvent& e : events) {
            if (e.signal == signal && (topic.isNull() || e.topic == topic))
                out << e;
        }
        return out;
    }
    // Waits until the signal has come `count` times (for the topic, when given).
    bool waitFor(const QString& signal, const QString& topic = QString(), int count = 1)
    {
        return waitUntil([&] { return of(signal, topic).size() >= count; });
    }

private:
    void add(const QString& signal, const QString& topic = {}, int code = 0,
             const QString& text = {})
    {
        events.append({signal, topic, code, text});
    }
};
