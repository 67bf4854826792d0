// The room list: a row's texts, the search rules, room pictures, and the list on a real store.
#include "main/chatroomfilter.h"
#include "main/chatroomitem.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatroomrowtext.h"
#include "net/filemanager.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"
#include "widgets/mtroompicture.h"

#include "common/testenv.h"
#include "common/typed.h"
#include "store/storefixture.h"

#include <QDir>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
// 2 January 2026 in UTC (the test runs with TZ=UTC), at the hour and minute given.
qint64 at(int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 1, 2), QTime(hour, minute), Qt::UTC).toMSecsSinceEpoch();
}

// The time a row shows for an instant, as the list computes it today.
QString shown(qint64 msecs)
{
    return ChatRoomRowText::timeText(msecs, QDateTime::currentDateTime(), QLocale());
}

// A row's texts.
struct Row
{
    QString title, members, time, message, badge;
    MT_TYPED(Row, title, members, time, message, badge)
    static Row of(const ChatRoomRow& r)
    {
        return {r.title, r.memberCount, r.time, r.message, r.badge};
    }
};

// What a row makes of its room, without the time.
struct RoomRow
{
    int type = RoomType1VS1;
    QString members;
    QString name;
    int unread = 0;
};
struct Described
{
    bool titled = false;  // some title shows
    bool ownName = false; // the room's own name
    QString members, badge;
    MT_TYPED(Described, titled, ownName, members, badge)
};

// A search text, a room name, and what the search makes of them.
struct Search
{
    QString pattern, name;
    bool matches = false, expression = false;
    MT_TYPED(Search, pattern, name, matches, expression)
};

// A time text against the clock of the same instant.
struct TimeShown
{
    bool empty = true, clockOnly = false, endsWithClock = false, namesMonthAndDay = false;
    MT_TYPED(TimeShown, empty, clockOnly, endsWithClock, namesMonthAndDay)
};

// User 1; chat/1's two chats share a time, so the room-list statement yields it twice.
void fillStore(StoreFixture& store)
{
    store.addUser(1, QStringLiteral("Me"));
    store.addUser(2, QStringLiteral("Kim (HR)"));
    store.addUser(3, QStringLiteral("Lee"));
    store.addUser(4, QStringLiteral("박영희"));
    store.addGroup(77, QStringLiteral("Sales"));
    store.addRoom(QStringLiteral("chat/1"), RoomType1VS1, QStringLiteral("2"), at(8));
    store.addRoom(QStringLiteral("chat/2"), RoomType1VSN, QStringLiteral("2,3"), at(8));
    store.addRoom(QStringLiteral("chat/3"), RoomType1VS1, QStringLiteral("3"), at(9));
    store.addRoom(QStringLiteral("chat/4"), RoomTypeGroup, QStringLiteral("77"), at(8));
    store.addRoom(QStringLiteral("chat/5"), RoomType1VS1, QStringLiteral("4"), at(7));
    store.addChat(QStringLiteral("chat/1"), QStringLiteral("m1"), 2, at(11));
    store.addChat(QStringLiteral("chat/1"), QStringLiteral("m2"), 2, at(11));
    store.addChat(QStringLiteral("chat/2"), QStringLiteral("m3"), 3, at(10));
    store.addChat(QStringLiteral("chat/4"), QStringLiteral("m4"), 2, at(12));
}

// A late chat, the rooms' order after it, and whether the row takes it as its newest.
struct NewChat
{
    QString topic;
    qint64 time = 0;
    int contentType = ContentTypeText;
    QStringList order;
    bool taken = true;
};

DBChat chat(const QString& topic, qint64 time, const QString& text, int type = ContentTypeText)
{
    DBChat chat;
    chat.setTopic(topic);
    chat.setMsgType(MsgTypeChat);
    chat.setContent(type, text);
    chat.setSenderId(2);
    chat.setMsgTime(time);
    return chat;
}

DBChatRoom room(const QString& topic, int type, const QString& members)
{
    DBChatRoom room;
    room.setTopic(topic);
    room.setType(type);
    room.setMembers(members);
    return room;
}
} // namespace

Q_DECLARE_METATYPE(RoomRow)
Q_DECLARE_METATYPE(Described)
Q_DECLARE_METATYPE(TimeShown)
Q_DECLARE_METATYPE(Search)
Q_DECLARE_METATYPE(NewChat)
Q_DECLARE_METATYPE(QListWidgetItem*)

class TestChatRoomList : public QObject
{
    Q_OBJECT
private:
    TestEnv m_env;
    std::unique_ptr<StoreFixture> m_store;
    std::unique_ptr<ChatRoomList> m_list;

    // The list filled from the store's room-list statement, shown.
    void fillList()
    {
        QList<DBChatRoom> rooms;
        QCOMPARE(m_store->db().chatRoomList(rooms), 6);
        m_list->setChatRooms(rooms);
        m_list->ensureRowWidgets();
    }
    // The texts of the visible rows, from the top down.
    QList<Row> shownRows()
    {
        m_list->ensureRowWidgets();
        QList<Row> rows;
        for (const QString& topic : m_list->visibleTopics())
            rows.append(Row::of(m_list->rowWidget(topic)->row()));
        return rows;
    }

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
        qRegisterMetaType<QListWidgetItem*>();
        mtInitResources();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
    }
    void init()
    {
        unreadCounts().clear();
        m_store = std::make_unique<StoreFixture>();
        fillStore(*m_store);
        m_list = std::make_unique<ChatRoomList>();
        m_list->setSession(&m_store->db(), nullptr, 1);
        m_list->resize(360, 600);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    }
    void cleanup()
    {
        m_list.reset();
        m_store.reset();
    }

    void describe_data()
    {
        QTest::addColumn<RoomRow>("room");
        QTest::addColumn<Described>("expected");
        QTest::newRow("group room never counts members")
            << RoomRow{RoomTypeGroup, "77", "Sales", 5} << Described{true, true, "", "5"};
        QTest::newRow("group chat everybody left")
            << RoomRow{RoomType1VSN, "", "", 0} << Described{true, false, "", ""};
        QTest::newRow("one-to-one without a name is no group chat")
            << RoomRow{RoomType1VS1, "", "", 0} << Described{false, true, "", ""};
        QTest::newRow("empty parts of the members are no members")
            << RoomRow{RoomType1VSN, ",2,,3,", "Kim, Lee", 0} << Described{true, true, "3", ""};
        QTest::newRow("left one-to-one keeps its name")
            << RoomRow{RoomTypeLeave, "2", "Kim", 0} << Described{true, true, "2", ""};
        QTest::newRow("badge 999")
            << RoomRow{RoomType1VS1, "2", "Kim", 999} << Described{true, true, "2", "999"};
        QTest::newRow("badge above 999")
            << RoomRow{RoomType1VS1, "2", "Kim", 1000} << Described{true, true, "2", "+999"};
        QTest::newRow("badge below 1 is hidden")
            << RoomRow{RoomType1VS1, "2", "Kim", -3} << Described{true, true, "2", ""};
    }
    void describe()
    {
        QFETCH(RoomRow, room);
        QFETCH(Described, expected);
        ChatRoomRowState state;
        state.room = ::room(QStringLiteral("chat/1"), room.type, room.members);
        state.room.setRoomName(room.name);
        state.unread = room.unread;
        const ChatRoomRow row =
            ChatRoomRowText::describe(state, QDateTime::currentDateTime(), QLocale());
        QCOMPARE(
            (Described{!row.title.isEmpty(), row.title == room.name, row.memberCount, row.badge}),
            expected);
    }

    // The clock alone on today in `now`'s own zone, the month and day before it otherwise.
    void timeText_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<TimeShown>("expected");
        const QDateTime utc(QDate(2026, 12, 6), QTime(0, 1), Qt::UTC);
        const QDateTime seoul(QDate(2026, 12, 6), QTime(0, 30), Qt::OffsetFromUTC, 9 * 3600);
        const auto ago = [](const QDateTime& now, int minutes) {
            return now.addSecs(-60 * minutes).toMSecsSinceEpoch();
        };
        const TimeShown today{false, true, true, false};
        const TimeShown otherDay{false, false, true, true};
        QTest::newRow("just after midnight") << utc << ago(utc, 1) << today;
        QTest::newRow("a minute before midnight") << utc << ago(utc, 2) << otherDay;
        QTest::newRow("yesterday in UTC, today in Seoul") << seoul << ago(seoul, 20) << today;
        QTest::newRow("before midnight in Seoul") << seoul << ago(seoul, 31) << otherDay;
        QTest::newRow("a year ago on the same day")
            << utc << utc.addYears(-1).toMSecsSinceEpoch() << otherDay;
        QTest::newRow("no time") << utc << qint64(0) << TimeShown{};
    }
    void timeText()
    {
        QFETCH(QDateTime, now);
        QFETCH(qint64, msecs);
        QFETCH(TimeShown, expected);
        const QLocale locale;
        const QDateTime local =
            QDateTime::fromMSecsSinceEpoch(msecs, now.timeSpec(), now.offsetFromUtc());
        const QString clock = locale.toString(local.time(), QLocale::ShortFormat);
        const QString text = ChatRoomRowText::timeText(msecs, now, locale);
        QCOMPARE((TimeShown{
                     text.isEmpty(), text == clock, !text.isEmpty() && text.endsWith(clock),
                     text.contains(locale.monthName(local.date().month(), QLocale::ShortFormat)) &&
                         text.contains(QString::number(local.date().day()))}),
                 expected);
    }

    // An expression when it is one, else found literally (a row per kind of non-expression).
    void filter_data()
    {
        QTest::addColumn<Search>("search");
        QTest::newRow("dot matches any character, any case") << Search{"A.C", "xabcx", true, true};
        QTest::newRow("anchored") << Search{"^ales", "Sales", false, true};
        QTest::newRow("possessive plus is an expression")
            << Search{"c++", "Learning C++", true, true};
        QTest::newRow("leading star found literally") << Search{"*2", "Room *2", true, false};
        QTest::newRow("leading star not in the name") << Search{"*2", "Room 22", false, false};
        QTest::newRow("lone parenthesis, any case") << Search{"(EAST", "Team (east)", true, false};
        QTest::newRow("quote") << Search{"\"", "\"Q\" team", true, true};
        QTest::newRow("empty shows all") << Search{"", "anything", true, true};
        QTest::newRow("Korean anchored at the end") << Search{"회의$", "영업팀 회의", true, true};
    }
    void filter()
    {
        QFETCH(Search, search);
        const ChatRoomFilter filter(search.pattern);
        QCOMPARE((Search{search.pattern, search.name, filter.matches(search.name),
                         filter.isExpression()}),
                 search);
    }

    // Which member a click on a row's picture names.
    void singleOtherMember_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("members");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("the user listed too") << int(RoomType1VSN) << "1,2" << qint64(2);
        QTest::newRow("only the user") << int(RoomType1VSN) << "1" << qint64(0);
        QTest::newRow("a part that is no number") << int(RoomType1VSN) << "x,2" << qint64(2);
    }
    void singleOtherMember()
    {
        QFETCH(int, type);
        QFETCH(QString, members);
        QFETCH(qint64, expected);
        QCOMPARE(ChatRoomRowText::singleOtherMember(type, members, 1), expected);
    }

    // A room's pictures from the store: a cached URL shows its file, any other the default.
    void pictureSources_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("members");
        QTest::addColumn<QStringList>("urls");
        QTest::newRow("group room: the group's thumbnail")
            << int(RoomTypeGroup) << "77" << QStringList{"/g/77.png"};
        QTest::newRow("unknown group: nothing") << int(RoomTypeGroup) << "78" << QStringList{};
        QTest::newRow("first four known others")
            << int(RoomType1VSN) << "1,2,99,3,4,5,6"
            << QStringList{"/u/2.png", "", "/u/4.png", "/u/5.png"};
        QTest::newRow("only unknown members") << int(RoomType1VSN) << "98,99" << QStringList{};
    }
    void pictureSources()
    {
        QFETCH(int, type);
        QFETCH(QString, members);
        QFETCH(QStringList, urls);
        for (qint64 id : {5, 6})
            m_store->addUser(id, QStringLiteral("user%1").arg(id));
        QVERIFY(m_store->exec(QStringLiteral("UPDATE TTT_USER SET thumb_url = '/u/' || user_id || "
                                             "'.png' WHERE user_id IN (2, 4, 5, 6)")));
        QVERIFY(m_store->exec(
            QStringLiteral("UPDATE TTT_GROUP SET thumb_url = '/g/77.png' WHERE group_id = 77")));
        QCOMPARE(mtRoomPictureSources(m_store->db(), room({}, type, members), 1).urls, urls);
    }

    // Newest activity first, each room once although the statement lists chat/1 twice.
    void fill()
    {
        unreadCounts().set(QStringLiteral("chat/2"), 4);
        fillList();
        const QList<Row> expected{{"Sales", "", shown(at(12)), "hi", ""},
                                  {"Kim (HR)", "2", shown(at(11)), "hi", ""},
                                  {"Kim (HR), Lee", "3", shown(at(10)), "hi", "4"},
                                  {"Lee", "2", shown(at(9)), "", ""},
                                  {"박영희", "2", shown(at(7)), "", ""}};
        QCOMPARE(shownRows(), expected);
        QCOMPARE(m_list->count(), 5);
    }

    // A room pushed after the fill takes its place by time, not the bottom.
    void lateRoomByTime()
    {
        fillList();
        DBChatRoom late = room(QStringLiteral("chat/9"), RoomType1VSN, QStringLiteral("2,3"));
        late.setUpdateDate(at(11, 30));
        m_list->addChatRoom(late);
        QCOMPARE(m_list->topics(),
                 (QStringList{"chat/4", "chat/9", "chat/1", "chat/2", "chat/3", "chat/5"}));
    }

    // A newer chat lifts its room past older ones and shows a preview; an older one, the badge.
    void newChat_data()
    {
        QTest::addColumn<NewChat>("row");
        const QStringList before{"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"};
        QTest::newRow("newer text to the top")
            << NewChat{"chat/2", at(13), ContentTypeText,
                       QStringList{"chat/2", "chat/4", "chat/1", "chat/3", "chat/5"}, true};
        QTest::newRow("newer picture passes only older rooms")
            << NewChat{"chat/3", at(11, 30), ContentTypeImage,
                       QStringList{"chat/4", "chat/3", "chat/1", "chat/2", "chat/5"}, true};
        QTest::newRow("older text raises only the badge")
            << NewChat{"chat/1", at(10, 30), ContentTypeText, before, false};
        QTest::newRow("equal time is taken, the room stays")
            << NewChat{"chat/1", at(11), ContentTypeText, before, true};
    }
    void newChat()
    {
        QFETCH(NewChat, row);
        const QString topic = row.topic;
        const qint64 time = row.time;
        const bool taken = row.taken;
        fillList();
        const Row before = Row::of(m_list->rowWidget(topic)->row());
        unreadCounts().set(topic, 3);
        const QString content = QStringLiteral(R"({"file_name":"a.png","file_size":3})");
        const DBChat arrived = chat(topic, time, content, row.contentType);
        m_list->updateLastMessage(arrived);
        m_list->ensureRowWidgets();
        const QString preview = taken ? arrived.toContentText() : before.message;
        QCOMPARE(m_list->topics(), row.order);
        QCOMPARE(Row::of(m_list->rowWidget(topic)->row()),
                 (Row{before.title, before.members,
                      shown(taken                   ? time
                            : before.time.isEmpty() ? 0
                                                    : at(11)),
                      preview, "3"}));
        QVERIFY(preview != content || row.contentType == ContentTypeText);
    }
};

QTEST_MAIN(TestChatRoomList)
#include "tst_chatroomlist.moc"
