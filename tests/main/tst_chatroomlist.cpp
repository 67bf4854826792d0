// The room list on a real store: order, one row per room, updates, search, keys and pictures.
#include "chatroomrowprint.h"
#include "main/chatroomitem.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "net/filemanager.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"

#include "common/testenv.h"
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

// The user is 1. Rooms: chat/1 with Kim (two chats sharing the newest time, so the room-list
// statement yields it twice), chat/2 with Kim and Lee, chat/3 with Lee and no chat yet, chat/4
// of the group Sales, chat/5 with a Korean name.
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

DBChat chat(const QString& topic, qint64 time, const QString& text)
{
    DBChat chat;
    chat.setTopic(topic);
    chat.setMsgType(MsgTypeChat);
    chat.setContent(ContentTypeText, text);
    chat.setSenderId(2);
    chat.setMsgTime(time);
    return chat;
}

// The texts of the visible rows, from the top down.
QList<ChatRoomRow> shownRows(ChatRoomList& list)
{
    list.ensureRowWidgets();
    QList<ChatRoomRow> rows;
    for (const QString& topic : list.visibleTopics()) {
        ChatRoomRow missing;
        missing.title = topic + QStringLiteral(" has no widget");
        rows.append(list.rowWidget(topic) ? list.rowWidget(topic)->row() : missing);
    }
    return rows;
}

} // namespace

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

    // Newest activity first, each room once although the statement lists chat/1 twice.
    void fill()
    {
        unreadCounts().set(QStringLiteral("chat/2"), 4);
        fillList();
        const QList<ChatRoomRow> expected{{"Sales", "", "Jan 2 12:00 PM", "hi", ""},
                                          {"Kim (HR)", "2", "Jan 2 11:00 AM", "hi", ""},
                                          {"Kim (HR), Lee", "3", "Jan 2 10:00 AM", "hi", "4"},
                                          {"Lee", "2", "Jan 2 9:00 AM", "", ""},
                                          {"박영희", "2", "Jan 2 7:00 AM", "", ""}};
        QCOMPARE(shownRows(*m_list), expected);
        QCOMPARE(m_list->count(), 5);
    }

    void newChat_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<int>("unread");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<ChatRoomRow>("row");
        QTest::newRow("newer chat moves its room to the top")
            << "chat/2" << at(13) << 1
            << QStringList{"chat/2", "chat/4", "chat/1", "chat/3", "chat/5"}
            << ChatRoomRow{"Kim (HR), Lee", "3", "Jan 2 1:00 PM", "news", "1"};
        QTest::newRow("newer chat passes only older rooms")
            << "chat/3" << at(11, 30) << 2
            << QStringList{"chat/4", "chat/3", "chat/1", "chat/2", "chat/5"}
            << ChatRoomRow{"Lee", "2", "Jan 2 11:30 AM", "news", "2"};
        QTest::newRow("older chat raises only the badge")
            << "chat/1" << at(10, 30) << 3
            << QStringList{"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"}
            << ChatRoomRow{"Kim (HR)", "2", "Jan 2 11:00 AM", "hi", "3"};
        QTest::newRow("equal time is taken, the room stays")
            << "chat/1" << at(11) << 1
            << QStringList{"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"}
            << ChatRoomRow{"Kim (HR)", "2", "Jan 2 11:00 AM", "news", "1"};
    }

    void newChat()
    {
        QFETCH(QString, topic);
        QFETCH(qint64, time);
        QFETCH(int, unread);
        QFETCH(QStringList, order);
        QFETCH(ChatRoomRow, row);
        fillList();
        unreadCounts().set(topic, unread);
        m_list->updateLastMessage(chat(topic, time, QStringLiteral("news")));
        m_list->ensureRowWidgets();
        QCOMPARE(m_list->topics(), order);
        QCOMPARE(m_list->rowWidget(topic)->row(), row);
    }

    // A chat of a room that is not listed changes nothing.
    void chatOfUnknownRoom()
    {
        fillList();
        const QStringList before = m_list->topics();
        m_list->updateLastMessage(chat(QStringLiteral("chat/99"), at(20), QStringLiteral("x")));
        QCOMPARE(m_list->topics(), before);
    }

    // A room is listed once however it is added; rows are found, updated and removed by topic.
    void oneRowPerRoom()
    {
        fillList();
        DBChatRoom room;
        QVERIFY(m_store->db().findChatRoom(QStringLiteral("chat/3"), room));
        m_list->addChatRoom(room, true);
        DBChatRoom fresh(&m_store->db());
        fresh.setTopic(QStringLiteral("chat/6"));
        fresh.setType(RoomType1VS1);
        fresh.setMembers(QStringLiteral("3"));
        m_list->addChatRoom(fresh, true);
        m_list->deleteChatRoom(QStringLiteral("chat/2"));
        QCOMPARE(m_list->topics(), (QStringList{"chat/6", "chat/4", "chat/1", "chat/3", "chat/5"}));
        QCOMPARE(m_list->containsTopic(QStringLiteral("chat/2")), false);
        const auto* kim = static_cast<ChatRoomListWidgetItem*>(m_list->findOneToOneItem(2));
        const auto* lee = static_cast<ChatRoomListWidgetItem*>(m_list->findOneToOneItem(3));
        QCOMPARE(kim->topic(), QStringLiteral("chat/1"));
        QCOMPARE(lee->topic(), QStringLiteral("chat/6"));
        QCOMPARE(m_list->findOneToOneItem(77), nullptr);
    }

    // The row the user stands on stays the current one when its room moves up.
    void currentRowFollowsItsRoom()
    {
        fillList();
        m_list->setCurrentItem(m_list->chatRoomItem(QStringLiteral("chat/3")));
        m_list->updateLastMessage(chat(QStringLiteral("chat/3"), at(13), QStringLiteral("up")));
        QCOMPARE(m_list->currentRow(), 0);
        QCOMPARE(static_cast<ChatRoomListWidgetItem*>(m_list->currentItem())->topic(),
                 QStringLiteral("chat/3"));
    }

    // New members rename the room and count again; the row keeps its place and message.
    void roomUpdatedInPlace()
    {
        fillList();
        DBChatRoom room;
        QVERIFY(m_store->db().findChatRoom(QStringLiteral("chat/3"), room));
        room.setType(RoomType1VSN);
        room.setMembers(QStringLiteral("3,4"));
        m_list->updateChatRoomItem(room);
        m_list->ensureRowWidgets();
        QCOMPARE(m_list->topics(), (QStringList{"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"}));
        QCOMPARE(m_list->rowWidget(QStringLiteral("chat/3"))->row(),
                 (ChatRoomRow{"Lee, 박영희", "3", "Jan 2 9:00 AM", "", ""}));
    }

    // Log off empties the list; the rooms come back with the next fill.
    void clearedAndFilledAgain()
    {
        fillList();
        m_list->clearChatRooms();
        QCOMPARE(m_list->topics(), QStringList());
        QCOMPARE(m_list->containsTopic(QStringLiteral("chat/1")), false);
        fillList();
        QCOMPARE(m_list->topics(), (QStringList{"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"}));
    }

    // The matching rules are the filter's (tst_chatroomrowtext); here the list hides and shows
    // its rows by them.
    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("visible");
        QTest::newRow("any case") << "kim" << QStringList{"chat/1", "chat/2"};
        QTest::newRow("nothing matches") << "*" << QStringList{};
        QTest::newRow("empty shows all")
            << "" << QStringList{"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"};
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, visible);
        fillList();
        m_list->filterChatRooms(text);
        QCOMPARE(m_list->visibleTopics(), visible);
        QCOMPARE(shownRows(*m_list).size(), visible.size());
    }

    // A room added while a search is up follows the search.
    void searchCoversNewRooms()
    {
        fillList();
        m_list->filterChatRooms(QStringLiteral("lee"));
        DBChatRoom room(&m_store->db());
        room.setTopic(QStringLiteral("chat/6"));
        room.setType(RoomType1VS1);
        room.setMembers(QStringLiteral("4"));
        m_list->addChatRoom(room, true);
        QCOMPARE(m_list->visibleTopics(), (QStringList{"chat/2", "chat/3"}));
    }

    // Return or Enter opens the current row; without one nothing is reported.
    void keys()
    {
        fillList();
        QSignalSpy selected(m_list.get(), &ChatRoomList::selectedItemWidget);
        m_list->setCurrentItem(nullptr);
        QTest::keyClick(m_list.get(), Qt::Key_Return);
        m_list->setCurrentRow(2);
        QTest::keyClick(m_list.get(), Qt::Key_Enter);
        m_list->setCurrentRow(1);
        QTest::keyClick(m_list.get(), Qt::Key_Return);
        QCOMPARE(selected.count(), 2);
        QCOMPARE(selected.at(0).at(0).value<QListWidgetItem*>(), m_list->item(2));
        QCOMPARE(selected.at(1).at(0).value<QListWidgetItem*>(), m_list->item(1));
    }

    // Return on a row the search has hidden opens nothing; the next visible row still opens.
    void returnOnHiddenRow()
    {
        fillList();
        QSignalSpy selected(m_list.get(), &ChatRoomList::selectedItemWidget);
        m_list->setCurrentRow(1);
        m_list->filterChatRooms(QStringLiteral("lee"));
        QTest::keyClick(m_list.get(), Qt::Key_Return);
        m_list->setCurrentRow(m_list->topics().indexOf(QStringLiteral("chat/3")));
        QTest::keyClick(m_list.get(), Qt::Key_Return);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.at(0).at(0).value<QListWidgetItem*>(),
                 m_list->item(m_list->topics().indexOf(QStringLiteral("chat/3"))));
    }

    // A click on a row's picture names its one other member; rooms of several members say
    // nothing.
    void memberIcon()
    {
        fillList();
        QSignalSpy clicked(m_list.get(), &ChatRoomList::clickedMemberIcon);
        for (const char* topic : {"chat/2", "chat/4", "chat/3"})
            m_list->rowWidget(QLatin1String(topic))
                ->findChild<QToolButton*>(QStringLiteral("iconButton"))
                ->click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 3);
    }

    // A thousand rooms fill with widgets only around the viewport; scrolling brings them along.
    void widgetsNearTheViewport()
    {
        QList<DBChatRoom> rooms;
        for (int i = 0; i < 1000; ++i) {
            DBChatRoom room;
            room.setTopic(QStringLiteral("chat/%1").arg(1000 + i));
            room.setType(RoomType1VSN);
            room.setRoomName(QStringLiteral("room %1").arg(i));
            room.setUpdateDate(at(12) - i);
            rooms.append(room);
        }
        m_list->setChatRooms(rooms);
        m_list->ensureRowWidgets();
        const int widgets = m_list->findChildren<ChatRoomItem*>().size();
        QVERIFY2(widgets > 0 && widgets <= 40, qPrintable(QString::number(widgets)));
        QVERIFY(m_list->rowWidget(QStringLiteral("chat/1000")));
        QCOMPARE(m_list->rowWidget(QStringLiteral("chat/1999")), nullptr);
        m_list->scrollToBottom();
        QTRY_VERIFY(m_list->rowWidget(QStringLiteral("chat/1999")));
        QCOMPARE(m_list->rowWidget(QStringLiteral("chat/1000")), nullptr);
        QCOMPARE(m_list->rowWidget(QStringLiteral("chat/1999"))->row().title,
                 QStringLiteral("room 999"));
    }

    // Answers for one picture are gathered: only the rows showing it are composed again, once.
    void picturesRebuiltByUrl()
    {
        QVERIFY(m_store->exec(
            QStringLiteral("UPDATE TTT_USER SET thumb_url = '/u/' || user_id || '.png'")));
        fillList();
        const int before = m_list->picturesComposed();
        const qint64 leeKey = m_list->chatRoomItem(QStringLiteral("chat/3"))->picture().cacheKey();
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(FileManager::cacheFilePath(QStringLiteral("/u/2.png")), "PNG"));
        for (int i = 0; i < 5; ++i)
            m_list->pictureArrived(QStringLiteral("/u/2.png"));
        // chat/1 (Kim) and chat/2 (Kim and Lee) show Kim.
        QTRY_COMPARE(m_list->picturesComposed(), before + 2);
        // The sentinel: one more answer for the Korean member's room only.
        m_list->pictureArrived(QStringLiteral("/u/4.png"));
        QTRY_COMPARE(m_list->picturesComposed(), before + 3);
        const QImage kim = m_list->chatRoomItem(QStringLiteral("chat/1"))->picture().toImage();
        QCOMPARE(kim.pixelColor(kim.width() / 2, kim.height() / 2), QColor(Qt::red));
        QCOMPARE(m_list->chatRoomItem(QStringLiteral("chat/3"))->picture().cacheKey(), leeKey);
    }
};

QTEST_MAIN(TestChatRoomList)
#include "tst_chatroomlist.moc"
