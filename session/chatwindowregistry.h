#pragma once

#include <QString>

// What the session needs to know of the chat windows, answered by the window that owns them
// (on the GUI thread only).
class ChatWindowRegistry
{
public:
    virtual ~ChatWindowRegistry() = default;
    // A chat window of the room exists (shown or not).
    virtual bool isChatWindowOpen(const QString& topic) const = 0;
    // The room's chat window is the active window of the program.
    virtual bool isChatWindowActive(const QString& topic) const = 0;
};
