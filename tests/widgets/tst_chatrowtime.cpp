#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatrow.h"

#include <QtTest>

// The time a conversation row shows is the wall clock of the user's zone (TZ=Europe/Berlin in
// this test's environment) at the chat's instant, the same as QDateTime::toLocalTime() gives,
// on both sides of each daylight-saving change. The rows run in order, so a row's conversion
// follows the previous row's: going over a change, back, and to the change's very instant.
namespace {

struct WallClock
{
    QDate date;
    QTime time;
    int offset = 0;
    qint64 msecs = 0;

    bool operator==(const WallClock& other) const
    {
        return date == other.date && time == other.time && offset == other.offset &&
               msecs == other.msecs;
    }

    static WallClock of(const QDateTime& time)
    {
        return {time.date(), time.time(), time.offsetFromUtc(), time.toMSecsSinceEpoch()};
    }
};

qint64 utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

} // namespace

namespace QTest {
template <>
char* toString(const WallClock& clock)
{
    return qstrdup(QStringLiteral("%1 %2 offset %3 s (%4 ms since the epoch)")
                       .arg(clock.date.toString(Qt::ISODate),
                            clock.time.toString(QStringLiteral("HH:mm:ss.zzz")))
                       .arg(clock.offset)
                       .arg(clock.msecs)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestChatRowTime : public QObject
{
    Q_OBJECT
private slots:
    void localTime_data();
    void localTime();
};

void TestChatRowTime::localTime_data()
{
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<int>("zoneOffset");

    QTest::newRow("winter, a day before the spring change")
        << utc("2026-03-28T12:00:00.000Z") << 3600;
    QTest::newRow("winter, the last millisecond") << utc("2026-03-29T00:59:59.999Z") << 3600;
    QTest::newRow("summer, the change's instant") << utc("2026-03-29T01:00:00.000Z") << 7200;
    QTest::newRow("summer, an hour on") << utc("2026-03-29T02:00:00.000Z") << 7200;
    QTest::newRow("back in winter") << utc("2026-03-29T00:30:00.000Z") << 3600;
    QTest::newRow("summer, a month on") << utc("2026-04-29T10:15:30.250Z") << 7200;
    QTest::newRow("summer, the last millisecond") << utc("2026-10-25T00:59:59.999Z") << 7200;
    QTest::newRow("winter, the autumn change's instant") << utc("2026-10-25T01:00:00.000Z") << 3600;
    QTest::newRow("winter, the repeated hour") << utc("2026-10-25T01:30:00.000Z") << 3600;
    QTest::newRow("summer, the first pass of the repeated hour")
        << utc("2026-10-25T00:30:00.000Z") << 7200;
    QTest::newRow("a year earlier, summer") << utc("2025-07-01T08:00:00.000Z") << 7200;
    QTest::newRow("the epoch") << qint64(0) << 3600;
    QTest::newRow("the next spring change") << utc("2027-03-28T01:00:00.000Z") << 7200;
}

void TestChatRowTime::localTime()
{
    QFETCH(qint64, msecs);
    QFETCH(int, zoneOffset);
    DBChat chat;
    chat.setMsgTime(msecs);
    chat.setMsgType(MsgTypeChat);
    chat.setContentType(ContentTypeText);

    const MtChatRow row = MtChatRow::fromChat(chat, false);

    QCOMPARE(WallClock::of(row.time),
             WallClock::of(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime()));
    QCOMPARE(row.time.offsetFromUtc(), zoneOffset);
}

QTEST_GUILESS_MAIN(TestChatRowTime)
#include "tst_chatrowtime.moc"
