#include "netfixture.h"
#include "store/dbchatroom.h"

using Call = std::function<bool(int reqCode)>;
Q_DECLARE_METATYPE(Call)

namespace {
// Its digest ("RvpLMIkq+XDMFP03HOK3q/O5GoBrdSRx9u9wqVmDo98=") holds "+", "/" and "=".
const QString kPassword = QStringLiteral("Plus13pw!");
} // namespace

class TestNetRequests : public NetFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void catalogue_data();
    void catalogue();

private:
    qint64 m_me = 0, m_pair = 0, m_many = 0;
    QStringList m_users; // ids of five users
};

void TestNetRequests::initTestCase()
{
    QVERIFY(start());
    m_me = m_session->userId();
    // Five new users: the first shares a room of two and one of three with user001.
    const QJsonObject plus{{"loginAccnt", "plus"}, {"userName", "plus"}, {"password", kPassword}};
    m_users << QString::number(m_server.control("POST", "/control/user", plus)["userId"].toInt());
    for (const char* name : {"b", "c", "d", "e"})
        m_users << QString::number(m_server.addUser(name, name));
    m_pair = m_server.addRoom(m_me, {m_users.at(0).toLongLong()}, 20).roomId;
    m_many =
        m_server.addRoom(m_me, {m_users.at(0).toLongLong(), m_users.at(1).toLongLong()}).roomId;
    QVERIFY(m_users.last().toInt() > 0 && m_pair > 0 && m_many > 0);
}

void TestNetRequests::catalogue_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("request");   // method and path
    QTest::addColumn<QJsonValue>("form");   // as the server decoded it; null for none
    QTest::addColumn<int>("expectedError"); // 0: success

    NetServerManager* net = m_net.get();
    const QString me = QString::number(m_me), many = QString::number(m_many);
    const QString pair = QString::number(m_pair);
    const QStringList& u = m_users;
    const QString digest = MTData::passwordDigest(kPassword);
    const QString fancy = QStringLiteral("A+B & C=D 100% %41 \u00e9\ud55c");

    // The form as the server decoded it: one value as a string, repeated ones as an array.
    auto row = [](const char* name, const char* method, const QString& path,
                  const QJsonObject& form, int expectedError, const Call& call) {
        QTest::newRow(name) << call << QString::fromLatin1(method) + ' ' + path
                            << (form.isEmpty() ? QJsonValue() : QJsonValue(form)) << expectedError;
    };
    // The digest arrives as it was.
    row("login", "POST", "/rest/auth",
        {{"loginAccnt", "plus"}, {"passwd", digest}, {"deviceModel", "PC"}, {"forceYn", "0"}}, 0,
        [=](int c) { return net->reqLogin(c, "plus", digest, 0); });
    // Without one, the session makes a device id of 24 characters on the way.
    row("ping without keys or device id", "GET", "/rest/auth/ping", {}, 40100, [=](int c) {
        DBEditor editor;
        m_session->setAccessKey(editor, QString());
        m_session->setClientId(editor, QString());
        m_session->setDeviceId(editor, QString());
        return net->reqPing(c) && m_session->deviceId().size() == 24;
    });
    row("file auth", "GET", "/rest/file/auth", {}, 0, [=](int c) { return net->reqFileAuth(c); });
    row("history page from a time", "GET",
        "/rest/chatt/room/savechatlist/" + many + "/1700000000123/1/50", {}, 0,
        [=](int c) { return net->reqChatLoad(c, m_many, 1700000000123); });
    row("one room", "GET", "/rest/chatt/room/" + me + "/" + pair, {}, 0,
        [=](int c) { return net->reqChatRoom(c, "chat/" + pair); });
    QJsonObject profile{{"userId", me}, {"tel", "000-0000-0000"}, {"telOpenYn", "1"}};
    profile.insert("userName", fancy);
    profile.insert("chattingAllowYn", "1");
    row("profile", "PUT", "/rest/user", profile, 0,
        [=](int c) { return net->reqUpdateMyProfile(c, fancy, true, QString()); });
    const QString oldPw = QStringLiteral("old+pw&x=1 %2B"), newPw = QStringLiteral("new+Pw=%/1");
    row("password", "PUT", "/rest/user/password",
        {{"oPasswd", oldPw}, {"nPasswd", newPw}, {"cPasswd", newPw}}, 40103,
        [=](int c) { return net->reqChangePassword(c, oldPw, newPw, newPw); });
    row("leave a left one-to-one room (40) as 20", "DELETE",
        "/rest/chatt/room/member/" + me + "/" + pair + "/20", {}, 0,
        [=](int c) { return net->reqLeaveChatRoom(c, m_pair, 40); });
    row("new room with three members", "POST", "/rest/chatt/room",
        {{"members", QJsonArray::fromStringList(u.mid(2))}, {"userId", me}, {"roomType", "30"}}, 0,
        [=](int c) {
            DBChatRoom room;
            room.setMembers(u.mid(2).join(','));
            room.setType(30);
            return net->reqNewChatRoom(c, room);
        });
    row("invite two", "POST", "/rest/chatt/room/member",
        {{"userId", me}, {"roomId", many}, {"members", QJsonArray::fromStringList(u.mid(2, 2))}}, 0,
        [=](int c) { return net->reqInviteMember(c, m_many, u.mid(2, 2)); });
    row("logout", "DELETE", "/rest/auth/" + me, {}, 0, [=](int c) { return net->reqLogout(c); });
}

void TestNetRequests::catalogue()
{
    QFETCH(Call, call);
    QFETCH(QString, request);
    QFETCH(QJsonValue, form);
    QFETCH(int, expectedError);

    // Each row on a session of its own: the logout row ends its session.
    QVERIFY(signIn());
    const qint64 since = m_server.lastRequestSeq();
    m_recorder->clear();
    m_log->clear();
    static int reqCode = 0;
    const QString accessKey = m_session->accessKey();
    const int code = ++reqCode;
    QVERIFY(call(code));
    const NetRecorder::Event answer = m_recorder->answer(code);
    // A ping sent after the answer and answered: a second outcome would have come before it.
    const int sentinel = ++reqCode;
    QVERIFY(m_net->reqPing(sentinel));
    QVERIFY(m_recorder->answer(sentinel).signal != QLatin1String("timeout"));
    QCOMPARE(answer.signal, expectedError ? QStringLiteral("failure") : QStringLiteral("success"));
    QCOMPARE(answer.errCode(), expectedError);
    QCOMPARE(m_recorder->outcomes().size(), 2);

    const QJsonArray received = m_server.requests(QStringLiteral("/rest"), since);
    QCOMPARE(received.size(), 2); // the request and the ping
    const QJsonObject entry = received.at(0).toObject();
    QCOMPARE(entry["method"].toString() + ' ' + entry["url"].toString(), request);
    QCOMPARE(entry["form"], form);
    QCOMPARE(identity(entry), identity());

    // Neither a key nor the password digest, plain or as sent, appears in a log line.
    const QString newKey = answer.object()["client"].toObject()["accessKey"].toString();
    for (const QString& secret : {accessKey, newKey, MTData::passwordDigest(kPassword).mid(9, 12)})
        QVERIFY2(secret.isEmpty() || m_log->lines(secret).isEmpty(), qPrintable(secret));
}

QTEST_GUILESS_MAIN(TestNetRequests)
#include "tst_netrequests.moc"
