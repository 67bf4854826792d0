// Picture fetches: the queue's order and bounds on their own, then the engine against the
// reference server over TLS: one request per address however many ask for it, every request
// answered once with its widget, and a shown picture fetched ahead of a long prefetch.
#include "netfixture.h"

#include "net/filemanager.h"
#include "net/netpicturequeue.h"

#include <QWidget>

namespace {
// One requestImage() in a row's script: the address, and whether a widget shows it.
struct Ask
{
    QString url;
    bool shown = true;
};

// One answer as the asker hears it: the signal, the address and which widget (-1: none).
struct PictureAnswer
{
    QString signal;
    QString url;
    int widget = -1;
    bool operator==(const PictureAnswer& o) const
    {
        return signal == o.signal && url == o.url && widget == o.widget;
    }
};
} // namespace

Q_DECLARE_METATYPE(QVector<Ask>)
Q_DECLARE_METATYPE(PictureAnswer)
namespace QTest {
template <>
inline char* toString(const PictureAnswer& a)
{
    return qstrdup(
        qPrintable(QStringLiteral("%1(%2 widget=%3)").arg(a.signal, a.url).arg(a.widget)));
}
} // namespace QTest

class TestPictureQueue : public NetFixture
{
    Q_OBJECT
private:
    QWidget m_widgets[2];
    int widgetIndex(const QVariant& v)
    {
        QWidget* w = v.value<QWidget*>();
        return w == &m_widgets[0] ? 0 : w == &m_widgets[1] ? 1 : -1;
    }
    QList<PictureAnswer> answers()
    {
        QList<PictureAnswer> out;
        for (const NetRecorder::Event& e : m_recorder->events()) {
            const QVariant widget = e.args.value(e.signal == QLatin1String("imageSuccess") ? 2 : 1);
            out << PictureAnswer{e.signal, e.args.value(0).toString(), widgetIndex(widget)};
        }
        return out;
    }
    // The server's requests for the address (with its query) so far.
    int requestsFor(const QString& url)
    {
        int count = 0;
        for (const QJsonValue& r : m_server.requests(QUrl(url).path()))
            count += r[QLatin1String("url")].toString() == url ? 1 : 0;
        return count;
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("PLOVEX(Chat)"));
        QVERIFY(start());
        QVERIFY(QDir().mkpath(FileManager::cacheFolder()));
    }

    // The queue alone: what it starts, in order, when every ask of the script has come.
    void order_data()
    {
        QTest::addColumn<QVector<Ask>>("asks");
        QTest::addColumn<QStringList>("started");
        QTest::newRow("shown pictures go before prefetched ones, two of those at once")
            << QVector<Ask>{{"p1", false}, {"p2", false}, {"p3", false}, {"s1", true}}
            << QStringList{"s1", "p1", "p2"};
        QTest::newRow("at most four at once")
            << QVector<Ask>{{"s1"}, {"s2"}, {"s3"}, {"s4"}, {"s5"}}
            << QStringList{"s1", "s2", "s3", "s4"};
        QTest::newRow("a prefetch a widget asks for moves ahead")
            << QVector<Ask>{{"p1", false}, {"p2", false}, {"p3", false}, {"p3", true}}
            << QStringList{"p3", "p1", "p2"};
        QTest::newRow("an address asked for three times starts once")
            << QVector<Ask>{{"s1"}, {"s1"}, {"s1", false}} << QStringList{"s1"};
        QTest::newRow("an empty address is fetched (and fails) like any other")
            << QVector<Ask>{{""}} << QStringList{""};
    }
    void order()
    {
        QFETCH(QVector<Ask>, asks);
        QFETCH(QStringList, started);
        NetPictureQueue queue;
        for (const Ask& ask : asks)
            queue.add(ask.url, ask.shown ? &m_widgets[0] : nullptr);
        QStringList taken;
        QString url;
        while (queue.takeNext(&url))
            taken << url;
        QCOMPARE(taken, started);
    }

    // The queue alone: an ended fetch answers each of its requests and frees its place.
    void finish()
    {
        NetPictureQueue queue;
        queue.add("s1", &m_widgets[0]);
        queue.add("s1", nullptr);
        queue.add("s1", &m_widgets[1]);
        for (const QString& url : {"s2", "s3", "s4", "s5"})
            queue.add(url, &m_widgets[0]);
        QString url;
        while (queue.takeNext(&url)) {
        }
        QCOMPARE(queue.finish("s1"), (QList<QWidget*>{&m_widgets[0], nullptr, &m_widgets[1]}));
        QCOMPARE(queue.takeNext(&url), true);
        QCOMPARE(url, QStringLiteral("s5"));
    }

    // Against the server: the picture is fetched once however many ask while it comes, and
    // every request hears of it.
    void oneFetchPerAddress_data()
    {
        QTest::addColumn<QString>("url");       // %1: a user id the server knows
        QTest::addColumn<QList<int>>("askers"); // widget indexes, -1 a prefetch
        QTest::addColumn<QString>("signal");
        QTest::newRow("two widgets")
            << "/pictures/u%1_1_t.png" << QList<int>{0, 1} << "imageSuccess";
        QTest::newRow("a prefetch, then a widget")
            << "/pictures/u%1_1.png" << QList<int>{-1, 0} << "imageSuccess";
        QTest::newRow("the same widget twice, and a prefetch")
            << "/pictures/u%1_1_t.png?v=7" << QList<int>{1, 1, -1} << "imageSuccess";
        QTest::newRow("missing: each hears the failure")
            << "/pictures/u9%1_missing.png" << QList<int>{0, -1, 1} << "imageFailure";
    }
    void oneFetchPerAddress()
    {
        QFETCH(QString, url);
        QFETCH(QList<int>, askers);
        QFETCH(QString, signal);
        url = url.arg(m_session->userId() + 4);
        QFile::remove(FileManager::cacheFilePath(url));
        m_recorder->clear();
        QList<PictureAnswer> expected;
        for (int asker : askers) {
            QCOMPARE(m_net->requestImage(url, asker < 0 ? nullptr : &m_widgets[asker]), QString());
            expected << PictureAnswer{signal, url, asker};
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size(), askers.size(), 30000);
        QCOMPARE(answers(), expected);
        QCOMPARE(requestsFor(url), 1);
    }

    // Against the server: while two prefetched pictures hang, the rest of a long prefetch waits
    // and a picture a widget shows is fetched.
    void shownAheadOfPrefetch()
    {
        const int base = m_session->userId() + 10;
        QStringList prefetch;
        for (int i = 0; i < 12; ++i)
            prefetch << QStringLiteral("/pictures/u%1_1_t.png?prefetch").arg(base + i);
        const QString shown = QStringLiteral("/pictures/g%1_1.png?shown").arg(base);
        for (const QString& url : prefetch + QStringList{shown})
            QFile::remove(FileManager::cacheFilePath(url));
        QVERIFY(m_server.fail(DevFault::hang(QStringLiteral("/pictures/u"))));
        const qint64 since = m_server.lastRequestSeq();
        m_recorder->clear();
        for (const QString& url : prefetch)
            m_net->requestImage(url, nullptr);
        m_net->requestImage(shown, &m_widgets[0]);
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->of("imageFailure", shown).size() +
                                      m_recorder->of("imageSuccess", shown).size(),
                                  1, 30000);
        QStringList requested;
        for (const QJsonValue& r : m_server.requests(QStringLiteral("/pictures/"), since))
            requested << r[QLatin1String("url")].toString();
        requested.sort();
        // Cleared, the hung ones fail and the rest of the prefetch runs: every request ends.
        QVERIFY(m_server.clearFault());
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->events().size(), prefetch.size() + 1, 60000);
        QStringList expected = prefetch.mid(0, NetPictureQueue::kMaxPrefetching) << shown;
        expected.sort();
        QCOMPARE(requested, expected);
    }
};

QTEST_MAIN(TestPictureQueue)
#include "tst_picturequeue.moc"
