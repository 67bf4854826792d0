// The idle lock and the one-notice-at-a-time gate, without a session.
#include "main/globaleventfilter.h"
#include "main/noticegate.h"

#include "common/boxanswerer.h"
#include "common/typed.h"

#include <QApplication>
#include <QDialog>
#include <QtTest>

// What the gate did with three notices, the second coming while the first is up. Outside the
// unnamed namespace: a test slot's lambda captures one.
struct Notices
{
    QList<int> results;
    QStringList shown;
    QList<bool> openWhileUp;
    bool openAfter = true;
    int dropped = 0;
    MT_TYPED(Notices, results, shown, openWhileUp, openAfter, dropped)
};

namespace {
// The idle count after an input: running, and restarted by the input.
struct Count
{
    bool running = false;
    bool restarted = false;
    MT_TYPED(Count, running, restarted)
};
} // namespace
Q_DECLARE_METATYPE(Count)

class TestIdleLock : public QObject
{
    Q_OBJECT
private slots:
    // Which input restarts a running count; a count the settings keep off never starts.
    void input_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("type");
        QTest::addColumn<Count>("expected");
        QTest::newRow("mouse press") << 1 << int(QEvent::MouseButtonPress) << Count{true, true};
        QTest::newRow("mouse move") << 1 << int(QEvent::MouseMove) << Count{true, true};
        QTest::newRow("key press") << 1 << int(QEvent::KeyPress) << Count{true, true};
        QTest::newRow("wheel") << 1 << int(QEvent::Wheel) << Count{true, true};
        // The program's own repaints must not keep the lock away.
        QTest::newRow("paint") << 1 << int(QEvent::Paint) << Count{true, false};
        QTest::newRow("off: a key starts nothing") << -1 << int(QEvent::KeyPress) << Count{};
        QTest::newRow("zero: a key starts nothing") << 0 << int(QEvent::KeyPress) << Count{};
    }
    void input()
    {
        QFETCH(int, minutes);
        QFETCH(int, type);
        QFETCH(Count, expected);
        GlobalEventFilter filter;
        qApp->installEventFilter(&filter);
        filter.setLockTime(minutes);
        filter.startLockMode();
        // Some of the minute has gone by (-1 while stopped).
        QTRY_VERIFY(filter.msecUntilLock() < 59900);
        const int before = filter.msecUntilLock();
        // A plain object, so the bare event cannot pass for a real mouse or key event.
        QObject target;
        QEvent event{QEvent::Type(type)};
        QCoreApplication::sendEvent(&target, &event);
        QCOMPARE((Count{filter.isRunning(), filter.msecUntilLock() > before}), expected);
    }

    void idleLock_data()
    {
        QTest::addColumn<int>("modality"); // of a dialog that is up meanwhile
        QTest::addColumn<bool>("suppressed");
        QTest::addColumn<QStringList>("events");
        const QStringList now = {"locked"};
        const QStringList waited = {"deferred", "deferred", "locked"};
        QTest::newRow("a plain window up") << int(Qt::NonModal) << false << now;
        QTest::newRow("application-modal box up") << int(Qt::ApplicationModal) << false << waited;
        QTest::newRow("settings dialog open") << int(Qt::NonModal) << true << waited;
    }
    void idleLock()
    {
        QFETCH(int, modality);
        QFETCH(bool, suppressed);
        QFETCH(QStringList, events);
        GlobalEventFilter filter;
        filter.setLockTimeout(20);
        filter.setSuppressed(suppressed);
        QDialog dialog;
        dialog.setWindowModality(Qt::WindowModality(modality));
        dialog.show();
        QStringList heard;
        // After two deferrals whatever held the lock back goes away.
        connect(&filter, &GlobalEventFilter::lockDeferred, this, [&] {
            heard << QStringLiteral("deferred");
            dialog.setVisible(heard.size() < 2);
            filter.setSuppressed(suppressed && heard.size() < 2);
        });
        connect(&filter, &GlobalEventFilter::lockMode, this, [&] { heard << "locked"; });
        filter.startLockMode();
        QTRY_VERIFY(heard.contains(QStringLiteral("locked")));
        QCOMPARE(heard, events);
        QCOMPARE(filter.isRunning(), false);
    }

    void oneNoticeAtATime()
    {
        NoticeGate gate;
        Notices seen;
        // The next failure comes inside the first box's event loop, as a ping's timer would.
        BoxAnswerer answerer([&] {
            seen.openWhileUp << gate.isOpen();
            seen.results << gate.information(nullptr, QStringLiteral("Server away again"));
        });
        seen.results << gate.information(nullptr, QStringLiteral("First notice"));
        seen.results << gate.information(nullptr, QStringLiteral("Later notice"));
        seen.shown = answerer.texts;
        seen.openAfter = gate.isOpen();
        seen.dropped = gate.droppedCount();
        const Notices expected{{NoticeGate::kDropped, 1, NoticeGate::kDropped, 1},
                               {"First notice", "Later notice"},
                               {true, true},
                               false,
                               2};
        QCOMPARE(seen, expected);
    }
};

QTEST_MAIN(TestIdleLock)
#include "tst_idlelock.moc"
