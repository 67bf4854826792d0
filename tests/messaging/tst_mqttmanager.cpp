// The messaging session against a real mosquitto broker and a real encrypted store: payloads
// published by another client travel through the broker to MqttManager's delivery thread, are
// stored through its own connection and come out of the queue as message items; the test reads
// the file back through the GUI thread's connection. A PUSH published after each case marks the
// end of its items, since the broker keeps the order of one publisher.
#include "common/mosquittobroker.h"
#include "common/testenv.h"
#include "main/mtdata.h"
#include "messaging/mqttclientdelegate.h"
#include "messaging/mqttmanager.h"
#include "messaging/payloadcodec.h"
#include "messaging/roompresence.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/unreadcounts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
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
    bool isInRoom(const QString& topic) const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_inRoom.count(topic) > 0;
    }
    bool isActiveChatWindow(const QString& topic) const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_active.count(topic) > 0;
    }
    void set(const QString& inRoom, const QString& active)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inRoom = {inRoom};
        m_active = {active};
    }

private:
    mutable std::mutex m_mutex;
    std::set<QString> m_inRoom;
    std::set<QString> m_active;
};

// Everything published by the session under test, as a second subscriber of the broker sees it.
class Observer : public QMQTT::ClientDelegate
{
public:
    void onDeliveryThreadStarted() override {}
    void onMessageDelivered(const QMQTT::Message& message) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages << message;
    }
    QList<QMQTT::Message> messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

private:
    mutable std::mutex m_mutex;
    QList<QMQTT::Message> m_messages;
};

QByteArray chatPayload(qint32 sender, int contentType, const QString& id, const QString& text,
                       qint64 time = kT)
{
    return PayloadCodec::encode(ChatPayload::chat(time, sender, quint8(contentType), id, {}, text));
}

QByteArray eventPayload(int type, qint32 sender, const QString& id, const QString& contents,
                        qint64 time = kT)
{
    return PayloadCodec::encode(ChatPayload::event(time, quint8(type), sender, id, contents));
}

QString json(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson());
}

// A room object as the server returns it, with the own user among the members.
QJsonObject roomInfo(int roomId, int type, const QList<qint32>& members)
{
    QJsonArray array;
    for (qint32 id : members)
        array << QJsonObject{{QStringLiteral("joinUserId"), id}};
    return QJsonObject{{QStringLiteral("chattRoomId"), roomId},
                       {QStringLiteral("chattRoomType"), QString::number(type)},
                       {QStringLiteral("openDatetime"), kT},
                       {QStringLiteral("updDatetime"), kT},
                       {QStringLiteral("members"), array}};
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
    void duplicateChatCountedOnce();
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
    void sendReadEnter_data();
    void sendReadEnter();
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
    void addRoom(const QString& topic, int type, const QString& members);
    void storeChat(const QString& topic, const QString& id, qint32 sender, qint64 time, int state,
                   bool read);
    bool findChat(const QString& topic, const QString& id, DBChat* chat);
    int rows(const QString& sql, const QString& value);
    QList<QByteArray> observedPayloads(const QString& topic, int type, int count);

    TestEnv m_env;
    MosquittoBroker m_broker;
    std::unique_ptr<DBManager> m_db;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<MqttManager> m_manager;
    std::unique_ptr<QMQTT::Client> m_publisher;
    Observer m_observer;
    std::unique_ptr<QMQTT::Client> m_observerClient;
    Presence m_presence;
    int m_marker = 0;
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

    const QString path = DBManager::databaseFilePath(QStringLiteral("user007"));
    m_db = std::make_unique<DBManager>(path, QString::fromLatin1(DBManager::kConnection),
                                       QString::fromLatin1(DBManager::kPassword), 1);
    QVERIFY(m_db->isOpen());
    m_session = std::make_unique<MTData>(m_db.get());
    DBEditor editor;
    m_session->setUserId(editor, kMe);
    m_session->setClientId(editor, kClientId);
    m_session->setUserName(editor, QStringLiteral("Me"));
    const QList<QPair<qint32, QString>> people = {{kMe, QStringLiteral("Me")},
                                                  {kAlice, QStringLiteral("Alice")},
                                                  {kBob, QStringLiteral("Bob")},
                                                  {kCarol, QStringLiteral("Carol")}};
    for (const auto& person : people) {
        DBUser user(m_db.get());
        user.setUserId(person.first);
        user.setUserName(person.second);
        user.setThumbUrl(QStringLiteral("/thumb/%1.png").arg(person.first));
        user.setUserState(UserStateActive);
        QVERIFY(user.insertOrUpdate());
    }

    m_manager = std::make_unique<MqttManager>(path);
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

void TestMqttManager::addRoom(const QString& topic, int type, const QString& members)
{
    DBChatRoom room(m_db.get());
    room.setTopic(topic);
    room.setType(type);
    room.setMembers(members);
    QVERIFY(room.insertOrUpdate());
}

void TestMqttManager::storeChat(const QString& topic, const QString& id, qint32 sender, qint64 time,
                                int state, bool read)
{
    DBChat chat(m_db.get());
    chat.setTopic(topic);
    chat.setMsgType(MsgTypeChat);
    chat.setContent(ContentTypeText, QStringLiteral("stored ") + id);
    chat.setMsgId(id);
    chat.setSenderId(sender);
    chat.setMsgTime(time);
    chat.setMsgState(state);
    chat.setMsgRead(read);
    QVERIFY(chat.insertOrUpdate());
}

bool TestMqttManager::findChat(const QString& topic, const QString& id, DBChat* chat)
{
    return m_db->findChat(topic, id, *chat);
}

int TestMqttManager::rows(const QString& sql, const QString& value)
{
    QSqlQuery query(m_db->database());
    query.prepare(sql);
    query.addBindValue(value);
    if (!query.exec() || !query.next())
        return -1;
    return query.value(0).toInt();
}

QList<QByteArray> TestMqttManager::observedPayloads(const QString& topic, int type, int count)
{
    QList<QByteArray> out;
    const bool enough = QTest::qWaitFor(
        [&] {
            out.clear();
            for (const QMQTT::Message& m : m_observer.messages()) {
                ChatPayload p;
                if (m.topic() == topic && PayloadCodec::decode(m.payload(), &p) &&
                    p.messageType == type)
                    out << m.payload();
            }
            return out.size() >= count;
        },
        10000);
    Q_UNUSED(enough) // the caller compares what it got
    return out;
}

void TestMqttManager::alreadyConnected()
{
    // Another host, port and identity: the first connection stays, and keeps delivering.
    QTest::ignoreMessage(QtDebugMsg, "MqttManager::connectToHost - already connected");
    m_manager->connectToHost(QStringLiteral("192.0.2.1"), 1, QStringLiteral("other"),
                             QStringLiteral("1"), QStringLiteral("x"));
    QVERIFY(m_manager->isConnectedToHost());
    const Items items =
        deliver(QStringLiteral("chat/1"), eventPayload(ChatPayload::TypePush, 1, QString(), "{}"));
    QCOMPARE(types(items), QList<int>{Item::Push});
}

void TestMqttManager::chat_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("presence"); // "in room", "active" or empty
    QTest::addColumn<bool>("roomExists");
    QTest::addColumn<QList<int>>("items");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("read");
    QTest::addColumn<int>("unreadDelta");
    QTest::addColumn<QString>("senderName");

    const QList<int> chatItem{Item::Chat};
    const QString img = json({{"width", 640},
                              {"height", 480},
                              {"file_name", "a.png"},
                              {"remote_thumb_url", "/t/a.png"},
                              {"remote_path_url", "/p/a.png"}});
    QTest::newRow("other, unread") << "chat/101" << kAlice << 1 << "hello"
                                   << "" << true << chatItem << true << false << 1 << "Alice";
    QTest::newRow("other, active window")
        << "chat/102" << kAlice << 1 << "hello"
        << "active" << true << chatItem << true << true << 0 << "Alice";
    QTest::newRow("other, in room elsewhere")
        << "chat/103" << kAlice << 1 << "hi"
        << "in room" << true << chatItem << true << true << 0 << "Alice";
    QTest::newRow("other, picture")
        << "chat/104" << kBob << 2 << img << "" << true << chatItem << true << false << 1 << "Bob";
    QTest::newRow("other, sender unknown")
        << "chat/105" << 4242 << 1 << "who"
        << "" << true << chatItem << true << false << 1 << "Unknown user";
    QTest::newRow("other, unknown content type")
        << "chat/106" << kAlice << 5 << "x"
        << "" << true << QList<int>{} << false << false << 0 << "";
    QTest::newRow("other, no room") << "chat/107" << kAlice << 1 << "first"
                                    << "" << false << QList<int>{Item::NoRoomExist, Item::Chat}
                                    << true << false << 1 << "Alice";
    QTest::newRow("other, refresh text is a message")
        << "chat/108" << kAlice << 1 << MqttManager::kRefreshText << "" << true << chatItem << true
        << false << 1 << "Alice";
    QTest::newRow("own, other session") << "chat/109" << kMe << 1 << "mine"
                                        << "" << true << chatItem << true << true << 0 << "Me";
    QTest::newRow("own, refresh ignored")
        << "chat/110" << kMe << 1 << MqttManager::kRefreshText << "" << false << QList<int>{}
        << false << false << 0 << "";
    QTest::newRow("own, refresh in capitals stored")
        << "chat/111" << kMe << 1 << "!*REFRESH*!"
        << "" << true << chatItem << true << true << 0 << "Me";
}

void TestMqttManager::chat()
{
    QFETCH(QString, topic);
    QFETCH(qint32, sender);
    QFETCH(int, contentType);
    QFETCH(QString, text);
    QFETCH(QString, presence);
    QFETCH(bool, roomExists);
    QFETCH(QList<int>, items);
    QFETCH(bool, stored);
    QFETCH(bool, read);
    QFETCH(int, unreadDelta);
    QFETCH(QString, senderName);

    if (roomExists)
        addRoom(topic, RoomType1VS1, QString::number(kAlice));
    m_presence.set(presence == QLatin1String("in room") ? topic : QString(),
                   presence == QLatin1String("active") ? topic : QString());
    const int unreadBefore = unreadCounts().get(topic);
    const QString id = QStringLiteral("msg-") + topic;
    const Items got = deliver(topic, chatPayload(sender, contentType, id, text, kT + 5));
    m_presence.set(QString(), QString());

    QCOMPARE(types(got), items);
    QCOMPARE(unreadCounts().get(topic) - unreadBefore, unreadDelta);
    DBChat row;
    QCOMPARE(findChat(topic, id, &row), stored);
    if (!stored)
        return;
    QCOMPARE(row.msgRead(), read);
    QCOMPARE(row.msgState(), int(MsgStateConfirmed));
    QCOMPARE(row.msgTime(), kT + 5);
    QCOMPARE(row.contentType(), contentType);
    const auto* item = first<MqttManager::ChatMessageItem>(got);
    QVERIFY(item);
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

void TestMqttManager::duplicateChatCountedOnce()
{
    const QString topic = QStringLiteral("chat/120");
    addRoom(topic, RoomType1VS1, QString::number(kAlice));
    const int before = unreadCounts().get(topic);
    // QoS 1 delivers again when an acknowledgement got lost.
    const QByteArray payload =
        chatPayload(kAlice, 1, QStringLiteral("dup-1"), QStringLiteral("once"));
    Items got = deliver({{topic, payload}, {topic, payload}});
    QCOMPARE(types(got), (QList<int>{Item::Chat, Item::Chat}));
    QCOMPARE(unreadCounts().get(topic), before + 1);
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_id=?"),
                  QStringLiteral("dup-1")),
             1);

    // The echo of an own chat confirms the stored row instead of adding one.
    storeChat(topic, QStringLiteral("client-A-1"), kMe, kT - 1000, MsgStateNew, true);
    got = deliver(topic,
                  chatPayload(kMe, 1, QStringLiteral("client-A-1"), QStringLiteral("x"), kT + 9));
    QCOMPARE(types(got), QList<int>{Item::Chat});
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_id=?"),
                  QStringLiteral("client-A-1")),
             1);
    DBChat row;
    QVERIFY(findChat(topic, QStringLiteral("client-A-1"), &row));
    QCOMPARE(row.msgState(), int(MsgStateConfirmed));
    QCOMPARE(row.msgTime(), kT + 9);
    QCOMPARE(row.content(), QStringLiteral("stored client-A-1"));
}

void TestMqttManager::invite_data()
{
    QTest::addColumn<int>("roomId");
    QTest::addColumn<int>("roomType");
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<QString>("existingMembers"); // a stored room before, or empty
    QTest::addColumn<int>("dataState");
    QTest::addColumn<QString>("notice");

    QTest::newRow("group room from another user")
        << 201 << int(RoomType1VSN) << kAlice << "" << int(DataStateInsert) << "Bob,Me";
    QTest::newRow("group room from another session")
        << 202 << int(RoomType1VSN) << kMe << "" << int(DataStateInsert) << "Bob,Alice";
    QTest::newRow("one-to-one room: no notice")
        << 203 << int(RoomType1VS1) << kAlice << "" << int(DataStateInsert) << "";
    QTest::newRow("members changed")
        << 204 << int(RoomType1VSN) << kAlice << "8" << int(DataStateUpdate) << "Bob,Me";
    QTest::newRow("unchanged room")
        << 205 << int(RoomType1VSN) << kAlice << "8,9" << int(DataStateNone) << "Bob,Me";
}

void TestMqttManager::invite()
{
    QFETCH(int, roomId);
    QFETCH(int, roomType);
    QFETCH(qint32, sender);
    QFETCH(QString, existingMembers);
    QFETCH(int, dataState);
    QFETCH(QString, notice);

    const QString topic = QStringLiteral("chat/%1").arg(roomId);
    if (!existingMembers.isEmpty())
        addRoom(topic, roomType, existingMembers);
    const QList<qint32> members =
        roomType == RoomType1VSN ? QList<qint32>{kMe, kAlice, kBob} : QList<qint32>{kMe, kAlice};
    const QString contents =
        json({{QStringLiteral("chatRoomInfo"), roomInfo(roomId, roomType, members)}});
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
    QCOMPARE(room.members(),
             roomType == RoomType1VSN ? QStringLiteral("8,9") : QStringLiteral("8"));
    DBChat row;
    QCOMPARE(findChat(topic, id, &row), !notice.isEmpty());
    if (notice.isEmpty())
        return;
    QCOMPARE(row.msgType(), int(MsgTypeInvite));
    QCOMPARE(item->chat().senderName(),
             sender == kMe ? QStringLiteral("Me") : QStringLiteral("Alice"));

    // The same invitation again: stored already, nothing queued, unless it is the user's own
    // echo, which is confirmed.
    got = deliver(topic, payload);
    QCOMPARE(types(got), sender == kMe ? QList<int>{Item::Invite} : QList<int>{});
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_id=?"), id), 1);
}

void TestMqttManager::admission()
{
    const QString topic = QStringLiteral("chat/301");
    const QJsonObject contents{
        {QStringLiteral("inviteUserIds"), QJsonArray{"9", "4242", "10"}},
        {QStringLiteral("chatRoomInfo"), roomInfo(301, RoomType1VSN, {kMe, kAlice, kBob, kCarol})}};
    const QByteArray payload =
        eventPayload(ChatPayload::TypeAdmission, kAlice, QStringLiteral("adm-1"), json(contents));
    Items got = deliver(topic, payload);
    QCOMPARE(types(got), QList<int>{Item::Admission});
    const auto* item = first<MqttManager::AdmissionMessageItem>(got);
    // Unknown ids are left out, the array's order is kept.
    QCOMPARE(item->chat().content(), QStringLiteral("Bob,Carol"));
    QCOMPARE(item->chat().msgType(), int(MsgTypeAdmission));
    QCOMPARE(item->room().members(), QStringLiteral("8,9,10"));
    QCOMPARE(item->room().dataState(), int(DataStateInsert));

    got = deliver(topic, payload);
    QVERIFY(got.empty());
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_id=?"),
                  QStringLiteral("adm-1")),
             1);
}

void TestMqttManager::roomEventOfAnotherRoom_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("INVITE") << int(ChatPayload::TypeInvite);
    QTest::newRow("ADMISSION") << int(ChatPayload::TypeAdmission);
}

void TestMqttManager::roomEventOfAnotherRoom()
{
    // A member of room 250 names room 251 in an event on 250's topic: neither room changes.
    QFETCH(int, type);
    const QString topic = QStringLiteral("chat/250");
    const QString other = QStringLiteral("chat/251");
    addRoom(other, RoomType1VS1, QString::number(kAlice));
    const QJsonObject contents{
        {QStringLiteral("inviteUserIds"), QJsonArray{"9"}},
        {QStringLiteral("chatRoomInfo"), roomInfo(251, RoomType1VSN, {kMe, kBob, kCarol})}};
    const QString id = QStringLiteral("client-X-other%1").arg(type);
    const Items got = deliver(topic, eventPayload(type, kBob, id, json(contents)));
    QCOMPARE(types(got), QList<int>{});
    DBChatRoom room;
    QVERIFY(m_db->findChatRoom(other, room));
    QCOMPARE(room.type(), int(RoomType1VS1));
    QCOMPARE(room.members(), QString::number(kAlice));
    QVERIFY(!m_db->chatRoomExists(topic));
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_id=?"), id), 0);
}

void TestMqttManager::leave_data()
{
    QTest::addColumn<int>("roomType");
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QList<int>>("items");
    QTest::addColumn<bool>("roomKept");
    QTest::addColumn<int>("typeAfter");
    QTest::addColumn<QString>("membersAfter");
    QTest::addColumn<QString>("notice");

    const QList<int> leaveItem{Item::Leave};
    QTest::newRow("partner left a one-to-one room")
        << int(RoomType1VS1) << kAlice << "client-X-1" << leaveItem << true << int(RoomTypeLeave)
        << "8"
        << "";
    QTest::newRow("member left a group room") << int(RoomType1VSN) << kAlice << "client-X-2"
                                              << leaveItem << true << int(RoomType1VSN) << "9"
                                              << "Alice";
    QTest::newRow("unknown member left a group room")
        << int(RoomType1VSN) << 4242 << "client-X-3" << QList<int>{} << true << int(RoomType1VSN)
        << "8,9"
        << "";
    QTest::newRow("user left on another session")
        << int(RoomType1VSN) << kMe << "client-B-4" << leaveItem << false << 0 << ""
        << "";
    QTest::newRow("user left on this session") << int(RoomType1VSN) << kMe << "client-A-5"
                                               << QList<int>{} << true << int(RoomType1VSN) << "8,9"
                                               << "";
    QTest::newRow("user left, empty id")
        << int(RoomType1VSN) << kMe << "" << QList<int>{} << true << int(RoomType1VSN) << "8,9"
        << "";
}

void TestMqttManager::leave()
{
    QFETCH(int, roomType);
    QFETCH(qint32, sender);
    QFETCH(QString, messageId);
    QFETCH(QList<int>, items);
    QFETCH(bool, roomKept);
    QFETCH(int, typeAfter);
    QFETCH(QString, membersAfter);
    QFETCH(QString, notice);

    static int next = 400;
    const QString topic = QStringLiteral("chat/%1").arg(++next);
    addRoom(topic, roomType,
            roomType == RoomType1VS1 ? QStringLiteral("8") : QStringLiteral("8,9"));
    storeChat(topic, topic + QStringLiteral("-old"), kAlice, kT, MsgStateConfirmed, true);
    const QString contents = json({{QStringLiteral("chatRoomType"), roomType}});
    const QByteArray payload = eventPayload(ChatPayload::TypeLeave, sender, messageId, contents);
    Items got = deliver(topic, payload);
    QCOMPARE(types(got), items);

    DBChatRoom room;
    QCOMPARE(m_db->findChatRoom(topic, room), roomKept);
    QCOMPARE(m_db->chatCount(topic), roomKept ? (notice.isEmpty() ? 1 : 2) : 0);
    if (roomKept) {
        QCOMPARE(room.type(), typeAfter);
        QCOMPARE(room.members(), membersAfter);
    }
    if (const auto* item = first<MqttManager::LeaveMessageItem>(got)) {
        QCOMPARE(item->room().topic(), topic);
        QCOMPARE(item->chat().content(), notice);
        QCOMPARE(item->room().dataState() == DataStateDelete, !roomKept);
    }
    if (!notice.isEmpty()) {
        // The same notice again changes nothing.
        got = deliver(topic, payload);
        QVERIFY(got.empty());
        QCOMPARE(m_db->chatCount(topic), 2);
    }
}

void TestMqttManager::enterReadFromOwnSession_data()
{
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<qint64>("readTime");
    QTest::addColumn<int>("unreadAfter");
    QTest::addColumn<int>("readRowsAfter");

    // Three unread chats of Alice at kT, kT+1000, kT+2000.
    QTest::newRow("other session from kT+1000") << kOtherSession << kT + 1000 << 1 << 2;
    QTest::newRow("other session, time 0") << kOtherSession << qint64(0) << 3 << 0;
    QTest::newRow("this session") << kClientId << kT << 3 << 0;
}

void TestMqttManager::enterReadFromOwnSession()
{
    QFETCH(QString, clientId);
    QFETCH(qint64, readTime);
    QFETCH(int, unreadAfter);
    QFETCH(int, readRowsAfter);

    static int next = 500;
    const QString topic = QStringLiteral("chat/%1").arg(++next);
    addRoom(topic, RoomType1VS1, QStringLiteral("8"));
    QList<QPair<QString, QByteArray>> chats;
    for (int i = 0; i < 3; ++i)
        chats << qMakePair(topic,
                           chatPayload(kAlice, 1, topic + QString::number(i), "x", kT + i * 1000));
    QCOMPARE(deliver(chats).size(), size_t(3));
    QCOMPARE(unreadCounts().get(topic), 3);

    const QString contents = ChatPayload::enterReadContents(clientId, readTime);
    const Items got = deliver(topic, eventPayload(ChatPayload::TypeEnterRead, kMe,
                                                  clientId + QStringLiteral("-1"), contents));
    QCOMPARE(types(got), QList<int>{Item::EnterMyRead});
    const auto* item = first<MqttManager::EnterMyReadMessageItem>(got);
    QCOMPARE(item->topic(), topic);
    QCOMPARE(item->clientId(), clientId);
    QCOMPARE(item->unread(), unreadAfter);
    QCOMPARE(unreadCounts().get(topic), unreadAfter);
    QCOMPARE(
        rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE topic=? AND msg_read=1"), topic),
        readRowsAfter);
}

void TestMqttManager::readReceipts()
{
    const QString topic = QStringLiteral("chat/601");
    addRoom(topic, RoomType1VSN, QStringLiteral("8,9"));
    storeChat(topic, QStringLiteral("mine-1"), kMe, kT, MsgStateConfirmed, true);
    storeChat(topic, QStringLiteral("mine-2"), kMe, kT + 1000, MsgStateConfirmed, true);
    // Not confirmed yet: no receipt.
    storeChat(topic, QStringLiteral("mine-3"), kMe, kT + 2000, MsgStateNew, true);

    auto read = [&](qint32 reader, qint64 time) {
        return deliver(
            topic, eventPayload(ChatPayload::TypeEnterRead, reader, QStringLiteral("r"),
                                ChatPayload::enterReadContents(QStringLiteral("client-R"), time)));
    };
    Items got = read(kAlice, kT + 500);
    QCOMPARE(types(got), QList<int>{Item::EnterRead});
    QCOMPARE(first<MqttManager::EnterReadMessageItem>(got)->mapReads(),
             (QVariantMap{{"mine-2", 1}}));

    got = read(kBob, kT);
    QCOMPARE(first<MqttManager::EnterReadMessageItem>(got)->mapReads(),
             (QVariantMap{{"mine-1", 1}, {"mine-2", 2}}));
    // The same reader again counts once.
    got = read(kBob, kT);
    QCOMPARE(first<MqttManager::EnterReadMessageItem>(got)->mapReads(),
             (QVariantMap{{"mine-1", 1}, {"mine-2", 2}}));
    DBChat row;
    QVERIFY(findChat(topic, QStringLiteral("mine-2"), &row));
    QCOMPARE(row.count(), 2);

    // Time 0 says nothing about what was read.
    QVERIFY(read(kCarol, 0).empty());
}

void TestMqttManager::sessionEvents_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<int>("item");

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

    const Items got = deliver(QStringLiteral("chat/701"),
                              eventPayload(type, kMe, QStringLiteral("id"), clientId));
    QCOMPARE(types(got), item < 0 ? QList<int>{} : QList<int>{item});
    if (item < 0)
        return;
    const auto* s = dynamic_cast<const MqttManager::SessionReadMessageItem*>(got.front().get());
    QCOMPARE(s->topic(), QStringLiteral("chat/701"));
    QCOMPARE(s->userId(), kMe);
    QCOMPARE(s->clientId(), clientId);
}

void TestMqttManager::logoutSignal()
{
    QSignalSpy spy(m_manager.get(), &MqttManager::logout);
    // Only the head counts; what follows it is ignored.
    QByteArray payload = PayloadCodec::encode(ChatPayload::logout(kT));
    QCOMPARE(payload.size(), 9);
    const Items got = deliver(QStringLiteral("chat/801"), payload + "trailing");
    QVERIFY(got.empty());
    QVERIFY(spy.count() == 1 || spy.wait(5000));
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("chat/801"));
    QCOMPARE(spy.at(0).at(1).value<unsigned char>(), (unsigned char)99);
    QCOMPARE(spy.at(0).at(2).toDateTime().toMSecsSinceEpoch(), kT);
}

void TestMqttManager::badPayloadsDropped()
{
    const QString topic = QStringLiteral("chat/901");
    addRoom(topic, RoomType1VS1, QStringLiteral("8"));
    const QByteArray good = chatPayload(kAlice, 1, QStringLiteral("bad-0"), QStringLiteral("text"));
    const Items got =
        deliver({{topic, good.left(8)},
                 {topic, good.left(20)},
                 {topic, eventPayload(ChatPayload::TypeRead, kAlice, "x", "")},
                 {topic, eventPayload(42, kAlice, "x", "")},
                 {topic, eventPayload(ChatPayload::TypeInvite, kAlice, "bad-1", "not json")},
                 {topic, good}});
    // Only the complete chat gets through.
    QCOMPARE(types(got), QList<int>{Item::Chat});
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE topic=?"), topic), 1);
}

void TestMqttManager::sendReadEnter_data()
{
    QTest::addColumn<qint64>("given");
    QTest::addColumn<qint64>("sent");
    QTest::newRow("5,000 ms") << qint64(5000) << qint64(0);
    QTest::newRow("20,000 ms") << qint64(20000) << qint64(10000);
    QTest::newRow("a present time") << kT << kT - 10000;
}

void TestMqttManager::sendReadEnter()
{
    QFETCH(qint64, given);
    QFETCH(qint64, sent);

    const QString topic = QStringLiteral("chat/send-%1").arg(given);
    const int before = observedPayloads(topic, ChatPayload::TypeEnterRead, 0).size();
    m_manager->sendReadEnter(topic, given);
    const QList<QByteArray> seen = observedPayloads(topic, ChatPayload::TypeEnterRead, before + 1);
    QCOMPARE(seen.size(), before + 1);
    ChatPayload p;
    QVERIFY(PayloadCodec::decode(seen.last(), &p));
    QCOMPARE(p.senderId, kMe);
    QVERIFY(p.messageId.startsWith(kClientId + QLatin1Char('-')));
    QCOMPARE(p.object().value(QStringLiteral("clientId")).toString(), kClientId);
    QCOMPARE(ChatPayload::toInt64(p.object().value(QStringLiteral("readTime"))), sent);
    // The session hears its own notice too; it names this session, so nothing changes.
    const Items got = deliver({});
    QCOMPARE(types(got), QList<int>{Item::EnterMyRead});
}

void TestMqttManager::sendOperations()
{
    const QString topic = QStringLiteral("chat/sendops");
    m_manager->sendChat(topic, ContentTypeText, QString(), {}, QStringLiteral("no id"));
    m_manager->sendInvite(topic, QStringLiteral("client-A-inv"), QStringLiteral("{}"));
    m_manager->sendAdd(topic, QStringLiteral("client-A-add"), QStringLiteral("{}"));
    m_manager->sendLeave(topic, QStringLiteral("client-A-lv"), QStringLiteral("{}"));
    m_manager->sendReadHere(topic);
    m_manager->sendReadLeave(topic);

    const QList<QPair<int, QString>> expected = {
        {ChatPayload::TypeChat, QString()},
        {ChatPayload::TypeInvite, QStringLiteral("client-A-inv")},
        {ChatPayload::TypeAdmission, QStringLiteral("client-A-add")},
        {ChatPayload::TypeLeave, QStringLiteral("client-A-lv")},
        {ChatPayload::TypeHereRead, QString()},
        {ChatPayload::TypeLeaveRead, QString()}};
    for (const auto& e : expected) {
        const QList<QByteArray> seen = observedPayloads(topic, e.first, 1);
        QVERIFY2(!seen.isEmpty(), qPrintable(ChatPayload::typeName(e.first)));
        ChatPayload p;
        QVERIFY(PayloadCodec::decode(seen.last(), &p));
        QCOMPARE(p.senderId, kMe);
        if (e.first == ChatPayload::TypeChat) {
            // An empty id travels as length 0, the list count right behind it.
            QCOMPARE(seen.last().mid(14, 4), QByteArray("\0\0\0\0", 4));
            QCOMPARE(p.text(), QStringLiteral("no id"));
        } else if (e.first == ChatPayload::TypeHereRead || e.first == ChatPayload::TypeLeaveRead) {
            QCOMPARE(p.text(), kClientId);
            QVERIFY(p.messageId.startsWith(kClientId + QLatin1Char('-')));
        } else {
            QCOMPARE(p.messageId, e.second);
        }
    }
    // What came back to the session itself: its own leave and read notices change nothing;
    // the chat and the room events are for rooms it does not have.
    deliver({});
}

void TestMqttManager::history_data()
{
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("contents");
    QTest::addColumn<bool>("storedBefore");
    QTest::addColumn<bool>("roomExists");
    QTest::addColumn<bool>("returned");
    QTest::addColumn<int>("rowsAfter");

    QTest::newRow("another member's chat") << kAlice << 1 << "old" << false << true << true << 1;
    QTest::newRow("own chat stored already") << kMe << 1 << "mine" << true << true << true << 1;
    QTest::newRow("own chat from elsewhere") << kMe << 1 << "mine" << false << true << true << 1;
    QTest::newRow("own refresh") << kMe << 1 << MqttManager::kRefreshText << false << true << false
                                 << 0;
    QTest::newRow("unknown content type") << kAlice << 9 << "x" << false << true << false << 0;
    QTest::newRow("room not stored") << kAlice << 1 << "x" << false << false << true << 1;
}

void TestMqttManager::history()
{
    QFETCH(qint32, sender);
    QFETCH(int, contentType);
    QFETCH(QString, contents);
    QFETCH(bool, storedBefore);
    QFETCH(bool, roomExists);
    QFETCH(bool, returned);
    QFETCH(int, rowsAfter);

    static int next = 1000;
    const QString topic = QStringLiteral("chat/%1").arg(++next);
    const QString id = QStringLiteral("hist-%1").arg(next);
    if (roomExists)
        addRoom(topic, RoomType1VS1, QStringLiteral("8"));
    if (storedBefore)
        storeChat(topic, id, sender, kT - 5000, MsgStateNew, true);
    const int unreadBefore = unreadCounts().get(topic);

    // The server sends numbers; some of them as texts.
    const QJsonObject object{{"topic", topic},      {"msgType", 1},
                             {"timestamp", kT},     {"senderId", QString::number(sender)},
                             {"messageId", id},     {"contentType", contentType},
                             {"contents", contents}};
    const auto item = m_manager->chatItemFromHistory(object, m_db.get());
    QCOMPARE(bool(item), returned);
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT WHERE msg_id=?"), id), rowsAfter);
    QCOMPARE(unreadCounts().get(topic), unreadBefore);
    const auto queued = m_manager->takeMessageItem();
    QCOMPARE(bool(queued), !roomExists);
    if (queued)
        QCOMPARE(queued->type(), int(Item::NoRoomExist));
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
