#pragma once

#include "store/dbchat.h"

#include <QString>

// What a new chat of a room should raise: nothing, a taskbar flash, a toast, the alarm sound.
// Decided without any widget from the facts the session knows when the burst of a room ends.
class NotificationDecision
{
public:
    // "Settings/AlarmType": what the alarm does.
    enum AlarmType
    {
        AlarmSound = 0,
        AlarmWindow = 1,
        AlarmWindowAndSound = 2,
    };

    struct Facts
    {
        bool login = false;       // a session is up
        bool lock = false;        // the lock page shows
        bool own = false;         // the user sent it (from another session)
        bool read = false;        // stored as read at once (window active, other session inside)
        bool inRoom = false;      // another session of the user is inside the room
        bool alarm = true;        // the bell is on
        bool topicAlarm = true;   // the room is not muted
        bool senderKnown = false; // the sender is in the directory
        int alarmType = AlarmWindowAndSound;
    };

    struct Notice
    {
        bool flash = false;
        bool toast = false;
        bool sound = false;
        bool any() const { return flash || toast || sound; }
        bool operator==(const Notice& o) const
        {
            return flash == o.flash && toast == o.toast && sound == o.sound;
        }
        QString toString() const;
    };

    static Notice decide(const Facts& facts);
};

// One notice the window should give for a room: the newest chat of a burst and what to raise.
struct NotifyRequest
{
    QString topic;
    qint64 senderId = 0;
    QString senderName;
    QString text;
    QString senderThumbUrl;
    NotificationDecision::Notice notice;
};
