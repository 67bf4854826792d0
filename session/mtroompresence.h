#pragma once

#include "messaging/roompresence.h"

#include <QHash>
#include <QString>

#include <functional>
#include <mutex>

// Which rooms the user's other sessions are inside, and which room's chat window is active,
// as the receiving side asks it on the delivery thread. The GUI thread writes it when read
// events arrive and when windows are activated or closed; both sides take the object's own
// mutex and nothing else, so no answer waits for the GUI thread.
//
// A session that entered a room and vanished without leaving it would silence the room for
// good, so an entry lasts only `expiryMs` after it was last seen (entered or "here"), and
// everything is forgotten at log off and login.
class MtRoomPresence : public RoomPresence
{
public:
    static constexpr qint64 kDefaultExpiryMs = 5 * 60 * 1000;
    using Clock = std::function<qint64()>;

    // clock: milliseconds of a monotonic clock (a steady clock when empty).
    explicit MtRoomPresence(qint64 expiryMs = kDefaultExpiryMs, Clock clock = Clock());

    // This session's client id, which never counts as another session.
    void setOwnClientId(const QString& clientId);
    // Another session is inside the room (it entered, or said it is still there).
    void enter(const QString& topic, const QString& clientId);
    void leave(const QString& topic, const QString& clientId);
    // The room is gone (left, removed): nobody is inside.
    void dropRoom(const QString& topic);
    // The active chat window's room; empty when no chat window is active.
    void setActiveTopic(const QString& topic);
    // Log off and login.
    void clear();

    // RoomPresence, on any thread.
    bool isInRoom(const QString& topic) const override;
    bool isActiveChatWindow(const QString& topic) const override;

private:
    qint64 now() const;

    const qint64 m_expiryMs;
    const Clock m_clock;
    mutable std::mutex m_mutex;
    QString m_ownClientId;
    QString m_activeTopic;
    // topic -> client id -> when it was last seen
    QHash<QString, QHash<QString, qint64>> m_rooms;
};
