// The messaging session against a real mosquitto broker and a real encrypted store: payloads
// published by another client travel through the broker to MqttManager's delivery thread, are
// stored through its own connection and come out of the queue as message items; the test reads
// the file back through the GUI thread's connection. A PUSH published after each case marks the
// end of its items, since the broker keeps the order of one publisher.
#include "common/mosquittobroker.h"
#include "common/testenv.h"
#include "deliveryrecorder.h"
#include "main/mtdata.h"
#include "messaging/mqttmanager.h"
#include "messaging/payloadcodec.h"
#include "messaging/roompresence.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/unreadcounts.h"
#include "storefixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using Item = MqttManager::MessageItem;
using Items = std::vector<std::unique_ptr<Item>>;

namespace {
const qint32 kMe = 7;
const qint32 kAlice = 8;
const qint32 kBob = 9;
const qint32 kCarol = 10;
const QString kClientId = QStringLiteral("client-A");
const QString kOtherSession = QStringLiteral("client-B");
const QString kKey = QStringLiteral("access-key-7");
const qint64 kT = 1700000000000;

// The main window's side of the seam, as the tests need it.
class Presence : public RoomPresence
{
public:
    bool isInRoom(const QString& topic) const override { return is(topic, QStringLiteral("in")); }
    bool isActiveChatWindow(const QString& topic) const override
    {
        return is(topic, QStringLiteral("active"));
    }
    void set(const QString& topic, const QString& state)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_topic = topic;
        m_state = state;
    }

private:
    bool is(const QString& topic, const QString& state) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_topic == topic && m_state == state;
    }
    mutable std::mutex m_mutex;
    QString m_topic;
    QString m_state;
};

QByteArray chatPayload(qint32 sender, int contentType, const QString& id, const QString& text,
                       qint64 time = kT)
{
    return PayloadCodec::encode(ChatPayload::chat(time, sender, quint8(contentType), id, {}, text));
}

QByteArray eventPayload(int type, qint32 sender, const QString& id, const QString& contents)
{
    return PayloadCodec::encode(ChatPayload::event(kT, quint8(type), sender, id, contents));
}

QString json(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson());
}

// A room event's contents: the room object as the server returns it, with the own user among
// the members, and the ids of those who were let in.
QString roomEvent(int roomId, int type, const QList<qint32>& members,
                  const QStringList& invited = {})
{
    QJsonArray array;
    for (qint32 id : members)
        array << QJsonObject{{"joinUserId", id}};
    const QJsonObject room{{"chattRoomId", roomId},
                           {"chattRoomType", QString::number(type)},
                           {"openDatetime", kT},
                           {"updDatetime", kT},
                           {"members", array}};
    return json({{"chatRoomInfo", room}, {"inviteUserIds", QJsonArray::fromStringList(invited)}});
}

QList<int> types(const Items& items)
{
    QList<int> out;
    for (const auto& item : items)
        out << item->type();
    return out;
}

template <typename T>
const T* first(const Items& items)
{
    for (const auto& item : items) {
        if (const T* t = dynamic_cast<const T*>(item.get()))
            return t;
    }
    return nullptr;
}
} // namespace

class TestMqttManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void alreadyConnected();
    void chat_data();
    void chat();
    void ownEchoConfirmsTheStoredChat();
    void invite_data();
    void invite();
    void admission();
    void roomEventOfAnotherRoom_data();
    void roomEventOfAnotherRoom();
    void leave_data();
    void leave();
    void enterReadFromOwnSession_data();
    void enterReadFromOwnSession();
    void readReceipts();
    void sessionEvents_data();
    void sessionEvents();
    void logoutSignal();
    void badPayloadsDropped();
    void sendOperations();
    void history_data();
    void history();
    void sessionObjectDeletedWhileRead();

private:
    // Publishes the payloads in order, then a marker, and returns what was queued before it.
    Items deliver(const QList<QPair<QString, QByteArray>>& messages);
    Items deliver(const QString& topic, const QByteArray& payload)
    {
        return deliver({{topic, payload}});
    }
    // A new room of its own for each case.
    QString newRoom(int type, const QString& members)
    {
        const QString topic = QStringLiteral("chat/%1").arg(++m_rooms);
        m_store->addRoom(topic, type, members);
        return topic;
    }
    void storeChat(const QString& topic, const QString& id, qint32 sender, qint64 time, int state)
    {
        m_store->addChat(topic, id, sender, time, state, 1, QStringLiteral("stored ") + id);
    }
    // Chats WHERE `condition`=value.
    qint64 chatRows(const QString& condition, const QString& value)
    {
        return m_store->number(
            QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE %1=?").arg(condition), {value});
    }

    TestEnv m_env;
    MosquittoBroker m_broker;
    std::unique_ptr<StoreFixture> m_store;
    DBManager* m_db = nullptr;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<MqttManager> m_manager;
    std::unique_ptr<QMQTT::Client> m_publisher;
    // Everything published by the session under test, as a second subscriber sees it.
    DeliveryRecorder m_observer;
    std::unique_ptr<QMQTT::Client> m_observerClient;
    Presence m_presence;
    int m_marker = 0;
    int m_rooms = 100;
};

void TestMqttManager::initTestCase()
{
    QVERIFY(m_env.isValid());
    m_env.applyToCurrentProcess();
    if (!MosquittoBroker::toolsAvailable())
        QSKIP("mosquitto and its clients are needed (scripts/setup.sh)");
    QVERIFY(m_broker.addUser(QString::number(kMe), kKey));
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorString()));
    // The chat server subscribes a session to its rooms; the broker keeps that for the id.
    QVERIFY(m_broker.subscribeSession(kClientId, {QStringLiteral("chat/#")}));
    QVERIFY(m_broker.subscribeSession(QStringLiteral("observer"), {QStringLiteral("chat/#")}));

    m_store = std::make_unique<StoreFixture>();
    m_db = &m_store->db();
    m_session = std::make_unique<MTData>(m_db);
    DBEditor editor;
    m_session->setUserId(editor, kMe);
    m_session->setClientId(editor, kClientId);
    m_session->setUserName(editor, QStringLiteral("Me"));
    m_store->addUser(kMe, QStringLiteral("Me"));
    m_store->addUser(kAlice, QStringLiteral("Alice"));
    m_store->addUser(kBob, QStringLiteral("Bob"));
    m_store->addUser(kCarol, QStringLiteral("Carol"));

    m_manager = std::make_unique<MqttManager>(m_store->file());
    QCOMPARE(MqttManager::instance(), m_manager.get());
    m_manager->setRoomPresence(&m_presence);
    QSignalSpy connected(m_manager.get(), &MqttManager::connected);
    m_manager->setConnectionInfo(m_broker.host(), m_broker.port(), kClientId, QString::number(kMe),
                                 kKey);
    m_manager->connectToHost();
    QVERIFY(connected.wait(10000));

    auto client = [this](const QString& id, QMQTT::ClientDelegate* delegate) {
        auto c = delegate ? std::make_unique<QMQTT::Client>(delegate)
                          : std::make_unique<QMQTT::Client>();
        c->setHostName(m_broker.host());
        c->setPort(m_broker.port());
        c->setClientId(id);
        c->setUsername(QString::number(kMe));
        c->setPassword(kKey.toLatin1());
        c->connectToHost();
        return c;
    };
    m_publisher = client(QStringLiteral("publisher"), nullptr);
    m_observerClient = client(QStringLiteral("observer"), &m_observer);
    QTRY_VERIFY_WITH_TIMEOUT(m_publisher->isConnectedToHost(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_observerClient->isConnectedToHost(), 10000);
}

void TestMqttManager::cleanupTestCase()
{
    m_publisher.reset();
    m_observerClient.reset();
    m_manager.reset();
    QCOMPARE(MqttManager::instance(), nullptr);
    // The delivery thread's connection is gone with the manager.
    QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(DBManager::kConnectionMqtt)));
}

Items TestMqttManager::deliver(const QList<QPair<QString, QByteArray>>& messages)
{
    for (const auto& m : messages)
        m_publisher->publish(QMQTT::Message(0, m.first, m.second, 1));
    const QString marker = QStringLiteral("marker-%1").arg(++m_marker);
    m_publisher->publish(QMQTT::Message(0, QStringLiteral("chat/marker"),
                                        PayloadCodec::encode(ChatPayload::push(kT, 1, marker)), 1));
    Items items;
    while (m_manager->waitForMessageItem(10000)) {
        std::unique_ptr<Item> item = m_manager->takeMessageItem();
        const auto* push = dynamic_cast<const MqttManager::PushMessageItem*>(item.get());
        if (push && push->contents() == marker)
            return items;
        items.push_back(std::move(item));
    }
    qWarning("the marker did not arrive");
    return items;
}

void TestMqttManager::alreadyConnected()
{
    // Another host, port and identity: the first connection stays, and keeps delivering.
    QTest::ignoreMessage(QtDebugMsg, "MqttManager::connectToHost - already connected");
    m_manager->connectToHost(QStringLiteral("192.0.2.1"), 1, QStringLiteral("other"),
                             QStringLiteral("1"), QStringLiteral("x"));
    QVERIFY(m_manager->isConnectedToHost());
    QCOMPARE(types(deliver(QStringLiteral("chat/1"),
                           eventPayload(ChatPayload::TypePush, 1, QString(), "{}"))),
             QList<int>{Item::Push});
}

void TestMqttManager::chat_data()
{
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("items");
    QTest::addColumn<QString>("presence");   // "in" (room), "active" (window) or "no room"
    QTest::addColumn<bool>("read");          // stored as read; unread ones count 1 more
    QTest::addColumn<QString>("senderName"); // empty: nothing stored

    const QList<int> chat{Item::Chat};
    const QString img = json({{"width", 640},
                              {"height", 480},
                              {"file_name", "a.png"},
                              {"remote_thumb_url", "/t/a.png"},
                              {"remote_path_url", "/p/a.png"}});
    const QString refresh = MqttManager::kRefreshText;
    QTest::newRow("other, unread") << kAlice << 1 << "hello" << chat << "" << false << "Alice";
    QTest::newRow("other, active window")
        << kAlice << 1 << "hello" << chat << "active" << true << "Alice";
    QTest::newRow("other, in room elsewhere")
        << kAlice << 1 << "hi" << chat << "in" << true << "Alice";
    QTest::newRow("other, picture") << kBob << 2 << img << chat << "" << false << "Bob";
    QTest::newRow("other, sender unknown")
        << 4242 << 1 << "who" << chat << "" << false << "Unknown user";
    QTest::newRow("other, unknown content type")
        << kAlice << 5 << "x" << QList<int>{} << "" << false << "";
    QTest::newRow("other, no room")
        << kAlice << 1 << "first" << QList<int>{Item::NoRoomExist, Item::Chat} << "no room" << false
        << "Alice";
    QTest::newRow("other, refresh text is a message")
        << kAlice << 1 << refresh << chat << "" << false << "Alice";
    QTest::newRow("own, other session") << kMe << 1 << "mine" << chat << "" << true << "Me";
    QTest::newRow("own, refresh ignored")
        << kMe << 1 << refresh << QList<int>{} << "no room" << false << "";
    QTest::newRow("own, refresh in capitals stored")
        << kMe << 1 << "!*REFRESH*!" << chat << "" << true << "Me";
}

void TestMqttManager::chat()
{
    QFETCH(qint32, sender);
    QFETCH(int, contentType);
    QFETCH(QString, text);
    QFETCH(QList<int>, items);
    QFETCH(QString, presence);
    QFETCH(bool, read);
    QFETCH(QString, senderName);

    const QString topic = presence == QLatin1String("no room")
                              ? QStringLiteral("chat/%1").arg(++m_rooms)
                              : newRoom(RoomType1VS1, QString::number(kAlice));
    m_presence.set(topic, presence);
    const QString id = QStringLiteral("msg-") + topic;
    const Items got = deliver(topic, chatPayload(sender, contentType, id, text, kT + 5));
    m_presence.set(QString(), QString());

    QCOMPARE(types(got), items);
    QCOMPARE(unreadCounts().get(topic), senderName.isEmpty() || read ? 0 : 1);
    DBChat row;
    QCOMPARE(m_db->findChat(topic, id, row), !senderName.isEmpty());
    if (senderName.isEmpty())
        return;
    QCOMPARE(row.msgRead(), read);
    QCOMPARE(row.msgState(), int(MsgStateConfirmed));
    QCOMPARE(row.msgTime(), kT + 5);
    const auto* item = first<MqttManager::ChatMessageItem>(got);
    QCOMPARE(item->chat().msgId(), id);
    QCOMPARE(item->chat().senderName(), senderName);
    QCOMPARE(item->chat().msgRead(), read);
    // The GUI thread gets no way to the delivery thread's connection.
    QCOMPARE(item->chat().dbManager(), nullptr);
    if (contentType == ContentTypeImage) {
        QCOMPARE(row.fileName(), QStringLiteral("a.png"));
        QCOMPARE(row.width(), 640);
        QCOMPARE(item->chat().remotePathUrl(), QStringLiteral("/p/a.png"));
    }
}

void TestMqttManager::ownEchoConfirmsTheStoredChat()
{
    // (A duplicate of another user's chat is counted once: see the receive batch test.)
    const QString topic = newRoom(RoomType1VS1, QString::number(kAlice));
    const QString own = QStringLiteral("client-A-1");
    storeChat(topic, own, kMe, kT - 1000, MsgStateNew);
    QCOMPARE(types(deliver(topic, chatPayload(kMe, 1, own, "x", kT + 9))), QList<int>{Item::Chat});
    QCOMPARE(chatRows("msg_id", own), 1);
    DBChat row;
    QVERIFY(m_db->findChat(topic, own, row));
    QCOMPARE(row.msgState(), int(MsgStateConfirmed));
    QCOMPARE(row.msgTime(), kT + 9);
    QCOMPARE(row.content(), QStringLiteral("stored client-A-1"));
    QCOMPARE(unreadCounts().get(topic), 0);
}

void TestMqttManager::invite_data()
{
    QTest::addColumn<int>("roomType");
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<QString>("storedMembers"); // a stored room before, or empty
    QTest::addColumn<int>("dataState");
    QTest::addColumn<QString>("notice");

    QTest::newRow("group room from another user")
        << int(RoomType1VSN) << kAlice << "" << int(DataStateInsert) << "Bob,Me";
    QTest::newRow("group room from another session")
        << int(RoomType1VSN) << kMe << "" << int(DataStateInsert) << "Bob,Alice";
    QTest::newRow("one-to-one room: no notice")
        << int(RoomType1VS1) << kAlice << "" << int(DataStateInsert) << "";
    QTest::newRow("members changed")
        << int(RoomType1VSN) << kAlice << "8" << int(DataStateUpdate) << "Bob,Me";
    QTest::newRow("unchanged room")
        << int(RoomType1VSN) << kAlice << "8,9" << int(DataStateNone) << "Bob,Me";
}

void TestMqttManager::invite()
{
    QFETCH(int, roomType);
    QFETCH(qint32, sender);
    QFETCH(QString, storedMembers);
    QFETCH(int, dataState);
    QFETCH(QString, notice);

    const QString topic = storedMembers.isEmpty() ? QStringLiteral("chat/%1").arg(++m_rooms)
                                                  : newRoom(roomType, storedMembers);
    const int roomId = topic.mid(5).toInt();
    const bool group = roomType == RoomType1VSN;
    const QString contents = roomEvent(
        roomId, roomType, group ? QList<qint32>{kMe, kAlice, kBob} : QList<qint32>{kMe, kAlice});
    const QString id = QStringLiteral("client-X-inv%1").arg(roomId);
    const QByteArray payload = eventPayload(ChatPayload::TypeInvite, sender, id, contents);
    Items got = deliver(topic, payload);
    QCOMPARE(types(got), QList<int>{Item::Invite});
    const auto* item = first<MqttManager::InviteMessageItem>(got);
    QCOMPARE(item->room().topic(), topic);
    QCOMPARE(item->room().type(), roomType);
    QCOMPARE(item->room().dataState(), dataState);
    QCOMPARE(item->chat().content(), notice);

    DBChatRoom room;
    QVERIFY(m_db->findChatRoom(topic, room));
    QCOMPARE(room.members(), group ? QStringLiteral("8,9") : QStringLiteral("8"));
    QCOMPARE(chatRows("msg_id", id), notice.isEmpty() ? 0 : 1);
    if (notice.isEmpty())
        return;
    QCOMPARE(item->chat().msgType(), int(MsgTypeInvite));
    QCOMPARE(item->chat().senderName(),
             sender == kMe ? QStringLiteral("Me") : QStringLiteral("Alice"));

    // The same invitation again: stored already, nothing queued, unless it is the user's own
    // echo, which is confirmed.
    QCOMPARE(types(deliver(topic, payload)),
             sender == kMe ? QList<int>{Item::Invite} : QList<int>{});
    QCOMPARE(chatRows("msg_id", id), 1);
}

void TestMqttManager::admission()
{
    const QString topic = QStringLiteral("chat/%1").arg(++m_rooms);
    const QByteArray payload = eventPayload(
        ChatPayload::TypeAdmission, kAlice, QStringLiteral("adm-1"),
        roomEvent(m_rooms, RoomType1VSN, {kMe, kAlice, kBob, kCarol}, {"9", "4242", "10"}));
    Items got = deliver(topic, payload);
    QCOMPARE(types(got), QList<int>{Item::Admission});
    const auto* item = first<MqttManager::AdmissionMessageItem>(got);
    // Unknown ids are left out, the array's order is kept.
    QCOMPARE(item->chat().content(), QStringLiteral("Bob,Carol"));
    QCOMPARE(item->chat().msgType(), int(MsgTypeAdmission));
    QCOMPARE(item->room().members(), QStringLiteral("8,9,10"));
    QCOMPARE(item->room().dataState(), int(DataStateInsert));

    QVERIFY(deliver(topic, payload).empty());
    QCOMPARE(chatRows("msg_id", QStringLiteral("adm-1")), 1);
}

void TestMqttManager::roomEventOfAnotherRoom_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("INVITE") << int(ChatPayload::TypeInvite);
    QTest::newRow("ADMISSION") << int(ChatPayload::TypeAdmission);
}

void TestMqttManager::roomEventOfAnotherRoom()
{
    // A member of one room names another room of the user in an event on the first room's
    // topic: neither room changes.
    QFETCH(int, type);
    const QString other = newRoom(RoomType1VS1, QString::number(kAlice));
    const QString topic = QStringLiteral("chat/%1").arg(++m_rooms);
    const QString id = QStringLiteral("client-X-other%1").arg(type);
    const QString contents =
        roomEvent(other.mid(5).toInt(), RoomType1VSN, {kMe, kBob, kCarol}, {"9"});
    QVERIFY(deliver(topic, eventPayload(type, kBob, id, contents)).empty());
    DBChatRoom room;
    QVERIFY(m_db->findChatRoom(other, room));
    QCOMPARE(room.type(), int(RoomType1VS1));
    QCOMPARE(room.members(), QString::number(kAlice));
    QVERIFY(!m_db->chatRoomExists(topic));
    QCOMPARE(chatRows("msg_id", id), 0);
}

void TestMqttManager::leave_data()
{
    QTest::addColumn<int>("roomType");
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<QString>("roomAfter"); // type|members|notice; empty when removed

    QTest::newRow("partner left a one-to-one room")
        << int(RoomType1VS1) << kAlice << "client-X-1" << true << "40|8|";
    QTest::newRow("member left a group room")
        << int(RoomType1VSN) << kAlice << "client-X-2" << true << "30|9|Alice";
    QTest::newRow("unknown member left a group room")
        << int(RoomType1VSN) << 4242 << "client-X-3" << false << "30|8,9|";
    QTest::newRow("user left on another session")
        << int(RoomType1VSN) << kMe << "client-B-4" << true << "";
    QTest::newRow("user left on this session")
        << int(RoomType1VSN) << kMe << "client-A-5" << false << "30|8,9|";
    QTest::newRow("user left, empty id") << int(RoomType1VSN) << kMe << "" << false << "30|8,9|";
}

void TestMqttManager::leave()
{
    QFETCH(int, roomType);
    QFETCH(qint32, sender);
    QFETCH(QString, messageId);
    QFETCH(bool, queued);
    QFETCH(QString, roomAfter);

    const QString topic = newRoom(roomType, roomType == RoomType1VS1 ? "8" : "8,9");
    storeChat(topic, topic + QStringLiteral("-old"), kAlice, kT, MsgStateConfirmed);
    const QByteArray payload =
        eventPayload(ChatPayload::TypeLeave, sender, messageId, json({{"chatRoomType", roomType}}));
    const Items got = deliver(topic, payload);
    QCOMPARE(types(got), queued ? QList<int>{Item::Leave} : QList<int>{});

    const QString notice = roomAfter.section('|', 2);
    DBChatRoom room;
    QCOMPARE(m_db->findChatRoom(topic, room), !roomAfter.isEmpty());
    if (!roomAfter.isEmpty())
        QCOMPARE(QString(QStringLiteral("%1|%2|").arg(room.type()).arg(room.members()) + notice),
                 roomAfter);
    QCOMPARE(m_db->chatCount(topic), roomAfter.isEmpty() ? 0 : notice.isEmpty() ? 1 : 2);
    if (const auto* item = first<MqttManager::LeaveMessageItem>(got)) {
        QCOMPARE(item->room().topic(), topic);
        QCOMPARE(item->chat().content(), notice);
        QCOMPARE(item->room().dataState() == DataStateDelete, roomAfter.isEmpty());
    }
    if (!notice.isEmpty()) {
        // The same notice again changes nothing.
        QVERIFY(deliver(topic, payload).empty());
        QCOMPARE(m_db->chatCount(topic), 2);
    }
}

void TestMqttManager::enterReadFromOwnSession_data()
{
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<qint64>("readTime");
    QTest::addColumn<int>("unreadAfter");

    // Three unread chats of Alice at kT, kT+1000, kT+2000.
    QTest::newRow("other session from kT+1000") << kOtherSession << kT + 1000 << 1;
    QTest::newRow("other session, time 0") << kOtherSession << qint64(0) << 3;
    QTest::newRow("this session") << kClientId << kT << 3;
}

void TestMqttManager::enterReadFromOwnSession()
{
    QFETCH(QString, clientId);
    QFETCH(qint64, readTime);
    QFETCH(int, unreadAfter);

    const QString topic = newRoom(RoomType1VS1, QStringLiteral("8"));
    QList<QPair<QString, QByteArray>> chats;
    for (int i = 0; i < 3; ++i)
        chats << qMakePair(topic,
                           chatPayload(kAlice, 1, topic + QString::number(i), "x", kT + i * 1000));
    QCOMPARE(deliver(chats).size(), size_t(3));
    QCOMPARE(unreadCounts().get(topic), 3);

    const Items got =
        deliver(topic, eventPayload(ChatPayload::TypeEnterRead, kMe, clientId + "-1",
                                    ChatPayload::enterReadContents(clientId, readTime)));
    QCOMPARE(types(got), QList<int>{Item::EnterMyRead});
    const auto* item = first<MqttManager::EnterMyReadMessageItem>(got);
    QCOMPARE(QStringLiteral("%1|%2|%3").arg(item->topic(), item->clientId()).arg(item->unread()),
             QStringLiteral("%1|%2|%3").arg(topic, clientId).arg(unreadAfter));
    QCOMPARE(unreadCounts().get(topic), unreadAfter);
    QCOMPARE(chatRows("msg_read=1 AND topic", topic), 3 - unreadAfter);
}

void TestMqttManager::readReceipts()
{
    const QString topic = newRoom(RoomType1VSN, QStringLiteral("8,9"));
    storeChat(topic, QStringLiteral("mine-1"), kMe, kT, MsgStateConfirmed);
    storeChat(topic, QStringLiteral("mine-2"), kMe, kT + 1000, MsgStateConfirmed);
    // Not confirmed yet: no receipt.
    storeChat(topic, QStringLiteral("mine-3"), kMe, kT + 2000, MsgStateNew);

    auto read = [&](qint32 reader, qint64 time) {
        const Items got = deliver(
            topic, eventPayload(ChatPayload::TypeEnterRead, reader, QStringLiteral("r"),
                                ChatPayload::enterReadContents(QStringLiteral("client-R"), time)));
        const auto* item = first<MqttManager::EnterReadMessageItem>(got);
        return got.size() == 1 && item ? item->mapReads() : QVariantMap{{"items", int(got.size())}};
    };
    QCOMPARE(read(kAlice, kT + 500), (QVariantMap{{"mine-2", 1}}));
    QCOMPARE(read(kBob, kT), (QVariantMap{{"mine-1", 1}, {"mine-2", 2}}));
    // The same reader again counts once.
    QCOMPARE(read(kBob, kT), (QVariantMap{{"mine-1", 1}, {"mine-2", 2}}));
    DBChat row;
    QVERIFY(m_db->findChat(topic, QStringLiteral("mine-2"), row));
    QCOMPARE(row.count(), 2);
    // Time 0 says nothing about what was read.
    QCOMPARE(read(kCarol, 0), (QVariantMap{{"items", 0}}));
}

void TestMqttManager::sessionEvents_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<int>("item"); // -1: none

    QTest::newRow("LEAVEREAD of another session")
        << int(ChatPayload::TypeLeaveRead) << kOtherSession << int(Item::LeaveRead);
    QTest::newRow("LEAVEREAD of this session")
        << int(ChatPayload::TypeLeaveRead) << kClientId << -1;
    QTest::newRow("HEREREAD of another session")
        << int(ChatPayload::TypeHereRead) << kOtherSession << int(Item::HereRead);
    QTest::newRow("HEREREAD of this session") << int(ChatPayload::TypeHereRead) << kClientId << -1;
}

void TestMqttManager::sessionEvents()
{
    QFETCH(int, type);
    QFETCH(QString, clientId);
    QFETCH(int, item);

    const QString topic = QStringLiteral("chat/701");
    const Items got = deliver(topic, eventPayload(type, kMe, QStringLiteral("id"), clientId));
    QCOMPARE(types(got), item < 0 ? QList<int>{} : QList<int>{item});
    if (const auto* s = first<MqttManager::SessionReadMessageItem>(got)) {
        QCOMPARE(QStringLiteral("%1|%2|%3").arg(s->topic()).arg(s->userId()).arg(s->clientId()),
                 QStringLiteral("%1|%2|%3").arg(topic).arg(kMe).arg(clientId));
    }
}

void TestMqttManager::logoutSignal()
{
    QSignalSpy spy(m_manager.get(), &MqttManager::logout);
    // Only the 9-byte head counts; what follows it is ignored.
    QVERIFY(deliver(QStringLiteral("chat/801"),
                    PayloadCodec::encode(ChatPayload::logout(kT)) + "trailing")
                .empty());
    QVERIFY(spy.count() == 1 || spy.wait(5000));
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("chat/801"));
    QCOMPARE(spy.at(0).at(1).value<unsigned char>(), (unsigned char)99);
    QCOMPARE(spy.at(0).at(2).toDateTime().toMSecsSinceEpoch(), kT);
}

void TestMqttManager::badPayloadsDropped()
{
    const QString topic = newRoom(RoomType1VS1, QStringLiteral("8"));
    const QByteArray good = chatPayload(kAlice, 1, QStringLiteral("bad-0"), "text");
    const Items got =
        deliver({{topic, good.left(8)},
                 {topic, good.left(20)},
                 {topic, eventPayload(ChatPayload::TypeRead, kAlice, "x", "")},
                 {topic, eventPayload(42, kAlice, "x", "")},
                 {topic, eventPayload(ChatPayload::TypeInvite, kAlice, "bad-1", "not json")},
                 {topic, good}});
    // Only the complete chat gets through.
    QCOMPARE(types(got), QList<int>{Item::Chat});
    QCOMPARE(chatRows("topic", topic), 1);
}

void TestMqttManager::sendOperations()
{
    // Topics the session has no room for: what comes back to it changes nothing.
    const auto topic = [](const char* name) -> QString {
        return QStringLiteral("chat/send-") + name;
    };
    m_manager->sendChat(topic("chat"), ContentTypeText, QString(), {}, QStringLiteral("no id"));
    m_manager->sendInvite(topic("invite"), QStringLiteral("client-A-inv"), QStringLiteral("{}"));
    m_manager->sendAdd(topic("add"), QStringLiteral("client-A-add"), QStringLiteral("{}"));
    m_manager->sendLeave(topic("leave"), QStringLiteral("client-A-lv"), QStringLiteral("{}"));
    m_manager->sendReadHere(topic("here"));
    m_manager->sendReadLeave(topic("leaveread"));
    // A read notice goes 10 s back, never below 0.
    m_manager->sendReadEnter(topic("enter5000"), 5000);
    m_manager->sendReadEnter(topic("enter20000"), 20000);
    m_manager->sendReadEnter(topic("enterNow"), kT);

    // type|message id ("own": one made for this session)|text, or clientId and readTime
    const QList<QPair<const char*, QString>> expected = {
        {"chat", "1||no id"},
        {"invite", "3|client-A-inv|{}"},
        {"add", "4|client-A-add|{}"},
        {"leave", "5|client-A-lv|{}"},
        {"here", "11|own|client-A"},
        {"leaveread", "10|own|client-A"},
        {"enter5000", "9|own|client-A 0"},
        {"enter20000", "9|own|client-A 10000"},
        {"enterNow", "9|own|client-A " + QString::number(kT - 10000)}};
    const QRegularExpression ownId(QStringLiteral("^client-A-\\d{17}$"));
    for (const auto& e : expected) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_observer.payloads(topic(e.first)).isEmpty(), 10000);
        const QList<QByteArray> seen = m_observer.payloads(topic(e.first));
        QCOMPARE(seen.size(), 1);
        ChatPayload p;
        QVERIFY(PayloadCodec::decode(seen.first(), &p));
        QCOMPARE(p.senderId, kMe);
        const QJsonObject o = p.object();
        const QString text = p.messageType == ChatPayload::TypeEnterRead
                                 ? o.value("clientId").toString() + QLatin1Char(' ') +
                                       QString::number(ChatPayload::toInt64(o.value("readTime")))
                                 : p.text();
        QCOMPARE(QStringLiteral("%1|%2|%3")
                     .arg(p.messageType)
                     .arg(ownId.match(p.messageId).hasMatch() ? QStringLiteral("own") : p.messageId)
                     .arg(text),
                 e.second);
    }
    // An empty id travels as length 0, the list count right behind it.
    QCOMPARE(m_observer.payloads(topic("chat")).first().mid(14, 4), QByteArray("\0\0\0\0", 4));
    // The session hears its own read notices too; they name this session, so nothing changes.
    QCOMPARE(types(deliver({})).count(Item::EnterMyRead), 3);
}

void TestMqttManager::history_data()
{
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("contents");
    QTest::addColumn<bool>("returned");
    QTest::addColumn<QString>("before"); // "stored": the chat, "no room": not even the room

    QTest::newRow("another member's chat") << kAlice << 1 << "old" << true << "";
    QTest::newRow("own chat stored already") << kMe << 1 << "mine" << true << "stored";
    QTest::newRow("own chat from elsewhere") << kMe << 1 << "mine" << true << "";
    QTest::newRow("own refresh") << kMe << 1 << MqttManager::kRefreshText << false << "";
    QTest::newRow("unknown content type") << kAlice << 9 << "x" << false << "";
    QTest::newRow("room not stored") << kAlice << 1 << "x" << true << "no room";
}

void TestMqttManager::history()
{
    QFETCH(qint32, sender);
    QFETCH(int, contentType);
    QFETCH(QString, contents);
    QFETCH(bool, returned);
    QFETCH(QString, before);

    const bool roomExists = before != QLatin1String("no room");
    const QString topic = roomExists ? newRoom(RoomType1VS1, QStringLiteral("8"))
                                     : QStringLiteral("chat/%1").arg(++m_rooms);
    const QString id = QStringLiteral("hist-") + topic;
    if (before == QLatin1String("stored"))
        storeChat(topic, id, sender, kT - 5000, MsgStateNew);

    // The server sends numbers; some of them as texts.
    const QJsonObject object{{"topic", topic},      {"msgType", 1},
                             {"timestamp", kT},     {"senderId", QString::number(sender)},
                             {"messageId", id},     {"contentType", contentType},
                             {"contents", contents}};
    const auto item = m_manager->chatItemFromHistory(object, m_db);
    QCOMPARE(bool(item), returned);
    QCOMPARE(chatRows("msg_id", id), returned ? 1 : 0);
    QCOMPARE(unreadCounts().get(topic), 0);
    const auto queued = m_manager->takeMessageItem();
    QCOMPARE(queued ? queued->type() : -1, roomExists ? -1 : int(Item::NoRoomExist));
    if (!item)
        return;
    // History never counts as unread, and settles the user's own chats.
    QCOMPARE(item->chat().msgRead(), true);
    QCOMPARE(item->chat().msgState(), int(MsgStateConfirmed));
    QCOMPARE(item->chat().msgTime(), kT);
    QCOMPARE(item->chat().senderName(),
             sender == kMe ? QStringLiteral("Me") : QStringLiteral("Alice"));
}

void TestMqttManager::sessionObjectDeletedWhileRead()
{
    // The GUI thread deletes session objects (at log off, or a login attempt's memory-only one)
    // while the delivery thread reads the session for each message: no read may reach a deleted
    // object (the sanitizer builds see any that does).
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> foreign{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const QString id = m_manager->makeMessageId();
            if (!id.startsWith(kClientId + QLatin1Char('-')) &&
                !id.startsWith(QLatin1String("attempt-")) && !id.startsWith(QLatin1Char('-')))
                ++foreign;
            ++reads;
        }
    });
    for (int i = 0; i < 300; ++i) {
        auto attempt = std::make_unique<MTData>();
        DBEditor editor;
        attempt->setClientId(editor, QStringLiteral("attempt"));
        const int before = reads.load();
        while (reads.load() < before + 2)
            QThread::yieldCurrentThread();
    }
    stop = true;
    reader.join();
    QCOMPARE(foreign.load(), 0);
    QCOMPARE(MTData::instance(), m_session.get());
}

QTEST_GUILESS_MAIN(TestMqttManager)
#include "tst_mqttmanager.moc"
