#pragma once

// What the chat window suites share on top of a logged-in session.
#include "common/devserver.h"
#include "common/loggedin.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/wait.h"

#include "chat/chatdialog.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"

#include <QMap>
#include <QObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class DBManager;
class QMimeData;
class QPlainTextEdit;

// A chat's bubble state and stored msg_state (-1: none).
struct Bubble
{
    int itemState = -1, storedState = -1;
    MT_TYPED(Bubble, itemState, storedState)
};
Q_DECLARE_METATYPE(Bubble)

// The base of a suite's test object; it has no slots, so Qt Test runs only the suite's own.
class ChatWindowFixture : public QObject
{
protected:
    static constexpr qint64 kMe = 1001; // user001

    TestEnv m_env;
    DevServer m_server;
    std::unique_ptr<LoggedIn> m_login;
    QTemporaryDir m_files;

    // Starts the server and logs user001 in from `device`; a failure fails the calling test.
    void logIn(const QString& device);
    MtSession* session() const { return m_login->session.get(); }
    DBManager* db() const { return m_login->db(); }

    // A new room of user001 the server knows, stored locally without chats.
    DBChatRoom newRoom();
    // A one-to-many room of user001 with three others who accept chats.
    DBChatRoom newGroupRoom();
    // A room not made yet (before its first send): members without a topic, not stored.
    DBChatRoom newDummyRoom();
    static qint64 roomId(const QString& topic) { return topic.section('/', 1).toLongLong(); }
    // The room's window, shown and registered as open.
    std::unique_ptr<ChatDialog> open(const DBChatRoom& room);
    static QPlainTextEdit* inputBox(ChatDialog& dialog);
    // Puts `mime` on the clipboard and presses Ctrl+V in the window's input box.
    static void paste(ChatDialog& dialog, QMimeData* mime);

    // `count` confirmed chats stored a second apart, oldest first; their ids. Chat i holds `text`
    // i % lengths + 1 times, or what `special` names for it counted back from the newest.
    QStringList storeChats(const QString& topic, int count, const QString& text = "stored",
                           const QMap<int, QString>& special = {}, int lengths = 1);
    // A confirmed text chat of the room, not stored.
    DBChat chatRecord(const QString& topic, const QString& id, qint64 sender, qint64 time,
                      const QString& text) const;
    // The stored msg_state of the chat, -1 when the store has none.
    int storedState(const QString& topic, const QString& messageId);
    // The chat's bubble in the window and its stored state.
    Bubble bubble(const ChatDialog& dialog, const QString& messageId);
    // The newest own chat of the room in the store.
    QString newestOwnId(const QString& topic);
    // A file of these bytes in the suite's folder; its path.
    QString writeFile(const QString& name, const QByteArray& bytes);
    static QImage picture(int width);
    // The picture saved as a PNG in the suite's folder; its path.
    QString pictureFile(const QString& name, int width);
    // A chat of another member published by the server to the room; its message id.
    QString chatFromOther(const DBChatRoom& room, const QJsonObject& fields);
    // The next file dialog the program opens is answered with `path`.
    void answerFileDialog(const QString& path);
};
