#include "logcapture.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbchatreader.h"
#include "store/dbchatroom.h"
#include "store/dbgroup.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/dbuser.h"
#include "store/dbusergroup.h"
#include "storefixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTranslator>
#include <QtTest>

namespace {

QJsonObject json(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

// A chat composed locally: text, or an image (also used for video) or a file attachment.
enum class Composed
{
    Text,
    Picture,
    File,
};

DBChat composedChat(Composed kind, int contentType, const QString& fileName, const QString& preview)
{
    DBChat chat;
    chat.setContent(1, "the text");
    switch (kind) {
    case Composed::Text:
        break;
    case Composed::Picture:
        chat.setImage("/t", "/p", fileName, 10, 20);
        break;
    case Composed::File:
        chat.setFile("/p", fileName, 52428800, preview);
        break;
    }
    chat.setContentType(contentType);
    return chat;
}

// JSON in its compact form, any other text as it is.
QByteArray compactOrPlain(const QString& text)
{
    const QJsonDocument parsed = QJsonDocument::fromJson(text.toUtf8());
    return parsed.isNull() ? text.toUtf8() : parsed.toJson(QJsonDocument::Compact);
}

enum class RecordKind
{
    User,
    Group,
    Membership,
    Room,
    Chat,
    Reader,
};

// The manager each way of copying a record leaves it with.
struct CopyAttachments
{
    DBManager* copyConstructed = nullptr;
    DBManager* copyAssigned = nullptr;
    DBManager* moved = nullptr;
    bool operator==(const CopyAttachments& o) const
    {
        return copyConstructed == o.copyConstructed && copyAssigned == o.copyAssigned &&
               moved == o.moved;
    }
};

char* toString(const CopyAttachments& a)
{
    return qstrdup(QStringLiteral("{copyConstructed=%1 copyAssigned=%2 moved=%3}")
                       .arg(quintptr(a.copyConstructed), 0, 16)
                       .arg(quintptr(a.copyAssigned), 0, 16)
                       .arg(quintptr(a.moved), 0, 16)
                       .toUtf8()
                       .constData());
}

template <typename Record>
CopyAttachments attachmentsOf(DBManager* own, DBManager* other)
{
    const Record original(own);
    const Record copied(original);
    Record assigned(other);
    assigned = original;
    Record source(own);
    const Record moved(std::move(source));
    return {copied.dbManager(), assigned.dbManager(), moved.dbManager()};
}

CopyAttachments attachmentsOf(RecordKind kind, DBManager* own, DBManager* other)
{
    switch (kind) {
    case RecordKind::User:
        return attachmentsOf<DBUser>(own, other);
    case RecordKind::Group:
        return attachmentsOf<DBGroup>(own, other);
    case RecordKind::Membership:
        return attachmentsOf<DBUserGroup>(own, other);
    case RecordKind::Room:
        return attachmentsOf<DBChatRoom>(own, other);
    case RecordKind::Chat:
        return attachmentsOf<DBChat>(own, other);
    case RecordKind::Reader:
        return attachmentsOf<DBChatReader>(own, other);
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(RecordKind)
Q_DECLARE_METATYPE(UserFields)
Q_DECLARE_METATYPE(RoomFields)
Q_DECLARE_METATYPE(ChatFields)
Q_DECLARE_METATYPE(Composed)

// The record classes on a real enciphered file: JSON and row mappings, display texts, and the
// record operations.
class TestDBRecords : public QObject
{
    Q_OBJECT
    DBManager& db() { return m_store->db(); }

    std::unique_ptr<StoreFixture> m_store;
    QTranslator m_korean;

    void useLanguage(QLocale::Language language)
    {
        QLocale::setDefault(QLocale(language));
        QCoreApplication::removeTranslator(&m_korean);
        if (language == QLocale::Korean)
            QVERIFY(QCoreApplication::installTranslator(&m_korean));
    }

    // Inside a caller's transaction or not, as a row asks; the branch lives here.
    bool beginIf(bool wanted) { return !wanted || db().database().transaction(); }
    bool commitIf(bool wanted) { return !wanted || db().database().commit(); }

    DBChat chat(const QString& topic, const QString& msgId, const QString& text = QString())
    {
        DBChat chat(&db());
        chat.setTopic(topic);
        chat.setMsgId(msgId);
        chat.setContent(ContentTypeText, text);
        return chat;
    }

private slots:
    void initTestCase()
    {
        mtInitResources();
        QVERIFY(m_korean.load(":/db_ko.qm"));
    }

    void init()
    {
        m_store = std::make_unique<StoreFixture>();
        m_store->addUser(2, "Lee");
        m_store->addUser(3, "Park");
        m_store->addGroup(5, "Sales");
        useLanguage(QLocale::English);
    }

    void cleanup()
    {
        m_store.reset();
        useLanguage(QLocale::English);
    }

    void userFromJson_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<UserFields>("expected");

        QTest::newRow("every key")
            << QByteArray(R"({"userId":7,"userName":"Kim","tel":"010-1","email":"k@x.org",
                "deptName":"Dev","thumbUrl":"/t.png","imageUrl":"/i.png","telOpenYn":"1",
                "chattingAllowYn":"0","appInstallYn":"2","userSortSeq":"10","state":"D"})")
            << UserFields{7,        "Kim", "010-1", "k@x.org", "Dev", "/t.png",
                          "/i.png", true,  false,   true,      0,     "10"};
        QTest::newRow("absent keys") << QByteArray("{}") << UserFields{};
        QTest::newRow("numbers and texts swapped, letters are not flags")
            << QByteArray(
                   R"({"userId":"8","telOpenYn":1,"chattingAllowYn":"Y","appInstallYn":0,"userSortSeq":5})")
            << UserFields{8, {}, {}, {}, {}, {}, {}, true, false, false, 0, "5"};
        // Server JSON is input: a number beyond 64 bits must not be converted (undefined
        // behaviour).
        QTest::newRow("numbers out of range")
            << QByteArray(R"({"userId":1e30,"userName":-1e300,"userSortSeq":9.5e18})")
            << UserFields{0, "-1e+300", {}, {}, {}, {}, {}, false, false, false, 0, "9.5e+18"};
    }

    void userFromJson()
    {
        QFETCH(QByteArray, object);
        QFETCH(UserFields, expected);
        QCOMPARE(UserFields::of(DBUser(&db(), json(object))), expected);
    }

    // Stored and read back by position and by name; the row mappings leave user_sort out and
    // flags are stored as integers.
    void userRowsReadBack_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<UserFields>("expected");

        QTest::newRow("every key")
            << QByteArray(R"({"userId":7,"userName":"Kim","tel":"010-1","email":"k@x.org",
                "deptName":"Dev","thumbUrl":"/t.png","imageUrl":"/i.png","telOpenYn":"1",
                "chattingAllowYn":"0","appInstallYn":"2","userSortSeq":"10"})")
            << UserFields{7,        "Kim", "010-1", "k@x.org", "Dev", "/t.png",
                          "/i.png", true,  false,   true,      0,     {}};
        QTest::newRow("flags from numbers")
            << QByteArray(R"({"userId":"8","telOpenYn":1,"chattingAllowYn":"1","appInstallYn":0})")
            << UserFields{8, {}, {}, {}, {}, {}, {}, true, true, false, 0, {}};
    }

    void userRowsReadBack()
    {
        QFETCH(QByteArray, object);
        QFETCH(UserFields, expected);

        DBUser user(&db(), json(object));
        QVERIFY(user.insertOrUpdate());
        QSqlQuery query(db().database());
        QVERIFY(query.exec("SELECT *, typeof(open_cell_phone) AS flag FROM TTT_USER "
                           "WHERE user_id NOT IN (2, 3)"));
        QVERIFY(query.next());
        DBUser byPosition;
        byPosition.setFromTableRow(query);
        DBUser byName;
        byName.setFromRecord(query);
        QCOMPARE(UserFields::of(byPosition), expected);
        QCOMPARE(UserFields::of(byName), expected);
        QCOMPARE(byName.id(), byPosition.id());
        QCOMPARE(query.value("flag").toString(), "integer");
    }

    void userWithoutIdIsNeverStored()
    {
        DBUser user(&db(), json(R"({"userName":"Nobody"})"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DBUser::insertOrUpdate - user_id "
                                                              "is 0"));
        QVERIFY(!user.insertOrUpdate());
        QCOMPARE(m_store->number("SELECT count(*) FROM TTT_USER"), 2);
    }

    void groupAndMembershipFromJson()
    {
        // grpOrder is never taken.
        const DBGroup group(&db(), json(R"({"grpId":5,"grpName":"Sales","grpType":2,
            "skinColor":16711680,"thumbUrl":"/t","imageUrl":"/i","grpOrder":9})"));
        QCOMPARE(GroupFields::of(group), (GroupFields{5, "Sales", 2, 0, 16711680, "/t", "/i"}));
        const DBUserGroup membership(
            &db(), json(R"({"grpId":5,"userId":7,"mbrStatus":"1","leaderType":"2"})"));
        QCOMPARE(MembershipFields::of(membership), (MembershipFields{5, 7, 1, 2}));
    }

    void roomFromJson_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<RoomFields>("expected");
        QTest::addColumn<QStringList>("storedOnTheWay"); // names of users stored as a side effect

        QTest::newRow("one to one, own id left out")
            << QByteArray(R"({"chattRoomId":12,"chattRoomType":"20","openDatetime":20230101000000,
                "updDatetime":"20230102000000","members":[{"joinUserId":1},{"joinUserId":2}]})")
            << RoomFields{"chat/12", 20, "2", "Lee", 20230101000000, 20230102000000}
            << QStringList();
        QTest::newRow("one to many, unknown member stored on the way")
            << QByteArray(R"({"chattRoomId":13,"chattRoomType":30,"members":[{"joinUserId":2},
                {"joinUserId":4,"user":{"userId":4,"userName":"Choi"}},{"joinUserId":1}]})")
            << RoomFields{"chat/13", 30, "2,4", "Lee,Choi", 0, 0} << QStringList{"Choi"};
        QTest::newRow("left one to one, no member left")
            << QByteArray(R"({"chattRoomId":14,"chattRoomType":"20","leaveUserId":99,
                "members":[{"joinUserId":1}]})")
            << RoomFields{"chat/14", 40, "99", DBChatRoom::unknownName(), 0, 0} << QStringList();
        QTest::newRow("left one to one, member still listed")
            << QByteArray(R"({"chattRoomId":15,"chattRoomType":"20","leaveUserId":99,
                "members":[{"joinUserId":2}]})")
            << RoomFields{"chat/15", 40, "2", "Lee", 0, 0} << QStringList();
        QTest::newRow("one to many with leaveUserId stays")
            << QByteArray(R"({"chattRoomId":16,"chattRoomType":"30","leaveUserId":3,
                "members":[{"joinUserId":3}]})")
            << RoomFields{"chat/16", 30, "3", "Park", 0, 0} << QStringList();
        QTest::newRow("group room")
            << QByteArray(
                   R"({"chattRoomId":17,"chattRoomType":"10","grpId":5,"members":[{"joinUserId":2}]})")
            << RoomFields{"chat/17", 10, "5", "Sales", 0, 0} << QStringList();
        QTest::newRow("group room, group not stored")
            << QByteArray(R"({"chattRoomId":18,"chattRoomType":"10","grpId":6})")
            << RoomFields{"chat/18", 10, "6", "", 0, 0} << QStringList();
        QTest::newRow("absent keys")
            << QByteArray("{}") << RoomFields{"chat/0", 0, "", "", 0, 0} << QStringList();
    }

    void roomFromJson()
    {
        QFETCH(QByteArray, object);
        QFETCH(RoomFields, expected);
        QFETCH(QStringList, storedOnTheWay);
        const DBChatRoom room(&db(), json(object), 1);
        QCOMPARE(RoomFields::of(room), expected);
        QCOMPARE(m_store->rows("SELECT user_name FROM TTT_USER WHERE user_id=4"), storedOnTheWay);
    }

    void displayText_data()
    {
        QTest::addColumn<int>("msgType");
        QTest::addColumn<int>("contentType");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QStringList>("texts"); // English, Korean

        const QString file = R"({"file_name":"a.txt","file_size":3})";
        QTest::newRow("chat") << 1 << 1 << "hi" << QStringList{"hi", "hi"};
        QTest::newRow("invitation")
            << 3 << 1 << "Bob, Carol"
            << QStringList{"Alice invited Bob, Carol", "Alice님이 Bob, Carol님을 초대했습니다"};
        QTest::newRow("admission")
            << 4 << 1 << "Bob"
            << QStringList{"Alice invited Bob", "Alice님이 Bob님을 초대했습니다"};
        QTest::newRow("leave") << 5 << 1 << "Bob"
                               << QStringList{"Bob leaved", "Bob님이 나갔습니다"};
        QTest::newRow("other msg_type") << 8 << 1 << "hi" << QStringList{"", ""};
        QTest::newRow("picture") << 1 << 2 << "{}" << QStringList{"Picture", "사진"};
        QTest::newRow("video") << 1 << 3 << "{}" << QStringList{"Video", "동영상"};
        QTest::newRow("file") << 1 << 4 << file << QStringList{"File", "파일"};
        QTest::newRow("file with preview")
            << 1 << 4 << QString(file).replace("}", R"(,"preview_text":"long text"})")
            << QStringList{"long text", "long text"};
        QTest::newRow("unknown content type") << 1 << 7 << "x" << QStringList{"", ""};
    }

    void displayText()
    {
        QFETCH(int, msgType);
        QFETCH(int, contentType);
        QFETCH(QString, content);
        QFETCH(QStringList, texts);

        DBChat chat;
        chat.setMsgType(msgType);
        chat.setSenderName("Alice");
        chat.setContent(contentType, content);
        QCOMPARE(chat.toContentText(), texts.first());
        useLanguage(QLocale::Korean);
        QCOMPARE(chat.toContentText(), texts.last());
    }

    void toMessage_data()
    {
        QTest::addColumn<Composed>("composed");
        QTest::addColumn<int>("contentType");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("preview");
        QTest::addColumn<QByteArray>("expected"); // JSON compared compactly; empty: refused
        QTest::addColumn<QStringList>("warnings");

        const QString none;
        const QByteArray picture = R"({"file_name":"a.png","height":20,"remote_path_url":"/p",)"
                                   R"("remote_thumb_url":"/t","width":10})";
        const QByteArray file =
            R"({"file_name":"a.txt","file_size":52428800,"remote_path_url":"/p"})";
        QTest::newRow("text") << Composed::Text << 1 << none << none << QByteArray("the text")
                              << QStringList();
        QTest::newRow("image") << Composed::Picture << 2 << "a.png" << none << picture
                               << QStringList();
        QTest::newRow("image without name")
            << Composed::Picture << 2 << none << none << QByteArray()
            << QStringList{"ChatImage::toMessage - fileName is empty"};
        QTest::newRow("video without name keeps its JSON")
            << Composed::Picture << 3 << none << none << QByteArray(picture).replace("a.png", "")
            << QStringList();
        QTest::newRow("file") << Composed::File << 4 << "a.txt" << none << file << QStringList();
        QTest::newRow("file with preview")
            << Composed::File << 4 << "a.txt"
            << "first"
            << QByteArray(file).replace(R"("remote)", R"("preview_text":"first","remote)")
            << QStringList();
        QTest::newRow("file without name")
            << Composed::File << 4 << none << none << QByteArray()
            << QStringList{"ChatFile::toMessage - fileName is empty"};
    }

    void toMessage()
    {
        QFETCH(Composed, composed);
        QFETCH(int, contentType);
        QFETCH(QString, fileName);
        QFETCH(QString, preview);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, warnings);

        const LogCapture log;
        const DBChat chat = composedChat(composed, contentType, fileName, preview);
        QCOMPARE(compactOrPlain(chat.toMessage()), expected);
        QCOMPARE(log.lines("toMessage"), warnings);
    }

    // What toMessage() writes, setContent() reads back whole.
    void attachmentRoundTrip_data()
    {
        QTest::addColumn<Composed>("composed");
        QTest::addColumn<int>("contentType");
        QTest::addColumn<QString>("preview");

        QTest::newRow("image") << Composed::Picture << 2 << QString();
        QTest::newRow("video") << Composed::Picture << 3 << QString();
        QTest::newRow("file") << Composed::File << 4 << QString();
        QTest::newRow("file with preview") << Composed::File << 4 << "first";
    }

    void attachmentRoundTrip()
    {
        QFETCH(Composed, composed);
        QFETCH(int, contentType);
        QFETCH(QString, preview);

        const QString message = composedChat(composed, contentType, "a.bin", preview).toMessage();
        DBChat back;
        QVERIFY(back.setContent(contentType, message));
        QCOMPARE(back.toMessage(), message);
    }

    void contentThatDoesNotParse()
    {
        DBChat bad = chat("chat/1", "bad-1");
        QVERIFY(bad.setContent(4, R"({"file_name":"old.txt"})"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DBChat::setImageChat"));
        QVERIFY(!bad.setContent(2, "{\"file_name\": \"a.png\""));
        QCOMPARE(bad.fileName(), QString());
        QCOMPARE(bad.width(), 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DBChat::setFileChat"));
        QVERIFY(!bad.setContent(4, "[1, 2]"));
        QVERIFY(!bad.setContent(9, "x"));
        QCOMPARE(bad.contentType(), 9);

        // A stored row with such content is still returned, with empty attachment fields.
        QVERIFY(bad.insertOrUpdate());
        QVERIFY(m_store->exec("UPDATE TTT_CHATT SET content_type=2, content='not "
                              "json'"));
        DBChat read;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DBChat::setImageChat"));
        QVERIFY(db().findChat("chat/1", "bad-1", read));
        QCOMPARE(read.content(), "not json");
        QCOMPARE(read.fileName(), QString());
        QCOMPARE(read.toContentText(), "Picture");
    }

    void chatRowAndReplace_data()
    {
        // Inside a transaction the record writes its row with other statements (no statement
        // journal); the rows must come out exactly the same.
        QTest::addColumn<bool>("inTransaction");
        QTest::newRow("autocommit") << false;
        QTest::newRow("in a transaction") << true;
    }

    void chatRowAndReplace()
    {
        QFETCH(bool, inTransaction);
        const LogCapture log;
        QVERIFY(beginIf(inTransaction));
        QCOMPARE(db().inTransaction(), inTransaction);
        DBChat first = chat("chat/7", "c-1", "first");
        first.setMsgType(MsgTypeChat);
        first.setSenderId(2);
        first.setFilePath("/tmp/x");
        first.setMsgTime(Q_INT64_C(1700000000000));
        first.setCount(2);
        first.setMsgState(MsgStateConfirmed);
        first.setMsgRead(true);
        QVERIFY(first.insertOrUpdate());
        QVERIFY(first.id() > 0);

        // A stored record is never inserted twice.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DBChat::insert - "));
        QCOMPARE(first.insert(), -1);

        // The same msg_id again replaces the row, under a new _id; a stored record keeps its id.
        // A copy carries no connection: it is attached for its writes.
        DBChat again(first);
        again.setDbManager(&db());
        again.setId(0);
        again.setContent(ContentTypeText, "second");
        const qint64 secondId = again.insert();
        QVERIFY(secondId > first.id());
        QCOMPARE(m_store->rows("SELECT content FROM TTT_CHATT"), QStringList{"second"});
        again.setContent(ContentTypeText, "third");
        QVERIFY(again.insertOrUpdate());
        QCOMPARE(again.id(), secondId);

        // msg_id is unique over the whole table: the same id in another room takes the row over.
        DBChat elsewhere = chat("chat/8", "c-2", "e");
        QVERIFY(elsewhere.insertOrUpdate());
        elsewhere.setId(0);
        elsewhere.setTopic("chat/9");
        QVERIFY(elsewhere.insert() > 0);
        QVERIFY(commitIf(inTransaction));
        QVERIFY(!db().inTransaction());
        QCOMPARE(m_store->table("SELECT _id, topic, msg_id, content, typeof(msg_read) AS flag "
                                "FROM TTT_CHATT ORDER BY _id"),
                 rowsOf({"_id", "topic", "msg_id", "content", "flag"},
                        {{QString::number(secondId + 1), "chat/7", "c-1", "third", "integer"},
                         {QString::number(secondId + 3), "chat/9", "c-2", "e", "integer"}}));
        // Taking over a msg_id is no failure to report.
        QCOMPARE(log.lines("DBChat::").filter(" failed"), QStringList());

        DBChat r;
        QVERIFY(db().findChat("chat/7", "c-1", r));
        QCOMPARE(ChatFields::of(r), (ChatFields{secondId + 1, "chat/7", "c-1", 2, "Lee", 1, 1,
                                                "third", "/tmp/x", 1700000000000, 1, 2, true}));
    }

    // Records travel to other threads as copies: a copy never carries a connection, the target
    // of a copy assignment keeps its own, and a move hands the record over whole.
    void copiesCarryNoConnection_data()
    {
        QTest::addColumn<RecordKind>("kind");
        QTest::newRow("user") << RecordKind::User;
        QTest::newRow("group") << RecordKind::Group;
        QTest::newRow("membership") << RecordKind::Membership;
        QTest::newRow("room") << RecordKind::Room;
        QTest::newRow("chat") << RecordKind::Chat;
        QTest::newRow("reader") << RecordKind::Reader;
    }

    void copiesCarryNoConnection()
    {
        QFETCH(RecordKind, kind);
        StoreFixture other(QStringLiteral("Other"));
        QCOMPARE(attachmentsOf(kind, &db(), &other.db()),
                 (CopyAttachments{nullptr, &other.db(), &db()}));
    }

    void copiedChatWritesOnlyOnceAttached()
    {
        const DBChat original = chat("chat/3", "copy-1", "words");
        DBChat copy(original);
        QTest::ignoreMessage(QtWarningMsg, "DBChat::insertOrUpdate - dbManager is null");
        QVERIFY(!copy.insertOrUpdate());
        QCOMPARE(m_store->number("SELECT count(*) FROM TTT_CHATT"), 0);
        copy.setDbManager(&db());
        QVERIFY(copy.insertOrUpdate());
        QCOMPARE(m_store->rows("SELECT content FROM TTT_CHATT"), QStringList{"words"});
    }

    void chatUpdates()
    {
        DBChat file = chat("chat/8", "u-1");
        file.setFile(QString(), "a.txt", 3, QString());
        QCOMPARE(file.insert(), 1);
        DBChat other = chat("chat/8", "u-2");
        QVERIFY(other.insertOrUpdate());
        DBChatReader reader(&db(), "chat/8", "u-1", 5, 10);
        QVERIFY(reader.insertOrUpdate());
        QVERIFY(reader.insertOrUpdate()); // the same reader twice is one row

        QVERIFY(file.updateMsgState(MsgStateUploading));
        const QString uploaded = R"({"file_name":"a.txt","remote_path_url":"/r"})";
        QVERIFY(file.updateMsgStateAndContent(MsgStateUploaded, uploaded));
        QCOMPARE(file.remotePathUrl(), "/r");
        QVERIFY(file.updateMsgStateAndTime(MsgStateConfirmed, Q_INT64_C(20240101000000123)));
        QVERIFY(file.updateFilePath("/home/u/a.txt"));
        QCOMPARE(m_store->table("SELECT msg_state, msg_time, file_path, content = ? AS same "
                                "FROM TTT_CHATT WHERE msg_id='u-1'",
                                {uploaded}),
                 rowsOf({"msg_state", "msg_time", "file_path", "same"},
                        {{"1", "20240101000000123", "/home/u/a.txt", "1"}}));

        QVERIFY(other.remove());
        QCOMPARE(m_store->rows("SELECT msg_id FROM TTT_CHATT"), QStringList{"u-1"});
        QVERIFY(file.removeAllOfTopic());
        QCOMPARE(m_store->number("SELECT count(*) FROM TTT_CHATT"), 0);
        QCOMPARE(m_store->number("SELECT count(*) FROM TTT_CHATT_READER"), 1);
    }
};

QTEST_GUILESS_MAIN(TestDBRecords)
#include "tst_dbrecords.moc"
