#include "net/netroomlisttrim.h"
#include "store/dbchatroom.h"
#include "store/dbmanager.h"
#include "storefixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {
// A body as the reader sees it: compact, its keys in order. Empty stays empty.
QByteArray readAs(const QByteArray& body)
{
    return body.isEmpty() ? body : QJsonDocument::fromJson(body).toJson(QJsonDocument::Compact);
}

// Two rooms that share the member 7, whose record the second leaves out.
const QByteArray kShared = R"({"status":200,"list":[
    {"chattRoomId":1,"members":[{"joinUserId":7,"user":{"userId":7,"userName":"김"}}]},
    {"chattRoomId":2,"members":[{"joinUserId":7,"user":{"userId":7,"userName":"김"}},
                                {"joinUserId":8,"user":{"userId":8,"userName":"Lee"}}]}]})";

// The shared room list with the second record of 7 replaced by `record` (a bad one stays in the
// part the trim leaves out).
QByteArray withRepeat(const QByteArray& record)
{
    return R"({"list":[{"members":[{"joinUserId":7,"user":{"n":1}}]},)"
           R"({"members":[{"joinUserId":7,"user":)" +
           record + "}]}]}";
}

// The rooms and directory a merge leaves, and the names the list shows.
struct Merged
{
    Rows rooms;
    Rows users;
    QStringList names;
    MT_TYPED(Merged, rooms, users, names)
};

Merged mergedFrom(const QByteArray& body)
{
    StoreFixture store("Veltri_chatrooms");
    store.addUser(5, "Known");
    store.db().syncChatRoomList(QJsonDocument::fromJson(body).object(), 1);
    QList<DBChatRoom> rooms;
    store.db().chatRoomList(rooms);
    QStringList names;
    for (const DBChatRoom& room : rooms)
        names << room.topic() + "=" + room.roomName();
    names.sort();
    return {store.table("SELECT topic, type, members FROM TTT_CHATT_ROOM ORDER BY topic"),
            store.table("SELECT user_id, user_name FROM TTT_USER ORDER BY user_id"), names};
}
} // namespace

class TestNetRoomListTrim : public QObject
{
    Q_OBJECT

private slots:
    void trimmed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected"); // read as the reader reads it; empty: refused

        QTest::newRow("a repeated member's record left out")
            << kShared << readAs(R"({"status":200,"list":[
                {"chattRoomId":1,"members":[{"joinUserId":7,"user":{"userId":7,"userName":"김"}}]},
                {"chattRoomId":2,"members":[{"joinUserId":7},
                    {"joinUserId":8,"user":{"userId":8,"userName":"Lee"}}]}]})");
        QTest::newRow("the record before the id, spaced")
            << QByteArray("{ \"list\" : [ {\"members\":[{\"joinUserId\":7,\"user\":{}}]},\n"
                          "{\"members\" : [ { \"user\" : { \"a\" : [1, 2e5, -0.5] } ,\n"
                          "\"joinUserId\" : 7 } ] } ] }")
            << readAs(R"({"list":[{"members":[{"joinUserId":7,"user":{}}]},)"
                      R"({"members":[{"joinUserId":7}]}]})");
        QTest::newRow("kept until a member of the id has given one")
            << QByteArray(R"({"list":[{"members":[{"joinUserId":7},{"joinUserId":7,"user":null},)"
                          R"({"joinUserId":7,"user":{"n":1}},{"joinUserId":7,"user":{"n":2}}]}]})")
            << readAs(R"({"list":[{"members":[{"joinUserId":7},{"joinUserId":7,"user":null},)"
                      R"({"joinUserId":7,"user":{"n":1}},{"joinUserId":7}]}]})");
        QTest::newRow("escapes and long characters in a left-out record")
            << withRepeat("{\"t\":\"a\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9 é 김 😀\"}")
            << readAs(R"({"list":[{"members":[{"joinUserId":7,"user":{"n":1}}]},)"
                      R"({"members":[{"joinUserId":7}]}]})");

        const QByteArray refused;
        QTest::newRow("not an object") << QByteArray("[1]") << refused;
        QTest::newRow("text after the object") << QByteArray("{} x") << refused;
        QTest::newRow("cut short") << kShared.left(kShared.size() - 20) << refused;
        QTest::newRow("a control character") << withRepeat("{\"t\":\"a\tb\"}") << refused;
        QTest::newRow("an unknown escape") << withRepeat(R"({"t":"\q"})") << refused;
        QTest::newRow("a short \\u escape") << withRepeat(R"({"t":"\u12"})") << refused;
        QTest::newRow("an overlong character") << withRepeat("{\"t\":\"\xC0\xAF\"}") << refused;
        QTest::newRow("a surrogate") << withRepeat("{\"t\":\"\xED\xA0\x80\"}") << refused;
        QTest::newRow("a character cut short") << withRepeat("{\"t\":\"\xEA\xB9\"}") << refused;
        QTest::newRow("a number with a leading zero") << withRepeat(R"({"n":01})") << refused;
        QTest::newRow("a number out of range") << withRepeat(R"({"n":-1e999})") << refused;
        QTest::newRow("a number without digits") << withRepeat(R"({"n":-})") << refused;
        QTest::newRow("a misspelt word") << withRepeat(R"({"b":ture})") << refused;
        QTest::newRow("a missing comma") << withRepeat(R"({"a":1 "b":2})") << refused;
        QTest::newRow("nested too deep")
            << withRepeat("{\"a\":" + QByteArray(70, '[') + QByteArray(70, ']') + "}") << refused;
        // Valid, but the reader keeps one of two: a left-out record may be the only one read.
        QTest::newRow("two lists") << QByteArray(R"({"list":[],"list":[]})") << refused;
        QTest::newRow("a room with two member lists")
            << QByteArray(R"({"list":[{"members":[],"members":[]}]})") << refused;
        QTest::newRow("a member with two records")
            << QByteArray(R"({"list":[{"members":[{"joinUserId":7,"user":{},"user":{}}]}]})")
            << refused;
        QTest::newRow("a key with an escape")
            << QByteArray(R"({"list":[{"members":[],"memb\u0065rs":[]}]})") << refused;
        QTest::newRow("a member with two ids")
            << QByteArray(R"({"list":[{"members":[{"joinUserId":7,"joinUserId":8}]}]})") << refused;
    }

    void trimmed()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        QCOMPARE(readAs(NetRoomListTrim::trimmed(body)), expected);
    }

    // The merge stores a member the directory lacks from the first record of the user it meets:
    // the trimmed list stores and names every room as the whole one does.
    void mergedAlike()
    {
        const QByteArray body = R"({"list":[
            {"chattRoomId":1,"chattRoomType":"30","members":[{"joinUserId":1,"user":{"userId":1}},
                {"joinUserId":7,"user":{"userId":7,"userName":"Seven"}},
                {"joinUserId":5,"user":{"userId":5,"userName":"Five"}}]},
            {"chattRoomId":2,"chattRoomType":"20","members":[{"joinUserId":1,"user":{"userId":1}},
                {"joinUserId":7,"user":{"userId":7,"userName":"Seven"}}]},
            {"chattRoomId":3,"chattRoomType":"30","members":[{"joinUserId":5,"user":{"userId":5}},
                {"joinUserId":7,"user":{"userId":7,"userName":"Seven"}}]}]})";
        const QByteArray trimmed = NetRoomListTrim::trimmed(body);
        QVERIFY(trimmed.size() < body.size());
        QCOMPARE(mergedFrom(trimmed), mergedFrom(body));
    }
};

QTEST_GUILESS_MAIN(TestNetRoomListTrim)
#include "tst_netroomlisttrim.moc"
