// The messaging session against a real mosquitto broker and a real encrypted store: payloads
// published by another client travel through the broker to MqttManager's delivery thread, are
// stored through its own connection and come out of the queue as message items; the test reads
// the file back through the GUI thread's connection. A PUSH published after each case marks the
// end of its items, since the broker keeps the order of one publisher.
#include "common/mosquittobroker.h"
#include "messaging/roompresence.h"
#include "sessionfixture.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"
#include "storedrows.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {
const QString kOtherSession = QStringLiteral("client-B");
const QString kKey = QStringLiteral("access-key-7");

// One published payload as another subscriber decodes it: a message id made for this session
// reads as kOwnId, contents as compact JSON or text; an undecodable payload has sender -1.
struct SentEvent
{
    static constexpr const char* kOwnId = "(made for client-A)";
    qint32 sender;
    int type;
    QString messageId;
    QString contents;

    static SentEvent decode(const QByteArray& bytes)
    {
        ChatPayload p;
        if (!PayloadCodec::decode(bytes, &p))
            return {-1, 0, QString(), QString::fromLatin1(bytes.toHex())};
        static const QRegularExpression ownId(QStringLiteral("^client-A-\\d{17}$"));
        const QJsonObject o = p.object();
        return {p.senderId, p.messageType,
                ownId.match(p.messageId).hasMatch() ? QString::fromLatin1(kOwnId) : p.messageId,
                o.isEmpty() ? p.text()
                            : QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))};
    }
    bool operator==(const SentEvent& e) const
    {
        return sender == e.sender && type == e.type && messageId == e.messageId &&
               contents == e.contents;
    }
};
char* toString(const SentEvent& e)
{
    return QTest::toString(QStringLiteral("{sender %1, type %2, id \"%3\", contents %4}")
                               .arg(e.sender)
                               .arg(e.type)
                               .arg(e.messageId, e.contents));
}

// The main window's side of the seam: another session is in chat/103, the window of chat/102 is
// active.
struct Presence : RoomPresence
{
    bool isInRoom(const QString& topic) const override { return topic == "chat/103"; }
    bool isActiveChatWindow(const QString& topic) const override { return topic == "chat/102"; }
};
} // namespace

class TestMqttManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void receive_data();
    void receive();
    void sendOperations();
    void history_data();
    void history();
    void sessionObjectDeletedWhileRead();

private:
    // Publishes the payloads in order, then a marker, and returns what was queued before it.
    Items deliver(const QString& topic, const QList<QByteArray>& payloads);

    TestEnv m_env;
    MosquittoBroker m_broker;
    std::unique_ptr<SessionFixture> m_fixture;
    std::unique_ptr<MqttManager> m_manager;
    std::unique_ptr<QMQTT::Client> m_publisher;
    Presence m_presence;
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
    QVERIFY(m_broker.subscribeSession(QStringLiteral("observer"), {QStringLiteral("chat/send")}));

    m_fixture = std::make_unique<SessionFixture>();
    m_manager = std::make_unique<MqttManager>(m_fixture->store.file());
    QCOMPARE(MqttManager::instance(), m_manager.get());
    m_manager->setRoomPresence(&m_presence);
    QSignalSpy connected(m_manager.get(), &MqttManager::connected);
    m_manager->setConnectionInfo(m_broker.host(), m_broker.port(), kClientId, QString::number(kMe),
                                 kKey);
    m_manager->connectToHost();
    QVERIFY(connected.wait(10000));
    // Another host, port and identity: the first connection stays (and the cases below use it).
    QTest::ignoreMessage(QtDebugMsg, "MqttManager::connectToHost - already connected");
    m_manager->connectToHost(QStringLiteral("192.0.2.1"), 1, QStringLiteral("other"),
                             QStringLiteral("1"), QStringLiteral("x"));
    QVERIFY(m_manager->isConnectedToHost());

    m_publisher = std::make_unique<QMQTT::Client>(QHostAddress(m_broker.host()), m_broker.port());
    m_publisher->setClientId(QStringLiteral("publisher"));
    m_publisher->setUsername(QString::number(kMe));
    m_publisher->setPassword(kKey.toLatin1());
    m_publisher->connectToHost();
    QTRY_VERIFY_WITH_TIMEOUT(m_publisher->isConnectedToHost(), 10000);
}

void TestMqttManager::cleanupTestCase()
{
    m_publisher.reset();
    m_manager.reset();
    QCOMPARE(MqttManager::instance(), nullptr);
    // The delivery thread's connection is gone with the manager.
    QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(DBManager::kConnectionMqtt)));
}

Items TestMqttManager::deliver(const QString& topic, const QList<QByteArray>& payloads)
{
    for (const QByteArray& payload : payloads)
        m_publisher->publish(QMQTT::Message(0, topic, payload, 1));
    m_publisher->publish(QMQTT::Message(0, QStringLiteral("chat/marker"),
                                        PayloadCodec::encode(ChatPayload::push(kT, 1, "end")), 1));
    Items items;
    while (m_manager->waitForMessageItem(10000)) {
        std::unique_ptr<Item> item = m_manager->takeMessageItem();
        if (item->type() == Item::Push)
            return items;
        items.push_back(std::move(item));
    }
    qWarning("the marker did not arrive");
    return items;
}

void TestMqttManager::receive_data()
{
    // Each row on a topic of its own, "chat/<room>". Before: the room (none or one) and its chats
    // (times relative to kT). After: the items queued, the room, its chats, its unread count.
    QTest::addColumn<int>("room");
    QTest::addColumn<QList<RoomRow>>("roomBefore");
    QTest::addColumn<QList<SeedChat>>("chatsBefore");
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QList<RoomRow>>("roomAfter");
    QTest::addColumn<QList<ChatRow>>("chatsAfter");
    QTest::addColumn<int>("unread");

    using P = QList<QByteArray>;
    using R = QList<RoomRow>;
    using S = QList<SeedChat>;
    using C = QList<ChatRow>;
    using I = QStringList;
    const auto chat = [](int n, qint32 sender, int contentType, const QString& text) {
        return chatPayload(sender, contentType, QStringLiteral("m%1").arg(n), text, kT + 5);
    };
    const QString refresh = MqttManager::kRefreshText;
    const QString img = json({{"file_name", "a.png"}, {"remote_path_url", "/p/a.png"}});
    const QByteArray text = chat(104, kAlice, 1, "text");
    // The refresh text is a command to the user's own sessions only.
    QTest::newRow("chats of others, unread; what is cut short or of unknown types is dropped")
        << 101 << R{{20, "8"}} << S{}
        << P{chat(101, kAlice, 1, "hello"), chat(102, kAlice, 1, refresh),
             chat(103, kBob, 2, img)} +
               P{text.left(8), text.left(20),
                 eventPayload(ChatPayload::TypeRead, kAlice, "x", "")} +
               P{eventPayload(42, kAlice, "x", ""), chat(106, kAlice, 5, "x"),
                 eventPayload(ChatPayload::TypeInvite, kAlice, "bad-1", "not json")}
        << I{"chat m101 Alice 0", "chat m102 Alice 0", "chat m103 Bob 0 a.png /p/a.png"}
        << R{{20, "8"}}
        << C{{"m101", 1, false, 1, 5, 0, "hello"},
             {"m102", 1, false, 1, 5, 0, "!*refresh*!"},
             {"m103", 1, false, 1, 5, 0, "2"}}
        << 3;
    QTest::newRow("chat while the room's window is active")
        << 102 << R{{20, "8"}} << S{} << P{chat(102, kAlice, 1, "hello")} << I{"chat m102 Alice 1"}
        << R{{20, "8"}} << C{{"m102", 1, true, 1, 5, 0, "hello"}} << 0;
    QTest::newRow("chat while another session is in the room")
        << 103 << R{{20, "8"}} << S{} << P{chat(103, kAlice, 1, "hi")} << I{"chat m103 Alice 1"}
        << R{{20, "8"}} << C{{"m103", 1, true, 1, 5, 0, "hi"}} << 0;
    QTest::newRow("own chats: an echo confirms, another session's is read, a refresh is not kept")
        << 112 << R{{20, "8"}} << S{{"m112", kMe, 0, -1000}}
        << P{chatPayload(kMe, 1, "m112", "x", kT + 9), chat(109, kMe, 1, "mine"),
             chat(110, kMe, 1, refresh)}
        << I{"chat m112 Me 1", "chat m109 Me 1"} << R{{20, "8"}}
        << C{{"m109", 1, true, 1, 5, 0, "mine"}, {"m112", 1, true, 1, 9, 0, "stored m112"}} << 0;
    // Read notices of others on the user's chats: confirmed chats from the read time on count
    // each reader once; time 0 says nothing about what was read.
    const auto read = [](qint32 reader, qint64 time) {
        return eventPayload(ChatPayload::TypeEnterRead, reader, "r",
                            ChatPayload::enterReadContents("c-R", time));
    };
    QTest::newRow("read receipts")
        << 120 << R{{30, "8,9"}}
        << S{{"mine-1", kMe, 1, 0}, {"mine-2", kMe, 1, 1000}, {"mine-3", kMe, 0, 2000}}
        << P{read(kAlice, kT + 500), read(kBob, kT), read(kBob, kT), read(kCarol, 0)}
        << I{"read mine-2=1", "read mine-1=1 mine-2=2", "read mine-1=1 mine-2=2"} << R{{30, "8,9"}}
        << C{{"mine-1", 1, true, 1, 0, 1, "stored mine-1"},
             {"mine-2", 1, true, 1, 1000, 2, "stored mine-2"},
             {"mine-3", 1, true, 0, 2000, 0, "stored mine-3"}}
        << 0;

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
    QTest::newRow("invitation that changes a group room's members")
        << 201 << R{{30, "8"}} << S{} << invite(201, kAlice, RoomType1VSN)
        << I{"invite 30 2 8,9 Bob,Me by Alice"} << R{{30, "8,9"}}
        << C{{"i201", 3, true, 1, 0, 0, "Bob,Me"}} << 0;
    QTest::newRow("invitation to a group room from another session")
        << 202 << R{} << S{} << invite(202, kMe, RoomType1VSN)
        << I{"invite 30 1 8,9 Bob,Alice by Me", "invite 30 0 8,9 Bob,Alice by Me"} << R{{30, "8,9"}}
        << C{{"i202", 3, true, 1, 0, 0, "Bob,Alice"}} << 0;
    QTest::newRow("invitation to a one-to-one room: no notice")
        << 203 << R{} << S{} << P{invite(203, kAlice, RoomType1VS1).first()}
        << I{"invite 20 1 8 by"} << R{{20, "8"}} << C{} << 0;
    // Unknown ids are left out, the array's order is kept.
    const QByteArray admission = eventPayload(
        ChatPayload::TypeAdmission, kAlice, QStringLiteral("a301"),
        roomEvent(301, RoomType1VSN, {kMe, kAlice, kBob, kCarol}, {"9", "4242", "10"}));
    QTest::newRow("admission") << 301 << R{} << S{} << P{admission, admission}
                               << I{"admission 30 1 8,9,10 Bob,Carol by Alice"} << R{{30, "8,9,10"}}
                               << C{{"a301", 4, true, 1, 0, 0, "Bob,Carol"}} << 0;

    // A member of one room naming another room of the user (chat/101) in an event on the first
    // room's topic: nothing changes, neither here nor there.
    const QString other = roomEvent(101, RoomType1VSN, {kMe, kBob, kCarol}, {"9"});
    QTest::newRow("room event naming another room")
        << 601 << R{} << S{}
        << P{eventPayload(ChatPayload::TypeInvite, kBob, "client-X-1", other),
             eventPayload(ChatPayload::TypeAdmission, kBob, "client-X-2", other)}
        << I{} << R{} << C{} << 0;

    const auto leave = [](qint32 sender, const QString& id, int type) {
        return eventPayload(ChatPayload::TypeLeave, sender, id, json({{"chatRoomType", type}}));
    };
    QTest::newRow("partner left a one-to-one room")
        << 401 << R{{20, "8"}} << S{{"o401", kAlice, 1, -1000}}
        << P{leave(kAlice, "client-X-1", RoomType1VS1)} << I{"leave 40 2 8 by"} << R{{40, "8"}}
        << C{{"o401", 1, true, 1, -1000, 0, "stored o401"}} << 0;
    QTest::newRow("member left a group room")
        << 402 << R{{30, "8,9"}} << S{{"o402", kAlice, 1, -1000}}
        << P{leave(kAlice, "client-X-2", RoomType1VSN), leave(kAlice, "client-X-2", RoomType1VSN)}
        << I{"leave 30 2 9 Alice by Alice"} << R{{30, "9"}}
        << C{{"o402", 1, true, 1, -1000, 0, "stored o402"},
             {"client-X-2", 5, true, 1, 0, 0, "Alice"}}
        << 0;
    QTest::newRow("user left on another session")
        << 404 << R{{30, "8,9"}} << S{{"o404", kAlice, 1, -1000}}
        << P{leave(kMe, "client-B-4", RoomType1VSN)} << I{"leave 30 3 8,9 by"} << R{} << C{} << 0;
    QTest::newRow("leaving that changes nothing: unknown member, this session, no id")
        << 405 << R{{30, "8,9"}} << S{}
        << P{leave(4242, "client-X-3", RoomType1VSN), leave(kMe, "client-A-5", RoomType1VSN),
             leave(kMe, "", RoomType1VSN)}
        << I{} << R{{30, "8,9"}} << C{} << 0;

    // Three unread chats of Alice at kT, kT+1000, kT+2000, then notices of the user's sessions;
    // only another session's are queued.
    const auto notices = [](int n, const QList<QPair<int, QString>>& sent) {
        P p;
        for (int i = 0; i < 3; ++i)
            p << chatPayload(kAlice, 1, QStringLiteral("r%1-%2").arg(n).arg(i), "x", kT + i * 1000);
        for (const auto& s : sent)
            p << eventPayload(s.first, kMe, "id", s.second);
        return p;
    };
    const auto enterRead = [](const QString& clientId, qint64 readTime) {
        return qMakePair(int(ChatPayload::TypeEnterRead),
                         ChatPayload::enterReadContents(clientId, readTime));
    };
    QTest::newRow("another session read from kT+1000, left and came back")
        << 501 << R{{20, "8"}} << S{}
        << notices(501, {enterRead(kOtherSession, kT + 1000),
                         {ChatPayload::TypeLeaveRead, kOtherSession},
                         {ChatPayload::TypeLeaveRead, kClientId},
                         {ChatPayload::TypeHereRead, kOtherSession},
                         {ChatPayload::TypeHereRead, kClientId}})
        << I{"chat r501-0 Alice 0", "chat r501-1 Alice 0",  "chat r501-2 Alice 0",
             "myread client-B 1",   "leaveread 7 client-B", "hereread 7 client-B"}
        << R{{20, "8"}}
        << C{{"r501-0", 1, false, 1, 0, 0, "x"},
             {"r501-1", 1, true, 1, 1000, 0, "x"},
             {"r501-2", 1, true, 1, 2000, 0, "x"}}
        << 1;
    QTest::newRow("another session read with time 0, then this session's own notice")
        << 502 << R{{20, "8"}} << S{}
        << notices(502, {enterRead(kOtherSession, 0), enterRead(kClientId, kT)})
        << I{"chat r502-0 Alice 0", "chat r502-1 Alice 0", "chat r502-2 Alice 0",
             "myread client-B 3", "myread client-A 3"}
        << R{{20, "8"}}
        << C{{"r502-0", 1, false, 1, 0, 0, "x"},
             {"r502-1", 1, false, 1, 1000, 0, "x"},
             {"r502-2", 1, false, 1, 2000, 0, "x"}}
        << 3;
}

void TestMqttManager::receive()
{
    QFETCH(int, room);
    QFETCH(QList<RoomRow>, roomBefore);
    QFETCH(QList<SeedChat>, chatsBefore);
    QFETCH(QList<QByteArray>, payloads);

    const QString topic = QStringLiteral("chat/%1").arg(room);
    for (const RoomRow& r : roomBefore)
        m_fixture->store.addRoom(topic, r.type, r.members);
    for (const SeedChat& c : chatsBefore)
        m_fixture->store.addChat(topic, c.msgId, c.sender, kT + c.time, c.state, 1,
                                 "stored " + c.msgId);
    QTEST(describe(deliver(topic, payloads), topic), "items");
    QTEST(roomRows(m_fixture->store.db().database(), topic), "roomAfter");
    QTEST(chatRows(m_fixture->store.db().database(), topic, kT), "chatsAfter");
    QTEST(unreadCounts().get(topic), "unread");
}

void TestMqttManager::sendOperations()
{
    // A topic the session has no room for: what comes back to it changes nothing.
    const QString topic = QStringLiteral("chat/send");
    m_manager->sendChat(topic, ContentTypeText, QString(), {}, QStringLiteral("no id"));
    m_manager->sendInvite(topic, QStringLiteral("client-A-inv"), QStringLiteral("{}"));
    m_manager->sendAdd(topic, QStringLiteral("client-A-add"), QStringLiteral("{}"));
    m_manager->sendLeave(topic, QStringLiteral("client-A-lv"), QStringLiteral("{}"));
    m_manager->sendReadHere(topic);
    m_manager->sendReadLeave(topic);
    // A read notice goes 10 s back, never below 0.
    for (qint64 readTime : {Q_INT64_C(5000), Q_INT64_C(20000), kT})
        m_manager->sendReadEnter(topic, readTime);

    // What another subscriber receives.
    QProcess observer;
    observer.start(QStringLiteral("mosquitto_sub"),
                   m_broker.clientArguments() + QStringList{"-i", "observer", "-c", "-q", "1", "-C",
                                                            "9", "-t", topic, "-F", "%x"});
    QVERIFY(observer.waitForFinished(10000));
    QList<SentEvent> seen;
    for (const QByteArray& hex : observer.readAllStandardOutput().trimmed().split('\n'))
        seen << SentEvent::decode(QByteArray::fromHex(hex));
    const QString readContents = QStringLiteral("{\"clientId\":\"client-A\",\"readTime\":%1}");
    QCOMPARE(seen, (QList<SentEvent>{
                       {7, 1, "", "no id"},
                       {7, 3, "client-A-inv", "{}"},
                       {7, 4, "client-A-add", "{}"},
                       {7, 5, "client-A-lv", "{}"},
                       {7, 11, SentEvent::kOwnId, "client-A"},
                       {7, 10, SentEvent::kOwnId, "client-A"},
                       {7, 9, SentEvent::kOwnId, readContents.arg(0)},
                       {7, 9, SentEvent::kOwnId, readContents.arg(10000)},
                       {7, 9, SentEvent::kOwnId, readContents.arg(kT - 10000)},
                   }));
    // The session hears its own read notices too; they name this session, so nothing changes.
    QCOMPARE(describe(deliver(topic, {}), topic).filter(QRegularExpression("^myread")),
             (QStringList{"myread client-A 0", "myread client-A 0", "myread client-A 0"}));
}

void TestMqttManager::history_data()
{
    // A chat object of a server history page (numbers sometimes as texts, as the server sends
    // them): history never counts as unread, and settles the user's own chats.
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QList<RoomRow>>("roomBefore");
    QTest::addColumn<QList<SeedChat>>("chatsBefore");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<qint32>("sender");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QList<ChatRow>>("chatsAfter");
    QTest::newRow("another member's chat in a room not stored")
        << "chat/1001" << QList<RoomRow>{} << QList<SeedChat>{} << "h1" << kAlice
        << QStringList{"chat h1 Alice 1", "noroom"}
        << QList<ChatRow>{{"h1", 1, true, 1, 0, 0, "x"}};
    QTest::newRow("the user's own chat, stored unconfirmed")
        << "chat/1002" << QList<RoomRow>{{RoomType1VS1, "8"}}
        << QList<SeedChat>{{"h2", kMe, MsgStateNew, -5000}} << "h2" << kMe
        << QStringList{"chat h2 Me 1"} << QList<ChatRow>{{"h2", 1, true, 1, 0, 0, "stored h2"}};
}

void TestMqttManager::history()
{
    QFETCH(QString, topic);
    QFETCH(QList<RoomRow>, roomBefore);
    QFETCH(QList<SeedChat>, chatsBefore);
    QFETCH(QString, messageId);
    QFETCH(qint32, sender);
    for (const RoomRow& r : roomBefore)
        m_fixture->store.addRoom(topic, r.type, r.members);
    for (const SeedChat& c : chatsBefore)
        m_fixture->store.addChat(topic, c.msgId, c.sender, kT + c.time, c.state, 1,
                                 "stored " + c.msgId);
    const QJsonObject object{{"topic", topic},         {"msgType", 1},
                             {"timestamp", kT},        {"senderId", QString::number(sender)},
                             {"messageId", messageId}, {"contentType", 1},
                             {"contents", "x"}};
    Items got;
    got.push_back(m_manager->chatItemFromHistory(object, &m_fixture->store.db()));
    for (auto queued = m_manager->takeMessageItem(); queued; queued = m_manager->takeMessageItem())
        got.push_back(std::move(queued));
    QTEST(describe(got, topic), "items");
    QTEST(chatRows(m_fixture->store.db().database(), topic, kT), "chatsAfter");
    QCOMPARE(unreadCounts().get(topic), 0);
}

void TestMqttManager::sessionObjectDeletedWhileRead()
{
    // The GUI thread deletes session objects (at log off, or a login attempt's memory-only one)
    // while the delivery thread reads the session for each message: no read may reach a deleted
    // object (the sanitizer builds see any that does).
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    QStringList foreign; // the reader's own until it is joined
    std::thread reader([&] {
        for (; !stop; ++reads) {
            const QString id = m_manager->makeMessageId();
            if (!id.startsWith(kClientId + '-') && !id.startsWith("attempt-") &&
                !id.startsWith('-'))
                foreign << id;
        }
    });
    for (int i = 0; i < 300; ++i) {
        MTData attempt;
        DBEditor editor;
        attempt.setClientId(editor, QStringLiteral("attempt"));
        for (const int before = reads; reads < before + 2;)
            QThread::yieldCurrentThread();
    }
    stop = true;
    reader.join();
    QCOMPARE(foreign, QStringList());
    QCOMPARE(MTData::instance(), &m_fixture->session);
}

QTEST_GUILESS_MAIN(TestMqttManager)
#include "tst_mqttmanager.moc"
