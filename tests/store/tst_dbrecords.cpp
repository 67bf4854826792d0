#include "common/testenv.h"
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

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSqlQuery>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

QString userFields(const DBUser& u)
{
    return QStringList{QString::number(u.userId()),
                       u.userName(),
                       u.cellPhone(),
                       u.email(),
                       u.deptName(),
                       u.thumbUrl(),
                       u.imageUrl(),
                       QString::number(u.openCellPhone()),
                       QString::number(u.chattAllow()),
                       QString::number(u.appInstall()),
                       QString::number(u.userState()),
                       u.userSort()}
        .join(QLatin1Char('|'));
}

const QString kUnknown = QStringLiteral("알수없음");

} // namespace

// The record classes on a real enciphered file: JSON and row mappings, display texts, and every
// record operation.
class TestDBRecords : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void userFromJson_data();
    void userFromJson();
    void groupAndMembershipFromJson();
    void roomFromJson_data();
    void roomFromJson();
    void roomFromRow_data();
    void roomFromRow();
    void displayText_data();
    void displayText();
    void toMessage_data();
    void toMessage();
    void contentThatDoesNotParse();
    void chatRowAndReplace_data();
    void chatRowAndReplace();
    void chatUpdates();
    void roomOperations();
    void directoryOperations();

private:
    void storeDirectory();
    QStringList column(const QString& sql);
    void useLanguage(QLocale::Language language);

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<DBManager> m_db;
    QTranslator m_korean;
};

void TestDBRecords::initTestCase()
{
    mtInitResources();
    QVERIFY(m_korean.load(QStringLiteral(":/db_ko.qm")));
}

void TestDBRecords::init()
{
    m_env = std::make_unique<TestEnv>();
    m_db = std::make_unique<DBManager>(m_env->path(QStringLiteral("veltri_rec.db")),
                                       QStringLiteral("Veltri"),
                                       QString::fromLatin1(DBManager::kPassword), 1);
    QVERIFY(m_db->isOpen());
    useLanguage(QLocale::English);
}

void TestDBRecords::cleanup()
{
    m_db.reset();
    m_env.reset();
    useLanguage(QLocale::English);
}

void TestDBRecords::useLanguage(QLocale::Language language)
{
    QLocale::setDefault(QLocale(language));
    QCoreApplication::removeTranslator(&m_korean);
    if (language == QLocale::Korean)
        QVERIFY(QCoreApplication::installTranslator(&m_korean));
}

// Users 2 "Lee" and 3 "Park", group 5 "Sales".
void TestDBRecords::storeDirectory()
{
    DBUser lee(m_db.get(), json(R"({"userId":2,"userName":"Lee"})"));
    DBUser park(m_db.get(), json(R"({"userId":3,"userName":"Park"})"));
    DBGroup sales(m_db.get(), json(R"({"grpId":5,"grpName":"Sales"})"));
    QVERIFY(lee.insertOrUpdate() && park.insertOrUpdate() && sales.insertOrUpdate());
}

QStringList TestDBRecords::column(const QString& sql)
{
    QStringList values;
    QSqlQuery query(m_db->database());
    if (!query.exec(sql))
        return {QStringLiteral("failed")};
    while (query.next())
        values << query.value(0).toString();
    return values;
}

void TestDBRecords::userFromJson_data()
{
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QString>("fields");

    QTest::newRow("every key")
        << QByteArray(R"({"userId":7,"userName":"Kim","tel":"010-1","email":"k@x.org",
            "deptName":"Dev","thumbUrl":"/t.png","imageUrl":"/i.png","telOpenYn":"1",
            "chattingAllowYn":"0","appInstallYn":"2","userSortSeq":"10","state":"D"})")
        << "7|Kim|010-1|k@x.org|Dev|/t.png|/i.png|1|0|1|0|10";
    QTest::newRow("absent keys") << QByteArray("{}") << "0|||||||0|0|0|0|";
    QTest::newRow("numbers and texts swapped")
        << QByteArray(R"({"userId":"8","telOpenYn":1,"chattingAllowYn":0,"userSortSeq":5})")
        << "8|||||||1|0|0|0|5";
    QTest::newRow("letters are not flags")
        << QByteArray(R"({"userId":9,"telOpenYn":"Y","appInstallYn":"N"})") << "9|||||||0|0|0|0|";
    // Server JSON is input: a number beyond 64 bits must not be converted (undefined behaviour).
    QTest::newRow("numbers out of range")
        << QByteArray(R"({"userId":1e30,"userName":-1e300,"userSortSeq":9.5e18})")
        << "0|-1e+300||||||0|0|0|0|9.5e+18";
}

void TestDBRecords::userFromJson()
{
    QFETCH(QByteArray, object);
    QFETCH(QString, fields);
    const DBUser user(m_db.get(), json(object.constData()));
    QCOMPARE(userFields(user), fields);
}

void TestDBRecords::groupAndMembershipFromJson()
{
    const DBGroup group(m_db.get(),
                        json(R"({"grpId":5,"grpName":"Sales","grpType":2,"skinColor":16711680,
                                 "thumbUrl":"/t","imageUrl":"/i","grpOrder":9})"));
    QCOMPARE(group.groupId(), 5);
    QCOMPARE(group.groupName(), QStringLiteral("Sales"));
    QCOMPARE(group.groupType(), 2);
    QCOMPARE(group.groupOrder(), 0);
    QCOMPARE(group.groupColor(), 16711680);
    QCOMPARE(group.thumbUrl(), QStringLiteral("/t"));
    QCOMPARE(group.imageUrl(), QStringLiteral("/i"));

    const DBUserGroup member(m_db.get(),
                             json(R"({"grpId":5,"userId":7,"mbrStatus":"1","leaderType":"2"})"));
    QCOMPARE(member.groupId(), 5);
    QCOMPARE(member.userId(), 7);
    QCOMPARE(member.state(), 1);
    QCOMPARE(member.member(), 2);
    const DBUserGroup empty(m_db.get(), QJsonObject());
    QCOMPARE(empty.groupId() + empty.userId() + empty.state() + empty.member(), 0);
}

void TestDBRecords::roomFromJson_data()
{
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("members");
    QTest::addColumn<QString>("roomName");

    QTest::newRow("one to one, own id left out")
        << QByteArray(R"({"chattRoomId":12,"chattRoomType":"20","openDatetime":20230101000000,
            "updDatetime":"20230102000000","members":[{"joinUserId":1},{"joinUserId":2}]})")
        << "chat/12" << 20 << "2"
        << "Lee";
    QTest::newRow("one to many, unknown member stored on the way")
        << QByteArray(R"({"chattRoomId":13,"chattRoomType":30,"members":[{"joinUserId":2},
            {"joinUserId":4,"user":{"userId":4,"userName":"Choi"}},{"joinUserId":1}]})")
        << "chat/13" << 30 << "2,4"
        << "Lee,Choi";
    QTest::newRow("left one to one, no member left")
        << QByteArray(R"({"chattRoomId":14,"chattRoomType":"20","leaveUserId":99,
            "members":[{"joinUserId":1}]})")
        << "chat/14" << 40 << "99" << kUnknown;
    QTest::newRow("left one to one, member still listed")
        << QByteArray(R"({"chattRoomId":15,"chattRoomType":"20","leaveUserId":99,
            "members":[{"joinUserId":2}]})")
        << "chat/15" << 40 << "2"
        << "Lee";
    QTest::newRow("one to many with leaveUserId stays")
        << QByteArray(R"({"chattRoomId":16,"chattRoomType":"30","leaveUserId":3,
            "members":[{"joinUserId":3}]})")
        << "chat/16" << 30 << "3"
        << "Park";
    QTest::newRow("group room") << QByteArray(R"({"chattRoomId":17,"chattRoomType":"10","grpId":5,
            "members":[{"joinUserId":2}]})")
                                << "chat/17" << 10 << "5"
                                << "Sales";
    QTest::newRow("group room, group not stored")
        << QByteArray(R"({"chattRoomId":18,"chattRoomType":"10","grpId":6})") << "chat/18" << 10
        << "6"
        << "";
    QTest::newRow("absent keys") << QByteArray("{}") << "chat/0" << 0 << ""
                                 << "";
}

void TestDBRecords::roomFromJson()
{
    QFETCH(QByteArray, object);
    QFETCH(QString, topic);
    QFETCH(int, type);
    QFETCH(QString, members);
    QFETCH(QString, roomName);
    storeDirectory();

    const DBChatRoom room(m_db.get(), json(object.constData()), 1);
    QCOMPARE(room.topic(), topic);
    QCOMPARE(room.type(), type);
    QCOMPARE(room.members(), members);
    QCOMPARE(room.roomName(), roomName);
    QCOMPARE(room.lastMessage(), QString());
    QCOMPARE(room.regDatetime(), 0);
    if (topic == QLatin1String("chat/12")) {
        QCOMPARE(room.createDate(), Q_INT64_C(20230101000000));
        QCOMPARE(room.updateDate(), Q_INT64_C(20230102000000));
    }
    if (topic == QLatin1String("chat/13"))
        QCOMPARE(column(QStringLiteral("SELECT user_name FROM TTT_USER WHERE user_id=4")),
                 QStringList{"Choi"});
}

void TestDBRecords::roomFromRow_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("members");
    QTest::addColumn<int>("msgType"); // 0: the room has no chat
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("senderId");
    QTest::addColumn<QString>("roomName");
    QTest::addColumn<QString>("lastMessage");

    const QString file =
        QStringLiteral(R"({"file_name":"a.txt","file_size":3,"preview_text":"first line"})");
    QTest::newRow("text") << 20 << "2" << 1 << 1 << "hello" << 2 << "Lee"
                          << "hello";
    QTest::newRow("placeholder in the middle")
        << 30 << "2,99,3" << 3 << 1 << "Park" << 2 << "Lee, " + kUnknown + ", Park"
        << "Lee invited Park";
    QTest::newRow("inviter not in the directory")
        << 30 << "2,3" << 4 << 1 << "Park" << 77 << "Lee, Park" << kUnknown + " invited Park";
    QTest::newRow("text of another msg_type") << 20 << "2" << 8 << 1 << "hello" << 2 << "Lee"
                                              << "hello";
    QTest::newRow("leave notice") << 30 << "2,3" << 5 << 1 << "Lee" << 2 << "Lee, Park"
                                  << "Lee leaved";
    QTest::newRow("picture") << 20 << "2" << 1 << 2 << R"({"file_name":"a.png"})" << 2 << "Lee"
                             << "Picture";
    QTest::newRow("file with preview") << 20 << "2" << 1 << 4 << file << 2 << "Lee"
                                       << "first line";
    QTest::newRow("unknown content type") << 20 << "2" << 1 << 9 << "x" << 2 << "Lee"
                                          << "";
    QTest::newRow("group") << 10 << "5" << 1 << 1 << "hi" << 2 << "Sales"
                           << "hi";
    QTest::newRow("group not stored") << 10 << "6" << 1 << 1 << "hi" << 2 << ""
                                      << "hi";
    QTest::newRow("no chat") << 20 << "2" << 0 << 0 << "" << 0 << "Lee"
                             << "";
}

void TestDBRecords::roomFromRow()
{
    QFETCH(int, type);
    QFETCH(QString, members);
    QFETCH(int, msgType);
    QFETCH(int, contentType);
    QFETCH(QString, content);
    QFETCH(int, senderId);
    QFETCH(QString, roomName);
    QFETCH(QString, lastMessage);
    storeDirectory();

    DBChatRoom stored(m_db.get());
    stored.setTopic(QStringLiteral("chat/50"));
    stored.setType(type);
    stored.setMembers(members);
    stored.setCreateDate(111);
    stored.setUpdateDate(222);
    QVERIFY(stored.insertOrUpdate());
    if (msgType) {
        DBChat chat(m_db.get());
        chat.setTopic(stored.topic());
        chat.setMsgId(QStringLiteral("m-50"));
        chat.setMsgType(msgType);
        chat.setSenderId(senderId);
        chat.setMsgTime(333);
        chat.setContent(contentType, content);
        // The stored column as given, whatever the record would make of it.
        QVERIFY(chat.insertOrUpdate());
        QVERIFY(chat.updateMsgStateAndContent(1, content));
    }

    QSqlQuery query(m_db->database());
    QVERIFY(query.exec(QStringLiteral(
        "SELECT R._id, R.topic, R.type, R.members, R.create_date, R.update_date, C.sender_id, "
        "C.msg_type, C.content_type, C.content, C.msg_time AS reg_datetime FROM TTT_CHATT_ROOM R "
        "LEFT JOIN TTT_CHATT C ON C.topic = R.topic")));
    QVERIFY(query.next());
    DBChatRoom room(m_db.get());
    room.setFromRow(query);
    QCOMPARE(room.id(), stored.id());
    QCOMPARE(room.topic(), QStringLiteral("chat/50"));
    QCOMPARE(room.type(), type);
    QCOMPARE(room.members(), members);
    QCOMPARE(room.createDate(), 111);
    QCOMPARE(room.updateDate(), 222);
    QCOMPARE(room.regDatetime(), msgType ? 333 : 0);
    QCOMPARE(room.roomName(), roomName);
    QCOMPARE(room.lastMessage(), lastMessage);
}

void TestDBRecords::displayText_data()
{
    QTest::addColumn<bool>("korean");
    QTest::addColumn<int>("msgType");
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<QString>("expected");

    const QString file = QStringLiteral(R"({"file_name":"a.txt","file_size":3})");
    const QString fileWithPreview =
        QStringLiteral(R"({"file_name":"a.txt","file_size":3,"preview_text":"long text"})");
    for (const bool korean : {false, true}) {
        const char* lang = korean ? "ko " : "en ";
        auto row = [&](const char* name) {
            return &QTest::newRow(qPrintable(QLatin1String(lang) + QLatin1String(name)));
        };
        *row("chat") << korean << 1 << 1 << "hi"
                     << ""
                     << "hi";
        *row("invitation") << korean << 3 << 1 << "Bob, Carol"
                           << ""
                           << (korean ? "Alice님이 Bob, Carol님을 초대했습니다"
                                      : "Alice invited Bob, Carol");
        *row("admission") << korean << 4 << 1 << "Bob"
                          << ""
                          << (korean ? "Alice님이 Bob님을 초대했습니다" : "Alice invited Bob");
        *row("leave") << korean << 5 << 1 << "Bob"
                      << "" << (korean ? "Bob님이 나갔습니다" : "Bob leaved");
        *row("other msg_type") << korean << 8 << 1 << "hi"
                               << ""
                               << "";
        *row("picture") << korean << 1 << 2 << R"({"file_name":"a.png"})"
                        << "" << (korean ? "사진" : "Picture");
        *row("video") << korean << 1 << 3 << R"({"file_name":"a.mp4"})"
                      << "" << (korean ? "동영상" : "Video");
        *row("file") << korean << 1 << 4 << file << "" << (korean ? "파일" : "File");
        *row("file with preview") << korean << 1 << 4 << fileWithPreview << ""
                                  << "long text";
        *row("unknown content type") << korean << 1 << 7 << "x"
                                     << ""
                                     << "";
    }
}

void TestDBRecords::displayText()
{
    QFETCH(bool, korean);
    QFETCH(int, msgType);
    QFETCH(int, contentType);
    QFETCH(QString, content);
    QFETCH(QString, expected);
    useLanguage(korean ? QLocale::Korean : QLocale::English);

    DBChat chat;
    chat.setMsgType(msgType);
    chat.setSenderName(QStringLiteral("Alice"));
    chat.setContent(contentType, content);
    QCOMPARE(chat.toContentText(), expected);
}

void TestDBRecords::toMessage_data()
{
    QTest::addColumn<int>("contentType");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("warning");

    const QString picture = QStringLiteral("{\n"
                                           "    \"file_name\": \"a.png\",\n"
                                           "    \"height\": 20,\n"
                                           "    \"remote_path_url\": \"/p\",\n"
                                           "    \"remote_thumb_url\": \"/t\",\n"
                                           "    \"width\": 10\n"
                                           "}\n");
    QTest::newRow("text") << 1 << ""
                          << ""
                          << "the text"
                          << "";
    QTest::newRow("image") << 2 << "a.png"
                           << "" << picture << "";
    QTest::newRow("image without name") << 2 << ""
                                        << ""
                                        << ""
                                        << "ChatImage::toMessage - fileName is empty";
    QTest::newRow("video without name keeps its JSON")
        << 3 << ""
        << "" << QString(picture).replace(QLatin1String("a.png"), QString()) << "";
    QTest::newRow("file") << 4 << "a.txt"
                          << ""
                          << "{\n    \"file_name\": \"a.txt\",\n    \"file_size\": 52428800,\n"
                             "    \"remote_path_url\": \"/p\"\n}\n"
                          << "";
    QTest::newRow("file with preview")
        << 4 << "a.txt"
        << "first"
        << "{\n    \"file_name\": \"a.txt\",\n    \"file_size\": 52428800,\n"
           "    \"preview_text\": \"first\",\n    \"remote_path_url\": \"/p\"\n}\n"
        << "";
    QTest::newRow("file without name") << 4 << ""
                                       << ""
                                       << ""
                                       << "ChatFile::toMessage - fileName is empty";
    QTest::newRow("other type keeps the content") << 6 << ""
                                                  << ""
                                                  << "the text"
                                                  << "";
}

void TestDBRecords::toMessage()
{
    QFETCH(int, contentType);
    QFETCH(QString, fileName);
    QFETCH(QString, preview);
    QFETCH(QString, expected);
    QFETCH(QString, warning);

    DBChat chat;
    chat.setContent(1, QStringLiteral("the text"));
    if (contentType == 2 || contentType == 3)
        chat.setImage(QStringLiteral("/t"), QStringLiteral("/p"), fileName, 10, 20);
    else if (contentType == 4)
        chat.setFile(QStringLiteral("/p"), fileName, 52428800, preview);
    chat.setContentType(contentType);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QCOMPARE(chat.toMessage(), expected);

    // What toMessage() writes, setContent() reads back.
    if (contentType >= 2 && contentType <= 4 && !expected.isEmpty()) {
        DBChat back;
        QVERIFY(back.setContent(contentType, expected));
        QCOMPARE(back.fileName(), fileName);
        QCOMPARE(back.remotePathUrl(), QStringLiteral("/p"));
        QCOMPARE(back.previewText(), preview);
        QCOMPARE(back.fileSize(), contentType == 4 ? 52428800 : 0);
        QCOMPARE(back.width(), contentType == 4 ? 0 : 10);
        QCOMPARE(back.remoteThumbUrl(), contentType == 4 ? QString() : QStringLiteral("/t"));
    }
}

void TestDBRecords::contentThatDoesNotParse()
{
    DBChat chat(m_db.get());
    chat.setTopic(QStringLiteral("chat/1"));
    chat.setMsgId(QStringLiteral("bad-1"));
    QVERIFY(chat.setContent(4, QStringLiteral(R"({"file_name":"old.txt"})")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^DBChat::setImageChat")));
    QVERIFY(!chat.setContent(2, QStringLiteral("{\"file_name\": \"a.png\"")));
    QCOMPARE(chat.fileName(), QString());
    QCOMPARE(chat.width(), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^DBChat::setFileChat")));
    QVERIFY(!chat.setContent(4, QStringLiteral("[1, 2]")));
    QVERIFY(!chat.setContent(9, QStringLiteral("x")));
    QCOMPARE(chat.contentType(), 9);

    // A stored row with such content is still returned, with empty attachment fields.
    QVERIFY(chat.insertOrUpdate());
    QVERIFY(chat.updateMsgStateAndContent(0, QStringLiteral("not json")));
    QSqlQuery query(m_db->database());
    QVERIFY(query.exec(QStringLiteral("UPDATE TTT_CHATT SET content_type=2")));
    QVERIFY(query.exec(QStringLiteral("SELECT ") + QLatin1String(DBChat::kSelectColumns) +
                       QStringLiteral(" FROM TTT_CHATT C LEFT JOIN TTT_USER U ON "
                                      "C.sender_id = U.user_id")));
    QVERIFY(query.next());
    DBChat read;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^DBChat::setImageChat")));
    read.setFromRow(query);
    QCOMPARE(read.msgId(), QStringLiteral("bad-1"));
    QCOMPARE(read.content(), QStringLiteral("not json"));
    QCOMPARE(read.fileName(), QString());
    QCOMPARE(read.toContentText(), QStringLiteral("Picture"));
}

void TestDBRecords::chatRowAndReplace_data()
{
    // Inside a transaction the record writes its row with other statements (no statement
    // journal); the rows must come out exactly the same.
    QTest::addColumn<bool>("inTransaction");
    QTest::newRow("autocommit") << false;
    QTest::newRow("in a transaction") << true;
}

void TestDBRecords::chatRowAndReplace()
{
    QFETCH(bool, inTransaction);
    const LogCapture log;
    storeDirectory();
    QVERIFY(!m_db->inTransaction());
    if (inTransaction)
        QVERIFY(m_db->database().transaction());
    QCOMPARE(m_db->inTransaction(), inTransaction);
    DBChat chat(m_db.get());
    chat.setTopic(QStringLiteral("chat/7"));
    chat.setMsgId(QStringLiteral("c-1-1700000000000-0001"));
    chat.setMsgType(MsgTypeChat);
    chat.setSenderId(2);
    chat.setContent(ContentTypeText, QStringLiteral("first"));
    chat.setFilePath(QStringLiteral("/tmp/x"));
    chat.setMsgTime(Q_INT64_C(1700000000000));
    chat.setCount(2);
    chat.setMsgState(MsgStateConfirmed);
    chat.setMsgRead(true);
    QVERIFY(chat.insertOrUpdate());
    const qint64 firstId = chat.id();
    QVERIFY(firstId > 0);

    // A stored record is never inserted twice.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^DBChat::insert - ")));
    QCOMPARE(chat.insert(), -1);

    // The same msg_id again replaces the row, under a new _id.
    DBChat again(chat);
    again.setId(0);
    again.setContent(ContentTypeText, QStringLiteral("second"));
    const qint64 secondId = again.insert();
    QVERIFY(secondId > firstId);
    QCOMPARE(column(QStringLiteral("SELECT content FROM TTT_CHATT")), QStringList{"second"});
    again.setContent(ContentTypeText, QStringLiteral("third"));
    QVERIFY(again.insertOrUpdate());
    QCOMPARE(again.id(), secondId); // a stored record keeps its id
    QCOMPARE(column(QStringLiteral("SELECT _id || content FROM TTT_CHATT")),
             QStringList{QString::number(secondId + 1) + QStringLiteral("third")});
    QCOMPARE(column(QStringLiteral("SELECT typeof(msg_read) || msg_read FROM TTT_CHATT")),
             QStringList{"integer1"});

    // msg_id is unique over the whole table: the same id in another room takes the row over.
    DBChat elsewhere(m_db.get());
    elsewhere.setTopic(QStringLiteral("chat/8"));
    elsewhere.setMsgId(QStringLiteral("c-1-1700000000000-0002"));
    elsewhere.setContent(ContentTypeText, QStringLiteral("elsewhere"));
    QVERIFY(elsewhere.insertOrUpdate());
    DBChat moved(elsewhere);
    moved.setId(0);
    moved.setTopic(QStringLiteral("chat/9"));
    QVERIFY(moved.insert() > elsewhere.id());
    QCOMPARE(column(QStringLiteral("SELECT topic || ' ' || content FROM TTT_CHATT WHERE msg_id = "
                                   "'c-1-1700000000000-0002'")),
             QStringList{"chat/9 elsewhere"});
    if (inTransaction) {
        QVERIFY(m_db->database().commit());
        QVERIFY(!m_db->inTransaction());
    }
    QCOMPARE(column(QStringLiteral("SELECT COUNT(*) FROM TTT_CHATT")), QStringList{"2"});
    // Taking over a msg_id is no failure to report.
    QCOMPARE(log.matching(QStringLiteral("DBChat::insertOrUpdate failed")), QStringList());
    QCOMPARE(log.matching(QStringLiteral("DBChat::insert failed")), QStringList());

    QSqlQuery query(m_db->database());
    QVERIFY(query.prepare(QStringLiteral("SELECT ") + QLatin1String(DBChat::kSelectColumns) +
                          QStringLiteral(" FROM TTT_CHATT C LEFT JOIN TTT_USER U ON "
                                         "C.sender_id = U.user_id WHERE C.msg_id=?")));
    query.addBindValue(chat.msgId());
    QVERIFY(query.exec() && query.next());
    DBChat read;
    read.setFromRow(query);
    QCOMPARE(read.id(), secondId + 1);
    QCOMPARE(read.topic(), QStringLiteral("chat/7"));
    QCOMPARE(read.msgId(), chat.msgId());
    QCOMPARE(read.senderId(), 2);
    QCOMPARE(read.senderName(), QStringLiteral("Lee"));
    QCOMPARE(read.msgType(), int(MsgTypeChat));
    QCOMPARE(read.contentType(), int(ContentTypeText));
    QCOMPARE(read.content(), QStringLiteral("third"));
    QCOMPARE(read.filePath(), QStringLiteral("/tmp/x"));
    QCOMPARE(read.msgTime(), Q_INT64_C(1700000000000));
    QCOMPARE(read.msgState(), int(MsgStateConfirmed));
    QCOMPARE(read.count(), 2);
    QVERIFY(read.msgRead());
}

void TestDBRecords::chatUpdates()
{
    DBChat chat(m_db.get());
    chat.setTopic(QStringLiteral("chat/8"));
    chat.setMsgId(QStringLiteral("u-1"));
    chat.setFile(QString(), QStringLiteral("a.txt"), 3, QString());
    QCOMPARE(chat.insert(), 1);
    DBChat other(chat);
    other.setId(0);
    other.setMsgId(QStringLiteral("u-2"));
    QVERIFY(other.insertOrUpdate());
    DBChatReader reader(m_db.get(), QStringLiteral("chat/8"), QStringLiteral("u-1"), 5, 10);
    QVERIFY(reader.insertOrUpdate());
    QVERIFY(reader.insertOrUpdate()); // the same reader twice is one row

    QVERIFY(chat.updateMsgState(MsgStateUploading));
    QCOMPARE(chat.msgState(), int(MsgStateUploading));
    const QString uploaded = QStringLiteral(R"({"file_name":"a.txt","remote_path_url":"/r"})");
    QVERIFY(chat.updateMsgStateAndContent(MsgStateUploaded, uploaded));
    QCOMPARE(chat.remotePathUrl(), QStringLiteral("/r"));
    QVERIFY(chat.updateMsgStateAndTime(MsgStateConfirmed, Q_INT64_C(20240101000000123)));
    QVERIFY(chat.updateFilePath(QStringLiteral("/home/u/a.txt")));
    QCOMPARE(column(QStringLiteral("SELECT msg_state || '|' || msg_time || '|' || file_path || "
                                   "'|' || (content = '") +
                    uploaded + QStringLiteral("') FROM TTT_CHATT WHERE msg_id='u-1'")),
             QStringList{"1|20240101000000123|/home/u/a.txt|1"});
    QCOMPARE(chat.msgTime(), Q_INT64_C(20240101000000123));
    QCOMPARE(chat.filePath(), QStringLiteral("/home/u/a.txt"));

    QVERIFY(other.remove());
    QCOMPARE(column(QStringLiteral("SELECT msg_id FROM TTT_CHATT")), QStringList{"u-1"});
    DBChat nowhere(m_db.get());
    QTest::ignoreMessage(QtWarningMsg, "DBChat::removeAllOfTopic - topic is empty");
    QVERIFY(!nowhere.removeAllOfTopic());
    QVERIFY(chat.removeAllOfTopic());
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM TTT_CHATT")), QStringList{"0"});
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM TTT_CHATT_READER")), QStringList{"1"});
}

void TestDBRecords::roomOperations()
{
    storeDirectory();
    DBChatRoom room(m_db.get());
    room.setTopic(QStringLiteral("chat/9"));
    room.setType(RoomType1VS1);
    room.setMembers(QStringLiteral("2"));
    QVERIFY(room.insertOrUpdate());
    DBChatRoom otherRoom(room);
    otherRoom.setId(0);
    otherRoom.setTopic(QStringLiteral("chat/10"));
    QVERIFY(otherRoom.insertOrUpdate());
    for (const QString& topic : {QStringLiteral("chat/9"), QStringLiteral("chat/10")}) {
        DBChat chat(m_db.get());
        chat.setTopic(topic);
        chat.setMsgId(topic + QStringLiteral("-m"));
        QVERIFY(chat.insertOrUpdate());
        QVERIFY(DBChatReader(m_db.get(), topic, chat.msgId(), 3, 1).insertOrUpdate());
    }

    room.setMembers(QStringLiteral("2,3"));
    room.setType(RoomType1VSN);
    QVERIFY(room.update());
    QCOMPARE(room.roomName(), QStringLiteral("Lee, Park"));
    QVERIFY(room.updateType(RoomTypeLeave));
    QCOMPARE(room.type(), int(RoomTypeLeave));
    QCOMPARE(column(QStringLiteral("SELECT type || members FROM TTT_CHATT_ROOM WHERE "
                                   "topic='chat/9'")),
             QStringList{"402,3"});

    DBChatRoom noTopic(m_db.get());
    QTest::ignoreMessage(QtWarningMsg, "DBChatRoom::update - topic is empty");
    QVERIFY(!noTopic.update());
    QTest::ignoreMessage(QtWarningMsg, "DBChatRoom::updateType - topic is empty");
    QVERIFY(!noTopic.updateType(10));
    QCOMPARE(noTopic.type(), 0);
    QTest::ignoreMessage(QtWarningMsg, "DBChatRoom::remove - topic is empty");
    QVERIFY(!noTopic.remove());

    QVERIFY(room.remove());
    QCOMPARE(column(QStringLiteral("SELECT topic FROM TTT_CHATT_ROOM")), QStringList{"chat/10"});
    QCOMPARE(column(QStringLiteral("SELECT topic FROM TTT_CHATT")), QStringList{"chat/10"});
    QCOMPARE(column(QStringLiteral("SELECT topic FROM TTT_CHATT_READER")), QStringList{"chat/10"});
}

void TestDBRecords::directoryOperations()
{
    DBUser nobody(m_db.get());
    QTest::ignoreMessage(QtWarningMsg, "DBUser::insertOrUpdate - user_id is 0, It's not allow to "
                                       "insertOrUpdate !!!!!!!!!!!!");
    QVERIFY(!nobody.insertOrUpdate());
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM TTT_USER")), QStringList{"0"});

    const char* users[] = {
        R"({"userId":1,"userName":"O'Brien","userSortSeq":"9","telOpenYn":"1","appInstallYn":"1"})",
        R"({"userId":2,"userName":"b","userSortSeq":"10"})",
        R"({"userId":3,"userName":"c"})",
    };
    for (const char* object : users) {
        DBUser user(m_db.get(), json(object));
        user.setUserState(UserStateActive);
        QVERIFY(user.insertOrUpdate());
        QVERIFY(user.id() > 0);
    }
    // user_sort is text: "" before "10" before "9".
    QCOMPARE(column(QStringLiteral("SELECT user_id FROM TTT_USER ORDER BY user_sort")),
             (QStringList{"3", "2", "1"}));
    QCOMPARE(column(QStringLiteral("SELECT open_cell_phone || chatt_allow || app_install || "
                                   "typeof(open_cell_phone) FROM TTT_USER WHERE user_id=1")),
             QStringList{"101integer"});

    QSqlQuery query(m_db->database());
    QVERIFY(query.exec(QStringLiteral("SELECT * FROM TTT_USER WHERE user_id=1")) && query.next());
    DBUser byPosition;
    byPosition.setFromTableRow(query);
    DBUser byName;
    byName.setFromRecord(query);
    const QString expected = QStringLiteral("1|O'Brien||||||1|0|1|1|");
    QCOMPARE(userFields(byPosition), expected);
    QCOMPARE(userFields(byName), expected);
    QCOMPARE(byName.id(), byPosition.id());

    DBGroup group(m_db.get(), json(R"({"grpId":5,"grpName":"Sales","skinColor":7})"));
    QVERIFY(group.insertOrUpdate());
    QVERIFY(query.exec(QStringLiteral("SELECT * FROM TTT_GROUP")) && query.next());
    DBGroup readGroup;
    readGroup.setFromRecord(query);
    QCOMPARE(readGroup.groupName(), QStringLiteral("Sales"));
    QCOMPARE(readGroup.groupColor(), 7);
    QCOMPARE(readGroup.id(), group.id());
    QVERIFY(group.remove());
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM TTT_GROUP")), QStringList{"0"});

    for (int userId : {1, 2}) {
        DBUserGroup member(m_db.get());
        member.setGroupId(5);
        member.setUserId(userId);
        member.setState(1);
        QVERIFY(member.insertOrUpdate());
    }
    DBUserGroup leaving(m_db.get());
    leaving.setGroupId(5);
    leaving.setUserId(2);
    QVERIFY(leaving.remove());
    QCOMPARE(column(QStringLiteral("SELECT group_id || ':' || user_id FROM TTT_USER_GROUP")),
             QStringList{"5:1"});
}

QTEST_GUILESS_MAIN(TestDBRecords)
#include "tst_dbrecords.moc"
