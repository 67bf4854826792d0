#pragma once

// What the chat window suites share: the reference server over TLS with its broker, user001
// logged in through a real MtSession, the registry of open windows, rooms the server knows and
// the window opened on one of them.
#include "common/devserver.h"

#include "chat/chatdialog.h"
#include "session/chatwindowregistry.h"
#include "session/mtsession.h"
#include "store/dbchatroom.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

class DBManager;
class QPlainTextEdit;

namespace chatfixture {
extern const QString kPassword;
extern const qint64 kMe; // user001

// Polls `done` with the event loop running until it holds or `timeoutMs` has passed.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000);
} // namespace chatfixture

// What the user sees of one chat (its bubble's state, -1 without a bubble) and what the store
// keeps of it (msg_state, -1 when not stored).
struct Bubble
{
    int itemState = -1;
    int storedState = -1;
    bool operator==(const Bubble& o) const
    {
        return itemState == o.itemState && storedState == o.storedState;
    }
};
Q_DECLARE_METATYPE(Bubble)

namespace QTest {
template <>
char* toString(const Bubble& b);
} // namespace QTest

// The windows a suite has open, as the session asks about them.
class OpenWindows : public ChatWindowRegistry
{
public:
    bool isChatWindowOpen(const QString& topic) const override { return open.contains(topic); }
    bool isChatWindowActive(const QString&) const override { return false; }
    QSet<QString> open;
};

// The base of a suite's test object; it has no slots, so Qt Test runs only the suite's own.
class ChatWindowFixture : public QObject
{
protected:
    DevServer m_server;
    std::unique_ptr<MtSession> m_session;
    OpenWindows m_windows;
    QTemporaryDir m_files;

    // Starts the server and logs user001 in from the device `pcName`, waiting for its rooms and
    // the broker; a failure is recorded against the calling test function.
    void logIn(const QString& pcName);

    DBManager* db() const { return m_session->db(); }

    // A new room of user001 the server knows, stored locally without chats.
    DBChatRoom newRoom();
    // A one-to-many room of user001 with three others who accept chats.
    DBChatRoom newGroupRoom();
    // A room not made yet, as a window is opened for before its first send: a one-to-many room's
    // members without a topic, not stored.
    DBChatRoom newDummyRoom();
    static qint64 roomId(const QString& topic) { return topic.section('/', 1).toLongLong(); }
    // The room's window, shown and registered as open.
    std::unique_ptr<ChatDialog> open(const DBChatRoom& room);
    static QPlainTextEdit* inputBox(ChatDialog& dialog);

    // The stored msg_state of the chat, -1 when the store has none.
    int storedState(const QString& topic, const QString& messageId);
    // The chat's bubble in the window and its stored state.
    Bubble bubble(const ChatDialog& dialog, const QString& messageId);
    // The newest own chat of the room in the store.
    QString newestOwnId(const QString& topic);
    // A file of these bytes in the suite's folder; its path.
    QString writeFile(const QString& name, const QByteArray& bytes);
};
