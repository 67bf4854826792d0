#pragma once

#include "session/chatwindowregistry.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QTimer>

class ChatDialog;
class DBChatRoom;
class MtSession;
class QWidget;

// The open chat windows of the main window: one per room topic, plus the windows of rooms not yet
// created on the server (no topic). It opens or raises a room's window, places a window without
// saved geometry beside the main window (each next one 10 pixels further), closes them all at
// log off and lock, and answers the session which rooms have a window and which one is active.
//
// Windows are deleted later once closed, never under their own running slots. The idle lock waits
// while a modal box is up (GlobalEventFilter), so a window is not closed under its own nested
// event loop.
class ChatWindows : public QObject, public ChatWindowRegistry
{
    Q_OBJECT
public:
    static constexpr int kPlacementStep = 10;
    static constexpr int kReleaseDelayMs = 1000;

    // `mainWindow` is the window new chat windows are placed beside.
    explicit ChatWindows(QWidget* mainWindow, QObject* parent = nullptr);
    ~ChatWindows() override;

    void setSession(MtSession* session) { m_session = session; }

    // Shows and raises the room's window; false when none is open.
    bool raise(const QString& topic);
    // The room's window, made when missing, shown and raised.
    ChatDialog* open(const DBChatRoom& room);
    // A window for a room not yet created on the server (empty topic) with these members.
    ChatDialog* openDummy(const DBChatRoom& room, const QList<qint64>& invited);
    // The window of the one-to-one room with the user that is not created yet; null when none.
    ChatDialog* dummyFor(qint64 userId) const;
    ChatDialog* window(const QString& topic) const;
    QList<ChatDialog*> windows() const;
    int count() const { return windows().size(); }
    void close(const QString& topic);
    void closeAll();

    // Placement of a window without saved geometry.
    QPoint initPosition(const QSize& size);
    QPoint nextPosition(const QSize& size);
    // The main window moved or was resized: the next window starts beside it again.
    void resetPlacement() { m_placed = false; }

    // ChatWindowRegistry.
    bool isChatWindowOpen(const QString& topic) const override;
    bool isChatWindowActive(const QString& topic) const override;

signals:
    void activated(const QString& topic);
    void roomCreated(const DBChatRoom& room);
    void roomInvited(const DBChatRoom& room);
    void roomLeft(const QString& topic);
    void sessionFailure(int errCode, const QString& text);
    void newRoomRequested(const QList<qint64>& userIds);
    void openChatRoomRequested(qint64 userId);
    // A window the user was in has closed (Escape, Ctrl+W, its close button).
    void activeWindowClosed();

private:
    void adopt(ChatDialog* dialog);
    void present(ChatDialog* dialog);
    void forget(ChatDialog* dialog);
    // The candidate, or the place left of the main window when the candidate leaves the screen.
    QPoint onScreen(const QPoint& candidate, const QSize& size) const;

    QWidget* m_mainWindow;
    MtSession* m_session = nullptr;
    QList<QPointer<ChatDialog>> m_windows;
    QPoint m_lastPosition;
    bool m_placed = false;
    // A closed window's conversation and pictures leave freed memory behind that the allocator
    // would otherwise keep for good: given back once the closing is over.
    QTimer m_releaseMemory;
};
