// Room pictures from the reference server: fetched once each, rows rebuilt, missing ones default.
#include "main/chatroomlist.h"
#include "main/chatroomlistwidgetitem.h"
#include "net/filemanager.h"
#include "resources/mtresources.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "widgets/mtpicture.h"
#include "widgets/mtroompicture.h"

#include "net/netfixture.h"
#include "store/storefixture.h"

#include <QDir>
#include <QtTest>

class TestChatRoomPictures : public NetFixture
{
    Q_OBJECT
private:
    // The picture a row shows for these URLs, each cached or the default.
    static QImage expected(const QStringList& urls, qreal ratio)
    {
        return mtPictureMosaic(
                   mtRoomPictures(MtRoomPictureSources{urls}, &FileManager::cachedFile, ratio),
                   QSize(48, 48), ratio)
            .toImage();
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY(start());
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
        mtInitResources();
    }

    void fetchedOnceAndShown()
    {
        const qint64 me = m_server.user(QStringLiteral("user001"))["userId"].toInt();
        const qint64 kim = m_server.user(QStringLiteral("user002"))["userId"].toInt();
        const qint64 lee = m_server.user(QStringLiteral("user003"))["userId"].toInt();
        const qint64 ghost = 999999;
        const auto url = [](qint64 id) { return QStringLiteral("/pictures/u%1_1_t.png").arg(id); };
        StoreFixture store;
        store.addUser(me, QStringLiteral("Me"));
        for (qint64 id : {kim, lee, ghost}) {
            store.addUser(id, QStringLiteral("user %1").arg(id));
            QVERIFY(
                store.exec(QStringLiteral("UPDATE TTT_USER SET thumb_url = ? WHERE user_id = ?"),
                           {url(id), id}));
        }
        store.addRoom(QStringLiteral("chat/1"), RoomType1VS1, QString::number(kim), 3);
        store.addRoom(QStringLiteral("chat/2"), RoomType1VSN,
                      QStringLiteral("%1,%2").arg(kim).arg(lee), 2);
        store.addRoom(QStringLiteral("chat/3"), RoomType1VS1, QString::number(ghost), 1);
        QList<DBChatRoom> rooms;
        QCOMPARE(store.db().chatRoomList(rooms), 3);

        const qint64 seq = m_server.lastRequestSeq();
        ChatRoomList list;
        list.setSession(&store.db(), m_net.get(), me);
        list.resize(360, 600);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setChatRooms(rooms);
        list.ensureRowWidgets();
        const qreal ratio = list.devicePixelRatioF();

        const auto paths = [&] {
            QStringList fetched;
            for (const QJsonValue& request : m_server.requests(QStringLiteral("/pictures"), seq))
                fetched << request["path"].toString();
            fetched.sort();
            return fetched;
        };
        QTRY_COMPARE_WITH_TIMEOUT(paths(), (QStringList{url(kim), url(lee), url(ghost)}), 30000);
        const auto shown = [&](const char* topic) {
            return list.chatRoomItem(QLatin1String(topic))->picture().toImage();
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown("chat/2"), expected({url(kim), url(lee)}, ratio), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(shown("chat/1"), expected({url(kim)}, ratio), 30000);
        QCOMPARE(shown("chat/3"), expected({QString()}, ratio));
        QVERIFY(shown("chat/1") != expected({QString()}, ratio));
    }
};

QTEST_MAIN(TestChatRoomPictures)
#include "tst_chatroompictures.moc"
