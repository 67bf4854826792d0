// The request catalogue against the reference server over TLS: each request reaches its path
// with its method, form and identifying headers, and its answer comes back once with the
// caller's request code.
#include "main/mtdata.h"
#include "net/netservermanager.h"
#include "net/serverconfig.h"
#include "netfixture.h"
#include "store/dbchatroom.h"

#include <QJsonArray>
#include <QtTest>

#include <functional>
#include <memory>

using Call = std::function<bool(int reqCode)>;
Q_DECLARE_METATYPE(Call)

class TestNetRequests : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void catalogue_data();
    void catalogue();
    void headersInOrder_data();
    void headersInOrder();
    void loginPassword_data();
    void loginPassword();
    void roomIdFromTopic_data();
    void roomIdFromTopic();
    void baseUrl_data();
    void baseUrl();

private:
    qint64 newUser(const QString& account, const QString& password = QString());
    qint64 newRoom(const QList<qint64>& members, int type);

    NetFixture m_fixture;
    std::unique_ptr<MTData> m_session;
    std::unique_ptr<NetServerManager> m_net;
    std::unique_ptr<NetRecorder> m_recorder;
    qint64 m_me = 0, m_pair = 0, m_many = 0, m_group = 0;
    QStringList m_users; // five of them, who belong to no room yet
    int m_reqCode = 0;
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
    const QJsonObject body{
        {"userId", m_me}, {"members", ids}, {"roomType", type}, {"notify", false}};
    return qint64(m_fixture.server()
                      .control("POST", QStringLiteral("/control/room"), body)
                      .toObject()
                      .value(QLatin1String("chattRoomId"))
                      .toDouble());
}

void TestNetRequests::initTestCase()
{
    QVERIFY2(m_fixture.start(), qPrintable(m_fixture.errorString()));
    m_session = std::make_unique<MTData>();
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    m_me = m_session->userId();
    for (const char* name : {"a", "b", "c", "d", "e"})
        m_users << QString::number(newUser(QStringLiteral("net") + QLatin1String(name)));
    m_pair = newRoom({m_users.at(0).toLongLong()}, 20);
    m_many = newRoom({m_users.at(0).toLongLong(), m_users.at(1).toLongLong()}, 30);
    m_group = qint64(m_fixture.server()
                         .control("GET", QStringLiteral("/control/users/%1").arg(m_me))
                         .toObject()
                         .value(QLatin1String("groups"))
                         .toArray()
                         .at(0)
                         .toDouble());
    QVERIFY(m_users.last().toLongLong() > 0 && m_pair > 0 && m_many > 0 && m_group > 0);
    m_net =
        std::make_unique<NetServerManager>(ServerConfig::fromFile(m_fixture.server().clientIni()));
    m_recorder = std::make_unique<NetRecorder>(m_net.get());
}

void TestNetRequests::catalogue_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("form");   // as the server decoded it; null for none
    QTest::addColumn<int>("expectedError"); // 0: success

    NetServerManager* net = m_net.get();
    const QString me = QString::number(m_me), many = QString::number(m_many);
    const QString pair = QString::number(m_pair);
    const QStringList u = m_users;
    const QString digest = MTData::passwordDigest(QStringLiteral("Passw0rd!"));
    const QString fancy = QStringLiteral("A+B & C=D 100% %41 \u00e9\ud55c");
    const QJsonObject profile{{"userId", me}, {"tel", "000-0000-0000"}, {"telOpenYn", "1"}};
    auto with = [](QJsonObject o, const QJsonObject& more) {
        for (auto it = more.begin(); it != more.end(); ++it)
            o.insert(it.key(), it.value());
        return o;
    };
    auto newRoom = [net](const QString& members, int type) {
        return [=](int c) {
            DBChatRoom room;
            room.setMembers(members);
            room.setType(type);
            // A room of type 40 is asked for, and kept, as 20.
            return net->reqNewChatRoom(c, room) && room.type() == (type == 40 ? 20 : type);
        };
    };

    // The form as the server decoded it: one value as a string, repeated ones as an array.
    auto row = [](const char* name, const char* method, const QString& path,
                  const QJsonObject& form, int expectedError, const Call& call) {
        QTest::newRow(name) << call << QString::fromLatin1(method) << path
                            << (form.isEmpty() ? QJsonValue() : QJsonValue(form)) << expectedError;
    };
    row("login", "POST", "/rest/auth",
        {{"loginAccnt", "user001"}, {"passwd", digest}, {"deviceModel", "PC"}, {"forceYn", "0"}}, 0,
        [=](int c) { return net->reqLogin(c, "user001", digest, 0); });
    row("ping", "GET", "/rest/auth/ping", {}, 0, [=](int c) { return net->reqPing(c); });
    row("file auth", "GET", "/rest/file/auth", {}, 0, [=](int c) { return net->reqFileAuth(c); });
    row("history page from a time", "GET",
        "/rest/chatt/room/savechatlist/" + many + "/1700000000123/1/50", {}, 0,
        [=](int c) { return net->reqChatLoad(c, m_many, 1700000000123); });
    row("group info", "GET", QStringLiteral("/rest/group/info/%1").arg(m_group), {}, 0,
        [=](int c) { return net->reqGroupInfo(c, m_group); });
    row("one room", "GET", "/rest/chatt/room/" + me + "/" + pair, {}, 0,
        [=](int c) { return net->reqChatRoom(c, "chat/" + pair); });
    row("topic without a slash", "GET", "/rest/chatt/room/" + me + "/-1", {}, 40400,
        [=](int c) { return net->reqChatRoom(c, "chat" + pair); });
    row("profile", "PUT", "/rest/user",
        with(profile, {{"userName", fancy}, {"chattingAllowYn", "1"}}), 0,
        [=](int c) { return net->reqUpdateMyProfile(c, fancy, true, QString()); });
    row("profile with a file key", "PUT", "/rest/user",
        with(profile, {{"userName", "Kim"}, {"chattingAllowYn", "0"}, {"fileKey", "0"}}), 0,
        [=](int c) { return net->reqUpdateMyProfile(c, "Kim", false, "0"); });
    const QString oldPw = QStringLiteral("old+pw&x=1 %2B"), newPw = QStringLiteral("new+Pw=%/1");
    row("password", "PUT", "/rest/user/password",
        {{"oPasswd", oldPw}, {"nPasswd", newPw}, {"cPasswd", newPw}}, 40103,
        [=](int c) { return net->reqChangePassword(c, oldPw, newPw, newPw); });
    row("leave a left one-to-one room (40) as 20", "DELETE",
        "/rest/chatt/room/member/" + me + "/" + pair + "/20", {}, 0,
        [=](int c) { return net->reqLeaveChatRoom(c, m_pair, 40); });
    row("new room with three members", "POST", "/rest/chatt/room",
        {{"members", QJsonArray::fromStringList(u.mid(2))}, {"userId", me}, {"roomType", "30"}}, 0,
        newRoom(u.mid(2).join(','), 30));
    row("new room of type 40 as 20", "POST", "/rest/chatt/room",
        {{"members", u.at(4)}, {"userId", me}, {"roomType", "20"}}, 0, newRoom(u.at(4), 40));
    row("invite two", "POST", "/rest/chatt/room/member",
        {{"userId", me}, {"roomId", many}, {"members", QJsonArray::fromStringList(u.mid(2, 2))}}, 0,
        [=](int c) { return net->reqInviteMember(c, m_many, u.mid(2, 2)); });
    row("logout", "DELETE", "/rest/auth/" + me, {}, 0, [=](int c) { return net->reqLogout(c); });
}

void TestNetRequests::catalogue()
{
    QFETCH(Call, call);
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QJsonValue, form);
    QFETCH(int, expectedError);

    // Each row on a session of its own: the logout row ends its session.
    QVERIFY(m_fixture.signIn(*m_session, QStringLiteral("user001")));
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    const int reqCode = ++m_reqCode;
    QVERIFY(call(reqCode));
    const NetRecorder::Event answer = m_recorder->answer(reqCode);
    QCOMPARE(answer.signal, expectedError ? QStringLiteral("failure") : QStringLiteral("success"));
    QCOMPARE(answer.errCode, expectedError);
    QTest::qWait(50);
    QCOMPARE(m_recorder->events().size(), 1);

    const QJsonArray received = m_fixture.server().requests(QStringLiteral("/rest"), since);
    QCOMPARE(received.size(), 1);
    const QJsonObject entry = received.at(0).toObject();
    QCOMPARE(entry.value(QLatin1String("method")).toString(), method);
    QCOMPARE(entry.value(QLatin1String("url")).toString(), path);
    QCOMPARE(entry.value(QLatin1String("form")), form);
    const QJsonObject headers = entry.value(QLatin1String("headers")).toObject();
    QCOMPARE(headers.value(QLatin1String("content-type")).toString(),
             method == QLatin1String("POST") || method == QLatin1String("PUT")
                 ? QStringLiteral("application/x-www-form-urlencoded")
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
    const qint64 since = m_fixture.server().lastRequestSeq();
    m_recorder->clear();
    QVERIFY(m_net->reqPing(9));
    m_recorder->answer(9);
    const QJsonObject entry = m_fixture.lastRequest(QStringLiteral("/rest"), since);

    QStringList expected = NetFixture::identifyingHeaders();
    if (!withKeys) {
        expected.removeAll(QStringLiteral("access-key"));
        expected.removeAll(QStringLiteral("client-id"));
    }
    QCOMPARE(m_fixture.sentHeaders(qint64(entry.value(QLatin1String("seq")).toDouble())), expected);
    // Without one, the session makes a device id of 24 characters on the way.
    if (!withDevice)
        QCOMPARE(m_session->deviceId().size(), 24);
    const QJsonObject headers = entry.value(QLatin1String("headers")).toObject();
    const QList<QPair<QString, QString>> values = {{"accept-charset", "UTF-8"},
                                                   {"connection", "Keep-alive"},
                                                   {"accept", "application/json"},
                                                   {"device-platform", "C"},
                                                   {"app-ver", "1046"},
                                                   {"cust-id", "1"},
                                                   {"user-id", QString::number(m_me)},
                                                   {"device-id", m_session->deviceId()}};
    for (const auto& value : values)
        QCOMPARE(headers.value(value.first).toString(), value.second);
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
    const NetRecorder::Event answer = m_recorder->answer(1);
    QVERIFY2(answer.signal == QLatin1String("success"), qPrintable(answer.text));
    const QString accessKey =
        answer.object.value(QLatin1String("client")).toObject().value("accessKey").toString();
    QVERIFY(!accessKey.isEmpty());

    const QJsonObject entry = m_fixture.lastRequest(QStringLiteral("/rest/auth"), since);
    QCOMPARE(entry.value(QLatin1String("form")).toObject().value("passwd").toString(), digest);
    QVERIFY(log.contains(QStringLiteral("NetServerManager::reqLogin passToVari ")));
    QVERIFY(log.contains(QStringLiteral("NetServerManager::reqLogin queryItemValue passToVari ")));
    // Neither the digest (plain or as sent) nor the key appears in a log line.
    QString wire = digest;
    wire.replace(QLatin1String("+"), QLatin1String("%2B"));
    for (const QString& line : log.lines()) {
        for (const QString& secret : {digest, wire, digest.left(12), accessKey})
            QVERIFY2(!line.contains(secret), qPrintable(line));
    }
}

void TestNetRequests::roomIdFromTopic_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<qint64>("roomId");
    QTest::newRow("room") << "chat/42" << qint64(42);
    QTest::newRow("large") << "chat/9007199254740" << qint64(9007199254740);
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

void TestNetRequests::baseUrl_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url");
    QTest::newRow("default port") << "Host=chat.example.org\nRestPort=443"
                                  << "/rest/auth"
                                  << "https://chat.example.org/rest/auth";
    QTest::newRow("other port") << "Host=10.0.0.5\nRestPort=8443"
                                << "/rest/cache/7/19700101000000"
                                << "https://10.0.0.5:8443/rest/cache/7/19700101000000";
    QTest::newRow("query kept") << "Host=h.example"
                                << "/files/a.png?v=2"
                                << "https://h.example/files/a.png?v=2";
}

void TestNetRequests::baseUrl()
{
    QFETCH(QString, ini);
    QFETCH(QString, path);
    QFETCH(QString, url);
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("[Server]\n" + ini.toUtf8() + "\n");
    file.close();
    QCOMPARE(NetServerManager(ServerConfig::fromFile(file.fileName())).makeUrl(path).toString(),
             url);
}

QTEST_GUILESS_MAIN(TestNetRequests)
#include "tst_netrequests.moc"
