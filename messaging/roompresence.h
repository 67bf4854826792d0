#pragma once

#include <QString>

// What the receiving side of the messaging session needs to know about the windows, to decide
// whether an incoming chat counts as read at once. The main window answers it.
//
// Both operations are called on the MQTT delivery thread, never on the GUI thread, while the GUI
// thread changes the state they read (windows activated and closed, other sessions entering and
// leaving rooms). An implementation therefore keeps the answers in state of its own that it
// guards with a lock, updated from the GUI thread when the windows change; it must not touch
// widgets from these calls (QApplication::activeWindow() and friends are GUI-thread only), and it
// must not wait for the GUI thread, which may itself be waiting for the messaging session.
class RoomPresence
{
public:
    virtual ~RoomPresence() = default;
    // Another session of the same user has the room open (it entered and has not left).
    virtual bool isInRoom(const QString& topic) const = 0;
    // The room's chat window is the active window of this program.
    virtual bool isActiveChatWindow(const QString& topic) const = 0;
};
