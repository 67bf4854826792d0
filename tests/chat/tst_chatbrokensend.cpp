// A file sent while the reference server answers nothing, its window closed before any answer:
// the chat is never left "Sending". Once the window has gone the stored chat is failed, a window
// opened later shows it with its resend button, and the resend delivers it once. What a stopped
// program left running is failed when its room's window opens.
#include "chatwindowfixture.h"

#include "common/devserver.h"

#include "chat/chatdialog.h"
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
#include <QtTest>

#include <functional>
#include <memory>

using namespace chatfixture;

namespace {
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
} // namespace

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
} // namespace QTest

class TestChatBrokenSend : public ChatWindowFixture
{
    Q_OBJECT
private:
    // Closes the window as its close button does; the window's owner deletes it afterwards.
    void close(std::unique_ptr<ChatDialog>& dialog)
    {
        m_windows.open.remove(dialog->topic());
        dialog->accept();
        dialog.reset();
    }
    // The user, or the first other member of the room.
    static qint64 senderOf(const DBChatRoom& room, bool own)
    {
        return own ? kMe : room.members().section(',', 0, 0).toLongLong();
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
    void initTestCase() { logIn(QStringLiteral("brokensend-pc")); }
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
        QTest::addColumn<Bubble>("expected");
        const QString notUploaded =
            QStringLiteral(R"({"file_name":"left.txt","file_size":12,"remote_path_url":""})");
        const QString uploaded = QStringLiteral(
            R"({"file_name":"left.txt","file_size":12,"remote_path_url":"/files/left.txt"})");
        const QString text = QStringLiteral("left behind");
        QTest::newRow("upload running") << true << 4 << notUploaded << int(MsgStateUploading)
                                        << Bubble{MtChatItemState::Failed, MsgStateUploadFailed};
        // 2: a text send that failed.
        QTest::newRow("text being sent")
            << true << 1 << text << int(MsgStateNew) << Bubble{MtChatItemState::Failed, 2};
        QTest::newRow("uploaded, not confirmed")
            << true << 4 << uploaded << int(MsgStateUploaded)
            << Bubble{MtChatItemState::Failed, MsgStateUploaded};
        QTest::newRow("confirmed") << true << 1 << text << int(MsgStateConfirmed)
                                   << Bubble{MtChatItemState::Settled, MsgStateConfirmed};
        QTest::newRow("another member's") << false << 1 << text << int(MsgStateNew)
                                          << Bubble{MtChatItemState::Settled, MsgStateNew};
    }
    void openedWindowFailsWhatWasLeftRunning()
    {
        QFETCH(bool, own);
        QFETCH(int, contentType);
        QFETCH(QString, content);
        QFETCH(int, leftState);
        QFETCH(Bubble, expected);
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
        QCOMPARE(bubble(*dialog, chat.msgId()), expected);
    }
};

QTEST_MAIN(TestChatBrokenSend)
#include "tst_chatbrokensend.moc"
