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

// Each item as a line: its kind and what the main window reads from it; an item of another
// topic than the one given says so.
QStringList describe(const Items& items, const QString& topic)
{
    static const char* const kinds[] = {"noroom", "chat",   "invite", "admission", "leave",
                                        "push",   "myread", "read",   "leaveread", "hereread"};
    QStringList out;
    for (const auto& item : items) {
        QString line = QLatin1String(kinds[item->type()]);
        QString itemTopic;
        if (const auto* n = dynamic_cast<const MqttManager::NoRoomExistMessageItem*>(item.get())) {
            itemTopic = n->topic();
        } else if (const auto* c = dynamic_cast<const MqttManager::ChatMessageItem*>(item.get())) {
            const DBChat& chat = c->chat();
            itemTopic = chat.topic();
            line += QStringLiteral(" %1 %2 %3")
                        .arg(chat.msgId(), chat.senderName())
                        .arg(chat.msgRead());
            if (!chat.fileName().isEmpty())
                line +=
                    QLatin1Char(' ') + chat.fileName() + QLatin1Char(' ') + chat.remotePathUrl();
            // The GUI thread gets no way to the delivery thread's connection.
            if (chat.dbManager())
                line += QStringLiteral(" with a connection");
        } else if (const auto* r = dynamic_cast<const MqttManager::RoomMessageItem*>(item.get())) {
            itemTopic = r->room().topic();
            line += QStringLiteral(" %1 %2 %3 %4 by %5")
                        .arg(r->room().type())
                        .arg(r->room().dataState())
                        .arg(r->room().members(), r->chat().content(), r->chat().senderName());
        } else if (const auto* m =
                       dynamic_cast<const MqttManager::EnterMyReadMessageItem*>(item.get())) {
            itemTopic = m->topic();
            line += QStringLiteral(" %1 %2").arg(m->clientId()).arg(m->unread());
        } else if (const auto* e =
                       dynamic_cast<const MqttManager::EnterReadMessageItem*>(item.get())) {
            itemTopic = e->topic();
        } else if (const auto* s =
                       dynamic_cast<const MqttManager::SessionReadMessageItem*>(item.get())) {
            itemTopic = s->topic();
            line += QStringLiteral(" %1 %2").arg(s->userId()).arg(s->clientId());
        }
        if (itemTopic != topic)
            line += QStringLiteral(" on ") + itemTopic;
        out << line;
    }
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
    void receive_data();
    void receive();
    void roomEventOfAnotherRoom_data();
    void roomEventOfAnotherRoom();
    void readReceipts();
    void logoutSignal();
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
    int m_rooms = 1000; // the receive table uses chat/101 to chat/999
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

void TestMqttManager::receive_data()
{
    // Each row on a topic of its own, "chat/<n>"; what is stored before: the room as
    // "type|members" (empty: none), and a chat as "id|sender|msg_state".
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("presence"); // "in" (room, another session), "active" (window)
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("roomAfter");
    QTest::addColumn<QStringList>("chatsAfter"); // msg_id|type|read|state|time - kT|text
    QTest::addColumn<int>("unread");

    using P = QList<QByteArray>;
    const auto chat = [](int n, qint32 sender, int contentType, const QString& text) {
        return chatPayload(sender, contentType, QStringLiteral("m%1").arg(n), text, kT + 5);
    };
    const QString refresh = MqttManager::kRefreshText;
    const QString img = json({{"width", 640},
                              {"file_name", "a.png"},
                              {"remote_thumb_url", "/t/a.png"},
                              {"remote_path_url", "/p/a.png"}});
    const QStringList oneToOne{"20|8"};
    QTest::newRow("chat from another user, unread")
        << "chat/101" << oneToOne << "" << P{chat(101, kAlice, 1, "hello")}
        << QStringList{"chat m101 Alice 0"} << "20|8" << QStringList{"m101|1|0|1|5|hello"} << 1;
    QTest::newRow("chat while the room's window is active")
        << "chat/102" << oneToOne << "active" << P{chat(102, kAlice, 1, "hello")}
        << QStringList{"chat m102 Alice 1"} << "20|8" << QStringList{"m102|1|1|1|5|hello"} << 0;
    QTest::newRow("chat while another session is in the room")
        << "chat/103" << oneToOne << "in" << P{chat(103, kAlice, 1, "hi")}
        << QStringList{"chat m103 Alice 1"} << "20|8" << QStringList{"m103|1|1|1|5|hi"} << 0;
    QTest::newRow("picture") << "chat/104" << oneToOne << "" << P{chat(104, kBob, 2, img)}
                             << QStringList{"chat m104 Bob 0 a.png /p/a.png"} << "20|8"
                             << QStringList{"m104|1|0|1|5|2"} << 1;
    QTest::newRow("sender not in the directory")
        << "chat/105" << oneToOne << "" << P{chat(105, 4242, 1, "who")}
        << QStringList{"chat m105 Unknown user 0"} << "20|8" << QStringList{"m105|1|0|1|5|who"}
        << 1;
    QTest::newRow("unknown content type stores nothing")
        << "chat/106" << oneToOne << "" << P{chat(106, kAlice, 5, "x")} << QStringList{} << "20|8"
        << QStringList{} << 0;
    QTest::newRow("chat for a room not stored")
        << "chat/107" << QStringList{""} << "" << P{chat(107, kAlice, 1, "first")}
        << QStringList{"noroom", "chat m107 Alice 0"} << "" << QStringList{"m107|1|0|1|5|first"}
        << 1;
    QTest::newRow("refresh text from another user is a message")
        << "chat/108" << oneToOne << "" << P{chat(108, kAlice, 1, refresh)}
        << QStringList{"chat m108 Alice 0"} << "20|8" << QStringList{"m108|1|0|1|5|" + refresh}
        << 1;
    QTest::newRow("own chat from another session")
        << "chat/109" << oneToOne << "" << P{chat(109, kMe, 1, "mine")}
        << QStringList{"chat m109 Me 1"} << "20|8" << QStringList{"m109|1|1|1|5|mine"} << 0;
    QTest::newRow("own refresh text is ignored")
        << "chat/110" << QStringList{""} << "" << P{chat(110, kMe, 1, refresh)} << QStringList{}
        << "" << QStringList{} << 0;
    QTest::newRow("own refresh text in capitals is stored")
        << "chat/111" << oneToOne << "" << P{chat(111, kMe, 1, "!*REFRESH*!")}
        << QStringList{"chat m111 Me 1"} << "20|8" << QStringList{"m111|1|1|1|5|!*REFRESH*!"} << 0;
    QTest::newRow("own echo confirms the stored chat")
        << "chat/112" << QStringList{"20|8", "m112|7|0"} << ""
        << P{chatPayload(kMe, 1, "m112", "x", kT + 9)} << QStringList{"chat m112 Me 1"} << "20|8"
        << QStringList{"m112|1|1|1|9|stored m112"} << 0;
    QTest::newRow("payloads cut short or of other types are dropped")
        << "chat/113" << oneToOne << ""
        << P{chat(113, kAlice, 1, "text").left(8),
             chat(113, kAlice, 1, "text").left(20),
             eventPayload(ChatPayload::TypeRead, kAlice, "x", ""),
             eventPayload(42, kAlice, "x", ""),
             eventPayload(ChatPayload::TypeInvite, kAlice, "bad-1", "not json"),
             chat(113, kAlice, 1, "text")}
        << QStringList{"chat m113 Alice 0"} << "20|8" << QStringList{"m113|1|0|1|5|text"} << 1;

    // Room events; the same event twice is stored once and queued once, unless it is the user's
    // own echo, which is confirmed.
    const auto invite = [](int n, qint32 sender, int type) {
        const QList<qint32> members =
            type == RoomType1VSN ? QList<qint32>{kMe, kAlice, kBob} : QList<qint32>{kMe, kAlice};
        const QByteArray p =
            eventPayload(ChatPayload::TypeInvite, sender, QStringLiteral("i%1").arg(n),
                         roomEvent(n, type, members));
        return P{p, p};
    };
    QTest::newRow("invitation to a group room from another user")
        << "chat/201" << QStringList{""} << "" << invite(201, kAlice, RoomType1VSN)
        << QStringList{"invite 30 1 8,9 Bob,Me by Alice"} << "30|8,9"
        << QStringList{"i201|3|1|1|0|Bob,Me"} << 0;
    QTest::newRow("invitation to a group room from another session")
        << "chat/202" << QStringList{""} << "" << invite(202, kMe, RoomType1VSN)
        << QStringList{"invite 30 1 8,9 Bob,Alice by Me", "invite 30 0 8,9 Bob,Alice by Me"}
        << "30|8,9" << QStringList{"i202|3|1|1|0|Bob,Alice"} << 0;
    QTest::newRow("invitation to a one-to-one room: no notice")
        << "chat/203" << QStringList{""} << "" << P{invite(203, kAlice, RoomType1VS1).first()}
        << QStringList{"invite 20 1 8  by "} << "20|8" << QStringList{} << 0;
    QTest::newRow("invitation that changes the members")
        << "chat/204" << QStringList{"30|8"} << "" << invite(204, kAlice, RoomType1VSN)
        << QStringList{"invite 30 2 8,9 Bob,Me by Alice"} << "30|8,9"
        << QStringList{"i204|3|1|1|0|Bob,Me"} << 0;
    QTest::newRow("invitation to a room as it is")
        << "chat/205" << QStringList{"30|8,9"} << "" << invite(205, kAlice, RoomType1VSN)
        << QStringList{"invite 30 0 8,9 Bob,Me by Alice"} << "30|8,9"
        << QStringList{"i205|3|1|1|0|Bob,Me"} << 0;
    // Unknown ids are left out, the array's order is kept.
    const QByteArray admission = eventPayload(
        ChatPayload::TypeAdmission, kAlice, QStringLiteral("a301"),
        roomEvent(301, RoomType1VSN, {kMe, kAlice, kBob, kCarol}, {"9", "4242", "10"}));
    QTest::newRow("admission") << "chat/301" << QStringList{""} << "" << P{admission, admission}
                               << QStringList{"admission 30 1 8,9,10 Bob,Carol by Alice"}
                               << "30|8,9,10" << QStringList{"a301|4|1|1|0|Bob,Carol"} << 0;

    const auto leave = [](qint32 sender, const QString& id, int type, int times) {
        const QByteArray p =
            eventPayload(ChatPayload::TypeLeave, sender, id, json({{"chatRoomType", type}}));
        return times == 1 ? P{p} : P{p, p};
    };
    const QString old = QStringLiteral("old|8|1");
    QTest::newRow("partner left a one-to-one room")
        << "chat/401" << QStringList{"20|8", "o401|8|1"} << ""
        << leave(kAlice, "client-X-1", RoomType1VS1, 1) << QStringList{"leave 40 2 8  by "}
        << "40|8" << QStringList{"o401|1|1|1|-1000|stored o401"} << 0;
    QTest::newRow("member left a group room")
        << "chat/402" << QStringList{"30|8,9", "o402|8|1"} << ""
        << leave(kAlice, "client-X-2", RoomType1VSN, 2)
        << QStringList{"leave 30 2 9 Alice by Alice"} << "30|9"
        << QStringList{"o402|1|1|1|-1000|stored o402", "client-X-2|5|1|1|0|Alice"} << 0;
    QTest::newRow("unknown member left a group room")
        << "chat/403" << QStringList{"30|8,9"} << "" << leave(4242, "client-X-3", RoomType1VSN, 1)
        << QStringList{} << "30|8,9" << QStringList{} << 0;
    QTest::newRow("user left on another session")
        << "chat/404" << QStringList{"30|8,9", "o404|8|1"} << ""
        << leave(kMe, "client-B-4", RoomType1VSN, 1) << QStringList{"leave 30 3 8,9  by "} << ""
        << QStringList{} << 0;
    QTest::newRow("user left on this session")
        << "chat/405" << QStringList{"30|8,9"} << "" << leave(kMe, "client-A-5", RoomType1VSN, 1)
        << QStringList{} << "30|8,9" << QStringList{} << 0;
    QTest::newRow("user left, empty id")
        << "chat/406" << QStringList{"30|8,9"} << "" << leave(kMe, "", RoomType1VSN, 1)
        << QStringList{} << "30|8,9" << QStringList{} << 0;

    // Three unread chats of Alice at kT, kT+1000, kT+2000, then a read notice of the user.
    const auto enterRead = [](int n, const QString& clientId, qint64 readTime) {
        P p;
        for (int i = 0; i < 3; ++i)
            p << chatPayload(kAlice, 1, QStringLiteral("r%1-%2").arg(n).arg(i), "x", kT + i * 1000);
        return p << eventPayload(ChatPayload::TypeEnterRead, kMe, clientId + "-1",
                                 ChatPayload::enterReadContents(clientId, readTime));
    };
    const QStringList threeChats{"chat r%1-0 Alice 0", "chat r%1-1 Alice 0", "chat r%1-2 Alice 0"};
    QTest::newRow("another session read from kT+1000")
        << "chat/501" << oneToOne << "" << enterRead(501, kOtherSession, kT + 1000)
        << threeChats + QStringList{"myread client-B 1"} << "20|8"
        << QStringList{"r501-0|1|0|1|0|x", "r501-1|1|1|1|1000|x", "r501-2|1|1|1|2000|x"} << 1;
    QTest::newRow("another session read with time 0")
        << "chat/502" << oneToOne << "" << enterRead(502, kOtherSession, 0)
        << threeChats + QStringList{"myread client-B 3"} << "20|8"
        << QStringList{"r502-0|1|0|1|0|x", "r502-1|1|0|1|1000|x", "r502-2|1|0|1|2000|x"} << 3;
    QTest::newRow("this session's own read notice")
        << "chat/503" << oneToOne << "" << enterRead(503, kClientId, kT)
        << threeChats + QStringList{"myread client-A 3"} << "20|8"
        << QStringList{"r503-0|1|0|1|0|x", "r503-1|1|0|1|1000|x", "r503-2|1|0|1|2000|x"} << 3;

    const auto notice = [](int type, const QString& clientId) {
        return P{eventPayload(type, kMe, "id", clientId)};
    };
    QTest::newRow("LEAVEREAD of another session")
        << "chat/701" << QStringList{""} << "" << notice(ChatPayload::TypeLeaveRead, kOtherSession)
        << QStringList{"leaveread 7 client-B"} << "" << QStringList{} << 0;
    QTest::newRow("LEAVEREAD of this session")
        << "chat/702" << QStringList{""} << "" << notice(ChatPayload::TypeLeaveRead, kClientId)
        << QStringList{} << "" << QStringList{} << 0;
    QTest::newRow("HEREREAD of another session")
        << "chat/703" << QStringList{""} << "" << notice(ChatPayload::TypeHereRead, kOtherSession)
        << QStringList{"hereread 7 client-B"} << "" << QStringList{} << 0;
    QTest::newRow("HEREREAD of this session")
        << "chat/704" << QStringList{""} << "" << notice(ChatPayload::TypeHereRead, kClientId)
        << QStringList{} << "" << QStringList{} << 0;
}

void TestMqttManager::receive()
{
    QFETCH(QString, topic);
    QFETCH(QStringList, before);
    QFETCH(QString, presence);
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(QStringList, items);
    QFETCH(QString, roomAfter);
    QFETCH(QStringList, chatsAfter);
    QFETCH(int, unread);

    if (!before.first().isEmpty())
        m_store->addRoom(topic, before.first().section('|', 0, 0).toInt(),
                         before.first().section('|', 1));
    if (before.size() > 1) {
        const QStringList chat = before.last().split('|');
        storeChat(topic, chat.at(0), chat.at(1).toInt(), kT - 1000, chat.at(2).toInt());
    }
    m_presence.set(topic, presence);
    QList<QPair<QString, QByteArray>> messages;
    for (const QByteArray& payload : payloads)
        messages << qMakePair(topic, payload);
    const Items got = deliver(messages);
    m_presence.set(QString(), QString());

    for (QString& line : items)
        line.replace(QLatin1String("%1"), topic.mid(5));
    QCOMPARE(describe(got, topic), items);
    QCOMPARE(
        m_store->rows("SELECT type, members FROM TTT_CHATT_ROOM WHERE topic=?", {topic}).join(' '),
        roomAfter);
    QCOMPARE(m_store->rows("SELECT msg_id, msg_type, msg_read, msg_state, msg_time - ?, CASE "
                           "content_type WHEN 1 THEN content ELSE content_type END FROM TTT_CHATT "
                           "WHERE topic=? ORDER BY msg_time, msg_id",
                           {kT, topic}),
             chatsAfter);
    QCOMPARE(unreadCounts().get(topic), unread);
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
