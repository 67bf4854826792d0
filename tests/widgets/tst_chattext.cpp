#include "resources/mtresources.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtfilesize.h"
#include "widgets/mttexthighlighter.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTranslator>
#include <QtTest>

// The texts of the conversation apart from the items: the message as rich text, time and date
// labels, read counts, file sizes and the search highlighting.
class TestChatText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void richText();
    void tagsAndReadCounts();
    void timeAndDateText();
    void fileSizeText();
    void highlighter();
};

void TestChatText::initTestCase()
{
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

// Web addresses are linked (without a trailing "/"), everything else is escaped and shown as
// typed.
void TestChatText::richText()
{
    const QString a = QStringLiteral("<a href=\"%1\">%1</a>");
    const std::pair<QString, QString> rows[] = {
        {"see http://example.com/", "<div>see " + a.arg("http://example.com") + "/ </div>"},
        {"a.com and www.b.org/x or Http://c.net", "<div>" + a.arg("a.com") + " and " +
                                                      a.arg("www.b.org/x") + " or " +
                                                      a.arg("Http://c.net") + " </div>"},
        {"<b>bold</b>", "<div>&lt;b&gt;bold&lt;/b&gt; </div>"},
        {"&lt; & co", "<div>&amp;lt; &amp; co </div>"},
        {"https://e.org/p?q=1&x=2", "<div>" + a.arg("https://e.org/p?q=1&amp;x=2") + " </div>"},
        {"<https://e.org>", "<div>&lt;" + a.arg("https://e.org") + "&gt; </div>"},
        {"http://10.0.0.1:8080/x", "<div>" + a.arg("http://10.0.0.1:8080/x") + " </div>"},
        {"notes.txt", "<div>notes.txt </div>"},
        {"one\ntwo www.x.kr\n", "<div>one <br>two " + a.arg("www.x.kr") + " <br> </div>"}};
    for (const auto& [content, html] : rows)
        QCOMPARE(MtChatText::ahrefMessage(content), html);
}

void TestChatText::tagsAndReadCounts()
{
    const QString typed = QStringLiteral("<b>bold</b> <script>x</script> <a href=\"y\">z</a>");
    MtChatTextBrowser browser;
    browser.setMessage(typed);
    QCOMPARE(browser.toPlainText().trimmed(), typed);
    QCOMPARE(MtChatText::readCountLink(QStringLiteral("msg-7"), 3),
             QStringLiteral("<a href=\"msg-7\" style=\"text-decoration: none; color : "
                            "rgb(38,38,38);\">3 Read</a>"));
    QCOMPARE(MtChatText::readCountText(12), QStringLiteral("12 Read"));
}

void TestChatText::timeAndDateText()
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(MtChatText::timeText(QTime(14, 7), english), QStringLiteral("02:07 pm"));
    QCOMPARE(MtChatText::timeText(QTime(9, 30), english), QStringLiteral("09:30 am"));
    QCOMPARE(MtChatText::dateText(QDate(2024, 3, 5), english),
             QStringLiteral(" 2024-3-5 Tuesday "));
    QCOMPARE(MtChatText::dateText(QDate(2023, 12, 31), english),
             QStringLiteral(" 2023-12-31 Sunday "));
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/lang_ko.qm")));
    QCoreApplication::installTranslator(&translator);
    const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
    QCOMPARE(MtChatText::timeText(QTime(14, 7), korean), QStringLiteral("오후 02:07"));
    QCOMPARE(MtChatText::dateText(QDate(2024, 3, 5), korean),
             QStringLiteral(" 2024년 3월 5일 화요일 "));
    QCoreApplication::removeTranslator(&translator);
}

// Bytes and the text shown for them, rounded up to whole kilobytes.
void TestChatText::fileSizeText()
{
    const QString rows = QStringLiteral("0:0KB 1:1KB 1024:1KB 1025:2KB 1048575:1,024KB 1048576:1MB "
                                        "1073741823:1024MB 1073741824:1.00GB "
                                        "1099511627776:1.000TB -5:0KB");
    for (const QString& row : rows.split(QLatin1Char(' ')))
        QCOMPARE(mtFileSizeText(row.section(':', 0, 0).toLongLong()), row.section(':', 1));
}

// Every match is marked, with nothing left behind when the search is cleared; a search that is
// no valid expression marks nothing.
void TestChatText::highlighter()
{
    const std::tuple<QString, QString, int> rows[] = {{"cat and cat", "cat", 2},
                                                      {"a.b axb", "a.b", 2},
                                                      {"anything", "", 0},
                                                      {"a(b", "(", 0},
                                                      {"회의 시간 회의", "회의", 2}};
    for (const auto& [text, search, ranges] : rows) {
        QTextDocument document(text);
        MtTextHighlighter highlighter(&document);
        highlighter.setSearchText(search);
        QCOMPARE(document.firstBlock().layout()->formats().size(), ranges);
        highlighter.setSearchText(QString());
        QCOMPARE(document.firstBlock().layout()->formats().size(), 0);
    }
}

QTEST_MAIN(TestChatText)
#include "tst_chattext.moc"
