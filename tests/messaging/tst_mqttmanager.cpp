// The messaging session between a real broker and a real store; a PUSH marks each case's end.
#include "messaging/roompresence.h"
#include "sessionfixture.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"

#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {
const QString kOtherSession = QStringLiteral("client-B");

struct RoomRow
{
    int type = 0;
    QString members;
    MT_TYPED(RoomRow, type, members)
};

// A chat row: time relative to kT, text (the content type for other content than text).
struct ChatRow
{
    QString msgId;
    int msgType = 0;
    bool read = false;
    int state = 0;
    qint64 time = 0;
    int count = 0;
    QString text;
    MT_TYPED(ChatRow, msgId, msgType, read, state, time, count, text)
};

// A chat put into the store before a case: id, sender, msg_state, time relative to kT.
struct SeedChat
{
    QString msgId;
    qint64 sender;
    int state;
    qint64 time;
};

// One case on "chat/<room>": room and chats before; items, room, chats, unread count after.
struct Receive
{
    int room;
    QList<RoomRow> roomBefore;
    QList<SeedChat> chatsBefore;
    QList<QByteArray> payloads;
    QList<Queued> items;
    QList<RoomRow> roomAfter;
    QList<ChatRow> chatsAfter;
    int unread;
};

// A payload as another subscriber decodes it; an id made for this session reads as kOwnId.
struct SentEvent
{
    static constexpr const char* kOwnId = "(made for client-A)";
    qint32 sender;
    int type;
    QString messageId;
    QString contents;
    MT_TYPED(SentEvent, sender, type, messageId, contents)
};

SentEvent sentEvent(const QByteArray& bytes)
{
    ChatPayload p;
    PayloadCodec::decode(bytes, &p);
    static const QRegularExpression ownId(QStringLiteral("^client-A-\\d{17}$"));
    const QJsonObject o = p.object();
    return {p.senderId, p.messageType,
            ownId.match(p.messageId).hasMatch() ? QString::fromLatin1(SentEvent::kOwnId)
                                                : p.messageId,
            o.isEmpty() ? p.text()
                        : QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))};
}

QList<ChatRow> chatRows(StoreFixture& store, const QString& topic)
{
    return store.rows<ChatRow>(
        "SELECT msg_id, msg_type, msg_read, msg_state, msg_time - ?, count, CASE content_type "
        "WHEN 1 THEN content ELSE content_type END FROM TTT_CHATT WHERE topic=? "
        "ORDER BY msg_time, msg_id",
        {kT, topic});
}
} // namespace

// Another session is in chat/103; the window of chat/102 is active. Outside the unnamed
// namespace: the test class holds one.
struct Presence : RoomPresence
{
    bool isInRoom(const QString& topic) const override { return topic == "chat/103"; }
    bool isActiveChatWindow(const QString& topic) const override { return topic == "chat/102"; }
};
Q_DECLARE_METATYPE(Receive)

class TestMqttManager : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    MosquittoBroker m_broker;
    std::unique_ptr<SessionFixture> m_fixture;
    std::unique_ptr<MqttManager> m_manager;
    QMQTT::Client m_publisher;
    Presence m_presence;

    static void add(const char* name, int room, const QList<RoomRow>& roomBefore,
                    const QList<SeedChat>& chatsBefore, const QList<QByteArray>& payloads,
                    const QList<Queued>& items, const QList<RoomRow>& roomAfter,
                    const QList<ChatRow>& chatsAfter, int unread)
    {
        QTest::newRow(name) << Receive{room,  roomBefore, chatsBefore, payloads,
                                       items, roomAfter,  chatsAfter,  unread};
    }

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        QVERIFY2(startBroker(m_broker), qPrintable(m_broker.errorString()));
        QVERIFY(m_broker.subscribeSession(kClientId, {QStringLiteral("chat/#")}));
        QVERIFY(
            m_broker.subscribeSession(QStringLiteral("observer"), {QStringLiteral("chat/send")}));

        m_fixture = std::make_unique<SessionFixture>();
        m_manager = std::make_unique<MqttManager>(m_fixture->store.file());
        m_manager->setRoomPresence(&m_presence);
        QSignalSpy connected(m_manager.get(), &MqttManager::connected);
        m_manager->setConnectionInfo(m_broker.host(), m_broker.port(), kClientId,
                                     QString::number(kMe), kKey);
        m_manager->connectToHost();
        QVERIFY(connected.wait(10000));
        QVERIFY(connectClient(m_publisher, m_broker, QStringLiteral("publisher")));
    }

    void receive_data()
    {
        QTest::addColumn<Receive>("row");
        using P = QList<QByteArray>;
        const auto chat = [](int n, qint32 sender, int contentType, const QString& text) {
            return chatPayload(sender, contentType, QStringLiteral("m%1").arg(n), text, kT + 5);
        };
        const QString refresh = MqttManager::kRefreshText;
        const QString img = json({{"file_name", "a.png"}, {"remote_path_url", "/p/a.png"}});
        const QByteArray text = chat(104, kAlice, 1, "text");
        // The refresh text is a command to the user's own sessions only.
        add("chats of others, unread; what is cut short or of unknown types is dropped", 101,
            {{20, "8"}}, {},
            P{chat(101, kAlice, 1, "hello"), chat(102, kAlice, 1, refresh),
              chat(103, kBob, 2, img)} +
                P{text.left(8), text.left(20),
                  eventPayload(ChatPayload::TypeRead, kAlice, "x", "")} +
                P{eventPayload(42, kAlice, "x", ""), chat(106, kAlice, 5, "x"),
                  eventPayload(ChatPayload::TypeInvite, kAlice, "bad-1", "not json")},
            {{"chat", {"m101", "Alice", "0"}},
             {"chat", {"m102", "Alice", "0"}},
             {"chat", {"m103", "Bob", "0", "a.png", "/p/a.png"}}},
            {{20, "8"}},
            {{"m101", 1, false, 1, 5, 0, "hello"},
             {"m102", 1, false, 1, 5, 0, refresh},
             {"m103", 1, false, 1, 5, 0, "2"}},
            3);
        add("chat while the room's window is active", 102, {{20, "8"}}, {},
            {chat(102, kAlice, 1, "hello")}, {{"chat", {"m102", "Alice", "1"}}}, {{20, "8"}},
            {{"m102", 1, true, 1, 5, 0, "hello"}}, 0);
        add("chat while another session is in the room", 103, {{20, "8"}}, {},
            {chat(103, kAlice, 1, "hi")}, {{"chat", {"m103", "Alice", "1"}}}, {{20, "8"}},
            {{"m103", 1, true, 1, 5, 0, "hi"}}, 0);
        add("own chats: an echo confirms, another session's is read, a refresh is not kept", 112,
            {{20, "8"}}, {{"m112", kMe, 0, -1000}},
            P{chatPayload(kMe, 1, "m112", "x", kT + 9), chat(109, kMe, 1, "mine"),
              chat(110, kMe, 1, refresh)},
            {{"chat", {"m112", "Me", "1"}}, {"chat", {"m109", "Me", "1"}}}, {{20, "8"}},
            {{"m109", 1, true, 1, 5, 0, "mine"}, {"m112", 1, true, 1, 9, 0, "stored m112"}}, 0);
        // Others' read notices count each reader once on confirmed own chats; time 0 says nothing.
        const auto read = [](qint32 reader, qint64 time) {
            return eventPayload(ChatPayload::TypeEnterRead, reader, "r",
                                ChatPayload::enterReadContents("c-R", time));
        };
        add("read receipts", 120, {{30, "8,9"}},
            {{"mine-1", kMe, 1, 0}, {"mine-2", kMe, 1, 1000}, {"mine-3", kMe, 0, 2000}},
            P{read(kAlice, kT + 500), read(kBob, kT), read(kBob, kT), read(kCarol, 0)},
            {{"read", {"mine-2=1"}},
             {"read", {"mine-1=1", "mine-2=2"}},
             {"read", {"mine-1=1", "mine-2=2"}}},
            {{30, "8,9"}},
            {{"mine-1", 1, true, 1, 0, 1, "stored mine-1"},
             {"mine-2", 1, true, 1, 1000, 2, "stored mine-2"},
             {"mine-3", 1, true, 0, 2000, 0, "stored mine-3"}},
            0);

        // The same room event twice is stored and queued once.
        const QByteArray invite = eventPayload(ChatPayload::TypeInvite, kAlice, "i201",
                                               roomEvent(201, RoomType1VSN, {kMe, kAlice, kBob}));
        add("invitation that changes a group room's members", 201, {{30, "8"}}, {},
            {invite, invite}, {{"invite", {"30", "2", "8,9", "Bob,Me", "Alice"}}}, {{30, "8,9"}},
            {{"i201", 3, true, 1, 0, 0, "Bob,Me"}}, 0);
        // Unknown ids are left out, the array's order is kept. Before it, events on the topic
        // naming another room (chat/101) change neither room.
        const QString other = roomEvent(101, RoomType1VSN, {kMe, kBob, kCarol}, {"9"});
        const QByteArray admission = eventPayload(
            ChatPayload::TypeAdmission, kAlice, QStringLiteral("a301"),
            roomEvent(301, RoomType1VSN, {kMe, kAlice, kBob, kCarol}, {"9", "4242", "10"}));
        add("admission, after events naming another room", 301, {}, {},
            {eventPayload(ChatPayload::TypeInvite, kBob, "client-X-1", other),
             eventPayload(ChatPayload::TypeAdmission, kBob, "client-X-2", other), admission,
             admission},
            {{"admission", {"30", "1", "8,9,10", "Bob,Carol", "Alice"}}}, {{30, "8,9,10"}},
            {{"a301", 4, true, 1, 0, 0, "Bob,Carol"}}, 0);

        const auto leave = [](qint32 sender, const QString& id, int type) {
            return eventPayload(ChatPayload::TypeLeave, sender, id, json({{"chatRoomType", type}}));
        };
        add("member left a group room", 402, {{30, "8,9"}}, {{"o402", kAlice, 1, -1000}},
            {leave(kAlice, "client-X-2", RoomType1VSN), leave(kAlice, "client-X-2", RoomType1VSN)},
            {{"leave", {"30", "2", "9", "Alice", "Alice"}}}, {{30, "9"}},
            {{"o402", 1, true, 1, -1000, 0, "stored o402"},
             {"client-X-2", 5, true, 1, 0, 0, "Alice"}},
            0);
        add("user left on another session", 404, {{30, "8,9"}}, {{"o404", kAlice, 1, -1000}},
            {leave(kMe, "client-B-4", RoomType1VSN)}, {{"leave", {"30", "3", "8,9"}}}, {}, {}, 0);

        // Three unread chats of Alice, then notices of the user's sessions: a read time of 0 and
        // this session's own notice mark nothing; only other sessions' notices are queued.
        const auto enterRead = [](const QString& clientId, qint64 readTime) {
            return eventPayload(ChatPayload::TypeEnterRead, kMe, "id",
                                ChatPayload::enterReadContents(clientId, readTime));
        };
        const auto mine = [](int type, const QString& clientId) {
            return eventPayload(type, kMe, "id", clientId);
        };
        P notices;
        for (int i = 0; i < 3; ++i)
            notices << chatPayload(kAlice, 1, QStringLiteral("r%1").arg(i), "x", kT + i * 1000);
        add("read notices of the user's sessions", 501, {{20, "8"}}, {},
            notices + P{enterRead(kOtherSession, 0), enterRead(kClientId, kT),
                        enterRead(kOtherSession, kT + 1000),
                        mine(ChatPayload::TypeLeaveRead, kOtherSession),
                        mine(ChatPayload::TypeLeaveRead, kClientId),
                        mine(ChatPayload::TypeHereRead, kOtherSession),
                        mine(ChatPayload::TypeHereRead, kClientId)},
            {{"chat", {"r0", "Alice", "0"}},
             {"chat", {"r1", "Alice", "0"}},
             {"chat", {"r2", "Alice", "0"}},
             {"myread", {"client-B", "3"}},
             {"myread", {"client-A", "3"}},
             {"myread", {"client-B", "1"}},
             {"leaveread", {"7", "client-B"}},
             {"hereread", {"7", "client-B"}}},
            {{20, "8"}},
            {{"r0", 1, false, 1, 0, 0, "x"},
             {"r1", 1, true, 1, 1000, 0, "x"},
             {"r2", 1, true, 1, 2000, 0, "x"}},
            1);
    }

    void receive()
    {
        QFETCH(Receive, row);
        const QString topic = QStringLiteral("chat/%1").arg(row.room);
        StoreFixture& store = m_fixture->store;
        for (const RoomRow& r : row.roomBefore)
            store.addRoom(topic, r.type, r.members);
        for (const SeedChat& c : row.chatsBefore)
            store.addChat(topic, c.msgId, c.sender, kT + c.time, c.state, 1, "stored " + c.msgId);
        for (const QByteArray& payload : row.payloads)
            m_publisher.publish(QMQTT::Message(0, topic, payload, 1));
        // A PUSH on another topic after them: the broker keeps one publisher's order.
        m_publisher.publish(QMQTT::Message(0, QStringLiteral("chat/marker"),
                                           PayloadCodec::encode(ChatPayload::push(kT, 1, "")), 1));
        Items items;
        while ((items.empty() || items.back()->type() != Item::Push) &&
               m_manager->waitForMessageItem(10000))
            items.push_back(m_manager->takeMessageItem());
        QCOMPARE(describe(items, topic), row.items + QList<Queued>({{"push", {}}}));
        QCOMPARE(
            store.rows<RoomRow>("SELECT type, members FROM TTT_CHATT_ROOM WHERE topic=?", {topic}),
            row.roomAfter);
        QCOMPARE(chatRows(m_fixture->store, topic), row.chatsAfter);
        QCOMPARE(unreadCounts().get(topic), row.unread);
    }

    // A history page's chat of another member, in a room not stored: never unread.
    void history()
    {
        const QString topic = QStringLiteral("chat/1001");
        const QJsonObject object{{"topic", topic},    {"msgType", 1},
                                 {"timestamp", kT},   {"senderId", QString::number(kAlice)},
                                 {"messageId", "h1"}, {"contentType", 1},
                                 {"contents", "x"}};
        Items got;
        got.push_back(m_manager->chatItemFromHistory(object, &m_fixture->store.db()));
        for (auto queued = m_manager->takeMessageItem(); queued;
             queued = m_manager->takeMessageItem())
            got.push_back(std::move(queued));
        QCOMPARE(describe(got, topic),
                 (QList<Queued>{{"chat", {"h1", "Alice", "1"}}, {"noroom", {}}}));
        QCOMPARE(chatRows(m_fixture->store, topic),
                 (QList<ChatRow>{{"h1", 1, true, 1, 0, 0, "x"}}));
        QCOMPARE(unreadCounts().get(topic), 0);
    }

    // Session objects deleted on the GUI thread while the delivery thread reads (sanitizers).
    void sessionObjectDeletedWhileRead()
    {
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

    // Last: what comes back to the session (on a topic it has no room for) is left queued.
    void sendOperations()
    {
        const QString topic = QStringLiteral("chat/send");
        m_manager->sendChat(topic, ContentTypeText, QString(), {}, QStringLiteral("no id"));
        m_manager->sendInvite(topic, QStringLiteral("client-A-inv"), QStringLiteral("{}"));
        m_manager->sendAdd(topic, QStringLiteral("client-A-add"), QStringLiteral("{}"));
        m_manager->sendLeave(topic, QStringLiteral("client-A-lv"), QStringLiteral("{}"));
        m_manager->sendReadHere(topic);
        m_manager->sendReadLeave(topic);
        // A read notice goes 10 s back, never below 0.
        for (qint64 readTime : {Q_INT64_C(5000), kT})
            m_manager->sendReadEnter(topic, readTime);

        // What another subscriber receives.
        QProcess observer;
        observer.start(QStringLiteral("mosquitto_sub"),
                       m_broker.clientArguments() + QStringList{"-i", "observer", "-c", "-q", "1",
                                                                "-C", "8", "-t", topic, "-F",
                                                                "%x"});
        QVERIFY(observer.waitForFinished(10000));
        QList<SentEvent> seen;
        for (const QByteArray& hex : observer.readAllStandardOutput().trimmed().split('\n'))
            seen << sentEvent(QByteArray::fromHex(hex));
        const QString readContents = QStringLiteral("{\"clientId\":\"client-A\",\"readTime\":%1}");
        QCOMPARE(seen, (QList<SentEvent>{
                           {7, 1, "", "no id"},
                           {7, 3, "client-A-inv", "{}"},
                           {7, 4, "client-A-add", "{}"},
                           {7, 5, "client-A-lv", "{}"},
                           {7, 11, SentEvent::kOwnId, "client-A"},
                           {7, 10, SentEvent::kOwnId, "client-A"},
                           {7, 9, SentEvent::kOwnId, readContents.arg(0)},
                           {7, 9, SentEvent::kOwnId, readContents.arg(kT - 10000)},
                       }));
    }
};

QTEST_GUILESS_MAIN(TestMqttManager)
#include "tst_mqttmanager.moc"
