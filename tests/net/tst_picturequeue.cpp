// The picture queue on its own: shown pictures go first, at most so many at once, a prefetch
// that a widget asks for moves ahead, an address starts once, and an ended fetch answers every
// asker and frees its place. The engine's use of it against the server is tst_nettransfer's.
#include "net/netpicturequeue.h"

#include <QWidget>
#include <QtTest>

namespace {
// One requestImage() in a row's script: the address, and whether a widget shows it.
struct Ask
{
    QString url;
    bool shown = true;
};
} // namespace
Q_DECLARE_METATYPE(QVector<Ask>)

class TestPictureQueue : public QObject
{
    Q_OBJECT
private:
    QWidget m_widgets[2];

private slots:
    // What the queue starts, in order, when every ask of the script has come.
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

    void finish()
    {
        NetPictureQueue queue;
        queue.add("s1", &m_widgets[0]);
        queue.add("s1", nullptr);
        queue.add("s1", &m_widgets[1]);
        for (const char* url : {"s2", "s3", "s4", "s5"})
            queue.add(url, &m_widgets[0]);
        QString url;
        while (queue.takeNext(&url)) {
        }
        QCOMPARE(queue.finish("s1"), (QList<QWidget*>{&m_widgets[0], nullptr, &m_widgets[1]}));
        QVERIFY(queue.takeNext(&url));
        QCOMPARE(url, QStringLiteral("s5"));
    }
};

QTEST_MAIN(TestPictureQueue)
#include "tst_picturequeue.moc"
