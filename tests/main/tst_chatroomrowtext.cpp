// The texts of a room list row, the room list's search and the room picture, without a list.
#include "chatroomrowprint.h"
#include "main/chatroomfilter.h"
#include "main/chatroomrowtext.h"
#include "resources/mtresources.h"
#include "store/dbmanager.h"
#include "store/dbtypes.h"
#include "widgets/mtroompicture.h"

#include "store/logcapture.h"
#include "store/storefixture.h"

#include <QImage>
#include <QPainter>
#include <QTranslator>
#include <QtTest>

namespace {

struct RoomRow
{
    int type;
    QString members;
    QString name;
    QString lastText;
    qint64 lastTime;
    qint64 updateDate;
    int unread;
};

ChatRoomRowState state(const RoomRow& row)
{
    DBChatRoom room;
    room.setTopic(QStringLiteral("chat/1"));
    room.setType(row.type);
    room.setMembers(row.members);
    room.setRoomName(row.name);
    room.setUpdateDate(row.updateDate);
    ChatRoomRowState state;
    state.room = room;
    state.lastText = row.lastText;
    state.lastTime = row.lastTime;
    state.unread = row.unread;
    return state;
}

// 6 December 2026, 20:39 UTC: the "now" of every row.
const QDateTime kNow(QDate(2026, 12, 6), QTime(20, 39), Qt::UTC);

qint64 at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), Qt::UTC).toMSecsSinceEpoch();
}

// Four corners of a 48 x 48 mosaic, inside the circle: top-left, top-right, bottom-left and
// bottom-right tiles.
struct Quadrants
{
    QColor topLeft, topRight, bottomLeft, bottomRight;
    bool operator==(const Quadrants& o) const
    {
        return topLeft == o.topLeft && topRight == o.topRight && bottomLeft == o.bottomLeft &&
               bottomRight == o.bottomRight;
    }
};

} // namespace

Q_DECLARE_METATYPE(RoomRow)
Q_DECLARE_METATYPE(Quadrants)

namespace QTest {
template <>
char* toString(const Quadrants& q)
{
    return qstrdup(
        QStringLiteral("tl=%1 tr=%2 bl=%3 br=%4")
            .arg(q.topLeft.name(), q.topRight.name(), q.bottomLeft.name(), q.bottomRight.name())
            .toUtf8()
            .constData());
}
} // namespace QTest

class TestChatRoomRowText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        mtInitResources();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void rowTexts_data()
    {
        QTest::addColumn<RoomRow>("room");
        QTest::addColumn<ChatRoomRow>("expected");
        const qint64 today = at(6, 19, 5);
        const qint64 lastWeek = at(1, 9, 30);
        QTest::newRow("one-to-one, message today")
            << RoomRow{RoomType1VS1, "2", "Kim", "hello", today, lastWeek, 0}
            << ChatRoomRow{"Kim", "2", "7:05 PM", "hello", ""};
        QTest::newRow("message of another day shows month and day")
            << RoomRow{RoomType1VS1, "2", "Kim", "old", lastWeek, 0, 1}
            << ChatRoomRow{"Kim", "2", "Dec 1 9:30 AM", "old", "1"};
        QTest::newRow("no message: the room's update time")
            << RoomRow{RoomType1VSN, "2,3", "Kim, Lee", "", 0, at(5, 23, 59), 0}
            << ChatRoomRow{"Kim, Lee", "3", "Dec 5 11:59 PM", "", ""};
        QTest::newRow("neither message nor update time: no time")
            << RoomRow{RoomType1VSN, "2,3", "Kim, Lee", "", 0, 0, 0}
            << ChatRoomRow{"Kim, Lee", "3", "", "", ""};
        QTest::newRow("group room never counts members")
            << RoomRow{RoomTypeGroup, "77", "Sales", "hi", today, 0, 5}
            << ChatRoomRow{"Sales", "", "7:05 PM", "hi", "5"};
        QTest::newRow("group chat everybody left")
            << RoomRow{RoomType1VSN, "", "", "bye", today, 0, 0}
            << ChatRoomRow{"No member", "", "7:05 PM", "bye", ""};
        QTest::newRow("one-to-one without a name is no group chat")
            << RoomRow{RoomType1VS1, "", "", "", 0, 0, 0} << ChatRoomRow{"", "", "", "", ""};
        QTest::newRow("six members and the user")
            << RoomRow{RoomType1VSN, "2,3,4,5,6,7", "A, B, C, D, E, F", "x", today, 0, 0}
            << ChatRoomRow{"A, B, C, D, E, F", "7", "7:05 PM", "x", ""};
        QTest::newRow("empty parts of the members are no members")
            << RoomRow{RoomType1VSN, ",2,,3,", "Kim, Lee", "x", today, 0, 0}
            << ChatRoomRow{"Kim, Lee", "3", "7:05 PM", "x", ""};
        QTest::newRow("badge 999 shows the number")
            << RoomRow{RoomType1VS1, "2", "Kim", "x", today, 0, 999}
            << ChatRoomRow{"Kim", "2", "7:05 PM", "x", "999"};
        QTest::newRow("badge above 999") << RoomRow{RoomType1VS1, "2", "Kim", "x", today, 0, 1000}
                                         << ChatRoomRow{"Kim", "2", "7:05 PM", "x", "+999"};
        QTest::newRow("badge below 1 is hidden")
            << RoomRow{RoomType1VS1, "2", "Kim", "x", today, 0, -3}
            << ChatRoomRow{"Kim", "2", "7:05 PM", "x", ""};
        QTest::newRow("left one-to-one keeps its name")
            << RoomRow{RoomTypeLeave, "2", "Kim", "x", today, 0, 0}
            << ChatRoomRow{"Kim", "2", "7:05 PM", "x", ""};
    }

    void rowTexts()
    {
        QFETCH(RoomRow, room);
        QFETCH(ChatRoomRow, expected);
        QCOMPARE(ChatRoomRowText::describe(state(room), kNow, QLocale()), expected);
    }

    // Korean times with the program's Korean catalogue: the month and day words are translated.
    void koreanTimes_data()
    {
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("today afternoon") << at(6, 19, 5) << QStringLiteral("오후 07:05");
        QTest::newRow("today morning") << at(6, 0, 1) << QStringLiteral("오전 12:01");
        QTest::newRow("another day") << at(1, 9, 30) << QStringLiteral("12월 1일 오전 09:30");
        QTest::newRow("no time") << qint64(0) << QString();
    }

    void koreanTimes()
    {
        QFETCH(qint64, time);
        QFETCH(QString, expected);
        QTranslator korean;
        QVERIFY(korean.load(QStringLiteral(":/lang_ko.qm")));
        QVERIFY(QCoreApplication::installTranslator(&korean));
        const QString text =
            ChatRoomRowText::timeText(time, kNow, QLocale(QLocale::Korean, QLocale::SouthKorea));
        QCoreApplication::removeTranslator(&korean);
        QCOMPARE(text, expected);
    }

    // An older message never replaces a newer one; an equal time is taken.
    void takeMessage_data()
    {
        QTest::addColumn<qint64>("shownTime");
        QTest::addColumn<qint64>("msgTime");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("warnings");
        QTest::newRow("newer") << qint64(100) << qint64(101) << true << "new" << 0;
        QTest::newRow("equal") << qint64(100) << qint64(100) << true << "new" << 0;
        QTest::newRow("older") << qint64(100) << qint64(99) << false << "shown" << 1;
        QTest::newRow("first message") << qint64(0) << qint64(5) << true << "new" << 0;
    }

    void takeMessage()
    {
        QFETCH(qint64, shownTime);
        QFETCH(qint64, msgTime);
        QFETCH(bool, taken);
        QFETCH(QString, text);
        QFETCH(int, warnings);
        LogCapture log;
        log.clear();
        ChatRoomRowState row;
        row.lastText = QStringLiteral("shown");
        row.lastTime = shownTime;
        QCOMPARE(row.takeMessage(QStringLiteral("new"), msgTime), taken);
        QCOMPARE(log.lines(QStringLiteral("earlier than here, skipp!!!")).size(), warnings);
        QCOMPARE(row.lastText, text);
        QCOMPARE(row.lastTime, qMax(shownTime, msgTime));
    }

    void search_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<bool>("expression");
        QTest::newRow("dot matches any character") << "a.c"
                                                   << "abc" << true << true;
        QTest::newRow("any case") << "A.C"
                                  << "xabcx" << true << true;
        QTest::newRow("anchored") << "^sal"
                                  << "Sales" << true << true;
        QTest::newRow("anchored elsewhere") << "^ales"
                                            << "Sales" << false << true;
        QTest::newRow("possessive plus is an expression") << "c++"
                                                          << "Learning C++" << true << true;
        QTest::newRow("leading star found literally") << "*2"
                                                      << "Room *2" << true << false;
        QTest::newRow("leading star not in the name") << "*2"
                                                      << "Room 22" << false << false;
        QTest::newRow("lone backslash") << "\\"
                                        << "C:\\dir" << true << false;
        QTest::newRow("lone parenthesis") << "("
                                          << "Team (east)" << true << false;
        QTest::newRow("lone bracket") << "["
                                      << "abc" << false << false;
        QTest::newRow("empty shows all") << ""
                                         << "anything" << true << true;
        QTest::newRow("Korean") << "영업"
                                << "영업팀 회의" << true << true;
        QTest::newRow("Korean anchored at the end") << "회의$"
                                                    << "영업팀 회의" << true << true;
        QTest::newRow("Korean not contained") << "개발"
                                              << "영업팀" << false << true;
    }

    void search()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QFETCH(bool, expression);
        const ChatRoomFilter filter(pattern);
        QCOMPARE(filter.matches(name), matches);
        QCOMPARE(filter.isExpression(), expression);
    }

    void singleOtherMember_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("members");
        QTest::addColumn<qint64>("expected");
        const int single = RoomType1VS1;
        const int many = RoomType1VSN;
        QTest::newRow("one other") << single << "2" << qint64(2);
        QTest::newRow("the user listed too") << many << "1,2" << qint64(2);
        QTest::newRow("two others") << many << "2,3" << qint64(0);
        QTest::newRow("only the user") << many << "1" << qint64(0);
        QTest::newRow("nobody") << many << "" << qint64(0);
        QTest::newRow("a part that is no number") << many << "x,2" << qint64(2);
        QTest::newRow("a group's id is no member") << int(RoomTypeGroup) << "77" << qint64(0);
    }

    void singleOtherMember()
    {
        QFETCH(int, type);
        QFETCH(QString, members);
        QFETCH(qint64, expected);
        QCOMPARE(ChatRoomRowText::singleOtherMember(type, members, 1), expected);
    }

    void mosaic_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<Quadrants>("expected");
        const QColor r(Qt::red), g(Qt::green), b(Qt::blue), y(Qt::yellow);
        QTest::newRow("one fills the circle") << 1 << Quadrants{r, r, r, r};
        QTest::newRow("two halves") << 2 << Quadrants{r, g, r, g};
        QTest::newRow("two quarters over a half") << 3 << Quadrants{r, g, b, b};
        QTest::newRow("four quarters") << 4 << Quadrants{r, g, b, y};
        QTest::newRow("a fifth is left out") << 5 << Quadrants{r, g, b, y};
    }

    void mosaic()
    {
        QFETCH(int, pictures);
        QFETCH(Quadrants, expected);
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::black};
        QList<QPixmap> sources;
        for (int i = 0; i < pictures; ++i) {
            // Portrait pictures: a half tile must still be covered, not show a strip.
            QPixmap picture(30, 90);
            picture.fill(colours.at(i));
            sources.append(picture);
        }
        const QImage image = mtPictureMosaic(sources, QSize(48, 48)).toImage();
        QCOMPARE(image.size(), QSize(48, 48));
        const Quadrants seen{image.pixelColor(14, 14), image.pixelColor(34, 14),
                             image.pixelColor(14, 34), image.pixelColor(34, 34)};
        QCOMPARE(seen, expected);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(47, 47).alpha(), 0);
    }

    void mosaicAtDoubleDensity()
    {
        QPixmap picture(10, 10);
        picture.fill(Qt::red);
        const QPixmap mosaic = mtPictureMosaic({picture}, QSize(48, 48), 2.0);
        QCOMPARE(mosaic.size(), QSize(96, 96));
        QCOMPARE(mosaic.devicePixelRatio(), 2.0);
        QVERIFY(mtPictureMosaic({}, QSize(48, 48)).isNull());
    }

    // Which pictures a room shows, looked up in a real store.
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
        QTest::newRow("one-to-one") << int(RoomType1VS1) << "2" << QStringList{"/u/2.png"};
        QTest::newRow("only unknown members") << int(RoomType1VSN) << "98,99" << QStringList{};
    }

    void pictureSources()
    {
        QFETCH(int, type);
        QFETCH(QString, members);
        QFETCH(QStringList, urls);
        StoreFixture store;
        for (qint64 id : {1, 2, 3, 4, 5, 6})
            store.addUser(id, QStringLiteral("user%1").arg(id));
        for (qint64 id : {2, 4, 5, 6})
            QVERIFY(
                store.exec(QStringLiteral("UPDATE TTT_USER SET thumb_url = ? WHERE user_id = ?"),
                           {QStringLiteral("/u/%1.png").arg(id), id}));
        store.addGroup(77, QStringLiteral("Sales"));
        QVERIFY(store.exec(QStringLiteral("UPDATE TTT_GROUP SET thumb_url = ? WHERE group_id = 77"),
                           {QStringLiteral("/g/77.png")}));
        DBChatRoom room;
        room.setType(type);
        room.setMembers(members);
        QCOMPARE(mtRoomPictureSources(store.db(), room, 1).urls, urls);
    }

    // A URL whose file is cached shows that file, any other the default picture.
    void roomPictures()
    {
        QTemporaryDir dir;
        QImage blue(8, 8, QImage::Format_ARGB32);
        blue.fill(Qt::blue);
        const QString file = dir.filePath(QStringLiteral("blue.png"));
        QVERIFY(blue.save(file));
        const auto local = [&](const QString& url) {
            return url == QLatin1String("/cached") ? file : QString();
        };
        const QList<QPixmap> pictures =
            mtRoomPictures(MtRoomPictureSources{{QStringLiteral("/cached"), QString(),
                                                 QStringLiteral("/missing")}},
                           local);
        const QImage profile = QPixmap(QStringLiteral(":/images/profile.png")).toImage();
        QCOMPARE(pictures.size(), 3);
        QCOMPARE(pictures.at(0).toImage().pixelColor(4, 4), QColor(Qt::blue));
        QCOMPARE(pictures.at(1).toImage(), profile);
        QCOMPARE(pictures.at(2).toImage(), profile);
        QCOMPARE(mtRoomPictures(MtRoomPictureSources(), local).size(), 1);
    }
};

QTEST_MAIN(TestChatRoomRowText)
#include "tst_chatroomrowtext.moc"
