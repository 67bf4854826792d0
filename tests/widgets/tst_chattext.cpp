// The texts of a conversation row apart from its item: what a bubble shows of what was typed
// (web addresses linked, markup shown as typed), the row's wall-clock time, file sizes and the
// search highlighting.
#include "common/typed.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatrow.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtfilesize.h"
#include "widgets/mttexthighlighter.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

namespace {
// What a reader sees of a message: its text and the addresses its links open.
struct Shown
{
    QString text;
    QStringList links;
    MT_TYPED(Shown, text, links)
};

Shown shownIn(const QTextDocument& document)
{
    Shown shown{document.toPlainText().simplified(), {}};
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isAnchor())
                shown.links << it.fragment().charFormat().anchorHref();
        }
    }
    return shown;
}

// A wall-clock time with the zone offset and instant it stands for.
struct WallClock
{
    QString wall;
    int offset = 0;
    qint64 msecs = 0;
    MT_TYPED(WallClock, wall, offset, msecs)
};

WallClock wallClock(const QDateTime& time)
{
    return {time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), time.offsetFromUtc(),
            time.toMSecsSinceEpoch()};
}

qint64 utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs).toMSecsSinceEpoch();
}
} // namespace

class TestChatText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mtInitResources(); }
    // Web addresses are linked (without a trailing "/"); everything else is shown as typed.
    void message_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("trailing slash")
            << "see http://example.com/" << QStringList{"http://example.com"};
        QTest::newRow("bare hosts and a capital scheme")
            << "a.com and www.b.org/x or Http://c.net"
            << QStringList{"a.com", "www.b.org/x", "Http://c.net"};
        QTest::newRow("markup") << "<b>bold</b> <script>x</script> <a href=\"y\">z</a>"
                                << QStringList{};
        QTest::newRow("entities") << "&lt; & co" << QStringList{};
        QTest::newRow("query") << "https://e.org/p?q=1&x=2"
                               << QStringList{"https://e.org/p?q=1&x=2"};
        QTest::newRow("in angle brackets") << "<https://e.org>" << QStringList{"https://e.org"};
        QTest::newRow("address and port")
            << "http://10.0.0.1:8080/x" << QStringList{"http://10.0.0.1:8080/x"};
        QTest::newRow("file name") << "notes.txt" << QStringList{};
        QTest::newRow("lines") << "one\ntwo www.x.kr\n" << QStringList{"www.x.kr"};
    }

    void message()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, links);
        MtChatTextBrowser browser;
        browser.setMessage(typed);
        QCOMPARE(shownIn(*browser.document()), (Shown{typed.simplified(), links}));
    }

    // The time a row shows is the wall clock of the user's zone (TZ=Europe/Berlin in this test's
    // environment) on both sides of each daylight-saving change. The rows run in order, so a row's
    // conversion follows the previous row's: over a change, back, and to the change's very instant.
    void localTime_data()
    {
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<int>("zoneOffset");
        QTest::newRow("winter, the last millisecond") << utc("2026-03-29T00:59:59.999Z") << 3600;
        QTest::newRow("summer, the change's instant") << utc("2026-03-29T01:00:00.000Z") << 7200;
        QTest::newRow("back in winter") << utc("2026-03-29T00:30:00.000Z") << 3600;
        QTest::newRow("summer, the last millisecond") << utc("2026-10-25T00:59:59.999Z") << 7200;
        QTest::newRow("winter, the autumn change's instant")
            << utc("2026-10-25T01:00:00.000Z") << 3600;
        QTest::newRow("winter, the repeated hour") << utc("2026-10-25T01:30:00.000Z") << 3600;
        QTest::newRow("summer, the first pass of the repeated hour")
            << utc("2026-10-25T00:30:00.000Z") << 7200;
        QTest::newRow("the epoch") << qint64(0) << 3600;
    }

    void localTime()
    {
        QFETCH(qint64, msecs);
        QFETCH(int, zoneOffset);
        DBChat chat;
        chat.setMsgTime(msecs);
        chat.setMsgType(MsgTypeChat);
        chat.setContentType(ContentTypeText);
        const QDateTime shown = MtChatRow::fromChat(chat, false).time;
        QCOMPARE(wallClock(shown),
                 wallClock(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime()));
        QCOMPARE(shown.offsetFromUtc(), zoneOffset);
    }

    // Rounded up to whole kilobytes, each unit up to its last value before the next.
    void fileSizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("a byte over") << qint64(1025) << "2KB";
        QTest::newRow("last kilobytes") << qint64(1048575) << "1,024KB";
        QTest::newRow("a megabyte") << qint64(1048576) << "1MB";
        QTest::newRow("last megabytes") << qint64(1073741823) << "1024MB";
        QTest::newRow("a gigabyte") << qint64(1073741824) << "1.00GB";
        QTest::newRow("a terabyte") << qint64(1099511627776) << "1.000TB";
        QTest::newRow("negative") << qint64(-5) << "0KB";
    }

    void fileSizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(mtFileSizeText(bytes), text);
    }

    // Every match is marked, with nothing left behind when the search is cleared; a search that is
    // no valid expression marks nothing.
    void highlighter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("marked");
        QTest::newRow("twice") << "cat and cat"
                               << "cat" << 2;
        QTest::newRow("dot taken literally") << "a.b axb"
                                             << "a.b" << 2;
        QTest::newRow("empty search") << "anything"
                                      << "" << 0;
        QTest::newRow("open bracket") << "a(b"
                                      << "(" << 0;
        QTest::newRow("Korean") << "회의 시간 회의"
                                << "회의" << 2;
    }

    void highlighter()
    {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(int, marked);
        QTextDocument document(text);
        MtTextHighlighter highlighter(&document);
        const auto count = [&] { return document.firstBlock().layout()->formats().size(); };
        highlighter.setSearchText(search);
        QCOMPARE(count(), marked);
        highlighter.setSearchText(QString());
        QCOMPARE(count(), 0);
    }
};

QTEST_MAIN(TestChatText)
#include "tst_chattext.moc"
