#include "chatwindowfixture.h"

#include "common/testenv.h"

#include "net/serverconfig.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatwidget.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

namespace chatfixture {
const QString kPassword = QStringLiteral("Passw0rd!");
const qint64 kMe = 1001;

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}
} // namespace chatfixture

using namespace chatfixture;

namespace QTest {
template <>
char* toString(const Bubble& b)
{
    return qstrdup(qPrintable(
        QStringLiteral("Bubble(itemState=%1 storedState=%2)").arg(b.itemState).arg(b.storedState)));
}
} // namespace QTest

void ChatWindowFixture::logIn(const QString& pcName)
{
    static TestEnv env;
    env.applyToCurrentProcess();
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    m_session = std::make_unique<MtSession>(ServerConfig::fromFile(m_server.clientIni()));
    m_session->setChatWindows(&m_windows);
    QSignalSpy rooms(m_session.get(), &MtSession::roomsReady);
    QSignalSpy connected(m_session.get(), &MtSession::messagingConnected);
    QVERIFY(m_session->login(QStringLiteral("user001"), kPassword, false, pcName));
    QVERIFY(rooms.wait(30000));
    QVERIFY(connected.count() > 0 || connected.wait(30000));
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
    m_windows.open.insert(room.topic());
    auto dialog = std::make_unique<ChatDialog>(m_session.get(), room);
    dialog->show();
    return dialog;
}

QPlainTextEdit* ChatWindowFixture::inputBox(ChatDialog& dialog)
{
    return dialog.findChild<QPlainTextEdit*>(QStringLiteral("textEdit"));
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
