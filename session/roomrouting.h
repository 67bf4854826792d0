#pragma once

#include <QString>

// Where a room event (invitation, admission, leave) goes: the open chat window of the room, the
// room list, the presence. Decided from the item alone; the window applies what concerns a
// window only when the room's window is open.
class RoomRouting
{
public:
    struct Action
    {
        bool windowRoom = false;      // the open window takes the new room
        bool windowNotice = false;    // the open window shows the notice chat
        bool listUpsert = false;      // the row is updated, or added at the end when missing
        bool listRemove = false;      // the row goes
        bool listLastMessage = false; // the notice becomes the row's last message
        bool closeWindow = false;     // the window closes (the user left on another session)
        bool dropPresence = false;    // nobody of the user's other sessions is inside any more
        bool operator==(const Action& o) const
        {
            return windowRoom == o.windowRoom && windowNotice == o.windowNotice &&
                   listUpsert == o.listUpsert && listRemove == o.listRemove &&
                   listLastMessage == o.listLastMessage && closeWindow == o.closeWindow &&
                   dropPresence == o.dropPresence;
        }
        QString toString() const;
    };

    // itemType: MqttManager::MessageItem::Invite, Admission or Leave; dataState of the room
    // record (store/dbtypes.h DataState); noticeId: the stored notice chat's id, 0 when none.
    static Action route(int itemType, int dataState, int roomType, qint64 noticeId);
};
