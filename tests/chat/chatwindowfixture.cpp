#include "chatwindowfixture.h"

#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>

void ChatWindowFixture::logIn(const QString& device)
{
    m_env.applyToCurrentProcess();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    m_login = std::make_unique<LoggedIn>(m_server, QStringLiteral("user001"), LoggedIn::kPassword,
                                         device);
    QVERIFY(m_login->ok);
}

DBChatRoom ChatWindowFixture::newRoom()
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

DBChatRoom ChatWindowFixture::newGroupRoom()
{
    DBChatRoom room = newRoom();
    while (room.type() != RoomType1VSN)
        room = newRoom();
    return room;
}

DBChatRoom ChatWindowFixture::newDummyRoom()
{
    DBChatRoom dummy(db());
    dummy.setType(RoomType1VSN);
    dummy.setMembers(newGroupRoom().members());
    return dummy;
}

std::unique_ptr<ChatDialog> ChatWindowFixture::open(const DBChatRoom& room)
{
    m_login->windows.open.insert(room.topic());
    auto dialog = std::make_unique<ChatDialog>(session(), room);
    dialog->show();
    return dialog;
}

QPlainTextEdit* ChatWindowFixture::inputBox(ChatDialog& dialog)
{
    return dialog.findChild<QPlainTextEdit*>(QStringLiteral("textEdit"));
}

void ChatWindowFixture::paste(ChatDialog& dialog, QMimeData* mime)
{
    QGuiApplication::clipboard()->setMimeData(mime);
    QPlainTextEdit* box = inputBox(dialog);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

QStringList ChatWindowFixture::storeChats(const QString& topic, int count, const QString& text,
                                          const QMap<int, QString>& special, int lengths)
{
    QStringList ids;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - count * 1000;
    for (int i = 0; i < count; ++i) {
        DBChat chat = chatRecord(
            topic, QStringLiteral("t-%1-%2").arg(roomId(topic)).arg(start + i * 1000),
            i % 2 ? kMe : 1002, start + i * 1000,
            special.value(count - 1 - i,
                          QStringLiteral("%1 %2").arg(text.repeated(i % lengths + 1)).arg(i)));
        chat.setMsgRead(true);
        chat.insertOrUpdate();
        ids << chat.msgId();
    }
    return ids;
}

DBChat ChatWindowFixture::chatRecord(const QString& topic, const QString& id, qint64 sender,
                                     qint64 time, const QString& text) const
{
    DBChat chat(db());
    chat.setTopic(topic);
    chat.setMsgId(id);
    chat.setMsgType(MsgTypeChat);
    chat.setSenderId(sender);
    chat.setMsgTime(time);
    chat.setContent(ContentTypeText, text);
    chat.setMsgState(MsgStateConfirmed);
    return chat;
}

int ChatWindowFixture::storedState(const QString& topic, const QString& messageId)
{
    DBChat chat(db());
    return db()->findChat(topic, messageId, chat) ? chat.msgState() : -1;
}

Bubble ChatWindowFixture::bubble(const ChatDialog& dialog, const QString& messageId)
{
    MtChatBaseItem* item = dialog.chatView()->findItem(messageId);
    return {item ? item->state() : -1, storedState(dialog.topic(), messageId)};
}

QString ChatWindowFixture::newestOwnId(const QString& topic)
{
    QList<DBChat> page;
    db()->chatList(page, topic, 50, 0);
    QString id;
    for (const DBChat& chat : page)
        id = chat.senderId() == kMe ? chat.msgId() : id;
    return id;
}

QString ChatWindowFixture::writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(m_files.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

QImage ChatWindowFixture::picture(int width)
{
    QImage picture(width, 30, QImage::Format_RGB32);
    picture.fill(QColor(10, 120, 200));
    return picture;
}

QString ChatWindowFixture::pictureFile(const QString& name, int width)
{
    const QString path = m_files.filePath(name);
    picture(width).save(path, "PNG");
    return path;
}

QString ChatWindowFixture::chatFromOther(const DBChatRoom& room, const QJsonObject& fields)
{
    QJsonObject body = fields;
    body.insert("roomId", roomId(room.topic()));
    body.insert("userId", room.members().section(',', 0, 0).toLongLong());
    return m_server.control("POST", "/control/chat", body).toObject().value("messageId").toString();
}

void ChatWindowFixture::answerFileDialog(const QString& path)
{
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [poll, path] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        poll->deleteLater();
        chooser->selectFile(path);
        static_cast<QDialog*>(chooser)->accept(); // QFileDialog takes its chosen name
    });
    poll->start(10);
}
