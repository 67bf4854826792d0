// The room list: the search rules, and the list on a real store.
#include "main/chatroomfilter.h"
#include "main/chatroomitem.h"
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "main/chatroomrowtext.h"
#include "net/filemanager.h"
#include "net/netdecodedpictures.h"
#include "net/netservermanager.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "store/unreadcounts.h"

#include "common/testenv.h"
#include "common/typed.h"
#include "store/storefixture.h"

#include <QDir>
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

// A search text, a room name, and what the search makes of them.
struct Search
{
    QString pattern, name;
    bool matches = false, expression = false;
    MT_TYPED(Search, pattern, name, matches, expression)
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

// A late text chat, its room's place after it, and the time and text its row shows then.
struct NewChat
{
    QString topic;
    qint64 time = 0;
    QString text;
    int place = 0;
    qint64 shownTime = 0;
    QString shownText;
};

// The topics of the rows the viewport shows (a part of one counts), from the top down.
QStringList inView(const ChatRoomList& list)
{
    QStringList out;
    for (const QString& topic : list.topics()) {
        if (list.visualItemRect(list.chatRoomItem(topic)).intersects(list.viewport()->rect()))
            out << topic;
    }
    return out;
}

// The topics of the rows that have a widget, from the top down.
QStringList withWidget(const ChatRoomList& list)
{
    QStringList out;
    for (const QString& topic : list.topics()) {
        if (list.rowWidget(topic))
            out << topic;
    }
    return out;
}
// The rows with a widget at the first paint of the list's viewport once it lists a room.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(ChatRoomList* list) : m_list(list)
    {
        list->viewport()->installEventFilter(this);
    }
    bool seen = false;
    QStringList withWidget;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (!seen && event->type() == QEvent::Paint && m_list->count() > 0) {
            seen = true;
            withWidget = ::withWidget(*m_list);
        }
        return false;
    }

private:
    ChatRoomList* m_list;
};

// At the list's first paint a picture that its rows show comes, while the list's viewport is
// painted or once a row is (the viewport before its rows); records the rows with a widget at the
// first paint that shows it.
class PictureAtFirstPaint : public QObject
{
public:
    PictureAtFirstPaint(ChatRoomList* list, const QString& url, bool atRow)
        : m_list(list), m_url(url), m_atRow(atRow)
    {
        qApp->installEventFilter(this);
    }
    bool shown = false;
    QStringList withWidget;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (shown || event->type() != QEvent::Paint || m_list->count() == 0)
            return false;
        const bool viewport = watched == m_list->viewport();
        const bool row = qobject_cast<ChatRoomItem*>(watched) != nullptr;
        if (!m_sent && (m_atRow ? row : viewport)) {
            m_sent = true;
            QPixmap picture(8, 8);
            picture.fill(Qt::red);
            picture.save(FileManager::cacheFilePath(m_url), "PNG");
            m_list->pictureArrived(m_url);
        } else if (m_sent && viewport && m_list->rowsInViewPictured()) {
            shown = true;
            withWidget = ::withWidget(*m_list);
        }
        return false;
    }

private:
    ChatRoomList* m_list;
    QString m_url;
    bool m_atRow;
    bool m_sent = false;
};
} // namespace

Q_DECLARE_METATYPE(Search)
Q_DECLARE_METATYPE(NewChat)

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

    // The list as a page of `window`, 100 pixels high: a page is painted on the window's next
    // update, without waiting for the display as a window of its own does. False when the
    // window was not exposed.
    bool showAsPage(QWidget& window, bool listShown)
    {
        window.resize(360, 100);
        m_list->setParent(&window);
        m_list->setGeometry(0, 0, 360, 100);
        m_list->setVisible(listShown);
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
    // Twenty rooms older than the others, enough for rows below the view and near it, added to
    // the store and listed. False when the store did not list them.
    bool listOlderRooms()
    {
        for (int i = 10; i < 30; ++i)
            m_store->addRoom(QStringLiteral("chat/%1").arg(i), RoomType1VS1, QStringLiteral("2"),
                             at(6));
        QList<DBChatRoom> rooms;
        if (m_store->db().chatRoomList(rooms) <= 20)
            return false;
        m_list->setChatRooms(rooms);
        return true;
    }

private slots:
    void initTestCase()
    {
        m_env.applyToCurrentProcess();
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

    // An expression when it is one, else found literally (a row per kind of non-expression).
    void filter_data()
    {
        QTest::addColumn<Search>("search");
        QTest::newRow("dot matches any character, any case") << Search{"A.C", "xabcx", true, true};
        QTest::newRow("leading star not in the name") << Search{"*2", "Room 22", false, false};
        QTest::newRow("lone parenthesis, any case") << Search{"(EAST", "Team (east)", true, false};
        QTest::newRow("empty shows all") << Search{"", "anything", true, true};
    }
    void filter()
    {
        QFETCH(Search, search);
        const ChatRoomFilter filter(search.pattern);
        QCOMPARE((Search{search.pattern, search.name, filter.matches(search.name),
                         filter.isExpression()}),
                 search);
    }

    // Newest activity first, each room once although the statement lists chat/1 twice.
    void fill()
    {
        fillList();
        QCOMPARE(m_list->visibleTopics(),
                 QStringList({"chat/4", "chat/1", "chat/2", "chat/3", "chat/5"}));
        QCOMPARE(m_list->count(), 5);
    }

    // The rows made ahead of a login are shown once rooms take them, and only then: one left in
    // view covered the first room.
    void rowsMadeAheadShownWhenTaken()
    {
        m_list->prepareRows();
        fillList();
        int visible = 0;
        for (const ChatRoomItem* row : m_list->viewport()->findChildren<ChatRoomItem*>())
            visible += row->isVisibleTo(m_list->viewport());
        QCOMPARE(visible, withWidget(*m_list).size());
    }

    // A login may read its room list before the list takes the session: the engine hears while
    // the login page waits how many rows are in view, whose pictures it asks for first.
    void rowsInViewToldAhead()
    {
        NetServerManager net(QStringLiteral("localhost"));
        m_list->prepareRows(&net);
        QCOMPARE(net.roomsShownAtOnce(),
                 int(m_list->viewport()->findChildren<ChatRoomItem*>().size()));
    }

    // Rows painted without their widgets show blank: the first paint of a new list already has
    // the widgets of the rows in view, and only theirs, whether the list was shown before the
    // rooms were set or after. After that paint every row within one view's height below the
    // view gets its widget, however many turns of the event loop that takes.
    void rowsInViewAtTheFirstPaint_data()
    {
        QTest::addColumn<bool>("shownFirst");
        QTest::newRow("rooms set in a shown list") << true;
        QTest::newRow("list shown after the rooms") << false;
    }
    void rowsInViewAtTheFirstPaint()
    {
        QFETCH(bool, shownFirst);
        QWidget window;
        const auto giveBack = qScopeGuard([this] { m_list->setParent(nullptr); });
        QVERIFY(showAsPage(window, shownFirst));
        FirstPaint paint(m_list.get());
        QVERIFY(listOlderRooms());
        m_list->show();
        QTRY_VERIFY(paint.seen);
        QCOMPARE(paint.withWidget, inView(*m_list));
        QTRY_COMPARE(withWidget(*m_list), m_list->topics().mid(0, 2 * paint.withWidget.size()));
    }

    // A picture of the rows in view that comes before the rows near the view are made is on the
    // screen first: those rows wait for the paint that shows it, whether they were due before it
    // came (asked for by the paint of the viewport, which comes before its rows' paint) or after.
    void pictureShownBeforeRowsNearTheView_data()
    {
        QTest::addColumn<bool>("atRow");
        QTest::newRow("picture before the rows near the view are due") << false;
        QTest::newRow("picture once they are due") << true;
    }
    void pictureShownBeforeRowsNearTheView()
    {
        QFETCH(bool, atRow);
        QVERIFY(m_store->exec("UPDATE TTT_USER SET thumb_url = '/pictures/near' || user_id"));
        QWidget window;
        const auto giveBack = qScopeGuard([this] { m_list->setParent(nullptr); });
        QVERIFY(showAsPage(window, true));
        const QString url = QStringLiteral("/pictures/near2");
        QFile::remove(FileManager::cacheFilePath(url));
        PictureAtFirstPaint paint(m_list.get(), url, atRow);
        QVERIFY(listOlderRooms());
        QTRY_VERIFY(paint.shown);
        QCOMPARE(paint.withWidget, inView(*m_list));
    }

    // A row's picture is whole once every picture it shows is in the cache, and not before; one
    // the engine decoded as it came is taken from it, not read again.
    void picturesArrive()
    {
        QVERIFY(m_store->exec("UPDATE TTT_USER SET thumb_url = '/pictures/u' || user_id"));
        QVERIFY(m_store->exec("UPDATE TTT_GROUP SET thumb_url = '/pictures/g' || group_id"));
        fillList();
        const bool before = m_list->rowsInViewPictured();
        QPixmap picture(8, 8);
        picture.fill(Qt::red);
        const QString decoded = FileManager::cacheFilePath(QStringLiteral("/pictures/u2"));
        for (const QString& url :
             QStringList{"/pictures/u2", "/pictures/u3", "/pictures/u4", "/pictures/g77"}) {
            QVERIFY(picture.save(FileManager::cacheFilePath(url), "PNG"));
            m_list->pictureArrived(url);
        }
        NetDecodedPictures::put(decoded, TestEnv::contents(decoded));
        QTRY_VERIFY(m_list->rowsInViewPictured());
        QCOMPARE(before, false);
        QCOMPARE(NetDecodedPictures::take(decoded), QImage());
    }

    // A newer chat lifts its room past older ones and shows its text; an older one, the badge.
    void newChat_data()
    {
        QTest::addColumn<NewChat>("row");
        QTest::newRow("newer passes only older rooms")
            << NewChat{"chat/3", at(11, 30), "new", 1, at(11, 30), "new"};
        QTest::newRow("same time is taken") << NewChat{"chat/1", at(11), "same", 1, at(11), "same"};
        QTest::newRow("older raises only the badge")
            << NewChat{"chat/1", at(10, 30), "old", 1, at(11), "hi"};
    }
    void newChat()
    {
        QFETCH(NewChat, row);
        fillList();
        const Row before = Row::of(m_list->rowWidget(row.topic)->row());
        unreadCounts().set(row.topic, 3);
        DBChat arrived;
        arrived.setTopic(row.topic);
        arrived.setMsgType(MsgTypeChat);
        arrived.setContent(ContentTypeText, row.text);
        arrived.setMsgTime(row.time);
        m_list->updateLastMessage(arrived);
        m_list->ensureRowWidgets();
        QCOMPARE(m_list->topics().indexOf(row.topic), row.place);
        QCOMPARE(Row::of(m_list->rowWidget(row.topic)->row()),
                 (Row{before.title, before.members, shown(row.shownTime), row.shownText, "3"}));
    }
};

QTEST_MAIN(TestChatRoomList)
#include "tst_chatroomlist.moc"
