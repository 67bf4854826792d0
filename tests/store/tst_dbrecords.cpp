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

QString userFields(const DBUser& u)
{
    return fields({u.userId(), u.userName(), u.cellPhone(), u.email(), u.deptName(), u.thumbUrl(),
                   u.imageUrl(), u.openCellPhone(), u.chattAllow(), u.appInstall(), u.userState(),
                   u.userSort()});
}

} // namespace

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

    void fromJson_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QString>("expected");

        QTest::newRow("user: every key")
            << "user" << QByteArray(R"({"userId":7,"userName":"Kim","tel":"010-1","email":"k@x.org",
                "deptName":"Dev","thumbUrl":"/t.png","imageUrl":"/i.png","telOpenYn":"1",
                "chattingAllowYn":"0","appInstallYn":"2","userSortSeq":"10","state":"D"})")
            << "7|Kim|010-1|k@x.org|Dev|/t.png|/i.png|1|0|1|0|10";
        QTest::newRow("user: absent keys") << "user" << QByteArray("{}") << "0|||||||0|0|0|0|";
        QTest::newRow("user: numbers and texts swapped, letters are not flags")
            << "user"
            << QByteArray(
                   R"({"userId":"8","telOpenYn":1,"chattingAllowYn":"Y","appInstallYn":0,"userSortSeq":5})")
            << "8|||||||1|0|0|0|5";
        // Server JSON is input: a number beyond 64 bits must not be converted (undefined
        // behaviour).
        QTest::newRow("user: numbers out of range")
            << "user" << QByteArray(R"({"userId":1e30,"userName":-1e300,"userSortSeq":9.5e18})")
            << "0|-1e+300||||||0|0|0|0|9.5e+18";
        QTest::newRow("group: grpOrder is never taken")
            << "group"
            << QByteArray(R"({"grpId":5,"grpName":"Sales","grpType":2,"skinColor":16711680,
                                         "thumbUrl":"/t","imageUrl":"/i","grpOrder":9})")
            << "5|Sales|2|0|16711680|/t|/i";
        QTest::newRow("membership")
            << "member" << QByteArray(R"({"grpId":5,"userId":7,"mbrStatus":"1","leaderType":"2"})")
            << "5|7|1|2";
    }

    void fromJson()
    {
        QFETCH(QString, record);
        QFETCH(QByteArray, object);
        QFETCH(QString, expected);
        const DBGroup g(&db(), json(object));
        const DBUserGroup m(&db(), json(object));
        DBUser user(&db(), json(object));
        QCOMPARE(record == QLatin1String("group")
                     ? fields({g.groupId(), g.groupName(), g.groupType(), g.groupOrder(),
                               g.groupColor(), g.thumbUrl(), g.imageUrl()})
                 : record == QLatin1String("member")
                     ? fields({m.groupId(), m.userId(), m.state(), m.member()})
                     : userFields(user),
                 expected);
        if (record != QLatin1String("user"))
            return;
        // Stored (user_id 0 refused) and read back by position and by name; flags are integers.
        QCOMPARE(user.insertOrUpdate(), user.userId() != 0);
        QSqlQuery query(db().database());
        QVERIFY(query.exec("SELECT *, typeof(open_cell_phone) AS flag FROM TTT_USER "
                           "WHERE user_id NOT IN (2, 3)"));
        QCOMPARE(query.next(), user.userId() != 0);
        if (user.userId() != 0) {
            DBUser byPosition;
            byPosition.setFromTableRow(query);
            DBUser byName;
            byName.setFromRecord(query);
            // The row mappings leave user_sort out.
            const QString stored = expected.section(QLatin1Char('|'), 0, -2) + QLatin1Char('|');
            QCOMPARE(QStringList({userFields(byPosition), userFields(byName)}),
                     QStringList({stored, stored}));
            QCOMPARE(fields({byName.id(), query.value("flag")}),
                     fields({byPosition.id(), "integer"}));
        }
    }

    void roomFromJson_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QString>("fields"); // topic|type|members|roomName|create_date|update_date

        QTest::newRow("one to one, own id left out")
            << QByteArray(R"({"chattRoomId":12,"chattRoomType":"20","openDatetime":20230101000000,
                "updDatetime":"20230102000000","members":[{"joinUserId":1},{"joinUserId":2}]})")
            << "chat/12|20|2|Lee|20230101000000|20230102000000";
        QTest::newRow("one to many, unknown member stored on the way")
            << QByteArray(R"({"chattRoomId":13,"chattRoomType":30,"members":[{"joinUserId":2},
                {"joinUserId":4,"user":{"userId":4,"userName":"Choi"}},{"joinUserId":1}]})")
            << "chat/13|30|2,4|Lee,Choi|0|0";
        QTest::newRow("left one to one, no member left")
            << QByteArray(R"({"chattRoomId":14,"chattRoomType":"20","leaveUserId":99,
                "members":[{"joinUserId":1}]})")
            << "chat/14|40|99|" + DBChatRoom::unknownName() + "|0|0";
        QTest::newRow("left one to one, member still listed")
            << QByteArray(R"({"chattRoomId":15,"chattRoomType":"20","leaveUserId":99,
                "members":[{"joinUserId":2}]})")
            << "chat/15|40|2|Lee|0|0";
        QTest::newRow("one to many with leaveUserId stays")
            << QByteArray(R"({"chattRoomId":16,"chattRoomType":"30","leaveUserId":3,
                "members":[{"joinUserId":3}]})")
            << "chat/16|30|3|Park|0|0";
        QTest::newRow("group room")
            << QByteArray(
                   R"({"chattRoomId":17,"chattRoomType":"10","grpId":5,"members":[{"joinUserId":2}]})")
            << "chat/17|10|5|Sales|0|0";
        QTest::newRow("group room, group not stored")
            << QByteArray(R"({"chattRoomId":18,"chattRoomType":"10","grpId":6})")
            << "chat/18|10|6||0|0";
        QTest::newRow("absent keys") << QByteArray("{}") << "chat/0|0|||0|0";
    }

    void roomFromJson()
    {
        QFETCH(QByteArray, object);
        QFETCH(QString, fields);
        const DBChatRoom r(&db(), json(object), 1);
        QCOMPARE(::fields({r.topic(), r.type(), r.members(), r.roomName(), r.createDate(),
                           r.updateDate()}),
                 fields);
        QCOMPARE(m_store->rows("SELECT user_name FROM TTT_USER WHERE user_id=4"),
                 r.topic() == QLatin1String("chat/13") ? QStringList{"Choi"} : QStringList());
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
        QTest::addColumn<int>("contentType");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("preview");
        QTest::addColumn<QByteArray>("expected"); // JSON compared compactly; empty: refused

        const QString none;
        const QByteArray picture = R"({"file_name":"a.png","height":20,"remote_path_url":"/p",)"
                                   R"("remote_thumb_url":"/t","width":10})";
        const QByteArray file =
            R"({"file_name":"a.txt","file_size":52428800,"remote_path_url":"/p"})";
        QTest::newRow("text") << 1 << none << none << QByteArray("the text");
        QTest::newRow("image") << 2 << "a.png" << none << picture;
        QTest::newRow("image without name") << 2 << none << none << QByteArray();
        QTest::newRow("video without name keeps its JSON")
            << 3 << none << none << QByteArray(picture).replace("a.png", "");
        QTest::newRow("file") << 4 << "a.txt" << none << file;
        QTest::newRow("file with preview")
            << 4 << "a.txt"
            << "first"
            << QByteArray(file).replace(R"("remote)", R"("preview_text":"first","remote)");
        QTest::newRow("file without name") << 4 << none << none << QByteArray();
    }

    void toMessage()
    {
        QFETCH(int, contentType);
        QFETCH(QString, fileName);
        QFETCH(QString, preview);
        QFETCH(QByteArray, expected);

        DBChat chat;
        chat.setContent(1, "the text");
        if (contentType == 2 || contentType == 3)
            chat.setImage("/t", "/p", fileName, 10, 20);
        else if (contentType == 4)
            chat.setFile("/p", fileName, 52428800, preview);
        chat.setContentType(contentType);
        if (expected.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, contentType == 2
                                                   ? "ChatImage::toMessage - fileName is empty"
                                                   : "ChatFile::toMessage - fileName is empty");
        const QString message = chat.toMessage();
        const QJsonDocument parsed = QJsonDocument::fromJson(message.toUtf8());
        QCOMPARE(parsed.isNull() ? message.toUtf8() : parsed.toJson(QJsonDocument::Compact),
                 expected);

        // What toMessage() writes, setContent() reads back whole.
        DBChat back;
        QVERIFY(contentType == 1 || message.isEmpty() || back.setContent(contentType, message));
        QCOMPARE(back.toMessage(), contentType == 1 ? QString() : message);
    }

    void contentThatDoesNotParse()
    {
        DBChat bad = chat("chat/1", "bad-1");
        QVERIFY(bad.setContent(4, R"({"file_name":"old.txt"})"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DBChat::setImageChat"));
        QVERIFY(!bad.setContent(2, "{\"file_name\": \"a.png\""));
        QCOMPARE(fields({bad.fileName(), bad.width()}), "|0");
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
        QCOMPARE(fields({read.content(), read.fileName(), read.toContentText()}),
                 "not json||Picture");
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
        if (inTransaction)
            QVERIFY(db().database().transaction());
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
        if (inTransaction)
            QVERIFY(db().database().commit());
        QVERIFY(!db().inTransaction());
        QCOMPARE(m_store->rows("SELECT _id, topic, msg_id, content, typeof(msg_read) "
                               "FROM TTT_CHATT ORDER BY _id"),
                 (QStringList{QString::number(secondId + 1) + "|chat/7|c-1|third|integer",
                              QString::number(secondId + 3) + "|chat/9|c-2|e|integer"}));
        // Taking over a msg_id is no failure to report.
        QCOMPARE(log.lines("DBChat::").filter(" failed"), QStringList());

        DBChat r;
        QVERIFY(db().findChat("chat/7", "c-1", r));
        QCOMPARE(fields({r.id(), r.topic(), r.msgId(), r.senderId(), r.senderName(), r.msgType(),
                         r.contentType(), r.content(), r.filePath(), r.msgTime(), r.msgState(),
                         r.count(), r.msgRead()}),
                 QString(QString::number(secondId + 1) +
                         "|chat/7|c-1|2|Lee|1|1|third|/tmp/x|1700000000000|1|2|1"));
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
        QCOMPARE(m_store->rows("SELECT msg_state, msg_time, file_path, content = ? FROM "
                               "TTT_CHATT WHERE msg_id='u-1'",
                               {uploaded}),
                 QStringList{"1|20240101000000123|/home/u/a.txt|1"});

        QVERIFY(other.remove());
        QCOMPARE(m_store->rows("SELECT msg_id FROM TTT_CHATT"), QStringList{"u-1"});
        QVERIFY(file.removeAllOfTopic());
        QCOMPARE(m_store->rows("SELECT 'chats', count(*) FROM TTT_CHATT UNION ALL "
                               "SELECT 'readers', count(*) FROM TTT_CHATT_READER"),
                 (QStringList{"chats|0", "readers|1"}));
    }
};

QTEST_GUILESS_MAIN(TestDBRecords)
#include "tst_dbrecords.moc"
