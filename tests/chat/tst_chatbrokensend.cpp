// A file sent while the reference server answers nothing, its window closed before any answer:
// the chat is never left "Sending". Once the window has gone the stored chat is failed, a window
// opened later shows it with its resend button, and the resend delivers it once. What a stopped
// program left running is failed when its room's window opens.
#include "common/devserver.h"
#include "common/testenv.h"

#include "chat/chatdialog.h"
#include "net/serverconfig.h"
#include "session/chatwindowregistry.h"
#include "session/mtsession.h"
#include "store/dbchat.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchatwidget.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
const QString kPassword = QStringLiteral("Passw0rd!");
const qint64 kMe = 1001;

class OpenWindows : public ChatWindowRegistry
{
public:
    bool isChatWindowOpen(const QString& topic) const override { return open.contains(topic); }
    bool isChatWindowActive(const QString&) const override { return false; }
    QSet<QString> open;
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}

// The broken send as the reopened window shows it, and after its resend.
struct BrokenSend
{
    int storedOnReopen = -1; // msg_state when the window opens again
    int bubbleOnReopen = -1; // the bubble's state then (1: failed, with the resend button)
    int kept = -1;           // the room's file chats the server keeps after the resend
    QString keptName;        // the file name the kept chat names
    int keptWidth = -1;      // the picture width it names (0 for a file)
    QString keptId;          // its message id
    int storedAfter = -1;    // msg_state once the server's echo came back
    bool operator==(const BrokenSend& o) const
    {
        return storedOnReopen == o.storedOnReopen && bubbleOnReopen == o.bubbleOnReopen &&
               kept == o.kept && keptName == o.keptName && keptWidth == o.keptWidth &&
               keptId == o.keptId && storedAfter == o.storedAfter;
    }
};

// A chat as a window shows it when it opens: its stored msg_state and its bubble's state.
struct Shown
{
    int stored = -1;
    int bubble = -1;
    bool operator==(const Shown& o) const { return stored == o.stored && bubble == o.bubble; }
};
} // namespace

Q_DECLARE_METATYPE(Shown)

namespace QTest {
template <>
char* toString(const BrokenSend& b)
{
    return qstrdup(qPrintable(QStringLiteral("BrokenSend(storedOnReopen=%1 bubbleOnReopen=%2 "
                                             "kept=%3 keptName=%4 keptWidth=%5 keptId=%6 "
                                             "storedAfter=%7)")
                                  .arg(b.storedOnReopen)
                                  .arg(b.bubbleOnReopen)
                                  .arg(b.kept)
                                  .arg(b.keptName)
                                  .arg(b.keptWidth)
                                  .arg(b.keptId)
                                  .arg(b.storedAfter)));
}
template <>
char* toString(const Shown& s)
{
    return qstrdup(
        qPrintable(QStringLiteral("Shown(stored=%1 bubble=%2)").arg(s.stored).arg(s.bubble)));
}
} // namespace QTest

class TestChatBrokenSend : public QObject
{
    Q_OBJECT
private:
    DevServer m_server;
    std::unique_ptr<MtSession> m_session;
    OpenWindows m_windows;
    QTemporaryDir m_files;

    DBManager* db() const { return m_session->db(); }

    // A new room of user001 the server knows, stored locally without chats.
    DBChatRoom newRoom()
    {
        const QVector<DevBulkRoom> rooms = m_server.bulk(QStringLiteral("user001"), 1, 0, false);
        DBChatRoom room(db());
        room.setTopic(rooms.value(0).topic);
        room.setType(rooms.value(0).roomType);
        QStringList members;
        for (qint64 id : rooms.value(0).memberIds)
            members << QString::number(id);
        members.removeAll(QString::number(kMe));
        room.setMembers(members.join(QLatin1Char(',')));
        room.insertOrUpdate();
        return room;
    }
    static qint64 roomId(const QString& topic) { return topic.section('/', 1).toLongLong(); }
    std::unique_ptr<ChatDialog> open(const DBChatRoom& room)
    {
        m_windows.open.insert(room.topic());
        auto dialog = std::make_unique<ChatDialog>(m_session.get(), room);
        dialog->show();
        return dialog;
    }
    // Closes the window as its close button does; the window's owner deletes it afterwards.
    void close(std::unique_ptr<ChatDialog>& dialog)
    {
        m_windows.open.remove(dialog->topic());
        dialog->accept();
        dialog.reset();
    }
    // The newest own chat of the room in the store.
    QString newestOwnId(const QString& topic)
    {
        QList<DBChat> page;
        db()->chatList(page, topic, 50, 0);
        QString id;
        for (const DBChat& chat : page)
            id = chat.senderId() == kMe ? chat.msgId() : id;
        return id;
    }
    // The user, or the first other member of the room.
    static qint64 senderOf(const DBChatRoom& room, bool own)
    {
        return own ? kMe : room.members().section(',', 0, 0).toLongLong();
    }
    int storedState(const QString& topic, const QString& messageId)
    {
        DBChat chat(db());
        return db()->findChat(topic, messageId, chat) ? chat.msgState() : -1;
    }
    // The room's chats of a content type the server keeps.
    QJsonArray kept(const QString& topic, int contentType)
    {
        QJsonArray out;
        for (const QJsonValue& chat :
             m_server.control("GET", QStringLiteral("/control/history/%1").arg(roomId(topic)))
                 .toArray()) {
            if (chat["contentType"].toInt() == contentType)
                out.append(chat);
        }
        return out;
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_files.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }
    // A picture wider than a picture chat may be: it goes up as a scaled copy.
    QString widePicture(const QString& name)
    {
        const QString path = m_files.filePath(name);
        QImage picture(1500, 60, QImage::Format_RGB32);
        picture.fill(QColor(200, 120, 10));
        picture.save(path, "PNG");
        return path;
    }

private slots:
    void initTestCase()
    {
        static TestEnv env;
        env.applyToCurrentProcess();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        m_session = std::make_unique<MtSession>(ServerConfig::fromFile(m_server.clientIni()));
        m_session->setChatWindows(&m_windows);
        QSignalSpy rooms(m_session.get(), &MtSession::roomsReady);
        QSignalSpy connected(m_session.get(), &MtSession::messagingConnected);
        QVERIFY(m_session->login(QStringLiteral("user001"), kPassword, false,
                                 QStringLiteral("brokensend-pc")));
        QVERIFY(rooms.wait(30000));
        QVERIFY(connected.count() > 0 || connected.wait(30000));
    }
    void cleanup()
    {
        m_server.resume();
        m_windows.open.clear();
    }

    // The server paused while a file or a scaled picture goes up: the window closes with the
    // upload unanswered, and the chat is failed as it closes.
    void closedWindowFailsSend_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("asPicture");
        QTest::newRow("file") << writeFile(QStringLiteral("minutes.txt"), QByteArray(8 * 1024, 'm'))
                              << false;
        QTest::newRow("scaled picture") << widePicture(QStringLiteral("wide.png")) << true;
    }
    void closedWindowFailsSend()
    {
        QFETCH(QString, path);
        QFETCH(bool, asPicture);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.pause());
        dialog->uploadFiles({path}, asPicture);
        const QString id = newestOwnId(room.topic());
        const int whileUploading = storedState(room.topic(), id);
        close(dialog);
        const int afterClose = storedState(room.topic(), id);
        QVERIFY(m_server.resume());
        QCOMPARE((QList<int>{whileUploading, afterClose}),
                 (QList<int>{MsgStateUploading, MsgStateUploadFailed}));
    }

    // Reopened after the server is back: the failed chat offers its resend, which delivers it
    // once with its own message id (a picture at the width it was scaled to) and the stored chat
    // ends confirmed.
    void reopenedWindowResendsOnce_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("asPicture");
        QTest::addColumn<int>("contentType");
        QTest::addColumn<int>("keptWidth");
        QTest::newRow("file") << writeFile(QStringLiteral("agenda.txt"), QByteArray(8 * 1024, 'a'))
                              << false << 4 << 0;
        QTest::newRow("scaled picture")
            << widePicture(QStringLiteral("panorama.png")) << true << 2 << 1024;
    }
    void reopenedWindowResendsOnce()
    {
        QFETCH(QString, path);
        QFETCH(bool, asPicture);
        QFETCH(int, contentType);
        QFETCH(int, keptWidth);
        const DBChatRoom room = newRoom();
        auto dialog = open(room);
        QVERIFY(m_server.pause());
        dialog->uploadFiles({path}, asPicture);
        const QString id = newestOwnId(room.topic());
        close(dialog);
        QVERIFY(m_server.resume());

        auto reopened = open(room);
        BrokenSend seen;
        seen.storedOnReopen = storedState(room.topic(), id);
        MtChatBaseItem* item = reopened->chatView()->findItem(id);
        QVERIFY(item);
        seen.bubbleOnReopen = item->state();
        emit reopened->chatView()->resendClicked(id);
        QVERIFY(waitUntil([&] { return storedState(room.topic(), id) == MsgStateConfirmed; }));
        const QJsonArray chats = kept(room.topic(), contentType);
        const QJsonObject contents =
            QJsonDocument::fromJson(chats.at(0)["contents"].toString().toUtf8()).object();
        seen.kept = chats.size();
        seen.keptName = contents.value(QStringLiteral("file_name")).toString();
        seen.keptWidth = contents.value(QStringLiteral("width")).toInt();
        seen.keptId = chats.at(0)["messageId"].toString();
        seen.storedAfter = storedState(room.topic(), id);
        QCOMPARE(seen, (BrokenSend{MsgStateUploadFailed, MtChatItemState::Failed, 1,
                                   QFileInfo(path).fileName(), keptWidth, id, MsgStateConfirmed}));
    }

    // What a stopped program left behind: the user's own send or upload still running is shown
    // failed, with its resend, and stored so; another member's chat and an uploaded chat (sent
    // again when the session returns) keep their state.
    void openedWindowFailsWhatWasLeftRunning_data()
    {
        QTest::addColumn<bool>("own");
        QTest::addColumn<int>("contentType");
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("leftState");
        QTest::addColumn<Shown>("expected");
        const QString notUploaded =
            QStringLiteral(R"({"file_name":"left.txt","file_size":12,"remote_path_url":""})");
        const QString uploaded = QStringLiteral(
            R"({"file_name":"left.txt","file_size":12,"remote_path_url":"/files/left.txt"})");
        const QString text = QStringLiteral("left behind");
        QTest::newRow("upload running") << true << 4 << notUploaded << int(MsgStateUploading)
                                        << Shown{MsgStateUploadFailed, MtChatItemState::Failed};
        // 2: a text send that failed.
        QTest::newRow("text being sent")
            << true << 1 << text << int(MsgStateNew) << Shown{2, MtChatItemState::Failed};
        QTest::newRow("uploaded, not confirmed")
            << true << 4 << uploaded << int(MsgStateUploaded)
            << Shown{MsgStateUploaded, MtChatItemState::Failed};
        QTest::newRow("confirmed") << true << 1 << text << int(MsgStateConfirmed)
                                   << Shown{MsgStateConfirmed, MtChatItemState::Settled};
        QTest::newRow("another member's") << false << 1 << text << int(MsgStateNew)
                                          << Shown{MsgStateNew, MtChatItemState::Settled};
    }
    void openedWindowFailsWhatWasLeftRunning()
    {
        QFETCH(bool, own);
        QFETCH(int, contentType);
        QFETCH(QString, content);
        QFETCH(int, leftState);
        QFETCH(Shown, expected);
        const DBChatRoom room = newRoom();
        DBChat chat(db());
        chat.setMsgId(QStringLiteral("pc1001-left-%1").arg(QDateTime::currentMSecsSinceEpoch()));
        chat.setTopic(room.topic());
        chat.setMsgType(1);
        chat.setSenderId(senderOf(room, own));
        chat.setMsgTime(QDateTime::currentMSecsSinceEpoch());
        chat.setMsgState(leftState);
        chat.setMsgRead(true);
        QVERIFY(chat.setContent(contentType, content));
        chat.setFilePath(writeFile(QStringLiteral("left.txt"), QByteArray(12, 'l')));
        QVERIFY(chat.insert() > 0);

        auto dialog = open(room);
        MtChatBaseItem* item = dialog->chatView()->findItem(chat.msgId());
        QVERIFY(item);
        QCOMPARE((Shown{storedState(room.topic(), chat.msgId()), item->state()}), expected);
    }
};

QTEST_MAIN(TestChatBrokenSend)
#include "tst_chatbrokensend.moc"
