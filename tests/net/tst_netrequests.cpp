// The request catalogue against the reference server over TLS: each request reaches its path
// with its method, form and identifying headers, and its answer comes back on the GUI thread
// with the caller's request code.
#include "main/mtdata.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "netfixture.h"
#include "store/dbchatroom.h"

#include <QJsonArray>
#include <QtTest>

#include <memory>

namespace {
enum Request
{
    Login,
    Ping,
    Logout,
    Profile,
    Password,
    Leave,
    FileAuth,
    ChatLoad,
    GroupInfo,
    ChatRoom,
    NewRoom,
    Invite,
};

} // namespace

class TestNetRequests : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void catalogue_data();
    void catalogue();
    void headersInOrder_data();
    void headersInOrder();
    void loginPassword_data();
    void loginPassword();
    void newRoomOfTypeLeave();
    void roomIdFromTopic_data();
    void roomIdFromTopic();
    void unknownMethodMakesNoReply();
    void baseUrl_data();
    void baseUrl();

private:
    qint64 newUser(const QString& account, const QString& password = QString());
    qint64 newRoom(const QList<qint64>& members, int type);
    QString subst(QString text) const;
    QJsonValue subst(const QJsonValue& value) const;
    bool send(Request request, int reqCode, const QStringList& args);

    NetFixture m_fixture;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<NetRecorder> m_recorder;
    QMap<QString, QString> m_vars;
};

qint64 TestNetRequests::newUser(const QString& account, const QString& password)
{
    QJsonObject body{{"loginAccnt", account}, {"userName", account}};
    if (!password.isEmpty())
        body.insert(QStringLiteral("password"), password);
    return qint64(m_fixture.server()
                      .control("POST", QStringLiteral("/control/user"), body)
                      .toObject()
                      .value(QLatin1String("userId"))
                      .toDouble());
}

qint64 TestNetRequests::newRoom(const QList<qint64>& members, int type)
{
    QJsonArray ids;
    for (qint64 id : members)
        ids.append(id);
    const QJsonObject room = m_fixture.server()
                                 .control("POST", QStringLiteral("/control/room"),
                                          QJsonObject{{"userId", m_vars.value("%me").toLongLong()},
                                                      {"members", ids},
                                                      {"roomType", type},
                                                      {"notify", false}})
                                 .toObject();
    return qint64(room.value(QLatin1String("chattRoomId")).toDouble());
}

void TestNetRequests::initTestCase()
{
    QVERIFY2(m_fixture.start(), qPrintable(m_fixture.errorString()));
    m_session = std::make_unique<MTData>();
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    const qint64 me = m_session->userId();
    m_vars.insert(QStringLiteral("%me"), QString::number(me));
    for (const char* name : {"%a", "%b", "%c", "%d", "%e"}) {
        const qint64 id = newUser(QStringLiteral("net") + QLatin1String(name).mid(1));
        QVERIFY(id > 0);
        m_vars.insert(QLatin1String(name), QString::number(id));
    }
    const auto var = [this](const char* name) {
        return m_vars.value(QLatin1String(name)).toLongLong();
    };
    m_vars.insert(QStringLiteral("%pair"), QString::number(newRoom({var("%a")}, 20)));
    m_vars.insert(QStringLiteral("%leave"), QString::number(newRoom({var("%b")}, 20)));
    m_vars.insert(QStringLiteral("%many"), QString::number(newRoom({var("%a"), var("%b")}, 30)));
    const QJsonArray groups = m_fixture.server()
                                  .control("GET", QStringLiteral("/control/users/%1").arg(me))
                                  .toObject()
                                  .value(QLatin1String("groups"))
                                  .toArray();
    QVERIFY(!groups.isEmpty());
    m_vars.insert(QStringLiteral("%group"), QString::number(qint64(groups.at(0).toDouble())));
    for (auto it = m_vars.cbegin(); it != m_vars.cend(); ++it)
        QVERIFY2(it.value().toLongLong() > 0, qPrintable(it.key()));

    m_net =
        std::make_unique<NetServerManager>(ServerConfig::fromFile(m_fixture.server().clientIni()));
    m_recorder = std::make_unique<NetRecorder>(m_net.get());
}

void TestNetRequests::cleanupTestCase()
{
    m_recorder.reset();
    m_net.reset();
}

QString TestNetRequests::subst(QString text) const
{
    // Longest names first, so "%leave" is not read as "%le..." of another.
    QStringList names = m_vars.keys();
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& name : qAsConst(names))
        text.replace(name, m_vars.value(name));
    return text;
}

QJsonValue TestNetRequests::subst(const QJsonValue& value) const
{
    if (value.isString())
        return subst(value.toString());
    if (value.isArray()) {
        QJsonArray out;
        for (const QJsonValue& v : value.toArray())
            out.append(subst(v));
        return out;
    }
    if (value.isObject()) {
        QJsonObject out;
        const QJsonObject in = value.toObject();
        for (auto it = in.begin(); it != in.end(); ++it)
            out.insert(it.key(), subst(it.value()));
        return out;
    }
    return value;
}

bool TestNetRequests::send(Request request, int reqCode, const QStringList& a)
{
    switch (request) {
    case Login:
        return m_net->reqLogin(reqCode, a.value(0), MTData::passwordDigest(a.value(1)),
                               a.value(2).toInt());
    case Ping:
        return m_net->reqPing(reqCode);
    case Logout:
        return m_net->reqLogout(reqCode);
    case Profile:
        return m_net->reqUpdateMyProfile(reqCode, a.value(0), a.value(1) == QLatin1String("1"),
                                         a.value(2));
    case Password:
        return m_net->reqChangePassword(reqCode, a.value(0), a.value(1), a.value(2));
    case Leave:
        return m_net->reqLeaveChatRoom(reqCode, a.value(0).toLongLong(), a.value(1).toInt());
    case FileAuth:
        return m_net->reqFileAuth(reqCode);
    case ChatLoad:
        return m_net->reqChatLoad(reqCode, a.value(0).toLongLong(), a.value(1).toLongLong());
    case GroupInfo:
        return m_net->reqGroupInfo(reqCode, a.value(0).toLongLong());
    case ChatRoom:
        return m_net->reqChatRoom(reqCode, a.value(0));
    case NewRoom: {
        DBChatRoom room;
        room.setMembers(a.value(0));
        room.setType(a.value(1).toInt());
        return m_net->reqNewChatRoom(reqCode, room);
    }
    case Invite:
        return m_net->reqInviteMember(reqCode, a.value(0).toLongLong(), a.mid(1));
    }
    return false;
}

void TestNetRequests::catalogue_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("reqCode");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("form");   // as the server decoded it; null for none
    QTest::addColumn<int>("expectedError"); // 0: success

    const QJsonValue none;
    const QString fancy = QStringLiteral("A+B & C=D 100% %41 \u00e9\ud55c");
    QTest::newRow("login") << int(Login) << 1 << QStringList{"user001", "Passw0rd!", "0"} << "POST"
                           << "/rest/auth"
                           << QJsonValue(QJsonObject{
                                  {"loginAccnt", "user001"},
                                  {"passwd", MTData::passwordDigest(QStringLiteral("Passw0rd!"))},
                                  {"deviceModel", "PC"},
                                  {"forceYn", "0"}})
                           << 0;
    QTest::newRow("ping") << int(Ping) << 9 << QStringList() << "GET"
                          << "/rest/auth/ping" << none << 0;
    QTest::newRow("file auth") << int(FileAuth) << 8 << QStringList() << "GET"
                               << "/rest/file/auth" << none << 0;
    QTest::newRow("history page") << int(ChatLoad) << 9 << QStringList{"%many", "0"} << "GET"
                                  << "/rest/chatt/room/savechatlist/%many/0/1/50" << none << 0;
    QTest::newRow("history page from a time")
        << int(ChatLoad) << 9 << QStringList{"%many", "1700000000123"} << "GET"
        << "/rest/chatt/room/savechatlist/%many/1700000000123/1/50" << none << 0;
    QTest::newRow("group info") << int(GroupInfo) << 5 << QStringList{"%group"} << "GET"
                                << "/rest/group/info/%group" << none << 0;
    QTest::newRow("one room") << int(ChatRoom) << 7 << QStringList{"chat/%pair"} << "GET"
                              << "/rest/chatt/room/%me/%pair" << none << 0;
    QTest::newRow("topic without a slash")
        << int(ChatRoom) << 7 << QStringList{"chat%pair"} << "GET"
        << "/rest/chatt/room/%me/-1" << none << 40400;
    QTest::newRow("topic with two slashes")
        << int(ChatRoom) << 7 << QStringList{"chat/%pair/1"} << "GET"
        << "/rest/chatt/room/%me/-1" << none << 40400;
    QTest::newRow("profile") << int(Profile) << 16 << QStringList{fancy, "1", ""} << "PUT"
                             << "/rest/user"
                             << QJsonValue(QJsonObject{{"userId", "%me"},
                                                       {"userName", fancy},
                                                       {"chattingAllowYn", "1"},
                                                       {"tel", "000-0000-0000"},
                                                       {"telOpenYn", "1"}})
                             << 0;
    QTest::newRow("profile with a file key")
        << int(Profile) << 0 << QStringList{"Kim", "0", "0"} << "PUT"
        << "/rest/user"
        << QJsonValue(QJsonObject{{"userId", "%me"},
                                  {"userName", "Kim"},
                                  {"chattingAllowYn", "0"},
                                  {"tel", "000-0000-0000"},
                                  {"telOpenYn", "1"},
                                  {"fileKey", "0"}})
        << 0;
    QTest::newRow("password") << int(Password) << 9
                              << QStringList{"old+pw&x=1 %2B", "new+Pw=%/1", "new+Pw=%/1"} << "PUT"
                              << "/rest/user/password"
                              << QJsonValue(QJsonObject{{"oPasswd", "old+pw&x=1 %2B"},
                                                        {"nPasswd", "new+Pw=%/1"},
                                                        {"cPasswd", "new+Pw=%/1"}})
                              << 40103;
    QTest::newRow("leave a left one-to-one room")
        << int(Leave) << 5 << QStringList{"%leave", "40"} << "DELETE"
        << "/rest/chatt/room/member/%me/%leave/20" << none << 0;
    QTest::newRow("new room with three members")
        << int(NewRoom) << 4 << QStringList{"%c,%d,%e", "30"} << "POST"
        << "/rest/chatt/room"
        << QJsonValue(QJsonObject{
               {"members", QJsonArray{"%c", "%d", "%e"}}, {"userId", "%me"}, {"roomType", "30"}})
        << 0;
    QTest::newRow("invite two") << int(Invite) << 6 << QStringList{"%many", "%c", "%d"} << "POST"
                                << "/rest/chatt/room/member"
                                << QJsonValue(QJsonObject{{"userId", "%me"},
                                                          {"roomId", "%many"},
                                                          {"members", QJsonArray{"%c", "%d"}}})
                                << 0;
    QTest::newRow("logout") << int(Logout) << 2 << QStringList() << "DELETE"
                            << "/rest/auth/%me" << none << 0;
}

void TestNetRequests::catalogue()
{
    QFETCH(int, request);
    QFETCH(int, reqCode);
    QFETCH(QStringList, args);
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QJsonValue, form);
    QFETCH(int, expectedError);

    // Each row on a session of its own: the logout row ends its session.
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    for (QString& arg : args)
        arg = subst(arg);
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();

    QVERIFY(send(Request(request), reqCode, args));
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, reqCode, &answer));
    QCOMPARE(answer.thread, QThread::currentThread());
    if (expectedError == 0) {
        QVERIFY2(answer.signal == QLatin1String("success"),
                 qPrintable(QStringLiteral("%1 %2").arg(answer.errCode).arg(answer.text)));
    } else {
        QCOMPARE(answer.signal, QStringLiteral("failure"));
        QCOMPARE(answer.errCode, expectedError);
        QVERIFY(!answer.text.isEmpty());
    }
    QTest::qWait(50);
    QCOMPARE(m_recorder->events().size(), 1);

    const QJsonArray received = m_fixture.server().requests(QStringLiteral("/rest"), since);
    QCOMPARE(received.size(), 1);
    const QJsonObject entry = received.at(0).toObject();
    QCOMPARE(entry.value(QLatin1String("method")).toString(), method);
    QCOMPARE(entry.value(QLatin1String("url")).toString(), subst(path));
    QCOMPARE(entry.value(QLatin1String("form")), subst(form));
    const QJsonObject headers = entry.value(QLatin1String("headers")).toObject();
    const bool withBody = method == QLatin1String("POST") || method == QLatin1String("PUT");
    QCOMPARE(headers.value(QLatin1String("content-type")).toString(),
             withBody ? QStringLiteral("application/x-www-form-urlencoded")
                      : QStringLiteral("text/plain"));
    QCOMPARE(headers.value(QLatin1String("access-key")).toString(), m_session->accessKey());
}

void TestNetRequests::headersInOrder_data()
{
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<bool>("withKeys");
    QTest::newRow("full session") << true << true;
    QTest::newRow("device id made on the way") << false << true;
    QTest::newRow("no keys yet") << true << false;
    QTest::newRow("neither") << false << false;
}

void TestNetRequests::headersInOrder()
{
    QFETCH(bool, withDevice);
    QFETCH(bool, withKeys);
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    DBEditor editor;
    if (!withDevice)
        m_session->setDeviceId(editor, QString());
    if (!withKeys) {
        m_session->setAccessKey(editor, QString());
        m_session->setClientId(editor, QString());
    }
    const bool deviceMade = !withDevice; // the session makes one on the GUI thread
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqPing(9));
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 9, nullptr));
    const QJsonArray received = m_fixture.server().requests(QStringLiteral("/rest"), since);
    QCOMPARE(received.size(), 1);
    const QJsonObject entry = received.at(0).toObject();
    const qint64 seq = qint64(entry.value(QLatin1String("seq")).toDouble());

    QStringList expected = NetFixture::identifyingHeaders();
    if (!withKeys) {
        expected.removeAll(QStringLiteral("access-key"));
        expected.removeAll(QStringLiteral("client-id"));
    }
    QCOMPARE(m_fixture.identifyingHeaderOrder(seq), expected);

    const QJsonObject headers = entry.value(QLatin1String("headers")).toObject();
    QCOMPARE(headers.value(QLatin1String("accept-charset")).toString(), QStringLiteral("UTF-8"));
    QCOMPARE(headers.value(QLatin1String("connection")).toString(), QStringLiteral("Keep-alive"));
    QCOMPARE(headers.value(QLatin1String("accept")).toString(), QStringLiteral("application/json"));
    QCOMPARE(headers.value(QLatin1String("device-platform")).toString(), QStringLiteral("C"));
    QCOMPARE(headers.value(QLatin1String("app-ver")).toString(), QStringLiteral("1046"));
    QCOMPARE(headers.value(QLatin1String("user-id")).toString(),
             QString::number(m_session->userId()));
    QCOMPARE(headers.value(QLatin1String("cust-id")).toString(), QStringLiteral("1"));
    QCOMPARE(headers.value(QLatin1String("device-id")).toString(), m_session->deviceId());
    if (deviceMade)
        QCOMPARE(m_session->deviceId().size(), 24);
}

void TestNetRequests::loginPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("digest without +") << QStringLiteral("Passw0rd!");
    // Its digest holds "+", "/" and "=".
    QTest::newRow("digest with +") << QStringLiteral("Plus13pw!");
}

void TestNetRequests::loginPassword()
{
    QFETCH(QString, password);
    const QString digest = MTData::passwordDigest(password);
    const QString account = QStringLiteral("login%1").arg(QTest::currentDataTag()).remove(' ');
    QVERIFY(newUser(account, password) > 0);
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    LogCapture log;
    QVERIFY(m_net->reqLogin(1, account, digest, 0));
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 1, &answer));
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    const QString accessKey =
        answer.object.value(QLatin1String("client")).toObject().value("accessKey").toString();
    QVERIFY(!accessKey.isEmpty());

    const QJsonObject entry = m_fixture.lastRequest(QStringLiteral("/rest/auth"), since);
    QCOMPARE(entry.value(QLatin1String("form")).toObject().value("passwd").toString(), digest);
    QVERIFY(log.contains(QStringLiteral("NetServerManager::reqLogin passToVari ")));
    QVERIFY(log.contains(QStringLiteral("NetServerManager::reqLogin queryItemValue passToVari ")));
    QString wire = digest;
    wire.replace(QLatin1String("+"), QLatin1String("%2B"));
    for (const QString& line : log.lines()) {
        for (const QString& secret : {digest, wire, digest.left(12), accessKey})
            QVERIFY2(!line.contains(secret), qPrintable(line));
    }
}

void TestNetRequests::newRoomOfTypeLeave()
{
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    DBChatRoom room;
    room.setMembers(subst(QStringLiteral("%e")));
    room.setType(40);
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqNewChatRoom(4, room));
    QCOMPARE(room.type(), 20);
    NetRecorder::Event answer;
    QVERIFY(m_recorder->waitForAny({"success", "failure"}, 4, &answer));
    QCOMPARE(answer.signal, QStringLiteral("success"));
    QCOMPARE(answer.object.value(QLatin1String("chattRoomType")).toString(), QStringLiteral("20"));
    const QJsonObject entry = m_fixture.lastRequest(QStringLiteral("/rest/chatt/room"), since);
    QCOMPARE(entry.value(QLatin1String("form")).toObject().value("roomType").toString(),
             QStringLiteral("20"));
}

void TestNetRequests::roomIdFromTopic_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<qint64>("roomId");
    QTest::newRow("room") << "chat/42" << qint64(42);
    QTest::newRow("large") << "chat/9007199254740" << qint64(9007199254740);
    QTest::newRow("empty") << "" << qint64(-1);
    QTest::newRow("no slash") << "chat42" << qint64(-1);
    QTest::newRow("two slashes") << "chat/4/2" << qint64(-1);
    QTest::newRow("not a number") << "chat/abc" << qint64(-1);
    QTest::newRow("empty number") << "chat/" << qint64(-1);
    QTest::newRow("other prefix") << "user/42" << qint64(-1);
}

void TestNetRequests::roomIdFromTopic()
{
    QFETCH(QString, topic);
    QFETCH(qint64, roomId);
    QCOMPARE(NetServerManager::roomIdFromTopic(topic), roomId);
}

void TestNetRequests::unknownMethodMakesNoReply()
{
    QTest::ignoreMessage(QtWarningMsg, "NetServerManager::httpRequest - unknown method=PATCH");
    QNetworkAccessManager manager;
    QCOMPARE(m_net->httpRequest(&manager, m_net->makeUrl(QStringLiteral("/rest/auth/ping")), 9,
                                QStringLiteral("PATCH"), QUrlQuery()),
             nullptr);
}

void TestNetRequests::baseUrl_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url");
    QTest::newRow("default port") << "[Server]\nHost=chat.example.org\n"
                                  << "/rest/auth"
                                  << "https://chat.example.org/rest/auth";
    QTest::newRow("443 named") << "[Server]\nHost=chat.example.org\nRestPort=443\n"
                               << "/rest/auth/ping"
                               << "https://chat.example.org/rest/auth/ping";
    QTest::newRow("other port") << "[Server]\nHost=10.0.0.5\nRestPort=8443\n"
                                << "/rest/cache/7/19700101000000"
                                << "https://10.0.0.5:8443/rest/cache/7/19700101000000";
    QTest::newRow("query kept") << "[Server]\nHost=h.example\n"
                                << "/files/a.png?v=2"
                                << "https://h.example/files/a.png?v=2";
}

void TestNetRequests::baseUrl()
{
    QFETCH(QString, ini);
    QFETCH(QString, path);
    QFETCH(QString, url);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("server.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini.toUtf8());
    file.close();
    const NetServerManager net(ServerConfig::fromFile(file.fileName()));
    QCOMPARE(net.makeUrl(path).toString(), url);
}

QTEST_GUILESS_MAIN(TestNetRequests)
#include "tst_netrequests.moc"
