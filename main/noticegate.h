#pragma once

#include <functional>

class QWidget;
class QString;

// One failure notice at a time. A box opened from a slot runs its own event loop, in which the
// next failure (a ping every 60 s with the server away) would open another box inside it, and so
// on all night. While a notice of this gate is up, further notices are dropped and counted.
class NoticeGate
{
public:
    static constexpr int kDropped = -1;

    // Shows the program's message box with the text, or drops it; the box's result or kDropped.
    int information(QWidget* parent, const QString& text);
    // Runs `showBox` (which shows one modal notice and returns its result), or drops it.
    int run(const std::function<int()>& showBox);
    // A question the user must answer (take over a session, update the program) is never
    // dropped: it shows even while a notice is up, on top of it, and its answer is returned.
    int ask(const std::function<int()>& showBox);

    bool isOpen() const { return m_open; }
    // Notices dropped since the gate was made.
    int droppedCount() const { return m_dropped; }

private:
    bool m_open = false;
    int m_dropped = 0;
};
